// The virtual controller's calibration words: writing a channel's true value moves its next reading
// there, and the factory settings undo it.
#include <QtTest>

#include "ControllerMemory.h"
#include "EngineModel.h"
#include "FakeClock.h"
#include "RequestHandler.h"
#include "link/Codec.h"

using namespace tarsyn;
using namespace tarsyn::sim;

namespace {

/// A factory-fresh controller with the engine running and steady readings, on a fake clock.
struct SteadySet {
    test::FakeClock clock;
    ControllerMemory memory;
    EngineModel engine{memory, clock, 3};
    RequestHandler handler{memory, engine};

    explicit SteadySet(bool running = true) {
        memory.loadFactoryImage();
        engine.setSteady(true);
        if (running) engine.startRunning();
        engine.refresh();
    }
    bool write(const QString& text) {
        QByteArray line = link::BuildFrame(text).toLatin1();
        line.chop(2);
        return handler.handle(line).answered;
    }
    /// The live block as the poll cycle reads it, one word at `address`.
    int liveWord(int address) {
        QByteArray line = link::BuildFrame(QStringLiteral("000400060030")).toLatin1();
        line.chop(2);
        const QString reply = QString::fromLatin1(handler.handle(line).text);
        return int(link::HexField(reply, 7 + 2 * (address - 0x0006), 4));
    }
};

}  // namespace

class TestSimCalibration : public QObject {
    Q_OBJECT
private slots:
    void nextReadingIsTheTrueValue_data();
    void nextReadingIsTheTrueValue();
    void steadyReadingsHoldStill();
    void aChannelReadingNothingKeepsReadingNothing();
    void factorySettingsUndoTheCalibration();
};

void TestSimCalibration::nextReadingIsTheTrueValue_data() {
    QTest::addColumn<QString>("word");  // the calibration word's address
    QTest::addColumn<int>("live");      // where the channel sits in the live block
    QTest::addColumn<int>("value");
    QTest::newRow("generator A") << "009A" << 0x0024 << 230;
    QTest::newRow("generator B") << "009C" << 0x0026 << 236;
    QTest::newRow("generator C") << "009E" << 0x0028 << 221;
    QTest::newRow("current A") << "0094" << 0x001E << 100;
    QTest::newRow("current B") << "0096" << 0x0020 << 150;
    QTest::newRow("current C") << "0098" << 0x0022 << 131;
    QTest::newRow("battery 24.5 V") << "00A0" << 0x0030 << 245;
    QTest::newRow("mains A") << "00A2" << 0x0006 << 240;
    QTest::newRow("mains B") << "00A4" << 0x0008 << 219;
    QTest::newRow("mains C") << "00A6" << 0x000A << 400;
}

void TestSimCalibration::nextReadingIsTheTrueValue() {
    QFETCH(QString, word);
    QFETCH(int, live);
    QFETCH(int, value);
    SteadySet set;
    const int otherAddress = live == 0x0024 ? 0x0026 : 0x0024;
    const int other = set.liveWord(otherAddress);
    QVERIFY(set.liveWord(live) != value);
    QVERIFY(set.write(QStringLiteral("0007") + word + link::ToHex(quint32(value), 4)));
    QCOMPARE(set.liveWord(live), value);
    QCOMPARE(set.liveWord(otherAddress), other);  // the other channels keep their scale
    set.clock.advanceSecs(5);
    QCOMPARE(set.liveWord(live), value);  // and it stays there while nothing changes
}

void TestSimCalibration::steadyReadingsHoldStill() {
    SteadySet set;
    const int generatorA = set.liveWord(0x0024);
    const int mainsA = set.liveWord(0x0006);
    for (int s = 0; s < 10; ++s) {
        set.clock.advanceSecs(1);
        QCOMPARE(set.liveWord(0x0024), generatorA);
        QCOMPARE(set.liveWord(0x0006), mainsA);
    }
}

void TestSimCalibration::aChannelReadingNothingKeepsReadingNothing() {
    SteadySet set(false);  // stopped: the generator gives no voltage
    QCOMPARE(set.liveWord(0x0024), 0);
    QVERIFY(set.write(QStringLiteral("0007009A00E6")));
    QCOMPARE(set.liveWord(0x0024), 0);
    QCOMPARE(int(set.memory.word(0x009A)), 230);  // the word itself is stored
}

void TestSimCalibration::factorySettingsUndoTheCalibration() {
    SteadySet set;
    const int before = set.liveWord(0x0024);
    QVERIFY(set.write(QStringLiteral("0007009A00F0")));
    QCOMPARE(set.liveWord(0x0024), 240);
    QVERIFY(set.write(QStringLiteral("0005100800FF")));
    QCOMPARE(set.liveWord(0x0024), before);
}

QTEST_GUILESS_MAIN(TestSimCalibration)
#include "tst_simCalibration.moc"
