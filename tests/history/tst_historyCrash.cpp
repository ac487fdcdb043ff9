#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "history/HistoryStore.h"

using namespace tarsyn::history;

/// A recorder killed with SIGKILL in the middle of writing leaves a sound file holding every row
/// it had reported as committed.
class TestHistoryCrash : public QObject {
    Q_OBJECT
private slots:
    void killedWriterLosesNoCommittedRow() {
        QTemporaryDir dir;
        const QString file = dir.filePath("kalde.db");
        QProcess writer;
        writer.setProcessChannelMode(QProcess::SeparateChannels);
        writer.start(QCoreApplication::applicationDirPath() + "/history_writer", {file});
        QVERIFY2(writer.waitForStarted(10000), qPrintable(writer.errorString()));

        QByteArray out;
        int reported = 0;
        QDeadlineTimer deadline(60000);
        while (reported < 200 && !deadline.hasExpired()) {
            if (!writer.waitForReadyRead(1000) && writer.state() != QProcess::Running) break;
            out += writer.readAllStandardOutput();
            reported = out.count('\n');
        }
        QVERIFY2(reported >= 200, writer.readAllStandardError().constData());
        writer.kill();  // SIGKILL: no clean-up, no flush, no close
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
        out += writer.readAllStandardOutput();
        const QList<QByteArray> lines = out.split('\n');
        int committed = 0;
        for (const QByteArray& l : lines)  // the last line may be cut by the kill
            if (!l.isEmpty() && l == QByteArray::number(committed + 1)) committed += 1;
        QVERIFY(committed >= 200);

        const QString name = QStringLiteral("crash-check");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("PRAGMA integrity_check") && q.next());
            QCOMPARE(q.value(0).toString(), QString("ok"));
            for (const char* table : {"24xs", "nls"}) {
                QVERIFY(q.exec(QString("SELECT \"sj1\" FROM \"%1\" WHERE \"port\" = 'w'").arg(table)));
                QSet<int> seen;
                while (q.next()) seen.insert(q.value(0).toInt());
                for (int i = 1; i <= committed; ++i)
                    QVERIFY2(seen.contains(i), qPrintable(QString("row %1 of %2 lost").arg(i).arg(table)));
            }
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

QTEST_GUILESS_MAIN(TestHistoryCrash)
#include "tst_historyCrash.moc"
