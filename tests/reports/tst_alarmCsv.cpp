// The CSV export of the whole alarm log: every page read again, one file with number, code, text
// and time, written only when every page came back.
#include <QTemporaryDir>
#include <QtTest>

#include "AlarmLogController.h"
#include "FakeClock.h"
#include "FakePollControl.h"
#include "FakeSerialPort.h"
#include "ScriptedPrompter.h"
#include "link/ControllerLink.h"
#include "reports/AlarmCsv.h"
#include "reports/AlarmHistory.h"

using namespace tarsyn;

namespace {

QString message(const QString& key) {
    static const QHash<QString, QString> texts = {
        {"dl30", "No."},
        {"dl31", "Alarm"},
        {"dl32", "Time"},
        {"csvcode", "Code"},
        {"csvdone", "Exported to"},
        {"csvfail", "No answer for page"},
        {"csvnocount", "No answer for the count"},
        {"E01", "Voltage / frequency fault"},
        {"E03", "Low battery, \"weak\""},
        {"E05", "High water temperature"},
        {"E08", "Emergency stop"},
    };
    return texts.value(key, QStringLiteral("0"));
}

// Thirteen records: three pages, the last with one record.
const char* const kRecords[13] = {
    "01090307140509", "05090621034117", "03090802221000", "04091115073045", "05091231235958",
    "02100112090102", "08100228162033", "06100403111111", "01100519184505", "07100708060059",
    "03100930132740", "09101010101010", "08101224201530",
};

const char kExpected[] =
    "\xEF\xBB\xBF"
    "No.,Code,Alarm,Time\r\n"
    "1,01,Voltage / frequency fault,2009-03-07 14:05:09\r\n"
    "2,05,High water temperature,2009-06-21 03:41:17\r\n"
    "3,03,\"Low battery, \"\"weak\"\"\",2009-08-02 22:10:00\r\n"
    "4,04,0,2009-11-15 07:30:45\r\n"
    "5,05,High water temperature,2009-12-31 23:59:58\r\n"
    "6,02,0,2010-01-12 09:01:02\r\n"
    "7,08,Emergency stop,2010-02-28 16:20:33\r\n"
    "8,06,0,2010-04-03 11:11:11\r\n"
    "9,01,Voltage / frequency fault,2010-05-19 18:45:05\r\n"
    "10,07,0,2010-07-08 06:00:59\r\n"
    "11,03,\"Low battery, \"\"weak\"\"\",2010-09-30 13:27:40\r\n"
    "12,09,0,2010-10-10 10:10:10\r\n"
    "13,08,Emergency stop,2010-12-24 20:15:30\r\n";

struct Fixture {
    test::FakeSerialPort port;
    test::FakePollControl poll;
    test::FakeSleeper sleeper;
    link::ControllerLink link{port, sleeper};
    test::ScriptedPrompter prompter;
    test::AlarmLogController controller{port};
    reports::AlarmHistory history{link, poll, prompter, message};
    reports::AlarmCsvExport exporter{history, prompter, message};
    QTemporaryDir dir;
    Fixture() {
        port.OpenPort();
        for (const char* r : kRecords) controller.addRecord(QLatin1String(r));
        history.firstRead();
        controller.requests.clear();
    }
    QString path() const { return dir.filePath(QStringLiteral("alarms.csv")); }
};

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestAlarmCsv : public QObject {
    Q_OBJECT
private slots:
    void thirteenRecordsGiveTheExactFile() {
        Fixture f;
        QList<QPair<int, int>> progress;
        QVERIFY(f.exporter.run(f.path(), [&](int step, int steps) { progress << qMakePair(step, steps); }));
        QCOMPARE(readFile(f.path()), QByteArray(kExpected));
        // The count is read afresh, with the first six records; then pages 2 and 3.
        QCOMPARE(f.controller.requests, (QStringList{"00040200002C", "0004022C002A", "00040256002A"}));
        QCOMPARE(f.prompter.of("info"), QStringList{"Exported to " + f.path()});
        // The bar moves through every wait of the three pages and ends full.
        QCOMPARE(progress.first(), qMakePair(0, 33));
        QCOMPARE(progress.last(), qMakePair(33, 33));
        for (int i = 1; i < progress.size(); ++i) QVERIFY(progress[i].first >= progress[i - 1].first);
        // One guard around the whole export; the window's own page stays as it was.
        QCOMPARE(f.poll.resumes, 2);
        QVERIFY(f.poll.running);
        QCOMPARE(f.history.state().rows.size(), 6);
        QCOMPARE(f.history.currentPage(), 1);
    }

    void aPageWithoutAnswerWritesNothing() {
        Fixture f;
        int page = 0;
        f.controller.shape = [&](const QString& reply) { return ++page == 2 ? reply.left(89) : reply; };
        QVERIFY(!f.exporter.run(f.path()));
        QVERIFY(!QFile::exists(f.path()));
        QCOMPARE(f.prompter.of("error"), QStringList{"No answer for page 2"});
        QVERIFY(f.poll.running);
        QCOMPARE(f.poll.pollState, 1);
    }

    // A failed exchange is no answer: the count's own message, nothing written.
    void aPortErrorWritesNothingAndPollingResumes() {
        Fixture f;
        f.port.failWrite = true;
        QVERIFY(!f.exporter.run(f.path()));
        QVERIFY(!QFile::exists(f.path()));
        QCOMPARE(f.prompter.of("error"), QStringList{"No answer for the count"});
        QVERIFY(f.poll.running);
    }

    // The count read before the export got no answer: nothing is taken from the earlier read.
    void anUnansweredCountWritesNothing() {
        Fixture f;
        f.controller.shape = [](const QString& reply) { return reply.left(20); };
        QVERIFY(!f.exporter.run(f.path()));
        QVERIFY(!QFile::exists(f.path()));
        QCOMPARE(f.prompter.shown, QStringList{"error:No answer for the count"});
        QCOMPARE(f.controller.requests, QStringList{"00040200002C"});
        QVERIFY(f.poll.running);
        QCOMPARE(f.poll.pollState, 1);
    }

    // The controller's log shrank since the window read it (13 then 7 records): the file holds the
    // seven the controller holds now, never records read with the old total.
    void theExportFollowsTheCountItReads() {
        Fixture f;
        QCOMPARE(f.history.total(), 13);
        f.controller.setCount(7);
        QVERIFY(f.exporter.run(f.path()));
        const QByteArray csv = readFile(f.path());
        QCOMPARE(csv.count("\r\n"), 8);
        QVERIFY(csv.endsWith("7,08,Emergency stop,2010-02-28 16:20:33\r\n"));
        QCOMPARE(f.controller.requests, (QStringList{"00040200002C", "0004022C002A"}));
    }

    void anEmptyLogGivesTheHeaderOnly() {
        test::FakeSerialPort port;
        test::FakePollControl poll;
        test::FakeSleeper sleeper;
        link::ControllerLink link{port, sleeper};
        test::ScriptedPrompter prompter;
        test::AlarmLogController controller{port};
        port.OpenPort();
        reports::AlarmHistory history{link, poll, prompter, message};
        history.firstRead();
        controller.requests.clear();
        reports::AlarmCsvExport exporter{history, prompter, message};
        QTemporaryDir dir;
        QVERIFY(exporter.run(dir.filePath("empty.csv")));
        QCOMPARE(readFile(dir.filePath("empty.csv")), QByteArray("\xEF\xBB\xBFNo.,Code,Alarm,Time\r\n"));
        QCOMPARE(controller.requests, QStringList{"00040200002C"});  // the count only
    }
};

QTEST_GUILESS_MAIN(TestAlarmCsv)
#include "tst_alarmCsv.moc"
