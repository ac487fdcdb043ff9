#include "link/ControllerLink.h"

#include "link/Codec.h"

namespace tarsyn::link {

void ControllerLink::send(const QString& request) {
    const QString line = BuildFrame(request);
    m_port.PurgeQueues();  // stale characters must never reach this reply
    m_port.WriteText(line);
}

void ControllerLink::finish(int count) {
    const QString reply = m_port.ReadAvailable(count);
    m_port.PurgeQueues();  // what came beyond `count` (check, CR LF, a late tail) is dropped here
    m_lastReply = reply;
}

void ControllerLink::Transaction(const QString& request, int count, int waitMs) {
    send(request);
    m_sleeper.sleep(waitMs);
    finish(count);
}

void ControllerLink::PageTransaction(const QString& request, int count, int steps,
                                     const PageProgress& progress) {
    send(request);
    for (int i = 1; i <= steps; ++i) {
        if (progress) progress(i, steps);
        m_sleeper.sleep(1);
    }
    finish(count);
}

void ControllerLink::PageWrite(const QString& request) {
    m_sleeper.sleep(1000);  // the controller needs a second per stored word
    send(request);
}

}  // namespace tarsyn::link
