#pragma once

#include <QDateTime>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "history/HistoryStore.h"

namespace tarsyn::history {

/// Writes the recorder's rows on a thread and a connection of its own, so that the poll tick only
/// hands a row over and never waits on a database: not on a server that stopped answering, not on a
/// table another client has locked, not on another program's write lock on "kalde.db". A row the
/// database does not take goes to the spool, an SQLite file beside "kalde.db" that outlives the
/// program, and is written with its own time and purge when the database takes rows again. The spool
/// holds at most Limits::spoolRows; beyond that the oldest rows go and are counted. Rows of one table
/// are written in the order they came; a table that fails does not hold up the other.
class HistoryWriter {
public:
    struct Limits {
        /// Rows held in memory while the writer is inside a database call (a frozen server): an hour
        /// of both tables at a row every two seconds. Past it the oldest go and are counted.
        int queueRows = 3600;
        /// More rows than this waiting in memory (a minute of both tables at every reply): the
        /// database does not keep up, and the status says so.
        int behindRows = 60;
        /// The spool's limit: a week of rows at the shortest cadence (every reply, one row per table
        /// every two seconds), 604,800 rows of about 200 bytes.
        qint64 spoolRows = 7 * 24 * 3600;
        /// After a failure the database is tried again this much later (or at flush()).
        int retryMs = 5000;
        /// How long an SQLite write waits for another program's lock before the row goes to the spool.
        int sqliteBusyMs = 250;
        /// A call to a server that has not ended after this long (by the poll's clock) has its
        /// connection cut: a frozen server acknowledges every packet and answers none, which no
        /// time-out of the server's or of TCP ends. Its rows go to the spool.
        int stuckSeconds = 15;
    };

    /// What the poll thread learns of the writer, in one cheap look.
    struct Status {
        QString error;        ///< the reason the database takes no rows now; empty while it does
        qint64 waiting = 0;   ///< rows not yet in the database (memory and spool)
        bool behind = false;  ///< more than Limits::behindRows wait in memory (queued or in hand)
        qint64 dropped = 0;   ///< rows dropped (full spool or queue) since the last look
        QString spoolError;   ///< the spool file could not be used: rows wait in memory only
        bool known = false;   ///< false until the writer has tried its first connection
    };

    /// `writeTurns`: shared with the event journal's writer when both write one SQLite file.
    HistoryWriter(HistoryLocation location, std::shared_ptr<WriteTurns> writeTurns, Limits limits);
    /// Writes (or spools) what is still queued, then ends the thread. Spooled rows stay for the next start.
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    /// Hands a row over; takes a lock held only for moments, never during a database call.
    void push(HistoryJob job);
    /// The state now; takes the count of dropped rows. `now` is the poll's clock, by which a call that
    /// has lasted Limits::stuckSeconds is cut.
    Status takeStatus(const QDateTime& now);
    /// Tries the database now for everything waiting and returns once the writer is idle again.
    void flush();
    /// The same for at most `limit` (the program ends and must not wait on a frozen server): a call
    /// the database has not answered by then has its connection cut, and every row still in memory
    /// goes to the spool without another try of the database, for the next start to write. Returns
    /// how many rows wait for the database (in the spool) after it: 0 when all were written.
    qint64 flushWithin(std::chrono::milliseconds limit);

private:
    void run();
    void cutConnection();  // under m_mutex

    const HistoryLocation m_location;
    const std::shared_ptr<WriteTurns> m_writeTurns;
    const Limits m_limits;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<HistoryJob> m_queue;
    // Rows the writer thread has taken from the queue and not yet written or spooled: they still wait
    // in memory, and counting them as gone would tell the strip it works before a row is written.
    qint64 m_inHand = 0;
    bool m_stop = false, m_retryNow = false;
    bool m_ending = false;  // flushWithin() ran out of time: rows go to the spool, the database is not tried
    quint64 m_flushAsked = 0, m_flushDone = 0;
    Status m_status;  // written by the writer thread under the lock (dropped: also by push)
    // The database call in progress (written by the writer thread under the lock): its number, and
    // the socket to cut. The poll thread notes when it first saw that number.
    quint64 m_call = 0;
    bool m_inCall = false;
    int m_socket = -1;
    quint64 m_seenCall = 0;
    QDateTime m_seenSince;
    bool m_exited = false;
    std::thread m_thread;  // last: starts once everything above exists
};

}  // namespace tarsyn::history
