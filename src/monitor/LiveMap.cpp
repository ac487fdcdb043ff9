#include "monitor/LiveMap.h"

#include <algorithm>

#include "link/Codec.h"
#include "link/LinkError.h"
#include "monitor/LiveReading.h"
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
// Units are the machine's own (the window's unit labels come from the catalogue).
const std::vector<BlockField> kLiveFields = {
    {7, 4, C::Integer, "pnl34", "mains voltage phase A", "V", "sj18"},                // 0x0006
    {11, 4, C::Integer, "pnl35", "mains voltage phase B", "V", "sj19"},               // 0x0008
    {15, 4, C::Integer, "pnl36", "mains voltage phase C", "V", "sj20"},               // 0x000A
    {19, 4, C::Tenths, "pnl21", "mains frequency", "Hz", "sj8"},                      // 0x000C
    {27, 4, C::Integer, "pnl25", "water temperature 2", "C", "sj12"},                 // 0x0010
    {31, 4, C::Integer, "pnl27", "oil pressure 2", "kPa", "sj14"},                    // 0x0012
    {35, 4, C::Tenths, "pnl31", "power", "kW", "sj15"},                               // 0x0014
    {39, 6, C::Tenths, "pnl37", "engine running time", "h", nullptr},                 // 0x0016, 24 bits
    {45, 2, C::Hundredths, "pnl33", "power factor", "", "sj17"},                      // 0x0019
    {47, 2, C::Bits, "", "alarms"},                                                   // 0x001A
    {49, 2, C::Bits, "", "states"},                                                   // 0x001B
    {51, 2, C::Bits, "", "inputs"},                                                   // 0x001C
    {53, 2, C::Bits, "", "outputs"},                                                  // 0x001D
    {55, 4, C::Integer, "pnl14", "current phase A", "A", "sj4"},                      // 0x001E
    {59, 4, C::Integer, "pnl15", "current phase B", "A", "sj5"},                      // 0x0020
    {63, 4, C::Integer, "pnl16", "current phase C", "A", "sj6"},                      // 0x0022
    {67, 4, C::Integer, "pnl11", "generator voltage phase A", "V", "sj1"},            // 0x0024
    {71, 4, C::Integer, "pnl12", "generator voltage phase B", "V", "sj2"},            // 0x0026
    {75, 4, C::Integer, "pnl13", "generator voltage phase C", "V", "sj3"},            // 0x0028
    {79, 4, C::Integer, "pnl24", "water temperature", "C", "sj11"},                   // 0x002A
    {83, 4, C::Integer, "pnl26", "oil pressure", "kPa", "sj13"},                      // 0x002C
    {87, 4, C::Integer, "pnl32", "oil temperature / oil level reading", "", "sj16"},  // 0x002E
    {91, 4, C::Tenths, "pnl17", "battery voltage", "V", "sj7"},                       // 0x0030
    {95, 4, C::Tenths, "pnl22", "generator frequency", "Hz", "sj9"},                  // 0x0032
    {99, 4, C::Integer, "pnl23", "engine speed", "rpm", "sj10"},                      // 0x0034
};

const std::vector<BlockField> kLiveValueFields = [] {
    std::vector<BlockField> values;
    for (const BlockField& f : kLiveFields)
        if (f.isValue()) values.push_back(f);
    return values;
}();

// One byte per delay from 0x0036, shown as a plain number.
const std::vector<BlockField> kDelayFields = {
    {7, 2, C::Integer, "pnl41", "cool-down stop delay"},
    {9, 2, C::Integer, "pnl42", "generator start delay"},
    {11, 2, C::Integer, "pnl43", "interval between start attempts"},
    {13, 2, C::Integer, "pnl44", "cranking time"},
    {15, 2, C::Integer, "pnl45", "bypass detection delay"},
    {17, 2, C::Integer, "pnl46", "fuel cut-off delay at stop"},
    {19, 2, C::Integer, "pnl51", "pre-supply delay"},
    {21, 2, C::Integer, "pnl52", "idle start delay"},
    {23, 2, C::Integer, "pnl53", "idle stop delay"},
    {25, 2, C::Integer, "pnl54", "speed-up delay"},
    {27, 2, C::Integer, "pnl55", "low oil pressure delay"},
    {29, 2, C::Integer, "pnl56", "high water temperature delay"},
    {31, 2, C::Integer, "pnl61", "generator voltage out-of-limit delay"},
    {33, 2, C::Integer, "pnl62", "high oil temperature / low oil level delay"},
    {35, 2, C::Integer, "pnl63", "speed signal loss delay"},
    {37, 2, C::Integer, "pnl64", "low battery voltage delay"},
    {39, 2, C::Integer, "pnl65", "changeover delay"},
    {41, 2, C::Integer, "pnl66", "generator frequency out-of-limit delay"},
    {43, 2, C::Integer, "pnl71", "overspeed delay"},
    {45, 2, C::Integer, "pnl72", "overload delay"},
    {47, 2, C::Integer, "pnl73", "warm-up delay"},
    {49, 2, C::Integer, "pnl74", "speed-down delay"},
};

}  // namespace

const std::vector<BlockField>& LiveBlockFields() { return kLiveFields; }
const std::vector<BlockField>& LiveValueFields() { return kLiveValueFields; }
const std::vector<BlockField>& DelayBlockFields() { return kDelayFields; }

const BlockField* LiveValueField(const QString& panel) {
    for (const BlockField& f : kLiveValueFields)
        if (panel == QLatin1String(f.panel)) return &f;
    return nullptr;
}
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

namespace {

// The table of `fields` shown from the decoded `values` (and, for the live block, `bytes`), in table
// order up to the first field not decoded; false when it stopped there.
bool showFields(const std::vector<BlockField>& fields, const FieldValue* values, const FieldValue* bytes,
                LiveView& view) {
    int value = 0, byte = 0;
    for (const BlockField& f : fields) {
        if (f.isValue()) {
            const FieldValue& v = values[value++];
            if (!v.valid) return false;
            view.setPanelText(QLatin1String(f.panel), FormatValue(v.raw, f.conversion));
            continue;
        }
        const FieldValue& b = bytes[byte];
        if (!b.valid) return false;
        const BitByte& names = kBitBytes[size_t(byte++)];
        for (int i = 0; i < 8; ++i)  // bit 7 first
            view.setIndicatorImage(QLatin1String(names.indicators[size_t(i)]), int((b.raw >> (7 - i)) & 1u));
    }
    return true;
}

// The field a decoder stopped at, as the conversion error a spoilt reply has always raised.
[[noreturn]] void raiseAtFirstBad(const QString& reply, const std::vector<BlockField>& fields,
                                  const FieldValue* values, const FieldValue* bytes) {
    int value = 0, byte = 0;
    for (const BlockField& f : fields) {
        const FieldValue& v = f.isValue() ? values[value++] : bytes[byte++];
        if (!v.valid)
            throw link::ConversionError(
                QStringLiteral("'$%1' is not a valid integer value").arg(reply.mid(f.position - 1, f.width)));
    }
    throw link::ConversionError(QStringLiteral("The reply could not be decoded"));
}

}  // namespace

bool LiveDecoder::showLive(const LiveReading& reading, LiveView& view) {
    return showFields(kLiveFields, reading.values.data(), reading.bitBytes.data(), view);
}

bool LiveDecoder::showDelays(const LiveReading& reading, LiveView& view) {
    return showFields(kDelayFields, reading.delays.data(), nullptr, view);
}

void LiveDecoder::displayLive(const QString& reply, LiveView& view) {
    LiveReading reading;
    DecodeLiveReply(reply, reading);
    if (!showLive(reading, view))
        raiseAtFirstBad(reply, kLiveFields, reading.values.data(), reading.bitBytes.data());
}

void LiveDecoder::displayDelay(const QString& reply, LiveView& view) {
    LiveReading reading;
    DecodeDelayReply(reply, reading);
    if (!showDelays(reading, view)) raiseAtFirstBad(reply, kDelayFields, reading.delays.data(), nullptr);
}

void LiveDecoder::clear(LiveView& view) {
    for (const QString& panel : AllPanelNames()) view.setPanelText(panel, QStringLiteral("0"));
    for (const QString& indicator : IndicatorNames()) view.setIndicatorImage(indicator, 0);
}

}  // namespace tarsyn::monitor
