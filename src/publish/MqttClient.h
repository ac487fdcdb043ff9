#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "publish/MqttSettings.h"

struct mosquitto;
struct mosquitto_message;

namespace tarsyn::publish {

/// One connection to the broker through libmosquitto, whose network loop runs on a thread of its own:
/// connecting, reading, writing and every wait for the broker happen there, never on the caller's thread.
/// A dropped or refused connection is tried again after 1 s, then 2, 4… up to a minute, until stop().
/// The will (`willTopic`, `willPayload`, retained) is left with the broker at every connection; a client
/// with an empty `willTopic` (one that only listens) leaves none.
///
/// The handlers are called on the network thread; whoever gives them passes the news on to its own
/// thread. publish() and subscribe() may be called from any thread.
class MqttClient {
public:
    struct Handlers {
        std::function<void()> connected;                  ///< the broker accepted the connection
        std::function<void(const QString& reason)> lost;  ///< a connection or an attempt failed
        std::function<void(int messageId)> acknowledged;  ///< a QoS 1 message reached the broker
        /// A message of a subscription; `retained` when the broker kept it and delivers it as old news.
        std::function<void(const QByteArray& topic, const QByteArray& payload, bool retained)> message;
        std::function<void()> subscribed;  ///< the broker took a subscription
    };
    static constexpr int kFirstRetrySeconds = 1;
    static constexpr int kLastRetrySeconds = 60;
    static constexpr int kKeepAliveSeconds = 30;
    static constexpr int kLoopMs = 1000;

    MqttClient(const MqttSettings& settings, const QString& clientId, const QByteArray& willTopic,
               const QByteArray& willPayload, Handlers handlers);
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    /// Starts the network thread, which connects. False (with the reason) when libmosquitto refuses
    /// the settings themselves (a TLS authority file it cannot use).
    bool start(QString* reason = nullptr);
    /// Publishes `lastPayload` on `lastTopic` (retained) when connected, disconnects cleanly (the
    /// broker then keeps the will to itself) and ends the network thread. Waits at most `waitMs` for
    /// the message to go out.
    void stop(const QByteArray& lastTopic = {}, const QByteArray& lastPayload = {}, int waitMs = 2000);

    /// Queues a message; its id (for acknowledged()) or -1 when it could not be queued (not connected).
    int publish(const QByteArray& topic, const QByteArray& payload, int qos, bool retain);
    /// Subscribes; false when not connected. With `retainAsPublished` a message published retained
    /// while this client listens still comes with its retain flag (MQTT 5), not only the one kept for
    /// a new subscription.
    bool subscribe(const QByteArray& topic, int qos, bool retainAsPublished = false);
    bool connected() const { return m_connected.load(); }

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    void run();
    bool waitBeforeRetry(int seconds);

    const MqttSettings m_settings;
    const QByteArray m_clientId, m_willTopic, m_willPayload;
    Handlers m_handlers;
    mosquitto* m_mosq = nullptr;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_connected{false};
    std::atomic<int> m_retrySeconds{kFirstRetrySeconds};
    QString m_refusal;  // the broker's answer to the last refused connection (network thread)
    int m_stopWaitMs = 2000;
};

}  // namespace tarsyn::publish
