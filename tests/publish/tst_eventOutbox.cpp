// The journal as the event topic's outbox when several programs share it: each outbox takes only its
// own writer's events, an event whose transaction commits after a newer one is still taken (once),
// and a journal of an older program gets the writer column. Runs on SQLite and, with
// TARSYN_HISTORY_BACKEND=postgresql, on the server named by TARSYN_TEST_PG_URL.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include "FakeClock.h"
#include "PostgresVariant.h"
#include "history/HistoryStore.h"
#include "history/JournalStore.h"
#include "publish/EventOutbox.h"

using namespace tarsyn;
using history::JournalKind;

namespace {

const QString kPcA = QStringLiteral("pc-a:/var/lib/tarsyn");
const QString kPcB = QStringLiteral("pc-b:/var/lib/tarsyn");

/// What a publisher would send of `rows`: the details of the known ones, in the order given.
QStringList sent(const QVector<publish::OutboxRow>& rows) {
    QStringList details;
    for (const publish::OutboxRow& r : rows)
        if (r.known) details << r.event.detail;
    return details;
}

qint64 lastId(const QVector<publish::OutboxRow>& rows) {
    qint64 id = 0;
    for (const publish::OutboxRow& r : rows) id = qMax(id, r.event.id);
    return id;
}

}  // namespace

class TestEventOutbox : public QObject {
    Q_OBJECT

    bool m_postgres = test::postgresVariant();
    QTemporaryDir m_dir;
    history::HistoryLocation location() const {
        return test::variantLocation(m_dir.filePath(QStringLiteral("kalde.db")));
    }
    // The first start of an outbox begins after the events stamped before this.
    const QString kSince = QStringLiteral("2026-03-01 00:00:00");

private slots:
    void initTestCase() { TARSYN_SKIP_POSTGRES_VARIANT_WITHOUT_SERVER(); }
    void init() {
        QFile::remove(m_dir.filePath(QStringLiteral("kalde.db")));
        history::HistoryStore s(location());
        QVERIFY2(s.connect(), qPrintable(s.lastError()));
        QSqlQuery q(QSqlDatabase::database(s.connectionName()));
        QVERIFY(q.exec(QStringLiteral("DROP TABLE IF EXISTS \"journal\"")));
        QVERIFY(q.exec(QStringLiteral("DROP TABLE IF EXISTS \"mqtt_outbox\"")));
    }

    void eachWriterTakesOnlyItsOwnEvents() {
        test::FakeClock clock;
        clock.set(QDateTime(QDate(2026, 3, 2), QTime(8, 0, 0)));
        history::JournalStore a(location(), clock), b(location(), clock);
        a.setWriter(kPcA);
        b.setWriter(kPcB);
        QVERIFY2(a.open(), qPrintable(a.lastError()));
        QVERIFY2(b.open(), qPrintable(b.lastError()));
        // Interleaved, as two PCs on one server write them.
        for (int i = 1; i <= 3; ++i) {
            a.record(JournalKind::AlarmRaised, "Gen A", QString("a%1").arg(i));
            a.flush();
            b.record(JournalKind::AlarmRaised, "Gen B", QString("b%1").arg(i));
            b.flush();
        }
        publish::EventOutbox outA(location(), "site/pc", kSince, nullptr, kPcA);
        publish::EventOutbox outB(location(), "site/pc-b", kSince, nullptr, kPcB);
        QString why;
        QVERIFY2(outA.open(&why), qPrintable(why));
        QVERIFY2(outB.open(&why), qPrintable(why));
        const QVector<publish::OutboxRow> rowsA = outA.after(outA.cursor(), 100);
        const QVector<publish::OutboxRow> rowsB = outB.after(outB.cursor(), 100);
        QCOMPARE(sent(rowsA), (QStringList{"a1", "a2", "a3"}));
        QCOMPARE(sent(rowsB), (QStringList{"b1", "b2", "b3"}));
        // The other writer's rows come back to be passed over, so each cursor moves over all six.
        QCOMPARE(rowsA.size(), 6);
        QVERIFY(outA.store(lastId(rowsA)));
        QVERIFY(outB.store(lastId(rowsB)));
        a.record(JournalKind::LinkLost, "Gen A", "a4");
        a.flush();
        QCOMPARE(sent(outA.after(outA.cursor(), 100)), QStringList{"a4"});
        QCOMPARE(sent(outB.after(outB.cursor(), 100)), QStringList{});
    }

    void anEventThatCommitsLateIsTakenOnce() {
        if (!m_postgres) QSKIP("SQLite takes one writer at a time: no event commits behind a newer one");
        test::FakeClock clock;
        clock.set(QDateTime(QDate(2026, 3, 2), QTime(8, 0, 0)));
        history::JournalStore a(location(), clock);
        a.setWriter(kPcA);
        QVERIFY2(a.open(), qPrintable(a.lastError()));
        a.record(JournalKind::AlarmRaised, "Gen A", "first");
        a.flush();
        publish::EventOutbox out(location(), "site/pc", kSince, nullptr, kPcA);
        QString why;
        QVERIFY2(out.open(&why), qPrintable(why));
        QVector<publish::OutboxRow> rows = out.after(out.cursor(), 100);
        QCOMPARE(sent(rows), QStringList{"first"});
        QVERIFY(out.store(lastId(rows)));

        // Another connection of the same writer takes the next id and holds its transaction open
        // while a newer event commits.
        {
            QSqlDatabase held = QSqlDatabase::cloneDatabase(QSqlDatabase::database(a.connectionName()),
                                                            QStringLiteral("held-open"));
            QVERIFY2(held.open(), qPrintable(held.lastError().text()));
            QSqlQuery q(held);
            QVERIFY(q.exec("BEGIN"));
            QVERIFY(
                q.prepare("INSERT INTO \"journal\" (\"sj\", \"port\", \"kind\", \"detail\", \"writer\") "
                          "VALUES ('2026-03-02 08:00:01', 'Gen A', 'alarm-raised', 'late', ?)"));
            q.addBindValue(kPcA);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
            a.record(JournalKind::AlarmCleared, "Gen A", "newer");
            a.flush();
            rows = out.after(out.cursor(), 100);
            QCOMPARE(sent(rows), QStringList{"newer"});  // the late one is not there yet
            QVERIFY(out.store(lastId(rows)));
            QVERIFY(q.exec("COMMIT"));
            held.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("held-open"));
        const qint64 cursor = out.cursor();
        rows = out.after(cursor, 100);
        QCOMPARE(sent(rows), QStringList{"late"});  // below the cursor, taken all the same
        QVERIFY(out.store(lastId(rows)));
        QCOMPARE(out.cursor(), cursor);                               // the cursor does not go back
        QCOMPARE(sent(out.after(out.cursor(), 100)), QStringList{});  // and once only
    }

    void anOlderJournalGetsTheWriterColumn() {
        {
            history::HistoryStore s(location());
            QVERIFY2(s.connect(), qPrintable(s.lastError()));
            QSqlQuery q(QSqlDatabase::database(s.connectionName()));
            QVERIFY(q.exec(m_postgres
                               ? "CREATE TABLE \"journal\" (\"id\" BIGSERIAL PRIMARY KEY, \"sj\" TEXT NOT "
                                 "NULL, \"port\" TEXT NOT NULL, \"kind\" TEXT NOT NULL, \"detail\" TEXT NOT "
                                 "NULL)"
                               : "CREATE TABLE \"journal\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"sj\" "
                                 "TEXT NOT NULL, \"port\" TEXT NOT NULL, \"kind\" TEXT NOT NULL, \"detail\" "
                                 "TEXT NOT NULL)"));
            QVERIFY(
                q.exec("INSERT INTO \"journal\" (\"sj\", \"port\", \"kind\", \"detail\") VALUES "
                       "('2026-02-01 08:00:00', 'Gen A', 'link-lost', 'old')"));
        }
        test::FakeClock clock;
        clock.set(QDateTime(QDate(2026, 3, 2), QTime(8, 0, 0)));
        history::JournalStore a(location(), clock);
        a.setWriter(kPcA);
        QVERIFY2(a.open(), qPrintable(a.lastError()));
        a.record(JournalKind::LinkRegained, "Gen A", "new");
        a.flush();
        QSqlQuery q(QSqlDatabase::database(a.connectionName()));
        QVERIFY(q.exec("SELECT \"detail\", \"writer\" FROM \"journal\" ORDER BY \"id\""));
        QStringList rows;
        while (q.next()) rows << q.value(0).toString() + "=" + q.value(1).toString();
        QCOMPARE(rows, (QStringList{"old=", "new=" + kPcA}));
        QCOMPARE(a.events({}).size(), 2);  // the window reads both
    }
};

QTEST_GUILESS_MAIN(TestEventOutbox)
#include "tst_eventOutbox.moc"
