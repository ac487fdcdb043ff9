#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "remote/CommandKeys.h"

namespace tarsyn::config {
class Config;
class Messages;
}  // namespace tarsyn::config

namespace tarsyn::publish {

/// Where and how the program publishes: system.ini section [Mqtt], outside the checked section Set.
struct MqttSettings {
    QString url;   ///< as written: "mqtt://host:1883" or "mqtts://host:8883"
    QString host;  ///< from the url
    int port = 1883;
    bool tls = false;  ///< "mqtts": TLS, checked against `cafile` (else the system's authorities)
    QString site;      ///< the second level of every topic; default: the host name
    QString user;      ///< empty: no user name is sent
    QString password;  ///< from `passwordFile` or the environment; empty: none
    QString cafile;    ///< full path, or empty
    int interval = 0;  ///< seconds between state messages of one controller; 0: the refresh time
    bool discovery = false;
    bool commands = false;
    /// With `commands`: the keys of the clients that may send them (`commandKeys`, a file of mode 0600
    /// or 0400 with one `client key` line each).
    remote::CommandKeys commandKeys;
    /// `commandsInsecure=1`: commands over a link without TLS, a CA or a user and password, for a lab
    /// only; the strip and the service's log say so as long as it runs.
    bool commandsInsecure = false;
};

/// What reading [Mqtt] gave: nothing (no section: nothing connects, nothing listens), settings, or a
/// refusal naming the key and what it may hold (then nothing connects either).
struct MqttSettingsLoad {
    bool present = false;
    std::optional<MqttSettings> settings;
    QString error;
};

/// The environment variable that holds the broker's password when no `passwordFile` is named.
inline constexpr char kPasswordVariable[] = "TARSYN_MQTT_PASSWORD";

/// Reads [Mqtt] of system.ini. `hostName` is the default site; `environment` looks up a variable (the
/// process environment unless a test gives its own). The password file (a full path, or a name in the
/// data folder) is refused unless its mode is 0600 or 0400: a password others may read is no secret.
/// `commands=1` is refused without a keys file, and unless the link is protected (`mqtts://` with a
/// `cafile`, a user and a password) or `commandsInsecure=1` says it need not be. Texts
/// come from the catalogue in effect (English when it has none).
MqttSettingsLoad LoadMqttSettings(const config::Config& config, const config::Messages& messages,
                                  const QString& hostName,
                                  const std::function<QString(const char*)>& environment = {});

/// The broker of a url ("mqtt://host:1883", "mqtts://host:8883"): url, host, port and tls set, the
/// rest default; nullopt when it is not such a url.
std::optional<MqttSettings> BrokerFromUrl(const QString& url);

/// A catalogue message with its English text when the catalogue has none (a catalogue's missing key
/// reads "0").
QString MessageOr(const config::Messages& messages, const char* key, const char* english);

/// A remark as one level of a topic: trimmed, with the characters a topic level cannot hold ("/", "+",
/// "#") and blanks made "_". Empty stays empty.
QString TopicLevel(const QString& remark);

}  // namespace tarsyn::publish
