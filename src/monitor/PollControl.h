#pragma once

#include "monitor/LineActivity.h"

namespace tarsyn::monitor {

/// What a window that talks to the controller outside the poll cycle needs of it: the state its
/// commands are gated on, and stopping and resuming `tmr1` around its own exchange. PollCycle is the
/// program's one implementation; tests of a feature may use a small fake.
class PollControl {
public:
    virtual ~PollControl() = default;

    /// The main window visits the ports in turn (`dport2`): no command may talk to the controller.
    virtual bool RotationMode() const = 0;
    /// `ConnectionIndicator` shows linked (image 7): the last reply was accepted.
    virtual bool linked() const = 0;
    /// `tmr1` stops: no request of the poll cycle goes out until resumePolling.
    virtual void stopPolling() = 0;
    /// `PollState` := 1 and `tmr1` starts again, so polling resumes with a fresh request.
    virtual void resumePolling() = 0;
    /// `PollState` := `state` without touching the timer.
    virtual void setPollState(int state) = 0;

    /// What the operator has under way on this line besides polling (a remote command waits for none
    /// of it: it is refused while any is).
    LineActivity& activity() { return m_activity; }
    const LineActivity& activity() const { return m_activity; }

private:
    LineActivity m_activity;
};

/// The exclusive-exchange guard: while it lives the poll timer is stopped, so the window that holds it
/// owns the serial port; on every way out of its scope (success, serial error, exception, cancel) it
/// sets `PollState` to 1 and restarts the timer. Meanwhile the line's activity shows `kind`.
class ExclusiveExchange {
public:
    explicit ExclusiveExchange(PollControl& poll, LineActivity::Kind kind = LineActivity::Kind::Exchange)
        : m_poll(poll), m_kind(kind) {
        m_poll.activity().begin(m_kind);
        m_poll.stopPolling();
    }
    ~ExclusiveExchange() {
        m_poll.resumePolling();
        m_poll.activity().end(m_kind);
    }
    ExclusiveExchange(const ExclusiveExchange&) = delete;
    ExclusiveExchange& operator=(const ExclusiveExchange&) = delete;

    PollControl& poll() { return m_poll; }

private:
    PollControl& m_poll;
    LineActivity::Kind m_kind;
};

}  // namespace tarsyn::monitor
