#pragma once

#include <QSerialPort>
#include <QString>

namespace tarsyn::link {

/// Line settings of the controller link, made from the texts the program stores ("2400", "8", "1", "none").
struct LineSettings {
    qint32 baudRate = 2400;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::Parity parity = QSerialPort::NoParity;

    /// Converts the four texts; an unknown text raises SerialError naming it (never a silent default).
    static LineSettings fromTexts(const QString& baud, const QString& dataBits, const QString& stopBits,
                                  const QString& parity);
    /// The controller's only setting: 2400 baud, 8 data bits, 1 stop bit, no parity.
    static LineSettings controllerDefault() { return fromTexts("2400", "8", "1", "none"); }

    bool operator==(const LineSettings& o) const {
        return baudRate == o.baudRate && dataBits == o.dataBits && stopBits == o.stopBits &&
               parity == o.parity;
    }
};

/// The device a configured port name means on this system: an absolute path ("/dev/ttyUSB0") as it is,
/// a name with a "/" in it ("build/demo/controller-1") as a path relative to the working folder, a bare
/// name ("ttyUSB0") under /dev, and "COMn" (any case) as /dev/ttyS(n-1) on Linux, the device itself on
/// Windows.
QString DevicePathForPortName(const QString& portName);

}  // namespace tarsyn::link
