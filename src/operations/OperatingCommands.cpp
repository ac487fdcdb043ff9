#include "operations/OperatingCommands.h"

#include <exception>

#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "monitor/CommandGate.h"

namespace tarsyn::operations {

namespace {
// A command's reply is its echo; only two characters are read, and nothing looks at them.
constexpr int kCommandReplyLength = 2;
}  // namespace

const std::array<OperatingCommand, 5> kOperatingCommands = {{
    {"dport3", "start1", "0005100100FF", nullptr, "dl8"},    // start the set
    {"dport4", "auto1", "0005100000FF", nullptr, "dl13"},    // automatic mode
    {"dport5", "reset1", "0005100200FF", nullptr, "dl9"},    // reset / stop
    {"dport6", "test1", "0005100300FF", nullptr, "dl12"},    // test state
    {"dport7", "default1", "0005100800FF", "dl10", "dl11"},  // restore factory settings
}};

const OperatingCommand* FindOperatingCommand(const QString& objectName) {
    for (const OperatingCommand& c : kOperatingCommands)
        if (objectName == QLatin1String(c.button) || objectName == QLatin1String(c.menuEntry)) return &c;
    return nullptr;
}

void OperatingCommands::SendOperatingCommand(const OperatingCommand& command) {
    if (!m_services.gate.pass(monitor::GateRule::NeedsLink)) return;
    if (command.confirmKey &&
        !m_services.prompter.confirm(m_services.messages.text(QLatin1String(command.confirmKey))))
        return;
    try {
        PausedTransaction(m_services, QLatin1String(command.request), kCommandReplyLength);
    } catch (const std::exception&) {
        return;  // the command did not go out: no message; the guard has resumed polling
    }
    m_services.prompter.information(m_services.messages.text(QLatin1String(command.messageKey)));
}

}  // namespace tarsyn::operations
