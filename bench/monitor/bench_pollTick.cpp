// One tick of the poll cycle that reads a live reply, decodes it and shows it: into a bare view,
// and into the real main window (offscreen).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <memory>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "LatestView.h"
#include "Replies.h"
#include "app/MainWindow.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "monitor/LiveMap.h"
#include "monitor/PollCycle.h"
#include "widgets/WidgetPrompter.h"

using namespace tarsyn;

namespace {

QString sampleLiveReply(int variant = 0) {
    QByteArray data(48, '\0');
    for (int i = 0; i < 48; ++i) data[i] = char(0x11 * ((i + variant) % 15));
    return test::blockReply(data);
}

QString sampleDelayReply() { return test::blockReply(QByteArray(22, char(5))); }

// A controller that answers every request at once, with readings that change from one live reply to
// the next (so the window really repaints); the cycle reads each answer one tick later.
void answerEverything(test::FakeSerialPort& port) {
    const QString live[2] = {sampleLiveReply(0), sampleLiveReply(1)};
    const QString delay = sampleDelayReply();
    port.onWrite = [&port, live, delay, n = 0](const QString& request) mutable {
        port.arrive(request.startsWith(QLatin1String("000400060030")) ? live[n++ % 2] : delay);
    };
}

struct Settings {
    Settings() {
        QFile ini(dir.filePath("system.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Set]\r\nPorts=1\r\nPort0=COM1\r\n");
        ini.close();
        settings.setLanguage("none");
        settings.setRefreshText("3600");
        settings.setPorts({{"COM1", "Bench", ""}});
    }
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
};

void BM_DecodeLiveReply(benchmark::State& state) {
    const QString reply = sampleLiveReply();
    bench::LatestView view;
    for (auto _ : state) monitor::LiveDecoder::displayLive(reply, view);
}
BENCHMARK(BM_DecodeLiveReply);

// Two ticks per iteration: one reads the live reply, one the delay reply.
void BM_PollTicksBareView(benchmark::State& state) {
    Settings s;
    test::FakeClock clock;
    test::FakeSleeper sleeper;
    test::FakeSerialPort port;
    answerEverything(port);
    bench::LatestView view;
    monitor::PollCycle cycle(port, sleeper, clock, s.settings, s.messages, view);
    cycle.initialise(true);
    cycle.tick();
    for (auto _ : state) {
        cycle.tick();
        cycle.tick();
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_PollTicksBareView);

void BM_PollTicksMainWindow(benchmark::State& state) {
    Settings s;
    test::FakeClock clock;
    test::FakeSleeper sleeper;
    test::FakeSerialPort port;
    answerEverything(port);
    widgets::WidgetPrompter prompter;
    app::MainWindow window(s.config, s.settings, s.messages, port, sleeper, clock, prompter);
    window.poll().stopTimer();
    window.show();
    window.poll().tick();
    if (window.poll().PortIndex() != 0) state.SkipWithError("the window did not take the configured port");
    for (auto _ : state) {
        window.poll().tick();
        window.poll().tick();
        QCoreApplication::processEvents();  // the repaint the new values cause
    }
    if (window.connectionImage() != monitor::kLinkedImage) state.SkipWithError("the replies were not shown");
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_PollTicksMainWindow);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
