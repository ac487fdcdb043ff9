#pragma once
// What every fuzz target shares: its entry point, a check that stops the run naming the promise
// that broke, and a reader that carves an input into the parts a target needs.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

}  // namespace tarsyn::fuzz

#define FUZZ_REQUIRE(promise, detail)                                                 \
    do {                                                                              \
        if (!(promise)) ::tarsyn::fuzz::fail(__FILE__, __LINE__, #promise, (detail)); \
    } while (false)
