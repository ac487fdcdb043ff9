// The single-instance guard, in one process and across processes.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "app/core/SingleInstance.h"

using tarsyn::app::SingleInstance;

class TestSingleInstance : public QObject {
    Q_OBJECT

    static bool startHolder(QProcess& p, const QString& lock) {
        p.start(QStringLiteral(LOCK_HOLDER), {lock});
        if (!p.waitForStarted(10000)) return false;
        return p.waitForReadyRead(10000) && p.readLine().trimmed() == "held";
    }

private slots:
    void secondGuardRefusedUntilFirstReleased() {
        QTemporaryDir dir;
        const QString lock = dir.filePath(".tarsyn.lock");
        {
            SingleInstance first = SingleInstance::atPath(lock);
            QVERIFY(first.acquire());
            SingleInstance second = SingleInstance::atPath(lock);
            QVERIFY(!second.acquire());
            QVERIFY(!second.held());
        }
        SingleInstance third = SingleInstance::atPath(lock);
        QVERIFY(third.acquire());
    }

    void unusableLockFileDoesNotBlockStart() {
        SingleInstance guard = SingleInstance::atPath("/nonexistent-folder/x/.tarsyn.lock");
        QVERIFY(guard.acquire());
    }

    void defaultPathKeyedByNameAndUser() {
        const QString a = SingleInstance::defaultLockFilePath("#kaldekaldeint%#");
        QCOMPARE(SingleInstance::defaultLockFilePath("#kaldekaldeint%#"), a);
        QVERIFY(SingleInstance::defaultLockFilePath("other") != a);
        QVERIFY(!QFileInfo(a).fileName().contains('#'));
        QCOMPARE(SingleInstance().lockFilePath(), a);
    }

    void secondProcessEndsAtOnceSilently() {
        QTemporaryDir dir;
        const QString lock = dir.filePath(".tarsyn.lock");
        QProcess first;
        QVERIFY(startHolder(first, lock));
        QProcess second;
        second.start(QStringLiteral(LOCK_HOLDER), {lock});
        QVERIFY(second.waitForFinished(10000));  // it does not wait for the first to end
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAll().isEmpty());
        QCOMPARE(first.state(), QProcess::Running);  // the first is unaffected
        first.closeWriteChannel();
        QVERIFY(first.waitForFinished(10000));
    }

    void lockOfKilledProcessIsNotStale() {
        QTemporaryDir dir;
        const QString lock = dir.filePath(".tarsyn.lock");
        QProcess first;
        QVERIFY(startHolder(first, lock));
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        QVERIFY(QFile::exists(lock));  // the file stays behind, the lock does not
        QProcess next;
        QVERIFY(startHolder(next, lock));
        next.closeWriteChannel();
        QVERIFY(next.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleInstance.moc"
