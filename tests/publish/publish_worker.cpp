// The program as far as publishing goes, in a process of its own that a test may kill: a journal on
// <data folder>/kalde.db, a publisher from the folder's system.ini [Mqtt], <count> logins journalled
// with the detail "<tag>-<n>", then "flushed" on a line of its own once all of them reached the broker
// and the cursor is stored; then it waits to be killed.
//
// Usage: publish_worker <data folder> <tag> <count>
#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/JournalStore.h"
#include "link/Clock.h"
#include "publish/Publisher.h"
#include "station/Station.h"

using namespace tarsyn;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: publish_worker <data folder> <tag> <count>\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]), tag = QString::fromLocal8Bit(argv[2]);
    const int count = QByteArray(argv[3]).toInt();
    config::Config config(dir);
    config::LiveSettings settings;
    settings.setLanguage(QStringLiteral("English"));
    config::Messages messages(config, settings);
    link::SystemClock clock;
    test::FakeSerialPort port;
    test::FakeSleeper sleeper;
    station::Station station(port, sleeper, clock, settings, messages);
    history::JournalStore journal(history::HistoryLocation::sqliteFile(QDir(dir).filePath("kalde.db")),
                                  clock);
    if (!journal.open()) {
        std::fprintf(stderr, "journal: %s\n", qPrintable(journal.lastError()));
        return 1;
    }
    const publish::MqttSettingsLoad load =
        publish::LoadMqttSettings(config, messages, QStringLiteral("worker"));
    if (!load.settings) {
        std::fprintf(stderr, "%s\n", qPrintable(load.error));
        return 1;
    }
    publish::Publisher publisher(*load.settings, {station, journal, config, settings, messages, clock});
    publisher.start();
    for (int n = 0; n < count; ++n)
        journal.record(history::JournalKind::LoginSucceeded, QString(),
                       QStringLiteral("%1-%2").arg(tag).arg(n));
    if (!publisher.flush(20000)) {
        std::fprintf(stderr, "not flushed: %s\n", qPrintable(publisher.brokerStatusText()));
        return 1;
    }
    std::printf("flushed\n");
    std::fflush(stdout);
    return app.exec();
}
