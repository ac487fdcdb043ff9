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

// Every command changes what the set does, so none goes out on one click: each asks first, naming
// the controller; the factory settings keep their own question.
const std::array<OperatingCommand, 5> kOperatingCommands = {{
    {"dport3", "start1", "0005100100FF", "mlqr1", "dl8"},    // start the set
    {"dport4", "auto1", "0005100000FF", "mlqr2", "dl13"},    // automatic mode
    {"dport5", "reset1", "0005100200FF", "mlqr3", "dl9"},    // reset / stop
    {"dport6", "test1", "0005100300FF", "mlqr4", "dl12"},    // test state
    {"dport7", "default1", "0005100800FF", "dl10", "dl11"},  // restore factory settings
}};

const OperatingCommand* FindOperatingCommand(const QString& objectName) {
    for (const OperatingCommand& c : kOperatingCommands)
        if (objectName == QLatin1String(c.button) || objectName == QLatin1String(c.menuEntry)) return &c;
    return nullptr;
}

QString ConfirmationText(const OperationServices& services, const OperatingCommand& command) {
    QString question = services.messages.text(QLatin1String(command.confirmKey));
    if (question.contains(QLatin1String("%1"))) question = question.arg(ControllerName(services));
    return question;
}

void OperatingCommands::SendOperatingCommand(const OperatingCommand& command) {
    if (!m_services.gate.pass(monitor::GateRule::NeedsLink)) return;
    if (!m_services.prompter.confirm(ConfirmationText(m_services, command))) {
        if (m_services.declined)
            m_services.declined(QLatin1String(command.button), QLatin1String(command.request));
        return;
    }
    try {
        PausedTransaction(m_services, QLatin1String(command.request), kCommandReplyLength);
    } catch (const std::exception&) {
        return;  // the command did not go out: no message; the guard has resumed polling
    }
    if (m_services.sent)
        m_services.sent(QLatin1String(command.button), QString(), QLatin1String(command.request));
    m_services.prompter.information(m_services.messages.text(QLatin1String(command.messageKey)));
}

}  // namespace tarsyn::operations
