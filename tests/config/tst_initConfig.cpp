#include <QtTest>

#include "config/Config.h"
#include "config/InitConfig.h"
#include "config/LiveSettings.h"

using namespace tarsyn::config;

namespace {

void touch(const QString& path, const QByteArray& bytes = "[Messages]\r\n") {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Scripted terminal: hands out the answers in order, records the prompts.
struct ScriptedReader {
    QStringList answers;
    QStringList prompts;
    PasswordReader reader() {
        return [this](const QString& prompt, QString& out) {
            prompts << prompt;
            if (answers.isEmpty()) return false;
            out = answers.takeFirst();
            return true;
        };
    }
};

}  // namespace

class TestInitConfig : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString ini() const { return m_dir->filePath("system.ini"); }

    InitConfigOptions passwords(const QString& super = "boss", const QString& ordinary = "crew") {
        InitConfigOptions o;
        o.superPassword = super;
        o.ordinaryPassword = ordinary;
        return o;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        touch(m_dir->filePath("English.lag"));
        touch(m_dir->filePath("Chinese.lag"));
    }

    void writesAConsistentSection() {
        InitConfigOptions o = passwords();
        o.ports = {"com1", "/dev/ttyUSB0", "com3"};
        const InitConfigResult r = InitConfig(m_dir->path(), o, {});
        QVERIFY2(r.exitCode == 0, qPrintable(r.message));
        const Config config(m_dir->path());
        QCOMPARE(config.reini("system.ini", "Set", "language"), QStringLiteral("Chinese"));  // preferred
        QCOMPARE(config.reini("system.ini", "Set", "flash"), QStringLiteral("6"));
        QCOMPARE(config.reini("system.ini", "Set", "save1"), QStringLiteral("60"));
        QCOMPARE(config.reini("system.ini", "Set", "save2"), QStringLiteral("1"));
        QCOMPARE(config.reini("system.ini", "Set", "Ports"), QStringLiteral("3"));
        QCOMPARE(config.reini("system.ini", "Set", "cjkl"), QString::number(ProductHash("boss")));
        QCOMPARE(config.reini("system.ini", "Set", "ptkl"), QString::number(ProductHash("crew")));
        QCOMPARE(config.reini("system.ini", "Set", "jzm"),
                 StoredCheckValue(config));  // passes the start check
        LiveSettings live;
        live.load(config);
        QCOMPARE(live.ports().size(), 3);
        QCOMPARE(live.ports().at(1), (PortEntry{"/dev/ttyUSB0", "/dev/ttyUSB0", ""}));
        QCOMPARE(QDir(m_dir->path()).entryList({"*.ini*", ".*tmp*"}, QDir::Files | QDir::Hidden),
                 QStringList{"system.ini"});
    }

    void freshFolderGetsTheShippedCatalogues() {
        QTemporaryDir shipped, fresh;
        touch(shipped.filePath("English.lag"), "[Messages]\r\nForm1caption=Main\r\n");
        touch(shipped.filePath("Chinese.lag"));
        touch(shipped.filePath("English.hlp"), "help\r\n");
        touch(shipped.filePath("Chinese.hlp"));
        touch(shipped.filePath("Other.LAG"));  // would never be opened as "Other.lag": not a catalogue
        touch(shipped.filePath("notes.txt"));
        InitConfigOptions o = passwords();
        o.shippedDir = shipped.path();
        const InitConfigResult r = InitConfig(fresh.path(), o, {});
        QVERIFY2(r.exitCode == 0, qPrintable(r.message));
        QCOMPARE(QDir(fresh.path()).entryList(QDir::Files, QDir::Name),
                 (QStringList{"Chinese.hlp", "Chinese.lag", "English.hlp", "English.lag", "system.ini"}));
        QFile copy(fresh.filePath("English.lag"));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("[Messages]\r\nForm1caption=Main\r\n"));  // byte for byte
        // The operator is told what was copied, and from where.
        QVERIFY2(r.message.startsWith("Copied Chinese.lag, English.lag, Chinese.hlp, English.hlp from \"" +
                                      QDir::toNativeSeparators(shipped.path()) + "\"\n"),
                 qPrintable(r.message));
        QCOMPARE(Config(fresh.path()).reini("system.ini", "Set", "language"), QStringLiteral("Chinese"));

        // A folder that has a catalogue gets nothing; a refused run copies nothing either.
        QTemporaryDir own, refused;
        touch(own.filePath("Mine.lag"));
        QCOMPARE(InitConfig(own.path(), o, {}).exitCode, 0);
        QCOMPARE(QDir(own.path()).entryList(QDir::Files, QDir::Name),
                 (QStringList{"Mine.lag", "system.ini"}));
        InitConfigOptions same = passwords("twin", "twin");
        same.shippedDir = shipped.path();
        QCOMPARE(InitConfig(refused.path(), same, {}).exitCode, 1);
        QVERIFY(QDir(refused.path()).isEmpty());
    }

    void intervalMinimums_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("save1");
        QTest::addColumn<QString>("save2");
        QTest::newRow("no ports: form defaults") << 0 << "60"
                                                 << "1";
        QTest::newRow("10 ports: 60 s, 1+1") << 10 << "60"
                                             << "2";
        QTest::newRow("15 ports: 1.5 rounds to 2") << 15 << "90"
                                                   << "3";
        QTest::newRow("25 ports: 2.5 rounds to 2") << 25 << "150"
                                                   << "3";
        QTest::newRow("35 ports: 3.5 rounds to 4") << 35 << "210"
                                                   << "5";
    }
    void intervalMinimums() {
        QFETCH(int, rows);
        QFETCH(QString, save1);
        QFETCH(QString, save2);
        InitConfigOptions o = passwords();
        for (int i = 0; i < rows; ++i) o.ports << QStringLiteral("com%1").arg(i + 1);
        QCOMPARE(InitConfig(m_dir->path(), o, {}).exitCode, 0);
        const Config config(m_dir->path());
        QCOMPARE(config.reini("system.ini", "Set", "save1"), save1);
        QCOMPARE(config.reini("system.ini", "Set", "save2"), save2);
        QCOMPARE(config.reini("system.ini", "Set", "jzm"), StoredCheckValue(config));
    }

    void refusals_data() {
        QTest::addColumn<QString>("super");
        QTest::addColumn<QString>("ordinary");
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty super") << ""
                                     << "crew" << QStringList() << ""
                                     << "super password is empty";
        QTest::newRow("empty ordinary") << "boss"
                                        << "" << QStringList() << ""
                                        << "ordinary password is empty";
        QTest::newRow("equal") << "same"
                               << "same" << QStringList() << ""
                               << "must differ";
        QTest::newRow("equal hashes") << "U"
                                      << "K" << QStringList() << ""
                                      << "same hash";  // both hash to 8
        QTest::newRow("too long") << QString(31, 'x') << "crew" << QStringList() << ""
                                  << "longer than 30";
        QTest::newRow("not in GBK") << QStringLiteral(u"b\U0001F600") << "crew" << QStringList() << ""
                                    << "code page GBK";
        QTest::newRow("Arabic, outside GBK") << QStringLiteral(u"مرحبا") << "crew" << QStringList() << ""
                                             << "code page GBK";
        QStringList many;
        for (int i = 1; i <= 65; ++i) many << QStringLiteral("com%1").arg(i);
        QTest::newRow("65 ports") << "boss"
                                  << "crew" << many << ""
                                  << "65 ports given; at most 64";
        QTest::newRow("port twice") << "boss"
                                    << "crew" << QStringList{"com1", "com1"} << ""
                                    << "given twice";
        QTest::newRow("empty port") << "boss"
                                    << "crew" << QStringList{" "} << ""
                                    << "empty name";
        QTest::newRow("unknown language") << "boss"
                                          << "crew" << QStringList() << "Klingon"
                                          << "No catalogue \"Klingon.lag\"";
    }
    void refusals() {
        QFETCH(QString, super);
        QFETCH(QString, ordinary);
        QFETCH(QStringList, ports);
        QFETCH(QString, language);
        QFETCH(QString, message);
        InitConfigOptions o = passwords(super, ordinary);
        o.ports = ports;
        o.language = language;
        const InitConfigResult r = InitConfig(m_dir->path(), o, {});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.message.contains(message), qPrintable(r.message));
        QVERIFY(!QFileInfo::exists(ini()));
    }

    void existingFileNeedsForceAndKeepsOtherSections() {
        touch(ini(), "[Ys]\r\nys1=30\r\n[Set]\r\nLanguage=English\r\nports=5\r\nport4=com9\r\n");
        const QByteArray before = [&] {
            QFile f(ini());
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        InitConfigOptions o = passwords();
        InitConfigResult r = InitConfig(m_dir->path(), o, {});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.message.contains("--force"), qPrintable(r.message));
        QFile f(ini());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();

        o.force = true;
        o.language = "English";
        o.ports = {"com2"};
        r = InitConfig(m_dir->path(), o, {});
        QVERIFY2(r.exitCode == 0, qPrintable(r.message));
        const Config config(m_dir->path());
        QCOMPARE(config.reini("system.ini", "Ys", "ys1"), QStringLiteral("30"));
        QCOMPARE(config.reini("system.ini", "Set", "ports"), QStringLiteral("1"));
        QCOMPARE(config.reini("system.ini", "Set", "jzm"), StoredCheckValue(config));
    }

    void languageChoice_data() {
        QTest::addColumn<QStringList>("catalogues");
        QTest::addColumn<QString>("expected");  // empty: refused
        QTest::newRow("Chinese preferred") << QStringList{"Alpha", "Chinese", "English"} << "Chinese";
        QTest::newRow("else the first") << QStringList{"English", "Deutsch"} << "Deutsch";
        QTest::newRow("none") << QStringList{} << "";
    }
    void languageChoice() {
        QFETCH(QStringList, catalogues);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString& c : catalogues) touch(dir.filePath(c + ".lag"));
        const InitConfigResult r = InitConfig(dir.path(), passwords(), {});
        if (expected.isEmpty()) {
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.message.contains("No language catalogue"), qPrintable(r.message));
        } else {
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(Config(dir.path()).reini("system.ini", "Set", "language"), expected);
        }
    }

    void passwordsAskedWhenNotGiven_data() {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("typed twice each") << QStringList{"boss", "boss", "crew", "crew"} << 0 << "Wrote";
        QTest::newRow("typo") << QStringList{"boss", "bos", "crew", "crew"} << 1 << "differ";
        QTest::newRow("no terminal") << QStringList{} << 1 << "No super password";
        QTest::newRow("equal typed") << QStringList{"same", "same", "same", "same"} << 1 << "must differ";
    }
    void passwordsAskedWhenNotGiven() {
        QFETCH(QStringList, typed);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        ScriptedReader terminal{typed, {}};
        const InitConfigResult r = InitConfig(m_dir->path(), InitConfigOptions{}, terminal.reader());
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.message.contains(message), qPrintable(r.message));
        if (exitCode == 0) {
            QCOMPARE(terminal.prompts, (QStringList{"Super password: ", "Super password again: ",
                                                    "Ordinary password: ", "Ordinary password again: "}));
            QCOMPARE(Config(m_dir->path()).reini("system.ini", "Set", "cjkl"),
                     QString::number(ProductHash("boss")));
        }
    }

    void writeFailureIsExitCode2() {
        QVERIFY(QDir(m_dir->path()).mkdir("system.ini"));
        InitConfigOptions o = passwords();
        o.force = true;
        const InitConfigResult r = InitConfig(m_dir->path(), o, {});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.message.startsWith("Unable to write to "), qPrintable(r.message));
    }

    void parseOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("force");
        QTest::newRow("all") << QStringList{"tarsyn",
                                            "--init-config",
                                            "--data-dir",
                                            "/x",
                                            "--language",
                                            "English",
                                            "--port",
                                            "com1",
                                            "--port=com2",
                                            "--force",
                                            "--super-password=a b",
                                            "--ordinary-password",
                                            "c"}
                             << "" << QStringList{"com1", "com2"} << "English" << true;
        QTest::newRow("unknown") << QStringList{"tarsyn", "--init-config", "--colour", "red"}
                                 << "Unknown option" << QStringList() << "" << false;
        QTest::newRow("missing value") << QStringList{"tarsyn", "--init-config", "--port"} << "needs a value"
                                       << QStringList() << "" << false;
    }
    void parseOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QFETCH(QStringList, ports);
        QFETCH(QString, language);
        QFETCH(bool, force);
        InitConfigOptions o;
        const QString e = ParseInitConfigOptions(arguments, o);
        if (!error.isEmpty()) {
            QVERIFY2(e.contains(error), qPrintable(e));
            return;
        }
        QVERIFY2(e.isEmpty(), qPrintable(e));
        QCOMPARE(o.ports, ports);
        QCOMPARE(o.language, language);
        QCOMPARE(o.force, force);
        QCOMPARE(o.superPassword.value_or("-"), QStringLiteral("a b"));
        QCOMPARE(o.ordinaryPassword.value_or("-"), QStringLiteral("c"));
    }

    void runParsesThenWrites() {
        const InitConfigResult r = RunInitConfig({"tarsyn", "--init-config", "--super-password", "boss",
                                                  "--ordinary-password", "crew", "--port", "com1"},
                                                 m_dir->path(), {});
        QVERIFY2(r.exitCode == 0, qPrintable(r.message));
        QCOMPARE(Config(m_dir->path()).reini("system.ini", "Set", "port0"), QStringLiteral("com1"));
    }
};

QTEST_GUILESS_MAIN(TestInitConfig)
#include "tst_initConfig.moc"
