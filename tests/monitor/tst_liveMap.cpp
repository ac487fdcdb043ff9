// The live and delay block maps: positions, scalings, bit bytes and where a bad field stops.
#include <QSet>
#include <QtTest>

#include "RecordingView.h"
#include "Replies.h"
#include "link/LinkError.h"
#include "monitor/LiveMap.h"

using namespace tarsyn;
using namespace tarsyn::monitor;
using tarsyn::test::RecordingView;

class TestLiveMap : public QObject {
    Q_OBJECT
private slots:
    void liveField_data();
    void liveField();
    void everyLiveField_data();
    void everyLiveField();
    void everyIndicatorBit_data();
    void everyIndicatorBit();
    void bitByte_data();
    void bitByte();
    void unusedPositionsNeverMatter();
    void liveTableCoversTheBlockOnce();
    void liveDisplayOrder();
    void nonHexFieldStopsThere_data();
    void nonHexFieldStopsThere();
    void delayBlock();
    void clearResetsEverything();
    void pictureSets();
};

// Each row: characters written at a position of an all-zero live reply and what the panel shows.
void TestLiveMap::liveField_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("shown");
    QTest::newRow("integer without leading zeros") << 7 << "0004"
                                                   << "pnl34"
                                                   << "4";
    QTest::newRow("integer full width") << 99 << "FFFF"
                                        << "pnl23"
                                        << "65535";
    QTest::newRow("lower-case hex") << 67 << "00ff"
                                    << "pnl11"
                                    << "255";
    QTest::newRow("mains frequency /10") << 19 << "01F4"
                                         << "pnl21"
                                         << "50.0      ";
    QTest::newRow("power /10") << 35 << "0007"
                               << "pnl31"
                               << "0.7       ";
    QTest::newRow("battery /10") << 91 << "0109"
                                 << "pnl17"
                                 << "26.5      ";
    QTest::newRow("power factor 64") << 45 << "64"
                                     << "pnl33"
                                     << "1.00      ";
    QTest::newRow("power factor 00") << 45 << "00"
                                     << "pnl33"
                                     << "0.00      ";
    QTest::newRow("power factor 55") << 45 << "55"
                                     << "pnl33"
                                     << "0.85      ";
    QTest::newRow("running time 24 bit") << 39 << "FFFFFF"
                                         << "pnl37"
                                         << "1677721.5 ";
    QTest::newRow("running time low bytes") << 39 << "00000A"
                                            << "pnl37"
                                            << "1.0       ";
    QTest::newRow("running time high byte") << 39 << "010000"
                                            << "pnl37"
                                            << "6553.6    ";
    QTest::newRow("wide /10 keeps every digit") << 95 << "FFFF"
                                                << "pnl22"
                                                << "6553.5    ";
}

void TestLiveMap::liveField() {
    QFETCH(int, position);
    QFETCH(QString, hex);
    QFETCH(QString, panel);
    QFETCH(QString, shown);
    RecordingView view;
    LiveDecoder::displayLive(test::patched(test::blockReply(test::liveData()), position, hex), view);
    QCOMPARE(view.panels.value(panel), shown);
}

// The live block field by field, written out from its layout: position, width, panel, and the text the
// panel shows, worked out by hand (integers plain, tenths "%-10.1f", hundredths "%-10.2f": padded to ten
// characters). Every field carries a value of its own in one reply, so two panels or positions swapped
// show.
namespace {
struct LiveFieldRow {
    int position;
    int width;
    const char* panel;
    const char* hex;    // the field's characters
    const char* shown;  // the panel's text
};
const LiveFieldRow kLiveFields[] = {
    {7, 4, "pnl34", "0101", "257"},         {11, 4, "pnl35", "0202", "514"},
    {15, 4, "pnl36", "0303", "771"},        {19, 4, "pnl21", "0404", "102.8     "},
    {27, 4, "pnl25", "0505", "1285"},       {31, 4, "pnl27", "0606", "1542"},
    {35, 4, "pnl31", "0707", "179.9     "}, {39, 6, "pnl37", "01020A", "6605.8    "},
    {45, 2, "pnl33", "19", "0.25      "},   {55, 4, "pnl14", "0A0A", "2570"},
    {59, 4, "pnl15", "0B0B", "2827"},       {63, 4, "pnl16", "0C0C", "3084"},
    {67, 4, "pnl11", "0D0D", "3341"},       {71, 4, "pnl12", "0E0E", "3598"},
    {75, 4, "pnl13", "0F0F", "3855"},       {79, 4, "pnl24", "1010", "4112"},
    {83, 4, "pnl26", "1111", "4369"},       {87, 4, "pnl32", "1212", "4626"},
    {91, 4, "pnl17", "1313", "488.3     "}, {95, 4, "pnl22", "1414", "514.0     "},
    {99, 4, "pnl23", "1515", "5397"},
};
QString allFieldsReply() {
    QString reply = test::blockReply(test::liveData());
    for (const LiveFieldRow& f : kLiveFields) reply = test::patched(reply, f.position, QLatin1String(f.hex));
    return reply;
}
}  // namespace

void TestLiveMap::everyLiveField_data() {
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("shown");
    for (const LiveFieldRow& f : kLiveFields)
        QTest::addRow("%d %s", f.position, f.panel) << QString(f.panel) << QString(f.shown);
}

void TestLiveMap::everyLiveField() {
    QFETCH(QString, panel);
    RecordingView view;
    LiveDecoder::displayLive(allFieldsReply(), view);
    QCOMPARE(view.panels.size(), 21);
    QTEST(view.panels.value(panel), "shown");
}

// The four bit bytes, bit 7 first, as the indicators they light.
void TestLiveMap::everyIndicatorBit_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("bit");
    QTest::addColumn<QString>("indicator");
    const struct {
        int position;
        const char* byBit[8];  // bit 7 … bit 0
    } bytes[] = {
        {47, {"zs9", "zs6", "zs5", "zs4", "zs8", "zs3", "zs2", "zs1"}},
        {49, {"zs16", "zs7", "zs14", "zs13", "zs12", "zs11", "zs10", "zs15"}},
        {51, {"zs25", "zs22", "zs21", "zs20", "zs23", "zs19", "zs18", "zs17"}},
        {53, {"zs34", "zs31", "zs30", "zs29", "zs33", "zs28", "zs27", "zs26"}},
    };
    for (const auto& b : bytes)
        for (int k = 0; k < 8; ++k)
            QTest::addRow("%d bit %d %s", b.position, 7 - k, b.byBit[k]) << b.position << 7 - k << b.byBit[k];
}

void TestLiveMap::everyIndicatorBit() {
    QFETCH(int, position);
    QFETCH(int, bit);
    QFETCH(QString, indicator);
    RecordingView view;
    const QString hex = link::ToHex(quint32(1) << bit, 2).right(2);
    LiveDecoder::displayLive(test::patched(test::blockReply(test::liveData()), position, hex), view);
    QCOMPARE(view.indicators.size(), 32);
    for (auto it = view.indicators.cbegin(); it != view.indicators.cend(); ++it)
        QVERIFY2(it.value() == (it.key() == indicator ? 1 : 0), qPrintable(it.key()));
}

void TestLiveMap::bitByte_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QStringList>("lit");
    QTest::newRow("alarm 81") << 47 << "81" << QStringList{"zs9", "zs1"};
    QTest::newRow("alarm 40") << 47 << "40" << QStringList{"zs6"};
    QTest::newRow("alarm 08") << 47 << "08" << QStringList{"zs8"};
    QTest::newRow("state 01 reset") << 49 << "01" << QStringList{"zs15"};
    QTest::newRow("state C2") << 49 << "C2" << QStringList{"zs16", "zs7", "zs10"};
    QTest::newRow("input 01") << 51 << "01" << QStringList{"zs17"};
    QTest::newRow("input 80") << 51 << "80" << QStringList{"zs25"};
    QTest::newRow("input 08") << 51 << "08" << QStringList{"zs23"};
    QTest::newRow("output 88") << 53 << "88" << QStringList{"zs34", "zs33"};
    QTest::newRow("output 03") << 53 << "03" << QStringList{"zs27", "zs26"};
    QTest::newRow("all clear") << 47 << "00" << QStringList{};
}

void TestLiveMap::bitByte() {
    QFETCH(int, position);
    QFETCH(QString, hex);
    QFETCH(QStringList, lit);
    RecordingView view;
    LiveDecoder::displayLive(test::patched(test::blockReply(test::liveData()), position, hex), view);
    QCOMPARE(view.indicators.size(), 32);
    for (const QString& name : IndicatorNames())
        QVERIFY2(view.indicators.value(name) == (lit.contains(name) ? 1 : 0), qPrintable(name));
}

void TestLiveMap::unusedPositionsNeverMatter() {
    const QString base = test::blockReply(test::liveData(0, QByteArray::fromHex("0102030405060708090A0B0C")));
    RecordingView plain, changed, junk;
    LiveDecoder::displayLive(base, plain);
    LiveDecoder::displayLive(test::patched(base, 23, "FFFF"), changed);
    LiveDecoder::displayLive(test::patched(base, 23, "ZZ Z"), junk);
    QCOMPARE(changed.panels, plain.panels);
    QCOMPARE(junk.panels, plain.panels);
    QCOMPARE(junk.indicators, plain.indicators);
    QCOMPARE(plain.panels.size(), 21);
}

// Every data character of the live reply but 23-26 belongs to exactly one field, and 21 panels plus
// four bit bytes are shown.
void TestLiveMap::liveTableCoversTheBlockOnce() {
    QSet<int> covered;
    int panels = 0, bits = 0;
    for (const BlockField& f : LiveBlockFields()) {
        for (int p = f.position; p < f.position + f.width; ++p) QVERIFY2(!covered.contains(p), "overlap");
        for (int p = f.position; p < f.position + f.width; ++p) covered.insert(p);
        (f.conversion == Conversion::Bits ? bits : panels)++;
    }
    for (int p = 7; p <= 102; ++p) QCOMPARE(covered.contains(p), p < 23 || p > 26);
    QCOMPARE(panels, 21);
    QCOMPARE(bits, 4);
    QCOMPARE(AllPanelNames().size(), 43);
    const QStringList all = AllPanelNames();
    QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), 43);
    QCOMPARE(IndicatorNames().size(), 32);
    QVERIFY(!IndicatorNames().contains("zs24"));
    QVERIFY(!IndicatorNames().contains("zs32"));
}

void TestLiveMap::liveDisplayOrder() {
    RecordingView view;
    LiveDecoder::displayLive(test::blockReply(test::liveData()), view);
    const QStringList expectedStart = {"pnl34", "pnl35", "pnl36", "pnl21", "pnl25",
                                       "pnl27", "pnl31", "pnl37", "pnl33", "zs9"};
    QCOMPARE(view.log.mid(0, expectedStart.size()), expectedStart);
    QCOMPARE(view.log.at(9 + 32), QString("pnl14"));
    QCOMPARE(view.log.last(), QString("pnl23"));
    QCOMPARE(view.log.size(), 21 + 32);
}

void TestLiveMap::nonHexFieldStopsThere_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("bad");
    QTest::addColumn<QString>("lastWritten");
    QTest::newRow("first field") << 7 << "00G0" << QString();
    QTest::newRow("oil pressure 2") << 31 << "x"
                                    << "pnl25";
    QTest::newRow("sign in running time") << 39 << "-1"
                                          << "pnl31";
    QTest::newRow("blank in alarm byte") << 48 << " "
                                         << "pnl33";
    QTest::newRow("output byte") << 53 << "Q"
                                 << "zs17";
    QTest::newRow("engine speed") << 102 << "g"
                                  << "pnl22";
}

void TestLiveMap::nonHexFieldStopsThere() {
    QFETCH(int, position);
    QFETCH(QString, bad);
    QFETCH(QString, lastWritten);
    RecordingView view;
    const QString reply = test::patched(test::blockReply(test::liveData()), position, bad);
    QVERIFY_THROWS_EXCEPTION(link::ConversionError, LiveDecoder::displayLive(reply, view));
    QCOMPARE(view.log.isEmpty() ? QString() : view.log.last(), lastWritten);
}

void TestLiveMap::delayBlock() {
    QByteArray data;
    for (int k = 0; k < 22; ++k) data.append(char(k == 21 ? 0xFF : k * 3));
    RecordingView view;
    LiveDecoder::displayDelay(test::blockReply(data), view);
    const QStringList order = {"pnl41", "pnl42", "pnl43", "pnl44", "pnl45", "pnl46", "pnl51", "pnl52",
                               "pnl53", "pnl54", "pnl55", "pnl56", "pnl61", "pnl62", "pnl63", "pnl64",
                               "pnl65", "pnl66", "pnl71", "pnl72", "pnl73", "pnl74"};
    QCOMPARE(view.log, order);
    QCOMPARE(view.panels.value("pnl41"), QString("0"));
    QCOMPARE(view.panels.value("pnl46"), QString("15"));
    QCOMPARE(view.panels.value("pnl73"), QString("60"));
    QCOMPARE(view.panels.value("pnl74"), QString("255"));
}

void TestLiveMap::clearResetsEverything() {
    RecordingView view;
    LiveDecoder::displayLive(test::blockReply(QByteArray(48, char(0x11))), view);
    LiveDecoder::clear(view);
    QCOMPARE(view.panels.size(), 43);
    for (auto it = view.panels.cbegin(); it != view.panels.cend(); ++it) QCOMPARE(it.value(), QString("0"));
    QCOMPARE(view.indicators.size(), 32);
    for (auto it = view.indicators.cbegin(); it != view.indicators.cend(); ++it) QCOMPARE(it.value(), 0);
}

void TestLiveMap::pictureSets() {
    for (int n = 1; n <= 34; ++n) {
        const QString name = QStringLiteral("zs%1").arg(n);
        QCOMPARE(PictureSetOf(name) == PictureSet::Alarm, n <= 9);
    }
}

QTEST_APPLESS_MAIN(TestLiveMap)
#include "tst_liveMap.moc"
