#pragma once

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <memory>

#include "MqttSupport.h"
#include "SimPort.h"
#include "aware/Awareness.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/JournalStore.h"
#include "link/Codec.h"
#include "publish/Publisher.h"
#include "remote/SignedCommand.h"
#include "station/Station.h"

namespace tarsyn::test {

/// One line to the simulator in-process, polled by a station whose awareness journals alarm edges to
/// the line's journal (kalde.db in a data folder of its own), and a publisher to the broker at `url`
/// under a site of the test's own (so that retained messages of other tests do not show). With
/// `commands`, the link is the throwaway broker's plain mqtt:// on loopback, so commandsInsecure=1 is
/// set, and the keys file (mode 0600) knows the clients "hq" and "desk" (kHqKey, kDeskKey).
inline const QByteArray kHqKey = QByteArrayLiteral("hq-secret-4f1c");
inline const QByteArray kDeskKey = QByteArrayLiteral("desk-secret-9a07");
struct PublishRig {
    class QuietNotifier : public aware::Notifier {
        void notify(const QString&, const QString&) override {}
    };

    explicit PublishRig(const QString& url, const QString& siteName = QString(), bool commands = false,
                        const QString& dataDir = QString())
        : site(siteName.isEmpty() ? QStringLiteral("t%1").arg(QRandomGenerator::global()->generate())
                                  : siteName),
          folder(dataDir.isEmpty() ? own.path() : dataDir) {
        QFile::copy(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/English.lag"),
                    QDir(folder).filePath(QStringLiteral("English.lag")));
        settings.setLanguage(QStringLiteral("English"));
        settings.setRefreshText(QStringLiteral("1"));
        settings.setPorts({{QStringLiteral("sim0"), QStringLiteral(" Genset 1 "), QStringLiteral("yard")}});
        sim.port.setPortName(QStringLiteral("sim0"));
        config.wrini("system.ini", "Mqtt", "url", url);
        config.wrini("system.ini", "Mqtt", "site", site);
        config.wrini("system.ini", "Mqtt", "commands", commands ? "1" : "0");
        if (commands) {
            config.wrini("system.ini", "Mqtt", "commandsInsecure", "1");
            QFile keys(QDir(folder).filePath(QStringLiteral("command.keys")));
            if (keys.open(QIODevice::WriteOnly | QIODevice::Truncate))
                keys.write("# client key\nhq " + kHqKey + "\ndesk " + kDeskKey + "\n");
            keys.close();
            keys.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            config.wrini("system.ini", "Mqtt", "commandKeys", "command.keys");
        }
        journal.open();
        station.subscribe(&awareness);
    }
    ~PublishRig() {
        if (publisher) publisher->stop();
        station.unsubscribe(&awareness);
    }

    /// Reads [Mqtt] and starts publishing; false (with the reason) when the settings are refused.
    bool startPublishing() {
        const publish::MqttSettingsLoad load =
            publish::LoadMqttSettings(config, messages, QStringLiteral("unused"));
        if (!load.settings) {
            qWarning("%s", qPrintable(load.error));
            return false;
        }
        publisher = std::make_unique<publish::Publisher>(
            *load.settings,
            publish::Publisher::Services{station, journal, config, settings, messages, sim.clock});
        publisher->start();
        return true;
    }
    /// The first requests: open, delay block, live block; linked from then on.
    void startPolling() {
        station.poll().initialise(true);
        for (int i = 0; i < 3; ++i) tick();
    }
    void tick() {
        sim.clock.advanceSecs(1);
        station.poll().tick();
    }
    QString topic(const QString& leaf) const { return QStringLiteral("tarsyn/%1/%2").arg(site, leaf); }
    /// A command signed as a sender would sign it, at the simulator's clock moved by `offsetSecs`.
    QByteArray signedCommand(const QString& word, const QString& id,
                             const QString& client = QStringLiteral("hq"), const QByteArray& key = kHqKey,
                             int offsetSecs = 0,
                             const QString& controller = QStringLiteral("Genset_1")) const {
        remote::SignedCommand c;
        c.command = word;
        c.controller = controller;
        c.time = sim.clock.now().addSecs(offsetSecs).toUTC().toString(Qt::ISODate);
        c.id = id;
        c.client = client;
        c.sig = remote::Signature(c, key);
        return remote::CommandJson(c);
    }

    QString site;
    QTemporaryDir own;
    QString folder;
    config::Config config{folder};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    SimPort sim;
    FakeSleeper sleeper{&sim.clock};
    station::Station station{sim.port, sleeper, sim.clock, settings, messages};
    history::JournalStore journal{history::HistoryLocation::sqliteFile(QDir(folder).filePath("kalde.db")),
                                  sim.clock};
    QuietNotifier notifier;
    aware::Awareness awareness{sim.clock, config, settings, journal, notifier};
    std::unique_ptr<publish::Publisher> publisher;
};

}  // namespace tarsyn::test
