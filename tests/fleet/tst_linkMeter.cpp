// The station's line counters and frame log against the simulator's line faults: the simulated
// controller answers in-process behind the fake port, the clock is fake and every tick is called by
// hand, so each fault lands in its counter exactly.
#include <QtTest>

#include "SimPort.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/LinkMeter.h"
#include "station/Station.h"

using namespace tarsyn;

namespace {

class FrameRecorder : public link::FrameListener {
public:
    void frameSeen(const link::FrameRecord& frame) override { frames << frame; }
    QList<link::FrameRecord> frames;
};

struct Rig {
    Rig() {
        settings.setLanguage("English");
        settings.setRefreshText("6");
        settings.setPorts({{QStringLiteral("sim0"), QStringLiteral("Sim set"), QString()}});
        sim.port.setPortName("sim0");
        station.poll().initialise(true);
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            sim.clock.advanceSecs(1);
            station.poll().tick();
        }
    }
    link::LinkTally total() { return station.meter().sinceStart("sim0"); }

    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::SimPort sim;
    test::FakeSleeper sleeper{&sim.clock};
    station::Station station{sim.port, sleeper, sim.clock, settings, messages};
};

QList<qint64> figures(const link::LinkTally& t) {
    QList<qint64> out;
    for (const link::LinkTallyField& f : link::LinkTallyFields()) out << t.*f.value;
    return out;
}

}  // namespace

class TestLinkMeter : public QObject {
    Q_OBJECT
private slots:
    void faultsCountInTheirCounter_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QList<qint64>>("expected");
        // Nine ticks write nine requests (one a tick) and read eight replies (each one tick later).
        // Figures: requests, replies, timeouts, short, check errors, not hex, reopenings, median, p95.
        QTest::newRow("clean") << QString() << QList<qint64>{9, 8, 0, 0, 0, 0, 0, 1000, 1000};
        QTest::newRow("garbage") << "line garbage on" << QList<qint64>{9, 0, 0, 0, 0, 8, 0, -1, -1};
        QTest::newRow("short") << "line short 20" << QList<qint64>{9, 0, 0, 8, 0, 0, 0, -1, -1};
        QTest::newRow("no answer") << "line silent on" << QList<qint64>{9, 0, 8, 0, 0, 0, 0, -1, -1};
        QTest::newRow("changed digit") << "line digit on" << QList<qint64>{9, 0, 0, 0, 8, 0, 0, -1, -1};
        // Every other reply held back: nothing in its tick, then joined in front of the next one,
        // where the second frame (or the other block's count) fails the check.
        QTest::newRow("late") << "line late on" << QList<qint64>{9, 0, 4, 0, 4, 0, 0, -1, -1};
    }
    void faultsCountInTheirCounter() {
        QFETCH(QString, fault);
        QFETCH(QList<qint64>, expected);
        Rig rig;
        if (!fault.isEmpty()) QVERIFY(rig.sim.command(fault));
        rig.ticks(9);
        QCOMPARE(figures(rig.total()), expected);
        QCOMPARE(figures(rig.station.meter().lastHour("sim0")), expected);
    }

    void frameLogShowsTheExactRequests() {
        Rig rig;
        FrameRecorder log;
        rig.ticks(1);  // before anyone listens: counted, not logged
        rig.station.meter().setFrameListener(&log);
        rig.ticks(2);
        rig.station.meter().setFrameListener(nullptr);
        rig.ticks(2);
        QCOMPARE(rig.total().requests, 5);
        QCOMPARE(log.frames.size(), 4);
        // The delay reply read in the first tick heard, then the live request; its reply, then the
        // delay request. The requests with their checks as the protocol gives them (0x24 and 0x32).
        const link::FrameRecord& delayReply = log.frames.at(0);
        QVERIFY(!delayReply.sent);
        QCOMPARE(delayReply.text.size(), 54);
        QCOMPARE(delayReply.verdict, link::ReplyVerdict::Ok);
        QCOMPARE(delayReply.durationMs, 1000);
        QCOMPARE(log.frames.at(1).text, QStringLiteral("00040006003032\r\n"));
        QVERIFY(log.frames.at(1).sent);
        QCOMPARE(log.frames.at(1).kind, link::FrameKind::Poll);
        QCOMPARE(log.frames.at(2).text.size(), 106);
        QVERIFY(log.frames.at(2).text.startsWith("000430"));
        QCOMPARE(log.frames.at(3).text, QStringLiteral("00040036001624\r\n"));
        QCOMPARE(log.frames.at(3).port, QStringLiteral("sim0"));
        QCOMPARE(log.frames.at(3).time, rig.sim.clock.now().addSecs(-2));

        // An exchange of another window through the station's link: its kind and its wait.
        rig.station.meter().setFrameListener(&log);
        log.frames.clear();
        rig.station.controllerLink().Transaction("00040200002C", 94, 1000);
        QCOMPARE(log.frames.size(), 2);
        QCOMPARE(log.frames.at(0).text,
                 QStringLiteral("00040200002C") + log.frames.at(0).text.mid(12, 2) + "\r\n");
        QCOMPARE(log.frames.at(0).kind, link::FrameKind::AlarmLog);
        QCOMPARE(log.frames.at(1).verdict, link::ReplyVerdict::Ok);
        QCOMPARE(log.frames.at(1).durationMs, 1000);
        rig.station.meter().setFrameListener(nullptr);
    }

    void kindOfEachRequest_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("kind");
        QTest::newRow("delay block") << "000400360016" << int(link::FrameKind::Poll);
        QTest::newRow("live block") << "000400060030" << int(link::FrameKind::Poll);
        QTest::newRow("start") << "0005100100FF" << int(link::FrameKind::Command);
        QTest::newRow("factory settings") << "0005100800FF" << int(link::FrameKind::Command);
        QTest::newRow("calibration word") << "000700940123" << int(link::FrameKind::Command);
        QTest::newRow("alarm log") << "00040200002C" << int(link::FrameKind::AlarmLog);
        QTest::newRow("delay settings") << "0004004C000A" << int(link::FrameKind::Page);
        QTest::newRow("sms settings") << "00040150002E" << int(link::FrameKind::Page);
        QTest::newRow("report bits") << "0004001A0004" << int(link::FrameKind::Page);
        QTest::newRow("page write") << "00060080000C" << int(link::FrameKind::Page);
    }
    void kindOfEachRequest() {
        QFETCH(QString, request);
        QFETCH(int, kind);
        QCOMPARE(int(link::FrameKindOf(request)), kind);
    }

    void replyTimesByNearestRankAndTheLastHour() {
        test::FakeClock clock;
        test::FakeSerialPort port;
        port.OpenPort();
        port.onWrite = [&port](const QString&) { port.arrive(QStringLiteral("0004020C0A00\r\n")); };
        link::LinkMeter meter(port, clock);
        // Twenty replies taken 10, 20, … 200 ms after their requests, in a shuffled order.
        const int order[] = {7, 19, 2, 12, 0, 15, 4, 9, 17, 1, 13, 6, 10, 18, 3, 14, 8, 16, 5, 11};
        for (int k : order) {
            meter.WriteText("00040080000286\r\n");
            clock.advanceMs((k + 1) * 10);
            meter.ReadAvailable(16);
        }
        // Rank 10 of 20 for the median, rank 19 for the 95th percentile.
        QCOMPARE(meter.sinceStart("COM1").medianMs, 100);
        QCOMPARE(meter.sinceStart("COM1").p95Ms, 190);
        QCOMPARE(meter.lastHour("COM1").medianMs, 100);
        QCOMPARE(meter.lastHour("COM1").p95Ms, 190);
        QCOMPARE(meter.sinceStart("COM1").replies, 20);

        clock.advanceSecs(3600);
        QCOMPARE(meter.lastHour("COM1").requests, 0);
        QCOMPARE(meter.lastHour("COM1").medianMs, -1);
        QCOMPARE(meter.sinceStart("COM1").requests, 20);
        QCOMPARE(meter.sinceStart("COM1").p95Ms, 190);
    }

    void reopeningIsAnOpenAfterALoss() {
        Rig rig;
        rig.ticks(3);
        // The port dialog's close and open is no reopening.
        rig.station.port().ClosePort();
        rig.station.port().OpenPort();
        QCOMPARE(rig.total().reopenings, 0);
        rig.sim.unplug();
        rig.ticks(7);  // the fixed entry is found closed and would not open
        QVERIFY(!rig.station.port().Connected());
        QCOMPARE(rig.total().reopenings, 0);
        rig.sim.plugIn();
        rig.ticks(7);
        QVERIFY(rig.station.port().Connected());
        QCOMPARE(rig.total().reopenings, 1);
        rig.ticks(2);
        QVERIFY(rig.station.poll().linked());
    }
};

QTEST_GUILESS_MAIN(TestLinkMeter)
#include "tst_linkMeter.moc"
