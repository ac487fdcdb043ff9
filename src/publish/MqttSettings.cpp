#include "publish/MqttSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "config/Config.h"
#include "config/LiveSettings.h"

namespace tarsyn::publish {

namespace {

const QString kSystemIni = QStringLiteral("system.ini");
const QString kSection = QStringLiteral("Mqtt");
constexpr int kMaxInterval = 3600;
constexpr int kMaxSiteLength = 64;

// A switch: missing or empty is off, "0" off, "1" on; anything else is refused.
std::optional<bool> readSwitch(const config::IniSection& section, const QString& key) {
    const QString v = section.value(key, QString()).trimmed();
    if (v.isEmpty() || v == QLatin1String("0")) return false;
    if (v == QLatin1String("1")) return true;
    return std::nullopt;
}

}  // namespace

QString MessageOr(const config::Messages& messages, const char* key, const char* english) {
    const QString text = messages.text(QLatin1String(key));
    return text.isEmpty() || text == QLatin1String("0") ? QString::fromUtf8(english) : text;
}

QString TopicLevel(const QString& remark) {
    QString level = remark.trimmed();
    for (QChar& c : level)
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c.isSpace() ||
            c.unicode() < 0x20)
            c = QLatin1Char('_');
    return level;
}

std::optional<MqttSettings> BrokerFromUrl(const QString& text) {
    MqttSettings s;
    s.url = text;
    const QUrl url(s.url, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    s.tls = scheme == QLatin1String("mqtts");
    s.host = url.host();
    s.port = url.port(s.tls ? 8883 : 1883);
    // QUrl takes a port up to 65535 only: a larger one leaves the url invalid.
    if (s.url.isEmpty() || !url.isValid() || (scheme != QLatin1String("mqtt") && !s.tls) ||
        s.host.isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/")) || s.port < 1)
        return std::nullopt;
    return s;
}

MqttSettingsLoad LoadMqttSettings(const config::Config& config, const config::Messages& messages,
                                  const QString& hostName,
                                  const std::function<QString(const char*)>& environment) {
    MqttSettingsLoad load;
    const config::IniSection section = config.readSection(kSystemIni, kSection);
    if (section.size() == 0) return load;
    load.present = true;
    auto refuse = [&load](const QString& text) {
        load.error = text;
        return load;
    };
    MqttSettings s;

    const QString urlText = section.value(QStringLiteral("url"), QString()).trimmed();
    const std::optional<MqttSettings> broker = BrokerFromUrl(urlText);
    if (broker) s = *broker;
    if (!broker)
        return refuse(MessageOr(messages, "mqttbadurl",
                                "[Mqtt] url \"%1\" is not understood: write mqtt://host:1883 or "
                                "mqtts://host:8883 (port 1 to 65535)")
                          .arg(urlText));

    s.site = section.value(QStringLiteral("site"), QString()).trimmed();
    if (s.site.isEmpty()) s.site = TopicLevel(hostName);
    if (s.site.isEmpty() || s.site.size() > kMaxSiteLength || TopicLevel(s.site) != s.site)
        return refuse(MessageOr(messages, "mqttbadsite",
                                "[Mqtt] site \"%1\" cannot be a level of a topic: 1 to 64 characters, "
                                "no blank, \"/\", \"+\" or \"#\"")
                          .arg(s.site));

    const QString interval = section.value(QStringLiteral("interval"), QString()).trimmed();
    if (!interval.isEmpty()) {
        bool ok = false;
        s.interval = interval.toInt(&ok);
        if (!ok || s.interval < 1 || s.interval > kMaxInterval)
            return refuse(MessageOr(messages, "mqttbadinterval",
                                    "[Mqtt] interval \"%1\" is not understood: whole seconds from 1 to "
                                    "3600 (leave it out for the refresh time)")
                              .arg(interval));
    }
    for (const auto& [key, flag] : {std::pair{"discovery", &s.discovery}, std::pair{"commands", &s.commands},
                                    std::pair{"commandsInsecure", &s.commandsInsecure}}) {
        const std::optional<bool> on = readSwitch(section, QLatin1String(key));
        if (!on)
            return refuse(MessageOr(messages, "mqttbadswitch", "[Mqtt] %1 \"%2\" is not understood: 0 or 1")
                              .arg(QLatin1String(key), section.value(QLatin1String(key), QString())));
        *flag = *on;
    }

    s.user = section.value(QStringLiteral("user"), QString()).trimmed();
    const auto inDataFolder = [&config](const QString& name) {
        return QDir::isAbsolutePath(name) ? name : QDir(config.dataDir()).filePath(name);
    };
    const QString passwordFile = section.value(QStringLiteral("passwordFile"), QString()).trimmed();
    if (!passwordFile.isEmpty()) {
        const QString path = inDataFolder(passwordFile);
        int mode = 0;
        if (!remote::OwnerOnlyFile(path, &mode)) {
            if (mode < 0)
                return refuse(MessageOr(messages, "mqttpwread", "[Mqtt] passwordFile %1 cannot be read")
                                  .arg(QDir::toNativeSeparators(path)));
            return refuse(MessageOr(messages, "mqttpwmode",
                                    "[Mqtt] passwordFile %1 has mode %2: it must be 0600 or 0400 (readable "
                                    "by its owner only; chmod 600 %1). Nothing connects until then")
                              .arg(QDir::toNativeSeparators(path))
                              .arg(mode, 4, 8, QLatin1Char('0')));
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return refuse(MessageOr(messages, "mqttpwread", "[Mqtt] passwordFile %1 cannot be read")
                              .arg(QDir::toNativeSeparators(path)));
        // The first line is the password; the line end is not part of it.
        s.password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    } else {
        s.password = environment ? environment(kPasswordVariable) : qEnvironmentVariable(kPasswordVariable);
    }

    const QString cafile = section.value(QStringLiteral("cafile"), QString()).trimmed();
    if (!cafile.isEmpty()) {
        s.cafile = inDataFolder(cafile);
        if (!QFileInfo(s.cafile).isReadable())
            return refuse(MessageOr(messages, "mqttcafile", "[Mqtt] cafile %1 cannot be read")
                              .arg(QDir::toNativeSeparators(s.cafile)));
    }

    if (s.commands) {
        // A command acts on an engine: only over a link nobody can read or write into.
        if (!s.commandsInsecure && (!s.tls || s.cafile.isEmpty() || s.user.isEmpty() || s.password.isEmpty()))
            return refuse(
                MessageOr(messages, "mqttcmdlink",
                          "[Mqtt] commands=1 needs a protected link: url mqtts://, a cafile, a user "
                          "and a password (commandsInsecure=1 for a lab only). Nothing connects "
                          "until then"));
        const QString keysFile = section.value(QStringLiteral("commandKeys"), QString()).trimmed();
        const QString path = inDataFolder(keysFile);
        const remote::CommandKeysLoad keys =
            keysFile.isEmpty() ? remote::CommandKeysLoad{} : remote::LoadCommandKeys(path);
        if (keysFile.isEmpty() || keys.problem == remote::KeysProblem::Unreadable)
            return refuse(MessageOr(messages, "mqttkeysread",
                                    "[Mqtt] commands=1 needs commandKeys, a file of \"client key\" lines: "
                                    "\"%1\" cannot be read")
                              .arg(QDir::toNativeSeparators(keysFile.isEmpty() ? keysFile : path)));
        if (keys.problem == remote::KeysProblem::Mode)
            return refuse(MessageOr(messages, "mqttkeysmode",
                                    "[Mqtt] commandKeys %1 has mode %2: it must be 0600 or 0400 (readable by "
                                    "its owner only; chmod 600 %1). Nothing connects until then")
                              .arg(QDir::toNativeSeparators(path))
                              .arg(keys.mode, 4, 8, QLatin1Char('0')));
        if (keys.problem == remote::KeysProblem::Empty)
            return refuse(
                MessageOr(messages, "mqttkeysempty",
                          "[Mqtt] commandKeys %1 has no \"client key\" line: no client could send a "
                          "command")
                    .arg(QDir::toNativeSeparators(path)));
        if (!keys.keys)
            return refuse(MessageOr(messages, "mqttkeysline",
                                    "[Mqtt] commandKeys %1: line %2 is not \"client key\" (one line per "
                                    "client, each client once)")
                              .arg(QDir::toNativeSeparators(path))
                              .arg(keys.line));
        s.commandKeys = *keys.keys;
    }
    load.settings = s;
    return load;
}

}  // namespace tarsyn::publish
