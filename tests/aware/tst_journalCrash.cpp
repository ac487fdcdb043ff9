// A program killed with SIGKILL while journalling leaves a sound kalde.db holding every event it had
// seen written.
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestJournalCrash : public QObject {
    Q_OBJECT
private slots:
    void killedProgramLosesNoWrittenEvent() {
        QTemporaryDir dir;
        const QString file = dir.filePath("kalde.db");
        QProcess writer;
        writer.start(QCoreApplication::applicationDirPath() + "/journal_writer", {file});
        QVERIFY2(writer.waitForStarted(10000), qPrintable(writer.errorString()));
        QByteArray out;
        int reported = 0;
        QDeadlineTimer deadline(60000);
        while (reported < 300 && !deadline.hasExpired()) {
            if (!writer.waitForReadyRead(1000) && writer.state() != QProcess::Running) break;
            out += writer.readAllStandardOutput();
            reported = out.count('\n');
        }
        QVERIFY2(reported >= 300, writer.readAllStandardError().constData());
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
        out += writer.readAllStandardOutput();
        int written = 0;
        for (const QByteArray& l : out.split('\n'))  // the last line may be cut by the kill
            if (!l.isEmpty() && l == QByteArray::number(written + 1)) written += 1;
        QVERIFY(written >= 300);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "crash-check");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("PRAGMA integrity_check") && q.next());
            QCOMPARE(q.value(0).toString(), QString("ok"));
            QVERIFY(q.exec(
                "SELECT \"detail\" FROM \"journal\" WHERE \"port\" = 'w' AND \"kind\" = 'alarm-raised'"));
            QSet<int> seen;
            while (q.next()) seen.insert(q.value(0).toInt());
            for (int i = 1; i <= written; ++i)
                QVERIFY2(seen.contains(i), qPrintable(QString("event %1 lost").arg(i)));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("crash-check");
    }
};

QTEST_GUILESS_MAIN(TestJournalCrash)
#include "tst_journalCrash.moc"
