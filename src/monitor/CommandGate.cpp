#include "monitor/CommandGate.h"

#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "monitor/PollControl.h"

namespace tarsyn::monitor {

bool CommandGate::pass(GateRule rule) const {
    if (m_poll.RotationMode()) {
        m_prompter.information(m_messages.text(QStringLiteral("dl5")));
        return false;
    }
    if (rule == GateRule::NeedsLink && !m_poll.linked()) {
        m_prompter.information(m_messages.text(QStringLiteral("dl4")));
        return false;
    }
    return true;
}

QString CommandGate::title(const QString& key) const { return m_messages.text(key); }

}  // namespace tarsyn::monitor
