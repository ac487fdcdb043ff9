// A PostgreSQL history whose server stops in the middle of a run: polling goes on, the operator is
// told once, and recording comes back with the server. The suite runs its own throwaway server
// (scripts/pg-throwaway) so that it can stop and start it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>
#include <memory>

#include "../monitor/RecordingView.h"
#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "HistoryTestSupport.h"
#include "ScriptedPrompter.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "link/Codec.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;

namespace {

/// A bash that sourced scripts/pg-throwaway and obeys "stop" and "start" on its standard input; the
/// server goes with it when its input closes.
class ThrowawayServer {
public:
    bool start() {
        const QString script = QStringLiteral(
            "source \"$TARSYN_SOURCE_DIR/scripts/pg-throwaway\" || exit 1\n"
            "[ -n \"${TARSYN_TEST_PG_URL:-}\" ] || { echo NONE; exit 0; }\n"
            "echo \"PORT=$_pgt_port USER=$_pgt_user\"\n"
            "while read -r cmd; do\n"
            "  if [ \"$cmd\" = stop ]; then\n"
            "    \"${_pgt_as[@]}\" \"$_pgt_bin/pg_ctl\" -D \"$_pgt_dir/data\" -m immediate -w stop "
            ">/dev/null 2>&1\n"
            "  else\n"
            "    \"${_pgt_as[@]}\" \"$_pgt_bin/pg_ctl\" -D \"$_pgt_dir/data\" -l \"$_pgt_dir/server.log\" -w "
            "-t 30 \\\n"
            "      -o \"-h 127.0.0.1 -p $_pgt_port -k $_pgt_dir\" start >/dev/null 2>&1\n"
            "  fi\n"
            "  echo \"done $?\"\n"
            "done\n");
        m_bash.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
        const QString line = readLine(120000);
        if (line == QLatin1String("NONE") || line.isEmpty()) return false;
        const QStringList parts = line.split(QLatin1Char(' '));
        m_port = parts.value(0).mid(5).toInt();
        m_user = parts.value(1).mid(5);
        return m_port > 0;
    }
    ~ThrowawayServer() {
        m_bash.closeWriteChannel();
        m_bash.waitForFinished(60000);
    }
    bool command(const char* what) {
        m_bash.write(QByteArray(what) + '\n');
        return readLine(60000) == QLatin1String("done 0");
    }
    /// Over TCP on the loopback, so that a silent listener can stand in for a hung server.
    QString url() const {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/tarsyn_test").arg(m_user).arg(m_port);
    }
    quint16 port() const { return quint16(m_port); }

private:
    QString readLine(int ms) {
        QElapsedTimer t;
        t.start();
        while (!m_bash.canReadLine() && m_bash.state() != QProcess::NotRunning && t.elapsed() < ms)
            m_bash.waitForReadyRead(1000);
        return QString::fromUtf8(m_bash.readLine()).trimmed();
    }
    QProcess m_bash;
    int m_port = 0;
    QString m_user;
};

/// A loopback port that takes connections and never answers (no accept, no byte).
class SilentListener {
public:
    bool listen(quint16 port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
               ::listen(m_fd, 16) == 0;
    }
    void close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    ~SilentListener() { close(); }

private:
    int m_fd = -1;
};

}  // namespace

class TestHistoryOutage : public QObject {
    Q_OBJECT
private slots:
    void stoppedServerLeavesThePollRunning() {
        ThrowawayServer server;
        if (!server.start()) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL("in CI the PostgreSQL outage must be tested: install postgresql");
            QSKIP("PostgreSQL history not tested: no PostgreSQL server found for scripts/pg-throwaway");
        }
        QTemporaryDir dir;
        config::Config config(dir.path());
        config::LiveSettings settings;
        settings.setRefreshText("600");
        settings.setPorts({{"COM1", "Gen A", ""}});
        config::Messages messages(config, settings);
        test::FakeClock clock;
        test::FakeSleeper sleeper(&clock);
        test::FakeSerialPort port;
        test::RecordingView view;
        const QString delayFrame = link::BuildFrame("000400360016");
        port.onWrite = [&](const QString& request) {
            port.arrive(request == delayFrame ? link::BuildFrame("000416" + QString(44, '0'))
                                              : test::countingReply());
        };
        monitor::PollCycle cycle(port, sleeper, clock, settings, messages, view);
        cycle.initialise(true);

        history::PostgresUrl url;
        QString why;
        QVERIFY2(history::PostgresUrl::parse(server.url(), &url, &why), qPrintable(why));
        history::HistoryStore store(history::HistoryLocation::postgresUrl(url));
        QVERIFY2(store.connect(), qPrintable(store.lastError()));
        history::HistoryStore reader(history::HistoryLocation::postgresUrl(url));
        test::ScriptedPrompter prompter;
        history::HistoryRecorder recorder(
            store, clock, [] { return QString("0"); }, [] { return QString("0"); },
            [&](const QString& m) { prompter.error(m); });
        cycle.setHistorySink(&recorder);

        qint64 slowest = 0;
        auto tick = [&] {
            clock.advanceSecs(1);
            QElapsedTimer t;
            t.start();
            cycle.tick();
            slowest = qMax(slowest, t.elapsed());
            QCoreApplication::processEvents();
        };
        for (int i = 0; i < 6; ++i) tick();
        QVERIFY(recorder.isOk());

        // The server stops; a listener that never answers takes its address, as a hung server or
        // a firewall that drops packets would.
        QVERIFY(server.command("stop"));
        SilentListener silent;
        QVERIFY(silent.listen(server.port()));
        const int writtenBefore = port.written.size();
        slowest = 0;
        for (int i = 0; i < 70; ++i) tick();                // past two reconnect periods
        QCOMPARE(port.written.size() - writtenBefore, 70);  // one request in every tick
        QCOMPARE(view.connection, monitor::kLinkedImage);
        QVERIFY2(slowest < 1000, qPrintable(QString("a tick took %1 ms").arg(slowest)));
        QVERIFY(!recorder.isOk());
        QCOMPARE(prompter.of("error").size(), 1);

        // The server is back: recording resumes without another box.
        silent.close();
        QVERIFY(server.command("start"));
        for (int i = 0; i < 1500 && !recorder.isOk(); ++i) {
            tick();
            QTest::qWait(20);  // the trial connection runs on a thread of its own
        }
        QVERIFY(recorder.isOk());
        QCOMPARE(prompter.of("error").size(), 1);
        QVERIFY2(reader.connect(), qPrintable(reader.lastError()));
        const qint64 before = reader.rowCount(history::HistoryTable::Hour);
        tick();
        tick();
        QCOMPARE(reader.rowCount(history::HistoryTable::Hour), before + 1);  // one live reply per two ticks
    }
};

QTEST_GUILESS_MAIN(TestHistoryOutage)
#include "tst_historyOutage.moc"
