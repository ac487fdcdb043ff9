#include "monitor/LiveMap.h"

#include <algorithm>

#include "link/Codec.h"
#include "link/LinkError.h"
#include "monitor/LiveView.h"

namespace tarsyn::monitor {

namespace {

using C = Conversion;

// The indicators drawn with the three-picture alarm set (white, red, green).
const char* const kAlarmIndicators[] = {"zs1", "zs2", "zs3", "zs4", "zs5", "zs6", "zs7", "zs8", "zs9"};

const std::array<BitByte, 4> kBitBytes = {{
    {47, {"zs9", "zs6", "zs5", "zs4", "zs8", "zs3", "zs2", "zs1"}},
    {49, {"zs16", "zs7", "zs14", "zs13", "zs12", "zs11", "zs10", "zs15"}},
    {51, {"zs25", "zs22", "zs21", "zs20", "zs23", "zs19", "zs18", "zs17"}},
    {53, {"zs34", "zs31", "zs30", "zs29", "zs33", "zs28", "zs27", "zs26"}},
}};

// Data byte k of the block sits at position 7 + 2k; the running time at 0x0016 is three bytes wide.
const std::vector<BlockField> kLiveFields = {
    {7, 4, C::Integer, "pnl34"},      // mains voltage A, V
    {11, 4, C::Integer, "pnl35"},     // mains voltage B, V
    {15, 4, C::Integer, "pnl36"},     // mains voltage C, V
    {19, 4, C::Tenths, "pnl21"},      // mains frequency, Hz
    {27, 4, C::Integer, "pnl25"},     // water temperature 2, C
    {31, 4, C::Integer, "pnl27"},     // oil pressure 2, kPa
    {35, 4, C::Tenths, "pnl31"},      // power, kW
    {39, 6, C::Tenths, "pnl37"},      // engine running time, hours (24 bits)
    {45, 2, C::Hundredths, "pnl33"},  // power factor
    {47, 2, C::Bits, ""},             // alarms
    {49, 2, C::Bits, ""},             // states
    {51, 2, C::Bits, ""},             // inputs
    {53, 2, C::Bits, ""},             // outputs
    {55, 4, C::Integer, "pnl14"},     // current A, A
    {59, 4, C::Integer, "pnl15"},     // current B, A
    {63, 4, C::Integer, "pnl16"},     // current C, A
    {67, 4, C::Integer, "pnl11"},     // generator voltage A, V
    {71, 4, C::Integer, "pnl12"},     // generator voltage B, V
    {75, 4, C::Integer, "pnl13"},     // generator voltage C, V
    {79, 4, C::Integer, "pnl24"},     // water temperature, C
    {83, 4, C::Integer, "pnl26"},     // oil pressure, kPa
    {87, 4, C::Integer, "pnl32"},     // oil temperature / oil level reading
    {91, 4, C::Tenths, "pnl17"},      // battery voltage, V
    {95, 4, C::Tenths, "pnl22"},      // generator frequency, Hz
    {99, 4, C::Integer, "pnl23"},     // engine speed, rpm
};

const std::vector<BlockField> kDelayFields = {
    {7, 2, C::Integer, "pnl41"},  {9, 2, C::Integer, "pnl42"},  {11, 2, C::Integer, "pnl43"},
    {13, 2, C::Integer, "pnl44"}, {15, 2, C::Integer, "pnl45"}, {17, 2, C::Integer, "pnl46"},
    {19, 2, C::Integer, "pnl51"}, {21, 2, C::Integer, "pnl52"}, {23, 2, C::Integer, "pnl53"},
    {25, 2, C::Integer, "pnl54"}, {27, 2, C::Integer, "pnl55"}, {29, 2, C::Integer, "pnl56"},
    {31, 2, C::Integer, "pnl61"}, {33, 2, C::Integer, "pnl62"}, {35, 2, C::Integer, "pnl63"},
    {37, 2, C::Integer, "pnl64"}, {39, 2, C::Integer, "pnl65"}, {41, 2, C::Integer, "pnl66"},
    {43, 2, C::Integer, "pnl71"}, {45, 2, C::Integer, "pnl72"}, {47, 2, C::Integer, "pnl73"},
    {49, 2, C::Integer, "pnl74"},
};

const BitByte& bitByteAt(int position) {
    for (const BitByte& b : kBitBytes)
        if (b.position == position) return b;
    throw link::ConversionError(QStringLiteral("No bit byte at position %1").arg(position));
}

// The characters of one field; a field cut by the end of the reply is not a value.
QString fieldText(const QString& reply, const BlockField& f) {
    const QString text = reply.mid(f.position - 1, f.width);
    if (text.size() != f.width)
        throw link::ConversionError(QStringLiteral("'$%1' is not a valid integer value").arg(text));
    return text;
}

}  // namespace

const std::vector<BlockField>& LiveBlockFields() { return kLiveFields; }
const std::vector<BlockField>& DelayBlockFields() { return kDelayFields; }
const std::array<BitByte, 4>& LiveBitBytes() { return kBitBytes; }

QStringList AllPanelNames() {
    QStringList names;
    for (const auto* table : {&kLiveFields, &kDelayFields})
        for (const BlockField& f : *table)
            if (f.conversion != C::Bits) names << QLatin1String(f.panel);
    return names;
}

QStringList IndicatorNames() {
    QList<int> numbers;
    for (const BitByte& b : kBitBytes)
        for (const char* name : b.indicators) numbers << QString::fromLatin1(name).mid(2).toInt();
    std::sort(numbers.begin(), numbers.end());
    QStringList names;
    for (int n : numbers) names << QStringLiteral("zs%1").arg(n);
    return names;
}

PictureSet PictureSetOf(const QString& indicator) {
    for (const char* name : kAlarmIndicators)
        if (indicator == QLatin1String(name)) return PictureSet::Alarm;
    return PictureSet::TwoState;
}

QString FormatValue(quint32 raw, Conversion conversion) {
    switch (conversion) {
        case C::Tenths:
            return QString::asprintf("%-10.1f", raw / 10.0);
        case C::Hundredths:
            return QString::asprintf("%-10.2f", raw / 100.0);
        case C::Integer:
        case C::Bits:
            break;
    }
    return QString::number(raw);
}

void LiveDecoder::display(const QString& reply, const std::vector<BlockField>& fields, LiveView& view) {
    for (const BlockField& f : fields) {
        const QString text = fieldText(reply, f);
        if (f.conversion == C::Bits) {
            const BitByte& byte = bitByteAt(f.position);
            const QString bits = link::HexToBits(text);  // bit 7 first
            for (int i = 0; i < 8; ++i)
                view.setIndicatorImage(QLatin1String(byte.indicators[size_t(i)]),
                                       bits.at(i) == QLatin1Char('1') ? 1 : 0);
        } else {
            view.setPanelText(QLatin1String(f.panel), FormatValue(link::ParseHex(text), f.conversion));
        }
    }
}

void LiveDecoder::clear(LiveView& view) {
    for (const QString& panel : AllPanelNames()) view.setPanelText(panel, QStringLiteral("0"));
    for (const QString& indicator : IndicatorNames()) view.setIndicatorImage(indicator, 0);
}

}  // namespace tarsyn::monitor
