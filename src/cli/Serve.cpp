#include "cli/Serve.h"

#include <pthread.h>
#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSemaphore>
#include <QSet>
#include <QSysInfo>
#include <QThread>
#include <algorithm>
#include <chrono>

#include "aware/Awareness.h"
#include "aware/JournalTexts.h"
#include "aware/WatchLimits.h"
#include "cli/Options.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/Journal.h"
#include "history/JournalStore.h"
#include "link/LinkError.h"
#include "link/PortLock.h"
#include "link/QtSerialPort.h"
#include "monitor/PortProblem.h"
#include "publish/MqttSettings.h"
#include "publish/Publisher.h"
#include "station/Station.h"

namespace tarsyn::cli {

QVector<config::PortEntry> ServeLines(const QStringList& ports, const QVector<config::PortEntry>& portList) {
    QVector<config::PortEntry> lines;
    QSet<QString> taken;
    const auto add = [&](const config::PortEntry& line) {
        // A port listed twice, under any of its names, is one line: its first row names it.
        const QString device = link::RealDevicePath(link::DevicePathForPortName(line.port));
        if (taken.contains(device)) return;
        taken.insert(device);
        lines.append(line);
    };
    if (ports.isEmpty()) {
        for (const config::PortEntry& row : portList) add(row);
        return lines;
    }
    for (const QString& given : ports) {
        const QString name = given.trimmed();
        config::PortEntry line{name, QFileInfo(name).fileName(), QString()};
        for (const config::PortEntry& row : portList)
            if (row.port.trimmed() == name) {
                line = row;
                break;
            }
        add(line);
    }
    return lines;
}

// What the window would draw or box goes to the log: the link going up or down, why the port will not
// open, a tick's failure, the desktop notifications of new alarms. It also counts the live readings.
class ServeLine::Log : public monitor::ReadingSubscriber, public aware::Notifier, public history::Journal {
public:
    explicit Log(ServeLine& line) : m_line(line) {}

    // The awareness's journal: every event goes to the line's journal as it is, with its values, and
    // each alarm or own limit edge is said in the log, the clearing as well as the raising.
    void record(history::JournalKind kind, const QString& controller, const QString& detail) override {
        m_line.m_journal->record(kind, controller, detail);
        say(kind, detail);
    }
    void recordWithData(history::JournalKind kind, const QString& controller, const QString& detail,
                        const QString& data) override {
        m_line.m_journal->recordWithData(kind, controller, detail, data);
        say(kind, detail);
    }
    void beginGroup() override { m_line.m_journal->beginGroup(); }
    void endGroup() override { m_line.m_journal->endGroup(); }

    void readingArrived(const monitor::LiveReading&, monitor::ReplyBlock block, const QString&) override {
        if (block == monitor::ReplyBlock::Live) ++m_readings;
    }
    void linkChanged(const monitor::LinkChange& change) override {
        m_answered = m_answered || change.linked;
        m_line.log(change.linked ? QStringLiteral("linked") : QStringLiteral("link lost"));
    }
    void tickEnded(const monitor::TickEnd& end) override {
        // A controller that never answers has no link to lose: said once, after a few ticks.
        if (!m_answered && !end.linked && m_portProblem.isEmpty() && ++m_silentTicks == kSilentTicks)
            m_line.log(QStringLiteral("no answer from the controller yet"));
        // Said once when it begins and once when it ends, not every refresh.
        const QString problem = m_line.m_station->view().portProblem();
        if (problem == m_portProblem) return;
        m_line.log(problem.isEmpty() ? QStringLiteral("the port is open again") : problem);
        m_portProblem = problem;
    }
    void notify(const QString&, const QString&) override {
        // The desktop's notice of a raised alarm: the log has said it already, with its clearing,
        // through the journal above.
    }
    qint64 readings() const { return m_readings; }

private:
    void say(history::JournalKind kind, const QString& detail) {
        const char* what = nullptr;
        switch (kind) {
            case history::JournalKind::AlarmRaised:
                what = "alarm raised";
                break;
            case history::JournalKind::AlarmCleared:
                what = "alarm cleared";
                break;
            case history::JournalKind::AlarmActiveAtStart:
                what = "alarm active at start";
                break;
            case history::JournalKind::WatchRaised:
                what = "own limit crossed";
                break;
            case history::JournalKind::WatchCleared:
                what = "own limit back";
                break;
            default:
                return;
        }
        m_line.log(QStringLiteral("%1: %2").arg(QLatin1String(what), detail));
    }

    static constexpr int kSilentTicks = 5;
    ServeLine& m_line;
    bool m_answered = false;
    int m_silentTicks = 0;
    QString m_portProblem;
    qint64 m_readings = 0;
};

namespace {
constexpr int kPublishFlushMs = 3000;  // within the service manager's stop time-out, whatever the broker does
constexpr int kEndMs = 5000;           // the whole end of a line, whatever the database does
}  // namespace

history::HistoryLocation ServeLine::lineLocation(const config::Config& config, const QString& port) {
    history::HistoryLocation location = history::HistoryLocation::fromConfig(config);
    if (!location.spoolPath.isEmpty()) {
        const QFileInfo spool(location.spoolPath);
        location.spoolPath = spool.dir().filePath(
            QStringLiteral("%1-%2.%3")
                .arg(spool.completeBaseName(), QFileInfo(port).fileName(), spool.suffix()));
    }
    return location;
}

ServeLine::ServeLine(const SessionSettings& settings, const config::PortEntry& entry, link::SerialPort& port,
                     link::Sleeper& sleeper, const link::Clock& clock,
                     std::shared_ptr<history::WriteTurns> turns, Terminal& terminal, bool first)
    : m_entry(entry), m_terminal(terminal), m_first(first), m_config(settings.dataDir, settings.codePage) {
    // The data folder's settings (refresh time, recording intervals) with this line's row alone: the
    // station polls it as the window program polls a fixed port.
    m_settings.load(m_config);
    m_settings.setLanguage(settings.language);
    m_settings.setPorts({entry});

    const history::HistoryLocation location = lineLocation(m_config, entry.port);
    m_store = std::make_unique<history::HistoryStore>(location);
    if (turns && location.kind == history::HistoryLocation::Kind::Sqlite) m_store->shareWriteTurns(turns);
    // Opened before the recorder is made, which starts failed (without a word) on a closed store; its
    // rows then wait in the spool until the database is back.
    if (!m_store->connect()) {
        m_recordingFailed = true;
        log(m_store->lastError());
    }
    m_recorder = std::make_unique<history::HistoryRecorder>(
        *m_store, clock, [this] { return m_settings.dayIntervalText(); },
        [this] { return m_settings.hourIntervalText(); }, nullptr);
    m_recorder->setMessages([this](const QString& key) { return m_messages.text(key); });
    m_recorder->setDroppedHook([this](qint64 rows) {
        m_journal->recordWithData(history::JournalKind::HistoryDropped, QString(),
                                  aware::historyDroppedText(rows), aware::historyDroppedData(rows));
    });
    // The strip's side of the recorder: a failure once as it begins, and when recording works again.
    QObject::connect(m_recorder.get(), &history::HistoryRecorder::statusChanged, m_recorder.get(),
                     [this](bool ok, const QString& text) {
                         if (ok && !m_recordingFailed) return;
                         m_recordingFailed = !ok;
                         log(text);
                     });
    m_journal = std::make_unique<history::JournalStore>(
        location, clock, [this](const QString& m) { this->log(m); },
        location.kind == history::HistoryLocation::Kind::Sqlite ? turns : nullptr);
    m_journal->setWriter(history::JournalWriterIdentity(QSysInfo::machineHostName(), m_config.dataDir()));
    m_log = std::make_unique<Log>(*this);
    m_awareness = std::make_unique<aware::Awareness>(clock, m_config, m_settings, *m_log, *m_log);
    m_station = std::make_unique<station::Station>(port, sleeper, clock, m_settings, m_messages);
    // The window program's order: the awareness, then the recorder.
    m_station->subscribe(m_awareness.get());
    m_station->subscribe(m_recorder.get());
    m_station->subscribe(m_log.get());
    QObject::connect(&m_station->poll(), &monitor::PollCycle::tickFailed, m_station.get(),
                     [this](const QString& error) { log(error); });

    const publish::MqttSettingsLoad mqtt =
        publish::LoadMqttSettings(m_config, m_messages, QSysInfo::machineHostName());
    if (mqtt.settings) {
        // The cursor's key is the line's own, so that each line sends its events once.
        const publish::OutboxScope scope{
            QFileInfo(entry.port.trimmed()).fileName(), {entry.remark.trimmed()}, first};
        m_publisher = std::make_unique<publish::Publisher>(
            *mqtt.settings,
            publish::Publisher::Services{*m_station, *m_journal, m_config, m_settings, m_messages, clock},
            scope);
        QObject::connect(m_publisher.get(), &publish::Publisher::brokerStatusChanged, m_publisher.get(),
                         [this] { log(m_publisher->brokerStatusText()); });
        // Every remote command's result, as it went to the broker.
        QObject::connect(m_publisher.get(), &publish::Publisher::commandAnswered, m_publisher.get(),
                         [this](const QByteArray& result) {
                             log(QStringLiteral("remote command: %1").arg(QString::fromUtf8(result)));
                         });
        if (mqtt.settings->commands && mqtt.settings->commandsInsecure) log(m_publisher->insecureWarning());
    } else if (mqtt.present && first) {
        log(mqtt.error);
    }
}

ServeLine::~ServeLine() {
    // It unsubscribes from the station as it goes: before the station does.
    m_publisher.reset();
}

void ServeLine::log(const QString& text) const {
    m_terminal.line(QStringLiteral("%1 (%2): %3").arg(m_entry.port, m_entry.remark.trimmed(), text));
}

void ServeLine::start() {
    if (m_journal->open() && m_first) m_journal->purgeOlderThan(aware::JournalRetentionSetting(m_config));
    m_awareness->setWatchLimits(aware::LoadWatchLimits(m_config));
    if (m_publisher) m_publisher->start();
    m_station->start(true);
}

LineSummary ServeLine::finish() {
    m_station->stop();
    // A bounded end: a database that does not take the rows and events within kEndMs (a frozen
    // server) does not hold the service up; they wait in the line's spools for the next start.
    const QDeadlineTimer deadline(kEndMs);
    const auto left = [&deadline] {
        return std::chrono::milliseconds(qMax<qint64>(0, deadline.remainingTime()));
    };
    const qint64 rows = m_recorder->flushWithin(left());
    if (rows > 0)
        log(QStringLiteral("%1 history rows not written; they wait in %2 for the next start")
                .arg(rows)
                .arg(m_store->location().spoolPath));
    const qint64 events = m_journal->flushWithin(left());
    if (events > 0)
        log(QStringLiteral("%1 journal events not written; they wait in %2 for the next start")
                .arg(events)
                .arg(m_journal->spoolPath()));
    if (m_publisher) {
        // The last events go out while the broker is there; any it missed wait in the journal for
        // the next start.
        m_publisher->flush(int(qMin<qint64>(kPublishFlushMs, left().count())));
        m_publisher->stop();
    }
    LineSummary summary;
    summary.port = m_entry.port;
    summary.remark = m_entry.remark.trimmed();
    summary.readings = m_log->readings();
    summary.dayRows = m_recorder->rowsHandedOver(history::HistoryTable::Day);
    summary.hourRows = m_recorder->rowsHandedOver(history::HistoryTable::Hour);
    return summary;
}

Service::Service(const SessionSettings& settings, QVector<config::PortEntry> lines, Terminal& log,
                 RestartPolicy policy, LineBody body)
    : m_settings(settings),
      m_lines(std::move(lines)),
      m_log(log),
      m_policy(policy),
      m_body(std::move(body)),
      m_turns(std::make_shared<history::WriteTurns>()) {
    if (!m_body)
        m_body = [this](const config::PortEntry& entry, bool first, QEventLoop& loop,
                        const std::function<void()>& running) {
            // Everything of a line is made on its thread: the serial port, the station's timer and
            // the database connections belong to the thread that made them.
            link::QtSerialPort port;
            link::ThreadSleeper sleeper;
            link::SystemClock clock;
            ServeLine line(m_settings, entry, port, sleeper, clock, m_turns, m_log, first);
            line.start();
            running();
            loop.exec();
            return line.finish();
        };
}

Service::~Service() { stop(); }

bool Service::failed() {
    QMutexLocker lock(&m_mutex);
    return m_failed;
}

int Service::start() {
    // A line held by another program is never shared: the service does not start at all, so that
    // whoever starts it sees at once which line to free. A device that is missing now is polled
    // all the same; the station opens it once it is there.
    QStringList refused;
    for (const config::PortEntry& line : m_lines) {
        link::QtSerialPort probe;
        probe.setPortName(line.port.trimmed());
        try {
            probe.OpenPort();
            probe.ClosePort();
        } catch (const link::PortOpenError& e) {
            // Named as configured, with the real device the lock is taken under when that differs.
            if (e.reason() == link::PortOpenError::Reason::InUse)
                refused << (e.device() == line.port.trimmed()
                                ? e.device()
                                : QStringLiteral("%1 (%2)").arg(line.port.trimmed(), e.device()));
        } catch (const link::SerialError&) {
        }
    }
    if (!refused.isEmpty()) {
        for (const QString& port : refused)
            m_log.line(QStringLiteral(
                           "tarsynctl serve: %1 is in use by another program (the window program or another "
                           "service); close it there first. Nothing is served.")
                           .arg(port));
        return kExitLink;
    }
    {
        QMutexLocker lock(&m_mutex);
        m_stopped = false;
        m_loops = QVector<QEventLoop*>(m_lines.size(), nullptr);
    }
    m_summaries = QVector<LineSummary>(m_lines.size());
    QSemaphore started;
    for (int i = 0; i < m_lines.size(); ++i) {
        m_threads.emplace_back(QThread::create([this, i, &started] { runLine(i, &started); }));
        m_threads.back()->setObjectName(QStringLiteral("serve %1").arg(m_lines.at(i).port));
        m_threads.back()->start();
    }
    started.acquire(m_lines.size());
    return kExitOk;
}

void Service::runLine(int index, QSemaphore* started) {
    using Clock = std::chrono::steady_clock;
    const config::PortEntry& entry = m_lines.at(index);
    const QString label = QStringLiteral("%1 (%2)").arg(entry.port, entry.remark.trimmed());
    // `started` lives in start(), which returns once every line has reported once: never touched after.
    auto report = [&] {
        if (started) started->release();
        started = nullptr;
    };
    int failures = 0;  // in a row
    for (;;) {
        const Clock::time_point began = Clock::now();
        QEventLoop loop;
        auto forget = [&] {
            QMutexLocker lock(&m_mutex);
            m_loops[index] = nullptr;
        };
        {
            QMutexLocker lock(&m_mutex);
            if (m_stopped) break;
            m_loops[index] = &loop;
        }
        try {
            const LineSummary summary = m_body(entry, index == 0, loop, report);
            forget();
            m_summaries[index] = summary;
            return;  // ended by stop()
        } catch (const std::exception& e) {
            // One line's failure ends that line, never the others or the wait for them to start.
            forget();
            m_log.line(
                QStringLiteral("%1: the line stopped: %2").arg(label, QString::fromLocal8Bit(e.what())));
        }
        report();
        const auto ran = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began);
        if (ran.count() >= m_policy.healthyMs) failures = 0;
        if (++failures > m_policy.attempts) {
            m_log.line(QStringLiteral("%1: the line could not be restarted (%2 tries in a row failed); the "
                                      "service ends so that the service manager starts it again")
                           .arg(label)
                           .arg(m_policy.attempts));
            {
                QMutexLocker lock(&m_mutex);
                m_failed = true;
            }
            if (m_failureHook) m_failureHook();
            break;
        }
        // 1, 2, 4 … times the first wait, at most the longest.
        const qint64 waitMs =
            std::min<qint64>(qint64(m_policy.firstMs) << std::min(failures - 1, 30), m_policy.maxMs);
        m_log.line(QStringLiteral("%1: the line is made again in %2 s (try %3 of %4)")
                       .arg(label)
                       .arg(double(waitMs) / 1000.0)
                       .arg(failures)
                       .arg(m_policy.attempts));
        QMutexLocker lock(&m_mutex);
        if (!m_stopped) m_stopping.wait(&m_mutex, QDeadlineTimer(waitMs));
        if (m_stopped) break;
    }
    report();
    m_summaries[index].port = entry.port;
    m_summaries[index].remark = entry.remark.trimmed();
}

QVector<LineSummary> Service::stop() {
    if (m_threads.empty()) return {};
    {
        // Queued, so that a loop told before it runs still ends as soon as it does; a line waiting to
        // be made again is woken, and one made from now on is not.
        QMutexLocker lock(&m_mutex);
        m_stopped = true;
        m_stopping.wakeAll();
        for (QEventLoop* loop : m_loops)
            if (loop) QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
    for (auto& thread : m_threads) thread->wait();
    m_threads.clear();
    return m_summaries;
}

int Serve(const SessionSettings& settings, const QVector<config::PortEntry>& lines, Terminal& log,
          RestartPolicy policy, LineBody body) {
    if (lines.isEmpty()) {
        log.line(
            QStringLiteral("tarsynctl serve: no line to serve: give --port, or list the lines in the "
                           "data folder's system.ini (the settings window's port list)."));
        return kExitUsage;
    }
    // The stop signals are taken by this thread alone, by sigwait, and never interrupt a line's
    // exchange: blocked here before any line's thread starts, they stay blocked on every one of them.
    // SIGUSR1 is the service's own: a line that has been given up sends it to this thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Service service(settings, lines, log, policy, std::move(body));
    const pthread_t self = pthread_self();
    service.setFailureHook([self] { pthread_kill(self, SIGUSR1); });
    if (const int code = service.start(); code != kExitOk) return code;
    QStringList names;
    for (const config::PortEntry& line : lines) names << line.port;
    log.line(QStringLiteral("tarsynctl serve: polling %1 line(s): %2")
                 .arg(lines.size())
                 .arg(names.join(QStringLiteral(", "))));
    int signal = 0;
    for (;;) {
        sigwait(&stopSignals, &signal);
        if (signal != SIGUSR1 || service.failed()) break;  // a SIGUSR1 from elsewhere changes nothing
    }
    const bool failed = service.failed();
    if (failed)
        log.line(QStringLiteral("tarsynctl serve: a line failed and could not be restarted, ending (exit %1)")
                     .arg(int(kExitFailed)));
    else
        log.line(QStringLiteral("tarsynctl serve: %1 received, ending")
                     .arg(QLatin1String(signal == SIGTERM ? "SIGTERM" : "SIGINT")));
    for (const LineSummary& s : service.stop())
        log.line(QStringLiteral("%1 (%2): %3 live readings, %4 rows in \"nls\", %5 in \"24xs\"")
                     .arg(s.port, s.remark)
                     .arg(s.readings)
                     .arg(s.hourRows)
                     .arg(s.dayRows));
    return failed ? kExitFailed : kExitOk;
}

}  // namespace tarsyn::cli
