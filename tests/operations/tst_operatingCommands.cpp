// The five operating commands: one engine driven by the command table, behind the main window's gate.
#include <QtTest>

#include "OperationsRig.h"
#include "monitor/PollCycle.h"
#include "operations/OperatingCommands.h"

using namespace tarsyn;
using operations::FindOperatingCommand;
using operations::OperatingCommands;

namespace {

enum class Line { Silent, Echo, WriteFails, ReadFails };

}  // namespace

Q_DECLARE_METATYPE(Line)

class TestOperatingCommands : public QObject {
    Q_OBJECT
private slots:
    void sendsTheCommandThenTells_data();
    void sendsTheCommandThenTells();
    void refusedOrDeclinedSendsNothing_data();
    void refusedOrDeclinedSendsNothing();
    void menuEntryAndButtonAreOneCommand_data();
    void menuEntryAndButtonAreOneCommand();
    void nextPollTickSendsAfterASerialError();
};

void TestOperatingCommands::sendsTheCommandThenTells_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<Line>("line");
    QTest::addColumn<bool>("yes");       // the answer to the confirmation
    QTest::addColumn<QString>("frame");  // request text and check
    QTest::addColumn<QStringList>("shown");
    auto row = [](const char* name, const char* button, Line line, const char* frame, QStringList shown) {
        QTest::newRow(name) << button << line << true << frame << shown;
    };
    // Every command asks first, naming the controller; Yes sends the exact frame.
    const QString start = "confirm:Start Genset 1 now?",
                  automatic = "confirm:Put Genset 1 in automatic mode now?",
                  stop = "confirm:Stop Genset 1 now?", test = "confirm:Put Genset 1 in test state now?",
                  factory = "confirm:Restore?";
    row("start", "dport3", Line::Silent, "0005100100FFEB", {start, "info:Started"});
    row("automatic", "dport4", Line::Silent, "0005100000FFEA", {automatic, "info:Automatic"});
    row("reset/stop", "dport5", Line::Silent, "0005100200FFE8", {stop, "info:Stopped"});
    row("test", "dport6", Line::Silent, "0005100300FFE9", {test, "info:Testing"});
    row("factory, Yes", "dport7", Line::Silent, "0005100800FFE2", {factory, "info:Restored"});
    row("start, echoed", "dport3", Line::Echo, "0005100100FFEB", {start, "info:Started"});
    row("factory, echoed", "dport7", Line::Echo, "0005100800FFE2", {factory, "info:Restored"});
    // A serial error: no message after the question.
    row("start, write fails", "dport3", Line::WriteFails, "", {start});
    row("test, read fails", "dport6", Line::ReadFails, "0005100300FFE9", {test});
    row("factory, write fails", "dport7", Line::WriteFails, "", {factory});
}

void TestOperatingCommands::sendsTheCommandThenTells() {
    QFETCH(QString, button);
    QFETCH(Line, line);
    QFETCH(bool, yes);
    QFETCH(QString, frame);
    QFETCH(QStringList, shown);
    test::OperationsRig rig;
    rig.prompter.answers = {yes};
    rig.port.failWrite = line == Line::WriteFails;
    rig.port.failRead = line == Line::ReadFails;
    if (line == Line::Echo) {
        // The earlier handler is kept by value: it outlives this block.
        rig.port.onWrite = [recordBusy = rig.port.onWrite, &rig](const QString& text) {
            recordBusy(text);
            rig.port.arrive(text);
        };
    }
    const auto* command = FindOperatingCommand(button);
    QVERIFY(command);
    OperatingCommands commands(rig.services());
    commands.SendOperatingCommand(*command);

    QCOMPARE(rig.port.written, frame.isEmpty() ? QStringList() : rig.frames({frame}));
    QCOMPARE(rig.prompter.shown, shown);
    // The journal hears of a command only once it went out, as the operator is told.
    const bool told = !shown.isEmpty() && shown.last().startsWith(QLatin1String("info:"));
    QCOMPARE(rig.sentLog, told ? QStringList{button + QStringLiteral("||") + frame.left(12)} : QStringList());
    QVERIFY(rig.declinedLog.isEmpty());
    // 300 ms for the poll reply still on its way, then the Transaction's 500 ms (none when the write
    // failed before it).
    QCOMPARE(rig.sleeper.sleeps, (line == Line::WriteFails ? QList<int>{300} : QList<int>{300, 500}));
    // The poll timer was stopped once and runs again with PollState 1, on every way out.
    QCOMPARE(rig.poll.stops, 1);
    QCOMPARE(rig.poll.resumes, 1);
    QVERIFY(rig.poll.running);
    QCOMPARE(rig.poll.pollState, 1);
    // The busy cursor shows while the thread is blocked, and is gone afterwards.
    QCOMPARE(rig.busyLog, (QList<bool>{true, false}));
    QVERIFY(!rig.busyAtWrite.contains(false));
}

void TestOperatingCommands::refusedOrDeclinedSendsNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("rotation");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("declined");  // what the journal hears: control|request
    const char* buttons[] = {"dport3", "dport4", "dport5", "dport6", "dport7"};
    for (const char* b : buttons) {
        // The rotation check comes first, even when the link is up; nothing is asked.
        QTest::addRow("%s, rotation and linked", b)
            << b << true << true << QStringList{"info:Rotating"} << QStringList{};
        QTest::addRow("%s, rotation, no link", b)
            << b << true << false << QStringList{"info:Rotating"} << QStringList{};
        QTest::addRow("%s, no link", b)
            << b << false << false << QStringList{"info:No link"} << QStringList{};
    }
    // No to the question (the default button): nothing sent, nothing more shown, the refusal journalled.
    QTest::newRow("start, No") << "dport3" << false << true << QStringList{"confirm:Start Genset 1 now?"}
                               << QStringList{"dport3|0005100100FF"};
    QTest::newRow("automatic, No") << "dport4" << false << true
                                   << QStringList{"confirm:Put Genset 1 in automatic mode now?"}
                                   << QStringList{"dport4|0005100000FF"};
    QTest::newRow("reset/stop, No") << "dport5" << false << true << QStringList{"confirm:Stop Genset 1 now?"}
                                    << QStringList{"dport5|0005100200FF"};
    QTest::newRow("test, No") << "dport6" << false << true
                              << QStringList{"confirm:Put Genset 1 in test state now?"}
                              << QStringList{"dport6|0005100300FF"};
    QTest::newRow("factory, No") << "dport7" << false << true << QStringList{"confirm:Restore?"}
                                 << QStringList{"dport7|0005100800FF"};
}

void TestOperatingCommands::refusedOrDeclinedSendsNothing() {
    QFETCH(QString, button);
    QFETCH(bool, rotation);
    QFETCH(bool, linked);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, declined);
    test::OperationsRig rig;
    rig.poll.rotation = rotation;
    rig.poll.isLinked = linked;
    rig.prompter.answers = {false};
    OperatingCommands commands(rig.services());
    commands.SendOperatingCommand(*FindOperatingCommand(button));
    QCOMPARE(rig.prompter.shown, shown);
    QVERIFY(rig.port.written.isEmpty());
    QVERIFY(rig.sleeper.sleeps.isEmpty());
    QCOMPARE(rig.poll.stops, 0);  // polling was never paused
    QCOMPARE(rig.poll.pollState, 3);
    QVERIFY(rig.busyLog.isEmpty());
    QVERIFY(rig.sentLog.isEmpty());
    QCOMPARE(rig.declinedLog, declined);
}

void TestOperatingCommands::menuEntryAndButtonAreOneCommand_data() {
    QTest::addColumn<QString>("menuEntry");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("request");
    QTest::newRow("start1") << "start1"
                            << "dport3"
                            << "0005100100FF";
    QTest::newRow("auto1") << "auto1"
                           << "dport4"
                           << "0005100000FF";
    QTest::newRow("reset1") << "reset1"
                            << "dport5"
                            << "0005100200FF";
    QTest::newRow("test1") << "test1"
                           << "dport6"
                           << "0005100300FF";
    QTest::newRow("default1") << "default1"
                              << "dport7"
                              << "0005100800FF";
}

void TestOperatingCommands::menuEntryAndButtonAreOneCommand() {
    QFETCH(QString, menuEntry);
    QFETCH(QString, button);
    QFETCH(QString, request);
    const auto* fromMenu = FindOperatingCommand(menuEntry);
    QVERIFY(fromMenu);
    QCOMPARE(fromMenu, FindOperatingCommand(button));
    QCOMPARE(QString::fromLatin1(fromMenu->request), request);
    QVERIFY(!FindOperatingCommand("dport8"));
}

// The real poll cycle around a command whose write fails: the timer runs again and the next tick
// starts over with a fresh request, the delay block's "000400360016" with its check 24.
void TestOperatingCommands::nextPollTickSendsAfterASerialError() {
    test::OperationsRig rig;
    rig.settings.setPorts({{"COM1", "Set 1", ""}});
    test::NullView view;
    monitor::PollCycle cycle(rig.port, rig.sleeper, rig.clock, rig.settings, rig.messages, view);
    cycle.initialise(true);
    cycle.startTimer();
    cycle.tick();  // the port is open already: the cycle goes on to its first request
    cycle.setConnectionIndicator(monitor::kLinkedImage);
    cycle.setPollState(4);  // a poll request is waiting for its reply
    monitor::CommandGate gate(cycle, rig.messages, rig.prompter);
    operations::OperationServices services{gate, cycle, rig.link, rig.messages, rig.prompter, {}};
    OperatingCommands commands(services);
    rig.prompter.answers = {true};
    rig.port.failWrite = true;
    commands.SendOperatingCommand(*FindOperatingCommand("dport6"));
    QCOMPARE(rig.prompter.of("info"), QStringList());
    QVERIFY(cycle.timer().isActive());
    QCOMPARE(cycle.PollState(), 1);

    rig.port.failWrite = false;
    rig.port.written.clear();
    rig.clock.advanceSecs(1);
    cycle.tick();
    QCOMPARE(rig.port.written, QStringList{"00040036001624\r\n"});
}

QTEST_GUILESS_MAIN(TestOperatingCommands)
#include "tst_operatingCommands.moc"
