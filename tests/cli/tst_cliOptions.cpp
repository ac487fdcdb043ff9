// tarsynctl's command line without a controller: options, port names, per-port files, channel names.
#include <QTemporaryDir>
#include <QtTest>

#include "cli/ControllerJobs.h"
#include "cli/Options.h"
#include "cli/Serve.h"
#include "config/Config.h"

using namespace tarsyn;
using namespace tarsyn::cli;

class TestCliOptions : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void portNames_data();
    void portNames();
    void perPortFile_data();
    void perPortFile();
    void portsFileSkipsBlanksAndComments();
    void calibrationChannels_data();
    void calibrationChannels();
    void serveLines_data();
    void serveLines();
    void serveLinesSpoolAlone();
};

void TestCliOptions::parse_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<bool>("yes");

    QTest::newRow("ports repeat, in order")
        << QStringList{"--port", "ttyUSB0", "--port=COM2", "backup", "b.ini"} << QString()
        << QStringList{"ttyUSB0", "COM2"} << "backup" << QStringList{"b.ini"} << false;
    QTest::newRow("options after the command")
        << QStringList{"command", "factory", "--yes", "--port", "/dev/ttyS0"} << QString()
        << QStringList{"/dev/ttyS0"} << "command" << QStringList{"factory"} << true;
    QTest::newRow("a negative value is a word")
        << QStringList{"--port", "p", "calibrate", "battery", "-1"} << QString() << QStringList{"p"}
        << "calibrate" << QStringList{"battery", "-1"} << false;
    QTest::newRow("unknown option") << QStringList{"--bogus", "alarms"} << "unknown option --bogus"
                                    << QStringList() << QString() << QStringList() << false;
    QTest::newRow("missing value") << QStringList{"alarms", "--port"} << "--port needs a value"
                                   << QStringList() << "alarms" << QStringList() << false;
    QTest::newRow("a flag with a value") << QStringList{"--yes=1", "restore", "f"} << "--yes takes no value"
                                         << QStringList() << QString() << QStringList() << false;
}

void TestCliOptions::parse() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    Options o;
    QCOMPARE(ParseOptions(args, o), error);
    if (!error.isEmpty()) return;
    QTEST(o.ports, "ports");
    QTEST(o.command, "command");
    QTEST(o.words, "words");
    QTEST(o.yes, "yes");
}

void TestCliOptions::portNames_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("errorPart");  // empty: accepted
    QTest::newRow("distinct") << QStringList{"ttyUSB0", "/dev/ttyUSB1", "COM1"} << QString();
    QTest::newRow("empty after trimming") << QStringList{"ttyUSB0", "  "} << "port 2 has an empty name";
    // COM1 is /dev/ttyS0 on Linux: the same line twice would be opened twice.
    QTest::newRow("same device by two names") << QStringList{"COM1", "/dev/ttyS0"} << "given twice";
    QTest::newRow("same name with blanks") << QStringList{"ttyS3", " ttyS3 "} << "given twice";
    QTest::newRow("line break") << QStringList{"tty\nS0"} << "cannot store";
}

void TestCliOptions::portNames() {
    QFETCH(QStringList, ports);
    QFETCH(QString, errorPart);
    QTemporaryDir dir;
    const config::Config config(dir.path());
    const QString error = CheckPortNames(ports, config);
    if (errorPart.isEmpty())
        QVERIFY2(error.isEmpty(), qPrintable(error));
    else
        QVERIFY2(error.contains(errorPart), qPrintable(error));
}

void TestCliOptions::perPortFile_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("expected");
    QTest::newRow("before the extension") << "backup.ini"
                                          << "/dev/ttyUSB0"
                                          << "backup-ttyUSB0.ini";
    QTest::newRow("folder kept") << "/srv/b/site.ini"
                                 << "ttyS2"
                                 << "/srv/b/site-ttyS2.ini";
    QTest::newRow("COM name as its device") << "b.ini"
                                            << "COM2"
                                            << "b-ttyS1.ini";
    QTest::newRow("no extension") << "backup"
                                  << "ttyUSB3"
                                  << "backup-ttyUSB3";
    QTest::newRow("dot in a folder only") << "./out/backup"
                                          << "ttyUSB3"
                                          << "./out/backup-ttyUSB3";
}

void TestCliOptions::perPortFile() {
    QFETCH(QString, file);
    QFETCH(QString, port);
    QTEST(PerPortFile(file, port), "expected");
}

void TestCliOptions::portsFileSkipsBlanksAndComments() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ports"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("# site A\nttyUSB0\n\n  ttyUSB1  \r\n#ttyUSB9\n");
    f.close();
    QStringList ports{QStringLiteral("COM1")};
    QCOMPARE(ReadPortsFile(path, ports), QString());
    QCOMPARE(ports, (QStringList{"COM1", "ttyUSB0", "ttyUSB1"}));
    QVERIFY(!ReadPortsFile(dir.filePath(QStringLiteral("none")), ports).isEmpty());
}

void TestCliOptions::calibrationChannels_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("button");
    // The buttons of the calibration table: generator volts 11-13, currents 14-16, battery 17,
    // mains volts 18-20 (the mains readings are panels 34-36).
    QTest::newRow("short name") << "gen-l1" << 11;
    QTest::newRow("battery") << "Battery" << 17;
    QTest::newRow("button") << "btn14" << 14;
    QTest::newRow("number") << "20" << 20;
    QTest::newRow("mains panel") << "pnl35" << 19;
    QTest::newRow("caption") << "Mains voltage L1" << 18;
    QTest::newRow("unknown") << "oil" << 0;
    QTest::newRow("not a calibrated panel") << "pnl21" << 0;
}

void TestCliOptions::calibrationChannels() {
    QFETCH(QString, name);
    auto caption = [](int button) {
        return button == 18 ? QStringLiteral("Mains voltage L1") : QStringLiteral("something else");
    };
    QTEST(FindCalibrationButton(name, caption), "button");
}

using Entries = QVector<config::PortEntry>;
Q_DECLARE_METATYPE(Entries)

void TestCliOptions::serveLines_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<Entries>("lines");
    QTest::newRow("none given: the port list, a port listed twice once")
        << QStringList() << Entries{{"ttyUSB0", "North", "roof"}, {"ttyUSB1", "South", ""}};
    QTest::newRow("given: listed ones keep their row, others their base name")
        << QStringList{"/dev/ttyACM3", " ttyUSB1 "}
        << Entries{{"/dev/ttyACM3", "ttyACM3", ""}, {"ttyUSB1", "South", ""}};
}

void TestCliOptions::serveLines() {
    QFETCH(QStringList, ports);
    const Entries list{{"ttyUSB0", "North", "roof"}, {"ttyUSB1", "South", ""}, {"ttyUSB0", "Again", ""}};
    QTEST(ServeLines(ports, list), "lines");
}

// Lines never share a spool: each waits for the database in a file of its own beside "kalde.spool".
void TestCliOptions::serveLinesSpoolAlone() {
    QTemporaryDir dir;
    const config::Config config(dir.path());
    const QString spool = ServeLine::lineLocation(config, QStringLiteral("/dev/ttyUSB0")).spoolPath;
    QCOMPARE(spool, QDir(dir.path()).filePath(QStringLiteral("kalde-ttyUSB0.spool")));
    QVERIFY(spool != ServeLine::lineLocation(config, QStringLiteral("COM2")).spoolPath);
}

QTEST_GUILESS_MAIN(TestCliOptions)
#include "tst_cliOptions.moc"
