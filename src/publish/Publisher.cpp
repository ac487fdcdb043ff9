#include "publish/Publisher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "aware/JournalExport.h"
#include "aware/JournalTexts.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "history/HistoryColumns.h"
#include "history/JournalStore.h"
#include "link/Clock.h"
#include "monitor/CommandGate.h"
#include "monitor/LiveMap.h"
#include "operations/OperatingCommands.h"
#include "publish/MqttClient.h"
#include "remote/CommandPolicy.h"
#include "remote/SeenIds.h"
#include "station/Station.h"

namespace tarsyn::publish {

namespace {

// A reading a little early still counts as due: the poll tick does not keep time to the millisecond.
constexpr qint64 kIntervalSlackMs = 500;
// Events on their way to the broker at once; the rest wait in the journal.
constexpr size_t kInFlight = 32;
// How often the publishing thread looks for new readings and journal events: often enough for a
// dashboard, seldom enough that a hundred lines' publishers leave the poll threads' caches alone.
constexpr int kPumpMs = 250;
constexpr int kClientLength = 64;
// A dashboard stops believing a controller's sensors after this many state intervals without one (a
// minute at least): the process may be gone without its will having been heard yet.
constexpr int kExpireIntervals = 3;
constexpr int kMinExpireSeconds = 60;

// The controller's level in the topics: its remark, else its port's name.
QString controllerLevel(const QString& remark, const QString& port) {
    const QString level = TopicLevel(remark);
    return level.isEmpty() ? TopicLevel(QFileInfo(port).fileName()) : level;
}

// The time between two readings by their wall-clock dates and times. QDateTime::msecsTo converts both
// to UTC through the C library, which looks at the time zone file each time: too dear for every
// reading of every controller. Across a change to or from summer time the gap is an hour off, once.
qint64 wallMsecsBetween(const QDateTime& from, const QDateTime& to) {
    return from.date().daysTo(to.date()) * 86400000LL + from.time().msecsTo(to.time());
}

// A remote sender cannot be asked: its message is its Yes. What the gate or the command would show in
// a box becomes the answer on the result topic.
class RemotePrompter : public config::Prompter {
public:
    void information(const QString& text) override { told = text; }
    bool confirm(const QString&) override { return true; }
    bool input(const QString&, const QString&, QString& text) override {
        text.clear();
        return false;
    }
    void error(const QString& text) override { told = text; }
    QString told;
};

}  // namespace

/// The publishing thread's side: the broker client, the outbox, the JSON. Everything here runs on
/// that thread except the client's handlers, which pass their news on to it.
class PublishWorker : public QObject {
public:
    struct Setup {
        MqttSettings settings;
        Topics topics;
        history::HistoryLocation location;
        std::shared_ptr<history::WriteTurns> turns;
        OutboxScope scope;
        QHash<int, QString> kindTexts;  // by JournalKind
        config::Catalogue local;        // the language in effect at the start: events are said in it
        config::Catalogue english;      // ... and in English
        QString clientId;
        QString since;  // the journal stamp of the start: the first start's outbox begins there
        std::function<void(bool connected, const QString& reason)> broker;  // called on this thread
        std::function<void(const QString& controller, const QByteArray& payload, bool retained)> command;
        /// What to subscribe to for commands: every controller's topic, or this line's controllers' only.
        QList<QByteArray> commandTopics;
        std::function<void()> listening;  // every command topic is subscribed (called on this thread)
        QString process;                  // this process's level of its status topic
        int expireAfter = 0;              // seconds without a state before a dashboard stops believing one
        QString writer;  // the journal's writer identity: the outbox publishes that writer's events only
    };
    explicit PublishWorker(Setup setup) : m_setup(std::move(setup)) {}

    void begin() {
        m_outbox =
            std::make_unique<EventOutbox>(m_setup.location, m_setup.topics.site() + '/' + m_setup.scope.name,
                                          m_setup.since, m_setup.turns, m_setup.writer);
        openOutbox();
        MqttClient::Handlers h;
        h.connected = [this] {
            QMetaObject::invokeMethod(
                this, [this] { connected(); }, Qt::QueuedConnection);
        };
        h.lost = [this](const QString& why) {
            QMetaObject::invokeMethod(
                this, [this, why] { lost(why); }, Qt::QueuedConnection);
        };
        h.subscribed = [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (++m_subscribed == m_setup.commandTopics.size() && m_setup.listening)
                        m_setup.listening();
                },
                Qt::QueuedConnection);
        };
        h.acknowledged = [this](int mid) {
            QMetaObject::invokeMethod(
                this, [this, mid] { acknowledged(mid); }, Qt::QueuedConnection);
        };
        h.message = [this](const QByteArray& topic, const QByteArray& payload, bool retained) {
            const QString controller = m_setup.topics.commandController(topic);
            // An empty message is a retained command being cleared (ours or anyone's): no command.
            if (controller.isNull() || payload.isEmpty() || !m_setup.command) return;
            // A retained command never acts; it is taken off the broker so that it cannot come again.
            if (retained) m_client->publish(topic, QByteArray(), 1, true);
            m_setup.command(controller, payload, retained);
        };
        m_client = std::make_unique<MqttClient>(m_setup.settings, m_setup.clientId, status(), kOffline, h);
        QString why;
        if (!m_client->start(&why)) lost(why);
        m_timer = new QTimer(this);
        m_timer->setInterval(kPumpMs);
        QObject::connect(m_timer, &QTimer::timeout, this, [this] { pump(); });
        m_timer->start();
    }

    void end() {
        if (m_timer) m_timer->stop();
        // A clean stop: no controller's state may go on saying linked, nor it available.
        if (m_connected)
            for (auto it = m_latest.begin(); it != m_latest.end(); ++it) {
                it->reading.linked = false;
                m_client->publish(m_setup.topics.state(it.key()), StateJson(it->reading, *it->texts), 1,
                                  true);
                m_client->publish(m_setup.topics.availability(it.key()), kOffline, 1, true);
            }
        if (m_client) m_client->stop(status(), kOffline);
        m_client.reset();
        m_outbox.reset();
        m_inFlight.clear();
        m_connected = false;
        std::lock_guard<std::mutex> lock(m_flushMutex);
        m_ended = true;
        m_flushed.notify_all();
    }

    void state(const monitor::LiveReading& reading, const std::shared_ptr<const AlarmTexts>& texts) {
        const QString level = controllerLevel(reading.remark, reading.port);
        if (level.isEmpty()) return;
        const bool fresh = !m_known.contains(level);
        m_known.insert(level, texts);
        m_latest.insert(level, {reading, texts});
        if (!m_connected) return;
        if (fresh && m_setup.settings.discovery) discover(level, *texts);
        m_client->publish(m_setup.topics.state(level), StateJson(reading, *texts), 0, true);
        const auto available = m_available.constFind(level);
        if (available == m_available.cend() || *available != reading.linked)
            publishAvailability(level, reading.linked);
    }

    /// From the station's thread: the latest reading of a controller waits for the next round of this
    /// thread (at most kPumpMs), so that the tick neither wakes this thread nor waits for it.
    void offer(const monitor::LiveReading& reading, const std::shared_ptr<const AlarmTexts>& texts) {
        std::lock_guard<std::mutex> lock(m_offerMutex);
        // Each controller's slot is made once and then overwritten in place: the tick allocates nothing
        // that this thread would have to free.
        Offer& slot = m_offered[reading.remark];
        slot.reading = reading;
        if (slot.texts != texts) slot.texts = texts;
        slot.fresh = true;
    }

    void result(const QString& controller, const QByteArray& payload) {
        if (m_connected) m_client->publish(m_setup.topics.commandResult(controller), payload, 1, false);
    }

    /// Rounds of the outbox that found nothing left to send; flush() waits for two more.
    bool waitIdle(int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_flushMutex);
        const quint64 target = m_idleRounds + 2;
        return m_flushed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return m_idleRounds >= target || m_ended;
        }) && !m_ended;
    }

private:
    void openOutbox() {
        QString why;
        if (!m_outbox->open(&why)) qWarning("MQTT outbox: %s", qPrintable(why));
        m_readUpTo = m_outbox->cursor();
    }

    void connected() {
        m_connected = true;
        m_client->publish(status(), kOnline, 1, true);
        for (auto it = m_latest.cbegin(); it != m_latest.cend(); ++it)
            publishAvailability(it.key(), it->reading.linked);
        m_subscribed = 0;
        if (m_setup.settings.commands)
            for (const QByteArray& topic : m_setup.commandTopics) m_client->subscribe(topic, 1, true);
        if (m_setup.settings.discovery)
            for (auto it = m_known.cbegin(); it != m_known.cend(); ++it) discover(it.key(), *it.value());
        // What was on its way when the link dropped goes again, from the last acknowledged event.
        m_inFlight.clear();
        m_readUpTo = m_outbox->cursor();
        if (m_setup.broker) m_setup.broker(true, QString());
        pump();
    }

    void lost(const QString& why) {
        m_connected = false;
        m_inFlight.clear();
        if (m_outbox) m_readUpTo = m_outbox->cursor();
        if (m_setup.broker) m_setup.broker(false, why);
    }

    void acknowledged(int mid) {
        // The goodbye's messages are acknowledged after the outbox is closed: nothing to advance then.
        if (!m_outbox) return;
        for (InFlight& f : m_inFlight)
            if (f.mid == mid) f.acked = true;
        advance();
        pump();
    }

    // The cursor moves over the acknowledged events at the front, in journal order.
    void advance() {
        qint64 last = -1;
        while (!m_inFlight.empty() && m_inFlight.front().acked) {
            last = std::max(last, m_inFlight.front().id);  // a late event's id is below the others
            m_inFlight.pop_front();
        }
        if (last >= 0) m_outbox->store(last);
    }

    void pump() {
        m_taken.clear();
        {
            std::lock_guard<std::mutex> lock(m_offerMutex);
            for (Offer& o : m_offered) {
                if (!o.fresh) continue;
                m_taken.push_back(o);
                o.fresh = false;
            }
        }
        for (const Offer& o : m_taken) state(o.reading, o.texts);
        if (!m_connected || !m_outbox) return;
        if (!m_outbox->isOpen()) openOutbox();
        bool sent = false, more = false;
        if (m_inFlight.size() < kInFlight && m_outbox->isOpen()) {
            const int room = int(kInFlight - m_inFlight.size());
            const QVector<OutboxRow> rows = m_outbox->after(m_readUpTo, room);
            more = rows.size() == room;
            for (const OutboxRow& row : rows) {
                const history::JournalEvent& e = row.event;
                InFlight f{e.id, 0, true};  // not this publisher's: passed over at once
                if (row.known && m_setup.scope.contains(e.controller)) {
                    const QString level = controllerLevel(e.controller, QString());
                    f.mid = m_client->publish(
                        m_setup.topics.event(level),
                        EventJson(e, m_setup.kindTexts.value(int(e.kind)), m_setup.local, m_setup.english), 1,
                        false);
                    if (f.mid < 0) break;  // the link dropped meanwhile: from here again after reconnecting
                    f.acked = false;
                    sent = true;
                }
                m_inFlight.push_back(f);
                m_readUpTo = std::max(m_readUpTo, e.id);
            }
            advance();
        }
        if (!sent && !more && m_inFlight.empty()) {
            std::lock_guard<std::mutex> lock(m_flushMutex);
            ++m_idleRounds;
            m_flushed.notify_all();
        }
    }

    void discover(const QString& level, const AlarmTexts& texts) {
        for (const auto& [topic, payload] :
             DiscoveryConfigs(m_setup.topics, level, texts, {status(), m_setup.expireAfter}))
            m_client->publish(topic, payload, 1, true);
    }

    QByteArray status() const { return m_setup.topics.status(m_setup.process); }

    void publishAvailability(const QString& level, bool online) {
        if (m_client->publish(m_setup.topics.availability(level), online ? kOnline : kOffline, 1, true) >= 0)
            m_available.insert(level, online);
    }

    struct InFlight {
        qint64 id;
        int mid;
        bool acked;
    };
    Setup m_setup;
    std::unique_ptr<MqttClient> m_client;
    std::unique_ptr<EventOutbox> m_outbox;
    QTimer* m_timer = nullptr;
    bool m_connected = false;
    int m_subscribed = 0;  // command topics the broker took since the last connection
    qint64 m_readUpTo = 0;
    std::deque<InFlight> m_inFlight;
    QHash<QString, std::shared_ptr<const AlarmTexts>> m_known;  // controllers seen, for discovery
    struct Latest {
        monitor::LiveReading reading;
        std::shared_ptr<const AlarmTexts> texts;
    };
    QHash<QString, Latest> m_latest;   // by level: the last state, for the goodbye
    QHash<QString, bool> m_available;  // by level: the availability last published
    struct Offer {
        monitor::LiveReading reading;
        std::shared_ptr<const AlarmTexts> texts;
        bool fresh = false;
    };
    std::mutex m_offerMutex;
    QHash<QString, Offer> m_offered;  // by remark
    std::vector<Offer> m_taken;
    std::mutex m_flushMutex;
    std::condition_variable m_flushed;
    quint64 m_idleRounds = 0;
    bool m_ended = false;
};

Publisher::Publisher(const MqttSettings& settings, Services services, OutboxScope scope, QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_services(services),
      m_scope(std::move(scope)),
      m_topics(settings.site) {}

Publisher::~Publisher() { stop(); }

void Publisher::start() {
    if (m_started) return;
    m_started = true;
    PublishWorker::Setup setup{m_settings,
                               m_topics,
                               m_services.journal.location(),
                               m_services.journal.writeTurns(),
                               m_scope,
                               {},
                               config::Catalogue::load(m_services.config, m_services.settings.language()),
                               config::Catalogue::load(m_services.config, QStringLiteral("English")),
                               {},
                               history::stampText(m_services.clock.now()),
                               {},
                               {},
                               {},
                               {},
                               {},
                               {},
                               m_services.journal.writer()};
    // One owner answers: a line listens on its own controllers' command topics only, so that one
    // command of a service with several lines gives one result.
    if (m_scope.controllers.isEmpty()) {
        setup.commandTopics << m_topics.commandFilter();
    } else {
        for (const QString& remark : m_scope.controllers) {
            m_commandLevels << controllerLevel(remark, m_scope.name);
            setup.commandTopics << m_topics.command(m_commandLevels.last());
        }
    }
    if (m_settings.commands) {
        m_seenIds =
            std::make_unique<remote::SeenIds>(m_services.journal.location(), m_services.journal.writeTurns());
        m_policy =
            std::make_unique<remote::CommandPolicy>(m_settings.commandKeys, *m_seenIds, m_services.clock);
    }
    const auto message = [this](const QString& key) { return m_services.messages.text(key); };
    for (history::JournalKind kind : history::kJournalKinds) {
        const QString text = aware::JournalKindText(kind, message);
        setup.kindTexts.insert(int(kind), text == QLatin1String("0") ? history::journalKindCode(kind) : text);
    }
    // Unique per line and process; letters, digits and "-" only, which every broker takes.
    setup.clientId = QStringLiteral("tarsyn-%1-%2-%3")
                         .arg(m_settings.site, m_scope.name.isEmpty() ? QStringLiteral("pc") : m_scope.name)
                         .arg(QCoreApplication::applicationPid());
    for (QChar& c : setup.clientId)
        if (c.unicode() >= 0x80 || !c.isLetterOrNumber()) c = QLatin1Char('-');
    setup.clientId = setup.clientId.right(kClientLength);
    // One status topic per process: a line that loses the broker marks its own controllers only.
    setup.process = m_scope.name.isEmpty() ? QStringLiteral("program") : TopicLevel(m_scope.name);
    setup.expireAfter = std::max(kMinExpireSeconds, kExpireIntervals * intervalSeconds());
    setup.broker = [this](bool connected, const QString& why) {
        QMetaObject::invokeMethod(
            this, [this, connected, why] { brokerChanged(connected, why); }, Qt::QueuedConnection);
    };
    setup.listening = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_listening = true;
                emit listening();
            },
            Qt::QueuedConnection);
    };
    setup.command = [this](const QString& controller, const QByteArray& payload, bool retained) {
        QMetaObject::invokeMethod(
            this, [this, controller, payload, retained] { command(controller, payload, retained); },
            Qt::QueuedConnection);
    };
    m_status = BrokerStatus{false, false, m_services.clock.now(), QString()};
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("mqtt"));
    m_worker = new PublishWorker(std::move(setup));
    m_worker->moveToThread(m_thread);
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker] { w->begin(); }, Qt::QueuedConnection);
    m_services.station.subscribe(this);
}

void Publisher::stop() {
    if (!m_started) return;
    m_started = false;
    m_services.station.unsubscribe(this);
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker] { w->end(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
    delete m_thread;
    m_worker = nullptr;
    m_thread = nullptr;
    m_policy.reset();
    m_seenIds.reset();
}

bool Publisher::flush(int timeoutMs) {
    if (!m_started) return false;
    m_services.journal.flush();
    return m_worker->waitIdle(timeoutMs);
}

QString Publisher::brokerStatusText() const {
    const QString where = QStringLiteral("%1:%2").arg(m_settings.host).arg(m_settings.port);
    QString text;
    if (m_status.connected)
        text = MessageOr(m_services.messages, "mqttconnected", "MQTT broker: connected (%1)").arg(where);
    else if (!m_status.everConnected && m_status.reason.isEmpty())
        text = MessageOr(m_services.messages, "mqttconnecting", "MQTT broker: connecting to %1").arg(where);
    else
        text = MessageOr(m_services.messages, "mqttlost", "MQTT broker %1 lost since %2: %3")
                   .arg(where, m_status.since.toString(QStringLiteral("HH:mm:ss")), m_status.reason);
    // As long as it runs so: remote commands over a link anyone on the network may read and write.
    if (m_settings.commands && m_settings.commandsInsecure) text += QLatin1Char(' ') + insecureWarning();
    if (!m_lastCommand.isEmpty()) text += QStringLiteral(" | ") + m_lastCommand;
    return text;
}

QString Publisher::insecureWarning() const {
    return MessageOr(
        m_services.messages, "mqttcmdinsecure",
        "WARNING: remote commands over an unprotected link (commandsInsecure=1, for a lab only)");
}

void Publisher::brokerChanged(bool connected, const QString& reason) {
    // A broker that stays away is one change, not one per attempt: the first reason stands.
    const bool firstFailure = !connected && !m_status.everConnected && m_status.reason.isEmpty();
    if (connected == m_status.connected && !firstFailure) return;
    m_status.connected = connected;
    m_status.everConnected = m_status.everConnected || connected;
    m_status.since = m_services.clock.now();
    m_status.reason = connected ? QString() : reason;
    emit brokerStatusChanged();
}

int Publisher::intervalSeconds() const {
    if (m_settings.interval > 0) return m_settings.interval;
    return std::max(1, m_services.settings.refreshText().toInt());
}

std::shared_ptr<const AlarmTexts> Publisher::alarmTexts() {
    const QString language = m_services.settings.language();
    if (m_texts && language == m_textsLanguage) return m_texts;
    auto texts = std::make_shared<AlarmTexts>();
    const QString section = QStringLiteral("Translations");
    const config::IniSection local =
        m_services.config.readSection(language + QStringLiteral(".lag"), section);
    const config::IniSection english = m_services.config.readSection(QStringLiteral("English.lag"), section);
    for (const QString& name : monitor::IndicatorNames()) {
        if (monitor::PictureSetOf(name) != monitor::PictureSet::Alarm) continue;
        const QString key = QStringLiteral("lbl") + name + QStringLiteral(".Caption");
        if (local.contains(key)) texts->local.insert(name, local.value(key));
        if (english.contains(key)) texts->english.insert(name, english.value(key));
    }
    m_textsLanguage = language;
    m_texts = texts;
    return m_texts;
}

void Publisher::readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock, const QString&) {
    // No state of half a controller: a dashboard takes a missing indicator for "off".
    if (!readWhole(reading)) return;
    QDateTime& last = m_lastState[reading.remark];
    if (last.isValid() &&
        wallMsecsBetween(last, reading.time) < intervalSeconds() * 1000LL - kIntervalSlackMs)
        return;
    last = reading.time;
    sendState(reading, true);  // it answered just now
}

void Publisher::tickEnded(const monitor::TickEnd& end) {
    const aware::TickState state = aware::TickState::of(end, history::trimRemark(end.remark));
    const aware::LinkWatch::Change change = m_links.update(state, end.time);
    if (change == aware::LinkWatch::Change::None) return;
    m_linkSince[state.controller] = end.time;
    const std::optional<monitor::LiveReading> latest = m_services.station.latest(state.controller);
    if (!latest || !readWhole(*latest)) return;  // not read whole yet: its first whole reading says it
    m_lastState[latest->remark] = latest->time;
    sendState(*latest, change != aware::LinkWatch::Change::Lost);
}

bool Publisher::readWhole(const monitor::LiveReading& reading) {
    if (!reading.liveComplete()) return false;
    for (const monitor::FieldValue& d : reading.delays)
        if (!d.valid) return false;
    return true;
}

void Publisher::sendState(monitor::LiveReading reading, bool linked) {
    if (!readWhole(reading)) return;  // never read whole: nothing to say of it yet
    const auto since = m_linkSince.constFind(history::trimRemark(reading.remark));
    reading.linked = linked;
    if (since != m_linkSince.cend()) reading.linkChangedAt = *since;
    m_worker->offer(reading, alarmTexts());
}

void Publisher::command(const QString& controller, const QByteArray& payload, bool retained) {
    if (!m_started || !m_settings.commands || !m_policy) return;
    // Another line's controller: its own line answers.
    if (!m_commandLevels.isEmpty() && !m_commandLevels.contains(controller)) return;
    station::Station& station = m_services.station;
    const QString onScreen = history::trimRemark(station.view().remarkText());
    const QString onScreenLevel = controllerLevel(onScreen, station.view().portText());
    const QString journalled = controller == onScreenLevel ? onScreen : controller;

    const remote::Verdict verdict = m_policy->check(
        payload, retained, [&controller](const QString& c) { return TopicLevel(c) == controller; });
    const QString word = verdict.word;
    auto answer = [&](bool accepted, const QString& reason) {
        QJsonObject o;
        o.insert(QStringLiteral("command"), word);
        o.insert(QStringLiteral("controller"), controller);
        o.insert(QStringLiteral("id"), verdict.id);
        o.insert(QStringLiteral("client"), verdict.client);
        o.insert(QStringLiteral("accepted"), accepted);
        o.insert(QStringLiteral("reason"), reason);
        o.insert(QStringLiteral("time"), IsoTime(m_services.clock.now()));
        const QByteArray result = QJsonDocument(o).toJson(QJsonDocument::Compact);
        m_lastCommand =
            MessageOr(m_services.messages, "mqttcmdlast", "remote %1 from %2 at %3: %4")
                .arg(word.isEmpty() ? QStringLiteral("?") : word, verdict.client,
                     m_services.clock.now().toString(QStringLiteral("HH:mm:ss")),
                     accepted ? MessageOr(m_services.messages, "mqttcmdaccepted", "accepted")
                              : MessageOr(m_services.messages, "mqttcmdrefused", "refused (%1)").arg(reason));
        QMetaObject::invokeMethod(
            m_worker, [w = m_worker, controller, result] { w->result(controller, result); },
            Qt::QueuedConnection);
        emit commandAnswered(result);
    };
    // Every refusal is journalled with its reason: nothing went out.
    auto refuse = [&](const QString& reason) {
        m_services.journal.record(history::JournalKind::CommandRefused, journalled,
                                  aware::remoteRefusedText(word, reason, verdict.client, verdict.id));
        answer(false, reason);
    };
    if (!verdict.accepted) return refuse(verdict.reason);

    const RemoteCommand* remote = nullptr;
    for (const RemoteCommand& rc : kRemoteCommands)
        if (word == QLatin1String(rc.word)) remote = &rc;
    if (!remote)
        return refuse(MessageOr(m_services.messages, "mqttcmdunknown",
                                "Unknown command \"%1\": start, auto, stop or test only")
                          .arg(word));
    if (controller != onScreenLevel)
        return refuse(
            MessageOr(m_services.messages, "mqttcmdother", "Refused: %1 is not the controller on screen (%2)")
                .arg(controller, onScreenLevel));
    // The operator comes first: nothing cuts into a question, an exchange or a calibration of theirs.
    if (const std::optional<monitor::LineActivity::Kind> busy = station.poll().activity().current())
        return refuse(BusyReason(*busy));

    // The menu's gate and the menu's command, with the sender's signed message standing for the Yes.
    RemotePrompter prompter;
    const monitor::CommandGate gate(station.poll(), m_services.messages, prompter);
    if (!gate.pass(monitor::GateRule::NeedsLink)) return refuse(prompter.told);
    bool sent = false;
    operations::OperationServices exchange{
        gate, station.poll(), station.controllerLink(), m_services.messages, prompter, {}};
    exchange.sent = [&](const QString& control, const QString&, const QString& request) {
        sent = true;
        // The journal's texts are English whatever the language in effect.
        QString caption =
            m_services.config.reini(QStringLiteral("English.lag"), QStringLiteral("Translations"),
                                    control + QStringLiteral(".Caption"));
        if (caption == QLatin1String("0")) caption = word;
        m_services.journal.recordWithData(
            history::JournalKind::CommandSent, onScreen,
            aware::remoteCommandText(aware::commandText(caption, control, request), verdict.client,
                                     verdict.id),
            aware::remoteCommandData(control, request, verdict.client));
    };
    exchange.controller = [&] { return onScreen.isEmpty() ? station.port().portName() : onScreen; };
    operations::OperatingCommands(exchange).SendOperatingCommand(
        *operations::FindOperatingCommand(QLatin1String(remote->button)));
    if (!sent)
        return refuse(MessageOr(m_services.messages, "mqttcmdnotsent",
                                "The command did not go out: the serial line failed"));
    answer(true, prompter.told);
}

QString BusyReason(monitor::LineActivity::Kind kind) {
    switch (kind) {
        case monitor::LineActivity::Kind::Answering:
            return QStringLiteral("busy: the operator is answering a command");
        case monitor::LineActivity::Kind::PageExchange:
            return QStringLiteral("busy: a parameter block is being written");
        case monitor::LineActivity::Kind::AlarmLog:
            return QStringLiteral("busy: the alarm log is being read");
        case monitor::LineActivity::Kind::Calibration:
            return QStringLiteral("busy: a calibration is under way");
        case monitor::LineActivity::Kind::Exchange:
            break;
    }
    return QStringLiteral("busy: the operator's exchange with the controller is under way");
}

}  // namespace tarsyn::publish
