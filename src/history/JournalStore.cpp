#include "history/JournalStore.h"

#include <sys/socket.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "config/CsvWriter.h"
#include "history/HistoryColumns.h"

namespace tarsyn::history {

namespace {

struct KindCode {
    JournalKind kind;
    const char* code;
};

const KindCode kCodes[] = {
    {JournalKind::AlarmRaised, "alarm-raised"},
    {JournalKind::AlarmCleared, "alarm-cleared"},
    {JournalKind::LinkLost, "link-lost"},
    {JournalKind::LinkRegained, "link-regained"},
    {JournalKind::CommandSent, "command-sent"},
    {JournalKind::CalibrationSent, "calibration-sent"},
    {JournalKind::BlockWritten, "block-written"},
    {JournalKind::SettingsSaved, "settings-saved"},
    {JournalKind::LoginSucceeded, "login-succeeded"},
    {JournalKind::LoginFailed, "login-failed"},
    {JournalKind::WatchRaised, "watch-raised"},
    {JournalKind::WatchCleared, "watch-cleared"},
    {JournalKind::CommandDeclined, "command-declined"},
    {JournalKind::HistoryDropped, "history-dropped"},
    {JournalKind::CommandRefused, "command-refused"},
    {JournalKind::AlarmActiveAtStart, "alarm-active-at-start"},
};

}  // namespace

/// Events a bounded end left unwritten, in an SQLite file of their own beside the history's spool
/// ("kalde-journal.spool" beside "kalde.spool"): table "spool" with each event and whether the next
/// one belongs to its transaction, in the order they came ("id"). The next start writes them first.
class JournalSpool {
public:
    JournalSpool(QString connectionName, QString path)
        : m_connectionName(std::move(connectionName)), m_path(std::move(path)) {}
    ~JournalSpool() {
        if (QSqlDatabase::contains(m_connectionName)) {
            QSqlDatabase::database(m_connectionName, false).close();
            QSqlDatabase::removeDatabase(m_connectionName);
        }
    }
    /// The file beside the history's spool; empty when the history has none (events wait in memory).
    static QString pathFor(const HistoryLocation& location) {
        if (location.spoolPath.isEmpty()) return {};
        const QFileInfo spool(location.spoolPath);
        return spool.dir().filePath(
            QStringLiteral("%1-journal.%2").arg(spool.completeBaseName(), spool.suffix()));
    }
    const QString& path() const { return m_path; }

    /// Every event waiting in the file, oldest first; `lastId` the id of the last.
    std::deque<JournalWriterEvent> load(std::vector<bool>* more, qint64* lastId) {
        std::deque<JournalWriterEvent> events;
        if (m_path.isEmpty() || !QFile::exists(m_path) || !open()) return events;
        QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT \"id\", \"sj\", \"port\", \"kind\", \"detail\", \"more\", "
                                   "\"data\" FROM \"spool\" ORDER BY \"id\"")))
            return events;
        while (q.next()) {
            *lastId = q.value(0).toLongLong();
            events.push_back({q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                              q.value(4).toString(), q.value(6).toString()});
            more->push_back(q.value(5).toInt() != 0);
        }
        return events;
    }
    /// Appends events to the file in one transaction; false with `why` when it cannot.
    template <typename It>
    bool append(It from, It to, QString* why) {
        if (from == to) return true;
        if (!open()) {
            *why = m_error;
            return false;
        }
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        QSqlQuery q(db);
        bool ok = db.transaction() &&
                  q.prepare(QStringLiteral("INSERT INTO \"spool\" (\"sj\", \"port\", \"kind\", \"detail\", "
                                           "\"more\", \"data\") VALUES (?, ?, ?, ?, ?, ?)"));
        for (It it = from; ok && it != to; ++it) {
            q.bindValue(0, it->event.sj);
            q.bindValue(1, it->event.port);
            q.bindValue(2, it->event.kind);
            q.bindValue(3, it->event.detail);
            q.bindValue(4, it->more && std::next(it) != to ? 1 : 0);
            q.bindValue(5, it->event.data);
            ok = q.exec();
        }
        if (ok) ok = db.commit();
        if (!ok) {
            *why = SqlErrorText(q.lastError().isValid() ? q.lastError() : db.lastError());
            db.rollback();
        }
        return ok;
    }
    /// Removes the events up to `lastId` (written to the journal by now).
    void removeUpTo(qint64 lastId) {
        if (!open()) return;
        QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
        q.prepare(QStringLiteral("DELETE FROM \"spool\" WHERE \"id\" <= ?"));
        q.bindValue(0, lastId);
        q.exec();
    }

private:
    bool open() {
        if (m_open) return true;
        if (m_path.isEmpty()) {
            m_error = QStringLiteral("there is no spool file");
            return false;
        }
        QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                              ? QSqlDatabase::database(m_connectionName, false)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(m_path);
        QSqlQuery q(db);
        m_open = db.open() && q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) &&
                 q.exec(QStringLiteral(
                     "CREATE TABLE IF NOT EXISTS \"spool\" (\"id\" INTEGER PRIMARY KEY "
                     "AUTOINCREMENT, \"sj\" TEXT NOT NULL, \"port\" TEXT NOT NULL, \"kind\" "
                     "TEXT NOT NULL, \"detail\" TEXT NOT NULL, \"more\" INTEGER NOT NULL, \"data\" "
                     "TEXT)"));
        if (!m_open) {
            m_error =
                QStringLiteral("the spool %1 cannot be used: %2")
                    .arg(m_path, SqlErrorText(q.lastError().isValid() ? q.lastError() : db.lastError()));
            q = QSqlQuery();
            db.close();
        }
        return m_open;
    }

    QString m_connectionName, m_path, m_error;
    bool m_open = false;
};

/// Writes the journal's events on a thread and a connection of its own, each event (or group of events
/// handed over together) a transaction of its own, in the order they came. The poll tick only hands an event
/// over; the commit follows within milliseconds, so a killed program loses at most the event being written at
/// that instant. A write that fails keeps its event, closes the connection and tries again after
/// kRetrySeconds; the reason is handed to the store once. Stopping writes what is still queued; what the
/// database does not take by then (it is gone, or frozen past the end's time limit) goes to the journal's
/// spool, written first at the next start.
class JournalWriter {
public:
    /// An event; `more`: the next one belongs to the same transaction.
    struct Pending {
        JournalWriterEvent event;
        bool more = false;
    };
    static constexpr size_t kMaxQueued = 100000;  // a database gone for long must not eat the memory

    JournalWriter(HistoryLocation location, QString connectionName, std::shared_ptr<WriteTurns> writeTurns,
                  QString writer)
        : m_location(std::move(location)),
          m_connectionName(std::move(connectionName)),
          // A null text would bind as SQL NULL: no identity is an empty one.
          m_writer(writer.isNull() ? QStringLiteral("") : std::move(writer)),
          m_writeTurns(std::move(writeTurns)),
          m_thread([this] { run(); }) {}
    ~JournalWriter() {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_stop = true;
            m_wake.notify_all();
            // The program ends: a call that has not ended within JournalStore::kEndSeconds is not
            // waited for; its events and those behind it go to the spool.
            if (!m_idle.wait_for(lock, std::chrono::seconds(JournalStore::kEndSeconds),
                                 [this] { return m_exited; }))
                endNow();
        }
        m_thread.join();
    }

    /// Hands over events to be written in one transaction.
    void push(const QVector<JournalWriterEvent>& events) {
        if (events.isEmpty()) return;
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (qsizetype i = 0; i < events.size(); ++i) {
                if (m_queue.size() >= kMaxQueued) m_queue.pop_front();
                m_queue.push_back({events[i], i + 1 < events.size()});
            }
            // A writer at work takes the next event by itself: in a storm the poll thread need not
            // wake it a hundred times a second.
            wake = m_sleeping;
        }
        if (wake) m_wake.notify_one();
    }
    /// Whether takeError() has something, without taking the lock (checked after every push).
    bool hasNewError() const { return m_newErrorFlag.load(std::memory_order_acquire); }
    /// Waits until every event handed over is written, or the writer is failing.
    void flush() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_idle.wait(lock, [this] { return (m_queue.empty() && !m_busy) || m_failing; });
    }
    /// The same for at most `limit`, for the end of the program: events not written by then (the
    /// database failing, or frozen in a call whose connection is then cut) go to the spool. Returns how
    /// many events the spool holds after it.
    qint64 flushWithin(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const bool idle =
            m_idle.wait_for(lock, limit, [this] { return (m_queue.empty() && !m_busy) || m_failing; });
        if (!idle || !m_queue.empty() || m_busy) {
            endNow();
            m_idle.wait(lock, [this] { return (m_queue.empty() && !m_busy) || m_exited; });
        }
        return m_spooled;
    }
    /// A new failure's reason, once; empty when there is none.
    QString takeError() {
        std::lock_guard<std::mutex> lock(m_mutex);
        QString e;
        if (m_newError) e = m_error;
        m_newError = false;
        m_newErrorFlag.store(false, std::memory_order_release);
        return e;
    }

private:
    // Under m_mutex: no call begins from now on, the one in progress fails at once (its socket is shut
    // down; the writer closes the connection itself), and the writer spools whatever waits.
    void endNow() {
        m_ending = true;
        if (m_inCall && m_socket >= 0) ::shutdown(m_socket, SHUT_RDWR);
        m_wake.notify_all();
    }

    void run() {
        using Clock = std::chrono::steady_clock;
        std::optional<QSqlQuery> insert;
        Clock::time_point nextTry{};
        JournalSpool spool(m_connectionName + QStringLiteral("-spool"), JournalSpool::pathFor(m_location));
        auto closeConnection = [&] {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_socket = -1;
            }
            insert.reset();
            if (QSqlDatabase::contains(m_connectionName))
                QSqlDatabase::database(m_connectionName, false).close();
        };
        // A call to the database begins (false: the end has come, no call begins) and ends.
        auto beginCall = [&] {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_inCall = !m_ending;
            return m_inCall;
        };
        auto endCall = [&] {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_inCall = false;
        };
        auto endingNow = [&] {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_ending;
        };
        // Events an earlier run left in the spool go first, before anything recorded since; they leave
        // the spool once written (a kill in between writes them twice at most, never loses them).
        qint64 spoolLastId = 0;
        size_t fromSpool =
            0;  // of the events at the front of the queue or batch, how many came from the spool
        {
            std::vector<bool> more;
            std::deque<JournalWriterEvent> left = spool.load(&more, &spoolLastId);
            std::lock_guard<std::mutex> lock(m_mutex);
            for (size_t i = left.size(); i > 0; --i)
                m_queue.push_front({std::move(left[i - 1]), more[i - 1]});
            fromSpool = left.size();
            m_spooled = qint64(fromSpool);
            m_busy = false;  // flush() waits for these too
            if (m_queue.empty()) m_idle.notify_all();
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_sleeping = true;
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            m_sleeping = false;
            if (m_queue.empty()) break;  // stopping, nothing left
            // Everything queued so far, taken at once: in a storm the poll thread and this one meet
            // at the lock once per batch, not once per event. Each event is still its own transaction.
            std::deque<Pending> batch;
            batch.swap(m_queue);
            m_busy = true;
            const bool ending = m_ending;
            lock.unlock();
            QString why, droppedWhy;
            size_t done = 0;
            auto connect = [&] {
                if (!beginCall()) return false;
                if (HistoryStore::openConnection(m_location, m_connectionName,
                                                 HistoryStore::Durability::ProgramKill, &why)) {
                    {
                        // Known before the statement is prepared: a server prepares it under the
                        // table's lock, which another client may hold.
                        std::lock_guard<std::mutex> guard(m_mutex);
                        m_socket = PostgresSocket(QSqlDatabase::database(m_connectionName, false));
                    }
                    insert.emplace(QSqlDatabase::database(m_connectionName, false));
                    if (!insert->prepare(
                            QStringLiteral("INSERT INTO \"journal\" (\"sj\", \"port\", \"kind\", "
                                           "\"detail\", \"data\", \"writer\") VALUES (?, ?, ?, ?, ?, ?)"))) {
                        why = SqlErrorText(insert->lastError());
                        endCall();
                        closeConnection();
                    }
                }
                endCall();
                if (!insert) nextTry = Clock::now() + std::chrono::seconds(JournalStore::kRetrySeconds);
                return bool(insert);
            };
            // The events batch[from, to) in one transaction.
            auto exec = [&](size_t from, size_t to) {
                QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
                std::unique_lock<std::mutex> writing;
                if (m_writeTurns) writing = m_writeTurns->after();
                if (!beginCall()) return false;
                // One statement outside any transaction is a transaction of its own; on a server, an
                // explicit one all the same: a statement that a frozen server holds when the end cuts
                // the connection must not be committed by it once it runs again (its event is in the
                // spool by then). Only a cut inside the commit can still write an event twice.
                const bool group = to - from > 1 || m_location.kind == HistoryLocation::Kind::Postgres;
                bool ok = !group || db.transaction();
                for (size_t i = from; ok && i < to; ++i) {
                    const JournalWriterEvent& e = batch[i].event;
                    insert->bindValue(0, e.sj);
                    insert->bindValue(1, e.port);
                    insert->bindValue(2, e.kind);
                    insert->bindValue(3, e.detail);
                    insert->bindValue(
                        4, e.data.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(e.data));
                    insert->bindValue(5, m_writer);
                    ok = insert->exec();
                    if (ok) insert->finish();
                }
                if (ok && group) ok = db.commit();
                endCall();
                if (ok) return true;
                why = SqlErrorText(insert->lastError().isValid() ? insert->lastError() : db.lastError());
                if (group) db.rollback();
                return false;
            };
            while (!ending && done < batch.size()) {
                size_t end = done + 1;
                while (end < batch.size() && batch[end - 1].more) ++end;
                bool written = false, dropped = false;
                if (insert || (Clock::now() >= nextTry && connect())) {
                    written = exec(done, end);
                    if (!written) {
                        // A lost connection gets one fresh try at once; events the database refuses
                        // on a good connection are dropped rather than holding up every later one.
                        closeConnection();
                        if (connect()) {
                            written = exec(done, end);
                            // A call cut at the end is no refusal: its events go to the spool.
                            dropped = !written && !endingNow();
                            if (dropped) droppedWhy = why;
                        }
                    }
                }
                if (!written && !dropped) break;  // the database is not there: wait and try again
                done = end;
            }
            // The spool's events are the batch's first: once all of them are written, they leave it.
            const size_t fromSpoolWritten = std::min(done, fromSpool);
            fromSpool -= fromSpoolWritten;
            if (fromSpoolWritten > 0 && fromSpool == 0) spool.removeUpTo(spoolLastId);
            lock.lock();
            m_spooled -= qint64(fromSpoolWritten);
            m_busy = false;
            if (!droppedWhy.isEmpty()) {
                m_error = QStringLiteral("Event journal (%1): %2").arg(m_location.displayText(), droppedWhy);
                m_newError = true;
                m_newErrorFlag.store(true, std::memory_order_release);
            }
            if (done == batch.size()) {
                m_failing = false;
            } else if (m_stop || m_ending) {
                // The program ends and the database does not take them: the events go to the spool with
                // whatever was queued meanwhile (but those that came from it: they are still there).
                for (Pending& p : m_queue) batch.push_back(std::move(p));
                m_queue.clear();
                m_busy = true;
                lock.unlock();
                QString spoolWhy;
                const auto first = batch.begin() + std::ptrdiff_t(done + fromSpool);
                const qint64 added = batch.end() - first;
                const bool spooled = spool.append(first, batch.end(), &spoolWhy);
                fromSpool = 0;  // in the file now, none of them in memory
                lock.lock();
                m_busy = false;
                m_failing = true;
                if (spooled) {
                    m_spooled += added;
                } else {
                    m_error = QStringLiteral("Event journal (%1): %2 events lost: %3")
                                  .arg(m_location.displayText())
                                  .arg(added)
                                  .arg(spoolWhy);
                    m_newError = true;
                    m_newErrorFlag.store(true, std::memory_order_release);
                }
            } else {
                // What was not written goes back before anything queued meanwhile, in its order.
                for (size_t i = batch.size(); i > done; --i) m_queue.push_front(std::move(batch[i - 1]));
                while (m_queue.size() > kMaxQueued) m_queue.pop_front();
                m_failing = true;
                if (!why.isEmpty()) {
                    m_error = QStringLiteral("Event journal (%1): %2").arg(m_location.displayText(), why);
                    m_newError = true;
                    m_newErrorFlag.store(true, std::memory_order_release);
                }
                m_idle.notify_all();
                m_wake.wait_until(lock, nextTry, [this] { return m_stop || m_ending; });
            }
            if (m_queue.empty()) m_idle.notify_all();
        }
        m_exited = true;
        m_idle.notify_all();
        lock.unlock();
        closeConnection();
        if (QSqlDatabase::contains(m_connectionName)) QSqlDatabase::removeDatabase(m_connectionName);
    }

    const HistoryLocation m_location;
    const QString m_connectionName;
    const QString m_writer;  // this program's identity, in every event's "writer"
    const std::shared_ptr<WriteTurns> m_writeTurns;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<Pending> m_queue;
    // Busy from the start until the spool's events are in the queue, so that a flush() waits for them.
    bool m_busy = true, m_stop = false, m_failing = false, m_newError = false, m_sleeping = false;
    bool m_ending = false, m_inCall = false, m_exited = false;
    int m_socket = -1;     // the PostgreSQL connection's, for endNow(); -1 before it is closed
    qint64 m_spooled = 0;  // events in the spool file not yet written
    QString m_error;
    std::atomic<bool> m_newErrorFlag{false};
    std::thread m_thread;  // last: starts once everything above exists
};

QString journalKindCode(JournalKind kind) {
    // Literals: a storm's events share these texts instead of allocating one each.
    static const QStringList kTexts = [] {
        QStringList texts;
        for (const KindCode& c : kCodes) texts << QLatin1String(c.code);
        return texts;
    }();
    for (size_t i = 0; i < std::size(kCodes); ++i)
        if (kCodes[i].kind == kind) return kTexts[qsizetype(i)];
    return {};
}

std::optional<JournalKind> journalKindFromCode(const QString& code) {
    for (const KindCode& c : kCodes)
        if (code == QLatin1String(c.code)) return c.kind;
    return std::nullopt;
}

JournalStore::JournalStore(HistoryLocation location, const link::Clock& clock, ErrorCallback onError,
                           std::shared_ptr<WriteTurns> writeTurns)
    : m_location(std::move(location)),
      m_clock(clock),
      m_onError(std::move(onError)),
      m_connectionName(QStringLiteral("tarsyn-journal-%1").arg(quintptr(this), 0, 16)),
      m_writeTurns(std::move(writeTurns)) {}

JournalStore::~JournalStore() {
    close();
    if (QSqlDatabase::contains(m_connectionName)) QSqlDatabase::removeDatabase(m_connectionName);
}

bool JournalStore::isOpen() const {
    return QSqlDatabase::contains(m_connectionName) &&
           QSqlDatabase::database(m_connectionName, false).isOpen();
}

void JournalStore::close() {
    m_writer.reset();  // writes what is queued first
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isOpen()) db.close();
    }
}

bool JournalStore::open() {
    close();
    m_lastAttempt = m_clock.now();
    QString why;
    if (!HistoryStore::openConnection(m_location, m_connectionName, HistoryStore::Durability::ProgramKill,
                                      &why)) {
        m_lastError = why;
        return false;
    }
    const bool pg = m_location.kind == HistoryLocation::Kind::Postgres;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const QStringList statements = {
        pg ? QStringLiteral("CREATE TABLE IF NOT EXISTS \"journal\" (\"id\" BIGSERIAL PRIMARY KEY, "
                            "\"sj\" TEXT COLLATE \"C\" NOT NULL, \"port\" TEXT NOT NULL, "
                            "\"kind\" TEXT NOT NULL, \"detail\" TEXT NOT NULL, \"data\" TEXT, "
                            "\"writer\" TEXT NOT NULL DEFAULT '')")
           : QStringLiteral(
                 "CREATE TABLE IF NOT EXISTS \"journal\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                 "\"sj\" TEXT NOT NULL, \"port\" TEXT NOT NULL, \"kind\" TEXT NOT NULL, "
                 "\"detail\" TEXT NOT NULL, \"data\" TEXT, \"writer\" TEXT NOT NULL DEFAULT '')"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"journal_sj\" ON \"journal\" (\"sj\")"),
    };
    const QString foreign = HistoryStore::foreignTables(db);
    if (!foreign.isEmpty()) {
        m_lastError = QStringLiteral("Cannot create the event journal in %1: %2")
                          .arg(m_location.displayText(), foreign);
        close();
        return false;
    }
    QSqlQuery q(db);
    bool ok = db.transaction();
    // Several PCs may start at once against one server: the creators take turns, as for the readings.
    if (ok && pg) ok = q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7316202401)"));
    for (const QString& sql : statements)
        if (ok) ok = q.exec(sql);
    // A table made by an older program has no "data": its rows stay as they are, with NULL there. The
    // change is made only when it is missing (an ALTER locks the table against the other PCs' writes);
    // two PCs adding it at once are told apart by the advisory lock and IF NOT EXISTS.
    if (ok && db.record(QStringLiteral("journal")).indexOf(QStringLiteral("data")) < 0)
        ok = q.exec(pg ? QStringLiteral("ALTER TABLE \"journal\" ADD COLUMN IF NOT EXISTS \"data\" TEXT")
                       : QStringLiteral("ALTER TABLE \"journal\" ADD COLUMN \"data\" TEXT"));
    // Nor a "writer": its rows get an empty one.
    if (ok && !db.record(QStringLiteral("journal")).contains(QStringLiteral("writer")))
        ok = q.exec(
            pg ? QStringLiteral(
                     "ALTER TABLE \"journal\" ADD COLUMN IF NOT EXISTS \"writer\" TEXT NOT NULL DEFAULT ''")
               : QStringLiteral("ALTER TABLE \"journal\" ADD COLUMN \"writer\" TEXT NOT NULL DEFAULT ''"));
    if (ok) ok = db.commit();
    if (!ok) {
        m_lastError = QStringLiteral("Cannot create the event journal in %1: %2")
                          .arg(m_location.displayText(),
                               SqlErrorText(q.lastError().isValid() ? q.lastError() : db.lastError()));
        db.rollback();
        close();
        return false;
    }
    m_writer = std::make_unique<JournalWriter>(m_location, m_connectionName + QStringLiteral("-writer"),
                                               m_writeTurns, m_writerIdentity);
    m_lastError.clear();
    m_reported = false;
    return true;
}

bool JournalStore::usable() {
    if (m_writer) return true;  // the writer exists from a successful open() to close()
    const QDateTime now = m_clock.now();
    if (m_lastAttempt.isValid() && m_lastAttempt.secsTo(now) < kRetrySeconds && now >= m_lastAttempt)
        return false;
    return open();
}

void JournalStore::record(JournalKind kind, const QString& controller, const QString& detail) {
    recordWithData(kind, controller, detail, QString());
}

void JournalStore::recordWithData(JournalKind kind, const QString& controller, const QString& detail,
                                  const QString& data) {
    if (!usable()) {
        if (!m_reported && m_onError && !m_lastError.isEmpty()) m_onError(m_lastError);
        m_reported = true;
        return;
    }
    // Stamped now, written by the writer thread in its own transaction a moment later.
    const QDateTime now = m_clock.now();
    const QTime time = now.time();
    const QTime second(time.hour(), time.minute(), time.second());
    if (m_stamp.isNull() || now.date() != m_stampDate || second != m_stampSecond) {
        m_stamp = stampText(now);
        m_stampDate = now.date();
        m_stampSecond = second;
    }
    // A null text would bind as SQL NULL: an event without a controller has an empty one.
    const QString port = controller.trimmed();
    JournalWriterEvent event{m_stamp, port.isNull() ? QStringLiteral("") : port, journalKindCode(kind),
                             detail.isNull() ? QStringLiteral("") : detail, data};
    if (m_groupDepth > 0) {
        m_group.append(std::move(event));
        return;
    }
    m_writer->push({event});
    takeWriterError();
}

void JournalStore::endGroup() {
    if (m_groupDepth > 0 && --m_groupDepth > 0) return;
    if (m_group.isEmpty() || !m_writer) {
        m_group.clear();
        return;
    }
    m_writer->push(m_group);
    m_group.clear();
    takeWriterError();
}

void JournalStore::takeWriterError() {
    if (!m_writer->hasNewError()) return;
    const QString failed = m_writer->takeError();
    if (failed.isEmpty()) return;
    m_lastError = failed;
    if (!m_reported && m_onError) m_onError(m_lastError);
    m_reported = true;
}

QString JournalStore::spoolPath() const { return JournalSpool::pathFor(m_location); }

qint64 JournalStore::flushWithin(std::chrono::milliseconds limit) {
    if (!m_writer) return 0;
    const qint64 spooled = m_writer->flushWithin(limit);
    const QString failed = m_writer->takeError();
    if (!failed.isEmpty()) {
        m_lastError = failed;
        if (!m_reported && m_onError) m_onError(m_lastError);
        m_reported = true;
    }
    return spooled;
}

void JournalStore::flush() {
    if (!m_writer) return;
    m_writer->flush();
    const QString failed = m_writer->takeError();
    if (!failed.isEmpty()) {
        m_lastError = failed;
        if (!m_reported && m_onError) m_onError(m_lastError);
        m_reported = true;
    }
}

HistoryError JournalStore::failure(const QString& what, const QString& reason) const {
    return HistoryError(
        QStringLiteral("Event journal (%1), %2: %3").arg(m_location.displayText(), what, reason));
}

int JournalStore::purgeOlderThan(int days) {
    if (!isOpen()) return -1;
    flush();
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!q.prepare(QStringLiteral("DELETE FROM \"journal\" WHERE \"sj\" < ?"))) return -1;
    q.bindValue(0, stampText(m_clock.now().addDays(-days)));
    if (!q.exec()) {
        m_lastError = SqlErrorText(q.lastError());
        return -1;
    }
    return q.numRowsAffected();
}

QVector<JournalEvent> JournalStore::events(const JournalFilter& filter) {
    if (!isOpen() && !open()) throw failure(QStringLiteral("read"), m_lastError);
    flush();  // what was recorded before is in what is read
    QStringList where;
    QVariantList values;
    if (!filter.controller.isNull()) {
        where << QStringLiteral("\"port\" = ?");
        values << filter.controller;
    }
    if (filter.kind) {
        where << QStringLiteral("\"kind\" = ?");
        values << journalKindCode(*filter.kind);
    }
    if (filter.from.isValid()) {
        where << QStringLiteral("\"sj\" >= ?");
        values << stampText(filter.from);
    }
    if (filter.to.isValid()) {
        where << QStringLiteral("\"sj\" <= ?");
        values << stampText(filter.to);
    }
    QString sql =
        QStringLiteral("SELECT \"id\", \"sj\", \"port\", \"kind\", \"detail\", \"data\" FROM \"journal\"");
    if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    // The id breaks ties within one second: the later event was written later.
    sql += QStringLiteral(" ORDER BY \"sj\" DESC, \"id\" DESC LIMIT %1").arg(qMax(0, filter.limit));
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    if (!q.prepare(sql)) throw failure(QStringLiteral("read"), SqlErrorText(q.lastError()));
    for (int i = 0; i < values.size(); ++i) q.bindValue(i, values.at(i));
    if (!q.exec()) throw failure(QStringLiteral("read"), SqlErrorText(q.lastError()));
    QVector<JournalEvent> out;
    while (q.next()) {
        const auto kind = journalKindFromCode(q.value(3).toString());
        if (!kind) continue;  // written by a newer program: not one this window can name
        out.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), *kind,
                    q.value(4).toString(), q.value(5).toString()});
    }
    return out;
}

QStringList JournalStore::controllers() {
    if (!isOpen() && !open()) throw failure(QStringLiteral("read"), m_lastError);
    flush();
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!q.exec(QStringLiteral(
            "SELECT DISTINCT \"port\" FROM \"journal\" WHERE \"port\" <> '' ORDER BY \"port\"")))
        throw failure(QStringLiteral("read"), SqlErrorText(q.lastError()));
    QStringList out;
    while (q.next()) out << q.value(0).toString();
    return out;
}

QString JournalWriterIdentity(const QString& host, const QString& dataDir) {
    return QStringLiteral("%1:%2").arg(host, QDir::cleanPath(QDir(dataDir).absolutePath()));
}

int JournalRetentionDays(const QString& setting) {
    bool ok = false;
    const int days = setting.trimmed().toInt(&ok);
    return ok && days > 0 ? days : JournalStore::kDefaultRetentionDays;
}

QString JournalCsv(const QVector<JournalEvent>& events, const std::function<QString(JournalKind)>& kindText,
                   const JournalDetailSplit& splitDetail, const QStringList& moreColumns) {
    config::CsvWriter csv(config::ByteOrderMark::Without);
    QStringList header{QStringLiteral("time"), QStringLiteral("controller"), QStringLiteral("kind"),
                       QStringLiteral("detail")};
    if (splitDetail) header << moreColumns;
    csv.addRow(header);
    for (const JournalEvent& e : events) {
        QStringList fields{e.sj, e.controller, kindText(e.kind)};
        if (splitDetail) {
            QStringList texts = splitDetail(e);
            while (texts.size() < moreColumns.size() + 1) texts << QString();
            fields << texts.mid(0, moreColumns.size() + 1);
        } else {
            fields << e.detail;
        }
        csv.addRow(fields);
    }
    return csv.text();
}

}  // namespace tarsyn::history
