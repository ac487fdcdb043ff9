#include "link/LineSettings.h"

#include <QDir>
#include <QRegularExpression>

#include "link/LinkError.h"

namespace tarsyn::link {

namespace {

SerialError unknown(const char* what, const QString& text) {
    return SerialError(QStringLiteral("Invalid %1 '%2'").arg(QLatin1String(what), text));
}

}  // namespace

LineSettings LineSettings::fromTexts(const QString& baud, const QString& dataBits, const QString& stopBits,
                                     const QString& parity) {
    static const qint32 kBauds[] = {110,   300,   600,   1200,  2400,   4800,   9600,
                                    14400, 19200, 38400, 57600, 115200, 128000, 256000};
    LineSettings s;
    bool ok = false;
    const qint32 b = baud.trimmed().toInt(&ok);
    if (!ok || std::find(std::begin(kBauds), std::end(kBauds), b) == std::end(kBauds))
        throw unknown("baud rate", baud);
    s.baudRate = b;

    const QString d = dataBits.trimmed();
    if (d == "5")
        s.dataBits = QSerialPort::Data5;
    else if (d == "6")
        s.dataBits = QSerialPort::Data6;
    else if (d == "7")
        s.dataBits = QSerialPort::Data7;
    else if (d == "8")
        s.dataBits = QSerialPort::Data8;
    else
        throw unknown("data bits", dataBits);

    const QString st = stopBits.trimmed();
    if (st == "1")
        s.stopBits = QSerialPort::OneStop;
    else if (st == "1.5")
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (st == "2")
        s.stopBits = QSerialPort::TwoStop;
    else
        throw unknown("stop bits", stopBits);

    const QString p = parity.trimmed().toLower();
    if (p == "none")
        s.parity = QSerialPort::NoParity;
    else if (p == "odd")
        s.parity = QSerialPort::OddParity;
    else if (p == "even")
        s.parity = QSerialPort::EvenParity;
    else if (p == "mark")
        s.parity = QSerialPort::MarkParity;
    else if (p == "space")
        s.parity = QSerialPort::SpaceParity;
    else
        throw unknown("parity", parity);
    return s;
}

QString DevicePathForPortName(const QString& portName) {
    const QString name = portName.trimmed();
    if (name.startsWith(QLatin1Char('/'))) return name;
    // A name with a folder in it is a path, relative to the working folder ("build/demo/controller-1");
    // only a bare name lives under /dev.
    if (name.contains(QLatin1Char('/'))) return QDir::cleanPath(QDir::current().absoluteFilePath(name));
    static const QRegularExpression com(QStringLiteral("^com([1-9]\\d*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(name);
#ifdef Q_OS_WIN
    Q_UNUSED(m);
    return name;
#else
    if (m.hasMatch()) {
        const int n = m.captured(1).toInt();
        return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    }
    return QStringLiteral("/dev/") + name;
#endif
}

}  // namespace tarsyn::link
