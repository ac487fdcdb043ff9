#include "remote/SeenIds.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "history/HistoryColumns.h"

namespace tarsyn::remote {

SeenIds::SeenIds(history::HistoryLocation location, std::shared_ptr<history::WriteTurns> turns)
    : m_location(std::move(location)),
      m_turns(std::move(turns)),
      m_connectionName(QStringLiteral("tarsyn-seen-ids-%1").arg(quintptr(this), 0, 16)) {}

SeenIds::~SeenIds() {
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool SeenIds::open(QString* why) {
    if (m_open) return true;
    if (!history::HistoryStore::openConnection(m_location, m_connectionName,
                                               history::HistoryStore::Durability::ProgramKill, why))
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    std::unique_lock<std::mutex> turn;
    if (m_turns) turn = m_turns->after();
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS \"remote_command_ids\" (\"client\" TEXT NOT NULL, "
                               "\"id\" TEXT NOT NULL, \"seen_ms\" BIGINT NOT NULL, PRIMARY KEY (\"client\", "
                               "\"id\"))"))) {
        if (why) *why = history::SqlErrorText(q.lastError());
        QSqlDatabase::database(m_connectionName, false).close();
        return false;
    }
    m_open = true;
    return true;
}

SeenIds::Claim SeenIds::claim(const QString& client, const QString& id, const QDateTime& now, QString* why) {
    if (!open(why)) return Claim::Failed;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const qint64 nowMs = now.toMSecsSinceEpoch();
    std::unique_lock<std::mutex> turn;
    if (m_turns) turn = m_turns->after();
    const auto fail = [&](const QSqlQuery& q) {
        if (why) *why = history::SqlErrorText(q.lastError());
        db.rollback();
        db.close();
        m_open = false;
        return Claim::Failed;
    };
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("DELETE FROM \"remote_command_ids\" WHERE \"seen_ms\" < ?"));
    q.addBindValue(nowMs - kKeepMs);
    if (!q.exec()) return fail(q);
    q.prepare(QStringLiteral("SELECT 1 FROM \"remote_command_ids\" WHERE \"client\" = ? AND \"id\" = ?"));
    q.addBindValue(client);
    q.addBindValue(id);
    if (!q.exec()) return fail(q);
    if (q.next()) {
        db.commit();
        return Claim::Seen;
    }
    q.prepare(QStringLiteral(
        "INSERT INTO \"remote_command_ids\" (\"client\", \"id\", \"seen_ms\") VALUES (?, ?, ?)"));
    q.addBindValue(client);
    q.addBindValue(id);
    q.addBindValue(nowMs);
    // Another line of the same site may have taken it meanwhile: the key refuses the second.
    if (!q.exec()) {
        QSqlQuery again(db);
        db.rollback();
        again.prepare(
            QStringLiteral("SELECT 1 FROM \"remote_command_ids\" WHERE \"client\" = ? AND \"id\" = ?"));
        again.addBindValue(client);
        again.addBindValue(id);
        if (again.exec() && again.next()) return Claim::Seen;
        return fail(q);
    }
    if (!db.commit()) {
        if (why) *why = history::SqlErrorText(db.lastError());
        return Claim::Failed;
    }
    return Claim::New;
}

}  // namespace tarsyn::remote
