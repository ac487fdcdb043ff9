#pragma once

#include <QString>
#include <functional>

#include "link/Clock.h"
#include "link/ReplyCheck.h"
#include "link/SerialPort.h"

namespace tarsyn::link {

/// Called once per wait step of a PageTransaction with (step, steps): the page moves its progress
/// bar and lets pending events run, so the window stays responsive while the controller answers.
using PageProgress = std::function<void(int step, int steps)>;

/// Request/reply exchanges on the program's one serial port, and the text of the latest reply.
/// Callers stop the poll timer around an exchange; nothing here locks.
///
/// Every reply is checked against its request (CheckReply) before anyone sees it: an exchange reads
/// at least the whole reply its request asks for and a little beyond, whatever `count` says, so that
/// the check characters are there to compare and a second frame behind the reply shows, and returns
/// the verdict. A reply that fails is discarded: LastReply is then empty, which every caller already
/// takes for "no usable reply", so nothing of it can be decoded.
class ControllerLink {
public:
    ControllerLink(SerialPort& port, Sleeper& sleeper) : m_port(port), m_sleeper(sleeper) {}

    SerialPort& port() { return m_port; }
    Sleeper& sleeper() { return m_sleeper; }

    /// Purge, write the framed request, sleep `waitMs` without processing events, read at most
    /// max(`count`, ReplyLength + kReplyPeek) characters, purge again (whatever came beyond never
    /// reaches the next exchange), check. A port failure raises SerialError and leaves LastReply
    /// unchanged.
    ReplyVerdict Transaction(const QString& request, int count, int waitMs);

    /// The same exchange, waiting `steps` steps of 1 ms each, reporting every step to `progress`.
    ReplyVerdict PageTransaction(const QString& request, int count, int steps,
                                 const PageProgress& progress = {});

    /// A slow line's allowance, for the command-line tool's --timeout and --retries: every reply is
    /// waited for at least `minimumWaitMs`, and a read whose reply is missing or unusable is sent
    /// again up to `retries` times (reads only: a write is never repeated). The program's own waits
    /// are the default (0, 0), so the wire is exactly the specified one unless a tool asks.
    void setSlowLine(int minimumWaitMs, int retries) {
        m_minimumWaitMs = minimumWaitMs;
        m_retries = retries;
    }

    /// An unacknowledged write: wait 1000 ms, purge, write the framed request; nothing is read.
    void PageWrite(const QString& request);

    /// The latest reply passed the check but decodes to a value its fields cannot hold: it is dropped
    /// as one that failed (LastReply empty, LastVerdict OutOfRange) and counted as a check error.
    void refuseReply();

    /// The reply of the latest exchange when it passed the check, else empty.
    QString LastReply() const { return m_lastReply; }
    /// The verdict on the latest exchange's reply.
    ReplyVerdict LastVerdict() const { return m_lastVerdict; }

private:
    void send(const QString& request);
    ReplyVerdict finish(const QString& request, int count);

    SerialPort& m_port;
    Sleeper& m_sleeper;
    QString m_lastReply;
    ReplyVerdict m_lastVerdict = ReplyVerdict::NoReply;
    int m_minimumWaitMs = 0;
    int m_retries = 0;
};

}  // namespace tarsyn::link
