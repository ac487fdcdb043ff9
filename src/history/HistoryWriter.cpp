#include "history/HistoryWriter.h"

#include <sys/socket.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <chrono>
#include <vector>

namespace tarsyn::history {

namespace {

constexpr int kChunkRows = 100;  // spooled rows written per transaction

int indexOf(HistoryTable table) { return table == HistoryTable::Day ? 0 : 1; }
HistoryTable tableAt(int index) { return index == 0 ? HistoryTable::Day : HistoryTable::Hour; }

/// Rows waiting for the database, in an SQLite file of their own ("kalde.spool"): one table "spool"
/// with the row's table, its purge cutoff and the row as recorded, in the order they came ("id").
/// Every change is one transaction, so a killed program leaves the file whole.
class Spool {
public:
    explicit Spool(QString connectionName) : m_connectionName(std::move(connectionName)) {}
    ~Spool() {
        close();
        if (QSqlDatabase::contains(m_connectionName)) QSqlDatabase::removeDatabase(m_connectionName);
    }

    bool isOpen() const { return m_open; }
    qint64 count(int table) const { return m_count[table]; }
    qint64 total() const { return m_count[0] + m_count[1]; }

    /// Opens (creating it when missing) the spool at `path`; ":memory:" keeps it in memory.
    bool open(const QString& path, QString* why) {
        close();
        QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                              ? QSqlDatabase::database(m_connectionName, false)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(path);
        QStringList values;
        for (int i = 1; i <= kValueCount; ++i) values << QStringLiteral("\"v%1\" REAL NOT NULL").arg(i);
        QSqlQuery q(db);
        const bool ok =
            db.open() && q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) &&
            q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) &&
            q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS \"spool\" (\"id\" INTEGER PRIMARY KEY "
                                  "AUTOINCREMENT, \"tbl\" INTEGER NOT NULL, \"cutoff\" TEXT NOT NULL, "
                                  "\"sj\" TEXT NOT NULL, \"port\" TEXT NOT NULL, %1)")
                       .arg(values.join(QLatin1Char(',')))) &&
            q.exec(QStringLiteral(
                "CREATE INDEX IF NOT EXISTS \"spool_tbl_id\" ON \"spool\" (\"tbl\", \"id\")")) &&
            recount(q);
        if (!ok) {
            *why = QStringLiteral("the spool %1 cannot be used: %2")
                       .arg(path, SqlErrorText(q.lastError().isValid() ? q.lastError() : db.lastError()));
            q = QSqlQuery();
            db.close();
            return false;
        }
        m_open = true;
        return true;
    }

    void close() {
        m_open = false;
        m_count[0] = m_count[1] = 0;
        if (QSqlDatabase::contains(m_connectionName)) QSqlDatabase::database(m_connectionName, false).close();
    }

    bool append(const std::vector<HistoryJob>& jobs, QString* why) {
        if (jobs.empty()) return true;
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        QStringList marks;
        for (int i = 0; i < 4 + kValueCount; ++i) marks << QStringLiteral("?");
        QSqlQuery q(db);
        bool ok =
            db.transaction() &&
            q.prepare(
                QStringLiteral("INSERT INTO \"spool\" VALUES (NULL,%1)").arg(marks.join(QLatin1Char(','))));
        for (size_t j = 0; ok && j < jobs.size(); ++j) {
            const HistoryJob& job = jobs[j];
            int p = 0;
            q.bindValue(p++, indexOf(job.table));
            q.bindValue(p++, job.cutoff);
            q.bindValue(p++, job.row.sj.isNull() ? QStringLiteral("") : job.row.sj);
            q.bindValue(p++, job.row.port.isNull() ? QStringLiteral("") : job.row.port);
            for (double v : job.row.values) q.bindValue(p++, v);
            ok = q.exec();
        }
        if (ok) ok = db.commit();
        if (!ok) {
            *why = SqlErrorText(q.lastError().isValid() ? q.lastError() : db.lastError());
            db.rollback();
            return false;
        }
        for (const HistoryJob& job : jobs) m_count[indexOf(job.table)] += 1;
        return true;
    }

    /// The `n` oldest rows of `table` and the id of the last of them.
    std::vector<HistoryJob> oldest(HistoryTable table, int n, qint64* lastId) {
        std::vector<HistoryJob> jobs;
        QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT * FROM \"spool\" WHERE \"tbl\" = ? ORDER BY \"id\" LIMIT ?"));
        q.bindValue(0, indexOf(table));
        q.bindValue(1, n);
        if (!q.exec()) return jobs;
        while (q.next()) {
            HistoryJob job;
            *lastId = q.value(0).toLongLong();
            job.table = table;
            job.cutoff = q.value(2).toString();
            job.row.sj = q.value(3).toString();
            job.row.port = q.value(4).toString();
            for (int i = 0; i < kValueCount; ++i) job.row.values[size_t(i)] = q.value(5 + i).toDouble();
            jobs.push_back(std::move(job));
        }
        return jobs;
    }

    /// Removes the rows of `table` up to `lastId` (`n` of them, written to the database).
    bool remove(HistoryTable table, qint64 lastId, qint64 n) {
        QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
        q.prepare(QStringLiteral("DELETE FROM \"spool\" WHERE \"tbl\" = ? AND \"id\" <= ?"));
        q.bindValue(0, indexOf(table));
        q.bindValue(1, lastId);
        if (!q.exec()) return false;
        m_count[indexOf(table)] = qMax<qint64>(0, m_count[indexOf(table)] - n);
        return true;
    }

    /// Drops the oldest rows of both tables until at most `limit` remain; returns how many went.
    qint64 trimTo(qint64 limit) {
        const qint64 excess = total() - limit;
        if (excess <= 0) return 0;
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        QSqlQuery q(db);
        if (!q.exec(
                QStringLiteral("DELETE FROM \"spool\" WHERE \"id\" IN (SELECT \"id\" FROM \"spool\" ORDER BY "
                               "\"id\" LIMIT %1)")
                    .arg(excess)) ||
            !recount(q))
            return 0;
        return excess;
    }

private:
    /// Counts the rows of each table afresh.
    bool recount(QSqlQuery& q) {
        if (!q.exec(QStringLiteral("SELECT \"tbl\", COUNT(*) FROM \"spool\" GROUP BY \"tbl\""))) return false;
        m_count[0] = m_count[1] = 0;
        while (q.next()) {
            const int t = q.value(0).toInt();
            if (t == 0 || t == 1) m_count[t] = q.value(1).toLongLong();
        }
        return true;
    }

    QString m_connectionName;
    bool m_open = false;
    qint64 m_count[2] = {0, 0};
};

}  // namespace

HistoryWriter::HistoryWriter(HistoryLocation location, std::shared_ptr<WriteTurns> writeTurns, Limits limits)
    : m_location(std::move(location)),
      m_writeTurns(std::move(writeTurns)),
      m_limits(limits),
      m_thread([this] { run(); }) {}

HistoryWriter::~HistoryWriter() {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stop = true;
        m_wake.notify_all();
        // The program ends: a call that does not end within a second is not waited for.
        if (!m_idle.wait_for(lock, std::chrono::seconds(1), [this] { return m_exited; }) && m_inCall)
            cutConnection();
    }
    m_thread.join();
}

void HistoryWriter::cutConnection() {
    // Shutting the socket down makes the call that waits on it fail at once; the writer thread then
    // closes the connection itself. The writer clears m_socket (under the lock) before it closes a
    // connection, so this never reaches a descriptor that has been reused.
    if (m_socket >= 0) ::shutdown(m_socket, SHUT_RDWR);
}

void HistoryWriter::push(HistoryJob job) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (int(m_queue.size()) >= m_limits.queueRows) {
            m_queue.pop_front();
            m_status.dropped += 1;
        }
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
}

HistoryWriter::Status HistoryWriter::takeStatus(const QDateTime& now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_inCall) {
        m_seenSince = QDateTime();
    } else if (m_call != m_seenCall || !m_seenSince.isValid()) {
        m_seenCall = m_call;
        m_seenSince = now;
    } else if (m_seenSince.secsTo(now) >= m_limits.stuckSeconds) {
        cutConnection();
        m_seenSince = now;  // once per stuck period
    }
    Status s = m_status;
    const qint64 inMemory = qint64(m_queue.size()) + m_inHand;
    s.waiting += inMemory;
    s.behind = inMemory > m_limits.behindRows;
    m_status.dropped = 0;
    return s;
}

void HistoryWriter::flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const quint64 ticket = ++m_flushAsked;
    m_retryNow = true;
    m_wake.notify_one();
    m_idle.wait(lock, [this, ticket] { return m_flushDone >= ticket; });
}

qint64 HistoryWriter::flushWithin(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const quint64 ticket = ++m_flushAsked;
    m_retryNow = true;
    m_wake.notify_one();
    if (!m_idle.wait_for(lock, limit, [this, ticket] { return m_flushDone >= ticket; })) {
        // Time is up: the call that waits on the server fails at once, and what it held goes to the
        // spool with every row behind it; writing a local file takes moments.
        m_ending = true;
        if (m_inCall) cutConnection();
        const quint64 last = ++m_flushAsked;
        m_retryNow = true;  // a round of its own, which only spools
        m_wake.notify_one();
        m_idle.wait(lock, [this, last] { return m_flushDone >= last; });
    }
    return m_status.waiting + qint64(m_queue.size()) + m_inHand;
}

void HistoryWriter::run() {
    using Clock = std::chrono::steady_clock;
    // The store lives on this thread: Qt SQL connections belong to the thread that opened them.
    HistoryStore store(m_location);
    store.shareWriteTurns(m_writeTurns);
    store.setSqliteBusyMs(m_limits.sqliteBusyMs);
    Spool spool(store.connectionName() + QStringLiteral("-spool"));
    QString error[2];         // per table, the reason it takes no rows now
    QString connectionError;  // why there is no connection now; then neither table takes rows
    QString spoolError;
    Clock::time_point nextTry{};  // long past: try at once

    // Every call to the database is numbered and its socket known, so that the poll thread can cut
    // one that does not end; a connection is closed only after its socket is forgotten.
    // No call begins once flushWithin() has run out of time: its rows go to the spool instead.
    auto beginCall = [&] {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ending) return false;
        m_call += 1;
        m_inCall = true;
        return true;
    };
    auto endCall = [&] {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inCall = false;
    };
    auto disconnect = [&] {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_socket = -1;
        }
        store.disconnect();
    };
    auto connect = [&] {
        disconnect();
        if (!beginCall()) return false;
        const bool ok = store.connect();
        endCall();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_socket = ok ? store.socketDescriptor() : -1;
        return ok;
    };
    // A failed call: the table's own fault, or (when the connection turns out to be gone) both's.
    auto fail = [&](const QString& why, int table) {
        nextTry = Clock::now() + std::chrono::milliseconds(m_limits.retryMs);
        if (store.isOpen() && beginCall()) {
            const bool alive = store.ping();
            endCall();
            if (!alive) disconnect();  // opened afresh at the next try
        }
        if (store.isOpen() && table >= 0)
            error[table] = why;
        else
            connectionError = why;
    };
    // Writes `jobs` (all of one table) in one transaction; false when the database did not take them.
    auto write = [&](const std::vector<HistoryJob>& jobs) {
        const int t = indexOf(jobs.front().table);
        if (!store.isOpen()) {
            if (!connect()) {
                fail(store.lastError(), -1);
                return false;
            }
            connectionError.clear();
        }
        if (!beginCall()) return false;
        try {
            store.record(QVector<HistoryJob>(jobs.begin(), jobs.end()));
        } catch (const HistoryError& e) {
            endCall();
            fail(e.message(), t);
            return false;
        }
        endCall();
        error[t].clear();
        return true;
    };
    auto openSpool = [&] {
        if (spool.isOpen()) return true;
        QString why;
        if (!m_location.spoolPath.isEmpty() && spool.open(m_location.spoolPath, &why)) return true;
        // No file to spool in (folder gone, disk full): the rows wait in memory until the program ends.
        spoolError = why;
        return spool.open(QStringLiteral(":memory:"), &why);
    };
    qint64 dropped = 0;
    auto toSpool = [&](const std::vector<HistoryJob>& jobs) {
        if (jobs.empty() || !openSpool()) return;
        QString why;
        if (!spool.append(jobs, &why)) {
            spoolError = why;
            dropped += qint64(jobs.size());
            return;
        }
        dropped += spool.trimTo(m_limits.spoolRows);
    };

    // Rows a previous run left in the spool are written first.
    if (!m_location.spoolPath.isEmpty() && QFile::exists(m_location.spoolPath)) openSpool();
    if (!connect()) fail(store.lastError(), -1);

    std::unique_lock<std::mutex> lock(m_mutex);
    auto publish = [&] {
        m_status.error = !connectionError.isEmpty() ? connectionError
                         : !error[0].isEmpty()      ? error[0]
                                                    : error[1];
        m_status.waiting = spool.total();
        m_status.dropped += dropped;
        m_status.spoolError = spoolError;
        m_status.known = true;
        m_inHand = 0;  // written, or counted in the spool's total now
        dropped = 0;
    };
    publish();
    for (;;) {
        auto ready = [&] {
            return m_stop || !m_queue.empty() || m_retryNow || (spool.total() > 0 && Clock::now() >= nextTry);
        };
        if (spool.total() > 0)
            m_wake.wait_until(lock, nextTry, ready);
        else
            m_wake.wait(lock, ready);
        if (m_stop && m_queue.empty()) break;
        std::deque<HistoryJob> batch;
        batch.swap(m_queue);
        m_inHand = qint64(batch.size());
        const bool retryNow = m_retryNow;
        const bool stopping = m_stop;
        const bool ending = m_ending;
        m_retryNow = false;
        const quint64 flushTicket = m_flushAsked;
        lock.unlock();

        // New rows first, each on its own (the recorder's purge and append as one transaction); a table
        // with rows in the spool, or failing until the next try, adds them behind those.
        const bool tryNow = retryNow || Clock::now() >= nextTry;
        bool holdBack[2];
        for (int t = 0; t < 2; ++t)
            holdBack[t] = ending || spool.count(t) > 0 ||
                          ((!error[t].isEmpty() || !connectionError.isEmpty()) && !tryNow);
        std::vector<HistoryJob> spooled;
        for (HistoryJob& job : batch) {
            const int t = indexOf(job.table);
            if (!holdBack[t]) {
                if (write({job})) continue;
                holdBack[t] = true;  // one try per round: the next waits its turn
                if (!store.isOpen()) holdBack[0] = holdBack[1] = true;
            }
            spooled.push_back(std::move(job));
        }
        toSpool(spooled);
        // Then the spool, oldest first, a chunk per transaction, when the database is to be tried.
        if (!stopping && !ending && tryNow) {
            bool lost = false;  // no connection to be had: the other table need not try
            for (int t = 0; t < 2 && !lost; ++t) {
                while (spool.count(t) > 0) {
                    qint64 lastId = 0;
                    const std::vector<HistoryJob> chunk = spool.oldest(tableAt(t), kChunkRows, &lastId);
                    if (chunk.empty()) break;
                    if (!write(chunk)) {
                        lost = !store.isOpen();
                        break;
                    }
                    // Removed only once the database has them: a kill in between writes them twice at
                    // most, never loses them.
                    spool.remove(tableAt(t), lastId, qint64(chunk.size()));
                    std::lock_guard<std::mutex> peek(m_mutex);
                    if (m_stop) break;
                }
            }
        }
        // Whatever is left waits for the next try, not for the next wake-up.
        if (spool.total() > 0 && Clock::now() >= nextTry)
            nextTry = Clock::now() + std::chrono::milliseconds(m_limits.retryMs);

        lock.lock();
        publish();
        m_flushDone = flushTicket;
        m_idle.notify_all();
    }
    m_flushDone = m_flushAsked;
    m_exited = true;
    m_socket = -1;
    m_idle.notify_all();
    lock.unlock();
    store.disconnect();
}

}  // namespace tarsyn::history
