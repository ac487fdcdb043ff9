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
// Units are the machine's own (the window's unit labels come from the catalogue). The keys are the
// names scripts and brokers know a value by.
//
// The physical range of each value, in its unit, is what the set it watches can show: anything
// outside is not a reading of this block (another address's bytes in a well-formed frame). The
// fields are unsigned, so every range starts at 0 or above.
//  - voltages 0-600 V: a 400 V system shows 230 V a phase, a 480 V one 277 V; 600 V leaves room for
//    line-to-line wiring and a surge, where 44 kV is no low-voltage set;
//  - frequencies 0-70 Hz: 50 or 60 Hz sets, 0 while stopped or with the mains away;
//  - currents 0-8000 A: a 5 MW set at 400 V draws about 7200 A;
//  - power 0-5000 kW, power factor 0-1 (a factor is never more than 1 in size; the field has no sign);
//  - coolant and oil temperatures 0-200 C (a sender that is off the scale reads at most that), the oil
//    reading likewise 0-200 whether it is a temperature or a level in per cent;
//  - oil pressures 0-1000 kPa (10 bar; a running engine shows 200-600);
//  - battery 0-60 V (12, 24 or 48 V systems while charging);
//  - engine speed 0-4000 rpm; running time 0-200000 h (more than twenty years without a stop).
const std::vector<BlockField> kLiveFields = {
    {7, 4, C::Integer, "pnl34", "mains voltage phase A", "V", "sj18", "mains_voltage_phase_a", 0,
     600},  // 0x0006
    {11, 4, C::Integer, "pnl35", "mains voltage phase B", "V", "sj19", "mains_voltage_phase_b", 0,
     600},  // 0x0008
    {15, 4, C::Integer, "pnl36", "mains voltage phase C", "V", "sj20", "mains_voltage_phase_c", 0,
     600},                                                                                  // 0x000A
    {19, 4, C::Tenths, "pnl21", "mains frequency", "Hz", "sj8", "mains_frequency", 0, 70},  // 0x000C
    {27, 4, C::Integer, "pnl25", "water temperature 2", "C", "sj12", "water_temperature_2", 0,
     200},                                                                                     // 0x0010
    {31, 4, C::Integer, "pnl27", "oil pressure 2", "kPa", "sj14", "oil_pressure_2", 0, 1000},  // 0x0012
    {35, 4, C::Tenths, "pnl31", "power", "kW", "sj15", "power", 0, 5000},                      // 0x0014
    {39, 6, C::Tenths, "pnl37", "engine running time", "h", nullptr, "engine_running_time", 0,
     200000},                                                                           // 0x0016, 24 bits
    {45, 2, C::Hundredths, "pnl33", "power factor", "", "sj17", "power_factor", 0, 1},  // 0x0019
    {47, 2, C::Bits, "", "alarms"},                                                     // 0x001A
    {49, 2, C::Bits, "", "states"},                                                     // 0x001B
    {51, 2, C::Bits, "", "inputs"},                                                     // 0x001C
    {53, 2, C::Bits, "", "outputs"},                                                    // 0x001D
    {55, 4, C::Integer, "pnl14", "current phase A", "A", "sj4", "current_phase_a", 0, 8000},  // 0x001E
    {59, 4, C::Integer, "pnl15", "current phase B", "A", "sj5", "current_phase_b", 0, 8000},  // 0x0020
    {63, 4, C::Integer, "pnl16", "current phase C", "A", "sj6", "current_phase_c", 0, 8000},  // 0x0022
    {67, 4, C::Integer, "pnl11", "generator voltage phase A", "V", "sj1", "generator_voltage_phase_a", 0,
     600},  // 0x0024
    {71, 4, C::Integer, "pnl12", "generator voltage phase B", "V", "sj2", "generator_voltage_phase_b", 0,
     600},  // 0x0026
    {75, 4, C::Integer, "pnl13", "generator voltage phase C", "V", "sj3", "generator_voltage_phase_c", 0,
     600},                                                                                        // 0x0028
    {79, 4, C::Integer, "pnl24", "water temperature", "C", "sj11", "water_temperature", 0, 200},  // 0x002A
    {83, 4, C::Integer, "pnl26", "oil pressure", "kPa", "sj13", "oil_pressure", 0, 1000},         // 0x002C
    {87, 4, C::Integer, "pnl32", "oil temperature / oil level reading", "", "sj16",
     "oil_temperature_oil_level_reading", 0, 200},                                                  // 0x002E
    {91, 4, C::Tenths, "pnl17", "battery voltage", "V", "sj7", "battery_voltage", 0, 60},           // 0x0030
    {95, 4, C::Tenths, "pnl22", "generator frequency", "Hz", "sj9", "generator_frequency", 0, 70},  // 0x0032
    {99, 4, C::Integer, "pnl23", "engine speed", "rpm", "sj10", "engine_speed", 0, 4000},           // 0x0034
};

const std::vector<BlockField> kLiveValueFields = [] {
    std::vector<BlockField> values;
    for (const BlockField& f : kLiveFields)
        if (f.isValue()) values.push_back(f);
    return values;
}();

// One byte per delay from 0x0036, shown as a plain number of seconds. A byte holds up to 255 s;
// the protections (oil pressure, water and oil temperature, voltage, frequency, speed signal,
// overspeed) act within 0-60 s, since one that waits longer no longer protects the engine, and a
// starter is never cranked for more than 60 s. Every other delay may use the whole byte.
const std::vector<BlockField> kDelayFields = {
    {7, 2, C::Integer, "pnl41", "cool-down stop delay", "s", nullptr, "cool_down_stop_delay", 0, 255},
    {9, 2, C::Integer, "pnl42", "generator start delay", "s", nullptr, "generator_start_delay", 0, 255},
    {11, 2, C::Integer, "pnl43", "interval between start attempts", "s", nullptr,
     "interval_between_start_attempts", 0, 255},
    {13, 2, C::Integer, "pnl44", "cranking time", "s", nullptr, "cranking_time", 0, 60},
    {15, 2, C::Integer, "pnl45", "bypass detection delay", "s", nullptr, "bypass_detection_delay", 0, 255},
    {17, 2, C::Integer, "pnl46", "fuel cut-off delay at stop", "s", nullptr, "fuel_cut_off_delay_at_stop", 0,
     255},
    {19, 2, C::Integer, "pnl51", "pre-supply delay", "s", nullptr, "pre_supply_delay", 0, 255},
    {21, 2, C::Integer, "pnl52", "idle start delay", "s", nullptr, "idle_start_delay", 0, 255},
    {23, 2, C::Integer, "pnl53", "idle stop delay", "s", nullptr, "idle_stop_delay", 0, 255},
    {25, 2, C::Integer, "pnl54", "speed-up delay", "s", nullptr, "speed_up_delay", 0, 255},
    {27, 2, C::Integer, "pnl55", "low oil pressure delay", "s", nullptr, "low_oil_pressure_delay", 0, 60},
    {29, 2, C::Integer, "pnl56", "high water temperature delay", "s", nullptr, "high_water_temperature_delay",
     0, 60},
    {31, 2, C::Integer, "pnl61", "generator voltage out-of-limit delay", "s", nullptr,
     "generator_voltage_out_of_limit_delay", 0, 60},
    {33, 2, C::Integer, "pnl62", "high oil temperature / low oil level delay", "s", nullptr,
     "high_oil_temperature_low_oil_level_delay", 0, 60},
    {35, 2, C::Integer, "pnl63", "speed signal loss delay", "s", nullptr, "speed_signal_loss_delay", 0, 60},
    {37, 2, C::Integer, "pnl64", "low battery voltage delay", "s", nullptr, "low_battery_voltage_delay", 0,
     255},
    {39, 2, C::Integer, "pnl65", "changeover delay", "s", nullptr, "changeover_delay", 0, 255},
    {41, 2, C::Integer, "pnl66", "generator frequency out-of-limit delay", "s", nullptr,
     "generator_frequency_out_of_limit_delay", 0, 60},
    {43, 2, C::Integer, "pnl71", "overspeed delay", "s", nullptr, "overspeed_delay", 0, 60},
    {45, 2, C::Integer, "pnl72", "overload delay", "s", nullptr, "overload_delay", 0, 255},
    {47, 2, C::Integer, "pnl73", "warm-up delay", "s", nullptr, "warm_up_delay", 0, 255},
    {49, 2, C::Integer, "pnl74", "speed-down delay", "s", nullptr, "speed_down_delay", 0, 255},
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
const BlockField* FieldByKey(const QString& key) {
    for (const auto* table : {&kLiveValueFields, &kDelayFields})
        for (const BlockField& f : *table)
            if (key == QLatin1String(f.key)) return &f;
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
