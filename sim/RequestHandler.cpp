#include "RequestHandler.h"

#include "link/Codec.h"

namespace tarsyn::sim {

using link::ParseHex;
using link::ToHex;
using link::XorCheck;

namespace {

Reply silent(const QString& reason) {
    Reply r;
    r.reason = reason;
    return r;
}

Reply echo(const QByteArray& line) {
    Reply r;
    r.answered = true;
    r.text = line + "\r\n";
    return r;
}

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

Reply RequestHandler::handle(const QByteArray& line) {
    if (line.size() < 14)
        return silent(
            QStringLiteral("bad length %1 (a request has at least 14 characters)").arg(line.size()));
    for (int i = 0; i < line.size(); ++i) {
        if (!isUpperHex(line.at(i)))
            return silent(
                QStringLiteral("character 0x%1 at position %2 is not an upper-case hexadecimal digit")
                    .arg(ToHex(quint8(line.at(i)), 2))
                    .arg(i + 1));
    }
    const QString text = QString::fromLatin1(line.left(line.size() - 2));
    const int check = int(ParseHex(QString::fromLatin1(line.right(2))));
    const int expected = XorCheck(text);
    if (check != expected)
        return silent(QStringLiteral("wrong check %1, expected %2")
                          .arg(ToHex(quint32(check), 2), ToHex(quint32(expected), 2)));
    if (!text.startsWith(QLatin1String("00")))
        return silent(QStringLiteral("station %1 is not this controller's (00)").arg(text.left(2)));

    m_engine.refresh();
    const QString function = text.mid(2, 2);
    if (function == QLatin1String("04")) return blockRead(text);
    if (function == QLatin1String("05")) return command(text, line);
    if (function == QLatin1String("07")) return wordWrite(text, line);
    if (function == QLatin1String("06")) return singleWrite(text, line);
    return silent(QStringLiteral("unknown function %1").arg(function));
}

Reply RequestHandler::blockRead(const QString& text) {
    if (text.size() != 12)
        return silent(QStringLiteral("bad length: a block read has 12 characters before its check"));
    const int address = int(ParseHex(text.mid(4, 4)));
    const int count = int(ParseHex(text.mid(8, 4)));
    // The reply states the count in two digits, so one read returns 1 to 255 bytes.
    if (count < 1 || count > 255) return silent(QStringLiteral("byte count %1 is not 1-255").arg(count));
    if (!ControllerMemory::readable(address, count))
        return silent(QStringLiteral("block 0x%1 + %2 bytes lies beyond the memory and the alarm log")
                          .arg(ToHex(quint32(address), 4))
                          .arg(count));
    QString reply = QStringLiteral("0004") + ToHex(quint32(count), 2) +
                    QString::fromLatin1(m_memory.bytes(address, count).toHex().toUpper());
    reply += ToHex(quint32(XorCheck(reply)), 2) + QStringLiteral("\r\n");
    Reply r;
    r.answered = true;
    r.text = reply.toLatin1();
    return r;
}

Reply RequestHandler::command(const QString& text, const QByteArray& line) {
    if (text.size() != 12)
        return silent(QStringLiteral("bad length: a command has 12 characters before its check"));
    const QString code = text.mid(4, 4);
    if (text.mid(8, 4) != QLatin1String("00FF"))
        return silent(QStringLiteral("command data %1 is not 00FF").arg(text.mid(8, 4)));
    if (code == QLatin1String("1000"))
        m_engine.automatic();
    else if (code == QLatin1String("1001"))
        m_engine.start();
    else if (code == QLatin1String("1002"))
        m_engine.resetStop();
    else if (code == QLatin1String("1003"))
        m_engine.test();
    else if (code == QLatin1String("1008"))
        m_engine.restoreFactorySettings();
    else
        return silent(QStringLiteral("unknown command %1").arg(code));
    m_engine.refresh();
    return echo(line);
}

Reply RequestHandler::wordWrite(const QString& text, const QByteArray& line) {
    if (text.size() != 12)
        return silent(QStringLiteral("bad length: a word write has 12 characters before its check"));
    const int address = int(ParseHex(text.mid(4, 4)));
    const quint16 value = quint16(ParseHex(text.mid(8, 4)));
    if (!ControllerMemory::inRange(address, 2))
        return silent(
            QStringLiteral("word at 0x%1 lies beyond the 1024 bytes").arg(ToHex(quint32(address), 4)));
    m_memory.setWord(address, value);
    m_engine.calibrate(address, value);  // does nothing outside the calibration words
    m_engine.refresh();
    return echo(line);
}

Reply RequestHandler::singleWrite(const QString& text, const QByteArray& line) {
    // Address, then a value of at least four digits of which the low byte is stored.
    if (text.size() < 12 || text.size() > 16)
        return silent(QStringLiteral("bad length: a single write has 12 to 16 characters before its check"));
    const int address = int(ParseHex(text.mid(4, 4)));
    const quint32 value = ParseHex(text.mid(8));
    if (!ControllerMemory::inRange(address, 1))
        return silent(
            QStringLiteral("byte at 0x%1 lies beyond the 1024 bytes").arg(ToHex(quint32(address), 4)));
    m_memory.setByte(address, quint8(value & 0xFF));
    m_engine.refresh();
    return echo(line);
}

QList<QByteArray> LineBuffer::feed(const QByteArray& bytes) {
    QList<QByteArray> lines;
    for (char c : bytes) {
        if (c == '\n') {
            if (!m_discarding) {
                if (m_pending.endsWith('\r')) m_pending.chop(1);
                if (!m_pending.isEmpty()) lines << m_pending;
            }
            m_pending.clear();
            m_discarding = false;
            continue;
        }
        if (m_discarding) continue;
        m_pending += c;
        if (m_pending.size() > kMaxLine) {
            m_pending.clear();
            m_discarding = true;
        }
    }
    return lines;
}

}  // namespace tarsyn::sim
