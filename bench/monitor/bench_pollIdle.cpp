// CPU use of the program while it polls the virtual controller idle: the real serial port, the real
// one-second timer, clock and sleeper, for TARSYN_IDLE_SECONDS (default 60) of wall time. Reports the
// share of one core used by this process; fails when it reaches 1 %.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include "SimProcess.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/Clock.h"
#include "link/QtSerialPort.h"
#include "monitor/LiveView.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;

namespace {

constexpr double kMaxCpuPercent = 1.0;
bool missedTarget = false;  // read by main for the exit status

// Counts what the cycle shows; an idle window repaints little, so the display costs next to nothing.
class CountingView : public monitor::LiveView {
public:
    void setPanelText(const QString&, const QString&) override { ++writes; }
    void setIndicatorImage(const QString&, int) override { ++writes; }
    void setConnectionImage(int image) override { connection = image; }
    void setMode(const QString&, bool) override {}
    void setEntryTexts(const QString&, const QString&, const QString&) override {}
    void setPortText(const QString&) override {}
    QString remarkText() const override { return {}; }
    long writes = 0;
    int connection = 0;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_IdlePollingCpu(benchmark::State& state) {
    const int seconds = qEnvironmentVariableIsSet("TARSYN_IDLE_SECONDS")
                            ? qEnvironmentVariableIntValue("TARSYN_IDLE_SECONDS")
                            : 60;
    QTemporaryDir dir;
    test::SimProcess sim;
    const QString device = dir.filePath("controller");
    if (!sim.start({"--link", device})) {
        missedTarget = true;
        state.SkipWithError("tarsyn-sim did not start");
        return;
    }
    config::Config config(dir.path());
    config::LiveSettings settings;
    settings.setLanguage("none");
    settings.setRefreshText("6");
    settings.setPorts({{device, "Idle", ""}});
    config::Messages messages(config, settings);
    link::QtSerialPort port;
    link::ThreadSleeper sleeper;
    link::SystemClock clock;
    CountingView view;
    monitor::PollCycle cycle(port, sleeper, clock, settings, messages, view);
    cycle.initialise(true);

    for (auto _ : state) {
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = cpuSeconds();
        cycle.startTimer();
        QTimer::singleShot(seconds * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
        cycle.stopTimer();
        const double cpu = cpuSeconds() - cpuBefore;
        const double percent = 100.0 * cpu / (double(wall.elapsed()) / 1000.0);
        state.counters["cpu_percent"] = percent;
        state.counters["linked"] = view.connection == monitor::kLinkedImage ? 1 : 0;
        state.counters["display_writes"] = double(view.writes);
        if (view.connection != monitor::kLinkedImage) {
            missedTarget = true;
            state.SkipWithError("the simulator was never linked");
        } else if (percent >= kMaxCpuPercent) {
            missedTarget = true;
            state.SkipWithError("idle polling used 1 % of a core or more");
        }
    }
}
BENCHMARK(BM_IdlePollingCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    // The simulator sits beside the program: <build>/bin, the benchmarks in <build>/bench.
    if (qEnvironmentVariableIsEmpty("TARSYN_BIN_DIR"))
        qputenv("TARSYN_BIN_DIR", (QCoreApplication::applicationDirPath() + "/../bin").toLocal8Bit());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // A missed target makes the run fail, so scripts/bench reports it.
    return missedTarget ? 1 : 0;
}
