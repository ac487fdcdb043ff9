#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

namespace tarsyn::config {
class Config;
}

namespace tarsyn::monitor {
struct LiveReading;
}

namespace tarsyn::aware {

/// An operator's own limit on one live value of one controller, watched on this PC only and never
/// sent to the controller: a warning rises once the value has stayed below `low` (or above `high`)
/// for `holdSeconds`, and clears once it is back above low + band (below high - band).
struct WatchLimit {
    QString controller;  ///< the entry's remark
    QString panel;       ///< the live value's panel (`pnl17` battery voltage…)
    std::optional<double> low;
    std::optional<double> high;
    int holdSeconds = 0;
    double band = 0;  ///< hysteresis, in the value's unit
    bool operator==(const WatchLimit& o) const {
        return controller == o.controller && panel == o.panel && low == o.low && high == o.high &&
               holdSeconds == o.holdSeconds && band == o.band;
    }
};

/// The panels of the live block that carry a value (not the bit bytes), in block order.
QStringList WatchableValues();

/// What a live value can physically be, in its unit: a limit outside it is a typing slip (a low limit
/// of 1e+300 would be crossed at once), never a setting.
struct ValueRange {
    double low = 0;
    double high = 0;
    bool contains(double v) const { return v >= low && v <= high; }  // false for NaN
};
/// The range of a watchable value's panel (`pnl17`…); nullopt for any other name.
std::optional<ValueRange> WatchRange(const QString& panel);
/// The longest hold a limit may ask for, in seconds (a day).
constexpr int kWatchHoldMaxSeconds = 86400;
/// Every number of `limit` lies in its value's range (the band within the range's width, the hold
/// within a day), at least one side is set, and low + band lies below high.
bool WatchLimitUsable(const WatchLimit& limit);
/// system.ini [Watch]: "limits" = the count, then per row i "remark"i, "value"i, "low"i, "high"i
/// ("" when not set), "hold"i (seconds) and "band"i. Outside section Set, so the check value is not
/// touched. Rows that cannot be read (unknown value, no limit at all, a number outside its value's
/// range) are left out.
QVector<WatchLimit> LoadWatchLimits(const config::Config& config);
/// Writes the rows in one piece (raises config::ConfigError on failure).
void SaveWatchLimits(config::Config& config, const QVector<WatchLimit>& limits);

/// One change of a watch limit's warning.
struct WatchChange {
    int limit;    ///< index into the limits
    bool low;     ///< the low side (false: high)
    bool raised;  ///< true: the warning rose; false: it cleared
    double value;
};

/// Follows the limits of every controller from its complete live replies.
class WatchEvaluator {
public:
    void setLimits(const QVector<WatchLimit>& limits);
    const QVector<WatchLimit>& limits() const { return m_limits; }

    /// A decoded live reply of `controller` at `now` (values not decoded are left out): the warnings
    /// that rose or cleared.
    QVector<WatchChange> update(const QString& controller, const monitor::LiveReading& reading,
                                const QDateTime& now);
    /// Warnings active for `controller`.
    int activeCount(const QString& controller) const;
    /// The value panels of `controller` with a warning active, each once.
    QStringList activePanels(const QString& controller) const;

private:
    struct Side {
        QDateTime beyondSince;  // invalid: the value is inside the limit
        bool active = false;
    };
    QVector<WatchLimit> m_limits;
    QVector<Side> m_sides;  // two per limit: low, high
};

}  // namespace tarsyn::aware
