#include "link/QtSerialPort.h"

#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

#include "link/LinkError.h"
#include "link/PortLock.h"

namespace tarsyn::link {

namespace {

QString takeLatin1(QByteArray& buffer, int count) {
    const QByteArray head = buffer.left(count);
    buffer.remove(0, head.size());
    return QString::fromLatin1(head);
}

}  // namespace

QtSerialPort::QtSerialPort(QObject* parent) : QObject(parent) {
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort() {
    if (m_port.isOpen()) m_port.close();
}

void QtSerialPort::OpenPort() {
    if (m_port.isOpen()) return;
    // The device is opened, and locked, under its real path: one device under two names (a symbolic
    // link and /dev/pts/29) is one lock, so the second open is refused, as root too.
    const QString device = RealDevicePath(DevicePathForPortName(m_name));
    m_port.setPortName(device);
    m_received.clear();
    // A lock left by a program that was killed names a process that has ended: it is taken over. One
    // of a living process is respected whichever program wrote it (the serial layer would take a lock
    // in the convention's plain form for stale).
    const LockCheck lock = TakeOverStaleLock(device);
    if (!lock.stuck.isEmpty())
        throw PortOpenError(QStringLiteral("Could not open %1 (%2): %3").arg(m_name, device, lock.stuck),
                            device, PortOpenError::Reason::Other, lock.stuck);
    if (lock.holder != 0) {
        const QString held = QStringLiteral("locked by process %1").arg(lock.holder);
        throw PortOpenError(QStringLiteral("Could not open %1 (%2): %3").arg(m_name, device, held), device,
                            PortOpenError::Reason::InUse, held);
    }
    if (!m_port.open(QIODevice::ReadWrite)) {
        // The serial layer reports a refused open and a busy device alike as a permission error;
        // whether the user may open the device at all tells them apart.
        PortOpenError::Reason reason = PortOpenError::Reason::Other;
        QString systemText = m_port.errorString();
        if (m_port.error() == QSerialPort::DeviceNotFoundError) {
            reason = PortOpenError::Reason::NoSuchDevice;
        } else if (m_port.error() == QSerialPort::PermissionError) {
            // Only a refusal of the device itself is the dialout group's business: a name too long
            // for the system (or its lock file), a missing folder, are said as the system says them.
            errno = 0;
            if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0)
                reason = PortOpenError::Reason::InUse;
            else if (errno == EACCES || errno == EPERM)
                reason = PortOpenError::Reason::PermissionDenied;
            else if (errno == ENOENT)
                reason = PortOpenError::Reason::NoSuchDevice;
            else
                systemText = QString::fromLocal8Bit(std::strerror(errno));
        }
        throw PortOpenError(QStringLiteral("Could not open %1 (%2): %3").arg(m_name, device, systemText),
                            device, reason, systemText);
    }
    const bool ok = m_port.setBaudRate(m_settings.baudRate) && m_port.setDataBits(m_settings.dataBits) &&
                    m_port.setStopBits(m_settings.stopBits) && m_port.setParity(m_settings.parity) &&
                    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        const QString reason = m_port.errorString();
        m_port.close();
        throw SerialError(QStringLiteral("Could not configure %1: %2").arg(m_name, reason));
    }
    // DTR and RTS are held inactive; a pseudo-terminal has no modem lines, which is not an error.
    m_port.setDataTerminalReady(false);
    m_port.setRequestToSend(false);
    m_port.clearError();
}

void QtSerialPort::ClosePort() {
    if (m_port.isOpen()) m_port.close();
    m_received.clear();
}

bool QtSerialPort::Connected() const { return m_port.isOpen(); }

void QtSerialPort::requireOpen(const char* operation) const {
    if (!m_port.isOpen())
        throw SerialError(
            QStringLiteral("%1 failed: port %2 is not open").arg(QLatin1String(operation), m_name));
}

void QtSerialPort::fail(const QString& what) {
    const QString reason = m_port.errorString();
    // A vanished device shows as a resource error; a pseudo-terminal whose far side closed reads
    // end-of-file, which QSerialPort reports as a read error. Both mean the link is gone.
    const bool lost =
        m_port.error() == QSerialPort::ResourceError || m_port.error() == QSerialPort::ReadError;
    if (lost) ClosePort();
    throw SerialError(QStringLiteral("%1 on %2: %3").arg(what, m_name, reason));
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    // The device went away: close now so that Connected() tells the truth and a reopen can succeed.
    if ((error == QSerialPort::ResourceError || error == QSerialPort::ReadError) && m_port.isOpen()) {
        m_port.close();
        m_received.clear();
    }
}

void QtSerialPort::pullPending() {
    // Take what the driver already holds without waiting: callers may be blocking the event loop.
    while (m_port.isOpen() && m_port.waitForReadyRead(0)) {
    }
    if (!m_port.isOpen()) return;
    if (m_port.error() == QSerialPort::ResourceError || m_port.error() == QSerialPort::ReadError)
        fail(QStringLiteral("Read failed"));
    QByteArray bytes = m_port.readAll();
    bytes.replace('\0', QByteArray());  // null bytes are discarded on receive
    m_received += bytes;
}

void QtSerialPort::PurgeQueues() {
    requireOpen("Purge");
    m_received.clear();
    m_port.readAll();
    if (!m_port.clear(QSerialPort::AllDirections)) fail(QStringLiteral("Purge failed"));
}

void QtSerialPort::WriteText(const QString& text) {
    requireOpen("Write");
    const QByteArray bytes = text.toLatin1();
    const int timeout = 100 * int(bytes.size()) + 1000;
    qint64 written = m_port.write(bytes);
    if (written != bytes.size()) fail(QStringLiteral("Write failed"));
    while (m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(timeout)) fail(QStringLiteral("Write timed out"));
    }
}

QString QtSerialPort::ReadAvailable(int count) {
    requireOpen("Read");
    pullPending();
    if (!m_port.isOpen()) throw SerialError(QStringLiteral("Read failed: device %1 was lost").arg(m_name));
    return takeLatin1(m_received, count < 0 ? 0 : count);
}

}  // namespace tarsyn::link
