// The event journal on the history database: rows as written, the window's filter, CSV, retention,
// an old database without the table, and a database that cannot be opened.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "FakeClock.h"
#include "PostgresVariant.h"
#include "history/HistoryStore.h"
#include "history/JournalStore.h"

using namespace tarsyn;
using history::JournalEvent;
using history::JournalKind;

/// The same suite runs on SQLite and, with TARSYN_HISTORY_BACKEND=postgresql, on the server named by
/// TARSYN_TEST_PG_URL.
class TestJournalStore : public QObject {
    Q_OBJECT

    bool m_postgres = test::postgresVariant();
    QString dbPath() const { return m_dir.filePath(QStringLiteral("kalde.db")); }
    history::HistoryLocation location() const { return test::variantLocation(dbPath()); }

    // A known journal: five events over three days, two controllers.
    void fill(history::JournalStore& j, test::FakeClock& clock) {
        clock.set(QDateTime(QDate(2026, 3, 1), QTime(8, 0, 0)));
        j.record(JournalKind::LoginSucceeded, QString(), QStringLiteral("super"));
        clock.set(QDateTime(QDate(2026, 3, 1), QTime(9, 30, 5)));
        j.record(JournalKind::AlarmRaised, QStringLiteral("Set A"), QStringLiteral("zs9 Emergency stop"));
        clock.set(QDateTime(QDate(2026, 3, 2), QTime(10, 0, 0)));
        j.record(JournalKind::LinkLost, QStringLiteral("Set B"), QString());
        clock.set(QDateTime(QDate(2026, 3, 2), QTime(10, 0, 0)));  // same second: the id orders them
        j.record(JournalKind::AlarmCleared, QStringLiteral("Set A"), QStringLiteral("zs9 Emergency stop"));
        clock.set(QDateTime(QDate(2026, 3, 3), QTime(7, 15, 0)));
        j.record(JournalKind::CommandSent, QStringLiteral("Set A"), QStringLiteral("start, \"dport3\""));
    }

private slots:
    void initTestCase() { TARSYN_SKIP_POSTGRES_VARIANT_WITHOUT_SERVER(); }
    void init() {
        QFile::remove(dbPath());
        if (m_postgres) {  // a fresh journal on the shared server
            history::HistoryStore s(location());
            QVERIFY2(s.connect(), qPrintable(s.lastError()));
            QSqlQuery q(QSqlDatabase::database(s.connectionName()));
            QVERIFY(q.exec(QStringLiteral("DROP TABLE IF EXISTS \"journal\"")));
        }
    }

    void eventsComeBackNewestFirstWithTheirFields() {
        test::FakeClock clock;
        history::JournalStore j(location(), clock);
        QVERIFY2(j.open(), qPrintable(j.lastError()));
        fill(j, clock);
        const QVector<JournalEvent> all = j.events({});
        QVERIFY2(j.lastError().isEmpty(), qPrintable(j.lastError()));
        QCOMPARE(all.size(), 5);
        QCOMPARE(all[0].sj, QStringLiteral("2026-03-03 07:15:00"));
        QCOMPARE(all[0].kind, JournalKind::CommandSent);
        QCOMPARE(all[0].detail, QStringLiteral("start, \"dport3\""));
        QCOMPARE(all[1].kind, JournalKind::AlarmCleared);  // later of two in the same second
        QCOMPARE(all[2].kind, JournalKind::LinkLost);
        QCOMPARE(all[4].controller, QString());
        QCOMPARE(all[4].detail, QStringLiteral("super"));
    }

    void filterByControllerKindAndTime_data() {
        QTest::addColumn<QString>("controller");
        QTest::addColumn<int>("kind");  // -1: any
        QTest::addColumn<QDateTime>("from");
        QTest::addColumn<QDateTime>("to");
        QTest::addColumn<QStringList>("expected");  // "sj kind" newest first
        const QDateTime none;
        QTest::newRow("controller") << "Set A" << -1 << none << none
                                    << QStringList{"2026-03-03 07:15:00 command-sent",
                                                   "2026-03-02 10:00:00 alarm-cleared",
                                                   "2026-03-01 09:30:05 alarm-raised"};
        QTest::newRow("kind") << QString() << int(JournalKind::LinkLost) << none << none
                              << QStringList{"2026-03-02 10:00:00 link-lost"};
        QTest::newRow("range, bounds included")
            << QString() << -1 << QDateTime(QDate(2026, 3, 1), QTime(9, 30, 5))
            << QDateTime(QDate(2026, 3, 2), QTime(10, 0, 0))
            << QStringList{"2026-03-02 10:00:00 alarm-cleared", "2026-03-02 10:00:00 link-lost",
                           "2026-03-01 09:30:05 alarm-raised"};
        QTest::newRow("all three") << "Set A" << int(JournalKind::AlarmRaised)
                                   << QDateTime(QDate(2026, 3, 1), QTime(0, 0))
                                   << QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59))
                                   << QStringList{"2026-03-01 09:30:05 alarm-raised"};
        QTest::newRow("nothing") << "Set C" << -1 << none << none << QStringList{};
    }
    void filterByControllerKindAndTime() {
        QFETCH(QString, controller);
        QFETCH(int, kind);
        QFETCH(QDateTime, from);
        QFETCH(QDateTime, to);
        QFETCH(QStringList, expected);
        test::FakeClock clock;
        history::JournalStore j(location(), clock);
        QVERIFY(j.open());
        fill(j, clock);
        history::JournalFilter f;
        f.controller = controller;
        if (kind >= 0) f.kind = JournalKind(kind);
        f.from = from;
        f.to = to;
        QStringList got;
        for (const JournalEvent& e : j.events(f))
            got << e.sj + QLatin1Char(' ') + history::journalKindCode(e.kind);
        QCOMPARE(got, expected);
        QCOMPARE(j.controllers(), (QStringList{"Set A", "Set B"}));
    }

    void csvOfAKnownJournal() {
        test::FakeClock clock;
        history::JournalStore j(location(), clock);
        QVERIFY(j.open());
        fill(j, clock);
        history::JournalFilter f;
        f.controller = QStringLiteral("Set A");
        const QString csv =
            history::JournalCsv(j.events(f), [](JournalKind k) { return history::journalKindCode(k); });
        QCOMPARE(csv, QStringLiteral("time,controller,kind,detail\r\n"
                                     "2026-03-03 07:15:00,Set A,command-sent,\"start, \"\"dport3\"\"\"\r\n"
                                     "2026-03-02 10:00:00,Set A,alarm-cleared,zs9 Emergency stop\r\n"
                                     "2026-03-01 09:30:05,Set A,alarm-raised,zs9 Emergency stop\r\n"));
    }

    void textThatLooksLikeSqlIsStoredAsText() {
        test::FakeClock clock;
        history::JournalStore j(location(), clock);
        QVERIFY(j.open());
        const QString evil = QStringLiteral("x'); DROP TABLE \"journal\"; --");
        j.record(JournalKind::BlockWritten, evil, evil);
        const auto all = j.events({});
        QCOMPARE(all.size(), 1);
        QCOMPARE(all[0].controller, evil);
        QCOMPARE(all[0].detail, evil);
    }

    void anOldDatabaseGetsTheTableAndKeepsItsReadings() {
        if (m_postgres) QSKIP("the old database is a kalde.db file");
        test::FakeClock clock;
        {
            // A kalde.db of an earlier program: the two reading tables and no journal.
            history::HistoryStore old(location());
            QVERIFY(old.connect());
            history::HistoryRow row;
            row.sj = QStringLiteral("2026-03-01 11:00:00");
            row.port = QStringLiteral("Set A");
            old.appendRows(history::HistoryTable::Hour, {row});
            QSqlQuery q(QSqlDatabase::database(old.connectionName()));
            QVERIFY(q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'journal'")));
            QVERIFY(!q.next());
        }
        history::JournalStore j(location(), clock);
        QVERIFY2(j.open(), qPrintable(j.lastError()));
        j.record(JournalKind::LinkLost, QStringLiteral("Set A"), QString());
        QCOMPARE(j.events({}).size(), 1);
        history::HistoryStore again(location());
        QVERIFY(again.connect());
        QCOMPARE(again.rowCount(history::HistoryTable::Hour), qint64(1));
        QSqlQuery q(QSqlDatabase::database(again.connectionName()));
        QVERIFY(q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'journal_sj'")));
        QVERIFY2(q.next(), "the index on the time");
    }

    void anOlderJournalGetsTheDataColumnAndKeepsItsRows() {
        test::FakeClock clock;
        clock.set(QDateTime(QDate(2026, 3, 1), QTime(8, 0, 0)));
        {
            // The journal as an earlier program made it: no "data", one event in it.
            history::HistoryStore old(location());
            QVERIFY2(old.connect(), qPrintable(old.lastError()));
            QSqlQuery q(QSqlDatabase::database(old.connectionName()));
            QVERIFY2(
                q.exec(m_postgres ? QStringLiteral(
                                        "CREATE TABLE \"journal\" (\"id\" BIGSERIAL PRIMARY KEY, \"sj\" TEXT "
                                        "COLLATE \"C\" NOT NULL, \"port\" TEXT NOT NULL, \"kind\" TEXT NOT "
                                        "NULL, \"detail\" TEXT NOT NULL)")
                                  : QStringLiteral(
                                        "CREATE TABLE \"journal\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                                        "\"sj\" TEXT NOT NULL, \"port\" TEXT NOT NULL, \"kind\" TEXT NOT "
                                        "NULL, \"detail\" TEXT NOT NULL)")),
                qPrintable(q.lastError().text()));
            QVERIFY(
                q.exec(QStringLiteral("INSERT INTO \"journal\" (\"sj\", \"port\", \"kind\", \"detail\") "
                                      "VALUES ('2026-02-28 10:00:00', 'Set A', 'alarm-raised', "
                                      "'zs9 Emergency stop')")));
        }
        const QString data =
            QStringLiteral("{\"a\":[{\"d\":\"zs9\",\"t\":\"lblzs9.Caption\"}],\"o\":\"zs9\"}");
        for (int opening = 0; opening < 2; ++opening) {  // the column is added once; opening again is quiet
            history::JournalStore j(location(), clock);
            QVERIFY2(j.open(), qPrintable(j.lastError()));
            if (opening == 0)
                j.recordWithData(JournalKind::AlarmCleared, QStringLiteral("Set A"),
                                 QStringLiteral("zs9 Emergency stop"), data);
            const QVector<JournalEvent> all = j.events({});
            QCOMPARE(all.size(), 2);
            QCOMPARE(all[0].kind, JournalKind::AlarmCleared);
            QCOMPARE(all[0].data, data);
            QCOMPARE(all[1].detail, QStringLiteral("zs9 Emergency stop"));
            QVERIFY(all[1].data.isEmpty());  // the old row: only its detail
        }
        // An event without values leaves the column NULL, as an older program's rows have it.
        history::JournalStore j(location(), clock);
        QVERIFY(j.open());
        j.record(JournalKind::LinkLost, QStringLiteral("Set A"), QString());
        j.flush();
        QSqlQuery q(QSqlDatabase::database(j.connectionName()));
        QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM \"journal\" WHERE \"data\" IS NULL")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 2);
    }

    void retentionPurgesOnlyOlderEvents() {
        test::FakeClock clock;
        history::JournalStore j(location(), clock);
        QVERIFY(j.open());
        fill(j, clock);  // clock ends at 2026-03-03 07:15:00
        clock.set(QDateTime(QDate(2026, 3, 4), QTime(9, 30, 5)));
        QCOMPARE(j.purgeOlderThan(3),
                 1);  // cutoff 2026-03-01 09:30:05: the login goes, the alarm at it stays
        QCOMPARE(j.purgeOlderThan(2), 1);  // cutoff 2026-03-02 09:30:05
        QCOMPARE(j.events({}).size(), 3);
        QCOMPARE(history::JournalRetentionDays(QStringLiteral("0")), 365);
        QCOMPARE(history::JournalRetentionDays(QStringLiteral("abc")), 365);
        QCOMPARE(history::JournalRetentionDays(QStringLiteral(" 30 ")), 30);
    }

    void everyKindHasItsOwnCode() {
        QSet<QString> codes;
        for (JournalKind k : history::kJournalKinds) {
            const QString code = history::journalKindCode(k);
            QVERIFY(!code.isEmpty());
            QCOMPARE(history::journalKindFromCode(code), std::optional<JournalKind>(k));
            codes.insert(code);
        }
        QCOMPARE(codes.size(), int(std::size(history::kJournalKinds)));
    }

    void aGroupIsWrittenWholeOrNotAtAll() {
        // The database refuses any event whose detail is "bad": a group holding one loses all of its
        // events, an event on its own only itself.
        if (m_postgres) QSKIP("the refusing trigger is written for SQLite");
        test::FakeClock clock;
        QStringList reports;
        history::JournalStore j(location(), clock, [&reports](const QString& m) { reports << m; });
        QVERIFY2(j.open(), qPrintable(j.lastError()));
        {
            history::HistoryStore s(location());
            QVERIFY(s.connect());
            QVERIFY(QSqlQuery(QSqlDatabase::database(s.connectionName()))
                        .exec("CREATE TRIGGER \"refuse\" BEFORE INSERT ON \"journal\" WHEN NEW.\"detail\" = "
                              "'bad' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        }
        auto group = [&](const QStringList& details) {
            history::JournalGroup g(j);
            for (const QString& d : details) j.record(JournalKind::AlarmRaised, QStringLiteral("A"), d);
        };
        group({"g1", "g2", "g3"});
        group({"h1", "bad", "h3"});
        j.record(JournalKind::AlarmRaised, QStringLiteral("A"), QStringLiteral("bad"));
        j.record(JournalKind::AlarmRaised, QStringLiteral("A"), QStringLiteral("alone"));
        j.flush();
        QStringList written;
        for (const JournalEvent& e : j.events({})) written.prepend(e.detail);
        QCOMPARE(written, QStringList({"g1", "g2", "g3", "alone"}));
        QVERIFY(!reports.isEmpty());
    }

    void aDatabaseThatCannotOpenIsReportedOnceAndNeverThrows() {
        if (m_postgres) QSKIP("a file in a folder that does not exist");
        test::FakeClock clock;
        QStringList reports;
        history::JournalStore j(
            history::HistoryLocation::sqliteFile(m_dir.filePath(QStringLiteral("no/such/dir/x.db"))), clock,
            [&reports](const QString& m) { reports << m; });
        QVERIFY(!j.open());
        j.record(JournalKind::LinkLost, QStringLiteral("A"), QString());
        clock.advanceSecs(history::JournalStore::kRetrySeconds + 1);
        j.record(JournalKind::LinkLost, QStringLiteral("A"), QString());
        QCOMPARE(reports.size(), 1);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestJournalStore)
#include "tst_journalStore.moc"
