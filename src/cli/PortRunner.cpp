#include "cli/PortRunner.h"

#include <QThread>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/Options.h"

namespace tarsyn::cli {

QVector<PortResult> RunOnPorts(const QStringList& ports, const SessionSettings& settings, Terminal& terminal,
                               const PortJob& job) {
    QVector<PortResult> results(ports.size());
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < ports.size(); ++i) {
        PortResult* result = &results[i];
        result->port = ports.at(i).trimmed();
        threads.emplace_back(QThread::create([result, &settings, &terminal, &job] {
            // Everything of a line lives on its thread: the serial port object belongs to the thread
            // that made it.
            Session session(settings, result->port, terminal);
            int code = session.open();
            if (code == kExitOk) code = job(session);
            result->exitCode = code;
            result->out = session.out();
        }));
        threads.back()->start();
    }
    for (auto& thread : threads) thread->wait();
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
