#pragma once

#include <QString>

namespace tarsyn::config {
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::monitor {

class PollControl;

/// What a gated command needs before it may go on.
enum class GateRule {
    NoLink,    ///< refused only while the ports are visited in turn (`dl5`): the history curves
    NeedsLink  ///< also refused while the link is down (`dl4`): every command that talks to the controller
};

/// The one gate every command of the main window passes: `dl5` while `RotationMode` is on, then (for
/// commands that talk to the controller) `dl4` while `ConnectionIndicator` does not show linked. The
/// refusal is shown in an information box; the caller then sets its window's title from its key.
class CommandGate {
public:
    CommandGate(const PollControl& poll, const config::Messages& messages, config::Prompter& prompter)
        : m_poll(poll), m_messages(messages), m_prompter(prompter) {}

    /// True when the command may go on; otherwise the refusal has been shown.
    bool pass(GateRule rule = GateRule::NeedsLink) const;

    /// A window's title from its key in the current catalogue ("Form6caption"…), read at each opening
    /// so that a language change shows at the next one.
    QString title(const QString& key) const;

private:
    const PollControl& m_poll;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
};

}  // namespace tarsyn::monitor
