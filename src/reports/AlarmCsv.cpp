#include "reports/AlarmCsv.h"

#include "config/CsvWriter.h"
#include "config/Prompter.h"

namespace tarsyn::reports {

QByteArray AlarmCsv(const QStringList& header, const QList<AlarmRow>& rows) {
    config::CsvWriter csv(config::ByteOrderMark::Utf8);
    csv.addRow(header);
    for (const AlarmRow& row : rows)
        csv.addRow({QString::number(row.number), row.record.code, row.record.text, row.record.time});
    return csv.bytes();
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

    QString reason;
    if (!config::saveWhole(path, AlarmCsv(header(), log.rows), &reason)) {
        m_prompter.error(QStringLiteral("Cannot write \"%1\": %2").arg(path, reason));
        return false;
    }
    m_prompter.information(m_messages(QStringLiteral("csvdone")) + QLatin1Char(' ') + path);
    return true;
}

}  // namespace tarsyn::reports
