#include "history/HistoryRecorder.h"

#include "history/HistoryStore.h"
#include "history/HistoryWriter.h"
#include "link/LinkError.h"
#include "monitor/LiveReading.h"

namespace tarsyn::history {

namespace {

struct TableRule {
    qint64 retentionSeconds;  // subtracted from now to get the purge cutoff
    qint64 cadenceUnitSeconds;
    const char* settingKey;
};

TableRule ruleFor(HistoryTable table) {
    // "24xs": keep 23:59:59, cadence "save2" in minutes; "nls": keep 01:00:00, cadence "save1" in seconds.
    return table == HistoryTable::Day ? TableRule{23 * 3600 + 59 * 60 + 59, 60, "save2"}
                                      : TableRule{3600, 1, "save1"};
}

}  // namespace

HistoryRecorder::HistoryRecorder(HistoryStore& store, const link::Clock& clock, IntervalGetter dayMinutes,
                                 IntervalGetter hourSeconds, ErrorCallback onError, QObject* parent)
    : HistoryRecorder(store, clock, std::move(dayMinutes), std::move(hourSeconds), std::move(onError),
                      HistoryWriter::Limits{}, parent) {}

HistoryRecorder::HistoryRecorder(HistoryStore& store, const link::Clock& clock, IntervalGetter dayMinutes,
                                 IntervalGetter hourSeconds, ErrorCallback onError,
                                 HistoryWriter::Limits limits, QObject* parent)
    : QObject(parent),
      m_clock(clock),
      m_dayMinutes(std::move(dayMinutes)),
      m_hourSeconds(std::move(hourSeconds)),
      m_onError(std::move(onError)),
      m_writer(std::make_unique<HistoryWriter>(store.location(), store.writeTurns(), limits)) {
    if (!store.isOpen()) {
        // The caller has shown store.lastError() already: the strip says it, no second box.
        m_writerError = store.lastError().isEmpty() ? QStringLiteral("The history database is not open.")
                                                    : store.lastError();
        m_reported = true;
        m_lastOk = false;
        m_statusText = m_writerError;
    }
}

HistoryRecorder::~HistoryRecorder() = default;

void HistoryRecorder::recordLiveReply(const QString& reply, const QString& remark) {
    record(monitor::LiveReadingOf(reply), reply, remark);
}

void HistoryRecorder::readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                                     const QString& reply) {
    if (block == monitor::ReplyBlock::Live) record(reading, reply, reading.remark);
}

void HistoryRecorder::record(const monitor::LiveReading& reading, const QString& reply,
                             const QString& remark) {
    if (reply.size() >= kMinReplyLength) {
        const QString port = trimRemark(remark);
        recordTable(HistoryTable::Day, reading, port);
        recordTable(HistoryTable::Hour, reading, port);
    }
    refreshStatus();
}

namespace {

/// When a table takes its next row: on a fixed grid from its first row, one interval after the slot
/// just filled, whenever within the slot the reading came. (From the clock after the row, a reading a
/// few milliseconds early for the next slot waited a whole poll: rows every 6 to 8 s for 6 s.) Slots
/// that passed without a reading (an outage) are skipped, not made up. A cadence of 0 or less takes
/// every reading.
QDateTime nextDue(const QDateTime& due, const QDateTime& now, qint64 stepSeconds) {
    if (stepSeconds <= 0 || !due.isValid()) return now.addSecs(stepSeconds);
    const qint64 stepMs = stepSeconds * 1000;
    const qint64 late = due.msecsTo(now);  // >= 0: the row is taken at or after its slot
    return due.addMSecs((late / stepMs + 1) * stepMs);
}

}  // namespace

void HistoryRecorder::recordTable(HistoryTable table, const monitor::LiveReading& reading,
                                  const QString& port) {
    const int index = table == HistoryTable::Day ? 0 : 1;
    QDateTime& next = m_next[index];
    const QDateTime now = m_clock.now();
    if (next.isValid() && now < next) return;

    const TableRule rule = ruleFor(table);
    // The cadence is checked before anything is handed over: a bad one must not leave a row behind
    // that the next reply would write again.
    const QString cadenceText = (table == HistoryTable::Day ? m_dayMinutes : m_hourSeconds)();
    bool numeric = false;
    const qint64 cadence = cadenceText.trimmed().toLongLong(&numeric);
    // A negative cadence puts the next time in the past, so every accepted reply is recorded, as
    // "now + cadence" says; only text that is not a whole number stops the table.
    if (!numeric) {
        m_tableError[index] =
            QStringLiteral(
                "History table \"%1\": the recording interval \"%2\" (%3) is not a whole number of %4.")
                .arg(tableName(table), cadenceText, QLatin1String(rule.settingKey),
                     table == HistoryTable::Day ? QStringLiteral("minutes") : QStringLiteral("seconds"));
        return;
    }
    HistoryJob job;
    job.table = table;
    job.cutoff = stampText(now.addSecs(-rule.retentionSeconds));
    try {
        // The stamp is read afresh, as the row is written after the purge.
        job.row = rowFromReading(reading, port, stampText(m_clock.now()));
    } catch (const link::ConversionError& e) {
        m_tableError[index] = QStringLiteral("History table \"%1\": the live reply has a bad field (%2).")
                                  .arg(tableName(table), e.message());
        return;
    }
    // Handed over, the row is kept: in the database, or in the spool until the database takes it.
    m_writer->push(std::move(job));
    ++m_handedOver[index];
    next = nextDue(next, now, cadence * rule.cadenceUnitSeconds);
    m_tableError[index].clear();
}

void HistoryRecorder::refreshStatus() {
    const HistoryWriter::Status s = m_writer->takeStatus(m_clock.now());
    if (s.dropped > 0 && m_dropped) m_dropped(s.dropped);
    // Until the writer has tried its connection, the store's state at start stands.
    if (s.known) m_writerError = s.error;
    m_behind = s.behind;
    m_waiting = s.waiting;
    m_spoolError = s.spoolError;
    report();
}

void HistoryRecorder::flush() {
    m_writer->flush();
    refreshStatus();
}

qint64 HistoryRecorder::flushWithin(std::chrono::milliseconds limit) {
    const qint64 waiting = m_writer->flushWithin(limit);
    refreshStatus();
    return waiting;
}

QString HistoryRecorder::message(const char* key, const char* english) const {
    const QString text = m_messages ? m_messages(QLatin1String(key)) : QString();
    return text.isEmpty() || text == QLatin1String("0") ? QLatin1String(english) : text;
}

void HistoryRecorder::report() {
    const bool ok = isOk();
    QString text;
    if (ok) {
        m_reported = false;
        if (m_lastOk) return;
        text = message("hsagain", "History recording works again.");
    } else {
        QString reason = m_tableError[0];
        if (reason.isEmpty()) reason = m_tableError[1];
        if (reason.isEmpty()) reason = m_writerError;
        if (reason.isEmpty()) {
            text = message("hsbehind", "The history database does not keep up: %1 rows wait.").arg(m_waiting);
        } else {
            text = reason;
            if (m_waiting > 0)
                text += QLatin1Char(' ') +
                        message("hswait", "%1 rows wait to be written to the history.").arg(m_waiting);
            if (!m_spoolError.isEmpty()) text += QLatin1Char(' ') + m_spoolError;
            if (!m_reported) {
                m_reported = true;
                // The box is shown after the tick, from the event loop: opened here, inside the tick, its
                // modal loop would find the tick still running and no request would go out while it is open.
                if (m_onError)
                    QMetaObject::invokeMethod(
                        this, [this, reason] { m_onError(reason); }, Qt::QueuedConnection);
            }
        }
    }
    if (ok == m_lastOk && text == m_statusText) return;
    const bool changed = ok != m_lastOk;
    m_lastOk = ok;
    m_statusText = text;
    if (changed)
        emit statusChanged(ok, text);
    else
        emit waitingChanged(text);
}

}  // namespace tarsyn::history
