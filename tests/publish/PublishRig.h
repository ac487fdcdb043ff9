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
#include "station/Station.h"

namespace tarsyn::test {

/// One line to the simulator in-process, polled by a station whose awareness journals alarm edges to
/// the line's journal (kalde.db in a data folder of its own), and a publisher to the broker at `url`
/// under a site of the test's own (so that retained messages of other tests do not show).
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
