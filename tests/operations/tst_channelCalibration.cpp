// Calibration of the ten analog channels: one engine driven by the channel table; the entry is read
// as the main window shows the reading (whole units, or tenths of a volt for the battery).
#include <QtTest>

#include "OperationsRig.h"
#include "monitor/PollCycle.h"
#include "operations/ChannelCalibration.h"

using namespace tarsyn;
using operations::CalibrationEntry;
using operations::ChannelCalibration;
using operations::FindCalibrationChannel;
using operations::ParseCalibrationEntry;

Q_DECLARE_METATYPE(CalibrationEntry::Kind)

class TestChannelCalibration : public QObject {
    Q_OBJECT
private slots:
    void sendsTheTrueValue_data();
    void sendsTheTrueValue();
    void entriesThatSendNothing_data();
    void entriesThatSendNothing();
    void batteryTakesTheLocaleSeparator_data();
    void batteryTakesTheLocaleSeparator();
    void parseReadsExactDecimals_data();
    void parseReadsExactDecimals();
    void inputBoxNamesTheChannel_data();
    void inputBoxNamesTheChannel();
    void refusedWithoutAsking_data();
    void refusedWithoutAsking();
    void serialErrorShowsDl7AndPollingResumes_data();
    void serialErrorShowsDl7AndPollingResumes();
    void nextPollTickSendsAfterASerialError();
    void echoDecides_data();
    void echoDecides();
};

void TestChannelCalibration::sendsTheTrueValue_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("frame");  // request text and check
    // 230 on every whole-number channel: the word's address follows the button.
    QTest::newRow("btn11 generator A 230") << 11 << "230"
                                           << "0007009A00E67B";
    QTest::newRow("btn12 generator B 230") << 12 << "230"
                                           << "0007009C00E67D";
    QTest::newRow("btn13 generator C 230") << 13 << "230"
                                           << "0007009E00E67F";
    QTest::newRow("btn14 current A 230") << 14 << "230"
                                         << "0007009400E675";
    QTest::newRow("btn15 current B 230") << 15 << "230"
                                         << "0007009600E677";
    QTest::newRow("btn16 current C 230") << 16 << "230"
                                         << "0007009800E679";
    QTest::newRow("btn18 mains A 230") << 18 << "230"
                                       << "000700A200E643";
    QTest::newRow("btn19 mains B 230") << 19 << "230"
                                       << "000700A400E645";
    QTest::newRow("btn20 mains C 230") << 20 << "230"
                                       << "000700A600E647";
    // The battery in volts with one decimal, sent in tenths.
    QTest::newRow("btn17 battery 24.5") << 17 << "24.5"
                                        << "000700A000F552";
    QTest::newRow("btn17 battery 24") << 17 << "24"
                                      << "000700A000F057";
    QTest::newRow("btn17 battery 23") << 17 << "23"
                                      << "000700A000E641";
    // Halves to even on the tenths: 244.5 goes down, 245.5 up.
    QTest::newRow("btn17 24.45 down to 244") << 17 << "24.45"
                                             << "000700A000F453";
    QTest::newRow("btn17 24.55 up to 246") << 17 << "24.55"
                                           << "000700A000F651";
    // Zero is sent; the edges of the 16-bit field fit.
    QTest::newRow("btn11 0") << 11 << "0"
                             << "0007009A00009D";
    QTest::newRow("btn11 65535") << 11 << "65535"
                                 << "0007009AFFFF9D";
    QTest::newRow("btn17 6553.5 V") << 17 << "6553.5"
                                    << "000700A0FFFFA7";
    QTest::newRow("btn17 6553.549 V") << 17 << "6553.549"
                                      << "000700A0FFFFA7";
    QTest::newRow("btn11 spaces around") << 11 << " 10 "
                                         << "0007009A000A97";
    QTest::newRow("btn11 plus sign") << 11 << "+10"
                                     << "0007009A000A97";
}

void TestChannelCalibration::sendsTheTrueValue() {
    QFETCH(int, button);
    QFETCH(QString, entry);
    QFETCH(QString, frame);
    test::OperationsRig rig;
    rig.port.onWrite = [&rig](const QString& written) {
        rig.busyAtWrite << rig.busy;
        rig.port.arrive(written);  // the controller echoes the word write
    };
    rig.prompter.inputs = {entry};
    ChannelCalibration calibration(rig.services(), QLocale::c());
    calibration.CalibrateChannel(*FindCalibrationChannel(button));
    QCOMPARE(rig.port.written, rig.frames({frame}));
    QCOMPARE(rig.prompter.shown.size(), 2);
    QVERIFY(rig.prompter.shown[0].startsWith("input:True value?|"));
    QCOMPARE(rig.prompter.shown[1], QStringLiteral("info:Calibrated"));
    QCOMPARE(rig.sleeper.sleeps, (QList<int>{300, 500}));
    QCOMPARE(rig.poll.stops, 1);
    QCOMPARE(rig.poll.resumes, 1);
    QVERIFY(rig.poll.running);
    QCOMPARE(rig.poll.pollState, 1);
    QCOMPARE(rig.busyLog, (QList<bool>{true, false}));
    QCOMPARE(rig.busyAtWrite, QList<bool>{true});
    // The journal hears the control, the value as entered and the request.
    QCOMPARE(rig.sentLog,
             QStringList{QStringLiteral("btn%1|%2|%3").arg(button).arg(entry.trimmed(), frame.left(12))});
}

void TestChannelCalibration::entriesThatSendNothing_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QStringList>("inputs");  // none: Cancel
    QTest::addColumn<QStringList>("after");   // the boxes after the input box
    const QStringList none;
    // The bad inputs of the calibration box: each refused with a message naming the channel and
    // the range (Cancel ends silently); nothing is ever sent.
    QTest::newRow("negative") << 11 << QStringList{"-1"}
                              << QStringList{"error:Generator voltage L1: not negative, 0 to 65535."};
    QTest::newRow("negative battery")
        << 17 << QStringList{"-0.5"} << QStringList{"error:Battery voltage: not negative, 0 to 6553.5."};
    QTest::newRow("Cancel") << 11 << none << none;
    const QString generator = "error:Generator voltage L1: enter a number from 0 to 65535.";
    QTest::newRow("empty") << 11 << QStringList{""} << QStringList{generator};
    QTest::newRow("blank") << 11 << QStringList{"   "} << QStringList{generator};
    QTest::newRow("abc") << 14 << QStringList{"abc"}
                         << QStringList{"error:Current L1: enter a number from 0 to 65535."};
    const QString battery = "error:Battery voltage: enter a number from 0 to 6553.5.";
    QTest::newRow("abc battery") << 17 << QStringList{"abc"} << QStringList{battery};
    QTest::newRow("decimal on a whole channel") << 11 << QStringList{"230.5"} << QStringList{generator};
    QTest::newRow("trailing text") << 11 << QStringList{"230V"} << QStringList{generator};
    QTest::newRow("hexadecimal") << 18 << QStringList{"0xE6"}
                                 << QStringList{"error:Mains voltage L1: enter a number from 0 to 65535."};
    QTest::newRow("two points") << 17 << QStringList{"24.5.1"} << QStringList{battery};
    QTest::newRow("sign only") << 17 << QStringList{"-"} << QStringList{battery};
    // Beyond the 16-bit field: refused with the limit, never sent as a fifth digit.
    QTest::newRow("65536") << 11 << QStringList{"65536"} << QStringList{"error:At most 65535"};
    QTest::newRow("100000") << 20 << QStringList{"100000"} << QStringList{"error:At most 65535"};
    QTest::newRow("huge") << 14 << QStringList{"99999999999999999999"} << QStringList{"error:At most 65535"};
    QTest::newRow("6553.6 V") << 17 << QStringList{"6553.6"} << QStringList{"error:At most 6553.5 V"};
    QTest::newRow("6553.55 V rounds to 65536")
        << 17 << QStringList{"6553.55"} << QStringList{"error:At most 6553.5 V"};
    QTest::newRow("1e9 V") << 17 << QStringList{"1e9"} << QStringList{"error:At most 6553.5 V"};
}

void TestChannelCalibration::entriesThatSendNothing() {
    QFETCH(int, button);
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, after);
    test::OperationsRig rig;
    rig.prompter.inputs = inputs;
    ChannelCalibration calibration(rig.services(), QLocale::c());
    calibration.CalibrateChannel(*FindCalibrationChannel(button));
    QVERIFY(rig.prompter.shown.value(0).startsWith("input:True value?|"));
    QCOMPARE(rig.prompter.shown.mid(1), after);
    QVERIFY(rig.port.written.isEmpty());
    QCOMPARE(rig.poll.stops, 0);  // polling was never paused
    QVERIFY(rig.poll.running);
    QVERIFY(rig.busyLog.isEmpty());
    QVERIFY(rig.sentLog.isEmpty());
}

void TestChannelCalibration::batteryTakesTheLocaleSeparator_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("German comma") << "de_DE"
                                  << "24,5" << QStringList{"000700A000F552\r\n"};
    QTest::newRow("German point") << "de_DE"
                                  << "24.5" << QStringList{"000700A000F552\r\n"};
    QTest::newRow("English comma is no number") << "en_US"
                                                << "24,5" << QStringList{};
}

void TestChannelCalibration::batteryTakesTheLocaleSeparator() {
    QFETCH(QString, locale);
    QFETCH(QString, entry);
    QFETCH(QStringList, written);
    test::OperationsRig rig;
    rig.prompter.inputs = {entry};
    ChannelCalibration calibration(rig.services(), QLocale(locale));
    calibration.CalibrateChannel(*FindCalibrationChannel(17));
    QCOMPARE(rig.port.written, written);
}

void TestChannelCalibration::parseReadsExactDecimals_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("tenths");
    QTest::addColumn<CalibrationEntry::Kind>("kind");
    QTest::addColumn<int>("value");
    using K = CalibrationEntry::Kind;
    // Decimal digits, not binary fractions: 0.15 and 2.675 are halves exactly.
    QTest::newRow("0.05 to 0") << "0.05" << true << K::Value << 0;
    QTest::newRow("0.15 to 2") << "0.15" << true << K::Value << 2;
    QTest::newRow("26.75 to 268") << "26.75" << true << K::Value << 268;
    QTest::newRow("26.65 to 266") << "26.65" << true << K::Value << 266;
    QTest::newRow("26.6500001 to 267") << "26.6500001" << true << K::Value << 267;
    QTest::newRow(".5 to 5") << ".5" << true << K::Value << 5;
    QTest::newRow("24. to 240") << "24." << true << K::Value << 240;
    QTest::newRow("2.45e1 to 245") << "2.45e1" << true << K::Value << 245;
    QTest::newRow("245E-1 to 245") << "245E-1" << true << K::Value << 245;
    QTest::newRow("-0.04 rounds to 0") << "-0.04" << true << K::Value << 0;
    QTest::newRow("-0.06 is negative") << "-0.06" << true << K::Negative << 0;
    QTest::newRow("-0 whole") << "-0" << false << K::Value << 0;
    QTest::newRow("leading zeros") << "000230" << false << K::Value << 230;
    QTest::newRow("-99999999999") << "-99999999999" << false << K::Negative << 0;
    QTest::newRow("1e99999999999") << "1e99999999999" << true << K::TooLarge << 0;
    QTest::newRow("1e-99999999999") << "1e-99999999999" << true << K::Value << 0;
    QTest::newRow("e5") << "e5" << true << K::NotANumber << 0;
    QTest::newRow("1e") << "1e" << true << K::NotANumber << 0;
}

void TestChannelCalibration::parseReadsExactDecimals() {
    QFETCH(QString, text);
    QFETCH(bool, tenths);
    QFETCH(CalibrationEntry::Kind, kind);
    QFETCH(int, value);
    const CalibrationEntry e = ParseCalibrationEntry(text, tenths, QLocale::c());
    QCOMPARE(e.kind, kind);
    QCOMPARE(int(e.value), value);
}

void TestChannelCalibration::inputBoxNamesTheChannel_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("input");  // the box as shown: caption|prompt
    QTest::newRow("btn11") << 11 << "True value?|Generator voltage L1 in V, 0 to 65535:";
    QTest::newRow("btn14") << 14 << "True value?|Current L1 in A, 0 to 65535:";
    QTest::newRow("btn17") << 17 << "True value?|Battery voltage in V, 0 to 6553.5:";
    // btn18 sits beside pnl34, labelled lbl34.
    QTest::newRow("btn18") << 18 << "True value?|Mains voltage L1 in V, 0 to 65535:";
    // A catalogue without the label's caption: the panel's name still says which reading.
    QTest::newRow("btn12, no caption") << 12 << "True value?|pnl12 in V, 0 to 65535:";
}

void TestChannelCalibration::inputBoxNamesTheChannel() {
    QFETCH(int, button);
    QFETCH(QString, input);
    test::OperationsRig rig;
    ChannelCalibration calibration(rig.services(), QLocale::c());
    calibration.CalibrateChannel(*FindCalibrationChannel(button));  // then Cancel
    QCOMPARE(rig.prompter.shown, QStringList{"input:" + input});
}

void TestChannelCalibration::refusedWithoutAsking_data() {
    QTest::addColumn<bool>("rotation");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QString>("shown");
    QTest::newRow("rotation, linked") << true << true << "info:Rotating";
    QTest::newRow("no link") << false << false << "info:No link";
}

void TestChannelCalibration::refusedWithoutAsking() {
    QFETCH(bool, rotation);
    QFETCH(bool, linked);
    QFETCH(QString, shown);
    for (const auto& channel : operations::kCalibrationChannels) {
        test::OperationsRig rig;
        rig.poll.rotation = rotation;
        rig.poll.isLinked = linked;
        rig.prompter.inputs = {"230"};
        ChannelCalibration calibration(rig.services(), QLocale::c());
        calibration.CalibrateChannel(channel);
        QCOMPARE(rig.prompter.shown, QStringList{shown});
        QVERIFY(rig.port.written.isEmpty());
        QCOMPARE(rig.poll.stops, 0);
    }
}

void TestChannelCalibration::serialErrorShowsDl7AndPollingResumes_data() {
    QTest::addColumn<bool>("writeFails");
    QTest::newRow("write fails") << true;
    QTest::newRow("read fails") << false;
}

void TestChannelCalibration::serialErrorShowsDl7AndPollingResumes() {
    QFETCH(bool, writeFails);
    test::OperationsRig rig;
    rig.port.failWrite = writeFails;
    rig.port.failRead = !writeFails;
    rig.prompter.inputs = {"230"};
    ChannelCalibration calibration(rig.services(), QLocale::c());
    calibration.CalibrateChannel(*FindCalibrationChannel(11));
    // Not the entry's fault: the message says the controller did not answer.
    QCOMPARE(rig.prompter.shown, (QStringList{"input:True value?|Generator voltage L1 in V, 0 to 65535:",
                                              "error:Generator voltage L1: the controller did not answer."}));
    QCOMPARE(rig.poll.stops, 1);
    QCOMPARE(rig.poll.resumes, 1);
    QVERIFY(rig.poll.running);
    QCOMPARE(rig.poll.pollState, 1);
    QCOMPARE(rig.busyLog, (QList<bool>{true, false}));
}

// The real poll cycle: after the failed calibration the timer runs and the next tick sends the
// delay block's request "000400360016" (check 24).
void TestChannelCalibration::nextPollTickSendsAfterASerialError() {
    test::OperationsRig rig;
    rig.settings.setPorts({{"COM1", "Set 1", ""}});
    test::NullView view;
    monitor::PollCycle cycle(rig.port, rig.sleeper, rig.clock, rig.settings, rig.messages, view);
    cycle.initialise(true);
    cycle.startTimer();
    cycle.tick();
    cycle.setConnectionIndicator(monitor::kLinkedImage);
    cycle.setPollState(4);
    monitor::CommandGate gate(cycle, rig.messages, rig.prompter);
    ChannelCalibration calibration({gate, cycle, rig.link, rig.messages, rig.prompter, {}}, QLocale::c());
    rig.port.failWrite = true;
    rig.prompter.inputs = {"230"};
    calibration.CalibrateChannel(*FindCalibrationChannel(11));
    QCOMPARE(rig.prompter.of("error"), QStringList{"pnl11: the controller did not answer."});
    QVERIFY(cycle.timer().isActive());
    QCOMPARE(cycle.PollState(), 1);

    rig.port.failWrite = false;
    rig.port.written.clear();
    rig.clock.advanceSecs(1);
    cycle.tick();
    QCOMPARE(rig.port.written, QStringList{"00040036001624\r\n"});
}

// The word write's reply is its echo: a good echo or none at all (an unacknowledged write) is "sent";
// an echo spoilt on the line leaves it unknown whether the controller took the value, and the message
// says it was the answer, not the entry, that failed.
void TestChannelCalibration::echoDecides_data() {
    QTest::addColumn<QString>("echo");
    QTest::addColumn<QString>("box");
    QTest::newRow("the echo") << "0007009A00E67B\r\n"
                              << "info:Calibrated";
    // The word went out; only its echo would have said the controller heard it.
    QTest::newRow("no answer") << ""
                               << "error:No answer: Generator voltage L1 sent, unconfirmed.";
    QTest::newRow("a digit changed") << "0007009A00E77B\r\n"
                                     << "error:Generator voltage L1: the controller did not answer.";
    QTest::newRow("noise before it") << "3F0007009A00E67B\r\n"
                                     << "error:Generator voltage L1: the controller did not answer.";
    QTest::newRow("a block reply instead") << "0004020C0A00\r\n"
                                           << "error:Generator voltage L1: the controller did not answer.";
    QTest::newRow("cut") << "0007009A"
                         << "error:Generator voltage L1: the controller did not answer.";
}

void TestChannelCalibration::echoDecides() {
    QFETCH(QString, echo);
    QFETCH(QString, box);
    test::OperationsRig rig;
    rig.port.onWrite = [&](const QString&) { rig.port.arrive(echo); };
    rig.prompter.inputs = {"230"};
    ChannelCalibration calibration(rig.services(), QLocale::c());
    calibration.CalibrateChannel(*FindCalibrationChannel(11));
    QCOMPARE(rig.prompter.shown,
             (QStringList{"input:True value?|Generator voltage L1 in V, 0 to 65535:", box}));
    QVERIFY(rig.poll.running);
    QCOMPARE(rig.poll.pollState, 1);
}

QTEST_GUILESS_MAIN(TestChannelCalibration)
#include "tst_channelCalibration.moc"
