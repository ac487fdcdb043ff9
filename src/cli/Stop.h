#pragma once

#include <atomic>

#include "link/Clock.h"

namespace tarsyn::cli {

/// SIGINT or SIGTERM, taken by the thread that waits for the lines and told to every line: each line's
/// next wait ends its job, so that its port closes and its lock file goes, and the tool ends cleanly.
class StopRequest {
public:
    void request(int signal) { m_signal.store(signal); }
    /// The signal taken, or 0.
    int signal() const { return m_signal.load(); }

private:
    std::atomic<int> m_signal{0};
};

/// What a line's wait throws once a stop is requested. Not an exception of the link or the standard
/// library, so that no engine takes it for a failed exchange: it ends the line's job.
struct Stopped {
    int signal;
};

/// The line's waits, in short slices that look for a stop request (none: a plain sleep).
class StopSleeper : public link::Sleeper {
public:
    explicit StopSleeper(const StopRequest* stop) : m_stop(stop) {}
    void sleep(int milliseconds) override;
    /// Throws Stopped when a stop is requested.
    void check() const;

private:
    const StopRequest* m_stop;
};

/// Blocks SIGINT and SIGTERM in the calling thread (the threads it starts inherit that), so that only
/// TakeStopSignal sees them; the destructor takes a late one and unblocks them.
class StopSignalsBlocked {
public:
    StopSignalsBlocked();
    ~StopSignalsBlocked();
    StopSignalsBlocked(const StopSignalsBlocked&) = delete;
    StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;
    /// Waits up to `milliseconds` for SIGINT or SIGTERM; the signal, or 0.
    int take(int milliseconds);
};

/// The exit code of a job a signal ended: 128 and the signal, as a shell reports it.
inline int StoppedExitCode(int signal) { return 128 + signal; }

}  // namespace tarsyn::cli
