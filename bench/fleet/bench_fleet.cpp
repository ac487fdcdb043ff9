// What the fleet overview and the link diagnostics add to a tick of the program: the main window
// drawing the replies of one controller among a hundred in the port list,
//  - with the fleet model subscribed and the fleet window open on a hundred rows (target: at most 1.2
//    times the tick without them), and
//  - through the station's counted line with the diagnostics window closed, against the same cycle on
//    the bare port (target: at most 1.05 times).
// The two ways are timed in turns, each seven times, and the best of each compared, so that a busy
// machine slows both alike. Exit code 1 when a target is missed.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "Replies.h"
#include "app/MainWindow.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "fleet/FleetModel.h"
#include "fleet/ui/FleetWindow.h"
#include "monitor/PollCycle.h"
#include "station/Station.h"
#include "widgets/WidgetPrompter.h"

using namespace tarsyn;

namespace {

constexpr int kControllers = 100;
constexpr int kTickPairs = 150;
constexpr int kTurns = 7;
constexpr double kFleetTarget = 1.2;
constexpr double kMeterTarget = 1.05;

// Answers every request at once, with live readings that change from one reply to the next.
void answerEverything(test::FakeSerialPort& port) {
    QString live[2];
    for (int v = 0; v < 2; ++v) {
        QByteArray data(48, '\0');
        for (int i = 0; i < 48; ++i) data[i] = char(0x11 * ((i + v) % 15));
        live[v] = test::blockReply(data);
    }
    const QString delay = test::blockReply(QByteArray(22, char(5)));
    port.onWrite = [&port, live, delay, n = 0](const QString& request) mutable {
        port.arrive(request.startsWith(QLatin1String("000400060030")) ? live[n++ % 2] : delay);
    };
}

struct Rig {
    Rig() {
        QFile::copy(QStringLiteral(TARSYN_SOURCE_DIR "/data/English.lag"), dir.filePath("English.lag"));
        QFile ini(dir.filePath("system.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Set]\r\nPorts=1\r\n");
        ini.close();
        settings.setLanguage("English");
        settings.setRefreshText("3600");
        QVector<config::PortEntry> ports;
        for (int i = 0; i < kControllers; ++i)
            ports.append(
                {QStringLiteral("COM%1").arg(i + 1), QStringLiteral("Set %1").arg(i + 1), QString()});
        settings.setPorts(ports);
        answerEverything(port);
    }
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::FakeClock clock;
    test::FakeSleeper sleeper;
    test::FakeSerialPort port;
    widgets::WidgetPrompter prompter;
};

// Nanoseconds per tick of `cycle`, its repaint included.
double timeTicks(monitor::PollCycle& cycle, test::FakeClock& clock) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kTickPairs; ++i) {
        clock.advanceSecs(1);
        cycle.tick();
        clock.advanceSecs(1);
        cycle.tick();
        QCoreApplication::processEvents();
    }
    return double(timer.nsecsElapsed()) / (2 * kTickPairs);
}

// The best of kTurns timings of each way, taken in turns.
std::pair<double, double> bestOfTurns(const std::function<double()>& without,
                                      const std::function<double()>& with) {
    double a = 1e300, b = 1e300;
    for (int turn = 0; turn < kTurns; ++turn) {
        a = std::min(a, without());
        b = std::min(b, with());
    }
    return {a, b};
}

bool report(const char* what, std::pair<double, double> times, double target) {
    const double ratio = times.second / times.first;
    std::printf("%s: %.1f us a tick without, %.1f us with, ratio %.3f (target %.2f)\n", what,
                times.first / 1000, times.second / 1000, ratio, target);
    return ratio <= target;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    Rig rig;
    app::MainWindow window(rig.config, rig.settings, rig.messages, rig.port, rig.sleeper, rig.clock,
                           rig.prompter);
    window.poll().stopTimer();
    window.show();
    monitor::PollCycle& counted = window.poll();
    counted.tick();

    // The fleet: a hundred rows, the window open beside the main window.
    fleet::FleetModel model(rig.clock, rig.config, rig.settings);
    fleet::ui::FleetWindow fleetWindow(model, rig.config, rig.settings, rig.messages, rig.prompter);
    const auto fleetTimes = bestOfTurns(
        [&] {
            window.station().unsubscribe(&model);
            fleetWindow.hide();
            QCoreApplication::processEvents();
            return timeTicks(counted, rig.clock);
        },
        [&] {
            window.station().subscribe(&model);
            fleetWindow.show();
            QCoreApplication::processEvents();
            return timeTicks(counted, rig.clock);
        });
    window.station().unsubscribe(&model);
    fleetWindow.hide();
    if (model.rowCount() != kControllers || !model.row(0).lastReading.isValid()) {
        std::fprintf(stderr, "the fleet model did not take the readings\n");
        return 1;
    }

    // The same cycle on the bare port, drawing into the same window.
    monitor::PollCycle bare(rig.port, rig.sleeper, rig.clock, rig.settings, rig.messages, window);
    bare.initialise(true);
    bare.tick();
    const auto meterTimes = bestOfTurns([&] { return timeTicks(bare, rig.clock); },
                                        [&] { return timeTicks(counted, rig.clock); });
    if (window.station().meter().sinceStart(QStringLiteral("COM1")).replies == 0) {
        std::fprintf(stderr, "the station's line counted nothing\n");
        return 1;
    }

    const bool fleetOk = report("fleet window, 100 controllers", fleetTimes, kFleetTarget);
    const bool meterOk = report("line counted, diagnostics closed", meterTimes, kMeterTarget);
    return fleetOk && meterOk ? 0 : 1;
}
