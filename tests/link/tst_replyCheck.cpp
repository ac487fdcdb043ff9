#include <QtTest>

#include "link/ReplyCheck.h"

using namespace tarsyn::link;

Q_DECLARE_METATYPE(ReplyVerdict)

namespace {

// The check worked out here, independently of the codec: XOR of the two-digit values.
QString withCheck(const QString& body) {
    int x = 0;
    for (int i = 0; i + 1 < body.size(); i += 2) x ^= body.mid(i, 2).toInt(nullptr, 16);
    return body + QStringLiteral("%1").arg(x, 2, 16, QLatin1Char('0')).toUpper() + QStringLiteral("\r\n");
}

// The whole reply to a block read of `count` bytes whose data bytes are first, first+1, …
QString blockReply(int count, int first = 0x30) {
    QString body =
        QStringLiteral("0004") + QStringLiteral("%1").arg(count, 2, 16, QLatin1Char('0')).toUpper();
    for (int k = 0; k < count; ++k)
        body += QStringLiteral("%1").arg((first + k) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    return withCheck(body);
}

const QString kLive = QStringLiteral("000400060030");
const QString kDelay = QStringLiteral("000400360016");
const QString kBits = QStringLiteral("000400800002");
// The control bits at their factory values: bytes 0x0C and 0x0A, check 00 = 00^04^02^0C^0A.
const QString kFactoryBits = QStringLiteral("0004020C0A00\r\n");

}  // namespace

class TestReplyCheck : public QObject {
    Q_OBJECT
private slots:
    void replyLength_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("length");
        QTest::newRow("live block, 48 bytes") << kLive << 106;
        QTest::newRow("delay block, 22 bytes") << kDelay << 54;
        QTest::newRow("alarm log, 44 bytes") << "00040200002C" << 98;
        QTest::newRow("report bits, 4 bytes") << "0004001A0004" << 18;
        QTest::newRow("command echo") << "0005100000FF" << 16;
        QTest::newRow("word write echo") << "0007009A00E6" << 16;
        QTest::newRow("single write with a long value") << "00060082000005" << 18;
        QTest::newRow("not a request") << "0004" << 0;
        QTest::newRow("not hexadecimal") << "00040006003X" << 0;
    }
    void replyLength() {
        QFETCH(QString, request);
        QFETCH(int, length);
        QCOMPARE(ReplyLength(request), length);
    }

    // Every reply the controller sends today passes: the block reads of every window, the echoes.
    void acceptsWhatControllersSend_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("request");
        QTest::newRow("control bits, factory values") << kFactoryBits << kBits;
        QTest::newRow("lower-case digits") << "0004020c0a00\r\n" << kBits;
        QTest::newRow("line end not yet arrived") << "0004020C0A00" << kBits;
        QTest::newRow("only the CR arrived") << "0004020C0A00\r" << kBits;
        QTest::newRow("live block") << blockReply(48) << kLive;
        QTest::newRow("delay block") << blockReply(22) << kDelay;
        QTest::newRow("report bits") << blockReply(4, 0x81) << "0004001A0004";
        QTest::newRow("delays 0x004C") << blockReply(10) << "0004004C000A";
        QTest::newRow("delays 0x0056") << blockReply(12) << "00040056000C";
        QTest::newRow("water curve") << blockReply(32) << "000401800020";
        QTest::newRow("oil curve") << blockReply(32) << "000401A00020";
        QTest::newRow("monitor curve") << blockReply(32) << "000401C00020";
        QTest::newRow("system parameters") << blockReply(13) << "00040076000D";
        QTest::newRow("alarm limits") << blockReply(38) << "000400620026";
        QTest::newRow("sms settings") << blockReply(46) << "00040150002E";
        QTest::newRow("alarm log count and page 1") << blockReply(44, 0) << "00040200002C";
        QTest::newRow("alarm log page") << blockReply(42, 5) << "00040256002A";
        QTest::newRow("automatic mode echoed") << "0005100000FFEA\r\n"
                                               << "0005100000FF";
        QTest::newRow("start echoed") << "0005100100FFEB\r\n"
                                      << "0005100100FF";
        QTest::newRow("calibration echoed") << withCheck("0007009A00E6") << "0007009A00E6";
        QTest::newRow("delay write echoed") << "0007004C1E0550\r\n"
                                            << "0007004C1E05";
    }
    void acceptsWhatControllersSend() {
        QFETCH(QString, reply);
        QFETCH(QString, request);
        QCOMPARE(CheckReply(reply, request), ReplyVerdict::Ok);
    }

    void rejects_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("request");
        QTest::addColumn<ReplyVerdict>("verdict");
        const QString live = blockReply(48);
        QTest::newRow("nothing") << "" << kBits << ReplyVerdict::NoReply;
        QTest::newRow("noise before the reply") << "#*?" + kFactoryBits << kBits << ReplyVerdict::NotHex;
        QTest::newRow("hexadecimal noise before the reply")
            << "7A3" + kFactoryBits << kBits << ReplyVerdict::WrongStation;
        QTest::newRow("noise inside the data") << "0004020C?A00\r\n" << kBits << ReplyVerdict::NotHex;
        QTest::newRow("a data digit changed") << "0004020C0B00\r\n" << kBits << ReplyVerdict::BadCheck;
        QTest::newRow("a check digit changed") << "0004020C0A01\r\n" << kBits << ReplyVerdict::BadCheck;
        QTest::newRow("another station") << withCheck("0104020C0A") << kBits << ReplyVerdict::WrongStation;
        QTest::newRow("another function") << withCheck("0003020C0A") << kBits << ReplyVerdict::WrongFunction;
        QTest::newRow("the delay block for the live request")
            << blockReply(22) << kLive << ReplyVerdict::WrongCount;
        QTest::newRow("the live block for the delay request")
            << blockReply(48) << kDelay << ReplyVerdict::WrongCount;
        QTest::newRow("an unasked frame before the reply")
            << kFactoryBits + live << kLive << ReplyVerdict::WrongCount;
        QTest::newRow("a late reply joined to the next")
            << blockReply(22) + live << kLive << ReplyVerdict::WrongCount;
        QTest::newRow("the tail of a late reply before the next")
            << live.right(30) + live << kLive << ReplyVerdict::WrongStation;
        QTest::newRow("cut before its check") << live.left(102) << kLive << ReplyVerdict::Short;
        QTest::newRow("cut inside its check") << live.left(103) << kLive << ReplyVerdict::Short;
        QTest::newRow("something other than CR LF after the check")
            << "0004020C0A00XY" << kBits << ReplyVerdict::BadEnd;
        QTest::newRow("LF without CR") << "0004020C0A00\n" << kBits << ReplyVerdict::BadEnd;
        QTest::newRow("a second frame behind the reply")
            << kFactoryBits + "00" << kBits << ReplyVerdict::Trailing;
        QTest::newRow("a late reply of the same size joined to the next")
            << blockReply(32, 1) + blockReply(32, 2) << "000401A00020" << ReplyVerdict::Trailing;
        QTest::newRow("an echo of another value")
            << withCheck("0007009A00E7") << "0007009A00E6" << ReplyVerdict::WrongEcho;
        QTest::newRow("an echo of another command") << "0005100100FFEB\r\n"
                                                    << "0005100000FF" << ReplyVerdict::WrongEcho;
        QTest::newRow("a block reply for a command")
            << kFactoryBits << "0005100000FF" << ReplyVerdict::WrongFunction;
        QTest::newRow("a count beyond two digits")
            << blockReply(0) << "000400000100" << ReplyVerdict::WrongCount;
        QTest::newRow("a request the program never sends") << kFactoryBits << "04" << ReplyVerdict::WrongEcho;
    }
    void rejects() {
        QFETCH(QString, reply);
        QFETCH(QString, request);
        QFETCH(ReplyVerdict, verdict);
        QCOMPARE(CheckReply(reply, request), verdict);
    }

    // One digit changed in transit, anywhere before the line end and to any other digit, never
    // passes: each data digit is covered by the check, and the header by the request.
    void everySingleDigitChangeIsCaught() {
        const QString good = blockReply(48, 0xA7);
        QCOMPARE(CheckReply(good, kLive), ReplyVerdict::Ok);
        const QString digits = QStringLiteral("0123456789ABCDEF");
        for (int i = 0; i < good.size() - 2; ++i)
            for (QChar d : digits) {
                if (d == good.at(i)) continue;
                QString bad = good;
                bad[i] = d;
                QVERIFY2(CheckReply(bad, kLive) != ReplyVerdict::Ok,
                         qPrintable(QStringLiteral("digit %1 changed to %2").arg(i + 1).arg(d)));
            }
    }

    // A digit lost or gained in transit shifts everything after it: never taken either.
    void everyDigitLostOrGainedIsCaught() {
        const QString good = blockReply(22, 0xF1);
        for (int i = 0; i < good.size() - 2; ++i) {
            QVERIFY(CheckReply(QString(good).remove(i, 1), kDelay) != ReplyVerdict::Ok);
            for (QChar d : QStringLiteral("05AF"))
                QVERIFY(CheckReply(QString(good).insert(i, d), kDelay) != ReplyVerdict::Ok);
        }
    }

    void everyVerdictHasAName() {
        for (ReplyVerdict v :
             {ReplyVerdict::Ok, ReplyVerdict::NoReply, ReplyVerdict::NotHex, ReplyVerdict::WrongStation,
              ReplyVerdict::WrongFunction, ReplyVerdict::WrongCount, ReplyVerdict::WrongEcho,
              ReplyVerdict::Short, ReplyVerdict::BadCheck, ReplyVerdict::BadEnd})
            QVERIFY(!ReplyVerdictName(v).isEmpty());
        QCOMPARE(ReplyVerdictName(ReplyVerdict::BadCheck), QStringLiteral("bad check"));
    }
};

QTEST_GUILESS_MAIN(TestReplyCheck)
#include "tst_replyCheck.moc"
