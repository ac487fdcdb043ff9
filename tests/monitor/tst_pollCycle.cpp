// The one-second poll: connection step, alternating requests, reply thresholds, rotation, link loss.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "RecordingView.h"
#include "Replies.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/Codec.h"
#include "link/LinkError.h"
#include "link/LinkMeter.h"
#include "monitor/HistorySink.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;
using namespace tarsyn::monitor;
using test::FakeClock;
using test::FakeSerialPort;
using test::FakeSleeper;
using test::RecordingView;

namespace {

const QString kDelayFrame = link::BuildFrame("000400360016");
const QString kLiveFrame = link::BuildFrame("000400060030");

QString delayReply(int firstDelay = 5) {
    QByteArray data(22, '\0');
    data[0] = char(firstDelay);
    return test::blockReply(data);
}

// A live reply whose mains phase A (pnl34) reads `value`.
QString liveReply(int value) {
    return test::blockReply(
        test::liveData(0, QByteArray::fromHex(link::ToHex(quint32(value), 4).toLatin1())));
}

class RecordingSink : public HistorySink {
public:
    void recordLiveReply(const QString& reply, const QString& remark) override {
        if (fail) throw link::LinkError("database is locked");
        replies << reply;
        remarks << remark;
    }
    QStringList replies, remarks;
    bool fail = false;
};

// Everything a poll cycle needs, with a scripted controller answering on every port.
struct Rig {
    explicit Rig(int portCount = 1, const QString& refresh = "6") {
        QFile lag(dir.filePath("English.lag"));
        lag.open(QIODevice::WriteOnly);
        lag.write("[Messages]\r\nlxsb=Rotating\r\ngdsb=Fixed port\r\n");
        lag.close();
        settings.setLanguage("English");
        settings.setRefreshText(refresh);
        QVector<config::PortEntry> ports;
        for (int i = 0; i < portCount; ++i)
            ports.append({QStringLiteral("COM%1").arg(i + 1), QStringLiteral("Set %1").arg(i + 1),
                          QStringLiteral("note %1").arg(i + 1)});
        settings.setPorts(ports);
        // Each port answers with its own reading (100 on COM1, 200 on COM2...), queued at once and read
        // by the cycle one tick later.
        port.onWrite = [this](const QString& request) {
            if (!answer) return;
            if (request == kDelayFrame) port.arrive(delayReply(7));
            if (request == kLiveFrame) port.arrive(liveReply(100 * port.portName().mid(3).toInt()));
        };
        cycle.setHistorySink(&sink);
    }
    // One timer tick, one second after the previous one.
    void tick() {
        if (ticks++ > 0) clock.advanceSecs(1);
        cycle.tick();
    }
    void ticksUntil(int n) {
        while (ticks < n) tick();
    }

    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    FakeClock clock;
    FakeSleeper sleeper{&clock};
    FakeSerialPort port;
    RecordingView view;
    RecordingSink sink;
    PollCycle cycle{port, sleeper, clock, settings, messages, view};
    bool answer = true;
    int ticks = 0;
};

}  // namespace

class TestPollCycle : public QObject {
    Q_OBJECT
private slots:
    void initialState();
    void firstTickOpensEntryZeroAndAsksForDelays();
    void repliesAlternateOneTickLater();
    void replyThreshold_data();
    void replyThreshold();
    void noPortsConfiguredOpensNothing();
    void rotationVisitsEntriesInTurn();
    void rotationWithOneEntryReopensEachInterval();
    void replyOfPreviousPortIsNeverShown();
    void rotationWalksPastPortThatFailsToOpen();
    void rotationReadsEachControllerCompletely_data();
    void rotationReadsEachControllerCompletely();
    void rotationLeavesSilentControllerAfterTwoRounds();
    void toggleChangesOnlyModeUntilNextStep();
    void nonNumericRefreshEndsTickWithMessage();
    void refreshZeroRunsStepEveryTick();
    void failedWriteIsRetriedNextTick();
    void garbledReplyKeepsCycleGoing();
    void pollStateResetByAnotherWindow();
    void linkLossRecovers_data();
    void linkLossRecovers();
    void portListEmptiedWhilePolling_data();
    void portListEmptiedWhilePolling();
    void portListShrinksUnderFixedEntry();
    void historyGetsEveryLiveReplyWithRemark();
    void foreignBytesAreACheckError_data();
    void foreignBytesAreACheckError();
    void failingRecorderEndsTickOnly();
    void persistentFaultReportedOnce();
    void timerIsOneSecond();
};

void TestPollCycle::initialState() {
    Rig rig;
    rig.cycle.initialise(true);
    QCOMPARE(rig.cycle.PortIndex(), 0);
    QCOMPARE(rig.cycle.PollState(), 1);
    QVERIFY(!rig.cycle.RotationMode());
    QCOMPARE(rig.cycle.ConnectionIndicator(), kNotLinkedImage);
    QCOMPARE(rig.view.connection, kNotLinkedImage);
    QCOMPARE(rig.view.modeLabel, QString("Fixed port"));
    QVERIFY(!rig.view.rotationPicture);
}

void TestPollCycle::firstTickOpensEntryZeroAndAsksForDelays() {
    Rig rig(2);
    rig.cycle.initialise(true);
    rig.tick();
    QCOMPARE(rig.port.openedNames, QStringList{"COM1"});
    QVERIFY(rig.port.lineSettings == link::LineSettings::controllerDefault());
    QCOMPARE(rig.sleeper.sleeps, QList<int>{300});
    QCOMPARE(rig.port.written, QStringList{kDelayFrame});
    QCOMPARE(rig.cycle.PollState(), 2);
    QCOMPARE(rig.cycle.SentPortIndex(), 0);
    QCOMPARE(rig.view.port, QString("COM1"));
    QCOMPARE(rig.view.remark, QString("Set 1"));
    QCOMPARE(rig.view.notes, QString("note 1"));
    QCOMPARE(rig.view.panels.value("pnl34"), QString("0"));  // cleared before the open
    QCOMPARE(rig.view.connection, kNotLinkedImage);
}

void TestPollCycle::repliesAlternateOneTickLater() {
    Rig rig;
    rig.cycle.initialise(true);
    rig.tick();
    rig.tick();  // delay reply read, live request written in the same tick
    QCOMPARE(rig.view.panels.value("pnl41"), QString("7"));
    QCOMPARE(rig.port.written, (QStringList{kDelayFrame, kLiveFrame}));
    QCOMPARE(rig.cycle.PollState(), 4);
    QCOMPARE(rig.cycle.ConnectionIndicator(), kLinkedImage);
    QVERIFY(!rig.view.panels.contains("pnl34") || rig.view.panels.value("pnl34") == "0");
    rig.tick();  // live reply read, delay request written
    QCOMPARE(rig.view.panels.value("pnl34"), QString("100"));
    QCOMPARE(rig.port.written, (QStringList{kDelayFrame, kLiveFrame, kDelayFrame}));
    QCOMPARE(rig.cycle.PollState(), 2);
    QCOMPARE(rig.port.openCount, 1);
    QCOMPARE(rig.sleeper.sleeps.size(), 1);  // only the open waits
}

void TestPollCycle::replyThreshold_data() {
    QTest::addColumn<bool>("live");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("image");
    QTest::newRow("live 103") << true << 103 << kNotLinkedImage;
    QTest::newRow("live 104") << true << 104 << kLinkedImage;
    QTest::newRow("live 0") << true << 0 << kNotLinkedImage;
    // The check characters must be there: 50 characters of header and data, then the check.
    QTest::newRow("delay 50, no check") << false << 50 << kNotLinkedImage;
    QTest::newRow("delay 51") << false << 51 << kNotLinkedImage;
    QTest::newRow("delay 52") << false << 52 << kLinkedImage;
}

void TestPollCycle::replyThreshold() {
    QFETCH(bool, live);
    QFETCH(int, length);
    QFETCH(int, image);
    Rig rig;
    rig.cycle.initialise(true);
    rig.answer = false;
    rig.tick();  // delay request
    if (live) {
        rig.port.arrive(delayReply());
        rig.tick();  // live request
        rig.port.arrive(liveReply(321).left(length));
    } else {
        rig.port.arrive(delayReply(9).left(length));
    }
    rig.view.panels.clear();
    rig.tick();
    QCOMPARE(rig.cycle.ConnectionIndicator(), image);
    QCOMPARE(rig.view.panels.isEmpty(), image == kNotLinkedImage);
    // The cycle goes on with the other request in the same tick either way.
    QCOMPARE(rig.port.written.last(), live ? kDelayFrame : kLiveFrame);
    // Only a reply that passed its check goes on to the recorder and the alarms.
    if (live) QCOMPARE(rig.sink.replies.size(), image == kLinkedImage ? 1 : 0);
}

void TestPollCycle::noPortsConfiguredOpensNothing() {
    Rig rig(2);
    rig.cycle.initialise(false);
    QCOMPARE(rig.cycle.PortIndex(), -1);
    rig.ticksUntil(30);
    QCOMPARE(rig.port.openCount, 0);
    QVERIFY(rig.port.written.isEmpty());
    QCOMPARE(rig.cycle.ConnectionIndicator(), kNotLinkedImage);
    QVERIFY(rig.view.port.isEmpty());
}

void TestPollCycle::rotationVisitsEntriesInTurn() {
    Rig rig(3, "10");
    rig.cycle.initialise(true);
    rig.cycle.toggleRotationMode();
    QStringList visits;
    QList<int> visitTicks;
    QStringList shownBeforeChange;
    int opens = 0;
    for (int t = 0; t < 40; ++t) {
        const QString before = rig.view.panels.value("pnl34");
        rig.tick();
        if (rig.port.openedNames.size() > opens) {
            opens = rig.port.openedNames.size();
            visits << rig.port.openedNames.last();
            visitTicks << t;
            shownBeforeChange << before;
            QCOMPARE(rig.view.panels.value("pnl34"), QString("0"));  // cleared at each change
            QCOMPARE(rig.view.port, rig.port.openedNames.last());
        }
    }
    QCOMPARE(visits, (QStringList{"COM2", "COM3", "COM1", "COM2"}));
    // Ten seconds on each (the 300 ms settling after an open puts each tick just past the deadline).
    QCOMPARE(visitTicks, (QList<int>{0, 10, 20, 30}));
    QCOMPARE(shownBeforeChange.mid(1), (QStringList{"200", "300", "100"}));
    QCOMPARE(rig.port.closeCount, 3);
    QCOMPARE(rig.view.modeLabel, QString("Rotating"));
    QVERIFY(rig.view.rotationPicture);
}

void TestPollCycle::rotationWithOneEntryReopensEachInterval() {
    Rig rig(1, "3");
    rig.cycle.initialise(true);
    rig.cycle.setRotationMode(true);
    rig.ticksUntil(10);
    QCOMPARE(rig.port.openedNames, (QStringList{"COM1", "COM1", "COM1", "COM1"}));
    QCOMPARE(rig.port.closeCount, 3);
}

// A live request written on COM1 is answered after the rotation to COM2: the answer is purged, not
// shown as COM2's reading.
void TestPollCycle::replyOfPreviousPortIsNeverShown() {
    Rig rig(2, "2");
    rig.cycle.initialise(true);
    rig.answer = false;
    rig.tick();  // COM1 opened (fixed), delay request
    rig.port.arrive(delayReply());
    rig.tick();  // live request on COM1
    QCOMPARE(rig.cycle.PollState(), 4);
    rig.cycle.toggleRotationMode();
    rig.port.arrive(liveReply(111));  // COM1's late answer sits in the queue
    rig.view.log.clear();
    rig.tick();  // rotates to COM2
    QCOMPARE(rig.cycle.PortIndex(), 1);
    QCOMPARE(rig.port.portName(), QString("COM2"));
    QCOMPARE(rig.view.panels.value("pnl34"), QString("0"));
    QCOMPARE(rig.port.written.last(), kDelayFrame);
    rig.answer = true;
    for (int i = 0; i < 2; ++i) {
        rig.tick();
        QVERIFY(rig.view.panels.value("pnl34") != "111");
    }
    QVERIFY(rig.sink.replies.isEmpty() || !rig.sink.replies.last().contains("006F"));
}

void TestPollCycle::rotationWalksPastPortThatFailsToOpen() {
    Rig rig(3, "0");
    rig.port.canOpen = [](const QString& name) { return name != "COM2"; };
    rig.cycle.initialise(true);
    rig.cycle.toggleRotationMode();
    QList<int> indices;
    int index = rig.cycle.PortIndex();
    for (int i = 0; i < 40 && indices.size() < 4; ++i) {
        rig.tick();
        if (rig.cycle.PortIndex() == index) continue;
        index = rig.cycle.PortIndex();
        indices << index;
        QCOMPARE(rig.cycle.PollState(), rig.port.Connected() ? 2 : 1);
    }
    QCOMPARE(indices, (QList<int>{1, 2, 0, 1}));
    QCOMPARE(rig.port.openedNames, (QStringList{"COM3", "COM1"}));
}

void TestPollCycle::rotationReadsEachControllerCompletely_data() {
    QTest::addColumn<QString>("refresh");
    QTest::addColumn<int>("missedDelayReplies");  // per visit, the first N delay requests unanswered
    QTest::addColumn<int>("ticksPerVisit");
    QTest::addColumn<QStringList>("framesPerVisit");
    const QStringList round{kDelayFrame, kLiveFrame};
    // Opened with the delay request; its reply and the live request one tick later; the live reply
    // and the next delay request (never read: the rotation moves on) the tick after.
    QTest::newRow("refresh 1 s") << "1" << 0 << 3 << (round + QStringList{kDelayFrame});
    QTest::newRow("refresh 0 s") << "0" << 0 << 3 << (round + QStringList{kDelayFrame});
    // The live reply comes, the delays are asked for again and come: the move follows at once.
    QTest::newRow("first delay reply lost: asked again") << "1" << 1 << 4 << (round + round);
}

// However short the refresh time, every controller the rotation visits is read in full (its delays
// and its live block) before the rotation moves on; no request is added to the exchange.
void TestPollCycle::rotationReadsEachControllerCompletely() {
    QFETCH(QString, refresh);
    QFETCH(int, missedDelayReplies);
    QFETCH(int, ticksPerVisit);
    QFETCH(QStringList, framesPerVisit);
    Rig rig(3, refresh);
    int missed = 0;
    rig.port.onWrite = [&](const QString& request) {
        if (request == kDelayFrame && missed++ < missedDelayReplies) return;
        if (request == kDelayFrame) rig.port.arrive(delayReply(7));
        if (request == kLiveFrame) rig.port.arrive(liveReply(100 * rig.port.portName().mid(3).toInt()));
    };
    rig.port.canOpen = [&missed](const QString&) {
        missed = 0;  // a new visit
        return true;
    };
    rig.cycle.initialise(true);
    rig.cycle.setRotationMode(true);
    QStringList visits, shownBeforeChange, delaysBeforeChange;
    QList<int> visitTicks;
    QList<QStringList> frames;
    int opens = 0;
    for (int t = 0; t < 4 * ticksPerVisit + 1; ++t) {
        const QString live = rig.view.panels.value("pnl34"), delay = rig.view.panels.value("pnl41");
        const int written = rig.port.written.size();
        rig.tick();
        if (rig.port.openedNames.size() > opens) {
            opens = rig.port.openedNames.size();
            visits << rig.port.openedNames.last();
            visitTicks << t;
            shownBeforeChange << live;
            delaysBeforeChange << delay;
            frames << QStringList();
        }
        frames.last() += rig.port.written.mid(written);
    }
    QCOMPARE(visits, (QStringList{"COM2", "COM3", "COM1", "COM2", "COM3"}));
    QCOMPARE(visitTicks,
             (QList<int>{0, ticksPerVisit, 2 * ticksPerVisit, 3 * ticksPerVisit, 4 * ticksPerVisit}));
    // Each controller's own live reading and its delays were on show when the rotation left it.
    QCOMPARE(shownBeforeChange.mid(1), (QStringList{"200", "300", "100", "200"}));
    QCOMPARE(delaysBeforeChange.mid(1), (QStringList{"7", "7", "7", "7"}));
    for (int v = 0; v < 4; ++v) QCOMPARE(frames.at(v), framesPerVisit);
    QCOMPARE(rig.sink.replies.size(), 4);
}

// A controller that does not answer holds the rotation for two rounds of both requests, no longer.
void TestPollCycle::rotationLeavesSilentControllerAfterTwoRounds() {
    Rig rig(2, "1");
    rig.answer = false;
    rig.cycle.initialise(true);
    rig.cycle.setRotationMode(true);
    rig.ticksUntil(11);
    QCOMPARE(rig.port.openedNames, (QStringList{"COM2", "COM1", "COM2"}));
    // Per visit: delay, live, delay, live, delay; the last is never read.
    QCOMPARE(rig.port.written.size(), 11);
    QCOMPARE(rig.cycle.ConnectionIndicator(), kNotLinkedImage);
}

void TestPollCycle::toggleChangesOnlyModeUntilNextStep() {
    Rig rig(3, "10");
    rig.cycle.initialise(true);
    rig.ticksUntil(4);
    const int opens = rig.port.openCount;
    rig.cycle.toggleRotationMode();
    QCOMPARE(rig.view.modeLabel, QString("Rotating"));
    QVERIFY(rig.view.rotationPicture);
    rig.ticksUntil(10);
    QCOMPARE(rig.port.openCount, opens);
    QCOMPARE(rig.cycle.PortIndex(), 0);
    rig.tick();
    QCOMPARE(rig.cycle.PortIndex(), 1);
    rig.cycle.toggleRotationMode();
    QCOMPARE(rig.view.modeLabel, QString("Fixed port"));
    QVERIFY(!rig.view.rotationPicture);
}

void TestPollCycle::nonNumericRefreshEndsTickWithMessage() {
    Rig rig(1, "6s");
    QSignalSpy failed(&rig.cycle, &PollCycle::tickFailed);
    rig.cycle.initialise(true);
    rig.tick();
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains("'6s'"));
    QCOMPARE(rig.port.openCount, 0);  // the tick ended before the open
    rig.settings.setRefreshText("6");
    rig.tick();
    QCOMPARE(failed.size(), 1);
    QCOMPARE(rig.port.openedNames, QStringList{"COM1"});
}

void TestPollCycle::refreshZeroRunsStepEveryTick() {
    Rig rig(1, "0");
    rig.cycle.initialise(true);
    rig.ticksUntil(6);
    // Fixed mode: the step runs every tick but reopens only a closed port.
    QCOMPARE(rig.port.openedNames.size(), 1);
    QCOMPARE(rig.view.panels.value("pnl34"), QString("100"));
}

void TestPollCycle::failedWriteIsRetriedNextTick() {
    Rig rig;
    rig.cycle.initialise(true);
    rig.port.failWrite = true;
    rig.tick();
    QCOMPARE(rig.cycle.PollState(), 1);
    rig.port.failWrite = false;
    rig.tick();
    QCOMPARE(rig.cycle.PollState(), 2);
    QCOMPARE(rig.port.written, QStringList{kDelayFrame});
}

void TestPollCycle::garbledReplyKeepsCycleGoing() {
    Rig rig;
    QSignalSpy failed(&rig.cycle, &PollCycle::tickFailed);
    rig.cycle.initialise(true);
    rig.answer = false;
    rig.tick();
    rig.port.arrive(delayReply());
    rig.tick();
    rig.port.arrive(test::patched(liveReply(432), 27, "XYZW"));
    rig.view.panels.clear();
    rig.tick();
    QCOMPARE(failed.size(), 0);
    // Not one field of a reply that fails its check is shown, not even those before the bad one.
    QVERIFY(rig.view.panels.isEmpty());
    QVERIFY(rig.sink.replies.isEmpty());
    QCOMPARE(rig.cycle.ConnectionIndicator(), kNotLinkedImage);
    QCOMPARE(rig.port.written.last(), kDelayFrame);
}

void TestPollCycle::pollStateResetByAnotherWindow() {
    Rig rig;
    rig.cycle.initialise(true);
    rig.ticksUntil(2);
    QCOMPARE(rig.cycle.PollState(), 4);
    rig.cycle.stopTimer();
    rig.port.PurgeQueues();  // another window's exchange
    rig.cycle.setPollState(1);
    rig.cycle.startTimer();
    rig.tick();
    QCOMPARE(rig.port.written.last(), kDelayFrame);
    QCOMPARE(rig.cycle.PollState(), 2);
    rig.cycle.stopTimer();
}

void TestPollCycle::linkLossRecovers_data() {
    QTest::addColumn<int>("absentIntervals");
    QTest::newRow("device back at once") << 0;
    QTest::newRow("device away for two intervals") << 2;
}

// The port layer closes itself when the device goes; the connection step reopens it.
void TestPollCycle::linkLossRecovers() {
    QFETCH(int, absentIntervals);
    Rig rig(1, "5");
    QSignalSpy failed(&rig.cycle, &PollCycle::tickFailed);
    rig.cycle.initialise(true);
    rig.ticksUntil(4);
    QCOMPARE(rig.cycle.ConnectionIndicator(), kLinkedImage);
    bool present = absentIntervals == 0;
    rig.port.canOpen = [&present](const QString&) { return present; };
    rig.port.lose();
    int ticksToRecover = 0;
    while (rig.cycle.ConnectionIndicator() != kLinkedImage || ticksToRecover == 0) {
        rig.tick();
        ++ticksToRecover;
        if (ticksToRecover == 1 + absentIntervals * 6) present = true;
        QVERIFY(ticksToRecover < 40);
    }
    QCOMPARE(failed.size(), 0);
    QVERIFY(rig.view.connectionHistory.contains(kNotLinkedImage));
    // Within one refresh interval (plus the tick that reads the first reply) of the device being there.
    QVERIFY2(ticksToRecover <= 1 + absentIntervals * 6 + 6 + 1, qPrintable(QString::number(ticksToRecover)));
    rig.tick();
    QCOMPARE(rig.view.panels.value("pnl34"), QString("100"));
}

void TestPollCycle::portListEmptiedWhilePolling_data() {
    QTest::addColumn<bool>("rotation");
    QTest::newRow("fixed") << false;
    QTest::newRow("rotation") << true;
}

void TestPollCycle::portListEmptiedWhilePolling() {
    QFETCH(bool, rotation);
    Rig rig(2, "4");
    QSignalSpy failed(&rig.cycle, &PollCycle::tickFailed);
    rig.cycle.initialise(true);
    rig.cycle.setRotationMode(rotation);
    rig.ticksUntil(4);
    QCOMPARE(rig.cycle.ConnectionIndicator(), kLinkedImage);
    const QVector<config::PortEntry> before = rig.settings.ports();
    rig.settings.setPorts({});
    const int written = rig.port.written.size();
    rig.ticksUntil(20);
    QCOMPARE(failed.size(), 0);
    QVERIFY(!rig.port.Connected());
    QCOMPARE(rig.port.written.size(), written);
    QCOMPARE(rig.cycle.ConnectionIndicator(), kNotLinkedImage);
    QVERIFY(rig.view.port.isEmpty() && rig.view.remark.isEmpty() && rig.view.notes.isEmpty());
    QCOMPARE(rig.view.panels.value("pnl34"), QString("0"));
    QCOMPARE(rig.view.modeLabel, rotation ? QString("Rotating") : QString("Fixed port"));
    // Entries come back: polling starts again from entry 0 at once.
    rig.settings.setPorts({{"COM3", "Back", ""}, before.at(0)});
    rig.tick();
    QCOMPARE(rig.port.openedNames.last(), QString("COM3"));
    QCOMPARE(rig.cycle.PortIndex(), 0);
    QCOMPARE(rig.view.remark, QString("Back"));
    rig.tick();
    rig.tick();
    QCOMPARE(rig.view.panels.value("pnl34"), QString("300"));
    QCOMPARE(failed.size(), 0);
}

void TestPollCycle::portListShrinksUnderFixedEntry() {
    Rig rig(3, "2");
    QSignalSpy failed(&rig.cycle, &PollCycle::tickFailed);
    rig.cycle.initialise(true);
    rig.cycle.setPortIndex(2);
    rig.ticksUntil(3);
    QCOMPARE(rig.port.portName(), QString("COM3"));
    rig.settings.setPorts({rig.settings.ports().at(0)});
    rig.ticksUntil(8);
    QCOMPARE(failed.size(), 0);
    QCOMPARE(rig.cycle.PortIndex(), 0);
    QCOMPARE(rig.port.portName(), QString("COM1"));
    QCOMPARE(rig.view.port, QString("COM1"));
}

void TestPollCycle::historyGetsEveryLiveReplyWithRemark() {
    Rig rig(1);
    rig.cycle.initialise(true);
    rig.ticksUntil(3);
    QCOMPARE(rig.sink.replies, QStringList{liveReply(100)});
    QCOMPARE(rig.sink.remarks, QStringList{"Set 1"});
    rig.answer = false;
    rig.ticksUntil(5);  // a missing live reply is not handed over: only checked replies are
    QCOMPARE(rig.sink.replies.size(), 1);
    rig.answer = true;
    rig.ticksUntil(7);
    QCOMPARE(rig.sink.replies.size(), 2);
}

// A whole frame with the right station, function, count and check that carries another block's bytes:
// the values the issue of a late reply gave (44719 V, 4780.3 V, a power factor of 1.63, a cranking
// time of 147 s). Refused like a failed check: not shown, not recorded, counted as a check error.
void TestPollCycle::foreignBytesAreACheckError_data() {
    QTest::addColumn<bool>("live");
    QTest::addColumn<int>("offset");  // data byte of the block
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("mains 44719 V") << true << 0 << QByteArray::fromHex("AEAF");
    QTest::newRow("battery 4780.3 V") << true << 42 << QByteArray::fromHex("BABB");
    QTest::newRow("power factor 1.63") << true << 19 << QByteArray::fromHex("A3");
    QTest::newRow("engine speed 4001 rpm") << true << 46 << QByteArray::fromHex("0FA1");
    QTest::newRow("cranking time 147 s") << false << 3 << QByteArray::fromHex("93");
}

void TestPollCycle::foreignBytesAreACheckError() {
    QFETCH(bool, live);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    Rig rig;
    link::LinkMeter meter(rig.port, rig.clock);
    RecordingView view;
    PollCycle cycle(meter, rig.sleeper, rig.clock, rig.settings, rig.messages, view);
    cycle.setHistorySink(&rig.sink);
    rig.answer = false;
    cycle.initialise(true);
    cycle.tick();  // delay request
    QByteArray delays(22, '\0');
    delays[0] = 7;
    if (!live) delays.replace(offset, bytes.size(), bytes);
    rig.port.arrive(test::blockReply(delays));
    rig.clock.advanceSecs(1);
    cycle.tick();  // delay reply, live request
    if (live) {
        QCOMPARE(cycle.ConnectionIndicator(), kLinkedImage);
        rig.port.arrive(test::blockReply(test::liveData(offset, bytes)));
        view.panels.clear();
        view.indicators.clear();
        rig.clock.advanceSecs(1);
        cycle.tick();  // live reply, delay request
    }
    QCOMPARE(cycle.lastReplyVerdict(), link::ReplyVerdict::OutOfRange);
    QCOMPARE(cycle.ConnectionIndicator(), kNotLinkedImage);
    if (live) QVERIFY(view.panels.isEmpty() && view.indicators.isEmpty());
    if (!live) QCOMPARE(view.panels.value("pnl41"), QString("0"));  // as the open cleared it, not 7
    QVERIFY(rig.sink.replies.isEmpty());
    QVERIFY(!cycle.reading().liveComplete());
    const link::LinkTally tally = meter.sinceStart("COM1");
    QCOMPARE(tally.checkErrors, 1);
    QCOMPARE(tally.replies, live ? 1 : 0);
    if (!live) QCOMPARE(tally.medianMs, -1);  // its reply time left with it
    QCOMPARE(meter.lastHour("COM1").checkErrors, 1);
    // The next request went out all the same, exactly as after any failed reply.
    QCOMPARE(rig.port.written.last(), live ? kDelayFrame : kLiveFrame);
}

void TestPollCycle::failingRecorderEndsTickOnly() {
    Rig rig(1);
    QSignalSpy failed(&rig.cycle, &PollCycle::tickFailed);
    rig.cycle.initialise(true);
    rig.ticksUntil(2);
    rig.sink.fail = true;
    rig.tick();
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), QString("database is locked"));
    QCOMPARE(rig.view.panels.value("pnl34"), QString("100"));  // the display came first
    QCOMPARE(rig.cycle.PollState(), 1);                        // the request of this tick was not written
    rig.sink.fail = false;
    rig.tick();
    QCOMPARE(rig.cycle.PollState(), 2);
    QCOMPARE(failed.size(), 1);
}

void TestPollCycle::persistentFaultReportedOnce() {
    Rig rig(1, "x");
    QSignalSpy failed(&rig.cycle, &PollCycle::tickFailed);
    rig.cycle.initialise(true);
    rig.ticksUntil(5);
    QCOMPARE(failed.size(), 1);
    rig.settings.setRefreshText("y");  // a different fault is reported
    rig.tick();
    QCOMPARE(failed.size(), 2);
    rig.settings.setRefreshText("1");
    rig.tick();
    rig.settings.setRefreshText("y");  // the same fault again after a clean tick
    rig.ticksUntil(10);
    QCOMPARE(failed.size(), 3);
}

void TestPollCycle::timerIsOneSecond() {
    Rig rig;
    QCOMPARE(rig.cycle.timer().interval(), 1000);
    QCOMPARE(rig.cycle.timer().objectName(), QString("tmr1"));
}

QTEST_GUILESS_MAIN(TestPollCycle)
#include "tst_pollCycle.moc"
