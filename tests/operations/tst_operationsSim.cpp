// End to end: the operations engines and the poll cycle on the program's own serial port, against
// tarsyn-sim on a pseudo-terminal. Poll ticks are driven by hand with a fake clock; the exchanges of
// the operations wait for real, as the controller needs.
#include <QTemporaryDir>
#include <QtTest>

#include "FakeClock.h"
#include "OperationsRig.h"
#include "ScriptedPrompter.h"
#include "SimProcess.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/Clock.h"
#include "link/ControllerLink.h"
#include "link/QtSerialPort.h"
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

struct Rig {
    Rig() {
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
        clock.advanceSecs(1);
        cycle.tick();
        QTest::qWait(test::kSimReplyWaitMs);
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

    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::FakeClock clock;
    test::FakeSleeper pollSleeper{&clock};
    link::QtSerialPort port;
    PanelsView view;
    monitor::PollCycle cycle{port, pollSleeper, clock, settings, messages, view};
    test::ScriptedPrompter prompter;
    monitor::CommandGate gate{cycle, messages, prompter};
    link::ThreadSleeper sleeper;  // real waits: the controller takes its time
    link::ControllerLink link{port, sleeper};
};

}  // namespace

class TestOperationsSim : public QObject {
    Q_OBJECT
private slots:
    void startShowsTheEngineStarting();
    void calibrationShowsAtTheNextLiveReply();
};

void TestOperationsSim::startShowsTheEngineStarting() {
    Rig rig;
    test::SimProcess sim;
    QVERIFY(sim.start({"--link", rig.linkPath()}));
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
    Rig rig;
    test::SimProcess sim;
    QVERIFY(sim.start({"--link", rig.linkPath(), "--running", "--steady"}));
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
