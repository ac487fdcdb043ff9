#include "publish/EventOutbox.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <iterator>
#include <optional>

#include "history/HistoryColumns.h"

namespace tarsyn::publish {

EventOutbox::EventOutbox(history::HistoryLocation location, QString key, QString since,
                         std::shared_ptr<history::WriteTurns> turns, QString writer)
    : m_location(std::move(location)),
      m_key(std::move(key)),
      m_since(std::move(since)),
      m_connectionName(QStringLiteral("tarsyn-outbox-%1").arg(quintptr(this), 0, 16)),
      m_writer(std::move(writer)),
      m_turns(std::move(turns)) {}

EventOutbox::~EventOutbox() {
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool EventOutbox::open(QString* why) {
    m_open = false;
    QString reason;
    if (!history::HistoryStore::openConnection(m_location, m_connectionName,
                                               history::HistoryStore::Durability::ProgramKill, &reason)) {
        if (why) *why = reason;
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery q(db);
    std::unique_lock<std::mutex> turn;
    if (m_turns) turn = m_turns->after();
    // The journal table may not exist yet when the journal store has not opened: its start is 0 then.
    bool ok =
        q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS \"mqtt_outbox\" (\"scope\" TEXT PRIMARY KEY, "
                              "\"last_id\" BIGINT NOT NULL)"));
    if (ok) {
        ok = q.prepare(QStringLiteral("SELECT \"last_id\" FROM \"mqtt_outbox\" WHERE \"scope\" = ?"));
        q.addBindValue(m_key);
        ok = ok && q.exec();
    }
    if (ok && q.next()) {
        m_cursor = q.value(0).toLongLong();
    } else if (ok) {
        const bool journal = db.tables().contains(QStringLiteral("journal"));
        m_cursor = 0;
        if (journal && q.prepare(QStringLiteral("SELECT MAX(\"id\") FROM \"journal\" WHERE \"sj\" < ?"))) {
            q.addBindValue(m_since);
            if (q.exec() && q.next()) m_cursor = q.value(0).toLongLong();
        }
        q.prepare(QStringLiteral("INSERT INTO \"mqtt_outbox\" (\"scope\", \"last_id\") VALUES (?, ?)"));
        q.addBindValue(m_key);
        q.addBindValue(m_cursor);
        ok = q.exec();
    }
    if (!ok) {
        if (why) *why = history::SqlErrorText(q.lastError());
        db.close();
        return false;
    }
    m_open = true;
    return true;
}

namespace {

// The columns read, in rowOf's order; a journal made by an older program gets its "data" column when
// the journal store opens it, and until then its rows have no values.
QString columns(bool dataColumn) {
    return QStringLiteral("\"id\", \"sj\", \"port\", \"kind\", \"detail\", \"writer\", %1")
        .arg(dataColumn ? QStringLiteral("\"data\"") : QStringLiteral("NULL"));
}

/// The row `q` is on; `mine`: whether this outbox's writer wrote it.
OutboxRow rowOf(const QSqlQuery& q, bool mine) {
    OutboxRow row;
    history::JournalEvent& e = row.event;
    e.id = q.value(0).toLongLong();
    e.sj = q.value(1).toString();
    e.controller = q.value(2).toString();
    const std::optional<history::JournalKind> kind = history::journalKindFromCode(q.value(3).toString());
    row.known = kind.has_value() && mine;
    if (kind) e.kind = *kind;
    e.detail = q.value(4).toString();
    e.data = q.value(6).toString();
    return row;
}

}  // namespace

QVector<OutboxRow> EventOutbox::lateRows() {
    QVector<OutboxRow> rows;
    for (auto it = m_missing.begin(); it != m_missing.end();)
        it = it->second.hasExpired() ? m_missing.erase(it) : std::next(it);
    if (m_missing.empty()) return rows;
    QStringList marks;
    QVariantList ids;
    for (auto it = m_missing.begin(); it != m_missing.end() && ids.size() < 500; ++it) {
        marks << QStringLiteral("?");
        ids << it->first;
    }
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM \"journal\" WHERE \"id\" IN (%2) ORDER BY \"id\"")
                  .arg(columns(m_dataColumn), marks.join(QLatin1Char(','))));
    for (const QVariant& id : ids) q.addBindValue(id);
    if (!q.exec()) return rows;
    while (q.next()) {
        const bool mine = m_writer.isEmpty() || q.value(5).toString() == m_writer;
        m_missing.erase(q.value(0).toLongLong());
        // Another writer's late event is that writer's outbox's business.
        if (mine) rows.append(rowOf(q, true));
    }
    return rows;
}

void EventOutbox::noteHoles(qint64 after, const QVector<qint64>& ids) {
    qint64 previous = after;
    for (qint64 id : ids) {
        if (id - previous > 1 && id - previous - 1 <= kMaxHole)
            for (qint64 missing = previous + 1; missing < id; ++missing)
                m_missing.emplace(missing, QDeadlineTimer(kLateMs));
        previous = id;
    }
}

QVector<OutboxRow> EventOutbox::after(qint64 after, int limit) {
    QVector<OutboxRow> events;
    if (!m_open) return events;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!m_dataColumn)
        m_dataColumn = db.record(QStringLiteral("journal")).indexOf(QStringLiteral("data")) >= 0;
    // Rows that committed late, first: the publisher sends them before the newer ones.
    events = lateRows();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM \"journal\" WHERE \"id\" > ? ORDER BY \"id\" LIMIT ?")
                  .arg(columns(m_dataColumn)));
    q.addBindValue(after);
    q.addBindValue(qMax(0, limit - int(events.size())));
    if (!q.exec()) {
        // The journal table appears with the journal store's first open; until then there is nothing.
        if (!QSqlDatabase::database(m_connectionName, false).tables().contains(QStringLiteral("journal")))
            return events;
        QSqlDatabase::database(m_connectionName, false).close();
        m_open = false;
        return events;
    }
    QVector<qint64> ids;
    while (q.next()) {
        const bool mine = m_writer.isEmpty() || q.value(5).toString() == m_writer;
        events.append(rowOf(q, mine));
        ids.append(events.last().event.id);
    }
    noteHoles(after, ids);
    return events;
}

bool EventOutbox::store(qint64 id) {
    if (!m_open) return false;
    if (id <= m_cursor) return true;  // a late event's: the cursor stays where it is
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    std::unique_lock<std::mutex> turn;
    if (m_turns) turn = m_turns->after();
    q.prepare(QStringLiteral("UPDATE \"mqtt_outbox\" SET \"last_id\" = ? WHERE \"scope\" = ?"));
    q.addBindValue(id);
    q.addBindValue(m_key);
    if (!q.exec()) return false;
    m_cursor = id;
    return true;
}

}  // namespace tarsyn::publish
