#pragma once

#include <QString>

#include "link/LineSettings.h"

namespace tarsyn::link {

/// The one serial port the program owns. Every operation but the setters raises SerialError on
/// failure; PurgeQueues, WriteText and ReadAvailable on a closed port fail too.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    /// Name as configured ("COM1", "ttyUSB0", "/dev/pts/3"); takes effect at the next OpenPort.
    virtual void setPortName(const QString& name) = 0;
    virtual QString portName() const = 0;
    /// Takes effect at the next OpenPort.
    virtual void setLineSettings(const LineSettings& settings) = 0;

    /// Opens and configures the device; does nothing if already open.
    virtual void OpenPort() = 0;
    /// Closes the device; does nothing if not open.
    virtual void ClosePort() = 0;
    /// True between a successful OpenPort and ClosePort, or until the device is lost.
    virtual bool Connected() const = 0;
    /// Discards everything received and not yet sent.
    virtual void PurgeQueues() = 0;
    /// Writes every character and waits for completion (100 ms per character plus 1000 ms at most).
    virtual void WriteText(const QString& text) = 0;
    /// Returns at once with what has been received, at most `count` characters; the rest stays queued.
    virtual QString ReadAvailable(int count) = 0;
    /// The reply read last was a whole frame, but what it decodes to cannot be the request's (a field
    /// outside its physical range). The port has nothing to undo; a counting wrapper counts it as a
    /// check error instead of a reply.
    virtual void replyRefused() {}
};

}  // namespace tarsyn::link
