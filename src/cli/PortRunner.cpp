#include "cli/PortRunner.h"

#include <signal.h>

#include <QThread>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/Options.h"
#include "cli/Stop.h"

namespace tarsyn::cli {

QVector<PortResult> RunOnPorts(const QStringList& ports, const SessionSettings& given, Terminal& terminal,
                               const PortJob& job) {
    // SIGINT and SIGTERM are taken by this thread alone, blocked before any line's thread starts; each
    // line then ends at its next wait and closes its port, which removes its lock file.
    StopSignalsBlocked signalsBlocked;
    StopRequest stop;
    SessionSettings settings = given;
    settings.stop = &stop;
    terminal.setStop(&stop);
    QVector<PortResult> results(ports.size());
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < ports.size(); ++i) {
        PortResult* result = &results[i];
        result->port = ports.at(i).trimmed();
        threads.emplace_back(QThread::create([result, &settings, &terminal, &job] {
            // Everything of a line lives on its thread: the serial port object belongs to the thread
            // that made it.
            Session session(settings, result->port, terminal);
            try {
                int code = session.open();
                if (code == kExitOk) code = job(session);
                result->exitCode = code;
            } catch (const Stopped& stopped) {
                result->exitCode = StoppedExitCode(stopped.signal);
                result->stopped = true;
            }
            result->out = session.out();
        }));
        threads.back()->start();
    }
    for (auto& thread : threads) {
        while (!thread->wait(QDeadlineTimer(0))) {
            if (const int signal = signalsBlocked.take(50); signal != 0 && stop.signal() == 0) {
                stop.request(signal);
                terminal.line(QStringLiteral("tarsynctl: %1 taken: ending every line")
                                  .arg(QLatin1String(signal == SIGTERM ? "SIGTERM" : "SIGINT")));
            }
        }
    }
    terminal.setStop(nullptr);
    return results;
}

int FinishPorts(const QVector<PortResult>& results) {
    int worst = kExitOk;
    for (const PortResult& r : results) {
        if (results.size() > 1 && !r.out.isEmpty())
            std::printf("==> %s <==\n", r.port.toLocal8Bit().constData());
        std::fwrite(r.out.constData(), 1, size_t(r.out.size()), stdout);
        worst = qMax(worst, r.exitCode);
    }
    std::fflush(stdout);
    return worst;
}

}  // namespace tarsyn::cli
