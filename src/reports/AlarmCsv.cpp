#include "reports/AlarmCsv.h"

#include <QSaveFile>

#include "config/Prompter.h"
#include "link/LinkError.h"
#include "monitor/PollControl.h"

namespace tarsyn::reports {

namespace {

// One page: ten waits of the page exchange, then the exchange itself.
constexpr int kStepsPerPage = 11;

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

AlarmCsvExport::AlarmCsvExport(AlarmHistory& history, monitor::PollControl& poll, config::Prompter& prompter,
                               MessageLookup messages)
    : m_history(history), m_poll(poll), m_prompter(prompter), m_messages(std::move(messages)) {}

QStringList AlarmCsvExport::header() const {
    return {m_messages(QStringLiteral("dl30")), m_messages(QStringLiteral("csvcode")),
            m_messages(QStringLiteral("dl31")), m_messages(QStringLiteral("dl32"))};
}

bool AlarmCsvExport::run(const QString& path, const ExportProgress& progress) {
    const int total = m_history.total();
    const int pages = AlarmPageCount(total);
    const int steps = pages * kStepsPerPage;
    QList<AlarmRow> rows;
    try {
        monitor::ExclusiveExchange guard(m_poll);
        for (int page = 1; page <= pages && total > 0; ++page) {
            const int done = (page - 1) * kStepsPerPage;
            if (progress) progress(done, steps);
            const QString reply = m_history.exchangePage(page, [&](int wait) {
                if (progress) progress(done + wait, steps);
            });
            if (reply.isEmpty()) {
                m_prompter.error(m_messages(QStringLiteral("csvfail")) + QLatin1Char(' ') +
                                 QString::number(page));
                return false;
            }
            const int count = AlarmRowsOnPage(total, page);
            for (int i = 0; i < count; ++i) {
                const int position = alarmlog::kPageRecordPosition + alarmlog::kRecordChars * i;
                rows << AlarmRow{alarmlog::kRowsPerPage * (page - 1) + i + 1,
                                 DecodeAlarmRecord(reply, position, m_messages)};
            }
        }
        if (progress) progress(steps, steps);
    } catch (const link::LinkError& e) {
        m_prompter.error(e.message());
        return false;
    }

    QSaveFile file(path);
    const QByteArray bytes = AlarmCsv(header(), rows);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_prompter.error(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
        return false;
    }
    m_prompter.information(m_messages(QStringLiteral("csvdone")) + QLatin1Char(' ') + path);
    return true;
}

}  // namespace tarsyn::reports
