#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <memory>

#include "aware/LinkWatch.h"
#include "monitor/LineActivity.h"
#include "monitor/ReadingSubscriber.h"
#include "publish/EventOutbox.h"
#include "publish/Messages.h"
#include "publish/MqttSettings.h"

class QThread;

namespace tarsyn::config {
class Config;
class LiveSettings;
class Messages;
}  // namespace tarsyn::config
namespace tarsyn::history {
class JournalStore;
}
namespace tarsyn::link {
class Clock;
}
namespace tarsyn::remote {
class CommandPolicy;
class SeenIds;
}  // namespace tarsyn::remote
namespace tarsyn::station {
class Station;
}

namespace tarsyn::publish {

class PublishWorker;

/// What the status strip shows of the broker link.
struct BrokerStatus {
    bool connected = false;
    bool everConnected = false;
    QDateTime since;  ///< when it was connected or lost (the program's clock)
    QString reason;   ///< why it is lost (the broker's or the network's words)
};

/// One line's publisher: a subscriber of the line's station that sends its controllers' state, the
/// line's journal events and (when asked for) Home Assistant discovery to an MQTT broker, and takes
/// the four operating commands from it when `commands` is on: signed, fresh, never seen before and
/// never retained (remote::CommandPolicy), for a controller of this line, while the operator has
/// nothing under way on it (monitor::LineActivity). Every attempt is journalled and answered once on
/// the controller's `command/result` topic with the command's id.
///
/// It lives on the station's thread and costs the poll tick a copy of a reading at most once per
/// interval per controller: the broker connection, the journal reads and the JSON are the work of a
/// publishing thread of its own, so a slow or absent broker never touches the tick. A remote command
/// comes back to the station's thread and passes the same gate as the menu's.
///
///     Publisher publisher(*settings, {station, journal, config, liveSettings, messages, clock});
///     publisher.start();   // on the station's thread, after the journal store is made
///     ...
///     publisher.stop();    // "offline", then a clean disconnect
///
/// The station's thread must run an event loop (the broker's news and remote commands are queued to
/// it). A service with several lines makes one publisher per line, on that line's thread, each with an
/// OutboxScope of its own: a name unique in the site (the cursor's key), the line's controllers, and
/// the events of no controller on one line only.
class Publisher : public QObject, public monitor::ReadingSubscriber {
    Q_OBJECT
public:
    struct Services {
        station::Station& station;
        history::JournalStore& journal;  ///< the line's journal: the outbox, and where commands are recorded
        const config::Config& config;
        const config::LiveSettings& settings;
        const config::Messages& messages;
        const link::Clock& clock;
    };

    Publisher(const MqttSettings& settings, Services services, OutboxScope scope = {},
              QObject* parent = nullptr);
    ~Publisher() override;
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    /// Subscribes to the station and starts the publishing thread, which connects.
    void start();
    /// Publishes "offline", disconnects, unsubscribes and ends the publishing thread.
    void stop();
    /// Waits (at most `timeoutMs`) until every event the journal holds now went to the broker, was
    /// acknowledged and the cursor is stored. False on time-out (no broker).
    bool flush(int timeoutMs);

    const MqttSettings& settings() const { return m_settings; }
    BrokerStatus brokerStatus() const { return m_status; }
    /// With `commands`: the command topics were subscribed at least once.
    bool isListening() const { return m_listening; }
    /// The strip's text: "MQTT broker: connected (host:1883)" or "MQTT broker lost since 10:02:13:
    /// Connection refused", in the language in effect.
    QString brokerStatusText() const;
    /// The warning that stays on the strip and in the service's log while `commandsInsecure=1`.
    QString insecureWarning() const;

    void readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                        const QString& reply) override;
    /// A controller's link as the awareness judges it: in rotation mode the tick that moves on to the
    /// next entry closes the port by design, which is no loss, so a dashboard does not see every set
    /// of the line go down and up at each round. A loss or a return shows at once, whatever the interval.
    void tickEnded(const monitor::TickEnd& end) override;

signals:
    /// The broker link went up or down (once per change, never per attempt).
    void brokerStatusChanged();
    /// With `commands`: the broker took the subscriptions of the command topics (after each connection).
    void listening();
    /// A remote command was answered (accepted or refused); the payload of its result.
    void commandAnswered(const QByteArray& result);

private:
    void sendState(monitor::LiveReading reading, bool linked);
    /// Both blocks of the controller were read whole (the live block with its indicators, the delays).
    static bool readWhole(const monitor::LiveReading& reading);
    void brokerChanged(bool connected, const QString& reason);
    void command(const QString& controller, const QByteArray& payload, bool retained);
    std::shared_ptr<const AlarmTexts> alarmTexts();
    int intervalSeconds() const;

    const MqttSettings m_settings;
    Services m_services;
    const OutboxScope m_scope;
    Topics m_topics;
    BrokerStatus m_status;
    aware::LinkWatch m_links;               // per controller (trimmed remark)
    QHash<QString, QDateTime> m_linkSince;  // per controller: when its link last changed
    QHash<QString, QDateTime> m_lastState;  // per controller: the reading time of its last state message
    QString m_textsLanguage;
    std::shared_ptr<const AlarmTexts> m_texts;
    QThread* m_thread = nullptr;
    PublishWorker* m_worker = nullptr;  // lives on m_thread
    bool m_started = false;
    bool m_listening = false;
    QString m_lastCommand;        // the strip's words on the last remote command
    QStringList m_commandLevels;  // the controllers whose commands this line answers; empty: all
    std::unique_ptr<remote::SeenIds> m_seenIds;
    std::unique_ptr<remote::CommandPolicy> m_policy;
};

/// Why a remote command is refused while the operator has `kind` under way on the line:
/// "busy: the operator is answering a command"…
QString BusyReason(monitor::LineActivity::Kind kind);

}  // namespace tarsyn::publish
