// End to end: the operations engines and the poll cycle on one port, against the virtual controller's
// request handler in-process behind the fake port. Poll ticks are driven by hand on the controller's
// fake clock; the exchanges of the operations wait on a fake sleeper that moves that clock.
#include <QtTest>

#include "OperationsRig.h"
#include "ProgramRig.h"
#include "SimPort.h"
#include "link/ControllerLink.h"
#include "monitor/CommandGate.h"
#include "monitor/PollCycle.h"
#include "operations/ChannelCalibration.h"
#include "operations/OperatingCommands.h"

using namespace tarsyn;

namespace {

/// What the main window shows of the live block.
class PanelsView : public test::NullView {
public:
    void setPanelText(const QString& panel, const QString& text) override { panels[panel] = text; }
    void setIndicatorImage(const QString& indicator, int image) override { indicators[indicator] = image; }
    QHash<QString, QString> panels;
    QHash<QString, int> indicators;
};

struct Rig : test::ProgramRig {
    /// `start`: how the controller starts (test::SimPort::Start).
    explicit Rig(int start) : sim(start) {
        QFile lag(dir.filePath("English.lag"));
        lag.open(QIODevice::WriteOnly);
        lag.write(
            "[Messages]\r\ndl3=True value?\r\ndl6=Calibrated\r\ndl8=Started\r\nmlqr1=Start %1 now?\r\n"
            "jzts1=%1 in %2, 0 to %3:\r\n");
        lag.close();
        settings.setLanguage("English");
        settings.setRefreshText("60");
        settings.setPorts({{linkPath(), "Sim", "virtual"}});
        cycle.initialise(true);
    }
    QString linkPath() const { return dir.filePath("controller"); }
    void tick() {
        sim.clock.advanceSecs(1);
        cycle.tick();
    }
    /// From PollState 1: the delay request, its reply and the live request, then the live reply.
    void pollLiveBlock() {
        for (int i = 0; i < 3; ++i) tick();
    }
    operations::OperationServices services() {
        operations::OperationServices s{gate, cycle, link, messages, prompter, {}};
        s.controller = [] { return QStringLiteral("Sim"); };
        return s;
    }

    test::SimPort sim;
    test::FakeSleeper pollSleeper{&sim.clock};
    PanelsView view;
    monitor::PollCycle cycle{sim.port, pollSleeper, sim.clock, settings, messages, view};
    monitor::CommandGate gate{cycle, messages, prompter};
    test::FakeSleeper sleeper{&sim.clock};  // the controller's waits, on its own clock
    link::ControllerLink link{sim.port, sleeper};
};

}  // namespace

class TestOperationsSim : public QObject {
    Q_OBJECT
private slots:
    void startShowsTheEngineStarting();
    void calibrationShowsAtTheNextLiveReply();
};

void TestOperationsSim::startShowsTheEngineStarting() {
    Rig rig(test::SimPort::Stopped);
    rig.pollLiveBlock();
    QVERIFY(rig.cycle.linked());
    QCOMPARE(rig.view.indicators.value("zs10"), 1);  // automatic
    QCOMPARE(rig.view.indicators.value("zs11"), 0);  // not starting

    operations::OperatingCommands commands(rig.services());
    rig.prompter.answers = {true};
    commands.SendOperatingCommand(*operations::FindOperatingCommand("start1"));
    QCOMPARE(rig.prompter.shown, (QStringList{"confirm:Start Sim now?", "info:Started"}));
    QVERIFY(rig.cycle.timer().isActive());  // polling resumed; the test drives the ticks itself
    rig.cycle.stopTimer();
    QCOMPARE(rig.cycle.PollState(), 1);

    rig.pollLiveBlock();
    QCOMPARE(rig.view.indicators.value("zs11"), 1);  // starting
    QCOMPARE(rig.view.indicators.value("zs10"), 0);  // out of automatic mode
    QCOMPARE(rig.view.indicators.value("zs15"), 0);  // not reset
}

void TestOperationsSim::calibrationShowsAtTheNextLiveReply() {
    Rig rig(test::SimPort::Running | test::SimPort::Steady);
    rig.pollLiveBlock();
    QVERIFY(rig.cycle.linked());
    const QString before = rig.view.panels.value("pnl11");
    QVERIFY2(before.toInt() > 200 && before != "230", qPrintable(before));

    operations::ChannelCalibration calibration(rig.services());
    rig.prompter.inputs = {"230"};
    calibration.CalibrateChannel(*operations::FindCalibrationChannel(11));
    QCOMPARE(rig.prompter.shown,
             (QStringList{"input:True value?|pnl11 in V, 0 to 65535:", "info:Calibrated"}));
    rig.cycle.stopTimer();

    rig.pollLiveBlock();
    QCOMPARE(rig.view.panels.value("pnl11"), QStringLiteral("230"));
}

QTEST_GUILESS_MAIN(TestOperationsSim)
#include "tst_operationsSim.moc"
