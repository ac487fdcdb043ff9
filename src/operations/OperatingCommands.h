#pragma once

#include <QString>
#include <array>

#include "operations/PausedExchange.h"

namespace tarsyn::operations {

/// One operating command: the request "00" "05" code "00FF" and how the operator is asked and told.
struct OperatingCommand {
    const char* button;      ///< toolbar button (`dport3`…); its menu entry triggers its click
    const char* menuEntry;   ///< menu entry of "系统(&S)"
    const char* request;     ///< request text, framed with its check by the link
    const char* confirmKey;  ///< Yes/No question asked first (default No); "%1" is the controller's name
    const char* messageKey;  ///< information shown once the request went out
};

/// The five commands of the toolbar and the "系统(&S)" menu.
extern const std::array<OperatingCommand, 5> kOperatingCommands;

/// The command of a toolbar button or menu entry by its objectName; nullptr when there is none.
const OperatingCommand* FindOperatingCommand(const QString& objectName);

/// The question asked before `command` goes out, with the controller's name in it.
QString ConfirmationText(const OperationServices& services, const OperatingCommand& command);

/// Sends operating commands to the controller the main window watches.
class OperatingCommands {
public:
    explicit OperatingCommands(OperationServices services) : m_services(std::move(services)) {}

    /// The click of a command button: the gate (`dl5`, then `dl4`), the confirmation naming the
    /// controller and the command (anything but Yes sends nothing and is journalled as declined),
    /// the request with polling paused, then the command's information. The reply is not examined,
    /// so a silent controller still gives the information; a serial error is swallowed without a
    /// message and polling resumes.
    void SendOperatingCommand(const OperatingCommand& command);

private:
    OperationServices m_services;
};

}  // namespace tarsyn::operations
