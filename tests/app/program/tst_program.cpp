// The `tarsyn` executable itself: --init-config makes a system.ini that passes the start check, a
// second copy ends at once and says why, and bad options or settings are refused before anything is
// touched.
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "config/Config.h"

using namespace tarsyn;

namespace {

QString program() { return qEnvironmentVariable("TARSYN_BIN_DIR") + QStringLiteral("/tarsyn"); }

struct Run {
    int exitCode = -1;
    QString out, err;
    bool finished = false;
};

Run run(const QStringList& args, const QProcessEnvironment& env, int timeoutMs = 20000,
        const QByteArray& input = {}) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program(), args);
    if (!input.isEmpty() && p.waitForStarted()) p.write(input);
    p.closeWriteChannel();
    Run r;
    r.finished = p.waitForFinished(timeoutMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

/// A data folder holding the shipped catalogues, as an installation has them.
bool withCatalogues(const QTemporaryDir& data) {
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/");
    return QFile::copy(source + "English.lag", data.filePath("English.lag")) &&
           QFile::copy(source + "Chinese.lag", data.filePath("Chinese.lag")) &&
           QFile::copy(source + "English.hlp", data.filePath("English.hlp")) &&
           QFile::copy(source + "Chinese.hlp", data.filePath("Chinese.hlp"));
}

/// Section Set with the given port count and refresh time and a check value that matches them.
QByteArray sealed(const QString& ports, const QString& flash) {
    QTemporaryDir scratch;
    config::Config config(scratch.path());
    const QString jzm = config::CheckValue(config, "English", flash, "1", "60", ports, "970", "98");
    return QStringLiteral(
               "[Set]\r\nlanguage=English\r\nflash=%1\r\nsave2=1\r\nsave1=60\r\nports=%2\r\n"
               "cjkl=970\r\nptkl=98\r\njzm=%3\r\n")
        .arg(flash, ports, jzm)
        .toLatin1();
}

/// A data folder with the catalogues and a system.ini made by --init-config (passwords boss / crew).
bool configured(const QTemporaryDir& data, const QProcessEnvironment& env) {
    return withCatalogues(data) && run({"--init-config", "--data-dir", data.path(), "--super-password",
                                        "boss", "--ordinary-password", "crew"},
                                       env)
                                           .exitCode == 0;
}

/// Waits until `p` has made the history database in `data`, which it does only past the single-instance
/// guard and the settings check, at its login; false when it ended (or took 10 s) instead.
bool pastTheGuard(QProcess& p, const QTemporaryDir& data) {
    QDeadlineTimer deadline(10000);
    while (!QFile::exists(data.filePath("kalde.db"))) {
        if (p.state() == QProcess::NotRunning || deadline.hasExpired()) {
            qWarning("the program ended or waited before its login: %s",
                     p.readAllStandardError().constData());
            return false;
        }
        p.waitForFinished(20);  // returns at once when the process ends
    }
    return p.state() == QProcess::Running;
}

}  // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(m_runtime.isValid());
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("QT_QPA_PLATFORM", "offscreen");
        // The single-instance lock lives in the runtime folder: keep this test's copies to themselves.
        m_env.insert("XDG_RUNTIME_DIR", m_runtime.path());
    }

    void initConfigWritesAConsistentFile() {
        QTemporaryDir data;
        QVERIFY(withCatalogues(data));
        const Run r = run(
            {"--init-config", "--data-dir", data.path(), "--language", "English", "--super-password", "boss",
             "--ordinary-password", "crew", "--port", "ttyUSB0", "--remark", "Pump house", "--port", "COM2"},
            m_env);
        QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.err));
        config::Config config(data.path());
        auto set = [&](const char* key) { return config.reini("system.ini", "Set", key); };
        QCOMPARE(set("ports"), QString("2"));
        QCOMPARE(set("port0"), QString("ttyUSB0"));
        QCOMPARE(set("remark0"), QString("Pump house"));
        QCOMPARE(set("remark1"), QString("COM2"));
        QCOMPARE(set("cjkl"), QString::number(config::ProductHash("boss")));
        QCOMPARE(set("jzm"), config::CheckValue(config, set("language"), set("flash"), set("save2"),
                                                set("save1"), set("ports"), set("cjkl"), set("ptkl")));

        // An existing file is kept unless --force is given.
        const Run again = run(
            {"--init-config", "--data-dir", data.path(), "--super-password", "a", "--ordinary-password", "b"},
            m_env);
        QCOMPARE(again.exitCode, 1);
        QCOMPARE(set("cjkl"), QString::number(config::ProductHash("boss")));
    }

    // A --data-dir that does not exist yet is made, so that the README's next step finds it.
    void initConfigMakesAMissingDataDir() {
        QTemporaryDir parent;
        const QString data = parent.filePath("site/data");
        const Run r = run({"--init-config", "--data-dir", data, "--language", "English", "--super-password",
                           "boss", "--ordinary-password", "crew"},
                          m_env);
        QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.err));
        QVERIFY(QFile::exists(data + "/system.ini"));
    }

    // A fresh folder: --init-config copies the program's own catalogues and help files in, reads the
    // passwords from a pipe (one line per prompt), and the program then starts on that folder.
    void initConfigIntoFreshFolderThenStart() {
        QTemporaryDir data;
        QVERIFY(QFile::exists(qEnvironmentVariable("TARSYN_BIN_DIR") + "/English.lag"));
        const Run r = run({"--init-config", "--data-dir", data.path(), "--language", "English"}, m_env, 20000,
                          "boss\nboss\ncrew\ncrew\n");
        QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains("Copied ") && r.out.contains("English.lag") && r.out.contains("Chinese.hlp"),
                 qPrintable(r.out));
        for (const char* name : {"English.lag", "Chinese.lag", "English.hlp", "Chinese.hlp", "system.ini"})
            QVERIFY2(QFile::exists(data.filePath(name)), name);
        config::Config config(data.path());
        QCOMPARE(config.reini("system.ini", "Set", "cjkl"), QString::number(config::ProductHash("boss")));
        QCOMPARE(config.reini("system.ini", "Set", "ptkl"), QString::number(config::ProductHash("crew")));

        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program(), {"--data-dir", data.path()});
        QVERIFY(p.waitForStarted());
        // Past the settings check: the history database is made and the login waits.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(data.filePath("kalde.db")), 10000);
        QVERIFY(!p.readAllStandardError().contains("Error"));
        p.kill();
        p.waitForFinished();
    }

    // Temporary copies left by killed saves are removed at start; the program's files stay.
    void staleSaveCopiesRemovedAtStart() {
        QTemporaryDir data;
        QVERIFY(configured(data, m_env));
        const QString stale = data.filePath(".system.ini.tmp3f9a01");
        QFile f(stale);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Set]\r\nlanguage=Eng");
        f.flush();  // a write at the close would stamp the file anew
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime));
        f.close();
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program(), {"--data-dir", data.path()});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(data.filePath("kalde.db")), 10000);
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(data.filePath("system.ini")));
        p.kill();
        p.waitForFinished();
    }

    void initConfigPasswordsTypedDifferentlyAreRefused() {
        QTemporaryDir data;
        QVERIFY(withCatalogues(data));
        const Run r = run({"--init-config", "--data-dir", data.path()}, m_env, 20000, "boss\nbosss\n");
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("differ"), qPrintable(r.err));  // not "no password given"
        QVERIFY(!QFile::exists(data.filePath("system.ini")));
    }

    // A missing or damaged system.ini: the fixed text, then the file and what to do, on standard error
    // as well as in the box; nothing is made in the data folder.
    void startWithoutSettingsSaysWhyAndMakesNothing_data() {
        QTest::addColumn<QByteArray>("ini");  // empty: no file
        QTest::addColumn<QString>("reason");
        QTest::newRow("no system.ini") << QByteArray() << "does not exist";
        QTest::newRow("check fails") << QByteArray("[Set]\r\nlanguage=English\r\njzm=12\r\n")
                                     << "does not match";
        // Counts and times out of range, sealed with a matching check value: refused all the same.
        QTest::newRow("ports 2147483647") << sealed("2147483647", "6")
                                          << "[Set] ports=2147483647 is not a whole "
                                             "number from 0 to 64 (ports)";
        QTest::newRow("ports -5") << sealed("-5", "6") << "[Set] ports=-5 is not a whole number from 0 to 64";
        QTest::newRow("refresh 0") << sealed("0", "0")
                                   << "[Set] flash=0 is not a whole number from 1 to 3600";
    }
    void startWithoutSettingsSaysWhyAndMakesNothing() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, reason);
        QTemporaryDir data;
        QVERIFY(withCatalogues(data));
        if (!ini.isEmpty()) {
            QFile f(data.filePath("system.ini"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ini);
        }
        const QStringList before =
            QDir(data.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program(), {"--data-dir", data.path()});
        QVERIFY(p.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains("--init-config"), 10000);
        const QStringList lines = QString::fromLocal8Bit(err).split('\n');
        QCOMPARE(lines.at(0), QString("system.ini Error!"));
        QVERIFY2(lines.at(1).startsWith(QDir::toNativeSeparators(data.filePath("system.ini"))),
                 qPrintable(lines.at(1)));
        QVERIFY2(lines.at(1).contains(reason), qPrintable(lines.at(1)));
        QVERIFY2(lines.at(1).contains("tarsyn --init-config"), qPrintable(lines.at(1)));
        // Without a screen nobody could answer the box: the program ends, having made nothing.
        QVERIFY(p.state() == QProcess::NotRunning || p.waitForFinished(10000));  // may be over already
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QDir(data.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    }

    void initConfigRefusesEqualPasswords() {
        QTemporaryDir data;
        QVERIFY(withCatalogues(data));
        const Run r = run({"--init-config", "--data-dir", data.path(), "--super-password", "same",
                           "--ordinary-password", "same"},
                          m_env);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!r.err.isEmpty());
        QVERIFY(!QFile::exists(data.filePath("system.ini")));
    }

    void unknownOptionIsRefused() {
        QTemporaryDir data;
        const Run r = run({"--data-dir", data.path(), "--frobnicate"}, m_env);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains("--frobnicate"));
    }

    void secondCopyEndsAtOnceAndSaysWhy() {
        QTemporaryDir data;
        QVERIFY(configured(data, m_env));
        // The first copy waits at its login dialog; the second must not even get that far.
        QProcess first;
        first.setProcessEnvironment(m_env);
        first.start(program(), {"--data-dir", data.path()});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QDir(m_runtime.path()).entryList(QDir::Files | QDir::Hidden).size() > 0,
                                 10000);
        // Past the guard and the settings check once it has made the history database.
        QVERIFY(pastTheGuard(first, data));

        const Run second = run({"--data-dir", data.path()}, m_env, 10000);
        QVERIFY(second.finished);
        QCOMPARE(second.exitCode, 4);
        QVERIFY(second.out.isEmpty());
        QVERIFY2(second.err.startsWith("Tarsyn is already running for this user"), qPrintable(second.err));
        QCOMPARE(first.state(), QProcess::Running);  // the first copy is left alone

        first.kill();  // a crash leaves the lock behind in the file system, but not the lock itself
        first.waitForFinished();
        // The history database goes too, so that the next copy's making it anew shows it got past the guard.
        for (const char* f : {"kalde.db", "kalde.db-wal", "kalde.db-shm"}) QFile::remove(data.filePath(f));
        QProcess third;
        third.setProcessEnvironment(m_env);
        third.start(program(), {"--data-dir", data.path()});
        QVERIFY(third.waitForStarted());
        QVERIFY(pastTheGuard(third, data));  // not blocked by the stale lock
        third.kill();
        third.waitForFinished();
    }

    void terminationSignalEndsTheProgramNormally() {
        QTemporaryDir data;
        QVERIFY(configured(data, m_env));
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program(), {"--data-dir", data.path()});
        QVERIFY(p.waitForStarted());
        // Up and waiting at its login once the history database exists.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(data.filePath("kalde.db")), 10000);
        QTest::qWait(300);
        p.terminate();  // SIGTERM, as a session logout or `kill` sends
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);  // not killed by the signal
        QCOMPARE(p.exitCode(), 0);
        // The database was closed: its write-ahead log is checkpointed and gone.
        QVERIFY(!QFile::exists(data.filePath("kalde.db-wal")));
    }

private:
    QTemporaryDir m_runtime;
    QProcessEnvironment m_env;
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
