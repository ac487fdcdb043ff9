#pragma once

#include <QJsonObject>
#include <QString>
#include <functional>

#include "monitor/LiveReading.h"

namespace tarsyn::monitor {

/// The unit as the window shows it beside its panel and as a dashboard writes it: "°C" for the
/// machine's "C", every other unit as the table has it ("" for none).
QString UnitText(const char* unit);

/// The caption a window shows for a panel (`pnl34`) or an indicator (`zs9`), in the reader's language;
/// empty or unset: no caption member.
using CaptionOf = std::function<QString(const QString& name)>;

/// The one JSON form of a reading, shared by `tarsynctl live --json` and the broker's state message
/// (each adds its own envelope: time, port, link). Members are keyed by the live-field table's keys
/// (BlockField::key, "mains_voltage_phase_a"); a field whose block was not decoded is absent, never
/// null.
///
///     "values": {"battery_voltage": {"value": 24.1, "unit": "V", "panel": "pnl17"}, …}
///     "delays": {"cranking_time": {"value": 8, "unit": "s", "panel": "pnl44"}, …}
///     "indicators": {"zs1": false, …}
class ReadingJson {
public:
    /// The 21 live values: value in its unit, unit text, panel id, and the caption when `caption` gives one.
    static QJsonObject values(const LiveReading& reading, const CaptionOf& caption = {});
    /// The 22 delays, likewise (unit "s").
    static QJsonObject delays(const LiveReading& reading, const CaptionOf& caption = {});
    /// The 32 indicators by name, true when set (only those of decoded bytes).
    static QJsonObject indicators(const LiveReading& reading);
};

}  // namespace tarsyn::monitor
