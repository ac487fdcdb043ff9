#include <QtTest>

#include "link/LineSettings.h"
#include "link/LinkError.h"

using namespace tarsyn::link;

class TestLineSettings : public QObject {
    Q_OBJECT
private slots:
    void controllerDefault() {
        const LineSettings s = LineSettings::fromTexts("2400", "8", "1", "none");
        QCOMPARE(s.baudRate, 2400);
        QCOMPARE(s.dataBits, QSerialPort::Data8);
        QCOMPARE(s.stopBits, QSerialPort::OneStop);
        QCOMPARE(s.parity, QSerialPort::NoParity);
    }
    void unknownTextsAreErrors_data() {
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("parity");
        QTest::newRow("baud") << "2401"
                              << "8"
                              << "1"
                              << "none";
        QTest::newRow("baud text") << "fast"
                                   << "8"
                                   << "1"
                                   << "none";
        QTest::newRow("data bits") << "2400"
                                   << "9"
                                   << "1"
                                   << "none";
        QTest::newRow("stop bits") << "2400"
                                   << "8"
                                   << "3"
                                   << "none";
        QTest::newRow("parity") << "2400"
                                << "8"
                                << "1"
                                << "nope";
        QTest::newRow("empty") << ""
                               << "8"
                               << "1"
                               << "none";
    }
    void unknownTextsAreErrors() {
        QFETCH(QString, baud);
        QFETCH(QString, data);
        QFETCH(QString, stop);
        QFETCH(QString, parity);
        QVERIFY_THROWS_EXCEPTION(SerialError, LineSettings::fromTexts(baud, data, stop, parity));
    }
    void portNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device");
        QTest::newRow("path") << "/dev/pts/7"
                              << "/dev/pts/7";
        QTest::newRow("bare") << "ttyUSB0"
                              << "/dev/ttyUSB0";
        QTest::newRow("COM1") << "COM1"
                              << "/dev/ttyS0";
        QTest::newRow("com3 lower case") << "com3"
                                         << "/dev/ttyS2";
        QTest::newRow("Com12") << "Com12"
                               << "/dev/ttyS11";
        QTest::newRow("blanks trimmed") << "  ttyACM0 "
                                        << "/dev/ttyACM0";
        // A name with a folder in it is relative to the working folder, never looked up under /dev.
        QTest::newRow("relative path")
            << "build/demo/controller-1" << QDir::currentPath() + "/build/demo/controller-1";
        QTest::newRow("dot path") << "./ctl" << QDir::currentPath() + "/ctl";
        QTest::newRow("pts relative") << "pts/3" << QDir::currentPath() + "/pts/3";
    }
    void portNames() {
        QFETCH(QString, name);
        QFETCH(QString, device);
        QCOMPARE(DevicePathForPortName(name), device);
    }
};

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_lineSettings.moc"
