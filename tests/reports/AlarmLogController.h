#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "FakeSerialPort.h"
#include "link/Codec.h"

namespace tarsyn::test {

/// A controller behind a FakeSerialPort that holds an alarm log at 0x0200 (count, spare byte,
/// 7-byte records) and answers block reads from it with the whole reply, check and CR LF included.
/// `shape` may rewrite a reply before it "arrives" (cut it, spoil its header).
class AlarmLogController {
public:
    explicit AlarmLogController(FakeSerialPort& port) : m_port(port) {
        m_port.onWrite = [this](const QString& line) { answer(line); };
    }

    /// A record of seven bytes given as 14 hexadecimal digits ("05091231235958").
    void addRecord(const QString& hexDigits) {
        m_records += QByteArray::fromHex(hexDigits.toLatin1());
        setCount(int(m_records.size() / 7));
    }
    /// Records 1…n whose code is n % 32 + 1 and whose time counts up from 2010-01-01 00:00:01.
    void fill(int n) {
        for (int i = 1; i <= n; ++i)
            addRecord(two(i % 32 + 1) + QStringLiteral("100101") + two(i / 3600) + two(i / 60 % 60) +
                      two(i % 60));
    }
    void setCount(int count) { m_count = count; }
    /// Two decimal digits, as the controller stores dates and codes 1-32 here.
    static QString two(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

    QStringList requests;  ///< the request texts, check and line end removed
    std::function<QString(const QString& reply)> shape;

private:
    void answer(const QString& line) {
        const QString request = line.left(line.size() - 4);  // check digits and CR LF
        requests << request;
        if (!request.startsWith(QLatin1String("0004")) || request.size() != 12) return;
        const int address = int(link::ParseHex(request.mid(4, 4)));
        const int count = int(link::ParseHex(request.mid(8, 4)));
        QByteArray image(2, '\0');
        image[0] = char(m_count);
        image += m_records;
        QByteArray data = image.mid(address - 0x0200, count);
        data.resize(count, '\0');
        QString reply = QStringLiteral("0004") + link::ToHex(quint32(count), 2) +
                        QString::fromLatin1(data.toHex().toUpper());
        reply += link::ToHex(quint32(link::XorCheck(reply)), 2) + QStringLiteral("\r\n");
        if (shape) reply = shape(reply);
        m_port.arrive(reply);
    }

    FakeSerialPort& m_port;
    QByteArray m_records;
    int m_count = 0;
};

}  // namespace tarsyn::test
