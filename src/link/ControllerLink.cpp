#include "link/ControllerLink.h"

#include "link/Codec.h"

namespace tarsyn::link {

void ControllerLink::send(const QString& request) {
    const QString line = BuildFrame(request);
    m_port.PurgeQueues();  // stale characters must never reach this reply
    m_port.WriteText(line);
}

ReplyVerdict ControllerLink::finish(const QString& request, int count) {
    // A little beyond the whole reply, so that a second frame behind it is seen.
    const QString reply = m_port.ReadAvailable(qMax(count, ReplyLength(request) + kReplyPeek));
    m_port.PurgeQueues();  // whatever is still coming (a late tail) is dropped here
    m_lastVerdict = CheckReply(reply, request);
    // A reply that fails the check is discarded whole: no field of it may reach a window.
    m_lastReply = m_lastVerdict == ReplyVerdict::Ok ? reply : QString();
    return m_lastVerdict;
}

ReplyVerdict ControllerLink::Transaction(const QString& request, int count, int waitMs) {
    ReplyVerdict verdict = ReplyVerdict::NoReply;
    for (int attempt = 0; attempt <= m_retries; ++attempt) {
        send(request);
        m_sleeper.sleep(qMax(waitMs, m_minimumWaitMs));
        verdict = finish(request, count);
        if (verdict == ReplyVerdict::Ok) break;
    }
    return verdict;
}

ReplyVerdict ControllerLink::PageTransaction(const QString& request, int count, int steps,
                                             const PageProgress& progress) {
    steps = qMax(steps, m_minimumWaitMs);
    ReplyVerdict verdict = ReplyVerdict::NoReply;
    for (int attempt = 0; attempt <= m_retries; ++attempt) {
        send(request);
        for (int i = 1; i <= steps; ++i) {
            if (progress) progress(i, steps);
            m_sleeper.sleep(1);
        }
        verdict = finish(request, count);
        if (verdict == ReplyVerdict::Ok) break;
    }
    return verdict;
}

void ControllerLink::refuseReply() {
    m_lastReply.clear();
    m_lastVerdict = ReplyVerdict::OutOfRange;
    m_port.replyRefused();
}

void ControllerLink::PageWrite(const QString& request) {
    m_sleeper.sleep(1000);  // the controller needs a second per stored word
    send(request);
}

}  // namespace tarsyn::link
