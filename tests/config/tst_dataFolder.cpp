#include <unistd.h>

#include <QtTest>

#include "config/DataFolder.h"

using namespace tarsyn::config;

class TestDataFolder : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_app;
    QTemporaryDir m_other;
    QTemporaryDir m_user;  // stands in for ~/.local/share/tarsyn

    /// An installed layout under a fresh prefix: bin/ and share/tarsyn/ with the shipped files.
    struct Prefix {
        QTemporaryDir root;
        QString bin() const { return root.filePath("usr/bin"); }
        QString shared() const { return root.filePath("usr/share/tarsyn"); }
        Prefix() {
            QDir(root.path()).mkpath("usr/bin");
            QDir(root.path()).mkpath("usr/share/tarsyn");
        }
    };

private slots:
    void initTestCase() {
        QVERIFY(m_app.isValid() && m_other.isValid());
        QFile f(m_other.filePath("plain.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    void resolves_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");  // "APP", "OTHER" or empty for an error
        QTest::addColumn<QString>("error");     // part of the error text
        QTest::newRow("default is the program folder") << QStringList{"tarsyn"} << "APP"
                                                       << "";
        QTest::newRow("option") << QStringList{"tarsyn", "--data-dir", "OTHER"} << "OTHER"
                                << "";
        QTest::newRow("option with =") << QStringList{"tarsyn", "--data-dir=OTHER"} << "OTHER"
                                       << "";
        QTest::newRow("last wins") << QStringList{"tarsyn", "--data-dir", "/nowhere", "--data-dir", "OTHER"}
                                   << "OTHER"
                                   << "";
        QTest::newRow("missing folder") << QStringList{"tarsyn", "--data-dir", "OTHER/none"} << ""
                                        << "does not exist";
        QTest::newRow("a file") << QStringList{"tarsyn", "--data-dir", "OTHER/plain.txt"} << ""
                                << "is not a folder";
        QTest::newRow("no value") << QStringList{"tarsyn", "--data-dir"} << ""
                                  << "needs a folder";
        QTest::newRow("empty value") << QStringList{"tarsyn", "--data-dir="} << ""
                                     << "needs a folder";
    }
    void resolves() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QFETCH(QString, error);
        arguments.replaceInStrings("OTHER", m_other.path());
        const DataFolder folder = ResolveDataFolder(arguments, m_app.path(), m_user.path());
        if (expected.isEmpty()) {
            QVERIFY(!folder.ok());
            QVERIFY2(folder.error.contains(error), qPrintable(folder.error));
        } else {
            QVERIFY2(folder.ok(), qPrintable(folder.error));
            QCOMPARE(folder.path, QDir::cleanPath(expected == "APP" ? m_app.path() : m_other.path()));
        }
    }

    void relativeIsFromTheWorkingDirectoryOnlyWhenGiven() {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_other.path()));
        const DataFolder given =
            ResolveDataFolder({"tarsyn", "--data-dir", "."}, m_app.path(), m_user.path());
        const DataFolder fallback = ResolveDataFolder({"tarsyn"}, m_app.path(), m_user.path());
        QDir::setCurrent(before);
        QCOMPARE(given.path, QDir::cleanPath(m_other.path()));
        QCOMPARE(fallback.path, QDir::cleanPath(m_app.path()));
    }

    void missingProgramFolderIsReported() {
        const DataFolder folder = ResolveDataFolder({"tarsyn"}, m_app.filePath("gone"), m_user.path());
        QVERIFY(!folder.ok());
        QVERIFY(folder.error.startsWith("Program folder"));
    }

    // The three places a data folder comes from: given, the executable's own folder (a build folder),
    // and the user's folder of an installed program.
    void threePlaces_data() {
        QTest::addColumn<QString>(
            "layout");  // "build": a writable bin/ alone; "installed": bin/ + share/tarsyn
        QTest::addColumn<bool>("settingsBesideProgram");
        QTest::addColumn<bool>("given");
        QTest::addColumn<QString>("expected");  // "GIVEN", "BIN" or "USER"
        QTest::newRow("given wins in a build folder") << "build" << false << true << "GIVEN";
        QTest::newRow("given wins when installed") << "installed" << false << true << "GIVEN";
        QTest::newRow("build folder") << "build" << false << false << "BIN";
        QTest::newRow("build folder with settings") << "build" << true << false << "BIN";
        QTest::newRow("installed") << "installed" << false << false << "USER";
        QTest::newRow("installed, settings beside the program") << "installed" << true << false << "BIN";
    }
    void threePlaces() {
        QFETCH(QString, layout);
        QFETCH(bool, settingsBesideProgram);
        QFETCH(bool, given);
        QFETCH(QString, expected);
        Prefix prefix;
        if (layout == "build") QVERIFY(QDir(prefix.shared()).removeRecursively());
        if (settingsBesideProgram) {
            QFile ini(prefix.bin() + "/system.ini");
            QVERIFY(ini.open(QIODevice::WriteOnly));
        }
        const QStringList args =
            given ? QStringList{"tarsyn", "--data-dir", m_other.path()} : QStringList{"tarsyn"};
        const DataFolder folder = ResolveDataFolder(args, prefix.bin(), m_user.path());
        QVERIFY2(folder.ok(), qPrintable(folder.error));
        const QString want = expected == "GIVEN" ? m_other.path()
                             : expected == "BIN" ? prefix.bin()
                                                 : m_user.path();
        QCOMPARE(folder.path, QDir::cleanPath(want));
        QCOMPARE(folder.perUser, expected == "USER");
    }

    void aProgramFolderNobodyMayWriteIsShared() {
        if (::geteuid() == 0) QSKIP("root may write to any folder");
        QTemporaryDir bin;
        QVERIFY(QFile::setPermissions(bin.path(), QFile::ReadOwner | QFile::ExeOwner));
        const DataFolder folder = ResolveDataFolder({"tarsyn"}, bin.path(), m_user.path());
        QFile::setPermissions(bin.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(folder.path, QDir::cleanPath(m_user.path()));
        QVERIFY(folder.perUser);
    }

    void missingUserFolderSaysHowToMakeIt() {
        Prefix prefix;
        const DataFolder folder = ResolveDataFolder({"tarsyn"}, prefix.bin(), m_user.filePath("tarsyn"));
        QVERIFY(!folder.ok());
        QVERIFY(folder.perUser);
        QCOMPARE(folder.path, m_user.filePath("tarsyn"));
        QVERIFY2(folder.error.contains("does not exist") && folder.error.contains("tarsyn --init-config"),
                 qPrintable(folder.error));
    }

    void shippedFilesAreBesideTheProgramOrInTheSharedFolder() {
        Prefix prefix;
        QCOMPARE(ShippedFolder(prefix.bin()), prefix.shared());
        QCOMPARE(ShippedFolder(m_app.path()), m_app.path());
    }

    void userFolderFollowsXdgDataHome_data() {
        QTest::addColumn<QByteArray>("xdg");
        QTest::addColumn<QString>("expected");
        QTest::newRow("set") << QByteArray("/srv/data") << "/srv/data/tarsyn";
        QTest::newRow("unset") << QByteArray() << QDir::homePath() + "/.local/share/tarsyn";
        QTest::newRow("relative is ignored")
            << QByteArray("rel/data") << QDir::homePath() + "/.local/share/tarsyn";
    }
    void userFolderFollowsXdgDataHome() {
        QFETCH(QByteArray, xdg);
        QFETCH(QString, expected);
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        if (xdg.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", xdg);
        const QString folder = UserDataFolder();
        if (wasSet)
            qputenv("XDG_DATA_HOME", saved);
        else
            qunsetenv("XDG_DATA_HOME");
        QCOMPARE(folder, expected);
    }
};

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_dataFolder.moc"
