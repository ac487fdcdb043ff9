// The live and delay decoders: every field of the table is shown, in table order, with the value
// its characters spell; a field that is not whole hexadecimal stops the reply there with a
// ConversionError, the fields before it shown and none after. Input: one byte chooses the block,
// the rest is the reply.
#include <QList>
#include <QPair>

#include "FuzzCheck.h"
#include "link/LinkError.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveView.h"

using namespace tarsyn;
using monitor::Conversion;

namespace {

/// Every write, in order: (panel or indicator, text or picture).
class WriteLog : public monitor::LiveView {
public:
    void setPanelText(const QString& panel, const QString& text) override { writes.append({panel, text}); }
    void setIndicatorImage(const QString& indicator, int image) override {
        writes.append({indicator, QString::number(image)});
    }
    void setConnectionImage(int) override { other = true; }
    void setMode(const QString&, bool) override { other = true; }
    void setEntryTexts(const QString&, const QString&, const QString&) override { other = true; }
    void setPortText(const QString&) override { other = true; }
    QString remarkText() const override { return {}; }

    QList<QPair<QString, QString>> writes;
    bool other = false;
};

const monitor::BitByte* bitByteAt(int position) {
    for (const monitor::BitByte& b : monitor::LiveBitBytes())
        if (b.position == position) return &b;
    return nullptr;
}

// What a field must show, from its characters alone; empty when they are not a value.
QList<QPair<QString, QString>> expectedWrites(const QString& reply, const monitor::BlockField& f) {
    const QString digits = reply.mid(f.position - 1, f.width);
    if (digits.size() != f.width || !fuzz::allHex(digits)) return {};
    const quint32 raw = quint32(fuzz::valueOf(digits));
    if (f.conversion != Conversion::Bits)
        return {{QLatin1String(f.panel), monitor::FormatValue(raw, f.conversion)}};
    const monitor::BitByte* byte = bitByteAt(f.position);
    FUZZ_REQUIRE(byte != nullptr, QStringLiteral("no indicators for the bit byte at %1").arg(f.position));
    QList<QPair<QString, QString>> out;
    for (int i = 0; i < 8; ++i)  // the first indicator is bit 7
        out.append({QLatin1String(byte->indicators[size_t(i)]), QString::number((raw >> (7 - i)) & 1u)});
    return out;
}

void checkFormat(quint32 raw, Conversion conversion) {
    const QString text = monitor::FormatValue(raw, conversion);
    bool ok = false;
    const double shown = text.trimmed().toDouble(&ok);
    FUZZ_REQUIRE(ok, text);
    const double scale = conversion == Conversion::Tenths       ? 10.0
                         : conversion == Conversion::Hundredths ? 100.0
                                                                : 1.0;
    FUZZ_REQUIRE(qAbs(shown * scale - double(raw)) < 0.5, text);
    if (conversion != Conversion::Integer)
        FUZZ_REQUIRE(text.size() >= 10 && !text.startsWith(QLatin1Char(' ')), text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const bool live = (in.byte() & 1u) == 0;
    const QString reply = in.restAsLatin1();
    const std::vector<monitor::BlockField>& fields =
        live ? monitor::LiveBlockFields() : monitor::DelayBlockFields();

    // What the reply must show, field by field, up to the first field that is not a value.
    QList<QPair<QString, QString>> expected;
    bool complete = true;
    for (const monitor::BlockField& f : fields) {
        const auto writes = expectedWrites(reply, f);
        if (writes.isEmpty()) {
            complete = false;
            break;
        }
        expected += writes;
    }

    WriteLog view;
    bool raised = false;
    try {
        if (live)
            monitor::LiveDecoder::displayLive(reply, view);
        else
            monitor::LiveDecoder::displayDelay(reply, view);
    } catch (const link::ConversionError&) {
        raised = true;
    }
    FUZZ_REQUIRE(raised == !complete, QStringLiteral("error %1 for %2").arg(raised).arg(reply));
    FUZZ_REQUIRE(!view.other, "a block decoder touched the link state");
    FUZZ_REQUIRE(view.writes == expected, QStringLiteral("shown %1 of %2 writes for %3")
                                              .arg(view.writes.size())
                                              .arg(expected.size())
                                              .arg(reply));

    // The panel texts of the raw values the reply may carry, 24-bit running time included.
    quint32 raw = 0;
    for (QChar c : reply.left(6)) raw = (raw << 8) | quint32(c.unicode() & 0xFF);
    for (Conversion c : {Conversion::Integer, Conversion::Tenths, Conversion::Hundredths})
        checkFormat(raw, c);
    return 0;
}
