// 100 controllers, each on a line of its own (a station with the simulator's request handler behind
// the fake port, and the awareness a line always has), ticked once a second: 100 readings a second.
// One publisher per line (as the service runs them) sends to the broker named by TARSYN_TEST_MQTT_URL.
// The figure is the polling thread's own CPU time per tick (the median) of the lines whose publisher is
// subscribed against the lines whose publisher is not, half and half in every round so that both see
// the same machine (the publishing threads, the broker and the subscriber share its cores); the tick
// without any publisher is shown for comparison. A
// subscriber stamps each state message as it arrives; its latency is counted from the end of the tick that
// read the reply. Exit code 1 when the tick with publishing costs more than 1.1 times the tick without, or a
// state message is missing.
#include <mosquitto.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "SimPort.h"
#include "aware/Awareness.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/JournalStore.h"
#include "publish/Publisher.h"
#include "station/Station.h"

using namespace tarsyn;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kControllers = 100;
constexpr int kRounds = 32;
constexpr int kRoundMs = 1000;  // the real pace: a round is a second of polling
constexpr double kTargetRatio = 1.1;

double threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e9 + t.tv_nsec;
}

class QuietNotifier : public aware::Notifier {
    void notify(const QString&, const QString&) override {}
};

// One controller on a line of its own.
struct Line {
    explicit Line(int index, config::Config& config, history::JournalStore& journal)
        : remark(QStringLiteral("C%1").arg(index)), messages(config, settings) {
        settings.setLanguage(QStringLiteral("English"));
        settings.setRefreshText(QStringLiteral("1"));
        settings.setPorts({{QStringLiteral("sim"), remark, QString()}});
        sim.port.setPortName(QStringLiteral("sim"));
        awareness = std::make_unique<aware::Awareness>(sim.clock, config, settings, journal, notifier);
        station.subscribe(awareness.get());
        station.poll().initialise(true);
    }
    double tick() {
        sim.clock.advanceSecs(1);
        const double before = threadCpuNs();
        station.poll().tick();
        return threadCpuNs() - before;
    }
    QString remark;
    config::LiveSettings settings;
    config::Messages messages;
    test::SimPort sim;
    test::FakeSleeper sleeper{&sim.clock};
    station::Station station{sim.port, sleeper, sim.clock, settings, messages};
    QuietNotifier notifier;
    std::unique_ptr<aware::Awareness> awareness;
    std::unique_ptr<publish::Publisher> publisher;
};

// A dashboard: the arrival time of every state message, by controller and reading time.
struct Subscriber {
    std::mutex mutex;
    std::vector<std::pair<QByteArray, Steady::time_point>> heard;  // payload, arrival
};

void waitMs(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString url = qEnvironmentVariable("TARSYN_TEST_MQTT_URL");
    if (url.isEmpty()) {
        std::printf(
            "bench_publishTick: not measured, TARSYN_TEST_MQTT_URL is not set (source "
            "scripts/mqtt-throwaway)\n");
        return 0;
    }
    QTemporaryDir dir;
    QFile::copy(QStringLiteral(TARSYN_DATA_DIR "/English.lag"), dir.filePath(QStringLiteral("English.lag")));
    config::Config config(dir.path());
    const QString site = QStringLiteral("bench%1").arg(QCoreApplication::applicationPid());
    config.wrini("system.ini", "Mqtt", "url", url);
    config.wrini("system.ini", "Mqtt", "site", site);
    test::FakeClock journalClock;
    history::JournalStore journal(history::HistoryLocation::sqliteFile(dir.filePath("kalde.db")),
                                  journalClock);
    journal.open();

    std::vector<std::unique_ptr<Line>> lines;
    for (int i = 0; i < kControllers; ++i) lines.push_back(std::make_unique<Line>(i, config, journal));
    // Every line linked before the figures start.
    for (int r = 0; r < 3; ++r)
        for (auto& line : lines) line->tick();

    // The median CPU time of the ticks where `publishing(line, round)`, and of the others (the median:
    // a tick that the machine interrupted says nothing about publishing); every tick's end.
    auto run = [&](const std::function<bool(size_t, qint64)>& publishing,
                   std::vector<std::vector<Steady::time_point>>* tickEnds) {
        std::vector<double> cpu[2];
        for (int r = 0; r < kRounds; ++r) {
            for (size_t i = 0; i < lines.size(); ++i)
                if (lines[i]->publisher) {
                    lines[i]->station.unsubscribe(lines[i]->publisher.get());
                    if (publishing(i, r)) lines[i]->station.subscribe(lines[i]->publisher.get());
                }
            for (size_t i = 0; i < lines.size(); ++i) {
                cpu[publishing(i, r)].push_back(lines[i]->tick());
                if (tickEnds) (*tickEnds)[i].push_back(Steady::now());
            }
            waitMs(kRoundMs);  // the publishers' work, and the rest of the second
        }
        const auto median = [](std::vector<double>& v) {
            if (v.empty()) return 0.0;
            std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
            return v[v.size() / 2];
        };
        return std::pair{median(cpu[0]), median(cpu[1])};
    };
    const double alone = run([](size_t, qint64) { return false; }, nullptr).first;

    // The subscriber, then one publisher per line.
    Subscriber subscriber;
    mosquitto_lib_init();
    const QUrl u(url);
    mosquitto* probe = mosquitto_new(nullptr, true, &subscriber);
    mosquitto_message_callback_set(probe, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto* s = static_cast<Subscriber*>(self);
        std::lock_guard<std::mutex> lock(s->mutex);
        s->heard.emplace_back(QByteArray(static_cast<const char*>(m->payload), m->payloadlen), Steady::now());
    });
    const QByteArray filter = QStringLiteral("tarsyn/%1/+/state").arg(site).toUtf8();
    if (mosquitto_connect(probe, u.host().toUtf8().constData(), u.port(1883), 30) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(probe, nullptr, filter.constData(), 0) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "bench_publishTick: the subscriber cannot reach %s\n", qPrintable(url));
        return 1;
    }
    mosquitto_loop_start(probe);
    const publish::MqttSettings settings =
        *publish::LoadMqttSettings(config, lines.front()->messages, QStringLiteral("bench")).settings;
    for (size_t i = 0; i < lines.size(); ++i) {
        Line& line = *lines[i];
        line.publisher = std::make_unique<publish::Publisher>(
            settings,
            publish::Publisher::Services{line.station, journal, config, line.settings, line.messages,
                                         line.sim.clock},
            publish::OutboxScope{line.remark, {line.remark}, i == 0});
        line.publisher->start();
    }
    QElapsedTimer connecting;
    connecting.start();
    while (connecting.elapsed() < 20000 && !std::all_of(lines.begin(), lines.end(), [](auto& l) {
               return l->publisher->brokerStatus().connected;
           }))
        waitMs(50);
    waitMs(kRoundMs);
    {
        std::lock_guard<std::mutex> lock(subscriber.mutex);
        subscriber.heard.clear();
    }
    std::vector<std::vector<Steady::time_point>> tickEnds(lines.size());
    std::vector<QDateTime> firstTime;
    for (auto& line : lines) firstTime.push_back(line->sim.clock.now().addSecs(1));
    // In every round half the lines publish and half do not, so that both halves see the same machine
    // (the publishing threads, the broker and the subscriber at work beside the poll); the halves swap
    // every two rounds, as a line's ticks read the delay and the live block in turn.
    const auto publishingTick = [](size_t line, qint64 r) { return (qint64(line) + r / 2) % 2 == 0; };
    const auto [without, with] = run(publishingTick, &tickEnds);
    waitMs(1000);  // the last round's messages
    mosquitto_disconnect(probe);
    mosquitto_loop_stop(probe, true);

    // Each state message by its controller and its reading's time (one tick a fake second).
    std::vector<double> latencies;
    int missing = 0;
    {
        std::lock_guard<std::mutex> lock(subscriber.mutex);
        QHash<QString, int> index;
        for (size_t i = 0; i < lines.size(); ++i) index.insert(lines[i]->remark, int(i));
        for (const auto& [payload, arrived] : subscriber.heard) {
            const QJsonObject state = QJsonDocument::fromJson(payload).object();
            const int i = index.value(state.value("controller").toString(), -1);
            if (i < 0) continue;
            const QDateTime time = QDateTime::fromString(state.value("time").toString(), Qt::ISODate);
            const qint64 round = firstTime[size_t(i)].secsTo(time);
            if (round < 0 || round >= kRounds || !publishingTick(size_t(i), round)) continue;
            latencies.push_back(
                std::chrono::duration<double, std::milli>(arrived - tickEnds[size_t(i)][size_t(round)])
                    .count());
        }
        int expected = 0;
        for (int r = 0; r < kRounds; ++r)
            for (size_t l = 0; l < lines.size(); ++l) expected += publishingTick(l, r);
        missing = expected - int(latencies.size());
    }
    for (auto& line : lines) line->publisher->stop();
    std::sort(latencies.begin(), latencies.end());
    const auto percentile = [&](double p) {
        return latencies.empty() ? -1.0
                                 : latencies[std::min(latencies.size() - 1, size_t(p * latencies.size()))];
    };
    const double ratio = with / without;
    std::printf("tick without publishers at all: %.1f us CPU\n", alone / 1000);
    std::printf("tick without publishing:        %.1f us CPU (the other half of the lines)\n",
                without / 1000);
    std::printf("tick with publishing:           %.1f us CPU (%.3f times; target at most %.1f)\n",
                with / 1000, ratio, kTargetRatio);
    std::printf(
        "reply to state message at a subscriber: median %.2f ms, 99th percentile %.2f ms (%zu messages, %d "
        "missing)\n",
        percentile(0.5), percentile(0.99), latencies.size(), missing);
    return ratio <= kTargetRatio && missing == 0 ? 0 : 1;
}
