#pragma once

#include <QMutex>
#include <QString>
#include <QVector>
#include <QWaitCondition>
#include <functional>
#include <memory>
#include <vector>

#include "cli/Session.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/HistoryStore.h"
#include "link/Clock.h"
#include "link/SerialPort.h"

class QEventLoop;
class QSemaphore;
class QThread;

namespace tarsyn::history {
class HistoryRecorder;
class JournalStore;
}  // namespace tarsyn::history

namespace tarsyn::station {
class Station;
}

namespace tarsyn::aware {
class Awareness;
}

namespace tarsyn::publish {
class Publisher;
}

namespace tarsyn::cli {

/// The lines the site service polls: the `ports` given, each with its row of the port list when it
/// has one (else its base name as the remark the history records it under), or, with none given,
/// every row of the port list. A port listed twice is served once, under its first row's remark.
QVector<config::PortEntry> ServeLines(const QStringList& ports, const QVector<config::PortEntry>& portList);

/// What the service says of a line as it ends: how many live readings were accepted and how many
/// rows were handed to the history, each of them in the database (or its spool) by then.
struct LineSummary {
    QString port;
    QString remark;
    qint64 readings = 0;
    qint64 dayRows = 0;   ///< table "24xs"
    qint64 hourRows = 0;  ///< table "nls"
};

/// One line of the site service, made and used on its line's thread: a station polling the line's
/// one port-list row at the refresh time, with the awareness (alarm edges, link watch, the operator's
/// watch limits) and the history recorder subscribed in that order, the journal beside them, exactly
/// as the window program composes them. What the window would show in boxes and on its strip goes to
/// the log (standard error, one line each, labelled with the port). With a [Mqtt] section in
/// system.ini the line also publishes its controller's state and its journal events, under a cursor
/// of its own (the port's base name), the first line carrying the events of no controller.
class ServeLine {
public:
    /// `turns`: the write turns every line shares when the history is one embedded database file.
    /// `first`: this line purges the journal of events past their retention, says why [Mqtt] is
    /// refused, and publishes the events of no controller (one line does).
    ServeLine(const SessionSettings& settings, const config::PortEntry& entry, link::SerialPort& port,
              link::Sleeper& sleeper, const link::Clock& clock, std::shared_ptr<history::WriteTurns> turns,
              Terminal& terminal, bool first);
    ~ServeLine();
    ServeLine(const ServeLine&) = delete;
    ServeLine& operator=(const ServeLine&) = delete;

    /// Opens the history and the journal (a database that cannot be opened is logged; the line is
    /// polled all the same, its rows waiting in the spool) and starts polling.
    void start();
    /// Stops polling, waits until every row and event handed over is written, and says what was done.
    LineSummary finish();

    station::Station& station() { return *m_station; }
    history::HistoryRecorder& recorder() { return *m_recorder; }
    history::JournalStore& journal() { return *m_journal; }
    const config::Config& dataConfig() const { return m_config; }

    /// The history location of one line: the data folder's, with a spool file of the line's own
    /// ("kalde-ttyUSB0.spool" beside "kalde.spool"), as lines must never share one.
    static history::HistoryLocation lineLocation(const config::Config& config, const QString& port);

private:
    class Log;

    void log(const QString& text) const;

    config::PortEntry m_entry;
    Terminal& m_terminal;
    bool m_first;
    bool m_recordingFailed = false;
    config::Config m_config;
    config::LiveSettings m_settings;
    config::Messages m_messages{m_config, m_settings};
    std::unique_ptr<history::HistoryStore> m_store;
    std::unique_ptr<history::HistoryRecorder> m_recorder;
    std::unique_ptr<history::JournalStore> m_journal;
    std::unique_ptr<Log> m_log;
    std::unique_ptr<aware::Awareness> m_awareness;
    std::unique_ptr<publish::Publisher> m_publisher;  // with a [Mqtt] section only
    // Last: destroyed first, while everything it delivers to still stands.
    std::unique_ptr<station::Station> m_station;
};

/// How the service brings back a line that failed while it ran (its thread threw): made again after
/// `firstMs`, each further try waiting twice as long up to `maxMs`, at most `attempts` times in a row;
/// a line that ran `healthyMs` before it failed counts afresh. Past that the line is given up.
struct RestartPolicy {
    int firstMs = 1000;
    int maxMs = 60000;
    int attempts = 5;
    int healthyMs = 10 * 60 * 1000;
};

/// One line's life on its thread: makes the line (`first`: the line that carries the events of no
/// controller), calls `running` once it polls, runs `loop` until the service ends it, finishes the line
/// and says what it did. Throws when the line cannot be made or fails while it runs.
using LineBody = std::function<LineSummary(const config::PortEntry& entry, bool first, QEventLoop& loop,
                                           const std::function<void()>& running)>;

/// The headless site service: every line on a thread of its own with its own port, ServeLine and
/// event loop, so that a silent line's waits never hold up another. A line whose thread throws is
/// logged and made again with backoff (RestartPolicy); one that cannot be is given up, failed() turns
/// true and the failure hook runs (serve then ends with kExitFailed, for systemd to start it again).
class Service {
public:
    /// `body`: what runs each line (empty: a ServeLine on the line's own serial port).
    Service(const SessionSettings& settings, QVector<config::PortEntry> lines, Terminal& log,
            RestartPolicy policy = {}, LineBody body = {});
    ~Service();

    /// Called on the line's thread when a line is given up (set before start()).
    void setFailureHook(std::function<void()> hook) { m_failureHook = std::move(hook); }
    /// Refuses every line another program holds (the window program, another service), naming each
    /// (kExitLink, nothing started); else starts every line and returns once each is polling (or has
    /// failed once: it is made again in the background).
    int start();
    /// Ends every line: its polling stops, its rows and events are written; then the threads end.
    QVector<LineSummary> stop();
    /// True once a line has been given up.
    bool failed();

private:
    void runLine(int index, QSemaphore* started);

    SessionSettings m_settings;
    QVector<config::PortEntry> m_lines;
    Terminal& m_log;
    RestartPolicy m_policy;
    LineBody m_body;
    std::function<void()> m_failureHook;
    std::shared_ptr<history::WriteTurns> m_turns;
    std::vector<std::unique_ptr<QThread>> m_threads;
    QMutex m_mutex;
    QWaitCondition m_stopping;     // wakes a line waiting to be made again
    bool m_stopped = false;        // under m_mutex
    bool m_failed = false;         // under m_mutex
    QVector<QEventLoop*> m_loops;  // each line's loop while it runs, under m_mutex
    QVector<LineSummary> m_summaries;
};

/// `tarsynctl serve`: starts the service and runs until SIGTERM or SIGINT, then ends it cleanly and
/// prints every line's summary on standard error. A line given up ends it too, with kExitFailed.
/// `policy` and `body` as for Service.
int Serve(const SessionSettings& settings, const QVector<config::PortEntry>& lines, Terminal& log,
          RestartPolicy policy = {}, LineBody body = {});

}  // namespace tarsyn::cli
