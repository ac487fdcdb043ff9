#pragma once

#include <QString>
#include <functional>

namespace tarsyn::config {
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::link {
class ControllerLink;
enum class ReplyVerdict;
}  // namespace tarsyn::link

namespace tarsyn::monitor {
class CommandGate;
class PollControl;
}  // namespace tarsyn::monitor

namespace tarsyn::operations {

/// Told true when the user-interface thread is about to block in an exchange and false when it is
/// free again; the program shows the busy cursor meanwhile.
using BusyHook = std::function<void(bool busy)>;

/// What an operator's exchange with the controller needs of the program: the main window's gate and
/// poll cycle, the one controller link (its sleeper does the waits), the messages and the boxes.
struct OperationServices {
    const monitor::CommandGate& gate;
    monitor::PollControl& poll;
    link::ControllerLink& link;
    const config::Messages& messages;
    config::Prompter& prompter;
    BusyHook busy;
    /// Told after a request went out: the control that sent it (`dport3`, `btn11`…), the value the
    /// operator entered ("" for a command) and the request text. The event journal keeps it. May be empty.
    std::function<void(const QString& control, const QString& value, const QString& request)> sent = {};
    /// Told when the operator answered No to a command's confirmation: the control and the request
    /// that was not sent. The event journal keeps it. May be empty.
    std::function<void(const QString& control, const QString& request)> declined = {};
    /// The name of the controller the main window watches, as the operator knows it (the port
    /// entry's remark). May be empty.
    std::function<QString()> controller = {};
    /// The catalogue's text of a control ("lbl11.Caption"); "0" when the catalogue has none. May be empty.
    std::function<QString(const QString& key)> caption = {};
};

/// The controller's name for a question or a message: the remark, else "?" so a sentence still reads.
QString ControllerName(const OperationServices& services);

/// One request sent with the poll cycle paused: `tmr1` stops, 300 ms pass so that a poll reply still
/// on its way is over, then the Transaction (`replyLength` characters, 500 ms), whose verdict on the
/// echo is returned. Polling resumes with `PollState` 1 on every way out, a serial error included,
/// which is passed on to the caller.
link::ReplyVerdict PausedTransaction(OperationServices& services, const QString& request, int replyLength);

}  // namespace tarsyn::operations
