#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

#include "history/HistoryColumns.h"
#include "history/HistoryWriter.h"
#include "link/Clock.h"
#include "monitor/HistorySink.h"
#include "monitor/ReadingSubscriber.h"

namespace tarsyn::history {

class HistoryStore;

/// Writes accepted live replies into the two histories at their cadences: "24xs" every "save2"
/// minutes keeping 23:59:59, "nls" every "save1" seconds keeping one hour. The poll tick only decides
/// which rows are due and hands them to a HistoryWriter, which writes each table's purge and append as
/// one transaction on a thread of its own, and keeps the rows in its spool while the database is away.
/// A reply with a non-hexadecimal field or a cadence that is not a whole number writes nothing and
/// leaves that table's next time where it was, so the next accepted reply tries again. The operator
/// hears of a failure once through the error callback, called from the event loop after the poll tick
/// (never inside it, so a box it opens does not hold up polling); statusChanged tells the status strip
/// when recording fails and when it works again, waitingChanged how many rows wait meanwhile.
class HistoryRecorder : public QObject, public monitor::HistorySink, public monitor::ReadingSubscriber {
    Q_OBJECT
public:
    using IntervalGetter = std::function<QString()>;
    using ErrorCallback = std::function<void(const QString&)>;
    using MessageLookup = std::function<QString(const QString& key)>;

    static constexpr int kMinReplyLength = 104;  ///< 48 data bytes need 103 characters plus the check

    /// `dayMinutes` and `hourSeconds` give the cadence texts at the moment they are needed (the
    /// program passes LiveSettings::dayIntervalText and hourIntervalText). When `store` is not open
    /// the recorder starts in the failed state without reporting again: the caller has shown
    /// store.lastError() already.
    /// The writer opens a connection of its own to `store`'s location and shares its write turns.
    HistoryRecorder(HistoryStore& store, const link::Clock& clock, IntervalGetter dayMinutes,
                    IntervalGetter hourSeconds, ErrorCallback onError, QObject* parent = nullptr);
    HistoryRecorder(HistoryStore& store, const link::Clock& clock, IntervalGetter dayMinutes,
                    IntervalGetter hourSeconds, ErrorCallback onError, HistoryWriter::Limits limits,
                    QObject* parent = nullptr);
    ~HistoryRecorder() override;

    /// The catalogue's texts for the strip (keys "hswait", "hsbehind", "hsagain"); without it, or for
    /// a key the catalogue lacks, the English ones.
    void setMessages(MessageLookup messages) { m_messages = std::move(messages); }
    /// Told how many rows went unwritten (spool or queue full), once per loss (the event journal).
    void setDroppedHook(std::function<void(qint64)> hook) { m_dropped = std::move(hook); }

    /// Table "24xs", then table "nls", each when its time has come and the reply is long enough.
    void recordLiveReply(const QString& reply, const QString& remark) override;
    /// The same for a live reading: the row is the reading's values; whether a row is taken at all is
    /// still decided on the reply's characters (at least 104).
    void readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                        const QString& reply) override;

    /// Looks at the writer and tells the strip what changed (done at every reply as well).
    void refreshStatus();
    /// Waits until the writer has tried the database for every row handed over, then refreshStatus().
    void flush();
    /// The same for at most `limit` (the program ends): rows the database has not taken by then wait
    /// in the spool for the next start. Returns how many wait there (0: all written).
    qint64 flushWithin(std::chrono::milliseconds limit);

    /// True while both tables record (or have nothing due) and the database keeps up; false from a
    /// failure until both work again.
    bool isOk() const {
        return m_tableError[0].isEmpty() && m_tableError[1].isEmpty() && m_writerError.isEmpty() && !m_behind;
    }
    QString statusText() const { return m_statusText; }
    /// When each table next takes a row; invalid = long past (a row is due).
    QDateTime nextDayTime() const { return m_next[0]; }
    QDateTime nextHourTime() const { return m_next[1]; }
    /// Rows handed to the writer since the recorder was made, per table: after flush() each is in the
    /// database or, while it is away, in the spool.
    qint64 rowsHandedOver(HistoryTable table) const {
        return m_handedOver[table == HistoryTable::Day ? 0 : 1];
    }

signals:
    /// Recording went from working to failing (ok = false, text = the reason) or back (ok = true).
    void statusChanged(bool ok, const QString& text);
    /// While failing, the strip's text changed (how many rows wait, another reason).
    void waitingChanged(const QString& text);

private:
    void record(const monitor::LiveReading& reading, const QString& reply, const QString& remark);
    void recordTable(HistoryTable table, const monitor::LiveReading& reading, const QString& port);
    void report();
    QString message(const char* key, const char* english) const;

    const link::Clock& m_clock;
    IntervalGetter m_dayMinutes;
    IntervalGetter m_hourSeconds;
    ErrorCallback m_onError;
    MessageLookup m_messages;
    std::function<void(qint64)> m_dropped;
    QDateTime m_next[2];  // Day, Hour; invalid = long past
    qint64 m_handedOver[2] = {0, 0};
    QString m_tableError[2];  // per table: the reply or cadence it could not record
    QString m_writerError;    // the database's reason
    bool m_behind = false;
    qint64 m_waiting = 0;
    QString m_spoolError;     // the spool file cannot be used: the waiting rows are in memory only
    bool m_reported = false;  // the box of this outage has been asked for
    bool m_lastOk = true;
    QString m_statusText;
    std::unique_ptr<HistoryWriter> m_writer;
};

}  // namespace tarsyn::history
