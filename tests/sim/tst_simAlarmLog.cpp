// The virtual controller's alarm log: up to 255 records of seven bytes from 0x0202, the count at
// 0x0200, readable page by page past the 1024 bytes of configuration memory; it grows when an
// alarm is raised or a fault is typed, and a full log gives up its oldest record.
#include <QtTest>

#include "AlarmLogCommands.h"
#include "ControllerMemory.h"
#include "EngineModel.h"
#include "FakeClock.h"
#include "RequestHandler.h"
#include "link/Codec.h"

using namespace tarsyn;
using namespace tarsyn::sim;

namespace {

struct Controller {
    test::FakeClock clock;
    ControllerMemory memory;
    EngineModel engine{memory, clock, 7};
    RequestHandler handler{memory, engine};
    Controller() { memory.loadFactoryImage(); }
    QString ask(const QString& text) {
        QByteArray line = link::BuildFrame(text).toLatin1();
        line.chop(2);
        const Reply r = handler.handle(line);
        return r.answered ? QString::fromLatin1(r.text) : QString();
    }
    int count() { return int(link::HexField(ask(QStringLiteral("000402000001")), 7, 2)); }
    /// Record n (1-based) as 14 characters, read with the page request that holds it.
    QString record(int n) {
        const int address = 0x0202 + 7 * (n - 1);
        return ask(QStringLiteral("0004%1%2").arg(link::ToHex(quint32(address), 4), QStringLiteral("0007")))
            .mid(6, 14);
    }
};

}  // namespace

class TestSimAlarmLog : public QObject {
    Q_OBJECT
private slots:
    void fullLogReadsPageByPage() {
        Controller c;
        SeedAlarmLog(c.memory, 255);
        QCOMPARE(c.count(), 255);
        // Page 43 of the window: 0x0202 + 42 * 42 = 0x08E6, records 253-255 then nothing.
        const QString page = c.ask(QStringLiteral("000408E6002A"));
        QCOMPARE(page.left(6), QStringLiteral("00042A"));
        QCOMPARE(page.mid(6, 14), c.record(253));
        QCOMPARE(page.mid(6 + 28, 14), c.record(255));
        QCOMPARE(page.mid(6 + 42, 14), QStringLiteral("00000000000000"));
        // Codes 01 to 20 in turn; dates as decimal digits.
        QCOMPARE(c.record(1), QStringLiteral("01090101080000"));
        QCOMPARE(c.record(2).left(2), QStringLiteral("02"));
        QCOMPARE(c.record(33).left(2), QStringLiteral("01"));
    }

    void raisingTheAlarmAddsARecord() {
        Controller c;
        QCOMPARE(c.count(), 13);
        c.clock.set(QDateTime(QDate(2026, 3, 1), QTime(12, 34, 56)));
        c.engine.setAlarm(true, true);
        QCOMPARE(c.count(), 14);
        QCOMPARE(c.record(14), QStringLiteral("08260301123456"));
    }

    void faultCommandAddsARecordWithItsCode() {
        Controller c;
        QString said;
        QVERIFY(AlarmLogCommand(QStringLiteral("fault 1a"), c.memory,
                                QDateTime(QDate(2027, 11, 30), QTime(1, 2, 3)), &said));
        QCOMPARE(c.count(), 14);
        QCOMPARE(c.record(14), QStringLiteral("1A271130010203"));
        QCOMPARE(said, QStringLiteral("alarm log: 14 records"));
        QVERIFY(AlarmLogCommand(QStringLiteral("fault zz"), c.memory, QDateTime::currentDateTime(), &said));
        QVERIFY(said.contains(QStringLiteral("hexadecimal")));
        QCOMPARE(c.count(), 14);
        QVERIFY(!AlarmLogCommand(QStringLiteral("alarm on"), c.memory, QDateTime::currentDateTime(), &said));
        QVERIFY(AlarmLogCommand(QStringLiteral("log 0"), c.memory, QDateTime::currentDateTime(), &said));
        QCOMPARE(c.count(), 0);
    }

    void aFullLogDropsItsOldestRecord() {
        Controller c;
        SeedAlarmLog(c.memory, 255);
        const QString second = c.record(2);
        c.memory.appendAlarm(0x09, QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5)));
        QCOMPARE(c.count(), 255);
        QCOMPARE(c.record(1), second);
        QCOMPARE(c.record(255), QStringLiteral("09300102030405"));
    }

    void writesStillStopAtTheConfigurationMemory() {
        Controller c;
        QVERIFY(c.ask(QStringLiteral("000604000001")).isEmpty());
        QVERIFY(c.ask(QStringLiteral("000409100001")).isEmpty());  // past the 43rd page of six
        QVERIFY(!c.ask(QStringLiteral("0004090F0001")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSimAlarmLog)
#include "tst_simAlarmLog.moc"
