#include "link/Codec.h"

#include "link/LinkError.h"

namespace tarsyn::link {

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

namespace {

ConversionError notHex(const QString& text) {
    return ConversionError(QStringLiteral("'$%1' is not a valid integer value").arg(text));
}

}  // namespace

quint32 ParseHex(const QString& digits) {
    if (digits.isEmpty() || digits.size() > 8) throw notHex(digits);
    quint32 value = 0;
    for (QChar c : digits) {
        const int d = HexDigit(c);
        if (d < 0) throw notHex(digits);
        value = (value << 4) | quint32(d);
    }
    return value;
}

QString ToHex(quint32 value, int minDigits) {
    return QStringLiteral("%1").arg(value, minDigits, 16, QLatin1Char('0')).toUpper();
}

int XorCheck(const QString& request) {
    if (request.isEmpty()) return 0;
    if (request.size() == 1) return int(ParseHex(request));
    int check = int(ParseHex(request.mid(0, 2)));
    for (int p = 2; p < request.size(); p += 2) check ^= int(ParseHex(request.mid(p, 2)));
    return check;
}

QString BuildFrame(const QString& request) {
    return request + ToHex(quint32(XorCheck(request)), 2) + QStringLiteral("\r\n");
}

quint32 HexField(const QString& reply, int position, int width) {
    if (position < 1 || width < 1 || position > reply.size()) throw notHex(QString());
    return ParseHex(reply.mid(position - 1, width));
}

QString HexToBits(const QString& hex) {
    static const char* const kNibbles[16] = {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
                                             "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111"};
    if (hex.isEmpty()) throw notHex(hex);
    QString bits;
    bits.reserve(hex.size() * 4);
    for (QChar c : hex) {
        const int d = HexDigit(c);
        if (d < 0) throw notHex(hex);
        bits += QLatin1String(kNibbles[d]);
    }
    return bits;
}

quint64 BitsToInt(const QString& bits) {
    quint64 value = 0;
    for (QChar c : bits) value = (value << 1) | (c == QLatin1Char('1') ? 1u : 0u);
    return value;
}

}  // namespace tarsyn::link
