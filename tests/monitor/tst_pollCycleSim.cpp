// End to end: the poll cycle against the virtual controller's request handler, in-process behind the
// fake port. Ticks are driven by hand on the controller's fake clock; each reply has arrived by the
// next tick.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "RecordingView.h"
#include "SimFleet.h"
#include "SimPort.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;
using namespace tarsyn::monitor;

namespace {

// The simulator, as `tarsyn-sim --alarm`, behind the port of a poll cycle that polls it on a path.
struct Rig {
    Rig() {
        settings.setLanguage("none");
        settings.setRefreshText("2");
        settings.setPorts({{linkPath(), "Sim", "virtual"}});
        cycle.initialise(true);
    }
    QString linkPath() const { return dir.filePath("controller"); }
    void tick() {
        sim.clock.advanceSecs(1);
        cycle.tick();
    }

    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::SimPort sim{test::SimPort::Alarm};
    test::FakeSleeper sleeper{&sim.clock};
    test::RecordingView view;
    PollCycle cycle{sim.port, sleeper, sim.clock, settings, messages, view};
};

void checkSimulatorReadings(const test::RecordingView& view) {
    // The delays in force are the controller's factory delays: cool-down 60 s ... speed-down 5 s.
    QCOMPARE(view.panels.value("pnl41"), QString("60"));
    QCOMPARE(view.panels.value("pnl74"), QString("5"));
    // Mains at 220 V and 50 Hz with a little jitter.
    const int mainsA = view.panels.value("pnl34").toInt();
    QVERIFY2(mainsA > 200 && mainsA < 240, qPrintable(view.panels.value("pnl34")));
    const double hz = view.panels.value("pnl21").toDouble();
    QVERIFY2(hz > 49.5 && hz < 50.5, qPrintable(view.panels.value("pnl21")));
    QCOMPARE(view.panels.value("pnl21").size(), 10);
    // Started with the emergency stop raised: alarm bits 7 and 0.
    QCOMPARE(view.indicators.value("zs9"), 1);
    QCOMPARE(view.indicators.value("zs1"), 1);
    QCOMPARE(view.indicators.value("zs5"), 0);
}

}  // namespace

class TestPollCycleSim : public QObject {
    Q_OBJECT
private slots:
    void showsSimulatorValuesWithinThreeTicks();
    void recoversAfterSimulatorRestart();
    void rotationAtOneSecondReadsEverySet();
};

void TestPollCycleSim::showsSimulatorValuesWithinThreeTicks() {
    Rig rig;
    QSignalSpy failed(&rig.cycle, &PollCycle::tickFailed);
    for (int i = 0; i < 3; ++i) rig.tick();
    QCOMPARE(rig.cycle.ConnectionIndicator(), kLinkedImage);
    QCOMPARE(rig.view.port, rig.linkPath());
    checkSimulatorReadings(rig.view);
    QCOMPARE(failed.size(), 0);
}

void TestPollCycleSim::recoversAfterSimulatorRestart() {
    Rig rig;
    QSignalSpy failed(&rig.cycle, &PollCycle::tickFailed);
    for (int i = 0; i < 3; ++i) rig.tick();
    QCOMPARE(rig.cycle.ConnectionIndicator(), kLinkedImage);

    rig.sim.unplug();  // the device disappears under the open port
    for (int i = 0; i < 3; ++i) rig.tick();
    QCOMPARE(rig.cycle.ConnectionIndicator(), kNotLinkedImage);
    QVERIFY(!rig.sim.port.Connected());

    rig.sim.plugIn();  // the cycle reopens the port
    rig.view.panels.clear();
    rig.view.indicators.clear();
    // Back within one refresh interval (2 s) plus the two ticks that read a delay and a live reply.
    int ticks = 0;
    auto liveShown = [&] { return rig.view.panels.value("pnl34", "0") != QLatin1String("0"); };
    while (ticks < 5 && !(rig.cycle.ConnectionIndicator() == kLinkedImage && liveShown())) {
        rig.tick();
        ++ticks;
    }
    QCOMPARE(rig.cycle.ConnectionIndicator(), kLinkedImage);
    checkSimulatorReadings(rig.view);
    QCOMPARE(failed.size(), 0);
}

namespace {

// What each set's visits delivered: per visit (in the order of the rotation), the blocks read.
struct VisitLog : ReadingSubscriber {
    void readingArrived(const LiveReading& reading, ReplyBlock block, const QString&) override {
        if (visits.isEmpty() || visits.last().first != reading.remark) visits.append({reading.remark, {}});
        visits.last().second << (block == ReplyBlock::Live ? QStringLiteral("live")
                                                           : QStringLiteral("delays"));
        complete[reading.remark] = reading.liveComplete() && reading.delays.back().valid;
    }
    QList<QPair<QString, QStringList>> visits;
    QHash<QString, bool> complete;
};

}  // namespace

// Polling all ports at a refresh time of 1 s: each set visited gives its delays and its live block
// before the rotation moves on; a set that stopped answering costs two rounds and is left behind.
void TestPollCycleSim::rotationAtOneSecondReadsEverySet() {
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::SimFleet fleet(4);
    fleet.silence(2);
    settings.setLanguage("none");
    settings.setRefreshText("1");
    settings.setPorts(fleet.portList());
    test::FakeSleeper sleeper{&fleet.clock};
    test::RecordingView view;
    PollCycle cycle{fleet.port, sleeper, fleet.clock, settings, messages, view};
    VisitLog log;
    cycle.addSubscriber(&log);
    cycle.initialise(true);
    cycle.setRotationMode(true);
    // Three visits of 3 ticks for the sets that answer, one of 5 for the silent one, then round again.
    for (int t = 0; t < 2 * (3 * 3 + 5); ++t) {
        if (t > 0) fleet.clock.advanceSecs(1);
        cycle.tick();
    }
    const QStringList both{QStringLiteral("delays"), QStringLiteral("live")};
    QList<QPair<QString, QStringList>> expected;
    for (int round = 0; round < 2; ++round)
        for (const char* set : {"Set 2", "Set 4", "Set 1"}) expected.append({QString::fromLatin1(set), both});
    QCOMPARE(log.visits.mid(0, expected.size()), expected);
    for (const char* set : {"Set 1", "Set 2", "Set 4"})
        QVERIFY2(log.complete.value(QString::fromLatin1(set)), set);
    QVERIFY(!log.complete.contains(QStringLiteral("Set 3")));
}

QTEST_GUILESS_MAIN(TestPollCycleSim)
#include "tst_pollCycleSim.moc"
