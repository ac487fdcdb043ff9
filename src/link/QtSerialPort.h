#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>

#include "link/SerialPort.h"

namespace tarsyn::link {

/// SerialPort on QSerialPort: no flow control, DTR and RTS held inactive, reads that never wait.
/// A device that disappears (adapter unplugged, peer of a pseudo-terminal gone) closes the port, so
/// Connected() turns false and the next OpenPort can bring the link back.
class QtSerialPort : public QObject, public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(QObject* parent = nullptr);
    ~QtSerialPort() override;

    void setPortName(const QString& name) override { m_name = name; }
    QString portName() const override { return m_name; }
    void setLineSettings(const LineSettings& settings) override { m_settings = settings; }

    void OpenPort() override;
    void ClosePort() override;
    bool Connected() const override;
    void PurgeQueues() override;
    void WriteText(const QString& text) override;
    QString ReadAvailable(int count) override;

private:
    void requireOpen(const char* operation) const;
    void pullPending();
    [[noreturn]] void fail(const QString& what);
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QString m_name = QStringLiteral("COM1");
    LineSettings m_settings;
    QByteArray m_received;  // bytes pulled from the device and not yet handed out
};

}  // namespace tarsyn::link
