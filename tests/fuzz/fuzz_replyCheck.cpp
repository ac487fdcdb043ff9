// The reply check against a reading of its own promise: a reply is Ok exactly when it is the whole
// frame its request asks for (station, function and byte count, or the request echoed, digit for
// digit in either case; hexadecimal up to its check; the check the XOR of what precedes it; then
// CR LF, or as much of it as has arrived, and nothing after). A well-framed reply passes, and so
// does no copy of it with one digit changed, a character in front, or a second frame behind.
// Input: one byte chooses the request and, with its top bit, whether the rest is the reply as it
// arrives or the data digits of a well-framed reply; a second byte chooses the digit to change.
#include <QStringList>

#include "FuzzCheck.h"
#include "link/Codec.h"
#include "link/ReplyCheck.h"

using namespace tarsyn;
using link::ReplyVerdict;

namespace {

// Every request the program sends: the block reads, a command, the word and the single write.
const QStringList kRequests{"000400060030", "000400360016", "0004001A0004", "0004004C000A", "00040056000C",
                            "000401800020", "000401A00020", "000401C00020", "00040076000D", "000400800002",
                            "000400620026", "00040150002E", "00040200002C", "00040256002A", "0005100000FF",
                            "0005100800FF", "000701504142", "000600820001"};

bool blockRead(const QString& request) { return request.mid(2, 2) == QLatin1String("04"); }

// The length of the whole reply, CR LF included.
int replyLength(const QString& request) {
    return blockRead(request) ? 2 * int(link::ParseHex(request.mid(8, 4))) + 10 : int(request.size()) + 4;
}

bool sameDigits(const QString& a, const QString& b) {
    if (a.size() != b.size()) return false;
    for (int i = 0; i < a.size(); ++i)
        if (fuzz::hexDigit(a.at(i)) != fuzz::hexDigit(b.at(i))) return false;
    return true;
}

int xorOf(const QString& digits) {
    int x = 0;
    for (int p = 0; p + 1 < digits.size(); p += 2) x ^= int(fuzz::valueOf(digits.mid(p, 2)));
    return x;
}

bool whole(const QString& reply, const QString& request) {
    const int length = replyLength(request);
    if (reply.size() < length - 2 || reply.size() > length) return false;
    const QString frame = reply.left(length - 2);  // up to and with the check
    if (!fuzz::allHex(frame)) return false;
    const QString head =
        blockRead(request) ? request.left(4) + link::ToHex(link::ParseHex(request.mid(8, 4)), 2) : request;
    if (!sameDigits(frame.left(head.size()), head)) return false;
    if (int(fuzz::valueOf(frame.right(2))) != xorOf(frame.left(length - 4))) return false;
    return QStringLiteral("\r\n").startsWith(reply.mid(length - 2));
}

QString verdict(const QString& reply, const QString& request) {
    return link::ReplyVerdictName(link::CheckReply(reply, request)) + " for " + request + ": " + reply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const quint8 choice = in.byte();
    const QString request = kRequests.at((choice & 0x7F) % kRequests.size());
    const int changeAt = in.byte();
    QString reply;
    if (!(choice & 0x80)) {
        reply = in.restAsLatin1();
    } else if (blockRead(request)) {
        reply = fuzz::framedReply(request, in.rest());
    } else {
        reply = link::BuildFrame(request);
    }
    FUZZ_REQUIRE(link::ReplyLength(request) == replyLength(request), request);
    const ReplyVerdict v = link::CheckReply(reply, request);
    FUZZ_REQUIRE((v == ReplyVerdict::Ok) == whole(reply, request), verdict(reply, request));
    FUZZ_REQUIRE((v == ReplyVerdict::NoReply) == reply.isEmpty(), verdict(reply, request));
    if (v != ReplyVerdict::Ok) return 0;

    // What the controller sends whole, cut before its line end has arrived, still passes.
    const int length = replyLength(request);
    FUZZ_REQUIRE(link::CheckReply(reply.left(length - 2), request) == ReplyVerdict::Ok,
                 verdict(reply.left(length - 2), request));
    // One digit changed in transit: the check (or the header) sees it.
    QString changed = reply;
    const int at = changeAt % (length - 2);
    const int digit = fuzz::hexDigit(changed.at(at));
    changed[at] = QLatin1Char("0123456789ABCDEF"[(digit + 1 + (changeAt >> 4) % 15) % 16]);
    FUZZ_REQUIRE(link::CheckReply(changed, request) != ReplyVerdict::Ok, verdict(changed, request));
    // Noise in front shifts every field; a second frame behind means one of them is foreign.
    FUZZ_REQUIRE(link::CheckReply(QStringLiteral("0") + reply, request) != ReplyVerdict::Ok,
                 verdict("0" + reply, request));
    FUZZ_REQUIRE(link::CheckReply(reply.left(length) + reply.left(2), request) != ReplyVerdict::Ok,
                 verdict(reply + reply.left(2), request));
    return 0;
}
