#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

#include "history/HistoryColumns.h"
#include "link/Clock.h"
#include "monitor/HistorySink.h"

namespace tarsyn::history {

class HistoryStore;

/// Writes accepted live replies into the two histories at their cadences: "24xs" every "save2"
/// minutes keeping 23:59:59, "nls" every "save1" seconds keeping one hour. Each table's purge and
/// append form one transaction. A failure (database, non-hexadecimal reply field, cadence that is not
/// a whole number) leaves that table's next time where it was, so the next accepted reply tries again;
/// the operator hears of it once through the error callback, called from the event loop after the
/// poll tick (never inside it, so a box it opens does not hold up polling), and statusChanged tells the
/// status strip when recording fails and when it works again. A store that is not open is reconnected at most
/// every kReconnectSeconds, the trial connection running beside the poll
/// (HistoryStore::reconnectInBackground), so a lost server stalls no tick.
class HistoryRecorder : public QObject, public monitor::HistorySink {
    Q_OBJECT
public:
    using IntervalGetter = std::function<QString()>;
    using ErrorCallback = std::function<void(const QString&)>;

    static constexpr int kReconnectSeconds = 30;
    static constexpr int kMinReplyLength = 104;  ///< 48 data bytes need 103 characters plus the check

    /// `dayMinutes` and `hourSeconds` give the cadence texts at the moment they are needed (the
    /// program passes LiveSettings::dayIntervalText and hourIntervalText). When `store` is not open
    /// the recorder starts in the failed state without reporting again: the caller has shown
    /// store.lastError() already.
    HistoryRecorder(HistoryStore& store, const link::Clock& clock, IntervalGetter dayMinutes,
                    IntervalGetter hourSeconds, ErrorCallback onError, QObject* parent = nullptr);

    /// Table "24xs", then table "nls", each when its time has come and the reply is long enough.
    void recordLiveReply(const QString& reply, const QString& remark) override;

    /// True while both tables record (or have nothing due); false from a failure until both work again.
    bool isOk() const { return !m_failed[0] && !m_failed[1]; }
    QString statusText() const { return m_statusText; }
    /// When each table next takes a row; invalid = long past (a row is due).
    QDateTime nextDayTime() const { return m_next[0]; }
    QDateTime nextHourTime() const { return m_next[1]; }

signals:
    /// Recording went from working to failing (ok = false, text = the reason) or back (ok = true).
    void statusChanged(bool ok, const QString& text);

private:
    void recordTable(HistoryTable table, const QString& reply, const QString& port);
    bool storeUsable(const QDateTime& now);
    void fail(int tableIndex, const QString& message);  // tableIndex -1: both
    void succeed(int tableIndex);

    HistoryStore& m_store;
    const link::Clock& m_clock;
    IntervalGetter m_dayMinutes;
    IntervalGetter m_hourSeconds;
    ErrorCallback m_onError;
    QDateTime m_next[2];  // Day, Hour; invalid = long past
    QDateTime m_lastConnectAttempt;
    bool m_failed[2] = {false, false};  // per table: a failed table is tried at every reply
    bool m_suspect = false;             // a statement failed: check the connection before the next one
    QString m_statusText;
};

}  // namespace tarsyn::history
