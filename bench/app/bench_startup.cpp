// Time from process start to the main window shown, and the resident memory then, of the whole
// program (every window created) next to a minimal Qt Widgets program that shows one window. Both
// ratios must stay at or below 2. Measured on an X display (DISPLAY; scripts/bench starts a virtual
// one), where an operator runs the program and each start pays for its connection to the display,
// and on the offscreen platform, which has no display to connect to; the target is judged on the
// display when there is one. Runs on a fresh data folder made by --init-config.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <map>

namespace {

QString binDir() { return QCoreApplication::applicationDirPath(); }

struct Sample {
    double ms = 0;
    double kib = 0;
};

/// Starts `program`, times it to its "shown" line; false when it never says so.
bool probe(const QString& platform, const QString& program, const QStringList& args, Sample& sample) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    p.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    p.start(program, args);
    QByteArray out;
    while (!out.contains('\n') && p.waitForReadyRead(20000)) out += p.readAllStandardOutput();
    sample.ms = double(timer.nsecsElapsed()) / 1e6;
    p.waitForFinished(5000);
    if (!out.startsWith("shown ")) return false;
    sample.kib = out.mid(6).trimmed().toDouble();
    return true;
}

std::map<std::string, Sample> g_means;

void run(benchmark::State& state, const std::string& name, const QString& platform, const QString& program,
         const QStringList& args) {
    double kib = 0;
    int n = 0;
    double ms = 0;
    for (auto _ : state) {
        Sample s;
        if (!probe(platform, program, args, s)) {
            state.SkipWithError("the probe did not show its window");
            return;
        }
        state.SetIterationTime(s.ms / 1000.0);
        ms += s.ms;
        kib += s.kib;
        ++n;
    }
    if (n == 0) return;
    state.counters["resident_KiB"] = kib / n;
    g_means[name] = {ms / n, kib / n};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    // A consistent data folder with the shipped catalogues and help files, as an installation has.
    QTemporaryDir data;
    const QDir bin(binDir() + QStringLiteral("/../bin"));
    for (const QString& f : bin.entryList({QStringLiteral("*.lag"), QStringLiteral("*.hlp")}, QDir::Files))
        QFile::copy(bin.filePath(f), data.filePath(f));
    const int init = QProcess::execute(
        bin.filePath(QStringLiteral("tarsyn")),
        {QStringLiteral("--data-dir"), data.path(), QStringLiteral("--init-config"),
         QStringLiteral("--language"), QStringLiteral("English"), QStringLiteral("--super-password"),
         QStringLiteral("bench-super"), QStringLiteral("--ordinary-password"), QStringLiteral("bench-user")});
    if (init != 0) {
        std::fprintf(stderr, "tarsyn --init-config failed (%d)\n", init);
        return 1;
    }

    const QString program = binDir() + QStringLiteral("/probes/startup_probe");
    const QString minimal = binDir() + QStringLiteral("/probes/minimal_probe");
    QStringList platforms;
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) platforms << QStringLiteral("xcb");
    platforms << QStringLiteral("offscreen");
    for (const QString& platform : platforms) {
        const std::string p = platform.toStdString();
        benchmark::RegisterBenchmark(
            ("startup/" + p + "/minimal_qt").c_str(),
            [=](benchmark::State& s) { run(s, p + "/minimal", platform, minimal, {}); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(10);
        benchmark::RegisterBenchmark(
            ("startup/" + p + "/tarsyn").c_str(),
            [=, &data](benchmark::State& s) { run(s, p + "/tarsyn", platform, program, {data.path()}); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(10);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    bool judged = false, met = true;
    for (const QString& platform : platforms) {
        const std::string p = platform.toStdString();
        const auto t = g_means.find(p + "/tarsyn");
        const auto m = g_means.find(p + "/minimal");
        if (t == g_means.end() || m == g_means.end()) continue;
        const double timeRatio = t->second.ms / m->second.ms;
        const double memoryRatio = t->second.kib / m->second.kib;
        const bool target = !judged;  // the first platform measured: the display when there is one
        std::printf(
            "\nMain window shown (%s), every window created, against a one-window Qt Widgets "
            "program%s:\n",
            p.c_str(), target ? "" : " (for comparison, not judged)");
        std::printf("  time      %8.1f ms  against %8.1f ms   ratio %.2f  %s\n", t->second.ms, m->second.ms,
                    timeRatio, timeRatio <= 2.0 ? "ok (<= 2)" : "above 2");
        std::printf("  resident  %8.0f KiB against %8.0f KiB  ratio %.2f  %s\n", t->second.kib, m->second.kib,
                    memoryRatio, memoryRatio <= 2.0 ? "ok (<= 2)" : "above 2");
        if (target) met = timeRatio <= 2.0 && memoryRatio <= 2.0;
        judged = true;
    }
    if (!judged) {
        std::printf("\nstart-up ratios not measured (filtered out?)\n");
        return 0;
    }
    return met ? 0 : 1;
}
