#include "history/HistoryRecorder.h"

#include "history/HistoryStore.h"
#include "link/LinkError.h"

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
    : QObject(parent),
      m_store(store),
      m_clock(clock),
      m_dayMinutes(std::move(dayMinutes)),
      m_hourSeconds(std::move(hourSeconds)),
      m_onError(std::move(onError)) {
    if (!m_store.isOpen()) {
        m_failed[0] = m_failed[1] = true;
        m_statusText = m_store.lastError();
        // A failed first connect counts as an attempt: the next one waits its turn.
        m_lastConnectAttempt = m_clock.now();
    }
}

void HistoryRecorder::recordLiveReply(const QString& reply, const QString& remark) {
    if (reply.size() < kMinReplyLength) return;
    const QString port = trimRemark(remark);
    recordTable(HistoryTable::Day, reply, port);
    recordTable(HistoryTable::Hour, reply, port);
}

void HistoryRecorder::recordTable(HistoryTable table, const QString& reply, const QString& port) {
    const int index = table == HistoryTable::Day ? 0 : 1;
    QDateTime& next = m_next[index];
    const QDateTime now = m_clock.now();
    if (next.isValid() && now <= next) return;

    const TableRule rule = ruleFor(table);
    // The cadence is checked before anything is written: a bad one must not leave a row behind that
    // the next reply would write again.
    const QString cadenceText = (table == HistoryTable::Day ? m_dayMinutes : m_hourSeconds)();
    bool numeric = false;
    const qint64 cadence = cadenceText.trimmed().toLongLong(&numeric);
    // A negative cadence puts the next time in the past, so every accepted reply is recorded, as
    // "now + cadence" says; only text that is not a whole number stops the table.
    if (!numeric) {
        fail(index,
             QStringLiteral(
                 "History table \"%1\": the recording interval \"%2\" (%3) is not a whole number of %4.")
                 .arg(tableName(table), cadenceText, QLatin1String(rule.settingKey),
                      table == HistoryTable::Day ? QStringLiteral("minutes") : QStringLiteral("seconds")));
        return;
    }
    try {
        if (!storeUsable(now)) return;
        const QDateTime cutoff = now.addSecs(-rule.retentionSeconds);
        // The stamp is read afresh, as the row is written after the purge.
        const HistoryRow row = rowFromReply(reply, port, stampText(m_clock.now()));
        m_store.record(table, cutoff, row);
    } catch (const HistoryError& e) {
        m_suspect = true;
        fail(index, e.message());
        return;
    } catch (const link::ConversionError& e) {
        fail(index, QStringLiteral("History table \"%1\": the live reply has a bad field (%2).")
                        .arg(tableName(table), e.message()));
        return;
    }
    next = m_clock.now().addSecs(cadence * rule.cadenceUnitSeconds);
    succeed(index);
}

bool HistoryRecorder::storeUsable(const QDateTime& now) {
    if (m_suspect && m_store.isOpen() && !m_store.ping()) m_store.disconnect();  // connection lost
    m_suspect = false;
    if (m_store.isOpen()) return true;
    if (m_lastConnectAttempt.isValid() && now < m_lastConnectAttempt.addSecs(kReconnectSeconds)) {
        // Not yet time to try again; stay quietly in the failed state.
        fail(-1, m_store.lastError().isEmpty() ? QStringLiteral("The history database is not open.")
                                               : m_store.lastError());
        return false;
    }
    // The attempt runs beside the poll: a server that does not answer costs no tick any time.
    switch (m_store.reconnectInBackground()) {
        case HistoryStore::Reconnect::Connected:
            return true;
        case HistoryStore::Reconnect::Pending:
            fail(-1, m_store.lastError().isEmpty() ? QStringLiteral("The history database is not open.")
                                                   : m_store.lastError());
            return false;
        case HistoryStore::Reconnect::Failed:
            break;
    }
    m_lastConnectAttempt = now;
    fail(-1, m_store.lastError());
    return false;
}

void HistoryRecorder::fail(int tableIndex, const QString& message) {
    const bool wasOk = isOk();
    if (tableIndex < 0)
        m_failed[0] = m_failed[1] = true;
    else
        m_failed[tableIndex] = true;
    if (!wasOk) return;  // already reported; the operator is told once per outage
    m_statusText = message;
    // The box is shown after the tick, from the event loop: opened here, inside the tick, its modal
    // loop would find the tick still running and no request would go out while it is open.
    if (m_onError)
        QMetaObject::invokeMethod(
            this, [this, message] { m_onError(message); }, Qt::QueuedConnection);
    emit statusChanged(false, message);
}

void HistoryRecorder::succeed(int tableIndex) {
    const bool wasOk = isOk();
    m_failed[tableIndex] = false;
    if (wasOk || !isOk()) return;
    m_statusText = QStringLiteral("History recording works again.");
    emit statusChanged(true, m_statusText);
}

}  // namespace tarsyn::history
