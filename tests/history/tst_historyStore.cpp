#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "FakeClock.h"
#include "HistoryTestSupport.h"
#include "PostgresVariant.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"

using namespace tarsyn;
using namespace tarsyn::history;

namespace {

const QDateTime kStart(QDate(2026, 3, 1), QTime(12, 0, 0));

/// Runs one SQL text on the store's own connection, as another tool (or PC) would.
bool execOn(HistoryStore& store, const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(store.connectionName()));
    const bool ok = q.exec(sql);
    if (!ok) qWarning() << sql << q.lastError().text();
    return ok;
}

}  // namespace

/// The store and the recorder against a real database. The same suite runs on SQLite and, with
/// TARSYN_HISTORY_BACKEND=postgresql, on the server named by TARSYN_TEST_PG_URL.
class TestHistoryStore : public QObject {
    Q_OBJECT

    bool m_postgres = false;
    std::unique_ptr<QTemporaryDir> m_dir;
    test::FakeClock m_clock;
    QString m_day = "1";    // "save2", minutes
    QString m_hour = "60";  // "save1", seconds
    QStringList m_errors;

    HistoryLocation location() const { return test::variantLocation(m_dir->filePath("kalde.db")); }
    std::unique_ptr<HistoryStore> openStore() {
        auto s = std::make_unique<HistoryStore>(location());
        if (!s->connect()) qWarning() << s->lastError();
        return s;
    }
    /// The boxes the recorder asked for; they come from the event loop, after the recording call.
    QStringList errors() {
        QCoreApplication::processEvents();
        return m_errors;
    }
    /// One reply, then a wait until the recorder's writer has tried the database with its rows.
    static void record(HistoryRecorder& recorder, const QString& reply, const QString& remark) {
        recorder.recordLiveReply(reply, remark);
        recorder.flush();
    }
    std::unique_ptr<HistoryRecorder> recorderOn(HistoryStore& store) {
        return std::make_unique<HistoryRecorder>(
            store, m_clock, [this] { return m_day; }, [this] { return m_hour; },
            [this](const QString& e) { m_errors << e; });
    }

private slots:
    void initTestCase() {
        m_postgres = test::postgresVariant();
        TARSYN_SKIP_POSTGRES_VARIANT_WITHOUT_SERVER();
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_clock.set(kStart);
        m_day = "1";
        m_hour = "60";
        m_errors.clear();
        if (m_postgres) {  // a fresh pair of tables on the shared server
            // A plain connection: a table a failed case left broken is not the program's any more.
            QString why;
            QVERIFY2(
                HistoryStore::openConnection(location(), "cleanup", HistoryStore::Durability::PowerCut, &why),
                qPrintable(why));
            {
                QSqlQuery q(QSqlDatabase::database("cleanup"));
                for (const char* t : {"24xs", "nls", "24xs_away", "nls_away"})
                    QVERIFY(q.exec(QString("DROP TABLE IF EXISTS \"%1\"").arg(t)));
            }
            QSqlDatabase::database("cleanup").close();
            QSqlDatabase::removeDatabase("cleanup");
        }
    }

    void valuesReadBackUnchanged_data() {
        QTest::addColumn<quint32>("raw");     // put into every recorded field (one byte for the power factor)
        QTest::addColumn<double>("integer");  // what a plain column stores
        QTest::addColumn<double>("tenths");   // sj7, sj8, sj9, sj15
        QTest::addColumn<double>("hundredths");  // sj17, the power factor
        QTest::newRow("zero") << 0u << 0.0 << 0.0 << 0.0;
        QTest::newRow("maximum: 65535, 6553.5, 2.55") << 0xFFFFu << 65535.0 << 6553.5 << 2.55;
        QTest::newRow("0x55: 85, 8.5, 0.85") << 0x55u << 85.0 << 8.5 << 0.85;
    }
    void valuesReadBackUnchanged() {
        QFETCH(quint32, raw);
        QFETCH(double, integer);
        QFETCH(double, tenths);
        QFETCH(double, hundredths);
        auto store = openStore();
        QVERIFY(store->isOpen());
        std::array<quint32, kValueCount> fields;
        fields.fill(raw);
        fields[16] = raw & 0xFF;
        const QString reply = test::liveReply(fields);
        auto recorder = recorderOn(*store);
        record(*recorder, reply, "A");

        // The columns' scalings as the history tables list them: sj7-sj9 and sj15 tenths, sj17 hundredths.
        const char kScaling[] = "IIIIIITTTIIIIITIHIII";
        HistoryRow expected;
        for (size_t i = 0; i < kValueCount; ++i)
            expected.values[i] = kScaling[i] == 'T' ? tenths : kScaling[i] == 'H' ? hundredths : integer;
        for (HistoryTable t : {HistoryTable::Day, HistoryTable::Hour}) {
            const QVector<HistoryRow> rows = store->rowsSince(t, "A", kStart.addSecs(-1));
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows[0].sj, QString("2026-03-01 12:00:00"));
            QCOMPARE(rows[0].port, QString("A"));
            for (size_t i = 0; i < kValueCount; ++i) QCOMPARE(rows[0].values[i], expected.values[i]);
        }
        // Integer columns hold integers and real ones reals, in the database itself.
        QSqlQuery q(QSqlDatabase::database(store->connectionName()));
        QVERIFY(q.exec("SELECT \"sj1\", \"sj7\", \"sj17\" FROM \"nls\"") && q.next());
        QCOMPARE(q.value(0).toLongLong(), qlonglong(raw));
        QVERIFY(q.value(0).toString().indexOf('.') < 0);
        QCOMPARE(q.value(1).toDouble(), raw / 10.0);
        QCOMPARE(q.value(2).toDouble(), (raw & 0xFF) / 100.0);
    }

    void firstAcceptedReplyGoesIntoBothTables() {
        auto store = openStore();
        auto recorder = recorderOn(*store);
        QVERIFY(!recorder->nextDayTime().isValid());  // "0": long past
        record(*recorder, test::countingReply(), "Set 1");
        QCOMPARE(store->rowCount(HistoryTable::Day), 1);
        QCOMPARE(store->rowCount(HistoryTable::Hour), 1);
        QCOMPARE(recorder->nextDayTime(), kStart.addSecs(60));
        QCOMPARE(recorder->nextHourTime(), kStart.addSecs(60));
        m_clock.advanceSecs(2);
        record(*recorder, test::countingReply(), "Set 1");  // not due yet
        QCOMPARE(store->rowCount(HistoryTable::Hour), 1);
        QVERIFY(errors().isEmpty());
    }

    void twoHoursOfRepliesKeepDayAndHourWindows() {
        auto store = openStore();
        auto recorder = recorderOn(*store);
        // One live reply every 2 s for two hours; a row is due once now is later than N, so with
        // N = last + 60 s the rows come every 62 s.
        for (int t = 0; t <= 7200; t += 2) {
            m_clock.set(kStart.addSecs(t));
            record(*recorder, test::countingReply(), "A");
        }
        const qint64 day = store->rowCount(HistoryTable::Day);
        const qint64 hour = store->rowCount(HistoryTable::Hour);
        QVERIFY2(day >= 110 && day <= 121, qPrintable(QString::number(day)));
        QVERIFY2(hour >= 55 && hour <= 61, qPrintable(QString::number(hour)));
        // Nothing older than an hour stays in "nls"; "24xs" still has the first row.
        const QVector<HistoryRow> hourRows = store->rowsSince(HistoryTable::Hour, "A", QDateTime());
        const QDateTime last = QDateTime::fromString(hourRows.last().sj, QLatin1String(kStampFormat));
        QVERIFY(hourRows.first().sj >= stampText(last.addSecs(-3600)));
        QCOMPARE(store->rowsSince(HistoryTable::Day, "A", QDateTime()).first().sj, stampText(kStart));
        QVERIFY(errors().isEmpty());
    }

    void purgeKeepsTheRowAtTheCutoff_data() {
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("retention");
        QTest::newRow("24xs keeps 23:59:59") << int(HistoryTable::Day) << 86399;
        QTest::newRow("nls keeps 01:00:00") << int(HistoryTable::Hour) << 3600;
    }
    void purgeKeepsTheRowAtTheCutoff() {
        QFETCH(int, table);
        QFETCH(int, retention);
        const auto t = HistoryTable(table);
        auto store = openStore();
        const QDateTime cutoff = kStart.addSecs(-retention);
        // Rows of another device: the purge is for every device.
        QVector<HistoryRow> rows;
        for (int offset : {-1, 0, 1})
            rows << rowFromReply(test::countingReply(), "other", stampText(cutoff.addSecs(offset)));
        store->appendRows(t, rows);
        auto recorder = recorderOn(*store);
        record(*recorder, test::countingReply(), "A");
        const QVector<HistoryRow> left = store->rowsSince(t, "other", QDateTime());
        QCOMPARE(left.size(), 2);
        QCOMPARE(left[0].sj, stampText(cutoff));
        QCOMPARE(left[1].sj, stampText(cutoff.addSecs(1)));
    }

    void remarkIsStoredTrimmedAndIntact_data() {
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QString>("port");
        QTest::newRow("blanks and tabs") << " \tSet  one\t "
                                         << "Set  one";
        QTest::newRow("apostrophe") << "  O'Brien's set\t"
                                    << "O'Brien's set";
        QTest::newRow("would-be injection") << "x'); DELETE FROM \"24xs\"; --"
                                            << "x'); DELETE FROM \"24xs\"; --";
        QTest::newRow("empty") << QString() << QString("");
        QTest::newRow("Chinese") << QString::fromUtf8(" 机组 1 ") << QString::fromUtf8("机组 1");
    }
    void remarkIsStoredTrimmedAndIntact() {
        QFETCH(QString, remark);
        QFETCH(QString, port);
        auto store = openStore();
        store->appendRows(HistoryTable::Day, {rowFromReply(test::countingReply(), "B", stampText(kStart))});
        auto recorder = recorderOn(*store);
        record(*recorder, test::countingReply(), remark);
        QVERIFY(errors().isEmpty());
        for (HistoryTable t : {HistoryTable::Day, HistoryTable::Hour}) {
            const QVector<HistoryRow> rows = store->rowsSince(t, port, QDateTime());
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows[0].port, port);
        }
        QCOMPARE(store->rowCount(HistoryTable::Day), 2);  // the other device's row is still there
    }

    void shortRepliesRecordNothing_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("rows");
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("103 characters") << 103 << 0;
        QTest::newRow("104 characters (no CR LF)") << 104 << 1;
        QTest::newRow("106 characters") << 106 << 1;
    }
    void shortRepliesRecordNothing() {
        QFETCH(int, length);
        auto store = openStore();
        auto recorder = recorderOn(*store);
        record(*recorder, test::countingReply().left(length), "A");
        QTEST(int(store->rowCount(HistoryTable::Day)), "rows");
        QTEST(int(store->rowCount(HistoryTable::Hour)), "rows");
        QVERIFY(errors().isEmpty());
    }

    void failingTableIsReportedOnceAndRecordingResumes_data() {
        QTest::addColumn<QString>("broken");
        QTest::newRow("24xs without sj5") << "24xs";
        QTest::newRow("nls without sj5") << "nls";
    }
    void failingTableIsReportedOnceAndRecordingResumes() {
        QFETCH(QString, broken);
        const HistoryTable bad = broken == "24xs" ? HistoryTable::Day : HistoryTable::Hour;
        const HistoryTable good = bad == HistoryTable::Day ? HistoryTable::Hour : HistoryTable::Day;
        m_day = "0";
        m_hour = "0";  // every reply is due
        auto store = openStore();
        auto recorder = recorderOn(*store);
        recorder->flush();  // its writer has connected to the tables as they were
        QSignalSpy status(recorder.get(), &HistoryRecorder::statusChanged);
        QVERIFY(execOn(*store, QString("ALTER TABLE \"%1\" RENAME COLUMN \"sj5\" TO \"away\"").arg(broken)));

        for (int i = 0; i < 5; ++i) {
            m_clock.advanceSecs(2);
            record(*recorder, test::countingReply(), "A");
        }
        QCOMPARE(errors().size(), 1);
        QVERIFY2(errors()[0].contains(QString("\"%1\"").arg(broken)), qPrintable(errors()[0]));
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toBool(), false);
        QVERIFY(!recorder->isOk());
        QCOMPARE(store->rowCount(good), 5);  // the other table goes on
        QCOMPARE(store->rowCount(bad), 0);

        QVERIFY(execOn(*store, QString("ALTER TABLE \"%1\" RENAME COLUMN \"away\" TO \"sj5\"").arg(broken)));
        m_clock.advanceSecs(2);
        record(*recorder, test::countingReply(), "A");
        // The rows of the failing time waited and come with their own times.
        const QVector<HistoryRow> rows = store->rowsSince(bad, "A", QDateTime());
        QCOMPARE(rows.size(), 6);
        for (int i = 0; i < 6; ++i) QCOMPARE(rows[i].sj, stampText(kStart.addSecs(2 * (i + 1))));
        QCOMPARE(status.count(), 2);
        QCOMPARE(status.at(1).at(0).toBool(), true);
        QVERIFY(recorder->isOk());
        QCOMPARE(errors().size(), 1);
    }

    void badReplyOrCadenceWritesNothingAndRetries_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("hourCadence");
        QTest::addColumn<QString>("word");  // in the message
        QString bad = test::countingReply();
        bad[66] = QLatin1Char('x');  // generator voltage A at 67
        QTest::newRow("non-hex field") << bad << "60"
                                       << "bad field";
        QTest::newRow("cadence not a number") << test::countingReply() << "1O"
                                              << "\"1O\"";
    }
    void badReplyOrCadenceWritesNothingAndRetries() {
        QFETCH(QString, reply);
        QFETCH(QString, hourCadence);
        QFETCH(QString, word);
        m_hour = hourCadence;
        auto store = openStore();
        auto recorder = recorderOn(*store);
        record(*recorder, reply, "A");
        m_clock.advanceSecs(2);
        record(*recorder, reply, "A");
        QCOMPARE(errors().size(), 1);
        QVERIFY2(errors()[0].contains(word), qPrintable(errors()[0]));
        QCOMPARE(store->rowCount(HistoryTable::Hour), 0);
        QVERIFY(!recorder->nextHourTime().isValid());

        m_hour = "60";
        m_clock.advanceSecs(2);
        record(*recorder, test::countingReply(), "A");
        QCOMPARE(store->rowCount(HistoryTable::Hour), 1);
        QVERIFY(recorder->isOk());
    }

    void negativeCadenceRecordsEveryReply_data() {
        QTest::addColumn<QString>("day");   // minutes
        QTest::addColumn<QString>("hour");  // seconds
        QTest::newRow("save1 -5 s") << "1"
                                    << "-5";
        QTest::newRow("save2 -1 min") << "-1"
                                      << "60";
        QTest::newRow("both") << "-3"
                              << "-1";
    }
    void negativeCadenceRecordsEveryReply() {
        // The next time is now + the cadence: a negative one lies in the past, so each reply is due.
        QFETCH(QString, day);
        QFETCH(QString, hour);
        m_day = day;
        m_hour = hour;
        auto store = openStore();
        auto recorder = recorderOn(*store);
        for (int i = 0; i < 4; ++i) {
            record(*recorder, test::countingReply(), "A");
            if (hour.toInt() < 0) QCOMPARE(recorder->nextHourTime(), m_clock.now().addSecs(hour.toInt()));
            if (day.toInt() < 0) QCOMPARE(recorder->nextDayTime(), m_clock.now().addSecs(60 * day.toInt()));
            m_clock.advanceSecs(2);
        }
        QCOMPARE(int(store->rowCount(HistoryTable::Hour)), hour.toInt() < 0 ? 4 : 1);
        QCOMPARE(int(store->rowCount(HistoryTable::Day)), day.toInt() < 0 ? 4 : 1);
        QVERIFY(errors().isEmpty());
        QVERIFY(recorder->isOk());
    }

    void failureIsReportedAfterTheRecordingCall() {
        // Recording runs inside the poll tick; a box opened there would hold the tick up.
        m_hour = "1O";
        auto store = openStore();
        auto recorder = recorderOn(*store);
        QSignalSpy status(recorder.get(), &HistoryRecorder::statusChanged);
        record(*recorder, test::countingReply(), "A");
        QCOMPARE(status.count(), 1);   // the status strip at once
        QVERIFY(m_errors.isEmpty());   // the box not yet
        QCOMPARE(errors().size(), 1);  // from the event loop
    }

    void droppedTableIsRecreatedAtTheNextRecording_data() {
        QTest::addColumn<QString>("dropped");
        QTest::newRow("24xs") << "24xs";
        QTest::newRow("nls") << "nls";
    }
    void droppedTableIsRecreatedAtTheNextRecording() {
        QFETCH(QString, dropped);
        m_day = "0";
        m_hour = "0";
        auto store = openStore();
        auto recorder = recorderOn(*store);
        record(*recorder, test::countingReply(), "A");
        auto other = openStore();  // another tool drops it while the recorder stays connected
        QVERIFY(execOn(*other, QString("DROP TABLE \"%1\"").arg(dropped)));
        other.reset();
        m_clock.advanceSecs(2);
        record(*recorder, test::countingReply(7), "A");
        const HistoryTable t = dropped == "24xs" ? HistoryTable::Day : HistoryTable::Hour;
        const QVector<HistoryRow> rows = store->rowsSince(t, "A", QDateTime());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].values[0], 8.0);  // sj1 of the second reply
        QCOMPARE(store->rowCount(dropped == "24xs" ? HistoryTable::Hour : HistoryTable::Day), 2);
        QVERIFY(errors().isEmpty());
        QVERIFY(recorder->isOk());
        // Its indexes are back too.
        QSqlQuery q(QSqlDatabase::database(store->connectionName()));
        QVERIFY(q.exec(m_postgres
                           ? QString("SELECT indexname FROM pg_indexes WHERE tablename = '%1'").arg(dropped)
                           : QString("SELECT name FROM sqlite_master WHERE type = 'index' AND "
                                     "tbl_name = '%1'")
                                 .arg(dropped)));
        QStringList indexes;
        while (q.next()) indexes << q.value(0).toString();
        QVERIFY2(indexes.contains(dropped + "_port_sj") && indexes.contains(dropped + "_sj"),
                 qPrintable(indexes.join(',')));
    }

    void cadenceChangeTakesEffectAfterTheCurrentPeriod() {
        auto store = openStore();
        auto recorder = recorderOn(*store);
        record(*recorder, test::countingReply(), "A");  // N = 12:01:00
        m_hour = "10";
        m_clock.advanceSecs(30);
        record(*recorder, test::countingReply(), "A");
        QCOMPARE(store->rowCount(HistoryTable::Hour), 1);
        m_clock.advanceSecs(32);  // 12:01:02
        record(*recorder, test::countingReply(), "A");
        // The rows keep their grid: the slot of 12:01:00 was filled (late), the next is 10 s after it.
        QCOMPARE(recorder->nextHourTime(), m_clock.now().addSecs(8));
        QCOMPARE(store->rowCount(HistoryTable::Hour), 2);
    }

    void curveQueriesSelectOnePortInOrder() {
        auto store = openStore();
        QVector<HistoryRow> rows;
        // Inserted out of order and mixed with another device.
        for (int s : {30, 10, 20, 0}) {
            rows << rowFromReply(test::countingReply(quint32(s)), "A", stampText(kStart.addSecs(s)));
            rows << rowFromReply(test::countingReply(), "B", stampText(kStart.addSecs(s)));
        }
        store->appendRows(HistoryTable::Hour, rows);
        const QVector<HistoryRow> a = store->rowsSince(HistoryTable::Hour, "A", kStart.addSecs(10));
        QCOMPARE(a.size(), 3);
        QCOMPARE(a[0].sj, stampText(kStart.addSecs(10)));
        QCOMPARE(a[2].sj, stampText(kStart.addSecs(30)));
        const QVector<HistoryPoint> speed = store->columnSince(HistoryTable::Hour, "A", kStart, "sj10");
        QCOMPARE(speed.size(), 4);
        QCOMPARE(speed[1].value, 20.0);  // sj10 carries 10 + the offset
        QCOMPARE(speed[3].sj, stampText(kStart.addSecs(30)));
        try {
            store->columnSince(HistoryTable::Hour, "A", kStart, "sj0");
            QFAIL("an unknown column was accepted");
        } catch (const HistoryError& e) {
            QVERIFY2(e.message().contains("sj0"), qPrintable(e.message()));
        }
        QCOMPARE(store->purgeBefore(HistoryTable::Hour, kStart.addSecs(20)), 4);
        QCOMPARE(store->rowCount(HistoryTable::Hour), 4);
    }

    void aSecondStoreSharesTheHistory() {
        // Two PCs (or the curve window of another program) on one history.
        auto writer = openStore();
        auto reader = openStore();
        QVERIFY(reader->isOpen());
        auto recorder = recorderOn(*writer);
        record(*recorder, test::countingReply(), "A");
        QCOMPARE(reader->rowsSince(HistoryTable::Day, "A", QDateTime()).size(), 1);
    }

    void lostServerConnectionIsReopened() {
        if (!m_postgres) QSKIP("only a server connection can be lost");
        m_day = "0";
        m_hour = "0";
        auto store = openStore();
        auto admin = openStore();
        auto recorder = recorderOn(*store);
        QSignalSpy status(recorder.get(), &HistoryRecorder::statusChanged);
        record(*recorder, test::countingReply(), "A");
        // The server ends every other session, the recorder's among them, as a restart would.
        QVERIFY(execOn(*admin,
                       "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                       "current_database() AND pid <> pg_backend_pid()"));
        m_clock.advanceSecs(2);
        // The writer finds the session gone and opens a new one beside the poll; no row is lost.
        record(*recorder, test::countingReply(), "A");
        QVERIFY(recorder->isOk());
        QVERIFY(errors().size() <= 1);
        QCOMPARE(status.count() % 2, 0);  // any failure shown has been followed by "works again"
        QCOMPARE(admin->rowCount(HistoryTable::Day), 2);
        QCOMPARE(admin->rowCount(HistoryTable::Hour), 2);
    }
};

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_historyStore.moc"
