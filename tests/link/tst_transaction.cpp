#include <QtTest>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "link/ControllerLink.h"

using namespace tarsyn;
using namespace tarsyn::link;

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
        link.Transaction("0005100000FF", 2, 500);
        QCOMPARE(port.written, QStringList{"0005100000FFEA\r\n"});
        QCOMPARE(sleeper.sleeps, QList<int>{500});
        QCOMPARE(link.LastReply(), QString("00"));
        QVERIFY(port.incoming.isEmpty());  // the tail was purged
    }
    void noAnswerGivesEmptyReply() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        link.Transaction("000400360016", 53, 500);
        QCOMPARE(link.LastReply(), QString());
    }
    void closedPortFailsAtFirstPurgeAndKeepsLastReply() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        port.onWrite = [&](const QString&) { port.arrive("0004"); };
        link.Transaction("0004001A0004", 17, 300);
        QCOMPARE(link.LastReply(), QString("0004"));
        port.ClosePort();
        QVERIFY_THROWS_EXCEPTION(SerialError, link.Transaction("0004001A0004", 17, 300));
        QCOMPARE(link.LastReply(), QString("0004"));
        QCOMPARE(port.written.size(), 1);  // nothing went out
    }
    void pageTransactionReportsEveryStep() {
        test::FakeSerialPort port;
        test::FakeSleeper sleeper;
        ControllerLink link(port, sleeper);
        port.OpenPort();
        port.onWrite = [&](const QString&) { port.arrive("00040200\r\n"); };
        QList<int> steps;
        link.PageTransaction("000400800002", 14, 300, [&](int i, int n) {
            QCOMPARE(n, 300);
            steps << i;
        });
        QCOMPARE(steps.size(), 300);
        QCOMPARE(steps.first(), 1);
        QCOMPARE(steps.last(), 300);
        QCOMPARE(sleeper.total, 300);
        QCOMPARE(link.LastReply(), QString("00040200\r\n"));
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
