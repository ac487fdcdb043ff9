#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace tarsyn::monitor {

class LiveView;
struct LiveReading;

/// How a field of a polled block is turned into the text of its panel.
enum class Conversion {
    Integer,     ///< plain decimal, no padding
    Tenths,      ///< value / 10 as "%-10.1f"
    Hundredths,  ///< value / 100 as "%-10.2f"
    Bits,        ///< one byte of eight indicators (see BitByte)
};

/// Picture sets of the indicators: alarms have three pictures (0 white, 1 red, 2 green), the
/// states, inputs and outputs two (0 white, 1 green). A set bit is picture 1 in both.
enum class PictureSet { Alarm, TwoState };

/// One field of a polled block: 1-based position in the reply, width in characters, conversion, the
/// panel that shows it (empty for a bit byte, whose indicators are in its BitByte), what it measures
/// and in which unit, and the history column that records it ("sj1"…"sj20", null when not recorded).
/// The one description of both blocks: the display, the typed readings, the history row and the
/// operator's watch limits are all read through it, so a scaling is written once.
struct BlockField {
    int position;
    int width;
    Conversion conversion;
    const char* panel;
    const char* quantity = "";            ///< "mains voltage phase A", "alarms"…
    const char* unit = "";                ///< "V", "Hz", "kPa"…; empty when the value has none
    const char* historyColumn = nullptr;  ///< "sj18"…, or null
    /// The name scripts, brokers and the JSON of a reading know the value by ("mains_voltage_phase_a");
    /// empty for a bit byte.
    const char* key = "";
    /// The physical range of the value in its unit (after the divisor), both ends included: a
    /// decoded value outside it cannot be a reading of this field.
    double low = 0;
    double high = 0;
    /// 1, 10 or 100: the value is the field's number divided by it.
    int divisor() const {
        return conversion == Conversion::Tenths ? 10 : conversion == Conversion::Hundredths ? 100 : 1;
    }
    bool isValue() const { return conversion != Conversion::Bits; }
    /// Whether `value` (in the field's unit) lies in the physical range; a bit byte always does.
    bool inRange(double value) const { return !isValue() || (value >= low && value <= high); }
};

/// A byte of eight indicators: the names from bit 7 (first character of HexToBits) to bit 0.
struct BitByte {
    int position;
    std::array<const char*, 8> indicators;
};

/// The 21 values of the live block, in block order: the index of a value in LiveValueFields() and in
/// LiveReading::values.
enum class Quantity {
    MainsVoltageA,
    MainsVoltageB,
    MainsVoltageC,
    MainsFrequency,
    WaterTemperature2,
    OilPressure2,
    Power,
    RunningTime,
    PowerFactor,
    CurrentA,
    CurrentB,
    CurrentC,
    GeneratorVoltageA,
    GeneratorVoltageB,
    GeneratorVoltageC,
    WaterTemperature,
    OilPressure,
    OilLevel,
    BatteryVoltage,
    GeneratorFrequency,
    EngineSpeed,
};
constexpr int kLiveValueCount = 21;
constexpr int kDelayCount = 22;
constexpr int kBitByteCount = 4;

/// The live block, 48 bytes from 0x0006 read with "000400060030", in display order: the values
/// before the bit bytes, the four bit bytes, then the values after them. Positions 23-26 (0x000E)
/// carry nothing the window shows.
const std::vector<BlockField>& LiveBlockFields();
/// The 21 value fields of the live block (no bit bytes), in block order (see Quantity).
const std::vector<BlockField>& LiveValueFields();
/// The value field shown by `panel` (`pnl17`…), or null.
const BlockField* LiveValueField(const QString& panel);
/// The live value or delay known by `key` ("battery_voltage"), or null.
const BlockField* FieldByKey(const QString& key);
/// Characters of a complete live reply: 48 data bytes and the check, as hexadecimal text.
constexpr int kLiveReplyMinimum = 104;
/// The delay block, 22 one-byte delays from 0x0036 read with "000400360016", `pnl41`…`pnl74`.
const std::vector<BlockField>& DelayBlockFields();
/// The four bit bytes of the live block: alarms (47), states (49), inputs (51), outputs (53).
const std::array<BitByte, 4>& LiveBitBytes();

/// The 43 value panels, live block first (ClearLiveDisplay sets them to "0").
QStringList AllPanelNames();
/// The 32 indicators `zs1`…`zs34` (24 and 32 are not used), in number order.
QStringList IndicatorNames();
/// Picture set of an indicator: Alarm for the nine alarm indicators `zs1`…`zs9` (overload, `zs7`,
/// sits in the state byte but is an alarm), TwoState for every other name.
PictureSet PictureSetOf(const QString& indicator);

/// Panel text of a raw field value under a value conversion (not Bits).
QString FormatValue(quint32 raw, Conversion conversion);

/// Shows a polled block on a LiveView from its decoded reading (LiveReading.h), in table order.
class LiveDecoder {
public:
    /// Writes the 21 panels and 32 indicators of `reading` in display order, stopping at the first
    /// field not decoded (the ones after keep what they showed). False when it stopped.
    static bool showLive(const LiveReading& reading, LiveView& view);
    /// The 22 delay panels `pnl41`…`pnl74`, in position order, likewise.
    static bool showDelays(const LiveReading& reading, LiveView& view);
    /// Decodes `reply` and shows it. A field that is not hexadecimal (or is cut by the end of the
    /// reply) raises ConversionError there: the fields before it are already shown, the ones after
    /// keep their previous values.
    static void displayLive(const QString& reply, LiveView& view);
    static void displayDelay(const QString& reply, LiveView& view);
    /// Every panel "0", every indicator picture 0.
    static void clear(LiveView& view);
};

}  // namespace tarsyn::monitor
