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

}  // namespace tarsyn::link
