#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

#include "cli/Session.h"

namespace tarsyn::cli {

/// What one port's job left: its exit code and what it has for standard output.
struct PortResult {
    QString port;
    int exitCode = 0;
    bool stopped = false;  ///< ended by SIGINT or SIGTERM (exit code 128 + the signal)
    QByteArray out;
};

/// A sub-command's work on one open port.
using PortJob = std::function<int(Session& session)>;

/// Runs `job` for every port at once, each on a thread of its own with its own port, link and
/// engines (made on that thread), so that the waits of one line never hold up another. A port that
/// will not open ends its job with kExitLink. SIGINT or SIGTERM ends every line at its next wait, its
/// port closed and unlocked (exit code 128 + the signal). Results come back in the order of `ports`.
QVector<PortResult> RunOnPorts(const QStringList& ports, const SessionSettings& settings, Terminal& terminal,
                               const PortJob& job);

/// Writes the results' standard output in port order, each under a "==> port <==" line when there
/// are several, and returns the worst exit code.
int FinishPorts(const QVector<PortResult>& results);

}  // namespace tarsyn::cli
