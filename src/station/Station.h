#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

#include "link/ControllerLink.h"
#include "link/LinkMeter.h"
#include "monitor/LiveReading.h"
#include "monitor/PollCycle.h"
#include "monitor/ReadingSubscriber.h"
#include "station/StationView.h"

namespace tarsyn::config {
class Config;
class LiveSettings;
class Messages;
}  // namespace tarsyn::config

namespace tarsyn::station {

/// One serial line without a window: the port it is given, the ControllerLink every other exchange on
/// that line goes through, the poll cycle (`tmr1`, one request per second) and the latest reading of
/// every controller it has polled. Whoever wants the readings subscribes; a window that draws the line
/// attaches itself as its view.
///
/// Order of delivery, for each reading of a tick: the attached view's panels first (the cycle's own
/// display), then the station's record of the controller, then the subscribers in the order they were
/// subscribed. The program subscribes the awareness, then the history recorder.
///
/// Threads: a station and its cycle and timer belong to the thread that made them (or the one they are
/// moved to with moveToThread before start()); every tick and every delivery runs there, and nothing
/// is shared between stations, so a tool runs one station per line, each on a thread of its own. The
/// port, sleeper, clock, settings and messages it is given must be used on that thread only.
class Station : public QObject {
    Q_OBJECT
public:
    Station(link::SerialPort& port, link::Sleeper& sleeper, const link::Clock& clock,
            const config::LiveSettings& settings, const config::Messages& messages,
            QObject* parent = nullptr);
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    /// Whether system.ini lets the cycle open ports by itself ([Set] "Ports" is not "0").
    static bool portsConfigured(const config::Config& config);

    /// Display cleared, cycle initialised (PortIndex 0, or -1 when `portsConfigured` is false), `tmr1`
    /// running: the first tick opens the first entry's port.
    void start(bool portsConfigured);
    /// `tmr1` stops; start() again to go on from a fresh request.
    void stop();

    monitor::PollCycle& poll() { return *m_poll; }
    link::ControllerLink& controllerLink() { return m_link; }
    /// The line as every exchange of the station uses it: the port given, counted by meter().
    link::SerialPort& port() { return m_meter; }
    /// The line's counters per port and its frames, for whoever diagnoses the link (on this thread).
    link::LinkMeter& meter() { return m_meter; }
    /// What the cycle writes about the line (current entry, connection picture, mode, port problem).
    StationView& view() { return m_view; }
    /// The window that draws the line, or null (headless).
    void setDrawnView(monitor::LiveView* drawn) { m_view.setDrawn(drawn); }

    /// Adds a subscriber at the end of the delivery order; it must outlive the station or unsubscribe.
    void subscribe(monitor::ReadingSubscriber* subscriber) { m_poll->addSubscriber(subscriber); }
    void unsubscribe(monitor::ReadingSubscriber* subscriber) { m_poll->removeSubscriber(subscriber); }

    /// The controllers read so far (trimmed remarks), in the order they were first read.
    QStringList controllers() const { return m_order; }
    /// The latest reading of `controller` (its trimmed remark): its last live and delay fields as they
    /// were read, and its link as last seen; nullopt when never read or linked.
    std::optional<monitor::LiveReading> latest(const QString& controller) const;
    /// The current entry's reading: what the display shows now (cleared with it).
    const monitor::LiveReading& current() const { return m_poll->reading(); }

private:
    // The station's own record, delivered to before every subscriber.
    class Record : public monitor::ReadingSubscriber {
    public:
        explicit Record(Station& station) : m_station(station) {}
        void readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                            const QString& reply) override;
        void linkChanged(const monitor::LinkChange& change) override;

    private:
        Station& m_station;
    };
    monitor::LiveReading& entry(const QString& remark);

    link::LinkMeter m_meter;
    link::ControllerLink m_link;
    StationView m_view;
    std::unique_ptr<monitor::PollCycle> m_poll;
    Record m_record{*this};
    QHash<QString, monitor::LiveReading> m_latest;
    QStringList m_order;
};

}  // namespace tarsyn::station
