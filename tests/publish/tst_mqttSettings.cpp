// The [Mqtt] section of system.ini as the publisher reads it: nothing without it, the defaults, each
// key's refusal naming the key and what it may hold, the password file's mode; and the pieces of the
// messages that do not need a broker (topic levels, times with their offset, an event's texts).
#include <sys/stat.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "config/Config.h"
#include "config/LiveSettings.h"
#include "publish/Messages.h"
#include "publish/MqttSettings.h"

using namespace tarsyn;

namespace {

struct Folder {
    Folder() { settings.setLanguage(QStringLiteral("English")); }
    void set(const QString& key, const QString& value) { config.wrini("system.ini", "Mqtt", key, value); }
    publish::MqttSettingsLoad load(const QString& password = QString()) const {
        return publish::LoadMqttSettings(config, messages, QStringLiteral("pump-house"),
                                         [password](const char*) { return password; });
    }
    QString writePassword(const QString& name, const QByteArray& text, QFile::Permissions mode) const {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write(text);
        f.close();
        f.setPermissions(mode);
        return f.fileName();
    }
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
};

const QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

}  // namespace

class TestMqttSettings : public QObject {
    Q_OBJECT
private slots:
    void withoutTheSectionNothingConnects() {
        Folder f;
        f.config.wrini("system.ini", "Set", "flash", "2");
        const publish::MqttSettingsLoad load = f.load();
        QVERIFY(!load.present);
        QVERIFY(!load.settings);
        QVERIFY(load.error.isEmpty());
    }

    void defaults() {
        Folder f;
        f.set("url", "mqtt://broker.example");
        const publish::MqttSettingsLoad load = f.load(QStringLiteral("from-env"));
        QVERIFY2(load.settings, qPrintable(load.error));
        const publish::MqttSettings& s = *load.settings;
        QCOMPARE(s.host, QStringLiteral("broker.example"));
        QCOMPARE(s.port, 1883);
        QVERIFY(!s.tls);
        QCOMPARE(s.site, QStringLiteral("pump-house"));  // the host name
        QCOMPARE(s.interval, 0);                         // the refresh time
        QVERIFY(!s.discovery);
        QVERIFY(!s.commands);
        QCOMPARE(s.password, QStringLiteral("from-env"));  // no password file: the environment's

        f.set("url", "mqtts://broker.example");
        f.set("site", "north");
        f.set("interval", "30");
        f.set("discovery", "1");
        f.set("commands", "1");
        // Commands need a keys file, and a protected link unless a lab says otherwise.
        f.set("commandsInsecure", "1");
        f.set("commandKeys", f.writePassword("command.keys", "hq k\n", kOwnerOnly));
        const publish::MqttSettingsLoad on = f.load();
        QVERIFY2(on.settings, qPrintable(on.error));
        const publish::MqttSettings t = *on.settings;
        QCOMPARE(t.port, 8883);
        QVERIFY(t.tls);
        QCOMPARE(t.site, QStringLiteral("north"));
        QCOMPARE(t.interval, 30);
        QVERIFY(t.discovery && t.commands);
    }

    void badValuesAreRefusedNamingTheKey_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("says");
        QTest::newRow("url of another scheme") << "url"
                                               << "http://broker:1883"
                                               << "mqtt://host:1883";
        QTest::newRow("url without host") << "url"
                                          << "mqtt://"
                                          << "mqtt://host:1883";
        QTest::newRow("url port too high") << "url"
                                           << "mqtt://broker:70000"
                                           << "port 1 to 65535";
        QTest::newRow("url with a path") << "url"
                                         << "mqtt://broker:1883/x"
                                         << "mqtt://host:1883";
        QTest::newRow("interval 0") << "interval"
                                    << "0"
                                    << "1 to 3600";
        QTest::newRow("interval 3601") << "interval"
                                       << "3601"
                                       << "1 to 3600";
        QTest::newRow("interval words") << "interval"
                                        << "often"
                                        << "1 to 3600";
        QTest::newRow("discovery 2") << "discovery"
                                     << "2"
                                     << "0 or 1";
        QTest::newRow("commands yes") << "commands"
                                      << "yes"
                                      << "0 or 1";
        QTest::newRow("site with a slash") << "site"
                                           << "a/b"
                                           << "\"/\"";
        QTest::newRow("site with a wildcard") << "site"
                                              << "a+"
                                              << "\"+\"";
        QTest::newRow("cafile missing") << "cafile"
                                        << "/nonexistent/ca.pem"
                                        << "cannot be read";
    }
    void badValuesAreRefusedNamingTheKey() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, says);
        Folder f;
        f.set("url", "mqtt://broker:1883");
        f.set(key, value);
        const publish::MqttSettingsLoad load = f.load();
        QVERIFY(load.present);
        QVERIFY(!load.settings);
        QVERIFY2(load.error.contains(QStringLiteral("[Mqtt] ") + key), qPrintable(load.error));
        QVERIFY2(load.error.contains(says), qPrintable(load.error));
    }

    void passwordFileMustBeMode0600() {
        Folder f;
        f.set("url", "mqtt://broker:1883");
        f.set("user", "site7");
        const QString path =
            f.writePassword("broker.pw", "s3cret\n", kOwnerOnly | QFile::ReadGroup | QFile::ReadOther);
        f.set("passwordFile", path);
        const publish::MqttSettingsLoad refused = f.load(QStringLiteral("from-env"));
        QVERIFY(!refused.settings);
        QVERIFY2(
            refused.error.contains(path) && refused.error.contains("0644") && refused.error.contains("0600"),
            qPrintable(refused.error));

        QVERIFY(QFile::setPermissions(path, kOwnerOnly));
        const publish::MqttSettingsLoad accepted = f.load(QStringLiteral("from-env"));
        QVERIFY2(accepted.settings, qPrintable(accepted.error));
        QCOMPARE(accepted.settings->user, QStringLiteral("site7"));
        QCOMPARE(accepted.settings->password,
                 QStringLiteral("s3cret"));  // the file wins, without its line end

        // Read-only for its owner is as secret.
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        const publish::MqttSettingsLoad readOnly = f.load(QStringLiteral("from-env"));
        QVERIFY2(readOnly.settings, qPrintable(readOnly.error));
        QCOMPARE(readOnly.settings->password, QStringLiteral("s3cret"));

        // A name without a folder is a file of the data folder; a missing one is refused by name.
        f.set("passwordFile", "missing.pw");
        const publish::MqttSettingsLoad missing = f.load();
        QVERIFY(missing.error.contains("missing.pw") && missing.error.contains("cannot be read"));
    }

    // commands=1 acts on engines: only over mqtts:// with an authority, a user and a password (or with
    // commandsInsecure=1 for a lab), and only with a keys file nobody else may read.
    void commandsNeedAProtectedLinkAndAKeysFile_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("cafile");
        QTest::addColumn<bool>("login");
        QTest::addColumn<QString>("insecure");
        QTest::addColumn<QString>("keys");  // the keys file's text; empty: no commandKeys
        QTest::addColumn<int>("keysMode");
        QTest::addColumn<QString>("says");  // empty: accepted
        const QString good = QStringLiteral("hq abc123\n# a comment\n\ndesk  d e f\n");
        QTest::newRow("protected") << "mqtts://broker:8883" << true << true << "" << good << 0600 << "";
        QTest::newRow("keys read-only") << "mqtts://broker:8883" << true << true << "" << good << 0400 << "";
        QTest::newRow("plain mqtt") << "mqtt://broker:1883" << true << true << "" << good << 0600
                                    << "needs a protected link: url mqtts://";
        QTest::newRow("no cafile") << "mqtts://broker:8883" << false << true << "" << good << 0600
                                   << "needs a protected link";
        QTest::newRow("no user") << "mqtts://broker:8883" << true << false << "" << good << 0600
                                 << "needs a protected link";
        QTest::newRow("plain mqtt in a lab")
            << "mqtt://broker:1883" << false << false << "1" << good << 0600 << "";
        QTest::newRow("no keys file") << "mqtts://broker:8883" << true << true << ""
                                      << "" << 0600 << "needs commandKeys";
        QTest::newRow("keys others may read") << "mqtts://broker:8883" << true << true << "" << good << 0644
                                              << "has mode 0644: it must be 0600 or 0400";
        QTest::newRow("a key line without key") << "mqtts://broker:8883" << true << true << ""
                                                << "hq abc\ndesk\n"
                                                << 0600 << "line 2 is not \"client key\"";
        QTest::newRow("a client twice") << "mqtts://broker:8883" << true << true << ""
                                        << "hq a\nhq b\n"
                                        << 0600 << "line 2 is not";
        QTest::newRow("only comments") << "mqtts://broker:8883" << true << true << ""
                                       << "# none\n"
                                       << 0600 << "no \"client key\" line";
        QTest::newRow("insecure 2") << "mqtt://broker:1883" << false << false << "2" << good << 0600
                                    << "[Mqtt] commandsInsecure \"2\" is not understood: 0 or 1";
    }
    void commandsNeedAProtectedLinkAndAKeysFile() {
        QFETCH(QString, url);
        QFETCH(bool, cafile);
        QFETCH(bool, login);
        QFETCH(QString, insecure);
        QFETCH(QString, keys);
        QFETCH(int, keysMode);
        QFETCH(QString, says);
        Folder f;
        f.set("url", url);
        f.set("commands", "1");
        if (!insecure.isEmpty()) f.set("commandsInsecure", insecure);
        if (cafile) f.set("cafile", f.writePassword("ca.pem", "-----BEGIN CERTIFICATE-----\n", kOwnerOnly));
        if (login) {
            f.set("user", "hq-site");
            f.set("passwordFile", f.writePassword("broker.pw", "pw\n", kOwnerOnly));
        }
        if (!keys.isEmpty()) {
            const QString path = f.writePassword("command.keys", keys.toUtf8(), kOwnerOnly);
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(keysMode)) == 0);
            f.set("commandKeys", "command.keys");
        }
        const publish::MqttSettingsLoad load = f.load();
        if (says.isEmpty()) {
            QVERIFY2(load.settings, qPrintable(load.error));
            QVERIFY(load.settings->commands);
            QCOMPARE(load.settings->commandKeys.value(QStringLiteral("hq")), QByteArray("abc123"));
            QCOMPARE(load.settings->commandKeys.value(QStringLiteral("desk")), QByteArray("d e f"));
            QCOMPARE(load.settings->commandKeys.size(), 2);
        } else {
            QVERIFY(!load.settings);
            QVERIFY2(load.error.contains(says), qPrintable(load.error));
        }
    }

    void topicLevels_data() {
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QString>("level");
        QTest::newRow("plain") << "Genset1"
                               << "Genset1";
        QTest::newRow("trimmed, blanks") << "  Genset 1 "
                                         << "Genset_1";
        QTest::newRow("wildcards and slash") << "a/b+c#d"
                                             << "a_b_c_d";
        QTest::newRow("Chinese kept") << QString::fromUtf8("一号机组") << QString::fromUtf8("一号机组");
        QTest::newRow("empty") << "   "
                               << "";
    }
    void topicLevels() {
        QFETCH(QString, remark);
        QFETCH(QString, level);
        QCOMPARE(publish::TopicLevel(remark), level);
    }

    void commandTopicsOfTheSiteOnly() {
        const publish::Topics t(QStringLiteral("north"));
        QCOMPARE(t.commandController("tarsyn/north/Genset_1/command"), QStringLiteral("Genset_1"));
        QVERIFY(t.commandController("tarsyn/south/Genset_1/command").isNull());
        QVERIFY(t.commandController("tarsyn/north/Genset_1/command/result").isNull());
        QVERIFY(t.commandController("tarsyn/north/a/b/command").isNull());
        QCOMPARE(t.event(QString()), QByteArray("tarsyn/north/event"));
        QCOMPARE(t.event("G1"), QByteArray("tarsyn/north/G1/event"));
    }

    void timesCarryTheirOffset() {
        const QDate d(2026, 12, 11);
        const QTime t(10, 2, 13);
        QCOMPARE(publish::IsoTime(QDateTime(d, t, Qt::OffsetFromUTC, 3600)),
                 QStringLiteral("2026-12-11T10:02:13+01:00"));
        QCOMPARE(publish::IsoTime(QDateTime(d, t, Qt::OffsetFromUTC, -5 * 3600 - 1800)),
                 QStringLiteral("2026-12-11T10:02:13-05:30"));
        QCOMPARE(publish::IsoTime(QDateTime(d, t, Qt::UTC)), QStringLiteral("2026-12-11T10:02:13+00:00"));
    }

    // An event message keeps the detail as recorded (with the frame) and says the event in the
    // publisher's language and in English, whatever language recorded it.
    void eventsCarryTheirTextInBothLanguages() {
        const config::Config shipped(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data"));
        const config::Catalogue chinese = config::Catalogue::load(shipped, QStringLiteral("Chinese"));
        const config::Catalogue english = config::Catalogue::load(shipped, QStringLiteral("English"));
        history::JournalEvent e;
        e.id = 7;
        e.sj = QStringLiteral("2026-12-11 10:02:13");
        e.controller = QStringLiteral("Genset 1");
        e.kind = history::JournalKind::CommandSent;
        e.detail = QStringLiteral("Start (dport3, 0005100100FF)");
        e.data = QStringLiteral(
            "{\"a\":[{\"d\":\"dport3\",\"t\":\"dport3.Caption\"}],\"fr\":\"0005100100FF\","
            "\"o\":\"dport3\"}");
        QJsonObject o =
            QJsonDocument::fromJson(publish::EventJson(e, QStringLiteral("x"), chinese, english)).object();
        QCOMPARE(o["detail"].toString(), e.detail);
        QCOMPARE(o["detail_local"].toString(), QString::fromUtf8("启动模块"));
        QCOMPARE(o["detail_english"].toString(), QStringLiteral("Start"));
        QCOMPARE(o["language"].toString(), QStringLiteral("Chinese"));
        // A row of an older program: its detail, without the names and the frame, in both.
        e.data.clear();
        e.detail = QString::fromUtf8("zs9 紧急停机");
        e.kind = history::JournalKind::AlarmRaised;
        o = QJsonDocument::fromJson(publish::EventJson(e, QStringLiteral("x"), english, english)).object();
        QCOMPARE(o["detail"].toString(), e.detail);
        QCOMPARE(o["detail_local"].toString(), QString::fromUtf8("紧急停机"));
        QCOMPARE(o["detail_english"].toString(), QString::fromUtf8("紧急停机"));
        QCOMPARE(o["language"].toString(), QStringLiteral("English"));
    }
};

QTEST_GUILESS_MAIN(TestMqttSettings)
#include "tst_mqttSettings.moc"
