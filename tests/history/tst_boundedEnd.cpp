// The end of the program against a PostgreSQL server that does not answer (frozen with SIGSTOP) or
// whose tables another client has locked: the history rows and journal events are flushed for at most
// five seconds, the end is over within six, what the database did not take waits in the spools, and
// the next start writes it, each row and event once, in its order. The suite runs its own throwaway
// server (scripts/pg-throwaway) so that it can freeze it.
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <chrono>
#include <memory>

#include "FakeClock.h"
#include "HistoryTestSupport.h"
#include "ThrowawayPostgres.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/JournalStore.h"

using namespace tarsyn;
using namespace std::chrono_literals;

class TestBoundedEnd : public QObject {
    Q_OBJECT
    std::unique_ptr<test::ThrowawayServer> m_server;

private slots:
    void initTestCase() {
        m_server = std::make_unique<test::ThrowawayServer>();
        if (!m_server->start()) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL("in CI the bounded end must be tested: install postgresql");
            QSKIP("PostgreSQL history not tested: no PostgreSQL server found for scripts/pg-throwaway");
        }
    }
    void cleanupTestCase() { m_server.reset(); }

    void endsInTimeAndTheNextStartWritesTheRest_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("server frozen (SIGSTOP)") << "frozen";
        QTest::newRow("tables locked by another client") << "locked";
    }
    void endsInTimeAndTheNextStartWritesTheRest() {
        QFETCH(QString, fault);
        test::ThrowawayServer& server = *m_server;
        QTemporaryDir dir;
        history::PostgresUrl url;
        QString why;
        QVERIFY2(history::PostgresUrl::parse(server.url(), &url, &why), qPrintable(why));
        history::HistoryLocation location = history::HistoryLocation::postgresUrl(url);
        location.spoolPath = dir.filePath("kalde.spool");
        test::FakeClock clock;
        history::HistoryWriter::Limits limits;
        limits.retryMs = 3600 * 1000;  // no try of the database but the ones the test makes

        QStringList stamps, details;
        {
            auto store = std::make_unique<history::HistoryStore>(location);
            QVERIFY2(store->connect(), qPrintable(store->lastError()));
            auto journal = std::make_unique<history::JournalStore>(location, clock);
            QVERIFY2(journal->open(), qPrintable(journal->lastError()));
            for (const char* t : {"24xs", "nls", "journal"})  // fresh tables for each case
                QVERIFY(QSqlQuery(QSqlDatabase::database(store->connectionName()))
                            .exec(QString("DELETE FROM \"%1\"").arg(t)));
            auto recorder = std::make_unique<history::HistoryRecorder>(
                *store, clock, [] { return QString("0"); }, [] { return QString("0"); }, nullptr, limits);
            auto step = [&](int i) {
                clock.advanceSecs(1);
                recorder->recordLiveReply(test::countingReply(quint32(i)), "Gen A");
                stamps << history::stampText(clock.now());
                details << QString("event %1").arg(i);
                journal->record(history::JournalKind::LinkLost, "Gen A", details.last());
            };
            for (int i = 0; i < 3; ++i) step(i);
            recorder->flush();
            journal->flush();
            QVERIFY(recorder->isOk());

            const QString locker = QStringLiteral("bounded-end-locker");
            // The server is itself again at the end of this scope, whether the checks pass or not.
            const auto release = qScopeGuard([&] {
                if (fault == "frozen") {
                    server.command("thaw");
                } else {
                    QSqlQuery(QSqlDatabase::database(locker)).exec("COMMIT");
                    QSqlDatabase::database(locker).close();
                }
                QSqlDatabase::removeDatabase(locker);
            });
            if (fault == "frozen") {
                QVERIFY(server.command("freeze"));
            } else {
                QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", locker);
                db.setHostName("127.0.0.1");
                db.setPort(server.port());
                db.setUserName(url.user);
                db.setDatabaseName(url.database);
                QVERIFY2(db.open(), qPrintable(db.lastError().text()));
                QSqlQuery q(db);
                QVERIFY(q.exec("BEGIN"));
                QVERIFY(q.exec("LOCK TABLE \"24xs\", \"nls\", \"journal\" IN ACCESS EXCLUSIVE MODE"));
            }
            // Rows and events the database does not take: the writers are inside their calls.
            for (int i = 3; i < 8; ++i) step(i);

            // The end: at most five seconds of flushing, then everything is closed.
            QElapsedTimer ending;
            ending.start();
            const QDeadlineTimer deadline(5000);
            const qint64 rowsLeft = recorder->flushWithin(5000ms);
            const qint64 eventsLeft =
                journal->flushWithin(std::chrono::milliseconds(qMax<qint64>(0, deadline.remainingTime())));
            recorder.reset();
            journal.reset();
            store.reset();
            const qint64 endMs = ending.elapsed();
            QVERIFY2(endMs < 6000, qPrintable(QString("the end took %1 ms").arg(endMs)));
            QCOMPARE(rowsLeft, qint64(2 * 5));  // five replies, a row in each table
            QCOMPARE(eventsLeft, qint64(5));
            QVERIFY(QFile::exists(dir.filePath("kalde.spool")));
            QVERIFY(QFile::exists(dir.filePath("kalde-journal.spool")));
        }

        // The next start writes what waited, before anything new.
        {
            history::HistoryStore store(location);
            QVERIFY2(store.connect(), qPrintable(store.lastError()));
            history::HistoryRecorder recorder(
                store, clock, [] { return QString("0"); }, [] { return QString("0"); }, nullptr, limits);
            history::JournalStore journal(location, clock);
            QVERIFY2(journal.open(), qPrintable(journal.lastError()));
            recorder.flush();
            journal.flush();
            QVERIFY2(recorder.isOk(), qPrintable(recorder.statusText()));
            QCOMPARE(journal.flushWithin(5000ms), qint64(0));  // nothing waits any more
        }
        history::HistoryStore reader(location);
        QVERIFY2(reader.connect(), qPrintable(reader.lastError()));
        for (history::HistoryTable t : {history::HistoryTable::Day, history::HistoryTable::Hour}) {
            QStringList written;
            for (const history::HistoryRow& r : reader.rowsSince(t, "Gen A", QDateTime())) written << r.sj;
            QCOMPARE(written, stamps);
        }
        QSqlQuery q(QSqlDatabase::database(reader.connectionName()));
        QVERIFY(q.exec("SELECT \"detail\" FROM \"journal\" ORDER BY \"id\""));
        QStringList events;
        while (q.next()) events << q.value(0).toString();
        QCOMPARE(events, details);

        // A start after that finds the spools empty: nothing is written twice.
        {
            history::JournalStore journal(location, clock);
            QVERIFY(journal.open());
            journal.flush();
        }
        QVERIFY(q.exec("SELECT COUNT(*) FROM \"journal\"") && q.next());
        QCOMPARE(q.value(0).toInt(), details.size());
    }
};

QTEST_GUILESS_MAIN(TestBoundedEnd)
#include "tst_boundedEnd.moc"
