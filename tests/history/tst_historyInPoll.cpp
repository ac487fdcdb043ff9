// The recorder inside the one-second poll: a failing history must not hold polling up.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "../monitor/RecordingView.h"
#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "HistoryTestSupport.h"
#include "ScriptedPrompter.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "link/Codec.h"
#include "monitor/LiveReading.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;

class TestHistoryInPoll : public QObject {
    Q_OBJECT
private slots:
    void failingRecorderLetsTicksGoOnWhileItsMessageIsOpen() {
        QTemporaryDir dir;
        config::Config config(dir.path());
        config::LiveSettings settings;
        settings.setRefreshText("60");
        settings.setPorts({{"COM1", "Gen A", ""}});
        config::Messages messages(config, settings);
        test::FakeClock clock;
        test::FakeSleeper sleeper(&clock);
        test::FakeSerialPort port;
        test::RecordingView view;
        const QString delayFrame = link::BuildFrame("000400360016");
        port.onWrite = [&](const QString& request) {
            port.arrive(request == delayFrame ? link::BuildFrame("000416" + QString(44, '0'))
                                              : test::countingReply());
        };
        monitor::PollCycle cycle(port, sleeper, clock, settings, messages, view);
        cycle.initialise(true);

        // A history that takes no row: the database refuses every write, on any connection.
        history::HistoryStore store(history::HistoryLocation::sqliteFile(dir.filePath("kalde.db")));
        QVERIFY(store.connect());
        for (const char* table : {"24xs", "nls"})
            QVERIFY(QSqlQuery(QSqlDatabase::database(store.connectionName()))
                        .exec(QString("CREATE TRIGGER \"refuse_%1\" BEFORE INSERT ON \"%1\" "
                                      "BEGIN SELECT RAISE(ABORT, 'refused'); END")
                                  .arg(table)));
        test::ScriptedPrompter prompter;
        history::HistoryRecorder recorder(
            store, clock, [] { return QString("0"); }, [] { return QString("0"); },
            [&](const QString& m) { prompter.error(m); });
        cycle.setHistorySink(&recorder);

        // While the box is open its modal loop keeps running the timer: four more ticks.
        int writtenWhileOpen = -1;
        prompter.whileOpen = [&] {
            const int before = port.written.size();
            for (int i = 0; i < 4; ++i) {
                clock.advanceSecs(1);
                cycle.tick();
            }
            writtenWhileOpen = port.written.size() - before;
        };
        for (int i = 0; i < 6 && prompter.shown.isEmpty(); ++i) {
            clock.advanceSecs(1);
            cycle.tick();
            recorder.flush();                   // the writer has tried the database
            QCoreApplication::processEvents();  // the event loop between two timer ticks
        }
        QCOMPARE(prompter.of("error").size(), 1);
        QVERIFY2(prompter.of("error")[0].contains("24xs"), qPrintable(prompter.of("error")[0]));
        QCOMPARE(writtenWhileOpen, 4);  // one request per tick, delay and live in turn
        QCOMPARE(view.connection, monitor::kLinkedImage);
        QVERIFY(!recorder.isOk());
    }

    void rowsAreDueOnAFixedGrid_data() {
        QTest::addColumn<int>("earlyMs");  // how much sooner than the even two seconds each reading comes
        QTest::addColumn<int>("hourRows");
        QTest::addColumn<int>("dayRows");
        // Ten minutes of a reading every two seconds (the live block every second tick), save1 = 6 s,
        // save2 = 1 min: 600 / 6 = 100 rows in "nls", 600 / 60 = 10 in "24xs", whether each reading is
        // on the second or a few milliseconds early (then 6 to 8 s apart, 6 s on average).
        QTest::newRow("on time") << 0 << 100 << 10;
        QTest::newRow("4 ms early") << 4 << 100 << 10;
        QTest::newRow("900 ms early") << 900 << 100 << 10;
    }
    void rowsAreDueOnAFixedGrid() {
        QFETCH(int, earlyMs);
        QFETCH(int, hourRows);
        QFETCH(int, dayRows);
        QTemporaryDir dir;
        test::FakeClock clock;
        history::HistoryStore store(history::HistoryLocation::sqliteFile(dir.filePath("kalde.db")));
        QVERIFY(store.connect());
        history::HistoryRecorder recorder(
            store, clock, [] { return QString("1"); }, [] { return QString("6"); }, nullptr);
        const QString reply = test::countingReply();
        monitor::LiveReading reading;
        reading.remark = "Gen A";
        QVERIFY(monitor::DecodeLiveReply(reply, reading));
        const QDateTime start = clock.now();
        for (int k = 0; k < 300; ++k) {  // readings at 0, 2, 4 … 598 s
            clock.set(start.addMSecs(qint64(k) * 2000 - (k > 0 ? earlyMs : 0)));
            reading.time = clock.now();
            recorder.readingArrived(reading, monitor::ReplyBlock::Live, reply);
        }
        recorder.flush();
        QCOMPARE(recorder.rowsHandedOver(history::HistoryTable::Hour), qint64(hourRows));
        QCOMPARE(recorder.rowsHandedOver(history::HistoryTable::Day), qint64(dayRows));
        QCOMPARE(store.rowCount(history::HistoryTable::Hour), qint64(hourRows));

        // An outage of a minute skips its slots rather than making them up afterwards.
        clock.set(start.addSecs(600 + 60));
        recorder.readingArrived(reading, monitor::ReplyBlock::Live, reply);
        clock.advanceSecs(2);
        recorder.readingArrived(reading, monitor::ReplyBlock::Live, reply);
        QCOMPARE(recorder.rowsHandedOver(history::HistoryTable::Hour), qint64(hourRows + 1));
        QCOMPARE(recorder.nextHourTime(), start.addSecs(666));
    }
};

QTEST_GUILESS_MAIN(TestHistoryInPoll)
#include "tst_historyInPoll.moc"
