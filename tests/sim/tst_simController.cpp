// The virtual controller without a pseudo-terminal: memory map, requests and engine model.

#include <QtTest>

#include "ControllerMemory.h"
#include "EngineModel.h"
#include "FakeClock.h"
#include "ReplyShaper.h"
#include "RequestHandler.h"
#include "link/Codec.h"

using namespace tarsyn;
using namespace tarsyn::sim;
using link::HexField;

namespace {

/// A factory-fresh controller on a fake clock, spoken to in request texts without check.
struct Controller {
    test::FakeClock clock;
    ControllerMemory memory;
    EngineModel engine{memory, clock, 7};
    RequestHandler handler{memory, engine};

    Controller() { memory.loadFactoryImage(); }

    /// The reply to `text` framed with its check, or a null string when the controller is silent.
    QString ask(const QString& text) {
        QByteArray line = link::BuildFrame(text).toLatin1();
        line.chop(2);
        const Reply r = handler.handle(line);
        return r.answered ? QString::fromLatin1(r.text) : QString();
    }
    quint32 read(int address, int width) {
        const int bytes = (width + 1) / 2;
        const QString reply = ask(
            QStringLiteral("0004%1%2").arg(link::ToHex(quint32(address), 4), link::ToHex(quint32(bytes), 4)));
        return HexField(reply, 7, width);
    }
    int liveByte(int address) { return int(read(address, 2)); }
    int liveWord(int address) { return int(read(address, 4)); }
    void runFor(int ms) {
        clock.advanceMs(ms);
        engine.refresh();
    }
};

}  // namespace

class TestSimController : public QObject {
    Q_OBJECT
private slots:
    void blockReadIsAWellFormedReply_data();
    void blockReadIsAWellFormedReply();
    void blockFieldsHoldFactoryValues_data();
    void blockFieldsHoldFactoryValues();
    void smsBlockHoldsStationAndPhones();
    void alarmLogRecordsReadAsDateDigits();
    void wordWriteIsEchoedAndReadBack();
    void singleWriteStoresLowByte();
    void delaySettingsShowInTheActiveBlock();
    void malformedRequestsGetNoAnswer_data();
    void malformedRequestsGetNoAnswer();
    void commandsSetStateBits_data();
    void commandsSetStateBits();
    void startRunsTheEngineUpAndStopStopsIt();
    void runningHoursGrowWhileRunning();
    void alarmShowsRedStopsEngineAndIsLogged();
    void factorySettingsUndoWrites();
    void calibrationMakesReadingTrueValue();
    void sameSeedAndClockGiveSameReadings();
    void lineBufferSplitsLines_data();
    void lineBufferSplitsLines();
    void replyShaperFaults();
    void replyShaperDataFaults();
};

void TestSimController::blockReadIsAWellFormedReply_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("count");
    const struct {
        const char* request;
        int count;
    } reads[] = {
        {"000400060030", 48}, {"000400360016", 22}, {"0004001A0004", 4},  {"0004004C000A", 10},
        {"00040056000C", 12}, {"000401800020", 32}, {"000401A00020", 32}, {"000401C00020", 32},
        {"00040076000D", 13}, {"000400800002", 2},  {"000400620026", 38}, {"00040150002E", 46},
        {"00040200002C", 44}, {"00040256002A", 42}, {"000403FF0001", 1},  {"0004000000FF", 255},
    };
    for (const auto& r : reads) QTest::newRow(r.request) << QString::fromLatin1(r.request) << r.count;
}

void TestSimController::blockReadIsAWellFormedReply() {
    QFETCH(QString, request);
    QFETCH(int, count);
    Controller c;
    const QString reply = c.ask(request);
    QCOMPARE(reply.size(), 2 * count + 10);
    QCOMPARE(reply.left(6), QStringLiteral("0004") + link::ToHex(quint32(count), 2));
    QVERIFY(reply.endsWith(QStringLiteral("\r\n")));
    const QString body = reply.left(6 + 2 * count);
    // The reply's check is the XOR over the text before it, as for requests.
    QCOMPARE(int(HexField(reply, 7 + 2 * count, 2)), link::XorCheck(body));
    for (QChar ch : body) QVERIFY2(QStringLiteral("0123456789ABCDEF").contains(ch), qPrintable(reply));
}

void TestSimController::blockFieldsHoldFactoryValues_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    auto row = [](const char* name, const char* req, int pos, int width, int low, int high) {
        QTest::newRow(name) << QString::fromLatin1(req) << pos << width << low << high;
    };
    // Live block of a stopped set in automatic mode on healthy mains.
    row("mains A", "000400060030", 7, 4, 226, 234);
    row("mains C", "000400060030", 15, 4, 226, 234);
    row("mains Hz", "000400060030", 19, 4, 499, 501);
    row("unused 0x000E", "000400060030", 23, 4, 0, 0);
    row("running hours", "000400060030", 39, 6, 123456, 123456);
    row("power factor stopped", "000400060030", 45, 2, 0, 0);
    row("alarm bits", "000400060030", 47, 2, 0, 0);
    row("state bits: automatic", "000400060030", 49, 2, 0x02, 0x02);
    row("output bits: mains breaker", "000400060030", 53, 2, 0x08, 0x08);
    row("generator volts stopped", "000400060030", 67, 4, 0, 0);
    row("water temperature", "000400060030", 79, 4, 24, 26);
    row("battery", "000400060030", 91, 4, 239, 245);
    row("speed stopped", "000400060030", 99, 4, 0, 0);
    // Delays in force and the delay settings.
    row("cool-down in force", "000400360016", 7, 2, 60, 60);
    row("speed-down in force", "000400360016", 49, 2, 5, 5);
    row("cool-down setting", "0004004C000A", 7, 2, 60, 60);
    row("speed-up setting", "0004004C000A", 25, 2, 5, 5);
    row("low oil delay", "00040056000C", 7, 2, 2, 2);
    row("speed-down setting", "00040056000C", 29, 2, 5, 5);
    // Sensor curves: point 1 and point 8 of each.
    row("water curve p1 volts", "000401800020", 7, 4, 50, 50);
    row("water curve p1 value", "000401800020", 11, 4, 120, 120);
    row("water curve p8 value", "000401800020", 67, 4, 10, 10);
    row("oil curve p8 volts", "000401A00020", 63, 4, 400, 400);
    row("monitor curve p2 value", "000401C00020", 19, 4, 15, 15);
    // System parameters, control bits and alarm limits.
    row("trip speed", "00040076000D", 7, 4, 1800, 1800);
    row("device address", "00040076000D", 11, 2, 1, 1);
    row("CT ratio", "00040076000D", 15, 4, 200, 200);
    row("flywheel teeth", "00040076000D", 19, 2, 118, 118);
    row("measurement setting", "00040076000D", 31, 2, 1, 1);
    row("control byte 0x0080", "000400800002", 7, 2, 0x0C, 0x0C);
    row("control byte 0x0081", "000400800002", 9, 2, 0x0A, 0x0A);
    row("voltage upper limit", "000400620026", 7, 4, 264, 264);
    row("speed upper limit", "000400620026", 43, 4, 1725, 1725);
    row("speed-up upper limit", "000400620026", 75, 4, 1530, 1530);
    row("speed-down lower limit", "000400620026", 79, 4, 1470, 1470);
    // Calibration references.
    row("calibration generator A", "000400940014", 19, 4, 230, 230);
    row("calibration battery", "000400940014", 31, 4, 240, 240);
    // Alarm log: count, first and last record.
    row("alarm count", "00040200002C", 7, 2, 13, 13);
    row("record 1 code", "00040200002C", 11, 2, 0x01, 0x01);
    row("record 1 year", "00040200002C", 13, 2, 0x09, 0x09);
}

void TestSimController::blockFieldsHoldFactoryValues() {
    QFETCH(QString, request);
    QFETCH(int, position);
    QFETCH(int, width);
    QFETCH(int, low);
    QFETCH(int, high);
    Controller c;
    const QString reply = c.ask(request);
    QVERIFY2(!reply.isEmpty(), "no answer");
    const int v = int(HexField(reply, position, width));
    QVERIFY2(v >= low && v <= high, qPrintable(QStringLiteral("%1 not in %2..%3").arg(v).arg(low).arg(high)));
}

void TestSimController::smsBlockHoldsStationAndPhones() {
    Controller c;
    const QString reply = c.ask(QStringLiteral("00040150002E"));
    QCOMPARE(reply.size(), 102);
    // The station name's bytes, zero-filled to 16; phones as digits with F fill.
    QCOMPARE(QByteArray::fromHex(reply.mid(6, 32).toLatin1()),
             QByteArray("GENSET-01").leftJustified(16, '\0'));
    QCOMPARE(reply.mid(38, 12), QStringLiteral("13800138000F"));
    QCOMPARE(reply.mid(50, 12), QStringLiteral("13912345678F"));
    QCOMPARE(reply.mid(62, 12), QStringLiteral("FFFFFFFFFFFF"));
    QCOMPARE(reply.mid(86, 12), QStringLiteral("FFFFFFFFFFFF"));
}

void TestSimController::alarmLogRecordsReadAsDateDigits() {
    Controller c;
    // Page 1 of the log: records 1-6 after the count; the fifth is 2009-12-31 23:59:58, code 05.
    const QString first = c.ask(QStringLiteral("00040200002C"));
    QCOMPARE(first.mid(10 + 14 * 4, 14), QStringLiteral("05091231235958"));
    // The last page of 13 records starts at 0x0202 + 84 = 0x0256 and holds record 13 only.
    const QString last = c.ask(QStringLiteral("00040256002A"));
    QCOMPARE(last.left(6), QStringLiteral("00042A"));
    QCOMPARE(last.mid(6, 14), QStringLiteral("01101224201530"));
    QCOMPARE(last.mid(20, 14), QStringLiteral("00000000000000"));
}

void TestSimController::wordWriteIsEchoedAndReadBack() {
    Controller c;
    const QString frame = link::BuildFrame(QStringLiteral("0007004C1E05"));
    QCOMPARE(c.ask(QStringLiteral("0007004C1E05")), frame);
    QCOMPARE(c.read(0x004C, 4), quint32(0x1E05));
    // Words two bytes apart do not overlap.
    QCOMPARE(c.ask(QStringLiteral("0007004E0102")), link::BuildFrame(QStringLiteral("0007004E0102")));
    QCOMPARE(c.read(0x004C, 8), quint32(0x1E050102));
    // The last word of the memory is writable.
    QVERIFY(!c.ask(QStringLiteral("000703FEBEEF")).isEmpty());
    QCOMPARE(c.read(0x03FE, 4), quint32(0xBEEF));
}

void TestSimController::singleWriteStoresLowByte() {
    Controller c;
    QCOMPARE(c.ask(QStringLiteral("000600820005")), link::BuildFrame(QStringLiteral("000600820005")));
    QCOMPARE(c.read(0x0082, 2), quint32(0x05));
    QCOMPARE(c.read(0x0083, 2), quint32(0x00));  // its neighbour is untouched
    // A wider value keeps only its low byte.
    QVERIFY(!c.ask(QStringLiteral("0006008201A7")).isEmpty());
    QCOMPARE(c.read(0x0082, 2), quint32(0xA7));
    QVERIFY(!c.ask(QStringLiteral("000600820012345")).isEmpty());
    QCOMPARE(c.read(0x0082, 2), quint32(0x45));
    QCOMPARE(c.read(0x0080, 4), quint32(0x0C0A));  // the control bits before it are untouched
}

void TestSimController::delaySettingsShowInTheActiveBlock() {
    Controller c;
    c.ask(QStringLiteral("000700601E05"));  // warm-up 30, speed-down 5
    QCOMPARE(c.read(0x004A, 4), quint32(0x1E05));
}

void TestSimController::malformedRequestsGetNoAnswer_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("reasonPart");
    QTest::newRow("wrong check") << QByteArray("00040006003033") << "check";
    QTest::newRow("no check") << QByteArray("000400060030") << "length";
    QTest::newRow("too short") << QByteArray("0004000632") << "length";
    QTest::newRow("read one digit long")
        << link::BuildFrame("0004000600301").toLatin1().chopped(2) << "length";
    QTest::newRow("write too short") << link::BuildFrame("0007004C1E").toLatin1().chopped(2) << "length";
    QTest::newRow("single write value too short")
        << link::BuildFrame("00060082001").toLatin1().chopped(2) << "length";
    QTest::newRow("lower-case digit") << QByteArray("00040006003a3a") << "hexadecimal";
    QTest::newRow("not hexadecimal") << QByteArray("0004000G003032") << "position 8";
    QTest::newRow("space inside") << QByteArray("0004 000600302") << "position 5";
    QTest::newRow("other station") << link::BuildFrame("010400060030").toLatin1().chopped(2) << "station";
    QTest::newRow("unknown function")
        << link::BuildFrame("000300060030").toLatin1().chopped(2) << "function 03";
    // Reads go on into the alarm log's 255 records (pages end at 0x0910); writes stop at 1024.
    QTest::newRow("read beyond the alarm log")
        << link::BuildFrame("000409000020").toLatin1().chopped(2) << "beyond";
    QTest::newRow("read count 0") << link::BuildFrame("000400060000").toLatin1().chopped(2) << "count";
    QTest::newRow("read count 256") << link::BuildFrame("000400000100").toLatin1().chopped(2) << "count";
    QTest::newRow("word write at the last byte")
        << link::BuildFrame("000703FF1234").toLatin1().chopped(2) << "beyond";
    QTest::newRow("single write beyond")
        << link::BuildFrame("000604000001").toLatin1().chopped(2) << "beyond";
    QTest::newRow("unknown command") << link::BuildFrame("0005100500FF").toLatin1().chopped(2)
                                     << "command 1005";
    QTest::newRow("command data") << link::BuildFrame("000510010000").toLatin1().chopped(2) << "00FF";
}

void TestSimController::malformedRequestsGetNoAnswer() {
    QFETCH(QByteArray, line);
    QFETCH(QString, reasonPart);
    Controller c;
    const QByteArray before = c.memory.bytes(0x0036, 1024 - 0x0036);
    const Reply r = c.handler.handle(line);
    QVERIFY(!r.answered);
    QVERIFY(r.text.isEmpty());
    QVERIFY2(r.reason.contains(reasonPart), qPrintable(r.reason));
    QCOMPARE(c.memory.bytes(0x0036, 1024 - 0x0036), before);  // nothing was stored
    QCOMPARE(c.engine.phase(), EngineModel::Phase::Stopped);
}

void TestSimController::commandsSetStateBits_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("stateBits");   // 0x001B right after the command
    QTest::addColumn<int>("outputBits");  // 0x001D right after the command
    // State bits: 0 reset, 1 automatic, 2 starting, 4 supplying, 5 test.
    // Output bits: 7 crank, 6 fuel, 4 pre-supply, 3 mains breaker.
    QTest::newRow("1000 automatic") << "1000" << 0x02 << 0x08;
    QTest::newRow("1001 start") << "1001" << 0x04 << 0xD8;
    QTest::newRow("1002 reset/stop") << "1002" << 0x01 << 0x08;
    QTest::newRow("1003 test") << "1003" << 0x26 << 0xD8;
    QTest::newRow("1008 factory") << "1008" << 0x02 << 0x08;
}

void TestSimController::commandsSetStateBits() {
    QFETCH(QString, code);
    QFETCH(int, stateBits);
    QFETCH(int, outputBits);
    Controller c;
    const QString request = QStringLiteral("0005") + code + QStringLiteral("00FF");
    QCOMPARE(c.ask(request), link::BuildFrame(request));  // commands are answered with an echo
    QCOMPARE(c.liveByte(0x001B), stateBits);
    QCOMPARE(c.liveByte(0x001D), outputBits);
}

void TestSimController::startRunsTheEngineUpAndStopStopsIt() {
    Controller c;
    c.ask(QStringLiteral("0005100100FF"));
    c.runFor(2500);  // cranked, running up
    const int midRpm = c.liveWord(0x0034);
    QVERIFY2(midRpm > 300 && midRpm < 1400, qPrintable(QString::number(midRpm)));
    QCOMPARE(c.liveByte(0x001B) & 0x04, 0x04);  // still starting
    QCOMPARE(c.liveByte(0x001D) & 0x02, 0x02);  // speed-up output

    c.runFor(3000);  // run-up and warm-up done
    QVERIFY(qAbs(c.liveWord(0x0034) - 1500) <= 3);
    QVERIFY(qAbs(c.liveWord(0x0032) - 500) <= 1);  // 50.0 Hz
    for (int a : {0x0024, 0x0026, 0x0028}) QVERIFY(qAbs(c.liveWord(a) - 230) <= 3);
    QVERIFY(c.liveWord(0x001E) > 100);              // the load draws current
    QVERIFY(qAbs(c.liveByte(0x0019) - 0x55) <= 1);  // power factor 0.85
    QVERIFY(c.liveWord(0x0014) > 500);              // tenths of a kW
    QVERIFY(c.liveWord(0x002C) > 300);              // oil pressure
    QCOMPARE(c.liveByte(0x001B), 0x10);             // supplying
    QCOMPARE(c.liveByte(0x001D), 0x44);             // fuel and generator breaker, mains breaker open

    c.ask(QStringLiteral("0005100200FF"));
    QCOMPARE(c.liveByte(0x001B), 0x01);
    QCOMPARE(c.liveByte(0x001D) & 0x0C, 0x08);  // back on the mains at once
    c.runFor(3500);
    QCOMPARE(c.liveWord(0x0034), 0);
    QCOMPARE(c.liveWord(0x0032), 0);
    QCOMPARE(c.liveWord(0x0024), 0);
    QCOMPARE(c.liveWord(0x001E), 0);
    QCOMPARE(c.liveByte(0x001D), 0x08);
}

void TestSimController::runningHoursGrowWhileRunning() {
    Controller c;
    const quint32 before = c.read(0x0016, 6);
    c.runFor(3600 * 1000);  // an hour stopped adds nothing
    QCOMPARE(c.read(0x0016, 6), before);
    c.ask(QStringLiteral("0005100100FF"));
    c.runFor(3600 * 1000);
    QCOMPARE(c.read(0x0016, 6), before + 10);  // tenths of an hour
    QVERIFY(c.liveWord(0x002A) > 70);          // and the water is hot by now
}

void TestSimController::alarmShowsRedStopsEngineAndIsLogged() {
    Controller c;
    c.ask(QStringLiteral("0005100100FF"));
    c.runFor(6000);
    c.clock.set(QDateTime(QDate(2026, 3, 1), QTime(12, 34, 56)));
    c.engine.setAlarm(true, true);
    c.runFor(0);
    QCOMPARE(c.liveByte(0x001A), 0x81);         // emergency stop and voltage/frequency fault: red
    QCOMPARE(c.liveByte(0x001C), 0x80);         // the emergency stop input
    QCOMPARE(c.liveByte(0x001D) & 0x24, 0x20);  // fault output, generator breaker open
    QCOMPARE(c.read(0x0200, 2), quint32(14));
    const QString log = c.ask(QStringLiteral("00040256002A"));
    QCOMPARE(log.mid(20, 14), QStringLiteral("08260301123456"));
    c.runFor(3500);
    QCOMPARE(c.liveWord(0x0034), 0);
    c.ask(QStringLiteral("0005100100FF"));  // a start is refused while the button is held
    c.runFor(2000);
    QCOMPARE(c.liveWord(0x0034), 0);
    c.engine.setAlarm(false, false);
    c.runFor(0);
    QCOMPARE(c.liveByte(0x001A), 0);
}

void TestSimController::factorySettingsUndoWrites() {
    Controller c;
    const QByteArray factory = c.memory.bytes(0x004C, 0x01E0 - 0x004C);
    c.ask(QStringLiteral("0007004C1E05"));
    c.ask(QStringLiteral("000700620100"));
    c.ask(QStringLiteral("000600820009"));
    c.ask(QStringLiteral("000700800101"));
    c.ask(QStringLiteral("000701504142"));
    c.ask(QStringLiteral("0007018000FA"));
    c.ask(QStringLiteral("000700A000F5"));
    QVERIFY(c.memory.bytes(0x004C, 0x01E0 - 0x004C) != factory);
    QVERIFY(!c.ask(QStringLiteral("0005100800FF")).isEmpty());
    QCOMPARE(c.memory.bytes(0x004C, 0x01E0 - 0x004C), factory);
    QCOMPARE(c.read(0x0036, 2), quint32(60));  // the delays in force follow
    QCOMPARE(c.read(0x0200, 2), quint32(13));  // the alarm log is not configuration
}

void TestSimController::calibrationMakesReadingTrueValue() {
    Controller c;
    c.engine.startRunning();
    c.runFor(0);
    QVERIFY(qAbs(c.liveWord(0x0024) - 230) <= 2);
    c.ask(QStringLiteral("0007009A00F0"));  // generator A is truly 240 V
    QCOMPARE(c.read(0x009A, 4), quint32(240));
    for (int s = 0; s < 5; ++s) {
        c.runFor(1000);
        QVERIFY2(qAbs(c.liveWord(0x0024) - 240) <= 3, qPrintable(QString::number(c.liveWord(0x0024))));
    }
    c.ask(QStringLiteral("000700A000FA"));  // battery truly 25.0 V
    QVERIFY(qAbs(c.liveWord(0x0030) - 250) <= 2);
    QVERIFY(qAbs(c.liveWord(0x0026) - 230) <= 3);  // other channels keep their scale
}

void TestSimController::sameSeedAndClockGiveSameReadings() {
    Controller a, b;
    for (Controller* c : {&a, &b}) {
        c->ask(QStringLiteral("0005100100FF"));
        c->runFor(7300);
    }
    QCOMPARE(a.ask(QStringLiteral("000400060030")), b.ask(QStringLiteral("000400060030")));
    // Readings move from one second to the next.
    QSet<QString> seen;
    for (int s = 0; s < 5; ++s) {
        a.runFor(1000);
        seen << a.ask(QStringLiteral("000400060030"));
    }
    QVERIFY(seen.size() > 1);
}

void TestSimController::lineBufferSplitsLines_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("lines");
    using L = QList<QByteArray>;
    QTest::newRow("CR LF") << L{"00040006003032\r\n"} << L{"00040006003032"};
    QTest::newRow("LF only") << L{"AB\nCD\n"} << L{"AB", "CD"};
    QTest::newRow("split across reads") << L{"0004", "0006003032\r", "\n"} << L{"00040006003032"};
    QTest::newRow("no end yet") << L{"000400060030"} << L{};
    QTest::newRow("empty lines skipped") << L{"\r\n\nAB\r\n"} << L{"AB"};
    QTest::newRow("runaway noise dropped to its LF") << L{QByteArray(300, 'X'), "YY\nAB\n"} << L{"AB"};
}

void TestSimController::lineBufferSplitsLines() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, lines);
    LineBuffer buffer;
    QList<QByteArray> got;
    for (const QByteArray& chunk : chunks) got += buffer.feed(chunk);
    QCOMPARE(got, lines);
}

void TestSimController::replyShaperFaults() {
    const QByteArray reply = "0004020C0A0C\r\n";
    QCOMPARE(ReplyShaper(FaultOptions{}, 1).shape(reply), reply);
    FaultOptions silent;
    silent.noAnswer = true;
    QVERIFY(ReplyShaper(silent, 1).shape(reply).isEmpty());
    FaultOptions cut;
    cut.shortLength = 5;
    QCOMPARE(ReplyShaper(cut, 1).shape(reply), QByteArray("00040"));
    FaultOptions noisy;
    noisy.garbage = true;
    ReplyShaper shaper(noisy, 3);
    for (int i = 0; i < 20; ++i) {
        const QByteArray out = shaper.shape(reply);
        QVERIFY(out.endsWith(reply));
        const QByteArray noise = out.left(out.size() - reply.size());
        QVERIFY(noise.size() >= 1 && noise.size() <= 4);
        for (char ch : noise) QVERIFY2(!isxdigit(uchar(ch)), noise.constData());
    }
}

// The faults that look like data: hexadecimal noise, one changed digit, another block, an unasked
// frame, a reply held back and joined to the next.
void TestSimController::replyShaperDataFaults() {
    const QByteArray reply = "0004020C0A00\r\n";
    FaultOptions f;
    f.noise = 3;
    ReplyShaper noisy(f, 2);
    const QByteArray out = noisy.shape(reply);
    QCOMPARE(out.size(), reply.size() + 3);
    QVERIFY(out.endsWith(reply));
    for (char ch : out.left(3)) QVERIFY(isxdigit(uchar(ch)));

    f = FaultOptions{};
    f.changedDigit = true;
    ReplyShaper digit(f, 4);
    for (int i = 0; i < 30; ++i) {
        const QByteArray changed = digit.shape(reply);
        QCOMPARE(changed.size(), reply.size());
        QVERIFY(changed.endsWith("\r\n"));
        int differ = 0;
        for (int k = 0; k < reply.size(); ++k) differ += changed.at(k) != reply.at(k);
        QCOMPARE(differ, 1);
    }

    f = FaultOptions{};
    f.otherBlock = true;
    ReplyShaper other(f, 1);
    QCOMPARE(other.redirect("00040006003032"), QByteArray("00040036001624"));  // live -> delays
    QCOMPARE(other.redirect("00040036001624"), QByteArray("00040006003032"));  // delays -> live
    QCOMPARE(other.redirect("00040080000286"), QByteArray("00040036001624"));
    QCOMPARE(other.redirect("0005100000FFEA"), QByteArray("0005100000FFEA"));  // commands as they are

    f = FaultOptions{};
    f.unasked = true;
    QCOMPARE(ReplyShaper(f, 1).shape(reply), QByteArray("0004010104\r\n") + reply);

    f = FaultOptions{};
    f.lateJoined = true;
    ReplyShaper late(f, 1);
    QVERIFY(late.shape("A\r\n").isEmpty());
    QCOMPARE(late.shape("B\r\n"), QByteArray("A\r\nB\r\n"));
    QVERIFY(late.shape("C\r\n").isEmpty());
    late.setFaults(FaultOptions{});  // switched off: the held reply is dropped, the rest on time
    QCOMPARE(late.shape("D\r\n"), QByteArray("D\r\n"));
}

QTEST_GUILESS_MAIN(TestSimController)
#include "tst_simController.moc"
