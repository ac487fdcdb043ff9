#pragma once

#include <QString>
#include <stdexcept>

namespace tarsyn::link {

/// Base of every error the controller link raises; carries the text shown to the user.
class LinkError : public std::runtime_error {
public:
    explicit LinkError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

/// A field of a reply (or of a request) that is not hexadecimal, including an empty or cut field.
class ConversionError : public LinkError {
public:
    using LinkError::LinkError;
};

/// A serial port operation failed: cannot open, configure, purge, read or write.
class SerialError : public LinkError {
public:
    using LinkError::LinkError;
};

/// The device could not be opened, with the reason sorted into what the operator can do about it.
class PortOpenError : public SerialError {
public:
    enum class Reason {
        PermissionDenied,  ///< the user may not open the device (not in the dialout group)
        NoSuchDevice,      ///< nothing by that name (adapter unplugged, name mistyped)
        InUse,             ///< another program holds the device
        Other,             ///< see systemText()
    };
    PortOpenError(const QString& message, const QString& device, Reason reason, const QString& systemText)
        : SerialError(message), m_device(device), m_reason(reason), m_systemText(systemText) {}
    QString device() const { return m_device; }  ///< the device path that was opened
    Reason reason() const { return m_reason; }
    QString systemText() const { return m_systemText; }  ///< the serial layer's own description

private:
    QString m_device;
    Reason m_reason;
    QString m_systemText;
};

}  // namespace tarsyn::link
