#include "cli/Stop.h"

#include <signal.h>

#include <QThread>
#include <algorithm>
#include <cerrno>

namespace tarsyn::cli {

namespace {

constexpr int kSliceMs = 50;  // how soon a line notices a stop

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void StopSleeper::check() const {
    if (m_stop && m_stop->signal() != 0) throw Stopped{m_stop->signal()};
}

void StopSleeper::sleep(int milliseconds) {
    check();
    while (milliseconds > 0) {
        const int slice = m_stop ? std::min(milliseconds, kSliceMs) : milliseconds;
        QThread::msleep(static_cast<unsigned long>(slice));
        milliseconds -= slice;
        check();
    }
}

StopSignalsBlocked::StopSignalsBlocked() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

StopSignalsBlocked::~StopSignalsBlocked() {
    // A signal that came after the last look finds the lines closed: it is taken here, so that the
    // results still get printed.
    take(0);
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int StopSignalsBlocked::take(int milliseconds) {
    const sigset_t set = stopSignals();
    timespec wait{milliseconds / 1000, long(milliseconds % 1000) * 1000000L};
    int signal = -1;
    do {
        signal = sigtimedwait(&set, nullptr, &wait);
    } while (signal < 0 && errno == EINTR);
    return signal > 0 ? signal : 0;
}

}  // namespace tarsyn::cli
