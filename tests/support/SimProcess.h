#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace tarsyn::test {

/// The virtual controller `tarsyn-sim` on a pseudo-terminal, for end-to-end tests.
/// Starts $TARSYN_BIN_DIR/tarsyn-sim, takes the device path from its first line of output and
/// stops it (SIGTERM, so it removes its --link) when stopped or destroyed.
class SimProcess {
public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { stop(); }

    /// Starts the simulator with `extraArgs` (e.g. {"--no-answer"}) and waits at most 10 s for the
    /// device path. False, with a warning naming the cause, when it cannot start or says nothing.
    bool start(const QStringList& extraArgs = {}) {
        stop();
        m_devicePath.clear();
        const QString binDir = qEnvironmentVariable("TARSYN_BIN_DIR");
        const QString program = binDir + QStringLiteral("/tarsyn-sim");
        if (binDir.isEmpty() || !QFileInfo(program).isExecutable()) {
            qWarning("SimProcess: %s is not an executable (TARSYN_BIN_DIR unset or build missing)",
                     qPrintable(program));
            return false;
        }
        QString linkPath;
        const int linkAt = int(extraArgs.indexOf(QStringLiteral("--link")));
        if (linkAt >= 0 && linkAt + 1 < extraArgs.size()) linkPath = extraArgs.at(linkAt + 1);

        m_process.setProgram(program);
        m_process.setArguments(extraArgs);
        // stdout carries the device path; stderr (--verbose logs) goes straight to the test's output.
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setReadChannel(QProcess::StandardOutput);
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            qWarning("SimProcess: %s did not start: %s", qPrintable(program),
                     qPrintable(m_process.errorString()));
            return false;
        }
        QByteArray out;
        QDeadlineTimer deadline(10000);
        while (!out.contains('\n')) {
            if (m_process.state() != QProcess::Running || deadline.hasExpired()) break;
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
            out += m_process.readAllStandardOutput();
        }
        const int eol = int(out.indexOf('\n'));
        if (eol <= 0) {
            qWarning("SimProcess: tarsyn-sim gave no device path (exit code %d)", m_process.exitCode());
            stop();
            return false;
        }
        const QString firstLine = QString::fromLocal8Bit(out.left(eol)).trimmed();
        m_devicePath = linkPath.isEmpty() ? firstLine : linkPath;
        return true;
    }

    /// The pseudo-terminal's path (e.g. /dev/pts/5), or the --link path when one was given.
    QString devicePath() const { return m_devicePath; }

    /// Types `line` on the simulator's console (e.g. "alarm on") and waits for its acknowledgement
    /// ("ok: alarm on"): once it returns true, the next request is served with the command in force.
    /// False, with a warning, when the simulator is not running, does not know the command or does
    /// not answer within 10 s.
    bool command(const QString& line) {
        if (m_process.state() != QProcess::Running) {
            qWarning("SimProcess: no simulator to take '%s'", qPrintable(line));
            return false;
        }
        m_process.write((line + QLatin1Char('\n')).toLocal8Bit());
        const QByteArray done = "ok: " + line.trimmed().toLower().toLocal8Bit();
        QDeadlineTimer deadline(10000);
        for (;;) {
            while (m_process.canReadLine()) {
                const QByteArray said = m_process.readLine().trimmed();
                if (said == done) return true;
                if (said.startsWith("unknown: ")) {
                    qWarning("SimProcess: tarsyn-sim does not know '%s'", qPrintable(line));
                    return false;
                }
            }
            if (m_process.state() != QProcess::Running || deadline.hasExpired()) break;
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        qWarning("SimProcess: tarsyn-sim did not acknowledge '%s'", qPrintable(line));
        return false;
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }

    /// Ends the simulator: SIGTERM first (it then removes its --link), SIGKILL if it lingers.
    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    QProcess m_process;
    QString m_devicePath;
};

}  // namespace tarsyn::test
