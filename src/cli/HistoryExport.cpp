#include "cli/HistoryExport.h"

#include <QFileInfo>

#include "cli/Console.h"
#include "cli/Options.h"
#include "config/Config.h"
#include "history/CurveData.h"
#include "history/CurveExport.h"
#include "history/CurveQuery.h"
#include "history/HistoryStore.h"
#include "link/Clock.h"

namespace tarsyn::cli {

int FindHistoryChannel(const config::Config& config, const QString& language, const QString& name) {
    const QString wanted = name.trimmed().toLower();
    const int index = history::valueColumnIndex(wanted);
    if (index >= 0) return index;
    bool number = false;
    const int n = wanted.toInt(&number);
    if (number) return n >= 1 && n <= history::kChannelCount ? n - 1 : -1;
    // The names the curves window lists: the main window's captions of the readings.
    const config::IniSection translations =
        config.readSection(language + QStringLiteral(".lag"), QStringLiteral("Translations"));
    for (int i = 0; i < history::kChannelCount; ++i) {
        const QString key = QLatin1String(history::curveChannels()[size_t(i)].key);
        if (translations.value(key, QString()).trimmed().toLower() == wanted) return i;
    }
    return -1;
}

int HistoryExport(const config::Config& config, const HistoryRequest& request, Terminal& terminal,
                  QByteArray& out) {
    const int channel = FindHistoryChannel(config, request.language, request.channel);
    if (channel < 0) {
        terminal.line(
            QStringLiteral("history export: no channel \"%1\" (sj1 to sj20, 1 to 20, or a reading's name)")
                .arg(request.channel));
        return kExitUsage;
    }
    const history::HistoryLocation location = history::HistoryLocation::fromConfig(config);
    // Only read: an export never creates the database it was pointed at.
    if (location.kind == history::HistoryLocation::Kind::Sqlite && !QFileInfo::exists(location.sqlitePath)) {
        terminal.line(
            QStringLiteral("history export: there is no history database %1").arg(location.sqlitePath));
        return kExitLink;
    }
    history::HistoryStore store(location);
    if (!store.connect()) {
        terminal.line(QStringLiteral("history export: %1").arg(store.lastError()));
        return kExitLink;
    }
    const link::SystemClock clock;
    history::CurveQuery query(store, clock);
    const QString port = history::trimRemark(request.controller);
    QVector<history::HistoryPoint> hourRows, dayRows;
    try {
        if (request.hour) hourRows = query.rows(history::ChartKind::Hour, port, channel);
        if (request.day) dayRows = query.rows(history::ChartKind::Day, port, channel);
    } catch (const history::HistoryError& e) {
        terminal.line(QStringLiteral("history export: %1").arg(e.message()));
        return kExitLink;
    }
    if (request.csv) {
        out += history::curveCsv(hourRows, dayRows, port);
    } else {
        QString text;
        for (const auto& [chart, rows] : {std::pair{"hour", &hourRows}, std::pair{"day", &dayRows}})
            for (const history::HistoryPoint& p : *rows)
                text += QStringLiteral("%1\t%2\t%3\n")
                            .arg(QLatin1String(chart), p.sj, QString::number(p.value, 'g', 12));
        out += text.toUtf8();
    }
    if (hourRows.isEmpty() && dayRows.isEmpty())
        terminal.line(
            QStringLiteral("history export: no rows for \"%1\" in %2").arg(port, location.displayText()));
    return kExitOk;
}

}  // namespace tarsyn::cli
