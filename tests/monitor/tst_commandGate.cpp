// The command gate every main-window command passes, and the exclusive-exchange guard every window
// that talks to the controller outside the poll cycle holds.
#include <QTemporaryDir>
#include <QtTest>

#include "FakeClock.h"
#include "FakePollControl.h"
#include "FakeSerialPort.h"
#include "RecordingView.h"
#include "ScriptedPrompter.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "link/LinkError.h"
#include "monitor/CommandGate.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;
using monitor::GateRule;

namespace {

struct Catalogue {
    Catalogue() {
        QFile lag(dir.filePath("English.lag"));
        lag.open(QIODevice::WriteOnly);
        lag.write("[Messages]\r\ndl4=No link\r\ndl5=Rotating\r\nForm6caption=Delays\r\n");
        lag.close();
        settings.setLanguage("English");
    }
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
};

}  // namespace

class TestCommandGate : public QObject {
    Q_OBJECT
private slots:
    void refusalsInOrder_data();
    void refusalsInOrder();
    void titleComesFromTheCatalogueAtEachOpening();
    void guardResumesPollingOnEveryWayOut_data();
    void guardResumesPollingOnEveryWayOut();
    void pollingResumesAfterASerialErrorInsideTheGuard();
};

void TestCommandGate::refusalsInOrder_data() {
    QTest::addColumn<bool>("rotation");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<bool>("needsLink");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<QStringList>("shown");
    const QStringList none;
    QTest::newRow("rotation, linked") << true << true << true << false << QStringList{"info:Rotating"};
    QTest::newRow("rotation and no link: dl5 only")
        << true << false << true << false << QStringList{"info:Rotating"};
    QTest::newRow("no link") << false << false << true << false << QStringList{"info:No link"};
    QTest::newRow("linked") << false << true << true << true << none;
    QTest::newRow("curves without a link") << false << false << false << true << none;
    QTest::newRow("curves in rotation") << true << false << false << false << QStringList{"info:Rotating"};
}

void TestCommandGate::refusalsInOrder() {
    QFETCH(bool, rotation);
    QFETCH(bool, linked);
    QFETCH(bool, needsLink);
    QFETCH(bool, passes);
    QFETCH(QStringList, shown);
    Catalogue c;
    test::FakePollControl poll;
    poll.rotation = rotation;
    poll.isLinked = linked;
    test::ScriptedPrompter prompter;
    monitor::CommandGate gate(poll, c.messages, prompter);
    QCOMPARE(gate.pass(needsLink ? GateRule::NeedsLink : GateRule::NoLink), passes);
    QCOMPARE(prompter.shown, shown);
}

void TestCommandGate::titleComesFromTheCatalogueAtEachOpening() {
    Catalogue c;
    test::FakePollControl poll;
    test::ScriptedPrompter prompter;
    monitor::CommandGate gate(poll, c.messages, prompter);
    QCOMPARE(gate.title("Form6caption"), QStringLiteral("Delays"));
    QCOMPARE(gate.title("Form7caption"), QStringLiteral("0"));  // a missing key shows "0"
    QFile lag(c.dir.filePath("Other.lag"));
    lag.open(QIODevice::WriteOnly);
    lag.write("[Messages]\r\nForm6caption=Verzoegerungen\r\n");
    lag.close();
    c.settings.setLanguage("Other");
    QCOMPARE(gate.title("Form6caption"), QStringLiteral("Verzoegerungen"));
}

void TestCommandGate::guardResumesPollingOnEveryWayOut_data() {
    QTest::addColumn<int>("way");  // 0 success, 1 serial error, 2 other exception, 3 early return
    QTest::newRow("success") << 0;
    QTest::newRow("serial error") << 1;
    QTest::newRow("exception") << 2;
    QTest::newRow("cancel") << 3;
}

void TestCommandGate::guardResumesPollingOnEveryWayOut() {
    QFETCH(int, way);
    test::FakePollControl poll;
    auto exchange = [&] {
        monitor::ExclusiveExchange guard(poll);
        QVERIFY(!poll.running);
        QCOMPARE(poll.stops, 1);
        if (way == 1) throw link::SerialError("Write failed: port not open");
        if (way == 2) throw std::runtime_error("bad reply");
        if (way == 3) return;
    };
    try {
        exchange();
    } catch (const std::exception&) {
        QVERIFY(way == 1 || way == 2);
    }
    QVERIFY(poll.running);
    QCOMPARE(poll.resumes, 1);
    QCOMPARE(poll.pollState, 1);
}

// The real cycle: a window's exchange fails on the port inside the guard; the timer runs again and the
// next tick starts over with a fresh request.
void TestCommandGate::pollingResumesAfterASerialErrorInsideTheGuard() {
    Catalogue c;
    c.settings.setPorts({{"COM1", "Set 1", ""}});
    test::FakeSerialPort port;
    test::FakeClock clock;
    test::FakeSleeper sleeper{&clock};
    test::RecordingView view;
    monitor::PollCycle cycle(port, sleeper, clock, c.settings, c.messages, view);
    cycle.initialise(true);
    cycle.startTimer();
    cycle.tick();  // connection step: the port opens
    QVERIFY(port.Connected());
    cycle.setPollState(4);  // waiting for a reply to a request the window's exchange will spoil

    link::ControllerLink link(port, sleeper);
    port.failWrite = true;
    bool failed = false;
    try {
        monitor::ExclusiveExchange guard(cycle);
        QVERIFY(!cycle.timer().isActive());
        link.Transaction("0005100300FF", 2, 500);
    } catch (const link::SerialError&) {
        failed = true;
    }
    QVERIFY(failed);
    QVERIFY(cycle.timer().isActive());
    QCOMPARE(cycle.PollState(), 1);

    port.failWrite = false;
    port.written.clear();
    clock.advanceSecs(1);
    cycle.tick();
    QVERIFY(!port.written.isEmpty());  // a fresh request went out
}

QTEST_GUILESS_MAIN(TestCommandGate)
#include "tst_commandGate.moc"
