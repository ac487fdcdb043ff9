// A PostgreSQL history whose server stops, freezes or has its tables locked in the middle of a run:
// polling goes on, the operator is told once, and once the server is back every row that fell due is
// in the history with its own time. The suite runs its own throwaway server (scripts/pg-throwaway)
// so that it can stop, freeze and start it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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
            "  if [ \"$cmd\" = freeze ] || [ \"$cmd\" = thaw ]; then\n"
            "    sig=STOP; [ \"$cmd\" = thaw ] && sig=CONT\n"
            "    pid=$(head -n 1 \"$_pgt_dir/data/postmaster.pid\")\n"
            "    kill -$sig $pid $(ps -o pid= --ppid $pid)\n"
            "  elif [ \"$cmd\" = stop ]; then\n"
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

/// Hands every reply on to the recorder and notes the time of each one that is due in both tables
/// (cadence 0: every reply long enough).
struct StampingSink : monitor::HistorySink {
    StampingSink(history::HistoryRecorder& r, const test::FakeClock& c) : recorder(r), clock(c) {}
    void recordLiveReply(const QString& reply, const QString& remark) override {
        if (reply.size() >= history::HistoryRecorder::kMinReplyLength)
            stamps << history::stampText(clock.now());
        recorder.recordLiveReply(reply, remark);
    }
    history::HistoryRecorder& recorder;
    const test::FakeClock& clock;
    QStringList stamps;
};

class TestHistoryOutage : public QObject {
    Q_OBJECT
    std::unique_ptr<ThrowawayServer> m_server;

private slots:
    void initTestCase() {
        m_server = std::make_unique<ThrowawayServer>();
        if (!m_server->start()) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL("in CI the PostgreSQL outage must be tested: install postgresql");
            QSKIP("PostgreSQL history not tested: no PostgreSQL server found for scripts/pg-throwaway");
        }
    }
    void cleanupTestCase() { m_server.reset(); }

    void outageHoldsNoTickUpAndLosesNoRow_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("boxes");  // error boxes the operator sees
        QTest::newRow("server stopped, a silent listener in its place") << "stopped" << 1;
        QTest::newRow("server frozen (SIGSTOP)") << "frozen" << 1;
        QTest::newRow("tables locked by another client") << "locked" << 1;
    }
    void outageHoldsNoTickUpAndLosesNoRow() {
        QFETCH(QString, fault);
        QFETCH(int, boxes);
        ThrowawayServer& server = *m_server;
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
        int live = 0;
        port.onWrite = [&](const QString& request) {
            port.arrive(request == delayFrame ? link::BuildFrame("000416" + QString(44, '0'))
                                              : test::countingReply(quint32(live++)));
        };
        monitor::PollCycle cycle(port, sleeper, clock, settings, messages, view);
        cycle.initialise(true);

        history::PostgresUrl url;
        QString why;
        QVERIFY2(history::PostgresUrl::parse(server.url(), &url, &why), qPrintable(why));
        history::HistoryLocation location = history::HistoryLocation::postgresUrl(url);
        location.spoolPath = dir.filePath("kalde.spool");
        history::HistoryStore store(location);
        QVERIFY2(store.connect(), qPrintable(store.lastError()));
        for (const char* t : {"24xs", "nls"})  // a fresh pair of tables for each case
            QVERIFY(QSqlQuery(QSqlDatabase::database(store.connectionName()))
                        .exec(QString("DELETE FROM \"%1\"").arg(t)));
        test::ScriptedPrompter prompter;
        history::HistoryWriter::Limits limits;
        limits.retryMs = 3600 * 1000;  // the database is tried again when the test says so
        history::HistoryRecorder recorder(
            store, clock, [] { return QString("0"); }, [] { return QString("0"); },
            [&](const QString& m) { prompter.error(m); }, limits);
        StampingSink sink(recorder, clock);
        cycle.setHistorySink(&sink);

        auto tick = [&] {
            clock.advanceSecs(1);
            cycle.tick();
            QCoreApplication::processEvents();
        };
        for (int i = 0; i < 6; ++i) tick();
        recorder.flush();
        QVERIFY(recorder.isOk());

        SilentListener silent;
        const QString locker = QStringLiteral("outage-locker");
        if (fault == "stopped") {
            // A listener that never answers takes the server's address, as a hung server or a
            // firewall that drops packets would.
            QVERIFY(server.command("stop"));
            QVERIFY(silent.listen(server.port()));
        } else if (fault == "frozen") {
            QVERIFY(server.command("freeze"));
        } else {
            QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", locker);
            db.setHostName("127.0.0.1");
            db.setPort(server.port());
            db.setUserName(url.user);
            db.setDatabaseName(url.database);
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery q(db);
            QVERIFY(q.exec("BEGIN"));
            QVERIFY(q.exec("LOCK TABLE \"24xs\", \"nls\" IN ACCESS EXCLUSIVE MODE"));
        }

        // Seventy ticks while the database cannot take a row. The fault lasts until they are done: a
        // tick that waited on the frozen server would never end, one that waited on the lock or the
        // silent listener would end only by a time-out.
        const int writtenBefore = port.written.size();
        for (int i = 0; i < 70; ++i) tick();
        QCOMPARE(port.written.size() - writtenBefore, 70);  // one request in every tick
        QCOMPARE(view.connection, monitor::kLinkedImage);
        if (fault == "frozen") {
            // The writer's call has lasted longer than the poll's clock allows (the ticks took 70 s
            // of it): its connection is cut, and its rows go to the spool. Waits for the writer thread.
            for (int i = 0; i < 500 && !recorder.statusText().contains("to be written"); ++i) {
                clock.advanceSecs(1);
                recorder.refreshStatus();
                QTest::qWait(10);
            }
        }
        recorder.flush();  // the writer has met the fault, and tried again
        QVERIFY(!recorder.isOk());
        QVERIFY2(recorder.statusText().contains("rows wait to be written"),
                 qPrintable(recorder.statusText()));

        if (fault == "stopped") {
            silent.close();
            QVERIFY(server.command("start"));
        } else if (fault == "frozen") {
            QVERIFY(server.command("thaw"));
        } else {
            QSqlQuery(QSqlDatabase::database(locker)).exec("COMMIT");
            QSqlDatabase::database(locker).close();
        }
        QSqlDatabase::removeDatabase(locker);
        for (int i = 0; i < 10 && !recorder.isOk(); ++i) recorder.flush();
        QVERIFY2(recorder.isOk(), qPrintable(recorder.statusText()));
        tick();
        tick();
        recorder.flush();
        QCoreApplication::processEvents();
        QCOMPARE(prompter.of("error").size(), boxes);

        // Every reply's row, with the reply's own time, in both tables.
        history::HistoryStore reader(location);
        QVERIFY2(reader.connect(), qPrintable(reader.lastError()));
        for (history::HistoryTable t : {history::HistoryTable::Day, history::HistoryTable::Hour}) {
            const QVector<history::HistoryRow> rows = reader.rowsSince(t, "Gen A", QDateTime());
            QStringList stamps;
            for (const history::HistoryRow& r : rows) stamps << r.sj;
            QCOMPARE(stamps, sink.stamps);
            for (int i = 0; i < rows.size(); ++i) QCOMPARE(rows[i].values[0], double(i + 1));
        }
    }
};

QTEST_GUILESS_MAIN(TestHistoryOutage)
#include "tst_historyOutage.moc"
