// An alarm storm with and without the event journal: every live reply flips all nine alarm bits
// (nine edges), and with the journal the rest of 100 events a second are journalled as operator
// actions, 6,000 events a minute each in its own transaction; without it the same edges go nowhere.
// One iteration is one minute of polling: 60 ticks (30 live and 30 delay replies), with the recorder
// recording every live reply (cadence 0, its heaviest setting) or at the shipped cadences (60 s and
// 1 min). The ticks go into a bare view (the cycle's own cost) and into the real main window offscreen
// (what the program's tick costs). The database is a file in the build folder (a real disk, as
// kalde.db is). The time is the ticks' own, each from its start to its end, with every journal call of
// that second in it; between ticks the writer thread catches up untimed, as it does in the rest of a
// real second. Real time includes the writer thread where the machine has no core to spare for it.
// Target: the tick with the journal below 2x without it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "LatestView.h"
#include "Replies.h"
#include "app/MainWindow.h"
#include "aware/Awareness.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/JournalStore.h"
#include "monitor/LiveView.h"
#include "monitor/PollCycle.h"
#include "widgets/WidgetPrompter.h"

using namespace tarsyn;

namespace {

constexpr int kTicksPerMinute = 60;
constexpr int kEventsPerSecond = 100;

struct NoNotifier : aware::Notifier {
    int count = 0;
    void notify(const QString&, const QString&) override { ++count; }
};

/// Forwards to the journal (or nowhere) and counts what the alarm edges journalled.
struct CountingJournal : history::Journal {
    history::Journal* target = nullptr;
    int count = 0;
    void record(history::JournalKind kind, const QString& controller, const QString& detail) override {
        ++count;
        if (target) target->record(kind, controller, detail);
    }
};

/// One program's worth of polling: port, cycle, recorder, awareness, and the journal when it is on.
struct Rig {
    Rig(bool journalOn, bool everyReply, bool mainWindow)
        : dir(QDir::currentPath() + QStringLiteral("/journal-bench-XXXXXX")) {
        QFile::copy(QStringLiteral(TARSYN_SOURCE_DIR "/data/English.lag"), dir.filePath("English.lag"));
        settings.setLanguage(QStringLiteral("English"));
        settings.setRefreshText(QStringLiteral("3600"));
        settings.setPorts({{QStringLiteral("COM1"), QStringLiteral("Bench set"), QString()}});
        const history::HistoryLocation location =
            history::HistoryLocation::sqliteFile(dir.filePath("kalde.db"));
        store = std::make_unique<history::HistoryStore>(location);
        if (!store->connect()) qFatal("%s", qPrintable(store->lastError()));
        const QString day = everyReply ? QStringLiteral("0") : QStringLiteral("1");
        const QString hour = everyReply ? QStringLiteral("0") : QStringLiteral("60");
        recorder = std::make_unique<history::HistoryRecorder>(
            *store, clock, [day] { return day; }, [hour] { return hour; },
            [](const QString& m) { qFatal("%s", qPrintable(m)); });
        journal = std::make_unique<history::JournalStore>(location, clock, nullptr, store->writeTurns());
        if (!journal->open()) qFatal("%s", qPrintable(journal->lastError()));
        if (journalOn) counting.target = journal.get();
        awareness = std::make_unique<aware::Awareness>(clock, config, settings, counting, notifier);
        awareness->setNext(recorder.get());
        if (mainWindow) {
            config.wrini(QStringLiteral("system.ini"), QStringLiteral("Set"), QStringLiteral("Ports"),
                         QStringLiteral("1"));
            window =
                std::make_unique<app::MainWindow>(config, settings, messages, port, sleeper, clock, prompter);
            window->poll().stopTimer();
            window->show();
            awareness->setStatusView(window.get());
        } else {
            ownCycle = std::make_unique<monitor::PollCycle>(port, sleeper, clock, settings, messages, view);
        }
        cycle = mainWindow ? &window->poll() : ownCycle.get();
        // The storm flips every alarm bit at each live reply, with or without the journal.
        port.onWrite = [this, journalOn, n = 0](const QString& request) mutable {
            if (!request.startsWith(QLatin1String("000400060030"))) {
                port.arrive(test::blockReply(QByteArray(22, char(5))));
                return;
            }
            QByteArray data(48, char(0x12));
            data[0x1A - 0x06] = char((n % 2) ? 0xFF : 0x00);
            data[0x1B - 0x06] = char((n % 2) ? 0x40 : 0x00);
            ++n;
            port.arrive(test::blockReply(data));
        };
        cycle->setHistorySink(awareness.get());
        cycle->initialise(true);
        tick(false);
    }

    void tick(bool journalOn) {
        clock.advanceSecs(1);
        cycle->tick();
        awareness->afterTickOf(*cycle);
        if (window) QCoreApplication::processEvents();  // the repaint the new values cause
        if (!journalOn) return;
        // What the alarm edges of this second did not make up, other parts of the program journal.
        const int fromEdges = counting.count;
        counting.count = 0;
        for (int i = fromEdges; i < kEventsPerSecond; ++i)
            journal->record(history::JournalKind::CommandSent, controller, details[i]);
    }

    QTemporaryDir dir;
    // What the other parts of the program journal: texts they made before, not the journal's cost.
    const QString controller = QStringLiteral("Bench set");
    const QStringList details = [] {
        QStringList list;
        for (int i = 0; i < kEventsPerSecond; ++i) list << QStringLiteral("storm event %1").arg(i);
        return list;
    }();
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::FakeClock clock;
    test::FakeSleeper sleeper;
    test::FakeSerialPort port;
    bench::LatestView view{QStringLiteral("Bench set")};
    NoNotifier notifier;
    CountingJournal counting;
    std::unique_ptr<history::HistoryStore> store;
    std::unique_ptr<history::HistoryRecorder> recorder;
    std::unique_ptr<history::JournalStore> journal;
    std::unique_ptr<aware::Awareness> awareness;
    widgets::WidgetPrompter prompter;
    std::unique_ptr<app::MainWindow> window;
    std::unique_ptr<monitor::PollCycle> ownCycle;
    monitor::PollCycle* cycle = nullptr;
};

void runMinute(benchmark::State& state, bool journalOn, bool everyReply, bool mainWindow = false) {
    Rig rig(journalOn, everyReply, mainWindow);
    for (auto _ : state) {
        double seconds = 0;
        for (int t = 0; t < kTicksPerMinute; ++t) {
            const auto start = std::chrono::steady_clock::now();
            rig.tick(journalOn);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            // The rest of the second, not timed: the writer thread writes what is left of this
            // second's events, as it does between real ticks (a hundred inserts take milliseconds).
            // Back to back, the ticks would pile up a backlog that no real second has.
            rig.journal->flush();
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kTicksPerMinute);  // ticks
    state.counters["tick_ms"] = benchmark::Counter(double(state.iterations() * kTicksPerMinute),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TicksRecordingEveryReply(benchmark::State& s) { runMinute(s, false, true); }
void BM_TicksRecordingEveryReplyJournal(benchmark::State& s) { runMinute(s, true, true); }
void BM_TicksShippedCadences(benchmark::State& s) { runMinute(s, false, false); }
void BM_TicksShippedCadencesJournal(benchmark::State& s) { runMinute(s, true, false); }
void BM_WindowShippedCadences(benchmark::State& s) { runMinute(s, false, false, true); }
void BM_WindowShippedCadencesJournal(benchmark::State& s) { runMinute(s, true, false, true); }
void BM_WindowRecordingEveryReply(benchmark::State& s) { runMinute(s, false, true, true); }
void BM_WindowRecordingEveryReplyJournal(benchmark::State& s) { runMinute(s, true, true, true); }
// A minute is long: a few minutes each give steady figures without taking all day.
BENCHMARK(BM_TicksRecordingEveryReply)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_TicksRecordingEveryReplyJournal)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_TicksShippedCadences)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_TicksShippedCadencesJournal)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_WindowRecordingEveryReply)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_WindowRecordingEveryReplyJournal)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_WindowShippedCadences)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_WindowShippedCadencesJournal)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
                times[r.run_name.function_name] = r.GetAdjustedRealTime();
                cpu[r.run_name.function_name] = r.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times, cpu;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* journalOn, const char* quiet) {
        const auto s = reporter.times.find(journalOn), q = reporter.times.find(quiet);
        if (s == reporter.times.end() || q == reporter.times.end() || q->second <= 0) return;
        std::printf("%-36s %5.2fx real, %5.2fx CPU of the poll thread, against %s (target below 2x)\n",
                    journalOn, s->second / q->second, reporter.cpu[journalOn] / reporter.cpu[quiet], quiet);
    };
    ratio("BM_TicksRecordingEveryReplyJournal", "BM_TicksRecordingEveryReply");
    ratio("BM_TicksShippedCadencesJournal", "BM_TicksShippedCadences");
    ratio("BM_WindowRecordingEveryReplyJournal", "BM_WindowRecordingEveryReply");
    ratio("BM_WindowShippedCadencesJournal", "BM_WindowShippedCadences");
    benchmark::Shutdown();
    return 0;
}
