// The frame codec against a reference of its own promises. Input: two bytes choose the position
// and width of a HexField read, the rest is the text every conversion is given.
#include "FuzzCheck.h"
#include "link/Codec.h"
#include "link/LinkError.h"

using namespace tarsyn;
using fuzz::allHex;
using fuzz::hexDigit;

namespace {

// The check as the controller computes it: the text read as two-digit values XORed together, a
// trailing single digit counting 0-15.
int referenceXor(const QString& text) {
    int x = 0;
    for (int p = 0; p < text.size(); p += 2) x ^= int(fuzz::valueOf(text.mid(p, 2)));
    return x;
}

void parseHex(const QString& text) {
    const bool valid = !text.isEmpty() && text.size() <= 8 && allHex(text);
    try {
        const quint32 v = link::ParseHex(text);
        FUZZ_REQUIRE(valid, "ParseHex accepted " + text);
        FUZZ_REQUIRE(v == fuzz::valueOf(text), text);
        // Round trip: the value written back with as many digits is the text in upper case.
        FUZZ_REQUIRE(link::ToHex(v, int(text.size())) == text.toUpper(), text);
        FUZZ_REQUIRE(link::ParseHex(link::ToHex(v, 1)) == v, text);
    } catch (const link::ConversionError&) {
        FUZZ_REQUIRE(!valid, "ParseHex refused " + text);
    }
}

void hexToBits(const QString& text) {
    const bool valid = !text.isEmpty() && allHex(text);
    try {
        const QString bits = link::HexToBits(text);
        FUZZ_REQUIRE(valid, "HexToBits accepted " + text);
        FUZZ_REQUIRE(bits.size() == 4 * text.size(), text);
        for (int i = 0; i < text.size(); ++i)  // each digit is its own four bits, most significant first
            FUZZ_REQUIRE(link::BitsToInt(bits.mid(4 * i, 4)) == quint64(hexDigit(text.at(i))), text);
        if (text.size() <= 16) FUZZ_REQUIRE(link::BitsToInt(bits) == fuzz::valueOf(text), text);
    } catch (const link::ConversionError&) {
        FUZZ_REQUIRE(!valid, "HexToBits refused " + text);
    }
}

void bitsToInt(const QString& text) {
    // Any character but '1' adds nothing; only the last 64 characters can count.
    quint64 expected = 0;
    for (QChar c : text.right(64)) expected = (expected << 1) | (c == QLatin1Char('1') ? 1u : 0u);
    FUZZ_REQUIRE(link::BitsToInt(text) == expected, text);
}

void hexField(const QString& reply, int position, int width) {
    const QString field = position >= 1 ? reply.mid(position - 1, width) : QString();
    const bool valid =
        position >= 1 && width >= 1 && position <= reply.size() && field.size() <= 8 && allHex(field);
    try {
        const quint32 v = link::HexField(reply, position, width);
        FUZZ_REQUIRE(
            valid, QStringLiteral("HexField accepted %1 at %2 width %3").arg(reply).arg(position).arg(width));
        FUZZ_REQUIRE(v == fuzz::valueOf(field), reply);
    } catch (const link::ConversionError&) {
        FUZZ_REQUIRE(
            !valid, QStringLiteral("HexField refused %1 at %2 width %3").arg(reply).arg(position).arg(width));
    }
}

void xorCheck(const QString& text) {
    const bool valid = allHex(text);
    try {
        const int check = link::XorCheck(text);
        FUZZ_REQUIRE(valid, "XorCheck accepted " + text);
        FUZZ_REQUIRE(check == referenceXor(text), text);
        FUZZ_REQUIRE(check >= 0 && check <= 255, text);
        const QString frame = link::BuildFrame(text);
        FUZZ_REQUIRE(frame == text + link::ToHex(quint32(check), 2) + QStringLiteral("\r\n"), text);
        // A whole frame of pairs checks to zero: the receiver's test of a line.
        if (text.size() % 2 == 0) FUZZ_REQUIRE(link::XorCheck(frame.chopped(2)) == 0, frame);
    } catch (const link::ConversionError&) {
        FUZZ_REQUIRE(!valid, "XorCheck refused " + text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const int position = int(in.byte()) - 8;  // a few before the start, most inside, some beyond
    const int width = int(in.byte() % 12);    // 0 and widths past eight digits included
    const QString text = in.restAsLatin1();
    parseHex(text);
    hexToBits(text);
    bitsToInt(text);
    hexField(text, position, width);
    xorCheck(text);
    return 0;
}
