#include "monitor/LiveReading.h"

#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "link/ReplyCheck.h"

namespace tarsyn::monitor {

namespace {

// A field is a number only when all its characters are there and are hexadecimal digits.
bool decodeField(const QString& reply, const BlockField& f, FieldValue& out) {
    out = FieldValue{};
    const QString text = reply.mid(f.position - 1, f.width);
    if (text.size() != f.width) return false;
    quint32 raw = 0;
    for (QChar c : text) {
        const int digit = link::HexDigit(c);
        if (digit < 0) return false;
        raw = raw << 4 | quint32(digit);
    }
    out.raw = raw;
    out.value = f.divisor() == 1 ? double(raw) : double(raw) / f.divisor();
    out.valid = true;
    return true;
}

// The fields of `fields` in table order into `values` (value fields) and `bytes` (bit bytes); every
// one is cleared first, and decoding stops at the first that is not a number.
bool decodeBlock(const QString& reply, const std::vector<BlockField>& fields, FieldValue* values,
                 FieldValue* bytes, int valueCount, int byteCount) {
    for (int i = 0; i < valueCount; ++i) values[i] = FieldValue{};
    for (int i = 0; i < byteCount; ++i) bytes[i] = FieldValue{};
    int value = 0, byte = 0;
    for (const BlockField& f : fields)
        if (!decodeField(reply, f, f.isValue() ? values[value++] : bytes[byte++])) return false;
    return true;
}

}  // namespace

bool DecodeLiveReply(const QString& reply, LiveReading& reading) {
    return decodeBlock(reply, LiveBlockFields(), reading.values.data(), reading.bitBytes.data(),
                       kLiveValueCount, kBitByteCount);
}

bool DecodeDelayReply(const QString& reply, LiveReading& reading) {
    return decodeBlock(reply, DelayBlockFields(), reading.delays.data(), nullptr, kDelayCount, 0);
}

RangeFault FirstOutOfRange(const QString& reply, ReplyBlock block) {
    for (const BlockField& f : block == ReplyBlock::Live ? LiveBlockFields() : DelayBlockFields()) {
        FieldValue v;
        if (!decodeField(reply, f, v)) break;
        if (!f.inRange(v.value)) return {&f, v.value};
    }
    return {};
}

link::ReplyVerdict BlockTransaction(link::ControllerLink& line, ReplyBlock block, int count, int waitMs) {
    const link::ReplyVerdict verdict = line.Transaction(BlockRequest(block), count, waitMs);
    if (verdict != link::ReplyVerdict::Ok || !FirstOutOfRange(line.LastReply(), block)) return verdict;
    line.refuseReply();
    return link::ReplyVerdict::OutOfRange;
}

QString RangeFault::describe() const {
    if (!field) return QString();
    const int decimals = field->divisor() == 100 ? 2 : field->divisor() == 10 ? 1 : 0;
    const QString unit = *field->unit ? QLatin1Char(' ') + QString::fromLatin1(field->unit) : QString();
    return QStringLiteral("%1 %2%3 is outside %4 to %5%3")
        .arg(QString::fromLatin1(field->quantity), QString::number(value, 'f', decimals), unit,
             QString::number(field->low), QString::number(field->high));
}

LiveReading LiveReadingOf(const QString& reply) {
    LiveReading reading;
    DecodeLiveReply(reply, reading);
    return reading;
}

std::optional<double> LiveReading::valueOf(const QString& panel) const {
    const std::vector<BlockField>& fields = LiveValueFields();
    for (size_t i = 0; i < fields.size(); ++i)
        if (panel == QLatin1String(fields[i].panel))
            return values[i].valid ? std::optional<double>(values[i].value) : std::nullopt;
    return std::nullopt;
}

std::optional<bool> LiveReading::indicator(const QString& name) const {
    const std::array<BitByte, 4>& bytes = LiveBitBytes();
    for (size_t b = 0; b < bytes.size(); ++b)
        for (size_t i = 0; i < 8; ++i)
            if (name == QLatin1String(bytes[b].indicators[i])) {
                if (!bitBytes[b].valid) return std::nullopt;
                return ((bitBytes[b].raw >> (7 - i)) & 1u) != 0;  // the first name is bit 7
            }
    return std::nullopt;
}

QStringList LiveReading::activeIndicators() const {
    QStringList on;
    for (const QString& name : IndicatorNames())
        if (indicator(name).value_or(false)) on << name;
    return on;
}

bool LiveReading::liveComplete() const {
    for (const FieldValue& v : values)
        if (!v.valid) return false;
    for (const FieldValue& b : bitBytes)
        if (!b.valid) return false;
    return true;
}

QString BlockRequest(ReplyBlock block) {
    return block == ReplyBlock::Live ? QStringLiteral("000400060030") : QStringLiteral("000400360016");
}

int BlockReadCount(ReplyBlock block) { return link::ReplyLength(BlockRequest(block)) + link::kReplyPeek; }

}  // namespace tarsyn::monitor
