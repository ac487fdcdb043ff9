#pragma once

#include <QString>
#include <functional>

#include "link/Clock.h"
#include "link/SerialPort.h"

namespace tarsyn::link {

/// Called once per wait step of a PageTransaction with (step, steps): the page moves its progress
/// bar and lets pending events run, so the window stays responsive while the controller answers.
using PageProgress = std::function<void(int step, int steps)>;

/// Request/reply exchanges on the program's one serial port, and the text of the latest reply.
/// Callers stop the poll timer around an exchange; nothing here locks.
class ControllerLink {
public:
    ControllerLink(SerialPort& port, Sleeper& sleeper) : m_port(port), m_sleeper(sleeper) {}

    SerialPort& port() { return m_port; }
    Sleeper& sleeper() { return m_sleeper; }

    /// Purge, write the framed request, sleep `waitMs` without processing events, read at most
    /// `count` characters, purge again (whatever came beyond `count` never reaches the next exchange).
    /// A port failure raises SerialError and leaves LastReply unchanged.
    void Transaction(const QString& request, int count, int waitMs);

    /// The same exchange, waiting `steps` steps of 1 ms each, reporting every step to `progress`.
    void PageTransaction(const QString& request, int count, int steps, const PageProgress& progress = {});

    /// An unacknowledged write: wait 1000 ms, purge, write the framed request; nothing is read.
    void PageWrite(const QString& request);

    QString LastReply() const { return m_lastReply; }

private:
    void send(const QString& request);
    void finish(int count);

    SerialPort& m_port;
    Sleeper& m_sleeper;
    QString m_lastReply;
};

}  // namespace tarsyn::link
