#pragma once
// What every fuzz target shares: its entry point, a check that stops the run naming the promise
// that broke, and a reader that carves an input into the parts a target needs.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "link/Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace tarsyn::fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* promise, const QString& detail) {
    std::fprintf(stderr, "%s:%d: broken promise: %s\n  %s\n", file, line, promise, qPrintable(detail));
    std::fflush(stderr);
    std::abort();  // libFuzzer keeps the input as a crash; the corpus replay fails its test
}

/// Bytes of one input, taken from the front as the target needs them.
class Input {
public:
    Input(const uint8_t* data, size_t size) : m_bytes(reinterpret_cast<const char*>(data), qsizetype(size)) {}
    /// The next byte, 0 once the input is used up.
    quint8 byte() { return m_at < m_bytes.size() ? quint8(m_bytes.at(m_at++)) : 0; }
    /// Everything not taken yet.
    QByteArray rest() {
        const QByteArray r = m_bytes.mid(m_at);
        m_at = m_bytes.size();
        return r;
    }
    /// Serial text arrives byte by byte; each byte is one character.
    QString restAsLatin1() { return QString::fromLatin1(rest()); }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
};

/// Value of a hexadecimal digit, -1 for anything else: the reference the decoders are held to.
inline int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

inline bool allHex(const QString& text) {
    for (QChar c : text)
        if (hexDigit(c) < 0) return false;
    return true;
}

/// The value hexadecimal digits spell (the last 16 of them).
inline quint64 valueOf(const QString& digits) {
    quint64 v = 0;
    for (QChar c : digits) v = (v << 4) | quint64(hexDigit(c));
    return v;
}

/// A well-framed answer to the block read `request` (the byte count it asks for, its check, CR LF)
/// whose data digits come from `bytes`, one digit a byte, upper or lower case, filled up with "0":
/// what gets through the reply check, for targets that decode what comes after it.
inline QString framedReply(const QString& request, const QByteArray& bytes) {
    static const char kUpper[] = "0123456789ABCDEF", kLower[] = "0123456789abcdef";
    const int n = int(link::ParseHex(request.mid(8, 4)));
    QString data;
    for (int i = 0; i < 2 * n; ++i) {
        const quint8 b = i < bytes.size() ? quint8(bytes.at(i)) : 0;
        data += QLatin1Char((b & 0x10) ? kLower[b & 15] : kUpper[b & 15]);
    }
    return link::BuildFrame(request.left(4) + link::ToHex(quint32(n), 2) + data);
}

}  // namespace tarsyn::fuzz

#define FUZZ_REQUIRE(promise, detail)                                                 \
    do {                                                                              \
        if (!(promise)) ::tarsyn::fuzz::fail(__FILE__, __LINE__, #promise, (detail)); \
    } while (false)
