#include "reports/AlarmCsv.h"

#include <QSaveFile>

#include "config/Prompter.h"

namespace tarsyn::reports {

namespace {

QString csvField(const QString& value) {
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvLine(const QStringList& fields) {
    QStringList out;
    for (const QString& f : fields) out << csvField(f);
    return out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

}  // namespace

QByteArray AlarmCsv(const QStringList& header, const QList<AlarmRow>& rows) {
    QString text = csvLine(header);
    for (const AlarmRow& row : rows)
        text += csvLine({QString::number(row.number), row.record.code, row.record.text, row.record.time});
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

AlarmCsvExport::AlarmCsvExport(AlarmHistory& history, config::Prompter& prompter, MessageLookup messages)
    : m_history(history), m_prompter(prompter), m_messages(std::move(messages)) {}

QStringList AlarmCsvExport::header() const {
    return {m_messages(QStringLiteral("dl30")), m_messages(QStringLiteral("csvcode")),
            m_messages(QStringLiteral("dl31")), m_messages(QStringLiteral("dl32"))};
}

bool AlarmCsvExport::run(const QString& path, const ExportProgress& progress) {
    const WholeAlarmLog log = m_history.readWholeLog(progress);
    if (!log.complete) {
        m_prompter.error(log.failedPage == 0 ? m_messages(QStringLiteral("csvnocount"))
                                             : m_messages(QStringLiteral("csvfail")) + QLatin1Char(' ') +
                                                   QString::number(log.failedPage));
        return false;
    }

    QSaveFile file(path);
    const QByteArray bytes = AlarmCsv(header(), log.rows);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_prompter.error(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
        return false;
    }
    m_prompter.information(m_messages(QStringLiteral("csvdone")) + QLatin1Char(' ') + path);
    return true;
}

}  // namespace tarsyn::reports
