// Soak: the poll cycle recording into an SQLite history, against the virtual controller served
// in-process through a fake port, its line faults switched at random every half minute of the
// cycle's clock: no answer, short replies, garbage or hexadecimal noise before replies, a changed digit,
// a reply for another block, an unasked frame, a late reply joined to the next, the device vanishing. Runs
// for SECONDS of real time, as fast as the machine goes, and prints the requests written, the faults played,
// how many of the recoveries came within one refresh interval, and resident memory. Usage: soak_poll
// [SECONDS=60] [SEED=1]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <iterator>
#include <memory>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "LatestView.h"
#include "ReplyShaper.h"
#include "RequestHandler.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;

namespace {

enum class Fault { None, NoAnswer, Short, Garbage, Vanish, Noise, Digit, Other, Unasked, Late };
const char* const kFaultNames[] = {"none",  "no answer", "short", "garbage", "vanish",
                                   "noise", "digit",     "other", "unasked", "late"};
constexpr int kFaultKinds = int(std::size(kFaultNames));

constexpr int kRefreshSeconds = 10;
constexpr int kTicksPerFault = 30;

/// Resident memory in kB, from /proc/self/status.
long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 60;
    const quint32 seed = argc > 2 ? QByteArray(argv[2]).toUInt() : 1;
    QRandomGenerator random(seed);

    QTemporaryDir dir;
    config::Config config(dir.path());
    config::LiveSettings settings;
    settings.setLanguage(QStringLiteral("none"));
    settings.setRefreshText(QString::number(kRefreshSeconds));
    settings.setPorts({{QStringLiteral("COM1"), QStringLiteral("Soak"), QString()}});
    config::Messages messages(config, settings);
    test::FakeClock clock;
    test::FakeSleeper sleeper(&clock);
    test::FakeSerialPort port;
    bench::LatestView view;

    sim::ControllerMemory memory;
    sim::EngineModel engine(memory, clock, seed);
    sim::RequestHandler handler(memory, engine);
    Fault fault = Fault::None;
    std::unique_ptr<sim::ReplyShaper> shaper = std::make_unique<sim::ReplyShaper>(sim::FaultOptions{}, seed);
    port.onWrite = [&](const QString& request) {
        if (fault == Fault::Vanish) {
            port.lose();
            return;
        }
        engine.refresh();
        QByteArray line = request.toLatin1();
        while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
        const sim::Reply reply = handler.handle(shaper->redirect(line));
        if (reply.answered) port.arrive(QString::fromLatin1(shaper->shape(reply.text)));
    };

    history::HistoryStore store(
        history::HistoryLocation::sqliteFile(dir.filePath(QStringLiteral("kalde.db"))));
    if (!store.connect()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.lastError()));
        return 1;
    }
    long historyErrors = 0;
    history::HistoryRecorder recorder(
        store, clock, [] { return QStringLiteral("0"); }, [] { return QStringLiteral("0"); },
        [&historyErrors](const QString&) { ++historyErrors; });
    monitor::PollCycle cycle(port, sleeper, clock, settings, messages, view);
    cycle.initialise(true);
    cycle.setHistorySink(&recorder);

    const long rssStart = residentKb();
    long requests = 0, faults = 0, recoveries = 0, lateRecoveries = 0;
    int faultCount[kFaultKinds] = {};
    int sinceRecovery = -1;  // ticks since the last fault ended; -1: none pending
    QElapsedTimer elapsed;
    elapsed.start();
    for (long tick = 0; elapsed.elapsed() < qint64(seconds) * 1000; ++tick) {
        if (tick % kTicksPerFault == 0) {
            const Fault next =
                random.bounded(2) == 0 ? Fault::None : Fault(1 + random.bounded(kFaultKinds - 1));
            if (next != Fault::None) {
                ++faults;
                ++faultCount[int(next)];
                sinceRecovery = -1;
            } else if (fault != Fault::None) {
                sinceRecovery = 0;
            }
            fault = next;
            sim::FaultOptions options;
            options.noAnswer = fault == Fault::NoAnswer;
            options.shortLength = fault == Fault::Short ? 60 : -1;
            options.garbage = fault == Fault::Garbage;
            options.noise = fault == Fault::Noise ? 3 : 0;
            options.changedDigit = fault == Fault::Digit;
            options.otherBlock = fault == Fault::Other;
            options.unasked = fault == Fault::Unasked;
            options.lateJoined = fault == Fault::Late;
            shaper = std::make_unique<sim::ReplyShaper>(options, seed + quint32(tick));
        }
        clock.advanceSecs(1);
        cycle.tick();
        requests += port.written.size();
        port.written.clear();  // counted; a soak of hours must not keep them
        if (tick % 64 == 0) QCoreApplication::processEvents();
        if (sinceRecovery >= 0) {
            if (cycle.linked()) {
                (sinceRecovery <= kRefreshSeconds ? recoveries : lateRecoveries) += 1;
                sinceRecovery = -1;
            } else {
                ++sinceRecovery;
            }
        }
    }
    recorder.flush();
    QCoreApplication::processEvents();
    const long rssEnd = residentKb();

    std::printf("soak: %d s real, seed %u, %ld requests\n", seconds, seed, requests);
    std::printf("faults injected: %ld (", faults);
    for (int f = 1; f < kFaultKinds; ++f)
        std::printf("%s%s %d", f > 1 ? ", " : "", kFaultNames[f], faultCount[f]);
    std::printf(")\n");
    std::printf("recoveries within one refresh (%d s): %ld, later: %ld\n", kRefreshSeconds, recoveries,
                lateRecoveries);
    std::printf("history: %lld rows in nls, %ld error reports, recording %s\n",
                store.rowCount(history::HistoryTable::Hour), historyErrors,
                recorder.isOk() ? "ok" : "failing");
    std::printf("resident memory: %ld kB at start, %ld kB at end\n", rssStart, rssEnd);
    return 0;
}
