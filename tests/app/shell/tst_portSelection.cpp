// The port dialog's logic: which ports it offers and what "指定" does to the poll cycle.
#include <QtTest>

#include "FakeSerialPort.h"
#include "ShellFixture.h"
#include "app/core/PortSelection.h"

using namespace tarsyn;
using namespace tarsyn::app;
using namespace tarsyn::config;

namespace {
/// Poll cycle and status strip as plain fields, with the order of the calls.
struct FakeTarget : PortSwitchTarget {
    test::FakeSerialPort serial;
    int portIndex = 0;
    int pollState = 3;
    bool rotation = true;
    int indicator = 7;
    QStringList calls;
    QString shownPort;
    QString shownRemark = QStringLiteral("gen0");  // the entry polled before
    QString shownNotes = QStringLiteral("notes 0");

    int PortIndex() const override { return portIndex; }
    void setPortIndex(int i) override { portIndex = i; }
    link::SerialPort& port() override { return serial; }
    void setConnectionIndicator(int image) override {
        indicator = image;
        calls << QStringLiteral("indicator %1").arg(image);
    }
    void setPollState(int s) override { pollState = s; }
    void setRotationMode(bool on) override { rotation = on; }
    void showFixedPort(const QString& name, const QString& remark, const QString& notes) override {
        shownPort = name;
        shownRemark = remark;
        shownNotes = notes;
        calls << QStringLiteral("fixed ") + name;
    }
    void ClearLiveDisplay() override { calls << QStringLiteral("clear"); }
    void showPortProblem(const QString& name, const std::exception* error) override {
        problem = error ? name + QStringLiteral(": ") + QString::fromUtf8(error->what()) : QString();
    }
    QString problem = QStringLiteral("(none shown)");
};
}  // namespace

class TestPortSelection : public QObject {
    Q_OBJECT
private slots:
    void offersTheListAsItStands() {
        test::ShellFixture fx;
        FakeTarget target;
        PortSelection logic(fx.live, target);
        QCOMPARE(logic.portNames(), (QStringList{"com1", "com2", "com3"}));
        fx.live.setPorts(fx.live.ports() << PortEntry{"com9", "new", ""});
        QCOMPARE(logic.portNames().last(), QString("com9"));
        target.portIndex = 2;
        QCOMPARE(logic.initialSelection(), 2);
        target.portIndex = -1;
        QCOMPARE(logic.initialSelection(), -1);
        target.portIndex = 10;  // out of range selects nothing
        QCOMPARE(logic.initialSelection(), -1);
    }

    // The dialog names each controller before its port; a pick stands for the port, a typed text for
    // itself.
    void listsRemarkThenPort() {
        test::ShellFixture fx;
        FakeTarget target;
        PortSelection logic(fx.live, target);
        fx.live.setPorts({PortEntry{"com1", " Pump house ", ""}, PortEntry{"com2", "", ""}});
        QCOMPARE(logic.portLabels(), (QStringList{"Pump house (com1)", "com2"}));
        QCOMPARE(logic.portNameFor(0, "Pump house (com1)"), QString("com1"));
        QCOMPARE(logic.portNameFor(1, "com2"), QString("com2"));
        QCOMPARE(logic.portNameFor(0, "/dev/ttyS3"), QString("/dev/ttyS3"));
        // A label typed as the list shows it names that entry, never a device called "Pump house (com1)".
        QCOMPARE(logic.portNameFor(-1, "Pump house (com1)"), QString("com1"));
        QCOMPARE(logic.entryFor(-1, " Pump house (com1) "), 0);
        QCOMPARE(logic.entryFor(-1, "/dev/ttyS3"), -1);
    }

    void apply_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wasOpen");
        QTest::addColumn<int>("portIndex");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("remark");  // the history's device name from now on
        QTest::addColumn<QString>("notes");
        QTest::newRow("pick an entry, port closed")
            << 1 << "com2" << false << 1 << "com2" << QStringList{"indicator 7", "fixed com2", "clear"}
            << "gen1"
            << "notes 1";
        QTest::newRow("pick an entry, port open")
            << 2 << "com3" << true << 2 << "com3"
            << QStringList{"indicator 2", "indicator 7", "fixed com3", "clear"} << "gen2"
            << "notes 2";
        QTest::newRow("typed name, blanks trimmed")
            << 0 << "  /dev/ttyUSB0 " << false << -1 << "/dev/ttyUSB0"
            << QStringList{"indicator 7", "fixed /dev/ttyUSB0", "clear"} << "/dev/ttyUSB0"
            << "";
        QTest::newRow("typed with nothing selected")
            << -1 << "com7" << true << -1 << "com7"
            << QStringList{"indicator 2", "indicator 7", "fixed com7", "clear"} << "com7"
            << "";
        QTest::newRow("typed the name of a listed port: that entry's device")
            << 0 << " com2" << false << -1 << "com2" << QStringList{"indicator 7", "fixed com2", "clear"}
            << "gen1"
            << "notes 1";
    }
    void apply() {
        QFETCH(int, selected);
        QFETCH(QString, text);
        QFETCH(bool, wasOpen);
        QFETCH(int, portIndex);
        QFETCH(QString, opened);
        QFETCH(QStringList, calls);
        QFETCH(QString, remark);
        QFETCH(QString, notes);
        test::ShellFixture fx;
        FakeTarget target;
        if (wasOpen) target.serial.OpenPort();
        PortSelection logic(fx.live, target);
        QCOMPARE(logic.apply(selected, text), opened);
        QCOMPARE(target.portIndex, portIndex);
        QCOMPARE(target.serial.portName(), opened);
        QVERIFY(target.serial.Connected());
        QCOMPARE(target.serial.lineSettings, link::LineSettings::controllerDefault());
        QCOMPARE(target.indicator, 7);
        QCOMPARE(target.pollState, 1);
        QVERIFY(!target.rotation);
        QCOMPARE(target.calls, calls);
        QCOMPARE(target.shownRemark, remark);
        QCOMPARE(target.shownNotes, notes);
    }

    void portThatWillNotOpen() {
        test::ShellFixture fx;
        FakeTarget target;
        target.serial.canOpen = [](const QString& name) { return name != QLatin1String("com404"); };
        PortSelection logic(fx.live, target);
        logic.apply(-1, "com404");
        QCOMPARE(target.indicator, 2);
        QCOMPARE(target.pollState, 1);
        QVERIFY(!target.rotation);
        QCOMPARE(target.shownPort, QString("com404"));  // fixed mode on that port all the same
        QCOMPARE(target.calls.last(), QString("clear"));
        // The status strip is told why; a port that opens afterwards clears it.
        QCOMPARE(target.problem, QString("com404: Could not open com404"));
        logic.apply(0, "com1");
        QCOMPARE(target.problem, QString());
    }

    void blankNameIsRefused_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "   ";
    }
    void blankNameIsRefused() {
        QFETCH(QString, text);
        test::ShellFixture fx;
        FakeTarget target;
        target.serial.OpenPort();
        target.portIndex = 1;
        PortSelection logic(fx.live, target);
        QCOMPARE(logic.apply(-1, text), QString());
        // Nothing changed: same port open, same entry, same mode.
        QVERIFY(target.serial.Connected());
        QCOMPARE(target.serial.openCount, 1);
        QCOMPARE(target.portIndex, 1);
        QCOMPARE(target.pollState, 3);
        QVERIFY(target.rotation);
        QVERIFY(target.calls.isEmpty());
    }

    void closeFailureStillEndsInFixedMode() {
        test::ShellFixture fx;
        FakeTarget target;
        target.serial.OpenPort();
        target.serial.failClose = true;
        PortSelection logic(fx.live, target);
        logic.apply(0, "com1");
        QCOMPARE(target.indicator, 2);
        QCOMPARE(target.pollState, 1);
        QCOMPARE(target.calls, (QStringList{"indicator 2", "fixed com1", "clear"}));
    }

    void effectiveIndex_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::newRow("entry as shown") << 1 << "b" << 1;
        QTest::newRow("entry edited") << 1 << "bb" << -1;
        QTest::newRow("nothing selected") << -1 << "a" << -1;
        QTest::newRow("out of range") << 5 << "a" << -1;
    }
    void effectiveIndex() {
        QFETCH(int, selected);
        QFETCH(QString, text);
        QFETCH(int, index);
        QCOMPARE(PortSelection::effectiveIndex({"a", "b", "c"}, selected, text), index);
    }
};

QTEST_GUILESS_MAIN(TestPortSelection)
#include "tst_portSelection.moc"
