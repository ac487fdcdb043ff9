#include "operations/PausedExchange.h"

#include "link/ControllerLink.h"
#include "monitor/PollControl.h"

namespace tarsyn::operations {

namespace {

constexpr int kSettleMs = 300;
constexpr int kReplyWaitMs = 500;

/// The busy cursor for as long as the thread is blocked, whichever way the exchange ends.
class BusyScope {
public:
    explicit BusyScope(const BusyHook& hook) : m_hook(hook) {
        if (m_hook) m_hook(true);
    }
    ~BusyScope() {
        if (m_hook) m_hook(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    const BusyHook& m_hook;
};

}  // namespace

QString ControllerName(const OperationServices& services) {
    const QString name = services.controller ? services.controller().trimmed() : QString();
    return name.isEmpty() ? QStringLiteral("?") : name;
}

link::ReplyVerdict PausedTransaction(OperationServices& services, const QString& request, int replyLength) {
    monitor::ExclusiveExchange guard(services.poll);
    BusyScope busy(services.busy);
    services.link.sleeper().sleep(kSettleMs);
    return services.link.Transaction(request, replyLength, kReplyWaitMs);
}

}  // namespace tarsyn::operations
