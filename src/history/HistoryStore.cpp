#include "history/HistoryStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QThread>

#include "config/Config.h"

#ifdef TARSYN_HAVE_LIBPQ
#include <libpq-fe.h>
#endif

namespace tarsyn::history {

namespace {

constexpr int kRowsPerInsert = 100;  // rows per multi-row INSERT in bulk appends (2,200 parameters)

// Bounds of every PostgreSQL call, so that a server or network that stops answering costs a tick a
// few seconds at most: libpq's connect time-out (its minimum is 2 s), TCP keep-alives probing an
// idle connection after 5 s, and a send that stays unacknowledged for 3 s ends the connection
// (a cable pulled between PC and server). The server ends a statement after 3 s (a locked table).
const char* const kPostgresBounds[][2] = {{"connect_timeout", "2"},  {"keepalives", "1"},
                                          {"keepalives_idle", "5"},  {"keepalives_interval", "2"},
                                          {"keepalives_count", "2"}, {"tcp_user_timeout", "3000"}};
constexpr int kStatementTimeoutMs = 3000;

/// libpq options of `url`, with the bounds above wherever the URL does not set its own.
QString boundedOptions(const PostgresUrl& url) {
    QStringList options;
    if (!url.options.isEmpty()) options << url.options;
    for (const auto& bound : kPostgresBounds)
        if (!url.options.contains(QLatin1String(bound[0]) + QLatin1Char('=')))
            options << QLatin1String(bound[0]) + QLatin1Char('=') + QLatin1String(bound[1]);
    return options.join(QLatin1Char(';'));
}

void configurePostgres(QSqlDatabase& db, const PostgresUrl& u) {
    db.setHostName(u.host);
    if (u.port > 0) db.setPort(u.port);
    db.setUserName(u.user);
    db.setPassword(u.password);  // empty: libpq looks in PGPASSWORD and ~/.pgpass
    db.setDatabaseName(u.database);
    db.setConnectOptions(boundedOptions(u));
}

QString quoted(const QString& identifier) { return QLatin1Char('"') + identifier + QLatin1Char('"'); }

QString quotedTable(HistoryTable table) { return quoted(tableName(table)); }

QString columnList() {
    QStringList names{quoted(QStringLiteral("sj")), quoted(QStringLiteral("port"))};
    for (const HistoryColumn& c : historyColumns()) names << quoted(QLatin1String(c.name));
    return names.join(QLatin1Char(','));
}

QString placeholders(int rows) {
    QString one = QStringLiteral("(?,?");
    for (int i = 0; i < kValueCount; ++i) one += QStringLiteral(",?");
    one += QLatin1Char(')');
    QStringList all;
    for (int r = 0; r < rows; ++r) all << one;
    return all.join(QLatin1Char(','));
}

// A null QString binds as SQL NULL; an empty remark or stamp must stay an empty text.
QVariant text(const QString& s) { return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s); }

HistoryRow readRow(const QSqlQuery& q) {
    HistoryRow row;
    row.sj = q.value(0).toString();
    row.port = q.value(1).toString();
    for (int i = 0; i < kValueCount; ++i) row.values[size_t(i)] = q.value(2 + i).toDouble();
    return row;
}

}  // namespace

// ---- HistoryLocation ----

HistoryLocation HistoryLocation::sqliteFile(const QString& path) {
    HistoryLocation l;
    l.kind = Kind::Sqlite;
    l.sqlitePath = path;
    l.spoolPath = QFileInfo(path).dir().filePath(QStringLiteral("kalde.spool"));
    return l;
}

HistoryLocation HistoryLocation::postgresUrl(const PostgresUrl& url) {
    HistoryLocation l;
    l.kind = Kind::Postgres;
    l.postgres = url;
    return l;
}

HistoryLocation HistoryLocation::fromSetting(const QString& dbSetting, const QString& dataDir) {
    const QString value = dbSetting.trimmed();
    if (value.isEmpty() || value == QLatin1String("0"))
        return sqliteFile(QDir(dataDir).filePath(QStringLiteral("kalde.db")));
    PostgresUrl url;
    QString why;
    if (PostgresUrl::parse(value, &url, &why)) {
        HistoryLocation l = postgresUrl(url);
        if (!dataDir.isEmpty()) l.spoolPath = QDir(dataDir).filePath(QStringLiteral("kalde.spool"));
        return l;
    }
    HistoryLocation l;
    l.error =
        QStringLiteral("The history database setting [History] db in system.ini is not usable: %1.").arg(why);
    return l;
}

HistoryLocation HistoryLocation::fromConfig(const config::Config& config) {
    return fromSetting(
        config.reini(QStringLiteral("system.ini"), QStringLiteral("History"), QStringLiteral("db")),
        config.dataDir());
}

QString HistoryLocation::displayText() const {
    switch (kind) {
        case Kind::Sqlite:
            return QDir::toNativeSeparators(sqlitePath);
        case Kind::Postgres:
            return postgres.displayText();
        case Kind::Invalid:
            break;
    }
    return QStringLiteral("[History] db");
}

// ---- HistoryStore ----

HistoryStore::HistoryStore(HistoryLocation location)
    : m_location(std::move(location)),
      // Unique while this object lives, without any shared counter.
      m_connectionName(QStringLiteral("tarsyn-history-%1").arg(quintptr(this), 0, 16)),
      m_writeTurns(m_location.kind == HistoryLocation::Kind::Sqlite ? std::make_shared<WriteTurns>()
                                                                    : nullptr) {}

HistoryStore::~HistoryStore() {
    disconnect();
    if (QSqlDatabase::contains(m_connectionName)) QSqlDatabase::removeDatabase(m_connectionName);
}

std::unique_ptr<HistoryStore> HistoryStore::open(const config::Config& config) {
    auto store = std::make_unique<HistoryStore>(HistoryLocation::fromConfig(config));
    store->connect();
    return store;
}

QSqlDatabase HistoryStore::database() const { return QSqlDatabase::database(m_connectionName, false); }

bool HistoryStore::isOpen() const { return QSqlDatabase::contains(m_connectionName) && database().isOpen(); }

namespace {

/// Puts an SQLite file into write-ahead logging; the reason when it could not. Several lines opening
/// one fresh file at once race for the switch, which SQLite answers with "database is locked" rather
/// than waiting: the switch is tried again for a while, and a file another connection has switched
/// already is left as it is.
QString switchToWal(QSqlQuery& q) {
    constexpr int kAttempts = 50;
    constexpr int kPauseMs = 40;  // two seconds in all: the other lines' switch takes milliseconds
    QString error;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) QThread::msleep(kPauseMs);
        const bool wal = q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next() &&
                         q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
        q.finish();
        if (wal) return {};
        if (q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && q.next() &&
            q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) {
            q.finish();
            return {};
        }
        error = SqlErrorText(q.lastError());
        q.finish();
        if (!error.contains(QLatin1String("locked")) && !error.contains(QLatin1String("busy"))) break;
    }
    return QStringLiteral("cannot switch to write-ahead logging: %1").arg(error);
}

}  // namespace

bool HistoryStore::openConnection(const HistoryLocation& location, const QString& connectionName,
                                  Durability durability, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (location.kind == HistoryLocation::Kind::Invalid) return fail(location.error);
    const bool pg = location.kind == HistoryLocation::Kind::Postgres;
    const QString driver = pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver))
        return fail(
            QStringLiteral("Cannot open the history database %1: the Qt SQL driver %2 is not installed.")
                .arg(location.displayText(), driver));
    QSqlDatabase db = QSqlDatabase::contains(connectionName)
                          ? QSqlDatabase::database(connectionName, false)
                          : QSqlDatabase::addDatabase(driver, connectionName);
    if (pg) {
        configurePostgres(db, location.postgres);
    } else {
        db.setDatabaseName(location.sqlitePath);
    }
    if (!db.open()) {
        const QString why = QStringLiteral("Cannot open the history database %1: %2")
                                .arg(location.displayText(), SqlErrorText(db.lastError()));
        db.close();
        return fail(why);
    }
    QString why;
    QSqlQuery q(db);
    if (!pg) {
        // Another program's database is refused before anything is changed in it: switching the
        // journal mode rewrites the file's header.
        if (const QString foreign = foreignTables(db); !foreign.isEmpty()) {
            db.close();
            return fail(QStringLiteral("Cannot open the history database %1: %2")
                            .arg(location.displayText(), foreign));
        }
        // WAL lets the curve window read while a row is written. FULL makes a commit survive a power
        // cut; NORMAL (the journal's many small commits) survives a killed program, as the WAL is
        // written before the commit returns and only its sync to the disk is left to the system.
        why = switchToWal(q);
        const QString sync = durability == Durability::PowerCut ? QStringLiteral("PRAGMA synchronous=FULL")
                                                                : QStringLiteral("PRAGMA synchronous=NORMAL");
        if (why.isEmpty() && !q.exec(sync)) why = SqlErrorText(q.lastError());
        // A device's rows are spread over the file (all devices record at once): a curve read
        // touches one page per row, so keep pages in memory rather than read them one by one.
        q.exec(QStringLiteral("PRAGMA cache_size=-32768"));    // 32 MiB
        q.exec(QStringLiteral("PRAGMA mmap_size=268435456"));  // 256 MiB
    } else {
        // "already exists, skipping" notices of the schema check would land on stderr at every start.
        if (!q.exec(QStringLiteral("SET client_min_messages TO WARNING")) ||
            !q.exec(QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeoutMs)))
            why = SqlErrorText(q.lastError());
        // The server has a commit once it answered: a killed program loses nothing, and the wait for
        // the server's disk is not the poll tick's.
        if (why.isEmpty() && durability == Durability::ProgramKill &&
            !q.exec(QStringLiteral("SET synchronous_commit TO off")))
            why = SqlErrorText(q.lastError());
    }
    q.finish();
    if (!why.isEmpty()) {
        db.close();
        return fail(
            QStringLiteral("Cannot open the history database %1: %2").arg(location.displayText(), why));
    }
    return true;
}

bool HistoryStore::connect() {
    disconnect();
    m_lastError.clear();
    if (!openConnection(m_location, m_connectionName, Durability::PowerCut, &m_lastError)) return false;
    try {
        QSqlDatabase db = database();
        if (m_sqliteBusyMs > 0 && m_location.kind == HistoryLocation::Kind::Sqlite) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(m_sqliteBusyMs));
        }
        createSchema(db);
    } catch (const HistoryError& e) {
        m_lastError = QStringLiteral("Cannot open the history database %1: %2")
                          .arg(m_location.displayText(), e.message());
        disconnect();
        return false;
    }
    return true;
}

void HistoryStore::disconnect() {
    m_prepared.clear();  // prepared statements belong to the connection
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase db = database();
        if (db.isOpen()) db.close();
    }
}

bool HistoryStore::ping() {
    if (!isOpen()) return false;
    QSqlQuery q(database());
    const bool ok = q.exec(QStringLiteral("SELECT 1")) && q.next();
    q.finish();
    return ok;
}

int HistoryStore::socketDescriptor() const {
    if (m_location.kind != HistoryLocation::Kind::Postgres || !isOpen()) return -1;
    return PostgresSocket(database());
}

int PostgresSocket(const QSqlDatabase& db) {
#ifdef TARSYN_HAVE_LIBPQ
    if (!db.isOpen() || !db.driver()) return -1;
    const QVariant handle = db.driver()->handle();
    // The driver's handle holds the libpq connection ("PGconn*", spelt "pg_conn*" by the metatype).
    if (handle.isValid() &&
        (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0))
        if (PGconn* conn = *static_cast<PGconn* const*>(handle.data())) return PQsocket(conn);
#else
    Q_UNUSED(db);
#endif
    return -1;
}

void HistoryStore::createSchema(QSqlDatabase& db) {
    const bool pg = m_location.kind == HistoryLocation::Kind::Postgres;
    QStringList statements;
    for (HistoryTable t : {HistoryTable::Day, HistoryTable::Hour}) {
        // "C" collation on PostgreSQL: "sj" is compared and sorted as plain text, which equals time order.
        QStringList cols{quoted(QStringLiteral("sj")) + (pg ? QStringLiteral(" TEXT COLLATE \"C\" NOT NULL")
                                                            : QStringLiteral(" TEXT NOT NULL")),
                         quoted(QStringLiteral("port")) + QStringLiteral(" TEXT NOT NULL")};
        for (const HistoryColumn& c : historyColumns())
            cols << quoted(QLatin1String(c.name)) + QLatin1Char(' ') +
                        (c.isReal() ? (pg ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL"))
                                    : QStringLiteral("INTEGER"));
        const QString name = tableName(t);
        statements << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                          .arg(quoted(name), cols.join(QLatin1Char(',')));
        // ("port","sj") serves the curve window's per-device read, ("sj") the purge of all devices.
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (\"port\",\"sj\")")
                          .arg(quoted(name + QStringLiteral("_port_sj")), quoted(name));
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (\"sj\")")
                          .arg(quoted(name + QStringLiteral("_sj")), quoted(name));
        // The curves window reads one device's value column in time order. Rows of many devices
        // interleave in the table, so without the values in the index every row read is a page of
        // its own; with them the read stays on the device's own index pages.
        QStringList values;
        for (const HistoryColumn& c : historyColumns()) values << quoted(QLatin1String(c.name));
        statements << QString::fromLatin1(
                          pg ? "CREATE INDEX IF NOT EXISTS %1 ON %2 (\"port\",\"sj\") INCLUDE (%3)"
                             : "CREATE INDEX IF NOT EXISTS %1 ON %2 (\"port\",\"sj\",%3)")
                          .arg(quoted(name + QStringLiteral("_port_sj_values")), quoted(name),
                               values.join(QLatin1Char(',')));
    }
    // A file of another program that happens to have a table of one of these names is left as it is.
    const QString foreign = foreignTables(db);
    if (!foreign.isEmpty()) throw HistoryError(foreign);
    if (!db.transaction()) throw HistoryError(SqlErrorText(db.lastError()));
    QSqlQuery q(db);
    // Several PCs may start at once against one server; IF NOT EXISTS alone can still collide in
    // the catalogue, so the creators take turns (the lock ends with the transaction).
    if (pg && !q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7316202400)"))) {
        const QString why = SqlErrorText(q.lastError());
        db.rollback();
        throw HistoryError(why);
    }
    for (const QString& sql : statements) {
        if (!q.exec(sql)) {
            const QString why = SqlErrorText(q.lastError());
            db.rollback();
            throw HistoryError(QStringLiteral("cannot create the history tables: %1").arg(why));
        }
    }
    if (!db.commit()) {
        const QString why = SqlErrorText(db.lastError());
        db.rollback();
        throw HistoryError(QStringLiteral("cannot create the history tables: %1").arg(why));
    }
}

HistoryError HistoryStore::failure(HistoryTable table, const QString& what, const QString& reason) const {
    return HistoryError(QStringLiteral("History table \"%1\" (%2), %3: %4")
                            .arg(tableName(table), m_location.displayText(), what, reason));
}

QSqlDatabase HistoryStore::requireOpen(HistoryTable table) const {
    QSqlDatabase db = database();
    if (!db.isOpen())
        throw failure(
            table, QStringLiteral("no connection"),
            m_lastError.isEmpty() ? QStringLiteral("the history database is not open") : m_lastError);
    return db;
}

QSqlQuery& HistoryStore::prepared(const QString& key, const QString& sql, HistoryTable table) {
    auto it = m_prepared.find(key);
    if (it != m_prepared.end()) return *it->second;
    auto q = std::make_unique<QSqlQuery>(database());
    if (!q->prepare(sql)) throw failure(table, QStringLiteral("prepare"), SqlErrorText(q->lastError()));
    return *m_prepared.emplace(key, std::move(q)).first->second;
}

void HistoryStore::insertRows(QSqlDatabase& db, HistoryTable table, int count,
                              const std::function<HistoryRow(int)>& rowAt) {
    const QString insert =
        QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(quotedTable(table), columnList());
    const auto& cols = historyColumns();
    int done = 0;
    while (done < count) {
        const int n = qMin(kRowsPerInsert, count - done);
        // Single rows (the recorder) and full chunks reuse their statement; a bulk tail gets its own.
        std::unique_ptr<QSqlQuery> tail;
        QSqlQuery* q = nullptr;
        if (n == 1 || n == kRowsPerInsert) {
            q = &prepared(tableName(table) + QStringLiteral("/insert") + QString::number(n),
                          insert + placeholders(n), table);
        } else {
            tail = std::make_unique<QSqlQuery>(db);
            if (!tail->prepare(insert + placeholders(n)))
                throw failure(table, QStringLiteral("prepare"), SqlErrorText(tail->lastError()));
            q = tail.get();
        }
        int p = 0;
        for (int r = 0; r < n; ++r) {
            const HistoryRow row = rowAt(done + r);
            q->bindValue(p++, text(row.sj));
            q->bindValue(p++, text(row.port));
            for (size_t i = 0; i < cols.size(); ++i) {
                const double v = row.values[i];
                q->bindValue(p++, cols[i].isReal() ? QVariant(v) : QVariant(qlonglong(v)));
            }
        }
        if (!q->exec()) throw failure(table, QStringLiteral("insert"), SqlErrorText(q->lastError()));
        q->finish();  // lets SQLite reset the statement at once rather than at its next use
        done += n;
    }
}

void HistoryStore::record(HistoryTable table, const QDateTime& cutoff, const HistoryRow& row) {
    record(QVector<HistoryJob>{{table, stampText(cutoff), row}});
}

void HistoryStore::record(const QVector<HistoryJob>& jobs) {
    if (jobs.isEmpty()) return;
    try {
        recordOnce(jobs);
    } catch (const HistoryError&) {
        // A table dropped while connected (by hand, by a tool, by a restore) would make every later
        // reply fail: put it back with its indexes and write the rows again. Any other fault stands.
        QSqlDatabase db = database();
        if (!db.isOpen()) throw;
        const QStringList present = db.tables();
        const HistoryTable first = jobs.first().table;
        HistoryTable missing = first;
        bool anyMissing = false;
        for (const HistoryJob& j : jobs)
            if (!present.contains(tableName(j.table))) {
                missing = j.table;
                anyMissing = true;
                break;
            }
        if (!anyMissing) throw;
        m_prepared.clear();  // statements prepared against the old table
        try {
            createSchema(db);
        } catch (const HistoryError& e) {
            throw failure(missing, QStringLiteral("recreate"), e.message());
        }
        recordOnce(jobs);
    }
}

void HistoryStore::recordOnce(const QVector<HistoryJob>& jobs) {
    const HistoryTable firstTable = jobs.first().table;
    QSqlDatabase db = requireOpen(firstTable);
    std::unique_lock<std::mutex> writing;
    if (m_writeTurns) writing = m_writeTurns->first();
    if (!db.transaction()) throw failure(firstTable, QStringLiteral("begin"), SqlErrorText(db.lastError()));
    try {
        for (const HistoryJob& job : jobs) {
            QSqlQuery& purge = prepared(
                tableName(job.table) + QStringLiteral("/purge"),
                QStringLiteral("DELETE FROM %1 WHERE \"sj\" < ?").arg(quotedTable(job.table)), job.table);
            purge.bindValue(0, text(job.cutoff));
            if (!purge.exec())
                throw failure(job.table, QStringLiteral("purge"), SqlErrorText(purge.lastError()));
            purge.finish();
            insertRows(db, job.table, 1, [&job](int) { return job.row; });
        }
        if (!db.commit()) throw failure(firstTable, QStringLiteral("commit"), SqlErrorText(db.lastError()));
    } catch (...) {
        db.rollback();
        throw;
    }
}

void HistoryStore::appendRows(HistoryTable table, const QVector<HistoryRow>& rows) {
    appendRows(table, int(rows.size()), [&rows](int i) { return rows[i]; });
}

void HistoryStore::appendRows(HistoryTable table, int count, const std::function<HistoryRow(int)>& rowAt) {
    if (count <= 0) return;
    QSqlDatabase db = requireOpen(table);
    std::unique_lock<std::mutex> writing;
    if (m_writeTurns) writing = m_writeTurns->first();
    if (!db.transaction()) throw failure(table, QStringLiteral("begin"), SqlErrorText(db.lastError()));
    try {
        insertRows(db, table, count, rowAt);
        if (!db.commit()) throw failure(table, QStringLiteral("commit"), SqlErrorText(db.lastError()));
    } catch (...) {
        db.rollback();
        throw;
    }
}

int HistoryStore::purgeBefore(HistoryTable table, const QDateTime& cutoff) {
    QSqlDatabase db = requireOpen(table);
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("DELETE FROM %1 WHERE \"sj\" < ?").arg(quotedTable(table))))
        throw failure(table, QStringLiteral("purge"), SqlErrorText(q.lastError()));
    q.bindValue(0, text(stampText(cutoff)));
    if (!q.exec()) throw failure(table, QStringLiteral("purge"), SqlErrorText(q.lastError()));
    return q.numRowsAffected();
}

QVector<HistoryRow> HistoryStore::rowsSince(HistoryTable table, const QString& port, const QDateTime& since) {
    QSqlDatabase db = requireOpen(table);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE \"port\" = ? AND \"sj\" >= ? ORDER BY \"sj\"")
                            .arg(columnList(), quotedTable(table));
    if (!q.prepare(sql)) throw failure(table, QStringLiteral("read"), SqlErrorText(q.lastError()));
    q.bindValue(0, text(port));
    q.bindValue(1, text(stampText(since)));
    if (!q.exec()) throw failure(table, QStringLiteral("read"), SqlErrorText(q.lastError()));
    QVector<HistoryRow> rows;
    while (q.next()) rows.append(readRow(q));
    if (q.lastError().isValid()) throw failure(table, QStringLiteral("read"), SqlErrorText(q.lastError()));
    return rows;
}

QVector<HistoryPoint> HistoryStore::columnSince(HistoryTable table, const QString& port,
                                                const QDateTime& since, const QString& column) {
    // The column name is checked against the twenty known ones, never pasted in as given.
    const int index = valueColumnIndex(column);
    if (index < 0)
        throw failure(table, QStringLiteral("read"),
                      QStringLiteral("there is no history column \"%1\"").arg(column));
    QSqlDatabase db = requireOpen(table);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const QString sql =
        QStringLiteral("SELECT \"sj\", %1 FROM %2 WHERE \"port\" = ? AND \"sj\" >= ? ORDER BY \"sj\"")
            .arg(quoted(QLatin1String(historyColumns()[size_t(index)].name)), quotedTable(table));
    if (!q.prepare(sql)) throw failure(table, QStringLiteral("read"), SqlErrorText(q.lastError()));
    q.bindValue(0, text(port));
    q.bindValue(1, text(stampText(since)));
    if (!q.exec()) throw failure(table, QStringLiteral("read"), SqlErrorText(q.lastError()));
    QVector<HistoryPoint> points;
    while (q.next()) points.append({q.value(0).toString(), q.value(1).toDouble()});
    if (q.lastError().isValid()) throw failure(table, QStringLiteral("read"), SqlErrorText(q.lastError()));
    return points;
}

qint64 HistoryStore::rowCount(HistoryTable table) {
    QSqlDatabase db = requireOpen(table);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(quotedTable(table))) || !q.next())
        throw failure(table, QStringLiteral("count"), SqlErrorText(q.lastError()));
    return q.value(0).toLongLong();
}

QString HistoryStore::foreignTables(const QSqlDatabase& db) {
    struct Needed {
        QString table;
        QStringList columns;
    };
    QStringList history{QStringLiteral("sj"), QStringLiteral("port")};
    for (const HistoryColumn& c : historyColumns()) history << QLatin1String(c.name);
    const Needed needed[] = {
        {tableName(HistoryTable::Day), history},
        {tableName(HistoryTable::Hour), history},
        {QStringLiteral("journal"),
         {QStringLiteral("id"), QStringLiteral("sj"), QStringLiteral("port"), QStringLiteral("kind"),
          QStringLiteral("detail")}},
    };
    const QStringList present = db.tables();
    for (const Needed& n : needed) {
        if (!present.contains(n.table)) continue;
        const QSqlRecord record = db.record(n.table);
        QStringList lacking;
        for (const QString& c : n.columns)
            if (record.indexOf(c) < 0) lacking << c;
        if (!lacking.isEmpty())
            return QStringLiteral(
                       "the database is not a history of this program: its table \"%1\" has no column %2. "
                       "Nothing was added to it; name another file or database in system.ini [History] db.")
                .arg(n.table, lacking.join(QStringLiteral(", ")));
    }
    return {};
}

QString SqlErrorText(const QSqlError& error) {
    QString t = error.text().trimmed();
    return t.isEmpty() ? QStringLiteral("unknown database error") : t;
}

}  // namespace tarsyn::history
