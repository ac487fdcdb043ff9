// The page engine on a fake port, one table per page: requests, decoding, write frames, the minimum
// reply, system.ini, cancel, refusals and failures. Expected frames and positions are the
// controller's own (its memory map and worked examples), not the pages' tables.
#include <QFile>
#include <QtTest>

#include "PageFixture.h"
#include "config/CatalogueText.h"
#include "link/Codec.h"
#include "pages/PageTable.h"

using namespace tarsyn;
using pages::Page;
using test::apply;
using test::PageFixture;
using test::pageNamed;

namespace {

/// The operator types `text` into every edit field of the page.
void fillAll(test::FakePageView& view, const Page& page, const QString& text) {
    for (const pages::Block& b : page.blocks)
        for (const pages::Field& f : b.fields)
            if (f.kind != pages::FieldKind::Bit) view.type(f.control, text);
}

/// The block-read request of a block, without its check.
QString readRequestOf(const QString& window, int block) {
    static const QHash<QString, QStringList> kRequests{
        {"TForm6", {"0004004C000A", "00040056000C"}},
        {"TForm7", {"000401800020", "000401A00020", "000401C00020"}},
        {"TForm8", {"00040076000D"}},
        {"TForm9", {"000400800002"}},
        {"TForm10", {"000400620026"}},
        {"Tgsm", {"00040150002E"}}};
    return kRequests.value(window).value(block);
}

/// The keys of a section of system.ini in file order.
QStringList keysInFile(const QString& path, const QString& section) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList keys;
    bool inSection = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == QLatin1Char('[') + section + QLatin1Char(']');
            continue;
        }
        if (inSection && line.contains(QLatin1Char('='))) keys << line.section(QLatin1Char('='), 0, 0);
    }
    return keys;
}

QStringList range(const char* prefix, int from, int to, const char* suffix = "") {
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QLatin1String(prefix) + QString::number(i) + QLatin1String(suffix);
    return out;
}

}  // namespace

class TestPageEngine : public QObject {
    Q_OBJECT
private slots:
    void readRequest_data();
    void readRequest();
    void replyDecodesIntoControls_data();
    void replyDecodesIntoControls();
    void minimumReply_data();
    void minimumReply();
    void writeFrames_data();
    void writeFrames();
    void saveThenLoad_data();
    void saveThenLoad();
    void blockNeverSavedLoadsNothing_data();
    void blockNeverSavedLoadsNothing();
    void partlySavedBlockLoadsNothing();
    void savedValueOtherThanOneSelectsTheFirstRadio();
    void saveThatCannotWriteIsReportedWithoutDl18();
    void cancelClearsAndCloses();
    void cancelDuringAnExchangeTakesEffectAfterIt_data();
    void cancelDuringAnExchangeTakesEffectAfterIt();
    void refusalSendsNothing_data();
    void refusalSendsNothing();
    void boundaryValuesGoOut_data();
    void boundaryValuesGoOut();
    void garbledReplyIsNotCalledSilence();
    void portThatCannotReopenIsReportedOnce();
    void chineseNamePacksAsUtf16AndReadsBack();
    void chineseNameOverEightUnitsIsRefused();
    void shortSmsReply_data();
    void shortSmsReply();
    void emptyNameTravelsAsZeros();
    void smsWaitsAfterAFailedReopen();
    void nonHexadecimalFieldStopsTheDecoding();
    void serialErrorDuringWriteRestoresThePage();
    void writeTellsTheJournalOldAndNewValues();
    void writeTellsTheJournalValuesToSayInEitherLanguage();
    void alarmLimitsRoundTripInTheirUnits_data();
    void alarmLimitsRoundTripInTheirUnits();
    void alarmLimitsFromAnOlderFileKeepTheirValue();
};

void TestPageEngine::readRequest_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<int>("steps");
    QTest::newRow("delays, start sequence") << "TForm6" << 0 << "0004004C000A42\r\n" << 300;
    QTest::newRow("delays, alarms") << "TForm6" << 1 << "00040056000C5E\r\n" << 300;
    QTest::newRow("water temperature curve") << "TForm7" << 0 << "000401800020A5\r\n" << 300;
    QTest::newRow("oil pressure curve") << "TForm7" << 1 << "000401A0002085\r\n" << 300;
    QTest::newRow("monitor curve") << "TForm7" << 2 << "000401C00020E5\r\n" << 300;
    QTest::newRow("system parameters") << "TForm8" << 0 << "00040076000D7F\r\n" << 300;
    QTest::newRow("control bits") << "TForm9" << 0 << "00040080000286\r\n" << 300;
    QTest::newRow("SMS settings") << "Tgsm" << 0 << "00040150002E7B\r\n" << 300;
    QTest::newRow("alarm limits, the longest wait") << "TForm10" << 0 << "00040062002640\r\n" << 500;
}

void TestPageEngine::readRequest() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QString, frame);
    QFETCH(int, steps);
    PageFixture f(pageNamed(window));
    f.poll.pollState = 3;
    f.engine->read(block);
    QCOMPARE(f.port.written, QStringList{frame});
    QCOMPARE(f.port.closeCount, 1);  // the port is closed and opened again before the request
    QCOMPARE(f.port.openCount, 2);
    // 600 ms after the re-open, then S steps of 1 ms with pb1 moving and the events running.
    QCOMPARE(f.sleeper.sleeps.first(), 600);
    QCOMPARE(f.sleeper.total, 600 + steps);
    QCOMPARE(f.view.progressMax, steps);
    QCOMPARE(f.view.progressLog.size(), steps);
    QCOMPARE(f.view.progressLog.last(), steps);
    QVERIFY(f.view.eventTurns >= steps);
    QCOMPARE(f.view.enabledLog, (QList<bool>{false, true}));
    QVERIFY(!f.view.progressVisible);
    QCOMPARE(f.poll.stops, 1);
    QCOMPARE(f.poll.resumes, 1);
    QCOMPARE(f.poll.pollState, 1);
    // No answer: nothing changes, and the page says that nothing was read.
    QVERIFY(f.prompter.of("info").isEmpty());
    QCOMPARE(f.prompter.of("error").size(), 1);  // "no answer: nothing was read"
}

void TestPageEngine::replyDecodesIntoControls_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("expected");  // "control=text" or a checked radio
    QTest::newRow("delays 0x004C-0x0055")
        << "TForm6" << 0 << "010203040506070809FF"
        << QStringList{"edtys1=1", "edtys2=2", "edtys3=3", "edtys4=4", "edtys5=5",
                       "edtys6=6", "edtys7=7", "edtys8=8", "edtys9=9", "edtys10=255"};
    QTest::newRow("delays 0x0056-0x0061")
        << "TForm6" << 1 << "0102030405060708090A0B0C"
        << QStringList{"edtys11=1", "edtys12=2", "edtys13=3", "edtys14=4",  "edtys15=5",  "edtys16=6",
                       "edtys17=7", "edtys18=8", "edtys19=9", "edtys20=10", "edtys21=11", "edtys22=12"};
    QTest::newRow("oil pressure curve, points 1 and 8")
        << "TForm7" << 1 << "00FA0064" + QString(48, '0') + "04D2FFFF"
        << QStringList{"edtyyy1=2.50", "edtyy1=100",    "edtyyy2=0.00",
                       "edtyy2=0",     "edtyyy8=12.34", "edtyy8=65535"};
    QTest::newRow("system parameters; the control bits between are not shown")
        << "TForm8" << 0 << "0708010300C8766464640C0A05"
        << QStringList{"edttkzs=1800", "edtsbdz=1",   "edtqdcs=3",   "edtctbl=200", "edtflcs=118",
                       "edtswtz=100",  "edtyytz=100", "edtywyw=100", "edtclsz=5"};
    // The stretch 0x0076-0x0083 between the limits is skipped: what it holds has no effect.
    QTest::newRow("alarm limits around the skipped stretch")
        << "TForm10" << 0
        << "010800C400C8006200640078"
           "00DC022601C206BD" +
               QString(28, 'E') + "05FA05BE"
        << QStringList{"edtdysx=264",  "edtdyxx=196",  "edtdlsx=200",  "edtswsx=98",
                       "edtyyxx=100",  "edtywxx=120",  "edtdzxx=22.0", "edtplsx=55.0",
                       "edtplxx=45.0", "edtzssx=1725", "edtsssx=1530", "edtssxx=1470"};
    // A phone ends at its first "F"; twelve "F" are no number; one without "F" keeps all 12 digits.
    QTest::newRow("SMS settings in a language other than Chinese")
        << "Tgsm" << 0
        << "4142" + QString(28, '0') +
               "12345FFFFFFF"
               "FFFFFFFFFFFF"
               "123456789012"
               "1F2345678901"
               "98765432109F"
        << QStringList{"edtzddz=AB",          "edtsj1=12345", "edtsj2=",
                       "edtsj3=123456789012", "edtsj4=1",     "edtsj5=98765432109"};
    QTest::newRow("bytes FF 0F: every second radio")
        << "TForm9" << 0 << "FF0F" << QStringList{"rbsd2", "rbdz2", "rbwc2", "rbjc2", "rbww2", "rbfy2",
                                                  "rbdc2", "rbxz2", "rbcl2", "rbqh2", "rb991", "rbbg2"};
    QTest::newRow("bytes 00 F0: every first radio")
        << "TForm9" << 0 << "00F0" << QStringList{"rbsd1", "rbdz1", "rbwc1", "rbjc1", "rbww1", "rbfy1",
                                                  "rbdc1", "rbxz1", "rbcl1", "rbqh1", "rb999", "rbbg1"};
    QTest::newRow("bytes 01 01: speed sensor and line voltage")
        << "TForm9" << 0 << "0101" << QStringList{"rbsd2", "rbdz1", "rbwc1", "rbjc1", "rbww1", "rbfy1",
                                                  "rbdc1", "rbxz1", "rbcl2", "rbqh1", "rb999", "rbbg1"};
}

void TestPageEngine::replyDecodesIntoControls() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QString, data);
    QFETCH(QStringList, expected);
    const Page& page = pageNamed(window);
    PageFixture f(page);
    fillAll(f.view, page, QStringLiteral("keep"));
    f.reply = test::blockReply(data);
    f.engine->read(block);
    for (const QString& e : expected) {
        const int eq = int(e.indexOf(QLatin1Char('=')));
        if (eq < 0)
            QVERIFY2(f.view.isChecked(e), qPrintable(e));
        else
            QCOMPARE(f.view.text(e.left(eq)), e.mid(eq + 1));
    }
    // The other blocks keep their texts.
    for (int b = 0; b < page.blocks.size(); ++b)
        for (const pages::Field& field : page.blocks[b].fields)
            if (b != block && field.kind != pages::FieldKind::Bit)
                QCOMPARE(f.view.text(field.control), QStringLiteral("keep"));
    QCOMPARE(f.prompter.shown, QStringList{"info:pgread"});
}

// The pages' minimum lengths mostly stop short of the check; a reply is now decoded only up to its
// check at least, so one cut at or just below the old minimum, or inside the check, changes nothing.
void TestPageEngine::minimumReply_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("data");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<QString>("lastControl");  // decoded from the whole reply
    QTest::addColumn<QString>("lastText");
    QTest::newRow("delays start sequence") << "TForm6" << 0 << "0102030405060708090A" << 26 << "edtys10"
                                           << "10";
    QTest::newRow("delays alarms") << "TForm6" << 1 << "0102030405060708090A0B0C" << 30 << "edtys22"
                                   << "12";
    // At 69 characters the value of point 8 came from three characters, "012" of "0123".
    QTest::newRow("water temperature curve")
        << "TForm7" << 0 << QString(56, '0') + "00640123" << 69 << "edtys8"
        << "291";
    QTest::newRow("control bits") << "TForm9" << 0 << "0101" << 13 << "rbcl2"
                                  << "";
    // At 31 characters the measurement setting came from its first character alone.
    QTest::newRow("system parameters") << "TForm8" << 0 << "0708010300C8766464640C0A5A" << 31 << "edtclsz"
                                       << "90";
    // At 81 characters the speed-down lower limit came from "05B" of "05BE".
    QTest::newRow("alarm limits") << "TForm10" << 0 << QString(40, '1') + QString(28, '2') + "05FA05BE" << 81
                                  << "edtssxx"
                                  << "1470";
}

void TestPageEngine::minimumReply() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QString, data);
    QFETCH(int, minimum);
    QFETCH(QString, lastControl);
    QFETCH(QString, lastText);
    const Page& page = pageNamed(window);
    const QString whole = test::blockReply(data);
    // Cut before the end of the check (whole - 2 is the check's last character, enough for a reply).
    const int cut = int(whole.size()) - 3;
    for (int length : {qMin(minimum - 1, cut), qMin(minimum, cut), cut}) {
        PageFixture f(page);
        fillAll(f.view, page, QStringLiteral("keep"));
        f.reply = whole.left(length);
        f.engine->read(block);
        QVERIFY(f.prompter.of("info").isEmpty());
        QCOMPARE(f.prompter.of("error").size(), 1);  // "no answer: nothing was read"
        QVERIFY(f.view.checked.isEmpty());
        for (const pages::Field& field : page.blocks[block].fields)
            if (field.kind != pages::FieldKind::Bit)
                QCOMPARE(f.view.text(field.control), QStringLiteral("keep"));
        QVERIFY(f.view.readWriteEnabled);
        QCOMPARE(f.poll.resumes, 1);
    }
    PageFixture f(page);
    f.reply = whole;
    f.engine->read(block);
    QCOMPARE(f.prompter.shown, QStringList{"info:pgread"});
    if (lastText.isEmpty())
        QVERIFY(f.view.isChecked(lastControl));
    else
        QCOMPARE(f.view.text(lastControl), lastText);
}

void TestPageEngine::writeFrames_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QStringList>("inputs");
    // Whole frames (with their check) where the controller's examples give them; otherwise the
    // request without its check.
    QTest::addColumn<QStringList>("expected");

    QStringList zeros = range("edtys", 3, 10, "=0");
    QTest::newRow("delays 30 and 5") << "TForm6" << 0 << (QStringList{"edtys1=30", "edtys2=5"} + zeros)
                                     << QStringList{"0007004C1E0550", "0007004E0000", "000700500000",
                                                    "000700520000", "000700540000"};
    QStringList alarms;
    for (int i = 11; i <= 22; ++i) alarms << QStringLiteral("edtys%1=%2").arg(i).arg(i - 10);
    QTest::newRow("delays 0x0056-0x0061")
        << "TForm6" << 1 << alarms << QStringList{"000700560102", "000700580304", "0007005A0506",
                                                  "0007005C0708", "0007005E090A", "000700600B0C"};

    QStringList curve = range("edtysy", 2, 8, "=0") + range("edtys", 2, 8, "=0");
    QStringList curveFrames{"0007018000FA7C", "000701820064E0"};
    for (int k = 2; k < 16; ++k)
        curveFrames << QStringLiteral("0007%1").arg(0x0180 + 2 * k, 4, 16, QLatin1Char('0')).toUpper() +
                           "0000";
    QTest::newRow("water temperature point 2.5 and 100")
        << "TForm7" << 0 << (QStringList{"edtysy1=2.5", "edtys1=100"} + curve) << curveFrames;

    QStringList monitor =
        range("edtjsy", 1, 7, "=0") + range("edtjs", 1, 8, "=0") + QStringList{"edtjsy8=1.234"};
    QStringList monitorFrames;
    for (int k = 0; k < 14; ++k)
        monitorFrames << QStringLiteral("0007%1").arg(0x01C0 + 2 * k, 4, 16, QLatin1Char('0')).toUpper() +
                             "0000";
    monitorFrames << "000701DC007B"
                  << "000701DE0000";  // 1.234 is stored as 123
    QTest::newRow("monitor point 8 rounded to hundredths") << "TForm7" << 2 << monitor << monitorFrames;

    const QStringList system{"edttkzs=1800", "edtsbdz=1",   "edtqdcs=3",   "edtctbl=200",
                             "edtflcs=118",  "edtswtz=100", "edtyytz=100", "edtywyw=100"};
    const QStringList systemFrames{"000700760708", "000700780103", "0007007A00C8", "0007007C7664",
                                   "0007007E6464"};
    QTest::newRow("system parameters, then the function-06 frame")
        << "TForm8" << 0 << system + QStringList{"edtclsz=1"} << systemFrames + QStringList{"00060082000185"};
    QTest::newRow("measurement setting 5 travels as 0005")
        << "TForm8" << 0 << system + QStringList{"edtclsz=5"} << systemFrames + QStringList{"000600820005"};
    QTest::newRow("alarm limits, then the two words beyond the skipped stretch")
        << "TForm10" << 0 << QStringList{"edtdysx=264",  "edtdyxx=196",  "edtdlsx=200",  "edtswsx=98",
                                         "edtyyxx=100",  "edtywxx=120",  "edtdzxx=22.0", "edtplsx=55.0",
                                         "edtplxx=45.0", "edtzssx=1725", "edtsssx=1530", "edtssxx=1470"}
        << QStringList{"000700620108", "0007006400C4", "0007006600C8", "000700680062",
                       "0007006A0064", "0007006C0078", "0007006E00DC", "000700700226",
                       "0007007201C2", "0007007406BD", "0007008405FA", "0007008605BE"};
    {
        // Station AB and phone 1 12345: 23 frames, 0x0150 to 0x017C.
        QStringList frames{"00070150414255"};
        for (int k = 1; k < 23; ++k)
            frames << QStringLiteral("0007%1").arg(0x0150 + 2 * k, 4, 16, QLatin1Char('0')).toUpper() +
                          (k < 8 ? "0000" : "FFFF");
        frames[8] = "000701601234";
        frames[9] = "000701625FFF";
        QTest::newRow("SMS station AB, phone 12345")
            << "Tgsm" << 0
            << QStringList{"edtzddz=AB", "edtsj1=12345", "edtsj2=", "edtsj3=", "edtsj4=", "edtsj5="}
            << frames;
        // 11 digits get one "F", 12 none.
        frames[11] = "000701661234";
        frames[12] = "000701685678";
        frames[13] = "0007016A901F";
        frames[14] = "0007016C1234";
        frames[15] = "0007016E5678";
        frames[16] = "000701709012";
        QTest::newRow("SMS phones of 11 and 12 digits")
            << "Tgsm" << 0 << QStringList{"edtzddz=AB",          "edtsj1=12345", "edtsj2=12345678901",
                                          "edtsj3=123456789012", "edtsj4=",      "edtsj5="}
            << frames;
        // A Latin name of 16 bytes fills the field.
        QStringList latin;
        for (int k = 0; k < 23; ++k)
            latin << QStringLiteral("0007%1").arg(0x0150 + 2 * k, 4, 16, QLatin1Char('0')).toUpper() +
                         (k < 8 ? "0000" : "FFFF");
        const QStringList bytes{"4142", "4344", "4546", "4748", "494A", "4B4C", "4D4E", "4F50"};
        for (int k = 0; k < 8; ++k)
            latin[k] =
                QStringLiteral("0007%1").arg(0x0150 + 2 * k, 4, 16, QLatin1Char('0')).toUpper() + bytes[k];
        QTest::newRow("SMS Latin name of 16 bytes")
            << "Tgsm" << 0
            << QStringList{"edtzddz=ABCDEFGHIJKLMNOP", "edtsj1=", "edtsj2=", "edtsj3=", "edtsj4=", "edtsj5="}
            << latin;
        // A double-byte character of the code page (中 is D6 D0 in GBK) as the 15th and 16th bytes.
        QStringList gbk = latin;
        gbk[7] = "0007015ED6D0";
        QTest::newRow("SMS GBK name of 16 bytes")
            << "Tgsm" << 0
            << QStringList{"edtzddz=ABCDEFGHIJKLMN中", "edtsj1=", "edtsj2=", "edtsj3=", "edtsj4=", "edtsj5="}
            << gbk;
    }
    QTest::newRow("speed sensor and line voltage")
        << "TForm9" << 0 << QStringList{"rbsd2", "rbdz1", "rbwc1", "rbjc1", "rbww1", "rbfy1",
                                        "rbdc1", "rbxz1", "rbcl2", "rbqh1", "rb999", "rbbg1"}
        << QStringList{"00070080010187"};
    QTest::newRow("every second radio")
        << "TForm9" << 0 << QStringList{"rbsd2", "rbdz2", "rbwc2", "rbjc2", "rbww2", "rbfy2",
                                        "rbdc2", "rbxz2", "rbcl2", "rbqh2", "rb991", "rbbg2"}
        << QStringList{"00070080FF0F"};
}

void TestPageEngine::writeFrames() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, expected);
    PageFixture f(pageNamed(window));
    apply(f.view, inputs);
    f.poll.pollState = 4;
    f.engine->write(block);
    const QStringList frames = f.frames();
    // The frames, then the block's own read request, which reads back what the controller stored.
    QCOMPARE(frames.size(), expected.size() + 1);
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(expected[i].size() == 14 ? frames[i] : frames[i].left(12), expected[i]);
    QCOMPARE(frames.last().left(12), readRequestOf(window, block));
    // A second before every frame and one after the last, then the read's wait steps.
    const int steps = window == QLatin1String("TForm10") ? 500 : 300;
    QCOMPARE(f.sleeper.total, 1000 * (expected.size() + 1) + steps);
    QCOMPARE(f.prompter.shown, QStringList{"error:pgnoanswer"});  // nothing answers the read-back
    QCOMPARE(f.view.enabledLog, (QList<bool>{false, true}));
    QVERIFY(!f.view.progressVisible);
    QCOMPARE(f.view.progressLog.first(), 1);
    // pb1 ends at 4k+1 of the last image frame, at 48 after the alarm limits' first extra frame, at 18
    // after the control bits' final wait.
    const QHash<QString, int> lastProgress{{"TForm6", 4 * (expected.size() - 1) + 1},
                                           {"TForm7", 61},
                                           {"TForm8", 17},
                                           {"TForm9", 18},
                                           {"TForm10", 48},
                                           {"Tgsm", 89}};
    QCOMPARE(f.view.progressLog.last(), lastProgress.value(window));
    QCOMPARE(f.poll.stops, 1);
    QCOMPARE(f.poll.resumes, 1);
    QCOMPARE(f.poll.pollState, 1);
}

void TestPageEngine::saveThenLoad_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("keys");      // in the order they are written
    QTest::addColumn<QStringList>("controls");  // the same order
    QTest::newRow("delays start sequence")
        << "TForm6" << 0 << "Ys" << range("ys", 1, 10) << range("edtys", 1, 10);
    QTest::newRow("delays alarms") << "TForm6" << 1 << "Ys" << range("ys", 11, 22) << range("edtys", 11, 22);
    QTest::newRow("water temperature curve")
        << "TForm7" << 0 << "Sw" << range("ys", 1, 8) + range("ysy", 1, 8)
        << range("edtys", 1, 8) + range("edtysy", 1, 8);
    QTest::newRow("oil pressure curve") << "TForm7" << 1 << "Yy" << range("yy", 1, 8) + range("yyy", 1, 8)
                                        << range("edtyy", 1, 8) + range("edtyyy", 1, 8);
    QTest::newRow("monitor curve") << "TForm7" << 2 << "Js" << range("js", 1, 8) + range("jsy", 1, 8)
                                   << range("edtjs", 1, 8) + range("edtjsy", 1, 8);
    QTest::newRow("system parameters")
        << "TForm8" << 0 << "St"
        << QStringList{"sbdz", "qdcs", "ctbl", "flcs", "swtz", "yytz", "ywyw", "clsz", "tkzs"}
        << QStringList{"edtsbdz", "edtqdcs", "edtctbl", "edtflcs", "edtswtz",
                       "edtyytz", "edtywyw", "edtclsz", "edttkzs"};
    QTest::newRow("alarm limits") << "TForm10" << 0 << "Bj"
                                  << QStringList{"dysx", "dyxx", "dlsx", "swsx", "yyxx", "ywxx",
                                                 "dzxx", "plsx", "plxx", "zssx", "sssx", "ssxx"}
                                  << QStringList{"edtdysx", "edtdyxx", "edtdlsx", "edtswsx",
                                                 "edtyyxx", "edtywxx", "edtdzxx", "edtplsx",
                                                 "edtplxx", "edtzssx", "edtsssx", "edtssxx"};
    QTest::newRow("SMS settings") << "Tgsm" << 0 << "Gsm"
                                  << QStringList{"address", "sj1", "sj2", "sj3", "sj4", "sj5"}
                                  << QStringList{"edtzddz", "edtsj1", "edtsj2", "edtsj3", "edtsj4", "edtsj5"};
    QTest::newRow("control bits") << "TForm9" << 0 << "Kz" << QStringList{"sd", "dz", "wc", "jc", "ww", "fy",
                                                                          "dc", "xz", "bg", "yy", "qh", "cl"}
                                  << QStringList{"rbsd2", "rbdz1", "rbwc2", "rbjc1", "rbww2", "rbfy1",
                                                 "rbdc2", "rbxz1", "rbbg2", "rb999", "rbqh2", "rbcl1"};
}

void TestPageEngine::saveThenLoad() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QString, section);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, controls);
    const Page& page = pageNamed(window);
    PageFixture f(page);
    const bool radios = controls.first().startsWith(QLatin1String("rb"));
    for (int i = 0; i < controls.size(); ++i) {
        if (radios)
            f.view.click(controls[i]);
        else
            f.view.type(controls[i], QStringLiteral("%1.5x").arg(i));  // texts are kept as typed
    }
    f.engine->save(block);
    QCOMPARE(f.prompter.shown, QStringList{"info:pgfilesaved"});
    QCOMPARE(keysInFile(f.config.filePath("system.ini"), section), keys);
    if (radios) {
        for (int i = 0; i < keys.size(); ++i)
            QCOMPARE(f.config.reini("system.ini", section, keys[i]),
                     QString(controls[i].endsWith('2') || controls[i] == "rb991" ? "1" : "0"));
    }
    f.view.texts.clear();
    f.view.checked.clear();
    f.engine->load(block);
    QCOMPARE(f.prompter.shown, (QStringList{"info:pgfilesaved", "info:pgfileloaded"}));
    for (int i = 0; i < controls.size(); ++i) {
        if (radios)
            QVERIFY2(f.view.isChecked(controls[i]), qPrintable(controls[i]));
        else
            QCOMPARE(f.view.text(controls[i]), QStringLiteral("%1.5x").arg(i));
    }
    // Only this block's controls were loaded.
    if (!radios) QCOMPARE(f.view.texts.size(), controls.size());
}

void TestPageEngine::blockNeverSavedLoadsNothing_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("message");  // the block named as the page's title, and its part
    // The first block's keys are in the file: the second block was still never saved.
    QTest::newRow("delays alarms") << "TForm6" << 1 << "TForm6/油压低延时..降速延时: nothing saved";
    QTest::newRow("monitor curve") << "TForm7" << 2 << "TForm7/监视曲线: nothing saved";
    QTest::newRow("system parameters") << "TForm8" << 0 << "TForm8: nothing saved";
    QTest::newRow("alarm limits") << "TForm10" << 0 << "TForm10: nothing saved";
    QTest::newRow("SMS settings") << "Tgsm" << 0 << "Tgsm: nothing saved";
    QTest::newRow("control bits") << "TForm9" << 0 << "TForm9: nothing saved";
}

void TestPageEngine::blockNeverSavedLoadsNothing() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QString, message);
    const Page& page = pageNamed(window);
    PageFixture f(page);
    f.config.wriniBatch("system.ini", {{"Ys", "ys1", "5"}, {"Ys", "ys10", "5"}, {"Sw", "ys1", "5"}});
    fillAll(f.view, page, QStringLiteral("keep"));
    f.view.click(QStringLiteral("rbsd2"));  // on the control bits page
    const QHash<QString, QString> texts = f.view.texts;
    const QSet<QString> checked = f.view.checked;
    f.engine->load(block);
    QCOMPARE(f.prompter.shown, QStringList{"info:" + message});
    QCOMPARE(f.view.texts, texts);
    QCOMPARE(f.view.checked, checked);
}

void TestPageEngine::partlySavedBlockLoadsNothing() {
    PageFixture f(pages::alarmLimitsPage());
    f.config.wriniBatch("system.ini", {{"Bj", "dysx", "264"}, {"Bj", "ssxx", "1470"}});
    f.engine->load(0);
    QCOMPARE(f.prompter.shown.size(), 1);
    QVERIFY2(f.prompter.shown.first().startsWith("info:TForm10: missing 机组电压下限, 机组电流上限, "),
             qPrintable(f.prompter.shown.first()));
    QVERIFY(!f.prompter.shown.first().contains("机组电压上限"));
    QVERIFY(f.view.texts.isEmpty());
    // Nothing loaded, nothing to write.
    f.engine->write(0);
    QVERIFY(f.port.written.isEmpty());
}

void TestPageEngine::savedValueOtherThanOneSelectsTheFirstRadio() {
    PageFixture f(pages::controlBitsPage());
    QList<config::IniEntry> saved;
    for (const char* key : {"sd", "dz", "wc", "jc", "ww", "fy", "dc", "xz", "bg", "yy", "qh", "cl"})
        saved.append({"Kz", key, "1"});
    saved[0].value = "2";
    saved[9].value = "";
    f.config.wriniBatch("system.ini", saved);
    f.engine->load(0);
    QCOMPARE(f.prompter.shown, QStringList{"info:pgfileloaded"});
    QCOMPARE(f.view.checked, (QSet<QString>{"rbsd1", "rbdz2", "rbwc2", "rbjc2", "rbww2", "rbfy2", "rbdc2",
                                            "rbxz2", "rbbg2", "rb999", "rbqh2", "rbcl2"}));
}

void TestPageEngine::saveThatCannotWriteIsReportedWithoutDl18() {
    PageFixture f(pages::systemPage());
    QVERIFY(QDir(f.dir.path()).mkdir("system.ini"));  // a folder in its place: no write can succeed
    fillAll(f.view, pages::systemPage(), QStringLiteral("1"));
    f.engine->save(0);
    QCOMPARE(f.prompter.shown.size(), 1);
    QVERIFY(f.prompter.shown.first().startsWith(QLatin1String("error:Unable to write to ")));
}

void TestPageEngine::cancelClearsAndCloses() {
    for (const Page* page : {&pages::delayPage(), &pages::curvePage(), &pages::controlBitsPage()}) {
        PageFixture f(*page);
        fillAll(f.view, *page, QStringLiteral("7"));
        if (page->window == QLatin1String("TForm9")) f.view.click(QStringLiteral("rbsd2"));
        f.view.setReadWriteEnabled(false);
        f.engine->press(pages::buttonName(int(page->blocks.size()) - 1, pages::kCancel));
        QVERIFY(f.view.closed);
        QVERIFY(f.view.readWriteEnabled);
        QVERIFY(f.view.checked.isEmpty());
        for (const QString& t : f.view.texts) QVERIFY(t.isEmpty());
        // The cleared page holds no values: a write right after cancel is refused.
        f.engine->write(0);
        QCOMPARE(f.prompter.of("info").size(), 1);
        QVERIFY(f.prompter.of("info").first().contains(": read first: "));
        QVERIFY(f.port.written.isEmpty());
    }
}

void TestPageEngine::cancelDuringAnExchangeTakesEffectAfterIt_data() {
    QTest::addColumn<bool>("writing");
    QTest::newRow("read") << false;
    QTest::newRow("write") << true;
}

void TestPageEngine::cancelDuringAnExchangeTakesEffectAfterIt() {
    QFETCH(bool, writing);
    const Page& page = pages::delayPage();
    PageFixture f(page);
    fillAll(f.view, page, QStringLiteral("1"));
    f.useController();
    bool pressed = false;
    QString textWhenCancelled;
    f.view.duringEvents = [&] {
        if (pressed) return;
        pressed = true;
        f.engine->press(QStringLiteral("btnsz5"));
        textWhenCancelled = f.view.text("edtys1");
    };
    if (writing)
        f.engine->write(0);
    else
        f.engine->read(0);
    QVERIFY(pressed);
    QCOMPARE(textWhenCancelled, QStringLiteral("1"));     // nothing cleared while the exchange runs
    if (writing) QCOMPARE(f.port.written.size(), 5 + 1);  // every frame still went out, and the read-back
    QCOMPARE(f.prompter.shown, QStringList{writing ? "info:pgverified" : "info:pgread"});
    QVERIFY(f.view.closed);
    QCOMPARE(f.view.text("edtys1"), QString());
    QCOMPARE(f.view.text("edtys22"), QString());
    QVERIFY(f.view.readWriteEnabled);
    QCOMPARE(f.poll.resumes, 1);
}

void TestPageEngine::refusalSendsNothing_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("byte over 255") << "TForm6" << 0 << "edtys3"
                                   << "256"
                                   << "启动间隔延时: 0-255";
    QTest::newRow("negative byte") << "TForm6" << 1 << "edtys22"
                                   << "-1"
                                   << "降速延时: 0-255";
    QTest::newRow("not a number") << "TForm6" << 0 << "edtys10"
                                  << "1O"
                                  << "升速延时: 0-255";
    // A protection's delay has its physical range, a minute at most.
    QTest::newRow("empty") << "TForm6" << 1 << "edtys11"
                           << ""
                           << "油压低延时: 0-60";
    QTest::newRow("cranking over 60 s") << "TForm6" << 0 << "edtys4"
                                        << "61"
                                        << "启动运转延时: 0-60";
    // A sign, a null character or an exponent is not part of a stored number.
    QTest::newRow("plus sign") << "TForm6" << 0 << "edtys1"
                               << "+5"
                               << "冷却停机延时: 0-255";
    QTest::newRow("null character") << "TForm6" << 0 << "edtys1" << QString("5") + QChar(0)
                                    << "冷却停机延时: 0-255";
    QTest::newRow("exponent in a word") << "TForm7" << 0 << "edtys2"
                                        << "1e3"
                                        << "水温曲线/水温2: 0-65535";
    QTest::newRow("plus sign in hundredths") << "TForm7" << 1 << "edtyyy8"
                                             << "+1.5"
                                             << "油压曲线/电压值8: 0.00-655.35";
    QTest::newRow("decimals in a byte") << "TForm6" << 0 << "edtys1"
                                        << "1.5"
                                        << "冷却停机延时: 0-255";
    // The curves' fields share their captions: the refusal names the curve too.
    QTest::newRow("word over 65535") << "TForm7" << 0 << "edtys2"
                                     << "65536"
                                     << "水温曲线/水温2: 0-65535";
    QTest::newRow("hundredths over 655.35") << "TForm7" << 1 << "edtyyy8"
                                            << "655.36"
                                            << "油压曲线/电压值8: 0.00-655.35";
    QTest::newRow("negative hundredths") << "TForm7" << 2 << "edtjsy1"
                                         << "-0.5"
                                         << "监视曲线/电压值1: 0.00-655.35";
    QTest::newRow("trip speed over 65535") << "TForm8" << 0 << "edttkzs"
                                           << "70000"
                                           << "脱扣转速: 0-65535";
    // The function-06 field is checked with the others, before the five image frames.
    QTest::newRow("measurement setting over 255") << "TForm8" << 0 << "edtclsz"
                                                  << "256"
                                                  << "测量设置: 0-255";
    // The alarm limits are typed and refused in the unit beside them.
    QTest::newRow("limit of an extra frame") << "TForm10" << 0 << "edtssxx"
                                             << "65536"
                                             << "降速下限: 0-65535 转/分钟";
    QTest::newRow("limit not a number") << "TForm10" << 0 << "edtdzxx"
                                        << "22.0V"
                                        << "电池电压下限: 0.0-6553.5 V";
    QTest::newRow("battery limit beyond the word") << "TForm10" << 0 << "edtdzxx"
                                                   << "6553.6"
                                                   << "电池电压下限: 0.0-6553.5 V";
    QTest::newRow("negative frequency limit") << "TForm10" << 0 << "edtplxx"
                                              << "-0.1"
                                              << "机组频率下限: 0.0-6553.5 Hz";
    QTest::newRow("temperature limit in tenths") << "TForm10" << 0 << "edtswsx"
                                                 << "95.5"
                                                 << "水温上限: 0-65535 °C";
    // Every other field holds 1: an upper limit of 0 lies below its lower limit.
    QTest::newRow("voltage upper below lower") << "TForm10" << 0 << "edtdysx"
                                               << "0"
                                               << "机组电压上限 0 V below 机组电压下限 1 V";
    QTest::newRow("frequency upper below lower") << "TForm10" << 0 << "edtplsx"
                                                 << "0"
                                                 << "机组频率上限 0.0 Hz below 机组频率下限 1.0 Hz";
    QTest::newRow("speed-up below speed-down") << "TForm10" << 0 << "edtsssx"
                                               << "0"
                                               << "升速上限 0 转/分钟 below 降速下限 1 转/分钟";
    QTest::newRow("phone with a dash") << "Tgsm" << 0 << "edtsj1"
                                       << "12-34"
                                       << "报警手机1: digits";
    QTest::newRow("phone with an F") << "Tgsm" << 0 << "edtsj3"
                                     << "12F4"
                                     << "报警手机3: digits";
    QTest::newRow("phone of 13 digits") << "Tgsm" << 0 << "edtsj5"
                                        << "1234567890123"
                                        << "报警手机5: digits";
    // A name is never cut on its way to the controller: one over its 16 bytes is refused.
    QTest::newRow("Latin name of 17 bytes") << "Tgsm" << 0 << "edtzddz"
                                            << "ABCDEFGHIJKLMNOPQ"
                                            << "站点地址: 16 bytes, not 17";
    QTest::newRow("GBK name whose last character would be cut") << "Tgsm" << 0 << "edtzddz"
                                                                << "ABCDEFGHIJKLMNO中"
                                                                << "站点地址: 16 bytes, not 17";
    QTest::newRow("name outside the code page") << "Tgsm" << 0 << "edtzddz"
                                                << "A\U0001F600"
                                                << "站点地址: code page";
    QTest::newRow("hundredths not a number") << "TForm7" << 2 << "edtjsy3"
                                             << "2,5V"
                                             << "监视曲线/电压值3: 0.00-655.35";
}

void TestPageEngine::refusalSendsNothing() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, message);
    const Page& page = pageNamed(window);
    PageFixture f(page);
    fillAll(f.view, page, QStringLiteral("1"));
    f.view.type(control, text);
    const int purges = f.port.purgeCount;
    f.engine->write(block);
    QCOMPARE(f.prompter.shown, QStringList{"info:" + message});
    QVERIFY(f.port.written.isEmpty());
    QCOMPARE(f.port.purgeCount, purges);
    QCOMPARE(f.poll.stops, 0);
    QCOMPARE(f.sleeper.total, 0);
    QCOMPARE(f.view.focused, control);
    QVERIFY(f.view.enabledLog.isEmpty());
    QCOMPARE(f.view.text(control), text);
}

void TestPageEngine::boundaryValuesGoOut_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("request");
    QTest::newRow("byte 255") << "TForm6" << 0 << "edtys2"
                              << "255" << 0 << "0007004C01FF";
    QTest::newRow("byte 0") << "TForm6" << 0 << "edtys1"
                            << "0" << 0 << "0007004C0001";
    QTest::newRow("word 65535") << "TForm7" << 0 << "edtys1"
                                << "65535" << 1 << "00070182FFFF";
    QTest::newRow("hundredths 655.35") << "TForm7" << 0 << "edtysy1"
                                       << "655.35" << 0 << "00070180FFFF";
    QTest::newRow("hundredths 655.354 rounds down") << "TForm7" << 0 << "edtysy1"
                                                    << "655.354" << 0 << "00070180FFFF";
}

void TestPageEngine::boundaryValuesGoOut() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(int, frame);
    QFETCH(QString, request);
    const Page& page = pageNamed(window);
    PageFixture f(page);
    fillAll(f.view, page, QStringLiteral("1"));
    f.view.type(control, text);
    f.engine->write(block);
    QCOMPARE(f.frames().value(frame).left(12), request);
    QCOMPARE(f.prompter.shown, QStringList{"error:pgnoanswer"});
}

void TestPageEngine::garbledReplyIsNotCalledSilence() {
    // The delay page's first block: silence, then a whole reply with one check character changed.
    PageFixture f(pages::delayPage());
    f.engine->read(0);
    QCOMPARE(f.prompter.shown.size(), 1);
    QVERIFY2(f.prompter.shown.at(0).startsWith("error:") && f.prompter.shown.at(0).endsWith(": no answer"),
             qPrintable(f.prompter.shown.at(0)));
    QString reply = link::BuildFrame("00040A" + QString(20, QLatin1Char('0')));
    reply[reply.size() - 3] =
        reply.at(reply.size() - 3) == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    f.reply = reply;
    f.prompter.shown.clear();
    f.engine->read(0);
    QCOMPARE(f.prompter.shown.size(), 1);
    QVERIFY2(f.prompter.shown.at(0).startsWith("error:") && f.prompter.shown.at(0).endsWith(": garbled"),
             qPrintable(f.prompter.shown.at(0)));
}

void TestPageEngine::portThatCannotReopenIsReportedOnce() {
    PageFixture f(pages::curvePage());
    f.port.failOpen = true;
    f.engine->read(1);
    QCOMPARE(f.prompter.shown, QStringList{"error:Could not open COM1"});
    QVERIFY(f.port.written.isEmpty());
    QVERIFY(f.view.readWriteEnabled);
    QVERIFY(!f.view.progressVisible);
    QCOMPARE(f.poll.stops, 1);
    QCOMPARE(f.poll.resumes, 1);
    QVERIFY(f.poll.running);
    // The next read, on a port that opens again, works.
    f.port.failOpen = false;
    f.reply = test::blockReply(QString(64, '0'));
    f.engine->read(1);
    QCOMPARE(f.prompter.shown.last(), QStringLiteral("info:pgread"));
}

// A reply with a character that is not hexadecimal fails its check: nothing of it is decoded, not
// even the fields before the bad one, and the page says nothing was read (the same as no reply).
void TestPageEngine::nonHexadecimalFieldStopsTheDecoding() {
    const Page& page = pages::delayPage();
    PageFixture f(page);
    fillAll(f.view, page, QStringLiteral("keep"));
    f.reply = test::blockReply("0102030405060708090A");
    f.reply[10] = QLatin1Char('X');
    f.engine->read(0);
    QVERIFY(f.prompter.of("info").isEmpty());
    QCOMPARE(f.prompter.of("error").size(), 1);  // "no answer: nothing was read"
    QCOMPARE(f.view.text("edtys1"), QStringLiteral("keep"));
    QCOMPARE(f.view.text("edtys2"), QStringLiteral("keep"));
    QCOMPARE(f.view.text("edtys3"), QStringLiteral("keep"));
    QVERIFY(f.view.readWriteEnabled);
    QCOMPARE(f.poll.resumes, 1);
}

void TestPageEngine::serialErrorDuringWriteRestoresThePage() {
    const Page& page = pages::controlBitsPage();
    PageFixture f(page);
    apply(f.view, {"rbsd1", "rbdz1", "rbwc1", "rbjc1", "rbww1", "rbfy1", "rbdc1", "rbxz1", "rbcl1", "rbqh1",
                   "rb999", "rbbg1"});
    f.port.failWrite = true;
    f.engine->write(0);
    QCOMPARE(f.prompter.shown, QStringList{"error:write failed"});
    QVERIFY(f.view.readWriteEnabled);
    QVERIFY(!f.view.progressVisible);
    QCOMPARE(f.poll.stops, 1);
    QCOMPARE(f.poll.resumes, 1);
    QCOMPARE(f.poll.pollState, 1);
}

namespace {
QStringList smsControls(const QString& name) {
    return {"edtzddz=" + name, "edtsj1=", "edtsj2=", "edtsj3=", "edtsj4=", "edtsj5="};
}
}  // namespace

void TestPageEngine::chineseNamePacksAsUtf16AndReadsBack() {
    PageFixture f(pages::smsPage(), QStringLiteral("Chinese"));
    apply(f.view, smsControls(QStringLiteral("中文")));
    f.engine->write(0);
    const QStringList frames = f.frames();
    QCOMPARE(frames.size(), 23 + 1);  // and the read-back
    QCOMPARE(frames[0].left(12), QStringLiteral("000701504E2D"));
    QCOMPARE(frames[1].left(12), QStringLiteral("000701526587"));
    QCOMPARE(frames[2].left(12), QStringLiteral("000701540000"));
    f.reply = test::blockReply("4E2D6587" + QString(24, '0') + QString(60, 'F'));
    f.view.texts.clear();
    f.engine->read(0);
    QCOMPARE(f.view.text("edtzddz"), QStringLiteral("中文"));
    QCOMPARE(f.view.text("edtsj1"), QString());
}

void TestPageEngine::chineseNameOverEightUnitsIsRefused() {
    // Eight UTF-16 units fill the field; a ninth is refused with the limit, nothing sent.
    PageFixture f(pages::smsPage(), QStringLiteral("Chinese"));
    apply(f.view, smsControls(QStringLiteral("一二三四五六七八九")));
    f.engine->write(0);
    QVERIFY(f.port.written.isEmpty());
    QCOMPARE(f.prompter.shown, QStringList{QStringLiteral("info:站点地址: 8 units, not 9")});
    f.view.type("edtzddz", QStringLiteral("一二三四五六七八"));
    f.engine->write(0);
    QCOMPARE(f.frames()[7].left(12), QStringLiteral("0007015E516B"));  // 八, the eighth unit
    QCOMPARE(f.frames()[8].left(12), QStringLiteral("00070160FFFF"));
}

// The SMS page once decoded a reply whatever its length; a cut reply fails its check now, in every
// language: the name and phones keep their texts and nothing is shown.
void TestPageEngine::shortSmsReply_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("reply");
    QTest::newRow("Chinese") << "Chinese"
                             << "00042E4E2D65";
    QTest::newRow("Chinese, no data") << "Chinese"
                                      << "";
    QTest::newRow("other language") << "English"
                                    << "00042E414";
}

void TestPageEngine::shortSmsReply() {
    QFETCH(QString, language);
    QFETCH(QString, reply);
    PageFixture f(pages::smsPage(), language);
    fillAll(f.view, pages::smsPage(), QStringLiteral("keep"));
    f.reply = reply;
    f.engine->read(0);
    QCOMPARE(f.view.text("edtzddz"), QStringLiteral("keep"));
    QCOMPARE(f.view.text("edtsj5"), QStringLiteral("keep"));
    QVERIFY(f.prompter.of("info").isEmpty());
    QCOMPARE(f.prompter.of("error").size(), 1);  // "no answer: nothing was read"
    QVERIFY(f.view.readWriteEnabled);
    QCOMPARE(f.poll.resumes, 1);
}

void TestPageEngine::emptyNameTravelsAsZeros() {
    for (const QString& language : {QStringLiteral("English"), QStringLiteral("Chinese")}) {
        PageFixture f(pages::smsPage(), language);
        apply(f.view, smsControls(QString()));
        f.engine->write(0);
        for (int k = 0; k < 8; ++k) QCOMPARE(f.frames()[k].mid(8, 4), QStringLiteral("0000"));
        f.reply = test::blockReply(QString(32, '0') + QString(60, 'F'));
        f.view.setText("edtzddz", "x");
        f.engine->read(0);
        QCOMPARE(f.view.text("edtzddz"), QString());
    }
}

void TestPageEngine::smsWaitsAfterAFailedReopen() {
    PageFixture f(pages::smsPage());
    f.port.failOpen = true;
    f.engine->read(0);
    QCOMPARE(f.sleeper.sleeps, QList<int>{600});
    QCOMPARE(f.prompter.of("error").size(), 1);
    PageFixture d(pages::delayPage());
    d.port.failOpen = true;
    d.engine->read(0);
    QVERIFY(d.sleeper.sleeps.isEmpty());
}

namespace {
/// The shipped catalogue of `language`.
config::Catalogue shippedCatalogue(const QString& language) {
    return config::Catalogue::load(
        config::Config(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data")), language);
}
QString said(const QString& data, const QString& language) {
    const auto text = config::CatalogueText::fromJsonText(data);
    return text ? text->render(shippedCatalogue(language)) : QStringLiteral("(no text)");
}
}  // namespace

void TestPageEngine::writeTellsTheJournalValuesToSayInEitherLanguage() {
    // The delay page, written in a session of the test catalogue: each language says it in its words.
    PageFixture f(pageNamed(QStringLiteral("TForm6")));
    f.useController();  // factory delays 60, 5, 10, ...
    f.engine->read(0);
    f.view.type(QStringLiteral("edtys1"), QStringLiteral("30"));
    f.view.type(QStringLiteral("edtys2"), QStringLiteral("7"));
    f.engine->write(0);
    QCOMPARE(f.writtenData.size(), 1);
    QCOMPARE(said(f.writtenData[0], "English"),
             QStringLiteral("Delay Settings, block 1: written and verified; Cool-down stop delay: 60 -> 30; "
                            "Start delay: 5 -> 7"));
    QCOMPARE(
        said(f.writtenData[0], "Chinese"),
        QString::fromUtf8("延迟设置，第 1 块：已写入并校验; 冷却停机延时：60 → 30; 机组启动延时：5 → 7"));
    QJsonObject whole;
    QVERIFY(config::CatalogueText::fromJsonText(f.writtenData[0], &whole));
    QCOMPARE(whole.value("o").toString(), QStringLiteral("TForm6"));  // the window, for the export

    // A choice reads as its radio button's caption, never as 0 or 1.
    PageFixture bits(pages::controlBitsPage());
    bits.useController();
    bits.engine->read(0);
    const bool sensor = bits.view.checked.contains(QStringLiteral("rbsd2"));
    bits.view.click(sensor ? QStringLiteral("rbsd1") : QStringLiteral("rbsd2"));
    bits.engine->write(0);
    QCOMPARE(bits.writtenData.size(), 1);
    const QString english = said(bits.writtenData[0], "English");
    const QString chinese = said(bits.writtenData[0], "Chinese");
    QCOMPARE(english, sensor
                          ? QStringLiteral("Control Bits, block 1: written and verified; Speed source: Speed "
                                           "sensor -> Generator frequency")
                          : QStringLiteral("Control Bits, block 1: written and verified; Speed source: "
                                           "Generator frequency -> Speed sensor"));
    QCOMPARE(chinese,
             sensor
                 ? QString::fromUtf8("控制位设置，第 1 块：已写入并校验; 速度源：速度传感器 → 油机电源频率")
                 : QString::fromUtf8("控制位设置，第 1 块：已写入并校验; 速度源：油机电源频率 → 速度传感器"));

    // A silent controller: what was sent, each choice by its caption.
    bits.controller->silent = true;
    bits.engine->write(0);
    QCOMPARE(bits.writtenData.size(), 2);
    const QString unverified = said(bits.writtenData[1], "English");
    QVERIFY2(unverified.startsWith(QStringLiteral(
                 "Control Bits, block 1: written, no answer: not verified; sent; Speed source = ")),
             qPrintable(unverified));
    QVERIFY2(!unverified.contains(QStringLiteral(" = 0")) && !unverified.contains(QStringLiteral(" = 1")),
             qPrintable(unverified));
}

void TestPageEngine::writeTellsTheJournalOldAndNewValues() {
    const Page& page = pageNamed(QStringLiteral("TForm6"));
    PageFixture f(page);
    f.useController();  // factory delays 60, 5, 10, 8, ...
    f.engine->read(0);
    f.view.type(QStringLiteral("edtys1"), QStringLiteral("30"));
    f.view.type(QStringLiteral("edtys2"), QStringLiteral("7"));
    f.engine->write(0);
    QCOMPARE(f.written.size(), 1);
    const QString detail = f.written.first();
    QVERIFY2(detail.startsWith(QStringLiteral("TForm6 (TForm6), block 1: written and verified; ")),
             qPrintable(detail));
    QVERIFY2(detail.contains(QStringLiteral("冷却停机延时: 60 → 30")) &&
                 detail.contains(QStringLiteral("机组启动延时: 5 → 7")),
             qPrintable(detail));
    QVERIFY2(!detail.contains(QStringLiteral("10 → 10")), qPrintable(detail));  // unchanged fields stay out
    // The values written are what the controller holds now: the same write again changes nothing.
    f.engine->write(0);
    QVERIFY2(f.written.last().endsWith(QStringLiteral("no value changed since the last read")),
             qPrintable(f.written.last()));
    // A block never read: every field with the value the controller holds.
    for (const pages::Field& field : page.blocks[1].fields) f.view.type(field.control, QStringLiteral("7"));
    f.engine->write(1);
    QCOMPARE(f.written.size(), 3);
    QVERIFY2(f.written.last().contains(QStringLiteral("降速延时 = 7")), qPrintable(f.written.last()));
    // A refused write tells nothing.
    f.view.type(QStringLiteral("edtys1"), QStringLiteral("256"));
    f.engine->write(0);
    QCOMPARE(f.written.size(), 3);
}

void TestPageEngine::alarmLimitsRoundTripInTheirUnits_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");   // as the operator types it
    QTest::addColumn<QString>("frame");  // the word write, check included (0x006E battery low...)
    QTest::addColumn<QString>("shown");  // what the page shows once the controller holds it
    // The controller holds the battery and the frequencies in tenths, the rest whole.
    QTest::newRow("battery low 22.5 V") << "edtdzxx"
                                        << "22.5"
                                        << "0007006E00E188"
                                        << "22.5";
    QTest::newRow("battery 22.46 V to the nearest tenth") << "edtdzxx"
                                                          << "22.46"
                                                          << "0007006E00E188"
                                                          << "22.5";
    QTest::newRow("battery low 0 V") << "edtdzxx"
                                     << "0"
                                     << "0007006E000069"
                                     << "0.0";
    QTest::newRow("battery at the top of the word") << "edtdzxx"
                                                    << "6553.5"
                                                    << "0007006EFFFF69"
                                                    << "6553.5";
    QTest::newRow("frequency upper 55 Hz") << "edtplsx"
                                           << "55"
                                           << "00070070022653"
                                           << "55.0";
    QTest::newRow("frequency lower 47.5 Hz") << "edtplxx"
                                             << "47.5"
                                             << "0007007201DBAF"
                                             << "47.5";
    QTest::newRow("voltage upper 264 V") << "edtdysx"
                                         << "264"
                                         << "0007006201086C"
                                         << "264";
}

// A limit typed in its unit goes out as the word the controller keeps, is read back from the
// controller as the same value, and system.ini keeps the stored number as it always did.
void TestPageEngine::alarmLimitsRoundTripInTheirUnits() {
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, frame);
    QFETCH(QString, shown);
    PageFixture f(pages::alarmLimitsPage());
    f.useController();
    apply(f.view,
          {"edtdysx=264", "edtdyxx=196", "edtdlsx=200", "edtswsx=98", "edtyyxx=100", "edtywxx=120",
           "edtdzxx=22.0", "edtplsx=55.0", "edtplxx=45.0", "edtzssx=1725", "edtsssx=1530", "edtssxx=1470"});
    f.view.type(control, text);
    f.engine->write(0);
    QVERIFY2(f.frames().contains(frame), qPrintable(f.frames().join(' ')));
    QCOMPARE(f.prompter.shown, QStringList{"info:pgverified"});
    QCOMPARE(f.view.text(control), shown);
    f.engine->save(0);
    const QString key = pages::alarmLimitsPage().blocks[0].field(control)->key;
    QCOMPARE(f.config.reini("system.ini", "Bj", key), QString::number(frame.mid(8, 4).toUInt(nullptr, 16)));
    f.view.texts.clear();
    f.engine->load(0);
    QCOMPARE(f.view.text(control), shown);
}

// A system.ini written before the limits were shown in their units holds the stored numbers
// (battery low 220 for 22.0 V): they load as the same limits, not ten times them.
void TestPageEngine::alarmLimitsFromAnOlderFileKeepTheirValue() {
    PageFixture f(pages::alarmLimitsPage());
    const QStringList keys{"dysx", "dyxx", "dlsx", "swsx", "yyxx", "ywxx",
                           "dzxx", "plsx", "plxx", "zssx", "sssx", "ssxx"};
    const QStringList values{"264", "196", "200", "98",   "100",  "120",
                             "220", "550", "450", "1725", "1530", "1470"};
    QList<config::IniEntry> entries;
    for (int i = 0; i < keys.size(); ++i) entries.append({"Bj", keys[i], values[i]});
    f.config.wriniBatch("system.ini", entries);
    f.engine->load(0);
    QCOMPARE(f.view.text("edtdzxx"), QStringLiteral("22.0"));
    QCOMPARE(f.view.text("edtplsx"), QStringLiteral("55.0"));
    QCOMPARE(f.view.text("edtdysx"), QStringLiteral("264"));
    f.engine->write(0);
    QVERIFY(f.frames().contains("0007006E00DCB5"));  // 22.0 V goes out as 220, as before
}

QTEST_MAIN(TestPageEngine)
#include "tst_pageEngine.moc"
