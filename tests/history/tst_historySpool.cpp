// The recorder against an embedded history that another program holds write-locked, a spool that
// outlives the program, a full spool, and a kalde.db that belongs to another program.
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "FakeClock.h"
#include "HistoryTestSupport.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/JournalStore.h"

using namespace tarsyn;
using namespace tarsyn::history;

namespace {

/// Another program holding a write transaction on a database file: the sqlite3 shell.
class WriteLock {
public:
    explicit WriteLock(const QString& file) : m_file(file) {}
    ~WriteLock() {
        if (m_shell.state() == QProcess::NotRunning) return;
        m_shell.closeWriteChannel();  // the shell ends, its transaction with it
        m_shell.waitForFinished(10000);
    }
    bool take() {
        m_shell.start("sqlite3", {m_file});
        if (!m_shell.waitForStarted(10000)) {
            qWarning() << "sqlite3:" << m_shell.errorString();
            return false;
        }
        return say("BEGIN IMMEDIATE;\nSELECT 'locked';\n", "locked");
    }
    bool release() { return say("COMMIT;\nSELECT 'free';\n", "free"); }

private:
    bool say(const QByteArray& sql, const QByteArray& answer) {
        m_shell.write(sql);
        QDeadlineTimer deadline(30000);
        while (!m_shell.canReadLine() && !deadline.hasExpired()) m_shell.waitForReadyRead(1000);
        return m_shell.readLine().trimmed() == answer;
    }
    QString m_file;
    QProcess m_shell;
};

/// The tables and indexes of a database file, as its schema text.
QStringList schemaOf(const QString& file) {
    QStringList schema;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "schema-check");
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        q.exec("SELECT type, name, sql FROM sqlite_master ORDER BY name");
        while (q.next())
            schema << q.value(0).toString() + ' ' + q.value(1).toString() + ' ' + q.value(2).toString();
    }
    QSqlDatabase::removeDatabase("schema-check");
    return schema;
}

}  // namespace

class TestHistorySpool : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    test::FakeClock m_clock;
    QStringList m_errors;
    QStringList m_expected;  // the stamp of every reply handed to the recorder

    QString dbPath() const { return m_dir->filePath("kalde.db"); }
    std::unique_ptr<HistoryRecorder> recorderOn(HistoryStore& store, HistoryWriter::Limits limits) {
        return std::make_unique<HistoryRecorder>(
            store, m_clock, [] { return QString("0"); }, [] { return QString("0"); },
            [this](const QString& e) { m_errors << e; }, limits);
    }
    /// One reply 2 s after the last, due in both tables ("sj1" holds its number, from 1).
    void reply(HistoryRecorder& recorder) {
        m_clock.advanceSecs(2);
        recorder.recordLiveReply(test::countingReply(quint32(m_expected.size())), "A");
        m_expected << stampText(m_clock.now());
    }
    /// Every table holds exactly the rows of the replies from `first` (0-based) on, with their times.
    void verifyRows(int first = 0) {
        HistoryStore reader(HistoryLocation::sqliteFile(dbPath()));
        QVERIFY2(reader.connect(), qPrintable(reader.lastError()));
        for (HistoryTable t : {HistoryTable::Day, HistoryTable::Hour}) {
            const QVector<HistoryRow> rows = reader.rowsSince(t, "A", QDateTime());
            QCOMPARE(rows.size(), m_expected.size() - first);
            for (int i = 0; i < rows.size(); ++i) {
                QCOMPARE(rows[i].sj, m_expected[first + i]);
                QCOMPARE(rows[i].values[0], double(first + i + 1));
            }
        }
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_clock = test::FakeClock();
        m_errors.clear();
        m_expected.clear();
    }

    void writeLockedFileHoldsNoReplyUpAndLosesNoRow_data() {
        QTest::addColumn<int>("busyMs");  // how long the writer waits for the lock at each try
        QTest::newRow("the writer gives up at once and spools") << 250;
        QTest::newRow("the writer waits an hour for the lock") << 3600 * 1000;
    }
    void writeLockedFileHoldsNoReplyUpAndLosesNoRow() {
        QFETCH(int, busyMs);
        HistoryStore store(HistoryLocation::sqliteFile(dbPath()));
        QVERIFY(store.connect());
        WriteLock other(dbPath());
        QVERIFY(other.take());
        HistoryWriter::Limits limits;
        limits.sqliteBusyMs = busyMs;
        limits.retryMs = 3600 * 1000;  // tried again only when flushed
        auto recorder = recorderOn(store, limits);
        QSignalSpy status(recorder.get(), &HistoryRecorder::statusChanged);

        // Forty replies while the lock is held: a reply that waited on the database would wait for
        // the lock, as long as the other program keeps it.
        for (int i = 0; i < 40; ++i) reply(*recorder);
        if (busyMs < 1000) {
            recorder->flush();
            QVERIFY(!recorder->isOk());
            QVERIFY2(recorder->statusText().contains("80 rows wait"), qPrintable(recorder->statusText()));
            QCOMPARE(status.count(), 1);
            QVERIFY(QFile::exists(m_dir->filePath("kalde.spool")));
        }

        QVERIFY(other.release());
        recorder->flush();
        QVERIFY(recorder->isOk());
        // Failing (the lock) or only behind (the writer waiting on it with the rows queued): either way
        // the strip has been told it works again.
        QCOMPARE(status.count() % 2, 0);
        if (busyMs < 1000) QCOMPARE(status.count(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(m_errors.size(), busyMs < 1000 ? 1 : 0);
        verifyRows();
    }

    void spoolOutlivesTheProgram() {
        {
            HistoryStore store(HistoryLocation::sqliteFile(dbPath()));
            QVERIFY(store.connect());
            WriteLock other(dbPath());
            QVERIFY(other.take());
            HistoryWriter::Limits limits;
            limits.retryMs = 3600 * 1000;
            limits.sqliteBusyMs = 1;  // the lock is held throughout: waiting for it only costs time
            auto recorder = recorderOn(store, limits);
            for (int i = 0; i < 5; ++i) reply(*recorder);
            recorder->flush();
            QVERIFY(!recorder->isOk());
            QVERIFY(other.release());
        }  // the program ends while the rows wait
        HistoryStore store(HistoryLocation::sqliteFile(dbPath()));
        QVERIFY(store.connect());
        QCOMPARE(store.rowCount(HistoryTable::Hour), 0);

        auto recorder = recorderOn(store, HistoryWriter::Limits{});  // the next start
        recorder->flush();
        QVERIFY(recorder->isOk());
        verifyRows();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "spool-check");
            db.setDatabaseName(m_dir->filePath("kalde.spool"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT COUNT(*) FROM \"spool\"") && q.next());
            QCOMPARE(q.value(0).toInt(), 0);
        }
        QSqlDatabase::removeDatabase("spool-check");
    }

    void fullSpoolDropsTheOldestAndSaysHowMany() {
        HistoryStore store(HistoryLocation::sqliteFile(dbPath()));
        QVERIFY(store.connect());
        WriteLock other(dbPath());
        QVERIFY(other.take());
        HistoryWriter::Limits limits;
        limits.spoolRows = 6;
        limits.retryMs = 3600 * 1000;
        limits.sqliteBusyMs = 1;  // the lock is held throughout: waiting for it only costs time
        auto recorder = recorderOn(store, limits);
        qint64 dropped = 0;
        recorder->setDroppedHook([&dropped](qint64 rows) { dropped += rows; });
        for (int i = 0; i < 5; ++i) {
            reply(*recorder);
            recorder->flush();
        }
        QCOMPARE(dropped, 4);  // ten rows, six kept: the two oldest replies' rows went
        QVERIFY(other.release());
        recorder->flush();
        QVERIFY(recorder->isOk());
        verifyRows(2);
    }

    void foreignDatabaseIsRefusedUntouched_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("table");
        QTest::newRow("nls of another program") << "CREATE TABLE \"nls\" (\"a\" TEXT, \"b\" INTEGER)"
                                                << "nls";
        QStringList columns{"\"sj\" TEXT", "\"port\" TEXT"};
        for (int i = 1; i <= 19; ++i) columns << QString("\"sj%1\" INTEGER").arg(i);
        QTest::newRow("24xs without sj20") << "CREATE TABLE \"24xs\" (" + columns.join(',') + ")"
                                           << "24xs";
        QTest::newRow("journal of another program") << "CREATE TABLE \"journal\" (\"x\" TEXT)"
                                                    << "journal";
    }
    void foreignDatabaseIsRefusedUntouched() {
        QFETCH(QString, sql);
        QFETCH(QString, table);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "foreign");
            db.setDatabaseName(dbPath());
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(sql));
        }
        QSqlDatabase::removeDatabase("foreign");
        const QStringList before = schemaOf(dbPath());
        const auto bytesOf = [this] {
            QFile f(dbPath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray file = bytesOf();  // header included: the journal mode is not switched either

        HistoryStore store(HistoryLocation::sqliteFile(dbPath()));
        QVERIFY(!store.connect());
        QVERIFY2(
            store.lastError().contains("\"" + table + "\"") && store.lastError().contains("not a history"),
            qPrintable(store.lastError()));
        JournalStore journal(HistoryLocation::sqliteFile(dbPath()), m_clock);
        QVERIFY(!journal.open());
        QVERIFY2(journal.lastError().contains("\"" + table + "\""), qPrintable(journal.lastError()));
        QCOMPARE(schemaOf(dbPath()), before);  // not a table, not an index added
        QVERIFY(bytesOf() == file);
        QVERIFY(!QFile::exists(dbPath() + "-wal"));
    }
};

QTEST_GUILESS_MAIN(TestHistorySpool)
#include "tst_historySpool.moc"
