// Typed readings: each field of the live and delay blocks decoded once, with its scaling, and a reply
// cut or spoilt part-way represented exactly. Expected numbers are the block layout's worked examples.
#include <QtTest>

#include "history/HistoryColumns.h"
#include "link/LinkError.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveReading.h"

using namespace tarsyn;
using monitor::LiveReading;
using monitor::Quantity;

namespace {

// A whole live reply, 104 characters before CR LF; data byte k sits at 7 + 2k:
//   7 mains A 00DC, 11 mains B 00DD, 15 mains C 00DE, 19 mains Hz 01F4, 23 unused 0000,
//   27 water 2 0050, 31 oil pressure 2 012C, 35 power 03E8, 39 running time 000457, 45 power factor 55,
//   47 alarms 81, 49 states 12, 51 inputs 01, 53 outputs 88, 55-63 currents 0064 0065 0066,
//   67-75 generator volts 00E6 00E7 00E8, 79 water 0052, 83 oil pressure 015E, 87 oil level 0030,
//   91 battery 0109, 95 generator Hz 01F5, 99 engine speed 05DC, 103 check 02.
const QString kLive = QStringLiteral(
    "00043000DC00DD00DE01F400000050012C03E8000457558112018800640065006600E600E700E80052015E0030010901F505DC"
    "02\r\n");

QString patched(QString reply, int position, const QString& text) {
    reply.replace(position - 1, text.size(), text);
    return reply;
}

}  // namespace

class TestLiveReading : public QObject {
    Q_OBJECT
private slots:
    void everyValueOfAKnownReply_data() {
        QTest::addColumn<int>("quantity");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("unit");
        const struct {
            Quantity q;
            double value;
            const char* unit;
        } rows[] = {
            {Quantity::MainsVoltageA, 220, "V"},     {Quantity::MainsVoltageB, 221, "V"},
            {Quantity::MainsVoltageC, 222, "V"},     {Quantity::MainsFrequency, 50.0, "Hz"},
            {Quantity::WaterTemperature2, 80, "C"},  {Quantity::OilPressure2, 300, "kPa"},
            {Quantity::Power, 100.0, "kW"},          {Quantity::RunningTime, 111.1, "h"},
            {Quantity::PowerFactor, 0.85, ""},       {Quantity::CurrentA, 100, "A"},
            {Quantity::CurrentB, 101, "A"},          {Quantity::CurrentC, 102, "A"},
            {Quantity::GeneratorVoltageA, 230, "V"}, {Quantity::GeneratorVoltageB, 231, "V"},
            {Quantity::GeneratorVoltageC, 232, "V"}, {Quantity::WaterTemperature, 82, "C"},
            {Quantity::OilPressure, 350, "kPa"},     {Quantity::OilLevel, 48, ""},
            {Quantity::BatteryVoltage, 26.5, "V"},   {Quantity::GeneratorFrequency, 50.1, "Hz"},
            {Quantity::EngineSpeed, 1500, "rpm"},
        };
        for (const auto& r : rows)
            QTest::addRow("%s", monitor::LiveValueFields()[size_t(r.q)].quantity)
                << int(r.q) << r.value << QString::fromLatin1(r.unit);
    }
    void everyValueOfAKnownReply() {
        QFETCH(int, quantity);
        QFETCH(double, value);
        const LiveReading reading = monitor::LiveReadingOf(kLive);
        QVERIFY(reading.liveComplete());
        const monitor::FieldValue& v = reading.value(Quantity(quantity));
        QVERIFY(v.valid);
        QCOMPARE(v.value, value);
        QTEST(QString::fromLatin1(monitor::LiveValueFields()[size_t(quantity)].unit), "unit");
    }

    void indicatorsOfAKnownReply() {
        const LiveReading reading = monitor::LiveReadingOf(kLive);
        // alarms 81: emergency stop and voltage/frequency fault; states 12: supplying and automatic;
        // inputs 01: speed-down limit; outputs 88: crank and mains breaker close.
        QCOMPARE(reading.activeIndicators(),
                 (QStringList{"zs1", "zs9", "zs10", "zs13", "zs17", "zs33", "zs34"}));
        QCOMPARE(reading.indicator("zs9"), std::optional<bool>(true));
        QCOMPARE(reading.indicator("zs6"), std::optional<bool>(false));
        QCOMPARE(reading.indicator("zs24"), std::nullopt);  // no such indicator
        QCOMPARE(reading.valueOf("pnl17"), std::optional<double>(26.5));
        QCOMPARE(reading.valueOf("pnl33"), std::optional<double>(0.85));
    }

    // The block's own examples, each written into the known reply.
    void workedExamples_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<int>("quantity");
        QTest::addColumn<quint32>("raw");
        QTest::addColumn<double>("value");
        QTest::newRow("0004 is 4") << 7 << "0004" << int(Quantity::MainsVoltageA) << 4u << 4.0;
        QTest::newRow("01F4 at 19 is 50.0 Hz")
            << 19 << "01F4" << int(Quantity::MainsFrequency) << 500u << 50.0;
        QTest::newRow("power factor 64 is 1.00") << 45 << "64" << int(Quantity::PowerFactor) << 100u << 1.0;
        QTest::newRow("power factor 00 is 0.00") << 45 << "00" << int(Quantity::PowerFactor) << 0u << 0.0;
        QTest::newRow("running time FFFFFF is 1677721.5 h")
            << 39 << "FFFFFF" << int(Quantity::RunningTime) << 16777215u << 1677721.5;
        QTest::newRow("lower-case digits") << 99 << "05dc" << int(Quantity::EngineSpeed) << 1500u << 1500.0;
        QTest::newRow("battery FFFF tenths")
            << 91 << "FFFF" << int(Quantity::BatteryVoltage) << 65535u << 6553.5;
    }
    void workedExamples() {
        QFETCH(int, position);
        QFETCH(QString, hex);
        QFETCH(int, quantity);
        const LiveReading reading = monitor::LiveReadingOf(patched(kLive, position, hex));
        QVERIFY(reading.liveComplete());
        QTEST(reading.value(Quantity(quantity)).raw, "raw");
        QTEST(reading.value(Quantity(quantity)).value, "value");
    }

    void bitBytes_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QStringList>("lit");  // of that byte's eight indicators
        QTest::newRow("alarm 81") << 47 << "81" << QStringList{"zs1", "zs9"};
        QTest::newRow("input 01") << 51 << "01" << QStringList{"zs17"};
        QTest::newRow("input 80") << 51 << "80" << QStringList{"zs25"};
        QTest::newRow("state 40 is overload, an alarm in the state byte") << 49 << "40" << QStringList{"zs7"};
        QTest::newRow("output 03") << 53 << "03" << QStringList{"zs26", "zs27"};
    }
    void bitBytes() {
        QFETCH(int, position);
        QFETCH(QString, hex);
        QFETCH(QStringList, lit);
        QString reply = QStringLiteral("000430") + QString(96, '0') + QStringLiteral("00\r\n");
        const LiveReading reading = monitor::LiveReadingOf(patched(reply, position, hex));
        QCOMPARE(reading.activeIndicators(), lit);
    }

    // A reply cut or spoilt part-way: the fields before the bad one are decoded, that one and every
    // one after are not, bit bytes included.
    void cutOrSpoiltPartWay_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("firstBad");  // Quantity, or -1: none of the values
        QTest::addColumn<bool>("bitsDecoded");
        QTest::newRow("cut at 60: current B (59-62) is missing")
            << kLive.left(60) << int(Quantity::CurrentB) << true;
        QTest::newRow("cut at 46: power factor whole, alarms missing")
            << kLive.left(46) << int(Quantity::CurrentA) << false;
        QTest::newRow("x in oil pressure 2 at 31")
            << patched(kLive, 32, "x") << int(Quantity::OilPressure2) << false;
        QTest::newRow("blank in the alarm byte")
            << patched(kLive, 48, " ") << int(Quantity::CurrentA) << false;
        QTest::newRow("g in engine speed at 102")
            << patched(kLive, 102, "g") << int(Quantity::EngineSpeed) << true;
        QTest::newRow("first field") << patched(kLive, 7, "G") << int(Quantity::MainsVoltageA) << false;
        QTest::newRow("nothing") << QString() << int(Quantity::MainsVoltageA) << false;
        QTest::newRow("junk in the unused word 23-26 is no fault")
            << patched(kLive, 23, "ZZ Z") << -1 << true;
    }
    void cutOrSpoiltPartWay() {
        QFETCH(QString, reply);
        QFETCH(int, firstBad);
        QFETCH(bool, bitsDecoded);
        LiveReading reading = monitor::LiveReadingOf(kLive);  // a previous reply's fields do not linger
        QCOMPARE(monitor::DecodeLiveReply(reply, reading), firstBad < 0);
        for (int q = 0; q < monitor::kLiveValueCount; ++q)
            QVERIFY2(reading.values[size_t(q)].valid == (firstBad < 0 || q < firstBad),
                     monitor::LiveValueFields()[size_t(q)].quantity);
        for (const monitor::FieldValue& b : reading.bitBytes) QCOMPARE(b.valid, bitsDecoded);
        if (firstBad > int(Quantity::MainsVoltageA))
            QCOMPARE(reading.value(Quantity::MainsVoltageA).value, 220.0);
    }

    void delayBlock() {
        // 22 one-byte delays from 0x0036; 3C is 60 s, FF 255.
        const QString reply = QStringLiteral("000416") +
                              QStringLiteral("0A141E28323C464B505A646E78828C96A0AAB4BEC8FF") +
                              QStringLiteral("00\r\n");
        LiveReading reading;
        QVERIFY(monitor::DecodeDelayReply(reply, reading));
        const double expected[] = {10,  20,  30,  40,  50,  60,  70,  75,  80,  90,  100,
                                   110, 120, 130, 140, 150, 160, 170, 180, 190, 200, 255};
        for (int k = 0; k < monitor::kDelayCount; ++k) QCOMPARE(reading.delays[size_t(k)].value, expected[k]);
        QVERIFY(!reading.values[0].valid);  // the live fields are not touched by a delay reply
        QVERIFY(!monitor::DecodeDelayReply(reply.left(20), reading));
        QVERIFY(reading.delays[6].valid);  // positions 19-20
        QVERIFY(!reading.delays[7].valid);
    }

    // The history row of the known reply, column by column as the history tables list them.
    void historyRowOfAKnownReply() {
        const history::HistoryRow row = history::rowFromReading(monitor::LiveReadingOf(kLive), "Set 1", "t");
        const double expected[history::kValueCount] = {
            230,   231, 232,  // sj1-sj3 generator volts
            100,   101, 102,  // sj4-sj6 currents
            26.5,             // sj7 battery
            50.0,             // sj8 mains Hz
            50.1,             // sj9 generator Hz
            1500,             // sj10 engine speed
            82,    80,        // sj11 water, sj12 water 2
            350,   300,       // sj13 oil pressure, sj14 oil pressure 2
            100.0,            // sj15 power
            48,               // sj16 oil level reading
            0.85,             // sj17 power factor
            220,   221, 222,  // sj18-sj20 mains volts
        };
        for (int i = 0; i < history::kValueCount; ++i)
            QVERIFY2(row.values[size_t(i)] == expected[i], qPrintable(QStringLiteral("sj%1").arg(i + 1)));
        // The running time is not recorded, yet a spoilt one leaves no row: the fields after it are not
        // decoded.
        QVERIFY_THROWS_EXCEPTION(
            link::ConversionError,
            history::rowFromReading(monitor::LiveReadingOf(patched(kLive, 39, "G")), "", ""));
    }
};

QTEST_GUILESS_MAIN(TestLiveReading)
#include "tst_liveReading.moc"
