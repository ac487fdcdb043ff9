// What may be written and what a write achieved, against the virtual controller in-process: a block
// is written only when every field holds a value from a read, a load or the operator's edit; after
// the last frame the block is read back, and the operator learns whether the controller holds what
// went out. Expected texts and memory come from the controller's memory map and its factory values.
#include <QFile>
#include <QtTest>

#include "PageFixture.h"
#include "pages/PageTable.h"

using namespace tarsyn;
using pages::Page;
using test::apply;
using test::PageFixture;
using test::pageNamed;

namespace {

QString memoryHex(const PageFixture& f, int address, int bytes) {
    return QString::fromLatin1(f.controller->memory.bytes(address, bytes).toHex().toUpper());
}

}  // namespace

class TestPageVerify : public QObject {
    Q_OBJECT
private slots:
    void writeBeforeReadIsRefused_data();
    void writeBeforeReadIsRefused();
    void readLoadOrEditMakesABlockWritable();
    void saveOfAFreshPageWritesNothing();
    void writeIsVerified_data();
    void writeIsVerified();
    void controllerHoldingOtherValuesIsListed_data();
    void controllerHoldingOtherValuesIsListed();
    void silentControllerIsNoAnswer();
    void unusableReadBackIsNoAnswer_data();
    void unusableReadBackIsNoAnswer();
    void saveIsOneReplacement();
    void titleNamesTheController();
};

void TestPageVerify::writeBeforeReadIsRefused_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::newRow("delays, start sequence")
        << "TForm6" << 0
        << "TForm6/冷却停机延时..升速延时: read first: 冷却停机延时, 机组启动延时, 启动间隔延时, …"
        << "edtys1";
    QTest::newRow("oil pressure curve")
        << "TForm7" << 1
        << "TForm7/油压曲线: read first: 油压曲线/电压值1, 油压曲线/油压1, 油压曲线/电压值2, …"
        << "edtyyy1";
    QTest::newRow("system parameters")
        << "TForm8" << 0 << "TForm8: read first: 脱扣转速, 设备地址, 启动次数, …"
        << "edttkzs";
    // The fault as an operator met it: control bits opened fresh, no radio selected, then Write.
    QTest::newRow("control bits") << "TForm9" << 0 << "TForm9: read first: 速度源, 带载方式选择, 水温监测, …"
                                  << "rbsd1";
    QTest::newRow("alarm limits") << "TForm10" << 0
                                  << "TForm10: read first: 机组电压上限, 机组电压下限, 机组电流上限, …"
                                  << "edtdysx";
    QTest::newRow("SMS settings") << "Tgsm" << 0 << "Tgsm: read first: 站点地址, 报警手机1, 报警手机2, …"
                                  << "edtzddz";
}

void TestPageVerify::writeBeforeReadIsRefused() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    PageFixture f(pageNamed(window));
    f.useController();
    const QByteArray before = f.controller->memory.bytes(0, 1024);
    f.engine->write(block);
    QCOMPARE(f.prompter.shown, QStringList{"info:" + message});
    QVERIFY(f.port.written.isEmpty());
    QCOMPARE(f.poll.stops, 0);
    QCOMPARE(f.controller->memory.bytes(0, 1024), before);
    QCOMPARE(f.view.focused, focus);
    QVERIFY(f.written.isEmpty());
}

void TestPageVerify::readLoadOrEditMakesABlockWritable() {
    // Edits: every option but one chosen is still refused, naming the one left.
    {
        PageFixture f(pages::controlBitsPage());
        f.useController();
        apply(f.view, {"rbsd2", "rbdz1", "rbwc2", "rbjc2", "rbww1", "rbfy1", "rbdc1", "rbxz1", "rbcl1",
                       "rbqh2", "rb999"});
        f.engine->write(0);
        QCOMPARE(f.prompter.shown, QStringList{"info:TForm9: read first: 背光选择"});
        QVERIFY(f.port.written.isEmpty());
        f.view.click("rbbg2");
        f.engine->write(0);
        QCOMPARE(f.prompter.shown.last(), QStringLiteral("info:pgverified"));
        QCOMPARE(memoryHex(f, 0x0080, 2), QStringLiteral("0D0A"));
    }
    // A phone left empty by the operator is a value; one never touched is not.
    {
        PageFixture f(pages::smsPage());
        f.useController();
        apply(f.view, {"edtzddz=PUMP 3", "edtsj1=139", "edtsj2=", "edtsj3=", "edtsj4="});
        f.engine->write(0);
        QCOMPARE(f.prompter.shown, QStringList{"info:Tgsm: read first: 报警手机5"});
        f.view.type("edtsj5", "");
        f.engine->write(0);
        QCOMPARE(f.prompter.shown.last(), QStringLiteral("info:pgverified"));
    }
    // A read, or a load of a saved block, gives every field its value; cancel takes them away again.
    PageFixture f(pages::delayPage());
    f.useController();
    f.engine->read(1);
    f.engine->write(1);
    QCOMPARE(f.prompter.shown, (QStringList{"info:pgread", "info:pgverified"}));
    f.engine->save(1);
    f.engine->cancel();
    f.engine->write(1);
    QVERIFY(
        f.prompter.shown.last().startsWith(QStringLiteral("info:TForm6/油压低延时..降速延时: read first: ")));
    f.engine->load(1);
    f.engine->write(1);
    QCOMPARE(f.prompter.shown.mid(f.prompter.shown.size() - 2),
             (QStringList{"info:pgfileloaded", "info:pgverified"}));
}

void TestPageVerify::saveOfAFreshPageWritesNothing() {
    // An unset radio pair would be saved as "0", a choice nobody made.
    PageFixture f(pages::controlBitsPage());
    f.view.click("rbsd2");
    f.engine->save(0);
    QCOMPARE(f.prompter.shown.size(), 1);
    QVERIFY(f.prompter.shown.first().startsWith(QStringLiteral("info:TForm9: read first: 带载方式选择, ")));
    QVERIFY(!QFile::exists(f.config.filePath("system.ini")));
}

void TestPageVerify::writeIsVerified_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("block");
    QTest::addColumn<QStringList>("inputs");  // after a read of the factory values
    QTest::addColumn<QString>("control");     // shows what the controller holds after the write
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("memory");   // the controller's bytes from there
    QTest::addColumn<QString>("journal");  // the field's line in the event journal
    QTest::newRow("delay 30 s") << "TForm6" << 0 << QStringList{"edtys1=30"} << "edtys1"
                                << "30" << 0x004C << "1E"
                                << "冷却停机延时: 60 → 30";
    QTest::newRow("curve voltage with three decimals")
        << "TForm7" << 2 << QStringList{"edtjsy8=1.234"} << "edtjsy8"
        << "1.23" << 0x01DC << "007B"
        << "电压值8: 4.20 → 1.23";
    QTest::newRow("measurement setting by function 06")
        << "TForm8" << 0 << QStringList{"edtclsz=5"} << "edtclsz"
        << "5" << 0x0082 << "05"
        << "测量设置: 1 → 5";
    QTest::newRow("limit beyond the skipped stretch")
        << "TForm10" << 0 << QStringList{"edtssxx=1400"} << "edtssxx"
        << "1400" << 0x0086 << "0578"
        << "降速下限: 1470 → 1400";
    QTest::newRow("station name of 16 bytes")
        << "Tgsm" << 0 << QStringList{"edtzddz=ABCDEFGHIJKLMNOP"} << "edtzddz"
        << "ABCDEFGHIJKLMNOP" << 0x0150 << "4142434445464748494A4B4C4D4E4F50"
        << "站点地址: GENSET-01 → ABCDEFGHIJKLMNOP";
    // Factory 0C 0A; the speed sensor sets bit 0 of 0x0080.
    QTest::newRow("speed sensor") << "TForm9" << 0 << QStringList{"rbsd2"} << ""
                                  << "" << 0x0080 << "0D0A"
                                  << "速度源: 0 → 1";
}

void TestPageVerify::writeIsVerified() {
    QFETCH(QString, window);
    QFETCH(int, block);
    QFETCH(QStringList, inputs);
    QFETCH(QString, control);
    QFETCH(QString, shown);
    QFETCH(int, address);
    QFETCH(QString, memory);
    QFETCH(QString, journal);
    PageFixture f(pageNamed(window));
    f.useController();
    f.engine->read(block);
    apply(f.view, inputs);
    f.engine->write(block);
    QCOMPARE(f.prompter.shown, (QStringList{"info:pgread", "info:pgverified"}));
    QCOMPARE(memoryHex(f, address, int(memory.size()) / 2), memory);
    if (!control.isEmpty()) QCOMPARE(f.view.text(control), shown);
    // The journal has the verified outcome and what the controller holds, not the text typed.
    QCOMPARE(f.written.size(), 1);
    const QString detail = f.written.first();
    QVERIFY2(detail.contains(QStringLiteral(": written and verified; ") + journal), qPrintable(detail));
    QVERIFY2(!detail.contains(QStringLiteral("1.234")) && !detail.contains(QStringLiteral("OPQ")),
             qPrintable(detail));
    QVERIFY(f.view.readWriteEnabled);
    QCOMPARE(f.poll.resumes, 2);
}

void TestPageVerify::controllerHoldingOtherValuesIsListed_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("lost");  // the word write that never reaches the controller
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("journal");
    QTest::newRow("delays") << "TForm6" << QStringList{"edtys1=30", "edtys3=12"} << 0x004C
                            << "pgdiffers: 冷却停机延时 holds 60, sent 30"
                            << "; 启动间隔延时: 10 → 12; differing: 冷却停机延时 holds 60, sent 30";
    // A choice is named by its radio button.
    QTest::newRow("control bits") << "TForm9" << QStringList{"rbsd2"} << 0x0080
                                  << "pgdiffers: 速度源 holds 油机电源频率, sent 速度传感器"
                                  << "; no value changed since the last read";
    QTest::newRow("alarm limits, two fields")
        << "TForm10" << QStringList{"edtdysx=270", "edtdyxx=190"} << 0x0064
        << "pgdiffers: 机组电压下限 holds 196, sent 190"
        << "; 机组电压上限: 264 → 270; differing: 机组电压下限 holds 196, sent 190";
}

void TestPageVerify::controllerHoldingOtherValuesIsListed() {
    QFETCH(QString, window);
    QFETCH(QStringList, inputs);
    QFETCH(int, lost);
    QFETCH(QString, message);
    QFETCH(QString, journal);
    PageFixture f(pageNamed(window));
    f.useController().lost.insert(lost);
    f.engine->read(0);
    apply(f.view, inputs);
    f.engine->write(0);
    QCOMPARE(f.prompter.shown, (QStringList{"info:pgread", "error:" + message}));
    QCOMPARE(f.written.size(), 1);
    QVERIFY2(f.written.first().contains(QStringLiteral(": written, the controller holds other values")),
             qPrintable(f.written.first()));
    QVERIFY2(f.written.first().contains(journal), qPrintable(f.written.first()));
    // The operator's texts stay, to be written again.
    for (const QString& in : inputs)
        if (in.contains('=')) QCOMPARE(f.view.text(in.section('=', 0, 0)), in.section('=', 1));
}

void TestPageVerify::silentControllerIsNoAnswer() {
    PageFixture f(pages::curvePage());
    test::InProcessController& controller = f.useController();
    f.engine->read(0);
    controller.silent = true;  // it still stores what it is sent, but says nothing
    f.view.type("edtysy1", "1.234");
    f.engine->write(0);
    QCOMPARE(f.prompter.shown, (QStringList{"info:pgread", "error:pgnoanswer"}));
    QCOMPARE(f.port.written.size(), 1 + 16 + 1);  // the read, 16 frames, the read-back
    QCOMPARE(memoryHex(f, 0x0180, 2), QStringLiteral("007B"));
    // The journal says it could not be verified and lists what was sent as the controller stores it.
    QCOMPARE(f.written.size(), 1);
    QVERIFY2(f.written.first().contains(
                 QStringLiteral(": written, no answer: not verified; sent; 电压值1 = 1.23; ")),
             qPrintable(f.written.first()));
    QCOMPARE(f.view.text("edtysy1"), QStringLiteral("1.234"));  // nothing confirmed what it became
    QVERIFY(f.view.readWriteEnabled);
    QCOMPARE(f.poll.resumes, 2);
}

void TestPageVerify::unusableReadBackIsNoAnswer_data() {
    QTest::addColumn<QString>("reply");  // what the read-back gets; "fail": the read raises
    // 81 characters: enough for a read of this page, one short of the data's end.
    const QString limits = QString(40, '1') + QString(28, '0') + "05FA05BE";
    QTest::newRow("the port fails") << "fail";
    QTest::newRow("cut one character short") << test::blockReply(limits).left(81);
    QTest::newRow("not hexadecimal") << test::blockReply(QString(40, '1') + QString(28, 'Z') + "05FA05BE");
    QTest::newRow("nothing") << "";
}

void TestPageVerify::unusableReadBackIsNoAnswer() {
    QFETCH(QString, reply);
    const Page& page = pages::alarmLimitsPage();
    PageFixture f(page);
    for (const pages::Field& field : page.blocks[0].fields) f.view.type(field.control, "1");
    if (reply == QLatin1String("fail"))
        f.port.failRead = true;
    else
        f.reply = reply;
    f.engine->write(0);
    QCOMPARE(f.prompter.shown, QStringList{"error:pgnoanswer"});
    QCOMPARE(f.port.written.size(), 12 + 1);
    QVERIFY(f.written.first().contains(QStringLiteral("no answer: not verified")));
    QVERIFY(f.view.readWriteEnabled);
    QVERIFY(f.poll.running);
}

void TestPageVerify::saveIsOneReplacement() {
    // The last key of the block cannot be stored in the code page: no key of the block is written,
    // not even those before it.
    PageFixture f(pages::smsPage());
    f.config.wriniBatch("system.ini", {{"Gsm", "address", "OLD"}});
    apply(f.view, {"edtzddz=NEW", "edtsj1=1", "edtsj2=2", "edtsj3=3", "edtsj4=4", "edtsj5=5\U0001F600"});
    f.engine->save(0);
    QCOMPARE(f.prompter.of("error").size(), 1);
    QCOMPARE(f.config.reini("system.ini", "Gsm", "address"), QStringLiteral("OLD"));
    QCOMPARE(f.config.reini("system.ini", "Gsm", "sj1"), QStringLiteral("0"));
    QVERIFY(f.prompter.of("info").isEmpty());
}

void TestPageVerify::titleNamesTheController() {
    PageFixture f(pages::delayPage());
    QCOMPARE(f.engine->windowTitle("Delay Settings"), QStringLiteral("Delay Settings"));
    f.controllerName = QStringLiteral(" Genset 1 ");
    QCOMPARE(f.engine->windowTitle("Delay Settings"), QStringLiteral("Delay Settings @ Genset 1"));
}

QTEST_MAIN(TestPageVerify)
#include "tst_pageVerify.moc"
