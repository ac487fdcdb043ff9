#include "link/ReplyCheck.h"

#include <QtGlobal>

#include "link/Codec.h"

namespace tarsyn::link {

namespace {

bool allHex(const QString& text) {
    for (QChar c : text)
        if (HexDigit(c) < 0) return false;
    return true;
}

// No QString constants here: the poll cycle sizes its reads from ReplyLength while statics start up.
bool isBlockRead(const QString& request) {
    return request.size() == 12 && request.mid(2, 2) == QLatin1String("04");
}

// Characters [from, to) of the reply, as far as it goes, spell the same digits as `expected` from
// `from` (upper or lower case alike).
bool sameDigits(const QString& reply, int from, int to, const QString& expected) {
    to = qMin(to, reply.size());
    for (int i = from; i < to; ++i)
        if (i >= expected.size() || HexDigit(reply.at(i)) != HexDigit(expected.at(i))) return false;
    return true;
}

}  // namespace

int ReplyLength(const QString& request) {
    if (request.size() < 12 || !allHex(request)) return 0;
    if (isBlockRead(request)) return 2 * int(ParseHex(request.mid(8, 4))) + 10;
    return request.size() + 4;  // the echo: the request, its check, CR LF
}

ReplyVerdict CheckReply(const QString& reply, const QString& request) {
    const int whole = ReplyLength(request);
    if (reply.isEmpty()) return ReplyVerdict::NoReply;
    if (whole == 0) return ReplyVerdict::WrongEcho;  // no reply can be the answer to such a text
    const int checkEnd = whole - 2;                  // the line end follows the check
    const int body = checkEnd - 2;                   // what the check covers

    // A block read's reply starts "00" "04" and its count in two digits; any other request is echoed.
    const bool block = isBlockRead(request);
    const QString expected = block ? request.left(4) + ToHex(ParseHex(request.mid(8, 4)), 2) : request;
    const int header = block ? 6 : body;
    // Noise in front is told from a foreign frame: the header's characters are looked at first.
    if (!allHex(reply.left(qMin(header, checkEnd)))) return ReplyVerdict::NotHex;
    if (!sameDigits(reply, 0, 2, expected)) return ReplyVerdict::WrongStation;
    if (!sameDigits(reply, 2, 4, expected)) return ReplyVerdict::WrongFunction;
    // A count above 255 does not fit the reply's two digits: no reply can state it.
    if (!sameDigits(reply, 4, header, expected) || (expected.size() > header && reply.size() > 4))
        return block ? ReplyVerdict::WrongCount : ReplyVerdict::WrongEcho;
    if (!allHex(reply.mid(header, checkEnd - header))) return ReplyVerdict::NotHex;

    if (reply.size() < checkEnd) return ReplyVerdict::Short;
    if (ParseHex(reply.mid(body, 2)) != quint32(XorCheck(reply.left(body)))) return ReplyVerdict::BadCheck;
    if (!QStringLiteral("\r\n").startsWith(reply.mid(checkEnd, 2))) return ReplyVerdict::BadEnd;
    if (reply.size() > whole) return ReplyVerdict::Trailing;
    return ReplyVerdict::Ok;
}

QString ReplyVerdictName(ReplyVerdict verdict) {
    switch (verdict) {
        case ReplyVerdict::Ok:
            return QStringLiteral("ok");
        case ReplyVerdict::NoReply:
            return QStringLiteral("no reply");
        case ReplyVerdict::NotHex:
            return QStringLiteral("not hexadecimal");
        case ReplyVerdict::WrongStation:
            return QStringLiteral("wrong station");
        case ReplyVerdict::WrongFunction:
            return QStringLiteral("wrong function");
        case ReplyVerdict::WrongCount:
            return QStringLiteral("wrong byte count");
        case ReplyVerdict::WrongEcho:
            return QStringLiteral("wrong echo");
        case ReplyVerdict::Short:
            return QStringLiteral("short");
        case ReplyVerdict::BadCheck:
            return QStringLiteral("bad check");
        case ReplyVerdict::BadEnd:
            return QStringLiteral("bad line end");
        case ReplyVerdict::Trailing:
            return QStringLiteral("second frame");
        case ReplyVerdict::OutOfRange:
            return QStringLiteral("value out of range");
    }
    return QString();
}

}  // namespace tarsyn::link
