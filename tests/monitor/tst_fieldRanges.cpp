// The live-field table's keys and physical ranges, the range check of a polled reply, and the one
// JSON form of a reading (tarsynctl live --json and the broker's state message).
#include <QJsonDocument>
#include <QSet>
#include <QtTest>

#include "Replies.h"
#include "link/Codec.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveReading.h"
#include "monitor/ReadingJson.h"

using namespace tarsyn;
using namespace tarsyn::monitor;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// A running 400 V set as the controller reports it: 230 V a phase, 50.0 Hz, 1500 rpm, power factor
// 0.85, 24.6 V battery, 12345.6 h.
QByteArray runningSet() {
    QByteArray d = test::liveData();
    const auto put = [&d](int address, const char* bytes) {
        d.replace(address - 6, hex(bytes).size(), hex(bytes));
    };
    for (int a : {0x0006, 0x0008, 0x000A, 0x0024, 0x0026, 0x0028}) put(a, "00E6");
    put(0x000C, "01F4");    // 50.0 Hz
    put(0x0010, "0050");    // 80 C
    put(0x0012, "0190");    // 400 kPa
    put(0x0014, "0BB8");    // 300.0 kW
    put(0x0016, "01E240");  // 12345.6 h
    put(0x0019, "55");      // 0.85
    put(0x001E, "01F4");    // 500 A
    put(0x002A, "0052");    // 82 C
    put(0x002C, "01A4");    // 420 kPa
    put(0x002E, "005A");    // 90
    put(0x0030, "00F6");    // 24.6 V
    put(0x0032, "01F4");    // 50.0 Hz
    put(0x0034, "05DC");    // 1500 rpm
    return d;
}

}  // namespace

class TestFieldRanges : public QObject {
    Q_OBJECT
private slots:
    void everyFieldHasAKeyAndARange();
    void keysAreTheBrokersNames();
    void liveRange_data();
    void liveRange();
    void delayRange_data();
    void delayRange();
    void aRunningSetIsInRange();
    void notHexIsLeftToTheDecoder();
    void describeNamesFieldValueAndRange();
    void jsonKeysUnitsAndPanels();
    void jsonOmitsWhatWasNotRead();
};

void TestFieldRanges::everyFieldHasAKeyAndARange() {
    QSet<QString> keys;
    for (const auto* table : {&LiveValueFields(), &DelayBlockFields()})
        for (const BlockField& f : *table) {
            const QString key = QLatin1String(f.key);
            QVERIFY2(!key.isEmpty(), f.panel);
            QVERIFY2(!keys.contains(key), f.key);
            keys.insert(key);
            QVERIFY2(f.low >= 0 && f.low < f.high, f.key);  // the fields have no sign
            QCOMPARE(FieldByKey(key), &f);
        }
    QCOMPARE(keys.size(), kLiveValueCount + kDelayCount);
    QCOMPARE(FieldByKey("pnl34"), nullptr);  // a panel id is not a key
}

// The names the broker's state message has always used, so one vocabulary serves both.
void TestFieldRanges::keysAreTheBrokersNames() {
    const QStringList expected = {"mains_voltage_phase_a",
                                  "mains_voltage_phase_b",
                                  "mains_voltage_phase_c",
                                  "mains_frequency",
                                  "water_temperature_2",
                                  "oil_pressure_2",
                                  "power",
                                  "engine_running_time",
                                  "power_factor",
                                  "current_phase_a",
                                  "current_phase_b",
                                  "current_phase_c",
                                  "generator_voltage_phase_a",
                                  "generator_voltage_phase_b",
                                  "generator_voltage_phase_c",
                                  "water_temperature",
                                  "oil_pressure",
                                  "oil_temperature_oil_level_reading",
                                  "battery_voltage",
                                  "generator_frequency",
                                  "engine_speed"};
    QStringList keys;
    for (const BlockField& f : LiveValueFields()) keys << QLatin1String(f.key);
    QCOMPARE(keys, expected);
    QCOMPARE(QLatin1String(DelayBlockFields().front().key), QLatin1String("cool_down_stop_delay"));
    QCOMPARE(QLatin1String(DelayBlockFields().back().key), QLatin1String("speed_down_delay"));
}

// Each row: bytes at a data offset of a running set's live block, and the field refused (or none).
void TestFieldRanges::liveRange_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refused");
    QTest::newRow("mains 600 V") << 0 << hex("0258") << "";
    QTest::newRow("mains 44719 V") << 0 << hex("AEAF") << "mains_voltage_phase_a";
    QTest::newRow("mains C 601 V") << 4 << hex("0259") << "mains_voltage_phase_c";
    QTest::newRow("mains 70.0 Hz") << 6 << hex("02BC") << "";
    QTest::newRow("mains 70.1 Hz") << 6 << hex("02BD") << "mains_frequency";
    QTest::newRow("power factor 1.00") << 19 << hex("64") << "";
    QTest::newRow("power factor 1.01") << 19 << hex("65") << "power_factor";
    QTest::newRow("power factor 1.63") << 19 << hex("A3") << "power_factor";
    QTest::newRow("battery 60.0 V") << 42 << hex("0258") << "";
    QTest::newRow("battery 60.1 V") << 42 << hex("0259") << "battery_voltage";
    QTest::newRow("battery 4780.3 V") << 42 << hex("BABB") << "battery_voltage";
    QTest::newRow("water 200 C") << 36 << hex("00C8") << "";
    QTest::newRow("water 201 C") << 36 << hex("00C9") << "water_temperature";
    QTest::newRow("oil pressure 1001 kPa") << 38 << hex("03E9") << "oil_pressure";
    QTest::newRow("engine speed 4001 rpm") << 46 << hex("0FA1") << "engine_speed";
    QTest::newRow("current 8001 A") << 24 << hex("1F41") << "current_phase_a";
    QTest::newRow("hours 200000.0") << 16 << hex("1E8480") << "";
    QTest::newRow("hours 200000.1") << 16 << hex("1E8481") << "engine_running_time";
    // The bit bytes take any value, and position 23-26 (0x000E) means nothing.
    QTest::newRow("every alarm") << 20 << hex("FFFFFFFF") << "";
    QTest::newRow("unused word") << 8 << hex("FFFF") << "";
}

void TestFieldRanges::liveRange() {
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refused);
    QByteArray data = runningSet();
    data.replace(offset, bytes.size(), bytes);
    const RangeFault fault = FirstOutOfRange(test::blockReply(data), ReplyBlock::Live);
    QCOMPARE(fault ? QString::fromLatin1(fault.field->key) : QString(), refused);
}

void TestFieldRanges::delayRange_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("refused");
    QTest::newRow("cool-down 255 s") << 0 << 255 << "";
    QTest::newRow("cranking 60 s") << 3 << 60 << "";
    QTest::newRow("cranking 147 s") << 3 << 147 << "cranking_time";
    QTest::newRow("low oil pressure 61 s") << 10 << 61 << "low_oil_pressure_delay";
    QTest::newRow("overspeed 61 s") << 18 << 61 << "overspeed_delay";
    QTest::newRow("warm-up 255 s") << 20 << 255 << "";
}

void TestFieldRanges::delayRange() {
    QFETCH(int, offset);
    QFETCH(int, seconds);
    QFETCH(QString, refused);
    QByteArray data(22, char(5));
    data[offset] = char(seconds);
    const RangeFault fault = FirstOutOfRange(test::blockReply(data), ReplyBlock::Delay);
    QCOMPARE(fault ? QString::fromLatin1(fault.field->key) : QString(), refused);
}

void TestFieldRanges::aRunningSetIsInRange() {
    QVERIFY(!FirstOutOfRange(test::blockReply(runningSet()), ReplyBlock::Live));
    QVERIFY(!FirstOutOfRange(test::blockReply(test::liveData()), ReplyBlock::Live));  // a set at rest
    // The delay block's bytes, 144 on, are no delays a set is given (a reply of another address).
    QByteArray foreign;
    for (int i = 0; i < 22; ++i) foreign += char(0x90 + i);
    QVERIFY(FirstOutOfRange(test::blockReply(foreign), ReplyBlock::Delay));
}

void TestFieldRanges::notHexIsLeftToTheDecoder() {
    // Decoding stops at the first field that is not a number, and so does the range check: a spoilt
    // field is the decoder's to report, a field after it is never judged.
    QString reply = test::blockReply(runningSet());
    reply.replace(6, 4, "00G0");           // mains phase A
    reply.replace(6 + 2 * 42, 4, "BABB");  // battery
    QVERIFY(!FirstOutOfRange(reply, ReplyBlock::Live));
}

void TestFieldRanges::describeNamesFieldValueAndRange() {
    QByteArray data = runningSet();
    data.replace(42, 2, hex("BABB"));
    QCOMPARE(FirstOutOfRange(test::blockReply(data), ReplyBlock::Live).describe(),
             QStringLiteral("battery voltage 4780.3 V is outside 0 to 60 V"));
    data = runningSet();
    data.replace(19, 1, hex("A3"));
    QCOMPARE(FirstOutOfRange(test::blockReply(data), ReplyBlock::Live).describe(),
             QStringLiteral("power factor 1.63 is outside 0 to 1"));
}

void TestFieldRanges::jsonKeysUnitsAndPanels() {
    LiveReading r = LiveReadingOf(test::blockReply(runningSet()));
    QByteArray delays(22, char(5));
    delays[0] = char(60);
    DecodeDelayReply(test::blockReply(delays), r);
    const QJsonObject values = ReadingJson::values(r, [](const QString& panel) {
        return panel == QLatin1String("pnl17") ? QStringLiteral("Battery") : QString();
    });
    QCOMPARE(values.size(), kLiveValueCount);
    const QJsonObject battery = values.value("battery_voltage").toObject();
    QCOMPARE(battery.value("value").toDouble(), 24.6);
    QCOMPARE(battery.value("unit").toString(), QStringLiteral("V"));
    QCOMPARE(battery.value("panel").toString(), QStringLiteral("pnl17"));
    QCOMPARE(battery.value("caption").toString(), QStringLiteral("Battery"));
    QVERIFY(!values.value("engine_speed").toObject().contains("caption"));  // no caption given
    QCOMPARE(values.value("water_temperature").toObject().value("unit").toString(),
             QStringLiteral("\u00B0C"));
    QCOMPARE(values.value("power_factor").toObject().value("value").toDouble(), 0.85);
    QCOMPARE(values.value("power_factor").toObject().value("unit").toString(), QString());
    QCOMPARE(values.value("engine_running_time").toObject().value("value").toDouble(), 12345.6);
    const QJsonObject delayJson = ReadingJson::delays(r);
    QCOMPARE(delayJson.size(), kDelayCount);
    QCOMPARE(delayJson.value("cool_down_stop_delay").toObject().value("value").toDouble(), 60.0);
    QCOMPARE(delayJson.value("cool_down_stop_delay").toObject().value("unit").toString(),
             QStringLiteral("s"));
    QCOMPARE(delayJson.value("speed_down_delay").toObject().value("panel").toString(),
             QStringLiteral("pnl74"));
    QCOMPARE(ReadingJson::indicators(r).size(), 32);
    QCOMPARE(UnitText("C"), QStringLiteral("\u00B0C"));
    QCOMPARE(UnitText("kPa"), QStringLiteral("kPa"));
}

void TestFieldRanges::jsonOmitsWhatWasNotRead() {
    // A live reply spoilt at the alarm byte (position 47): the nine values before it are decoded,
    // nothing after it, and no delay block has been read.
    QString reply = test::blockReply(runningSet());
    reply.replace(46, 2, "?!");
    const LiveReading r = LiveReadingOf(reply);
    const QJsonObject values = ReadingJson::values(r);
    QCOMPARE(values.size(), 9);
    QVERIFY(values.contains("power_factor"));
    QVERIFY(!values.contains("current_phase_a"));
    for (const QJsonValue& v : values) QVERIFY(!v.toObject().value("value").isNull());
    QVERIFY(ReadingJson::delays(r).isEmpty());
    QVERIFY(ReadingJson::indicators(r).isEmpty());
    const QByteArray text = QJsonDocument(values).toJson(QJsonDocument::Compact);
    QVERIFY2(!text.contains("null"), text.constData());
}

QTEST_GUILESS_MAIN(TestFieldRanges)
#include "tst_fieldRanges.moc"
