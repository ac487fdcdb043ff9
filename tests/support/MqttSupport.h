#pragma once

#include <mosquitto.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <mutex>

namespace tarsyn::test {

/// The broker that scripts/mqtt-throwaway started, as "mqtt://127.0.0.1:<port>"; empty without one.
inline QString throwawayBrokerUrl() { return qEnvironmentVariable("TARSYN_TEST_MQTT_URL"); }

/// One message a probe heard.
struct HeardMessage {
    QString topic;
    QByteArray payload;
    bool retained = false;
};

/// A subscriber (and sender) of its own on the broker, with libmosquitto's own network thread: what
/// the program publishes is what a dashboard would hear. With a persistent session (`cleanSession`
/// false, a fixed identifier) the broker keeps the QoS 1 messages it missed while away.
class MqttProbe {
public:
    MqttProbe(const QString& url, const QString& clientId, const QStringList& filters,
              bool cleanSession = true)
        : m_filters(filters) {
        mosquitto_lib_init();
        const QUrl u(url);
        m_host = u.host().toUtf8();
        m_port = u.port(1883);
        m_mosq = mosquitto_new(clientId.toUtf8().constData(), cleanSession, this);
        mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
        mosquitto_connect_callback_set(m_mosq, [](mosquitto* m, void* self, int rc) {
            if (rc != 0) return;
            auto* p = static_cast<MqttProbe*>(self);
            for (const QString& f : p->m_filters) mosquitto_subscribe(m, nullptr, f.toUtf8().constData(), 1);
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* self, int, int, const int*) {
            auto* p = static_cast<MqttProbe*>(self);
            std::lock_guard<std::mutex> lock(p->m_mutex);
            ++p->m_subscriptions;
        });
        mosquitto_publish_callback_set(m_mosq, [](mosquitto*, void* self, int mid) {
            auto* p = static_cast<MqttProbe*>(self);
            std::lock_guard<std::mutex> lock(p->m_mutex);
            p->m_acked.append(mid);
        });
        mosquitto_message_callback_set(m_mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* p = static_cast<MqttProbe*>(self);
            std::lock_guard<std::mutex> lock(p->m_mutex);
            p->m_heard.append({QString::fromUtf8(m->topic),
                               QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain});
        });
    }
    ~MqttProbe() {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, true);
        mosquitto_destroy(m_mosq);
    }

    /// A user and password for the broker, before connect().
    void login(const QString& user, const QString& password) {
        mosquitto_username_pw_set(m_mosq, user.toUtf8().constData(), password.toUtf8().constData());
    }
    /// Publishes (QoS 1) and waits (at most `timeoutMs`) until the broker acknowledged it: then the
    /// broker has dealt with it, delivered or (refused by its access list) dropped.
    bool publishAcknowledged(const QString& topic, const QByteArray& payload, bool retain = false,
                             int timeoutMs = 10000) {
        int mid = 0;
        if (mosquitto_publish(m_mosq, &mid, topic.toUtf8().constData(), int(payload.size()),
                              payload.constData(), 1, retain) != MOSQ_ERR_SUCCESS)
            return false;
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_acked.contains(mid)) return true;
            }
            QTest::qWait(10);
        }
        return false;
    }
    /// Connects and waits (at most `timeoutMs`) until every filter is subscribed.
    bool connect(int timeoutMs = 10000) {
        if (mosquitto_connect_async(m_mosq, m_host.constData(), m_port, 30) != MOSQ_ERR_SUCCESS) return false;
        mosquitto_loop_start(m_mosq);
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_subscriptions >= m_filters.size()) return true;
            }
            QTest::qWait(10);
        }
        return false;
    }
    void publish(const QString& topic, const QByteArray& payload, bool retain = false) {
        mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(), int(payload.size()),
                          payload.constData(), 1, retain);
    }
    QList<HeardMessage> heard() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heard;
    }
    /// What was heard on `topic`, oldest first.
    QList<QByteArray> on(const QString& topic) const {
        QList<QByteArray> payloads;
        for (const HeardMessage& m : heard())
            if (m.topic == topic) payloads << m.payload;
        return payloads;
    }
    /// The JSON objects heard on `topic`.
    QList<QJsonObject> json(const QString& topic) const {
        QList<QJsonObject> objects;
        for (const QByteArray& p : on(topic)) objects << QJsonDocument::fromJson(p).object();
        return objects;
    }

private:
    QStringList m_filters;
    QByteArray m_host;
    int m_port = 1883;
    mosquitto* m_mosq = nullptr;
    mutable std::mutex m_mutex;
    QList<HeardMessage> m_heard;
    QList<int> m_acked;
    int m_subscriptions = 0;
};

/// A broker of the test's own (the program named by TARSYN_TEST_MOSQUITTO, which scripts/mqtt-throwaway
/// sets) on a free loopback port, that the test may stop and start again on the same port. Its
/// sessions and queued messages are kept on disk across a stop, as a broker in service keeps them.
class PrivateBroker {
public:
    /// `access`: the lines that say who may connect ("allow_anonymous false\npassword_file …"); by
    /// default anyone may.
    explicit PrivateBroker(QString access = QStringLiteral("allow_anonymous true\n"))
        : m_access(std::move(access)) {}
    ~PrivateBroker() { stop(); }
    static QString program() { return qEnvironmentVariable("TARSYN_TEST_MOSQUITTO"); }

    bool start() {
        if (program().isEmpty() || !m_dir.isValid()) return false;
        for (int attempt = 0; attempt < 8; ++attempt) {
            if (m_port == 0 || attempt > 0) m_port = 20000 + int(QRandomGenerator::global()->bounded(40000));
            if (launch()) return true;
        }
        return false;
    }
    /// Ends the broker as a service stop would (it saves its sessions first).
    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) m_process.kill();
        m_process.waitForFinished(5000);
    }
    /// Starts it again on the same port.
    bool restart() { return launch(); }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(m_port); }

private:
    bool launch() {
        const QString log = m_dir.filePath(QStringLiteral("broker.log"));
        QFile conf(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
        conf.write(QStringLiteral("listener %1 127.0.0.1\n%5persistence true\n"
                                  "persistence_location %2/\nuser %3\nlog_dest file %4\n")
                       .arg(m_port)
                       .arg(m_dir.path(), qEnvironmentVariable("USER", QStringLiteral("root")), log, m_access)
                       .toUtf8());
        conf.close();
        QFile::remove(log);
        m_process.start(program(), {QStringLiteral("-c"), conf.fileName()});
        if (!m_process.waitForStarted(5000)) return false;
        QDeadlineTimer deadline(5000);
        const QByteArray listening = QByteArrayLiteral("listen socket on port ") + QByteArray::number(m_port);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QFile f(log);
            if (f.open(QIODevice::ReadOnly) && f.readAll().contains(listening)) return true;
            QTest::qWait(20);
        }
        stop();
        return false;
    }

    QString m_access;
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

}  // namespace tarsyn::test

/// In a test (or initTestCase) that needs a broker: without TARSYN_TEST_MQTT_URL it is skipped with the
/// words ctest reads as "skipped" ("MQTT broker not tested"), never passing having run nothing; under
/// CI=true it fails.
#define TARSYN_SKIP_WITHOUT_MQTT_BROKER()                                                                   \
    do {                                                                                                    \
        if (tarsyn::test::throwawayBrokerUrl().isEmpty()) {                                                 \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                                        \
                QFAIL(                                                                                      \
                    "TARSYN_TEST_MQTT_URL is not set: in CI the broker suites must run (source "            \
                    "scripts/mqtt-throwaway first)");                                                       \
            QSKIP(                                                                                          \
                "MQTT broker not tested: TARSYN_TEST_MQTT_URL is not set (source scripts/mqtt-throwaway)"); \
        }                                                                                                   \
    } while (false)
