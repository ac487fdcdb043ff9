// A program killed with SIGKILL in the middle of its durable work loses nothing it had finished:
// system.ini is the old or the new settings, never a mix, and the journal database stays sound with
// every event whose commit had returned. The work runs in kill_worker, killed a few times in a row
// on the same files: after a number of finished pieces and then a few milliseconds more, so that the
// kill lands at a different point of the next piece each time (a save takes some 25 ms here, most
// of it syncing; a storm of 25 events some 7 ms). What is asserted does not depend on where it lands.
#include <QDeadlineTimer>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "config/Config.h"

using namespace tarsyn;

namespace {

/// Milliseconds between the last awaited report and the kill, one round each.
constexpr int kKillDelaysMs[] = {0, 3, 8, 14, 21};

/// Runs kill_worker with `args` until it has reported `reports` finished pieces, lets it work on for
/// `delayMs`, kills it and returns the last number it reported whole (a line being printed may be
/// cut by the kill).
int runAndKill(const QStringList& args, int first, int reports, int delayMs) {
    QProcess worker;
    worker.start(QCoreApplication::applicationDirPath() + QStringLiteral("/kill_worker"), args);
    if (!worker.waitForStarted(10000)) qFatal("kill_worker: %s", qPrintable(worker.errorString()));
    QByteArray out;
    QDeadlineTimer deadline(60000);
    while (out.count('\n') < reports && !deadline.hasExpired()) {
        if (!worker.waitForReadyRead(1000) && worker.state() != QProcess::Running) break;
        out += worker.readAllStandardOutput();
    }
    if (delayMs > 0) QThread::msleep(ulong(delayMs));
    worker.kill();
    worker.waitForFinished(10000);
    if (worker.exitStatus() != QProcess::CrashExit)
        qWarning("kill_worker ended by itself: %s", worker.readAllStandardError().constData());
    out += worker.readAllStandardOutput();
    int last = first - 1;
    for (const QByteArray& line : out.split('\n'))
        if (line == QByteArray::number(last + 1)) ++last;
    return last;
}

}  // namespace

class TestKill : public QObject {
    Q_OBJECT
private slots:
    void settingsSaveIsOldOrNew_data() {
        QTest::addColumn<int>("saves");
        QTest::newRow("after one save") << 1;
        QTest::newRow("after eight saves") << 8;
    }
    void settingsSaveIsOldOrNew() {
        QFETCH(int, saves);
        QTemporaryDir dir;
        const config::Config config(dir.path());
        const QString ini = QStringLiteral("system.ini");
        const QString set = QStringLiteral("Set");
        int first = 1;
        for (int delayMs : kKillDelaysMs) {
            const int last =
                runAndKill({"settings", dir.path(), QString::number(first)}, first, saves, delayMs);
            QVERIFY2(last >= first - 1 + saves, "the worker stopped saving");
            const int n = config.reini(ini, set, "flash").toInt();
            QVERIFY2(n == last || n == last + 1,
                     qPrintable(QString("reported save %1, the file holds save %2").arg(last).arg(n)));
            QVERIFY2(config::SettingsCheckProblem(config).isEmpty(),
                     qPrintable(config::SettingsCheckProblem(config)));
            // Every key of the section belongs to the same save.
            QCOMPARE(config.reini(ini, set, "ports"), QString::number(1 + n % 3));
            for (int r = 0; r < 1 + n % 3; ++r) {
                QCOMPARE(config.reini(ini, set, QString("port%1").arg(r)),
                         QString("/dev/ttyS%1-%2").arg(n).arg(r));
                QCOMPARE(config.reini(ini, set, QString("remark%1").arg(r)), QString("R%1-%2").arg(n).arg(r));
                QCOMPARE(config.reini(ini, set, QString("portremark%1").arg(r)), QString("N%1").arg(n));
            }
            first = n + 1;
        }
    }

    void journalKeepsCommittedEvents_data() {
        QTest::addColumn<int>("perStorm");
        QTest::addColumn<int>("storms");
        QTest::newRow("single events") << 1 << 100;
        QTest::newRow("storms of 25") << 25 << 7;
        QTest::newRow("storms of 400") << 400 << 1;
    }
    void journalKeepsCommittedEvents() {
        QFETCH(int, perStorm);
        QFETCH(int, storms);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("kalde.db"));
        QSet<QString> committed;
        int first = 1;
        for (int delayMs : kKillDelaysMs) {
            const QStringList args{"journal", file, QString::number(first), QString::number(perStorm)};
            const int last = runAndKill(args, first, storms, delayMs);
            QVERIFY2(last >= first - 1 + storms, "the worker stopped journalling");
            for (int s = first; s <= last; ++s)
                for (int e = 0; e < perStorm; ++e) committed.insert(QString("%1:%2").arg(s).arg(e));
            first = last + 2;  // the storm being written when the kill came may be partly there

            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "kill-check");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSet<QString> seen;
            {
                QSqlQuery q(db);
                QVERIFY(q.exec("PRAGMA integrity_check") && q.next());
                QCOMPARE(q.value(0).toString(), QString("ok"));
                QVERIFY(q.exec("SELECT \"detail\" FROM \"journal\" WHERE \"port\" = 'w'"));
                while (q.next()) seen.insert(q.value(0).toString());
            }
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase("kill-check");
            const QSet<QString> lost = committed - seen;
            QVERIFY2(lost.isEmpty(), qPrintable(QString("%1 committed events lost, e.g. %2")
                                                    .arg(lost.size())
                                                    .arg(lost.isEmpty() ? QString() : *lost.begin())));
        }
    }
};

QTEST_GUILESS_MAIN(TestKill)
#include "tst_kill.moc"
