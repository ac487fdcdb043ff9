// The alarm log read from the controller: the first read (count and page 1), paging six records a
// page, the record decoding, what a bad reply or a port error leaves behind, and that polling
// resumes after every exchange.
#include <QtTest>

#include "AlarmLogController.h"
#include "FakePollControl.h"
#include "FakeSerialPort.h"
#include "ScriptedPrompter.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "reports/AlarmHistory.h"

using namespace tarsyn;
using reports::AlarmHistory;

namespace {

/// Records each wait with the poll state in force when it began, then disturbs the state, so that
/// a test sees whether `PollState` was set to 1 again before the next wait.
class StateSleeper : public link::Sleeper {
public:
    explicit StateSleeper(test::FakePollControl& poll) : m_poll(poll) {}
    void sleep(int ms) override {
        sleeps << ms;
        states << m_poll.pollState;
        m_poll.pollState = 2;
    }
    QList<int> sleeps;
    QList<int> states;

private:
    test::FakePollControl& m_poll;
};

QString message(const QString& key) {
    if (key == QLatin1String("E05")) return QStringLiteral("High water temperature");
    if (key.startsWith(QLatin1Char('E'))) return QStringLiteral("text ") + key;
    return QStringLiteral("0");
}

struct Fixture {
    test::FakeSerialPort port;
    test::FakePollControl poll;
    StateSleeper sleeper{poll};
    link::ControllerLink link{port, sleeper};
    test::ScriptedPrompter prompter;
    test::AlarmLogController controller{port};
    AlarmHistory history{link, poll, prompter, [](const QString& key) {
                             if (key == QLatin1String("E20"))
                                 return QStringLiteral("0");  // not in the catalogue
                             return message(key);
                         }};
    Fixture() {
        port.setPortName(QStringLiteral("COM1"));
        port.OpenPort();
    }
    QStringList numbers() const {
        QStringList n;
        for (const reports::AlarmRow& r : history.state().rows) n << QString::number(r.number);
        return n;
    }
    QString buttons() const {  // first, previous, next, last as 1/0
        const auto& s = history.state();
        return QStringLiteral("%1%2%3%4")
            .arg(int(s.firstEnabled))
            .arg(int(s.previousEnabled))
            .arg(int(s.nextEnabled))
            .arg(int(s.lastEnabled));
    }
};

}  // namespace

class TestAlarmHistory : public QObject {
    Q_OBJECT
private slots:
    void pageArithmetic_data();
    void pageArithmetic();
    void firstRead_data();
    void firstRead();
    void firstReadReopensThePortAndWaits();
    void pagingThroughThirteenRecords();
    void pageReadWaitsTenTimesWithPollStateOne();
    void recordShowsCatalogueTextAndCopiedTime();
    void plausibleRecord_data();
    void plausibleRecord();
    void impossibleDateRefusesTheRead();
    void badFirstReplyLeavesTheListEmpty_data();
    void badFirstReplyLeavesTheListEmpty();
    void badPageReplyEmptiesTheListButKeepsTheIndicator();
    void portErrorDuringPageReadKeepsThePreviousPage();
    void portThatCannotReopenReportsAndResumesPolling();
    void showingClearsAndClosingDisablesPaging();
};

void TestAlarmHistory::pageArithmetic_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("request");
    QTest::newRow("page 1") << 1 << "00040202002A";
    QTest::newRow("page 2") << 2 << "0004022C002A";
    QTest::newRow("page 3, records 13-18") << 3 << "00040256002A";
    QTest::newRow("page 43, the last of 255") << 43 << "000408E6002A";
}

void TestAlarmHistory::pageArithmetic() {
    QFETCH(int, page);
    QFETCH(QString, request);
    QCOMPARE(reports::AlarmPageRequest(page), request);
}

void TestAlarmHistory::firstRead_data() {
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("pageCount");
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<QString>("buttons");  // first, previous, next, last
    QTest::addColumn<bool>("picture");     // save and print, and the page captions
    QTest::newRow("empty log") << 0 << "1" << QStringList{} << "0000" << false;
    QTest::newRow("one full page") << 6 << "1" << QStringList{"1", "2", "3", "4", "5", "6"} << "0000" << true;
    QTest::newRow("seven: two pages")
        << 7 << "2" << QStringList{"1", "2", "3", "4", "5", "6"} << "0011" << true;
    QTest::newRow("twelve: two full pages")
        << 12 << "2" << QStringList{"1", "2", "3", "4", "5", "6"} << "0011" << true;
    QTest::newRow("thirteen: three pages")
        << 13 << "3" << QStringList{"1", "2", "3", "4", "5", "6"} << "0011" << true;
    QTest::newRow("three records") << 3 << "1" << QStringList{"1", "2", "3"} << "0000" << true;
}

void TestAlarmHistory::firstRead() {
    QFETCH(int, total);
    QFETCH(QString, pageCount);
    QFETCH(QStringList, numbers);
    QFETCH(QString, buttons);
    QFETCH(bool, picture);
    Fixture f;
    f.controller.fill(total);
    f.history.firstRead();
    QCOMPARE(f.controller.requests, QStringList{"00040200002C"});
    QCOMPARE(f.port.written.value(0), QStringLiteral("00040200002C") +
                                          link::ToHex(quint32(link::XorCheck("00040200002C")), 2) + "\r\n");
    const auto& s = f.history.state();
    QCOMPARE(s.totalText, QString::number(total));
    QCOMPARE(s.pageText, QStringLiteral("1"));
    QCOMPARE(s.pageCountText, pageCount);
    QCOMPARE(f.numbers(), numbers);
    QCOMPARE(f.buttons(), buttons);
    QCOMPARE(s.pictureEnabled, picture);
    QCOMPARE(s.pageCaptionsEnabled, picture);
    QVERIFY(f.prompter.shown.isEmpty());
    QCOMPARE(f.poll.stops, 1);
    QCOMPARE(f.poll.resumes, 1);
    QVERIFY(f.poll.running);
}

void TestAlarmHistory::firstReadReopensThePortAndWaits() {
    Fixture f;
    f.controller.fill(2);
    f.history.firstRead();
    QCOMPARE(f.port.closeCount, 1);
    QVERIFY(f.port.Connected());
    // 600 ms after the reopen, then the exchange's second; PollState 1 before the exchange.
    QCOMPARE(f.sleeper.sleeps, (QList<int>{600, 1000}));
    QCOMPARE(f.sleeper.states.value(1), 1);
}

void TestAlarmHistory::pagingThroughThirteenRecords() {
    Fixture f;
    f.controller.fill(13);
    f.history.firstRead();

    f.history.nextPage();
    QCOMPARE(f.controller.requests.last(), QStringLiteral("0004022C002A"));
    QCOMPARE(f.history.state().pageText, QStringLiteral("2"));
    QCOMPARE(f.numbers(), (QStringList{"7", "8", "9", "10", "11", "12"}));
    QCOMPARE(f.buttons(), QStringLiteral("1111"));  // a page in between
    QVERIFY(f.history.state().pictureEnabled);

    f.history.lastPage();
    QCOMPARE(f.controller.requests.last(), QStringLiteral("00040256002A"));
    QCOMPARE(f.history.state().pageText, QStringLiteral("3"));
    QCOMPARE(f.numbers(), QStringList{"13"});
    QCOMPARE(f.history.state().rows.value(0).record.time, QStringLiteral("2010-01-01 00:00:13"));
    QCOMPARE(f.buttons(), QStringLiteral("1100"));

    f.history.previousPage();
    QCOMPARE(f.controller.requests.last(), QStringLiteral("0004022C002A"));
    QCOMPARE(f.buttons(), QStringLiteral("1111"));

    f.history.firstPage();
    QCOMPARE(f.controller.requests.last(), QStringLiteral("00040202002A"));
    QCOMPARE(f.numbers(), (QStringList{"1", "2", "3", "4", "5", "6"}));
    QCOMPARE(f.buttons(), QStringLiteral("0011"));
    QCOMPARE(f.poll.resumes, 5);
    QVERIFY(f.poll.running);
    QVERIFY(f.prompter.shown.isEmpty());
}

void TestAlarmHistory::pageReadWaitsTenTimesWithPollStateOne() {
    Fixture f;
    f.controller.fill(7);
    f.history.firstRead();
    f.sleeper.sleeps.clear();
    f.sleeper.states.clear();
    f.history.nextPage();
    QCOMPARE(f.sleeper.sleeps, (QList<int>{100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 1000}));
    QCOMPARE(f.sleeper.states, (QList<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    QCOMPARE(f.port.closeCount, 1);  // only the first read reopens the port
    QCOMPARE(f.numbers(), QStringList{"7"});
    QCOMPARE(f.buttons(), QStringLiteral("1100"));
}

void TestAlarmHistory::recordShowsCatalogueTextAndCopiedTime() {
    Fixture f;
    f.controller.addRecord(QStringLiteral("05091231235958"));
    f.controller.addRecord(QStringLiteral("1A100307140509"));
    f.controller.addRecord(QStringLiteral("20991231000000"));  // a code the catalogue lacks
    f.history.firstRead();
    const auto& rows = f.history.state().rows;
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].record.code, QStringLiteral("05"));
    QCOMPARE(rows[0].record.text, QStringLiteral("High water temperature"));
    QCOMPARE(rows[0].record.time, QStringLiteral("2009-12-31 23:59:58"));
    QCOMPARE(rows[1].record.text, QStringLiteral("text E1A"));
    QCOMPARE(rows[1].record.time, QStringLiteral("2010-03-07 14:05:09"));
    QCOMPARE(rows[2].record.text, QStringLiteral("0"));
    QCOMPARE(rows[2].record.time, QStringLiteral("2099-12-31 00:00:00"));
}

// A record's six time fields, as decimal digits: a day of the calendar and a time of day, or no record.
void TestAlarmHistory::plausibleRecord_data() {
    QTest::addColumn<QString>("record");
    QTest::addColumn<bool>("plausible");
    QTest::newRow("2009-12-31 23:59:58") << "05091231235958" << true;
    QTest::newRow("2000-01-01 00:00:00") << "01000101000000" << true;
    QTest::newRow("leap day 2024") << "01240229120000" << true;
    QTest::newRow("no leap day 2023") << "01230229120000" << false;
    QTest::newRow("month 13") << "20991399000000" << false;
    QTest::newRow("month 0") << "20990001000000" << false;
    QTest::newRow("31 April") << "01090431000000" << false;
    QTest::newRow("hour 24") << "01091231240000" << false;
    QTest::newRow("minute 60") << "01091231236000" << false;
    QTest::newRow("second 60") << "01091231235960" << false;
    QTest::newRow("hexadecimal month") << "01090A01000000" << false;
    QTest::newRow("another block's bytes") << "92939495969798" << false;
    QTest::newRow("cut") << "0509123123" << false;
}

void TestAlarmHistory::plausibleRecord() {
    QFETCH(QString, record);
    QFETCH(bool, plausible);
    QCOMPARE(reports::AlarmRecordPlausible(QStringLiteral("0004") + record, 5), plausible);
}

// One impossible date among the records the count announces: the whole reply is another block's,
// so neither the count nor any record is shown, and the link counts a check error.
void TestAlarmHistory::impossibleDateRefusesTheRead() {
    Fixture f;
    f.controller.addRecord(QStringLiteral("05091231235958"));
    f.controller.addRecord(QStringLiteral("20991399996061"));
    f.history.firstRead();
    QVERIFY(!f.history.logKnown());
    QVERIFY(f.history.state().totalText.isEmpty());
    QVERIFY(f.history.state().rows.isEmpty());
    QCOMPARE(f.link.LastVerdict(), link::ReplyVerdict::OutOfRange);
    // As a reply that fails its check: no count, and one message saying why.
    QCOMPARE(f.prompter.of("error").size(), 1);
}

void TestAlarmHistory::badFirstReplyLeavesTheListEmpty_data() {
    QTest::addColumn<int>("keep");        // characters of the reply that arrive (-1: all)
    QTest::addColumn<QString>("header");  // replaces the first six characters when not empty
    QTest::addColumn<bool>("used");
    // The header and the data alone (94 characters) were once enough; the check must be there now.
    QTest::newRow("whole reply") << -1 << "" << true;
    QTest::newRow("without its line end") << 96 << "" << true;
    QTest::newRow("94 characters, no check") << 94 << "" << false;
    QTest::newRow("one character short") << 93 << "" << false;
    QTest::newRow("no answer") << 0 << "" << false;
    QTest::newRow("wrong count in the header") << -1 << "00042A" << false;
    QTest::newRow("wrong function") << -1 << "00032C" << false;
}

void TestAlarmHistory::badFirstReplyLeavesTheListEmpty() {
    QFETCH(int, keep);
    QFETCH(QString, header);
    QFETCH(bool, used);
    Fixture f;
    f.controller.fill(8);
    f.controller.shape = [&](const QString& reply) {
        QString r = keep < 0 ? reply : reply.left(keep);
        if (!header.isEmpty()) r.replace(0, 6, header);
        return r;
    };
    f.history.firstRead();
    const auto& s = f.history.state();
    QCOMPARE(s.rows.size(), used ? 6 : 0);
    QCOMPARE(s.totalText, used ? QStringLiteral("8") : QString());
    QCOMPARE(s.pictureEnabled, used);
    QCOMPARE(s.nextEnabled, used);
    // A count not read is said, once: paging, pictures and the export stay off for that reason.
    QCOMPARE(f.prompter.of("error").size(), used ? 0 : 1);
    if (!used) QCOMPARE(s.pageCountText, QString());
    QVERIFY(f.poll.running);
    QCOMPARE(f.poll.pollState, 1);
}

void TestAlarmHistory::badPageReplyEmptiesTheListButKeepsTheIndicator() {
    Fixture f;
    f.controller.fill(13);
    f.history.firstRead();
    f.controller.shape = [](const QString& reply) { return reply.left(89); };
    f.history.nextPage();
    const auto& s = f.history.state();
    QVERIFY(s.rows.isEmpty());
    QVERIFY(!s.pictureEnabled);
    QCOMPARE(s.pageText, QStringLiteral("1"));
    QCOMPARE(f.buttons(), QStringLiteral("0011"));
    QCOMPARE(f.history.currentPage(), 2);  // the button has moved the page already
    QVERIFY(f.prompter.shown.isEmpty());
    QVERIFY(f.poll.running);
}

void TestAlarmHistory::portErrorDuringPageReadKeepsThePreviousPage() {
    Fixture f;
    f.controller.fill(13);
    f.history.firstRead();
    f.port.failWrite = true;
    f.history.nextPage();
    const auto& s = f.history.state();
    QCOMPARE(f.numbers(), (QStringList{"1", "2", "3", "4", "5", "6"}));
    QVERIFY(!s.pictureEnabled);
    QCOMPARE(f.prompter.of("error"), QStringList{"write failed"});
    // Polling resumes with a fresh request although the read was abandoned.
    QCOMPARE(f.poll.stops, 2);
    QCOMPARE(f.poll.resumes, 2);
    QVERIFY(f.poll.running);
    QCOMPARE(f.poll.pollState, 1);
}

void TestAlarmHistory::portThatCannotReopenReportsAndResumesPolling() {
    Fixture f;
    f.controller.fill(3);
    f.port.failOpen = true;
    f.history.firstRead();
    QVERIFY(!f.port.Connected());
    QCOMPARE(f.sleeper.sleeps, QList<int>{});  // no 600 ms after a failed open, no exchange
    QCOMPARE(f.prompter.of("error").size(), 1);
    QVERIFY(f.history.state().rows.isEmpty());
    QVERIFY(!f.history.state().pictureEnabled);
    QVERIFY(f.poll.running);
    QCOMPARE(f.poll.pollState, 1);
}

void TestAlarmHistory::showingClearsAndClosingDisablesPaging() {
    Fixture f;
    f.controller.fill(13);
    f.history.firstRead();
    f.history.nextPage();
    f.history.closed();
    QCOMPARE(f.buttons(), QStringLiteral("0000"));
    f.history.clearForShowing();
    QVERIFY(f.history.state().rows.isEmpty());
    QVERIFY(f.history.state().totalText.isEmpty());
    // No page of the earlier showing stays on show: it would describe a log not read this time.
    QCOMPARE(f.history.state().pageText, QString());
    QCOMPARE(f.history.state().pageCountText, QString());
    QVERIFY(!f.history.logKnown());
    QCOMPARE(f.history.total(), 13);
}

QTEST_GUILESS_MAIN(TestAlarmHistory)
#include "tst_alarmHistory.moc"
