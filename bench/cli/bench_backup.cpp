// tarsynctl backs up every controller of a site at once: each port is served on its own thread with
// its own waits, so 20 controllers should take about as long as one. The virtual controllers run on
// pseudo-terminals at the real pace; the figures are wall times of whole backups (all six pages).
// Exit code 1 when a backup fails or 20 controllers take more than 1.3 times as long as one.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr double kTargetRatio = 1.3;
const QString kBin = QStringLiteral(TARSYN_BIN_DIR);

/// One virtual controller serving `link`; false when it did not print its device.
bool startSim(QProcess& sim, const QString& link) {
    sim.setProgram(kBin + QStringLiteral("/tarsyn-sim"));
    sim.setArguments({QStringLiteral("--link"), link});
    sim.start();
    if (!sim.waitForStarted(10000)) return false;
    QDeadlineTimer deadline(10000);
    QByteArray out;
    while (!out.contains('\n') && !deadline.hasExpired() && sim.state() == QProcess::Running) {
        sim.waitForReadyRead(100);
        out += sim.readAllStandardOutput();
    }
    return out.contains('\n');
}

/// Wall time in seconds of one backup of `count` controllers, or a negative number on failure.
double backup(const QTemporaryDir& dir, int count) {
    std::vector<std::unique_ptr<QProcess>> sims;
    QStringList args{QStringLiteral("--data-dir"), kBin, QStringLiteral("--language"),
                     QStringLiteral("English")};
    for (int i = 0; i < count; ++i) {
        const QString link = dir.filePath(QStringLiteral("c%1-%2").arg(count).arg(i));
        sims.push_back(std::make_unique<QProcess>());
        if (!startSim(*sims.back(), link)) {
            std::fprintf(stderr, "tarsyn-sim did not start on %s\n", qPrintable(link));
            return -1;
        }
        args << QStringLiteral("--port") << link;
    }
    args << QStringLiteral("backup") << dir.filePath(QStringLiteral("backup%1.ini").arg(count));
    QProcess tool;
    tool.setProgram(kBin + QStringLiteral("/tarsynctl"));
    tool.setArguments(args);
    tool.setStandardInputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    tool.start();
    const bool finished = tool.waitForStarted(10000) && tool.waitForFinished(600000);
    const double seconds = timer.elapsed() / 1000.0;
    for (auto& sim : sims) {
        sim->terminate();
        if (!sim->waitForFinished(3000)) sim->kill();
    }
    if (!finished || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        std::fprintf(stderr, "backup of %d controllers failed: %s\n", count,
                     tool.readAllStandardError().constData());
        return -1;
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const double one = backup(dir, 1);
    const double twenty = one < 0 ? -1 : backup(dir, 20);
    if (one < 0 || twenty < 0) return 1;
    const double ratio = twenty / one;
    std::printf(
        "backup of all six pages: 1 controller %.1f s, 20 controllers %.1f s, ratio %.2f (target %.1f)\n",
        one, twenty, ratio, kTargetRatio);
    return ratio <= kTargetRatio ? 0 : 1;
}
