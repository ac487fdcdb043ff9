#include <QtTest>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "link/ControllerLink.h"

using namespace tarsyn;
using namespace tarsyn::link;

Q_DECLARE_METATYPE(ReplyVerdict)

class TestTransaction : public QObject {
    Q_OBJECT
private slots:
    void writesFrameWaitsReadsAndPurges() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        port.arrive("stale");  // received before the exchange: must be dropped
        port.onWrite = [&](const QString&) { port.arrive("0005100000FFEA\r\n"); };
        // Two characters asked for, but the whole echo is read: its check must be seen.
        QCOMPARE(link.Transaction("0005100000FF", 2, 500), ReplyVerdict::Ok);
        QCOMPARE(port.written, QStringList{"0005100000FFEA\r\n"});
        QCOMPARE(sleeper.sleeps, QList<int>{500});
        QCOMPARE(link.LastReply(), QString("0005100000FFEA\r\n"));
        QVERIFY(port.incoming.isEmpty());  // the tail was purged
    }
    void slowLineWaitsLongerAndRetriesReadsOnly() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        // The program's waits stay as they are unless a tool asks.
        QCOMPARE(link.Transaction("000400360016", 53, 500), ReplyVerdict::NoReply);
        QCOMPARE(port.written.size(), 1);
        QCOMPARE(sleeper.sleeps, QList<int>{500});

        // --timeout 2000 --retries 2: a silent line is asked three times, each waited 2 s.
        link.setSlowLine(2000, 2);
        port.written.clear();
        sleeper.sleeps.clear();
        QCOMPARE(link.Transaction("000400360016", 53, 500), ReplyVerdict::NoReply);
        QCOMPARE(port.written.size(), 3);
        QCOMPARE(sleeper.sleeps, (QList<int>{2000, 2000, 2000}));

        // The second try answered: no third; a longer wait of the caller's own stands.
        int tries = 0;
        port.onWrite = [&](const QString&) {
            if (++tries == 2) port.arrive("0005100000FFEA\r\n");
        };
        port.written.clear();
        sleeper.sleeps.clear();
        QCOMPARE(link.Transaction("0005100000FF", 2, 2500), ReplyVerdict::Ok);
        QCOMPARE(port.written.size(), 2);
        QCOMPARE(sleeper.sleeps, (QList<int>{2500, 2500}));

        // A page read waits at least the timeout in its 1 ms steps; a write is never repeated.
        tries = 0;
        port.onWrite = [&](const QString&) {
            if (++tries == 2) port.arrive("0004020C0A00\r\n");
        };
        port.written.clear();
        QList<int> steps;
        link.PageTransaction("000400800002", 14, 300, [&](int, int n) { steps << n; });
        QCOMPARE(steps.size(), 2 * 2000);
        port.written.clear();
        link.PageWrite("000700800005");
        QCOMPARE(port.written.size(), 1);
    }
    void noAnswerGivesEmptyReply() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        QCOMPARE(link.Transaction("000400360016", 53, 500), ReplyVerdict::NoReply);
        QCOMPARE(link.LastReply(), QString());
    }
    void closedPortFailsAtFirstPurgeAndKeepsLastReply() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        port.onWrite = [&](const QString&) { port.arrive("0004048100000081\r\n"); };
        link.Transaction("0004001A0004", 17, 300);
        QCOMPARE(link.LastReply(), QString("0004048100000081\r\n"));
        port.ClosePort();
        QVERIFY_THROWS_EXCEPTION(SerialError, link.Transaction("0004001A0004", 17, 300));
        QCOMPARE(link.LastReply(), QString("0004048100000081\r\n"));
        QCOMPARE(port.written.size(), 1);  // nothing went out
    }
    void pageTransactionReportsEveryStep() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        port.onWrite = [&](const QString&) { port.arrive("0004020C0A00\r\n"); };
        QList<int> steps;
        link.PageTransaction("000400800002", 14, 300, [&](int i, int n) {
            QCOMPARE(n, 300);
            steps << i;
        });
        QCOMPARE(steps.size(), 300);
        QCOMPARE(steps.first(), 1);
        QCOMPARE(steps.last(), 300);
        QCOMPARE(sleeper.total, 300);
        QCOMPARE(link.LastReply(), QString("0004020C0A00\r\n"));
    }
    // The alarm log asks for the header and data only: the check characters are read all the same,
    // and a little beyond, so that a second frame behind the reply spoils it.
    void readsTheWholeReplyAndALittleBeyond() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        QString reply = "0004020C0A00\r\n";
        port.onWrite = [&](const QString&) { port.arrive(reply); };
        QCOMPARE(link.Transaction("000400800002", 10, 300), ReplyVerdict::Ok);
        QCOMPARE(link.LastReply(), QString("0004020C0A00\r\n"));
        reply += "0004020C0A00\r\n";
        QCOMPARE(link.Transaction("000400800002", 10, 300), ReplyVerdict::Trailing);
        QCOMPARE(link.LastReply(), QString());
        QVERIFY(port.incoming.isEmpty());
    }
    // A reply that fails its check is discarded whole and the line purged; the verdict says why.
    void failedReplyIsDiscarded_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<ReplyVerdict>("verdict");
        QTest::newRow("noise before it") << "#*?0004020C0A00\r\n" << ReplyVerdict::NotHex;
        QTest::newRow("a digit changed") << "0004020C0B00\r\n" << ReplyVerdict::BadCheck;
        QTest::newRow("another block") << "000401FFFB\r\n" << ReplyVerdict::WrongCount;
        QTest::newRow("cut, then the next reply") << "0004020C" << ReplyVerdict::BadCheck;
    }
    void failedReplyIsDiscarded() {
        QFETCH(QString, reply);
        QFETCH(ReplyVerdict, verdict);
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        port.onWrite = [&](const QString&) { port.arrive(reply + "0004020C0A00\r\n"); };
        QCOMPARE(link.PageTransaction("000400800002", 14, 3), verdict);
        QCOMPARE(link.LastVerdict(), verdict);
        QCOMPARE(link.LastReply(), QString());
        QVERIFY(port.incoming.isEmpty());
    }
    void pageWriteWaitsThenWritesWithoutReading() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        link.PageWrite("0007004C1E05");
        QCOMPARE(sleeper.sleeps, QList<int>{1000});
        QCOMPARE(port.written, QStringList{"0007004C1E0550\r\n"});
    }
};

QTEST_GUILESS_MAIN(TestTransaction)
#include "tst_transaction.moc"
