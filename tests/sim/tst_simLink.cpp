// The program's own serial code (QtSerialPort, ControllerLink) against tarsyn-sim on a
// pseudo-terminal. Waits are the short controller waits an exchange needs, never seconds.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>

#include "SimLink.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "link/LinkError.h"
#include "link/QtSerialPort.h"

using namespace tarsyn;
using link::ControllerLink;
using link::QtSerialPort;
using link::SerialError;
using test::SimLink;
using test::SimProcess;

namespace {

constexpr int kWaitMs = 250;  // plenty for a reply that is not paced

QString liveReply(ControllerLink& link) {
    link.Transaction(QStringLiteral("000400060030"), 106, kWaitMs);
    return link.LastReply();
}

}  // namespace

class TestSimLink : public QObject {
    Q_OBJECT
private slots:
    void liveAndDelayBlocksOverThePty();
    void staleCharactersNeverReachTheReply();
    void replyLongerThanCountIsCutAndDoesNotLeak();
    void noAnswerGivesEmptyReplyAfterTheWait();
    void missingPortRaisesAndStaysClosed();
    void deviceHeldOpenIsInUse();
    void lostDeviceClosesThePortAndRestartedSimReopens();
    void commandAndWriteAreEchoed();
    void faultOptionsShapeReplies_data();
    void faultOptionsShapeReplies();
    void pacedReplyArrivesAtLineSpeed();
    void alarmRaisedFromTheConsole();
    void staleLinkIsReplacedButAFileIsNot();
    void linkServedByAnotherSimulatorIsRefused();
    void linkToADeviceNoSimulatorServesIsReplaced();

private:
    QTemporaryDir m_dir;
};

void TestSimLink::liveAndDelayBlocksOverThePty() {
    SimLink rig;
    QVERIFY(rig.start());
    QVERIFY(rig.sim().devicePath().startsWith(QStringLiteral("/dev/")));
    QtSerialPort& port = rig.port();
    QVERIFY(port.Connected());
    ControllerLink& link = rig.link();

    const QString live = liveReply(link);
    QCOMPARE(live.size(), 106);
    QVERIFY(live.startsWith(QStringLiteral("000430")));
    QVERIFY(qAbs(int(link::HexField(live, 19, 4)) - 500) <= 1);  // mains 50.0 Hz
    QVERIFY(qAbs(int(link::HexField(live, 91, 4)) - 242) <= 3);  // battery about 24 V
    QVERIFY(live.endsWith(QStringLiteral("\r\n")));              // no CR/LF translation on the way

    link.Transaction(QStringLiteral("000400360016"), 56, kWaitMs);
    QCOMPARE(link.LastReply().size(), 54);                             // the whole reply is 54 characters
    QVERIFY(link.LastReply().startsWith(QStringLiteral("0004163C")));  // cool-down 60 s
}

void TestSimLink::staleCharactersNeverReachTheReply() {
    SimLink rig;
    QVERIFY(rig.start());
    QtSerialPort& port = rig.port();
    link::ThreadSleeper& sleeper = rig.sleeper();
    ControllerLink& link = rig.link();
    // A live reply nobody read is waiting in the queue when the delay exchange begins.
    port.WriteText(link::BuildFrame(QStringLiteral("000400060030")));
    sleeper.sleep(kWaitMs);
    link.Transaction(QStringLiteral("000400360016"), 56, kWaitMs);
    QVERIFY2(link.LastReply().startsWith(QStringLiteral("000416")), qPrintable(link.LastReply()));
    QCOMPARE(link.LastReply().size(), 54);
}

void TestSimLink::replyLongerThanCountIsCutAndDoesNotLeak() {
    SimLink rig;
    QVERIFY(rig.start());
    QtSerialPort& port = rig.port();
    ControllerLink& link = rig.link();
    // Header and data asked for: the check and CR LF are read all the same, to be checked.
    link.Transaction(QStringLiteral("0004004C000A"), 26, kWaitMs);
    QCOMPARE(link.LastReply(), link::BuildFrame(QStringLiteral("00040A3C050A080A0F030A0A05")));
    link.Transaction(QStringLiteral("000400800002"), 14, kWaitMs);
    QCOMPARE(link.LastReply(), link::BuildFrame(QStringLiteral("0004020C0A")));
    // A count far below the reply: the whole reply is read, and the next exchange starts clean.
    link.Transaction(QStringLiteral("000400060030"), 20, kWaitMs);
    QCOMPARE(link.LastReply().size(), 106);
    QVERIFY(port.ReadAvailable(200).isEmpty());
    link.Transaction(QStringLiteral("000400800002"), 14, kWaitMs);
    QCOMPARE(link.LastReply(), link::BuildFrame(QStringLiteral("0004020C0A")));
}

void TestSimLink::noAnswerGivesEmptyReplyAfterTheWait() {
    SimLink rig;
    QVERIFY(rig.start({QStringLiteral("--no-answer")}));
    QtSerialPort& port = rig.port();
    ControllerLink& link = rig.link();
    QElapsedTimer timer;
    timer.start();
    link.Transaction(QStringLiteral("000400060030"), 106, kWaitMs);
    QVERIFY(timer.elapsed() >= kWaitMs);
    QVERIFY(link.LastReply().isEmpty());
    QVERIFY(port.Connected());  // an open port with nobody answering is not an error
}

void TestSimLink::missingPortRaisesAndStaysClosed() {
    QtSerialPort port;
    const QString missing = m_dir.filePath(QStringLiteral("no-such-device"));
    port.setPortName(missing);
    try {
        port.OpenPort();
        QFAIL("opened a device that does not exist");
    } catch (const link::PortOpenError& e) {
        // The status strip names the device and says there is none.
        QCOMPARE(e.device(), missing);
        QCOMPARE(e.reason(), link::PortOpenError::Reason::NoSuchDevice);
    }
    QVERIFY(!port.Connected());
    QVERIFY_THROWS_EXCEPTION(SerialError, port.PurgeQueues());
}

void TestSimLink::deviceHeldOpenIsInUse() {
    SimLink rig;
    QVERIFY(rig.start());
    QtSerialPort second;
    second.setPortName(rig.sim().devicePath());
    try {
        second.OpenPort();
        QFAIL("a second port opened the device the first one holds");
    } catch (const link::PortOpenError& e) {
        QCOMPARE(e.device(), rig.sim().devicePath());
        QCOMPARE(e.reason(), link::PortOpenError::Reason::InUse);
    }
    QVERIFY(rig.port().Connected());  // the first one is left alone
}

void TestSimLink::lostDeviceClosesThePortAndRestartedSimReopens() {
    const QString path = m_dir.filePath(QStringLiteral("controller"));
    SimLink rig;
    QVERIFY(rig.start({QStringLiteral("--link"), path}));
    QCOMPARE(rig.sim().devicePath(), path);
    QtSerialPort& port = rig.port();
    ControllerLink& link = rig.link();
    QCOMPARE(liveReply(link).size(), 106);

    rig.sim().stop();
    QVERIFY(!QFileInfo::exists(path) && !QFileInfo(path).isSymLink());  // the link went with it
    try {
        port.ReadAvailable(10);
    } catch (const SerialError&) {
        // raising is fine; what matters is that the port notices the device is gone
    }
    // A pseudo-terminal whose controller side closed reads as end-of-file: the read alone must
    // close the port, so the poll cycle's connection step can reopen it.
    QVERIFY(!port.Connected());
    // An exchange on the lost device fails at once and leaves the port closed.
    QVERIFY_THROWS_EXCEPTION(SerialError, link.Transaction(QStringLiteral("000400060030"), 106, kWaitMs));
    QVERIFY(!port.Connected());

    SimProcess again;
    QVERIFY(again.start({QStringLiteral("--link"), path}));
    port.OpenPort();
    QVERIFY(port.Connected());
    QCOMPARE(liveReply(link).size(), 106);
}

void TestSimLink::commandAndWriteAreEchoed() {
    SimLink rig;
    QVERIFY(rig.start());
    QtSerialPort& port = rig.port();
    ControllerLink& link = rig.link();
    link.Transaction(QStringLiteral("0005100100FF"), 16, kWaitMs);
    QCOMPARE(link.LastReply(), link::BuildFrame(QStringLiteral("0005100100FF")));
    QCOMPARE(int(link::HexField(liveReply(link), 49, 2)) & 0x04, 0x04);  // starting

    // An unacknowledged page write, then a read shows it stored. The client may close and reopen.
    port.PurgeQueues();
    port.WriteText(link::BuildFrame(QStringLiteral("0007004C1E05")));
    port.ClosePort();
    port.OpenPort();
    link.Transaction(QStringLiteral("0004004C000A"), 26, kWaitMs);
    QVERIFY2(link.LastReply().startsWith(QStringLiteral("00040A1E05")), qPrintable(link.LastReply()));
}

// What the faults put on the line, read raw from the port (the link would discard all but the clean
// reply): its size (-1: one to four characters of noise ahead of the 106) and how it begins.
void TestSimLink::faultOptionsShapeReplies_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("size");  // of what answers a live read
    QTest::addColumn<QString>("begins");
    QTest::newRow("short 20") << QStringList{"--short", "20"} << 20 << "000430";
    QTest::newRow("short 0") << QStringList{"--short", "0"} << 0 << "";
    QTest::newRow("late beyond the wait") << QStringList{"--delay", "600"} << 0 << "";
    QTest::newRow("late within the wait") << QStringList{"--delay", "50"} << 106 << "000430";
    QTest::newRow("garbage first") << QStringList{"--garbage"} << -1 << "";
    QTest::newRow("hexadecimal noise") << QStringList{"--noise", "3"} << 109 << "";
    QTest::newRow("a changed digit") << QStringList{"--changed-digit"} << 106 << "";
    QTest::newRow("another block") << QStringList{"--other-block"} << 54 << "000416";
    QTest::newRow("an unasked frame first") << QStringList{"--unasked"} << 118 << "0004010104\r\n000430";
    QTest::newRow("held for the next") << QStringList{"--late-joined"} << 0 << "";
}

void TestSimLink::faultOptionsShapeReplies() {
    QFETCH(QStringList, args);
    QFETCH(int, size);
    QFETCH(QString, begins);
    SimLink rig;
    QVERIFY(rig.start(args));
    QtSerialPort& port = rig.port();
    port.PurgeQueues();
    port.WriteText(link::BuildFrame(QStringLiteral("000400060030")));
    rig.sleeper().sleep(kWaitMs);
    const QString reply = port.ReadAvailable(300);
    if (size >= 0)
        QCOMPARE(reply.size(), size);
    else
        QVERIFY(reply.size() >= 107 && reply.size() <= 110);
    if (!begins.isEmpty()) QVERIFY2(reply.startsWith(begins), qPrintable(reply));
    // The program's exchange takes none of them but the clean ones.
    const link::ReplyVerdict verdict = rig.link().Transaction(QStringLiteral("000400060030"), 106, kWaitMs);
    QCOMPARE(verdict == link::ReplyVerdict::Ok, size == 106 && begins == QLatin1String("000430"));
}

void TestSimLink::pacedReplyArrivesAtLineSpeed() {
    SimLink rig;
    QVERIFY(rig.start({QStringLiteral("--pace")}));
    link::ThreadSleeper& sleeper = rig.sleeper();
    ControllerLink& link = rig.link();
    // 54 characters at 2400 baud take about 225 ms: 100 ms brings part of the reply.
    link.Transaction(QStringLiteral("000400360016"), 56, 100);
    QVERIFY2(link.LastReply().size() < 54, qPrintable(link.LastReply()));
    sleeper.sleep(300);  // let the rest of it arrive and be purged by the next exchange
    link.Transaction(QStringLiteral("000400360016"), 56, 400);
    QCOMPARE(link.LastReply().size(), 54);
}

void TestSimLink::alarmRaisedFromTheConsole() {
    SimLink rig;
    QVERIFY(rig.start());
    ControllerLink& link = rig.link();
    QCOMPARE(int(link::HexField(liveReply(link), 47, 2)), 0);
    QVERIFY(rig.sim().command(QStringLiteral("alarm on")));
    QCOMPARE(int(link::HexField(liveReply(link), 47, 2)), 0x81);
    link.Transaction(QStringLiteral("000402000002"), 10, kWaitMs);
    QCOMPARE(int(link::HexField(link.LastReply(), 7, 2)), 14);  // the stop went into the log
    QVERIFY(rig.sim().command(QStringLiteral("alarm off")));
    QCOMPARE(int(link::HexField(liveReply(link), 47, 2)), 0);
}

void TestSimLink::staleLinkIsReplacedButAFileIsNot() {
    const QString stale = m_dir.filePath(QStringLiteral("stale"));
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/no-such-pty"), stale));
    SimLink rig;
    QVERIFY(rig.start({QStringLiteral("--link"), stale}));  // opens the port on the link
    QVERIFY(rig.port().Connected());
    rig.port().ClosePort();
    rig.sim().stop();

    const QString file = m_dir.filePath(QStringLiteral("plain-file"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep me");
    f.close();
    SimProcess refused;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no device path")));
    QVERIFY(!refused.start({QStringLiteral("--link"), file}));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
}

void TestSimLink::linkServedByAnotherSimulatorIsRefused() {
    const QString path = m_dir.filePath(QStringLiteral("shared"));
    SimProcess first;
    QVERIFY(first.start({QStringLiteral("--link"), path}));
    const QString device = QFileInfo(path).symLinkTarget();
    QVERIFY(device.startsWith(QStringLiteral("/dev/")));

    QProcess second;
    second.start(qEnvironmentVariable("TARSYN_BIN_DIR") + QStringLiteral("/tarsyn-sim"),
                 {QStringLiteral("--link"), path});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 1);
    const QString message = QString::fromLocal8Bit(second.readAllStandardError());
    QVERIFY2(message.contains(path) && message.contains(device) && message.contains(QStringLiteral("in use")),
             qPrintable(message));
    QVERIFY(second.readAllStandardOutput().isEmpty());  // no device of its own announced

    // The first one still serves the link, and it is still there after the refused one ended.
    QCOMPARE(QFileInfo(path).symLinkTarget(), device);
    QtSerialPort port;
    port.setPortName(path);
    port.OpenPort();
    link::ThreadSleeper sleeper;
    ControllerLink link(port, sleeper);
    QCOMPARE(liveReply(link).size(), 106);
}

void TestSimLink::linkToADeviceNoSimulatorServesIsReplaced() {
    // A pseudo-terminal number reused by some other program after a simulator was killed.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
    const QString other = QString::fromLocal8Bit(ptsname(master));
    const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
    QVERIFY(slave >= 0);
    const QString path = m_dir.filePath(QStringLiteral("reused"));
    QVERIFY(QFile::link(other, path));
    SimProcess sim;
    const bool started = sim.start({QStringLiteral("--link"), path});
    const QString target = QFileInfo(path).symLinkTarget();
    ::close(slave);
    ::close(master);
    QVERIFY(started);
    QVERIFY(target != other);
}

QTEST_GUILESS_MAIN(TestSimLink)
#include "tst_simLink.moc"
