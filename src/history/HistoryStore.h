#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "history/HistoryColumns.h"
#include "history/PostgresUrl.h"

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

namespace tarsyn::config {
class Config;
}

namespace tarsyn::history {

/// Turns at writing one embedded (SQLite) database within the program. The poll thread's recorder
/// writes first: the event journal's writer thread steps aside while it waits, so the tick waits at
/// most for one journal insert to end, never for SQLite's busy handler, which sleeps milliseconds.
/// A background writer that steps aside sleeps on a condition until no recorder waits: it never spins.
class WriteTurns {
public:
    /// The recorder's turn: the next one.
    std::unique_lock<std::mutex> first() {
        {
            std::lock_guard<std::mutex> state(m_state);
            ++m_firstWaiting;
        }
        std::unique_lock<std::mutex> turn(m_mutex);
        {
            std::lock_guard<std::mutex> state(m_state);
            if (--m_firstWaiting == 0) m_noneFirst.notify_all();
        }
        return turn;
    }
    /// A background writer's turn: after every recorder that waits.
    std::unique_lock<std::mutex> after() {
        for (;;) {
            {
                std::unique_lock<std::mutex> state(m_state);
                m_noneFirst.wait(state, [this] { return m_firstWaiting == 0; });
            }
            // A recorder that came meanwhile and waits for the turn goes first: this writer lets it
            // have the turn and sleeps again until it has taken it.
            std::unique_lock<std::mutex> turn(m_mutex);
            std::lock_guard<std::mutex> state(m_state);
            if (m_firstWaiting == 0) return turn;
        }
    }
    /// How many recorders wait for their turn now.
    int firstWaiting() {
        std::lock_guard<std::mutex> state(m_state);
        return m_firstWaiting;
    }

private:
    std::mutex m_mutex;  // the turn itself
    std::mutex m_state;  // guards m_firstWaiting; never held while waiting for the turn
    std::condition_variable m_noneFirst;
    int m_firstWaiting = 0;
};

/// One due row with the purge that goes before it: rows of the table with "sj" below `cutoff` go.
struct HistoryJob {
    HistoryTable table = HistoryTable::Day;
    QString cutoff;  ///< a stamp text, "yyyy-MM-dd HH:mm:ss"
    HistoryRow row;
};

/// A history database operation that failed; the text names the table and the database's reason.
class HistoryError : public std::runtime_error {
public:
    explicit HistoryError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

/// Where the history lives: the embedded file "kalde.db" in the data folder, or a shared PostgreSQL
/// database named in system.ini [History] db. A setting that cannot be understood is kept as an
/// invalid location whose error says why, so that opening reports it like any other failure.
struct HistoryLocation {
    enum class Kind { Sqlite, Postgres, Invalid };
    Kind kind = Kind::Invalid;
    QString sqlitePath;
    PostgresUrl postgres;
    QString error;
    /// Where rows wait while the database is away: "kalde.spool" beside "kalde.db" (in the data
    /// folder, whichever database holds the history). Empty: they wait in memory only.
    QString spoolPath;

    static HistoryLocation sqliteFile(const QString& path);
    static HistoryLocation postgresUrl(const PostgresUrl& url);
    /// From the value of [History] db ("0" or empty: not set, so the embedded file) and the data folder.
    static HistoryLocation fromSetting(const QString& dbSetting, const QString& dataDir);
    /// Reads system.ini [History] db through `config`; the data folder is the config's.
    static HistoryLocation fromConfig(const config::Config& config);
    /// The file path or the URL without its password.
    QString displayText() const;
};

/// The history database: tables "24xs" and "nls", 22 columns each ("sj", "port", "sj1"…"sj20"), on
/// SQLite or PostgreSQL through its own named Qt SQL connection. Creates whatever tables and indexes are
/// missing when it connects, and refuses a database whose tables of those names are not the program's. Every
/// statement binds its values; none is built from data. Use it on the thread that created it. Operations
/// raise HistoryError.
class HistoryStore {
public:
    explicit HistoryStore(HistoryLocation location);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    /// The program's store: location from system.ini [History] db, then connect(). Never null; when
    /// the connection failed, isOpen() is false and lastError() holds the text to show the operator.
    static std::unique_ptr<HistoryStore> open(const config::Config& config);

    /// How much a commit must survive: a power cut (the readings) or only a killed program.
    enum class Durability { PowerCut, ProgramKill };
    /// Opens (or re-opens) the Qt SQL connection `connectionName` on `location` with the session
    /// settings of this program (write-ahead log on SQLite); false with the operator's text in `error`.
    /// The history store uses it for its connection, the event journal for its own.
    static bool openConnection(const HistoryLocation& location, const QString& connectionName,
                               Durability durability, QString* error);

    /// Opens the connection and creates missing tables and indexes; false with lastError() on failure.
    /// Every PostgreSQL call is bounded: connect time-out, TCP keep-alives and user time-out,
    /// statement time-out.
    bool connect();
    /// How long an SQLite statement waits for another writer's lock before it fails (from the next
    /// connect()); 0 keeps the driver's default.
    void setSqliteBusyMs(int ms) { m_sqliteBusyMs = ms; }
    /// Takes turns with the given writers instead of this store's own (a second store on the same file).
    void shareWriteTurns(std::shared_ptr<WriteTurns> turns) { m_writeTurns = std::move(turns); }
    /// Closes the connection (also done by the destructor).
    void disconnect();
    bool isOpen() const;
    /// The reason of the last failed connect(), or empty.
    QString lastError() const { return m_lastError; }
    /// A cheap round trip; false when the connection has been lost (server restarted, file gone).
    bool ping();
    /// The network socket of an open PostgreSQL connection, or -1 (SQLite, closed, or unknown).
    int socketDescriptor() const;

    const HistoryLocation& location() const { return m_location; }
    /// Taken around every write to an embedded (SQLite) database by this store and by whoever else in
    /// the program writes to the same file (the event journal's writer thread). Null for PostgreSQL,
    /// whose writers do not exclude each other.
    std::shared_ptr<WriteTurns> writeTurns() const { return m_writeTurns; }
    /// Name of this store's QSqlDatabase connection (for tools and tests that inspect the tables).
    QString connectionName() const { return m_connectionName; }

    /// The recorder's table procedure in one transaction: delete rows with "sj" < cutoff (text order),
    /// then append `row`. Either both happen or neither. A table found missing is created again (with
    /// its indexes) and the row written to it.
    void record(HistoryTable table, const QDateTime& cutoff, const HistoryRow& row);
    /// The table procedure for each job in order, all in one transaction (rows that waited for the
    /// database). Either all happen or none.
    void record(const QVector<HistoryJob>& jobs);
    /// Appends many rows in one transaction (bulk loads, imports).
    void appendRows(HistoryTable table, const QVector<HistoryRow>& rows);
    /// The same for `count` rows made one at a time by `rowAt(i)`, so that a large load need not sit in
    /// memory.
    void appendRows(HistoryTable table, int count, const std::function<HistoryRow(int)>& rowAt);
    /// Deletes rows of every port with "sj" < cutoff; returns how many went.
    int purgeBefore(HistoryTable table, const QDateTime& cutoff);
    /// Rows of `port` with "sj" >= since (an invalid `since`: all of them), in "sj" order.
    QVector<HistoryRow> rowsSince(HistoryTable table, const QString& port, const QDateTime& since);
    /// One value column ("sj1"…"sj20") of `port` with "sj" >= since, in "sj" order; an unknown
    /// column name is an error.
    QVector<HistoryPoint> columnSince(HistoryTable table, const QString& port, const QDateTime& since,
                                      const QString& column);
    /// Rows in the table, all ports.
    qint64 rowCount(HistoryTable table);

    /// Why the database behind `db` is not one the program may add its tables to: a table of one of
    /// the program's names ("24xs", "nls", "journal") without the columns it needs. Empty when it
    /// may (the tables are the program's or missing).
    static QString foreignTables(const QSqlDatabase& db);

private:
    QSqlDatabase database() const;
    void recordOnce(const QVector<HistoryJob>& jobs);
    QSqlDatabase requireOpen(HistoryTable table) const;
    void createSchema(QSqlDatabase& db);
    QSqlQuery& prepared(const QString& key, const QString& sql, HistoryTable table);
    void insertRows(QSqlDatabase& db, HistoryTable table, int count,
                    const std::function<HistoryRow(int)>& rowAt);
    HistoryError failure(HistoryTable table, const QString& what, const QString& reason) const;

    HistoryLocation m_location;
    QString m_connectionName;
    QString m_lastError;
    std::shared_ptr<WriteTurns> m_writeTurns;
    // Statements of the recording path, prepared once per connection.
    std::map<QString, std::unique_ptr<QSqlQuery>> m_prepared;
    int m_sqliteBusyMs = 0;
};

/// The network socket of an open PostgreSQL connection, or -1 (another driver, closed, or unknown).
int PostgresSocket(const QSqlDatabase& db);

/// The database's reason for a failure, never empty.
QString SqlErrorText(const QSqlError& error);

}  // namespace tarsyn::history
