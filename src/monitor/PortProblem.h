#pragma once

#include <QString>
#include <exception>

namespace tarsyn::config {
class Messages;
}  // namespace tarsyn::config

namespace tarsyn::monitor {

/// The status strip's line for a port that could not be opened: the device and the reason, with what
/// to do about it ("cannot open /dev/ttyUSB0: permission denied - is the user in the dialout group?").
/// The texts are the catalogue's messages "portdenied", "portmissing", "portbusy" and "portfailed"
/// (%1 the device, %2 the serial layer's own reason); a catalogue without them gives the English text.
/// `portName` is the configured name, used when the error does not name the device.
QString PortProblemText(const config::Messages& messages, const QString& portName,
                        const std::exception& error);

}  // namespace tarsyn::monitor
