#include "publish/MqttClient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace tarsyn::publish {

namespace {

// libmosquitto's process-wide set-up (its TLS library, its random numbers) must happen once before
// any client exists, and stays for the life of the process.
void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString reasonOf(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

}  // namespace

MqttClient::MqttClient(const MqttSettings& settings, const QString& clientId, const QByteArray& willTopic,
                       const QByteArray& willPayload, Handlers handlers)
    : m_settings(settings),
      m_clientId(clientId.toUtf8()),
      m_willTopic(willTopic),
      m_willPayload(willPayload),
      m_handlers(std::move(handlers)) {
    initialiseLibrary();
}

MqttClient::~MqttClient() {
    stop();
    if (m_mosq) mosquitto_destroy(m_mosq);
}

bool MqttClient::start(QString* reason) {
    auto fail = [reason](const QString& why) {
        if (reason) *reason = why;
        return false;
    };
    if (m_thread.joinable()) return true;
    // A clean session: what the program must not lose waits in the journal, not in the broker.
    m_mosq = mosquitto_new(m_clientId.constData(), true, this);
    if (!m_mosq) return fail(QStringLiteral("libmosquitto: %1").arg(reasonOf(MOSQ_ERR_NOMEM)));
    mosquitto_threaded_set(m_mosq, true);
    // MQTT 5: only there does a subscriber learn that a message was published retained while it was
    // subscribed (retain as published), which a remote command must be refused for.
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    if (!m_settings.user.isEmpty() || !m_settings.password.isEmpty()) {
        const QByteArray user = m_settings.user.toUtf8(), password = m_settings.password.toUtf8();
        mosquitto_username_pw_set(m_mosq, user.isEmpty() ? nullptr : user.constData(),
                                  password.isEmpty() ? nullptr : password.constData());
    }
    if (m_settings.tls) {
        const QByteArray cafile = QFile::encodeName(m_settings.cafile);
        const int rc =
            cafile.isEmpty()
                ? mosquitto_tls_set(m_mosq, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                : mosquitto_tls_set(m_mosq, cafile.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) return fail(QStringLiteral("TLS: %1").arg(reasonOf(rc)));
    }
    // A client that only listens leaves no will.
    if (!m_willTopic.isEmpty())
        mosquitto_will_set(m_mosq, m_willTopic.constData(), int(m_willPayload.size()),
                           m_willPayload.constData(), 1, true);
    mosquitto_connect_callback_set(m_mosq, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttClient::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &MqttClient::onPublish);
    mosquitto_message_callback_set(m_mosq, &MqttClient::onMessage);
    mosquitto_subscribe_callback_set(m_mosq, &MqttClient::onSubscribe);
    m_stop = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void MqttClient::stop(const QByteArray& lastTopic, const QByteArray& lastPayload, int waitMs) {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopWaitMs = waitMs;
        m_stop = true;
    }
    // The last words are queued from here, which also wakes the network loop from its wait.
    if (m_connected && !lastTopic.isEmpty())
        mosquitto_publish(m_mosq, nullptr, lastTopic.constData(), int(lastPayload.size()),
                          lastPayload.constData(), 1, true);
    m_wake.notify_all();
    m_thread.join();
}

int MqttClient::publish(const QByteArray& topic, const QByteArray& payload, int qos, bool retain) {
    if (!m_mosq || !m_connected) return -1;
    int mid = 0;
    const int rc = mosquitto_publish(m_mosq, &mid, topic.constData(), int(payload.size()),
                                     payload.constData(), qos, retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

bool MqttClient::subscribe(const QByteArray& topic, int qos, bool retainAsPublished) {
    if (!m_mosq || !m_connected) return false;
    return mosquitto_subscribe_v5(m_mosq, nullptr, topic.constData(), qos,
                                  retainAsPublished ? MQTT_SUB_OPT_RETAIN_AS_PUBLISHED : 0,
                                  nullptr) == MOSQ_ERR_SUCCESS;
}

bool MqttClient::waitBeforeRetry(int seconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_stop.load(); });
}

void MqttClient::run() {
    const QByteArray host = m_settings.host.toUtf8();
    bool first = true;
    while (!m_stop) {
        m_refusal.clear();
        int rc = first ? mosquitto_connect_async(m_mosq, host.constData(), m_settings.port, kKeepAliveSeconds)
                       : mosquitto_reconnect_async(m_mosq);
        first = false;
        if (rc == MOSQ_ERR_SUCCESS) {
            // A publish from another thread wakes the loop (libmosquitto's own socket pair); the turns
            // are long, so that a hundred idle connections do not wake a machine a thousand times a second.
            while (!m_stop && (rc = mosquitto_loop(m_mosq, kLoopMs, 1)) == MOSQ_ERR_SUCCESS) {
            }
        }
        if (m_stop) break;
        m_connected = false;
        // A refused connection says why in its CONNACK; anything else in the library's words.
        const QString reason = !m_refusal.isEmpty() ? m_refusal : reasonOf(rc);
        if (m_handlers.lost) m_handlers.lost(reason);
        const int wait = m_retrySeconds.load();
        m_retrySeconds = std::min(wait * 2, kLastRetrySeconds);
        if (!waitBeforeRetry(wait)) break;
    }
    // A clean goodbye after the last words stop() queued: DISCONNECT, so the broker keeps the will.
    if (m_connected) {
        mosquitto_disconnect(m_mosq);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_stopWaitMs);
        while (std::chrono::steady_clock::now() < until &&
               mosquitto_loop(m_mosq, 50, 1) == MOSQ_ERR_SUCCESS) {
        }
        m_connected = false;
    }
}

void MqttClient::onConnect(mosquitto*, void* self, int rc) {
    auto* c = static_cast<MqttClient*>(self);
    if (rc != 0) {
        c->m_refusal = QString::fromUtf8(mosquitto_reason_string(rc));
        return;
    }
    c->m_connected = true;
    c->m_retrySeconds = kFirstRetrySeconds;
    if (c->m_handlers.connected) c->m_handlers.connected();
}

void MqttClient::onDisconnect(mosquitto*, void* self, int) {
    static_cast<MqttClient*>(self)->m_connected = false;
}

void MqttClient::onPublish(mosquitto*, void* self, int mid) {
    auto* c = static_cast<MqttClient*>(self);
    if (c->m_handlers.acknowledged) c->m_handlers.acknowledged(mid);
}

void MqttClient::onSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* c = static_cast<MqttClient*>(self);
    if (c->m_handlers.subscribed) c->m_handlers.subscribed();
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* c = static_cast<MqttClient*>(self);
    if (!c->m_handlers.message || !message->topic) return;
    c->m_handlers.message(QByteArray(message->topic),
                          QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
                          message->retain);
}

}  // namespace tarsyn::publish
