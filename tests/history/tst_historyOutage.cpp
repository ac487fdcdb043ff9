// A PostgreSQL history whose server stops, freezes or has its tables locked in the middle of a run:
// polling goes on, the operator is told once, and once the server is back every row that fell due is
// in the history with its own time. The suite runs its own throwaway server (scripts/pg-throwaway)
// so that it can stop, freeze and start it.
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

#include "../monitor/RecordingView.h"
#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "HistoryTestSupport.h"
#include "ScriptedPrompter.h"
#include "ThrowawayPostgres.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "link/Codec.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;

using test::SilentListener;
using test::ThrowawayServer;

/// Hands every reply on to the recorder and notes the time of each one that is due in both tables
/// (cadence 0: every reply long enough).
struct StampingSink : monitor::HistorySink {
    StampingSink(history::HistoryRecorder& r, const test::FakeClock& c) : recorder(r), clock(c) {}
    void recordLiveReply(const QString& reply, const QString& remark) override {
        if (reply.size() >= history::HistoryRecorder::kMinReplyLength)
            stamps << history::stampText(clock.now());
        recorder.recordLiveReply(reply, remark);
    }
    history::HistoryRecorder& recorder;
    const test::FakeClock& clock;
    QStringList stamps;
};

class TestHistoryOutage : public QObject {
    Q_OBJECT
    std::unique_ptr<ThrowawayServer> m_server;

private slots:
    void initTestCase() {
        m_server = std::make_unique<ThrowawayServer>();
        if (!m_server->start()) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL("in CI the PostgreSQL outage must be tested: install postgresql");
            QSKIP("PostgreSQL history not tested: no PostgreSQL server found for scripts/pg-throwaway");
        }
    }
    void cleanupTestCase() { m_server.reset(); }

    void outageHoldsNoTickUpAndLosesNoRow_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("boxes");  // error boxes the operator sees
        QTest::newRow("server stopped, a silent listener in its place") << "stopped" << 1;
        QTest::newRow("server frozen (SIGSTOP)") << "frozen" << 1;
        QTest::newRow("tables locked by another client") << "locked" << 1;
    }
    void outageHoldsNoTickUpAndLosesNoRow() {
        QFETCH(QString, fault);
        QFETCH(int, boxes);
        ThrowawayServer& server = *m_server;
        QTemporaryDir dir;
        config::Config config(dir.path());
        config::LiveSettings settings;
        settings.setRefreshText("600");
        settings.setPorts({{"COM1", "Gen A", ""}});
        config::Messages messages(config, settings);
        test::FakeClock clock;
        test::FakeSleeper sleeper(&clock);
        test::FakeSerialPort port;
        test::RecordingView view;
        const QString delayFrame = link::BuildFrame("000400360016");
        int live = 0;
        port.onWrite = [&](const QString& request) {
            port.arrive(request == delayFrame ? link::BuildFrame("000416" + QString(44, '0'))
                                              : test::countingReply(quint32(live++)));
        };
        monitor::PollCycle cycle(port, sleeper, clock, settings, messages, view);
        cycle.initialise(true);

        history::PostgresUrl url;
        QString why;
        QVERIFY2(history::PostgresUrl::parse(server.url(), &url, &why), qPrintable(why));
        history::HistoryLocation location = history::HistoryLocation::postgresUrl(url);
        location.spoolPath = dir.filePath("kalde.spool");
        history::HistoryStore store(location);
        QVERIFY2(store.connect(), qPrintable(store.lastError()));
        for (const char* t : {"24xs", "nls"})  // a fresh pair of tables for each case
            QVERIFY(QSqlQuery(QSqlDatabase::database(store.connectionName()))
                        .exec(QString("DELETE FROM \"%1\"").arg(t)));
        test::ScriptedPrompter prompter;
        history::HistoryWriter::Limits limits;
        limits.retryMs = 3600 * 1000;  // the database is tried again when the test says so
        history::HistoryRecorder recorder(
            store, clock, [] { return QString("0"); }, [] { return QString("0"); },
            [&](const QString& m) { prompter.error(m); }, limits);
        StampingSink sink(recorder, clock);
        cycle.setHistorySink(&sink);

        auto tick = [&] {
            clock.advanceSecs(1);
            cycle.tick();
            QCoreApplication::processEvents();
        };
        for (int i = 0; i < 6; ++i) tick();
        recorder.flush();
        QVERIFY(recorder.isOk());

        SilentListener silent;
        const QString locker = QStringLiteral("outage-locker");
        if (fault == "stopped") {
            // A listener that never answers takes the server's address, as a hung server or a
            // firewall that drops packets would.
            QVERIFY(server.command("stop"));
            QVERIFY(silent.listen(server.port()));
        } else if (fault == "frozen") {
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
            QVERIFY(q.exec("LOCK TABLE \"24xs\", \"nls\" IN ACCESS EXCLUSIVE MODE"));
        }

        // Seventy ticks while the database cannot take a row. The fault lasts until they are done: a
        // tick that waited on the frozen server would never end, one that waited on the lock or the
        // silent listener would end only by a time-out.
        const int writtenBefore = port.written.size();
        for (int i = 0; i < 70; ++i) tick();
        QCOMPARE(port.written.size() - writtenBefore, 70);  // one request in every tick
        QCOMPARE(view.connection, monitor::kLinkedImage);
        if (fault == "frozen") {
            // The writer's call has lasted longer than the poll's clock allows (the ticks took 70 s
            // of it): its connection is cut, and its rows go to the spool. Waits for the writer thread.
            for (int i = 0; i < 500 && !recorder.statusText().contains("to be written"); ++i) {
                clock.advanceSecs(1);
                recorder.refreshStatus();
                QTest::qWait(10);
            }
        }
        recorder.flush();  // the writer has met the fault, and tried again
        QVERIFY(!recorder.isOk());
        QVERIFY2(recorder.statusText().contains("rows wait to be written"),
                 qPrintable(recorder.statusText()));

        if (fault == "stopped") {
            silent.close();
            QVERIFY(server.command("start"));
        } else if (fault == "frozen") {
            QVERIFY(server.command("thaw"));
        } else {
            QSqlQuery(QSqlDatabase::database(locker)).exec("COMMIT");
            QSqlDatabase::database(locker).close();
        }
        QSqlDatabase::removeDatabase(locker);
        for (int i = 0; i < 10 && !recorder.isOk(); ++i) recorder.flush();
        QVERIFY2(recorder.isOk(), qPrintable(recorder.statusText()));
        tick();
        tick();
        recorder.flush();
        QCoreApplication::processEvents();
        QCOMPARE(prompter.of("error").size(), boxes);

        // Every reply's row, with the reply's own time, in both tables.
        history::HistoryStore reader(location);
        QVERIFY2(reader.connect(), qPrintable(reader.lastError()));
        for (history::HistoryTable t : {history::HistoryTable::Day, history::HistoryTable::Hour}) {
            const QVector<history::HistoryRow> rows = reader.rowsSince(t, "Gen A", QDateTime());
            QStringList stamps;
            for (const history::HistoryRow& r : rows) stamps << r.sj;
            QCOMPARE(stamps, sink.stamps);
            for (int i = 0; i < rows.size(); ++i) QCOMPARE(rows[i].values[0], double(i + 1));
        }
    }
};

QTEST_GUILESS_MAIN(TestHistoryOutage)
#include "tst_historyOutage.moc"
