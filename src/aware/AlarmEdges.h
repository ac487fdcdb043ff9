#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

namespace tarsyn::monitor {
struct LiveReading;
}

namespace tarsyn::aware {

/// One change of an alarm indicator between two complete live replies of the same controller.
struct AlarmEdge {
    QString indicator;  ///< `zs1`…`zs9`
    bool raised;        ///< true: the bit rose; false: it fell
    /// Set at the controller's first reply since the start: the alarm was on already (not a rise seen).
    bool atStart = false;
    bool operator==(const AlarmEdge& o) const {
        return indicator == o.indicator && raised == o.raised && atStart == o.atStart;
    }
};

/// The alarm bits of each controller as last read, and the edges between one reply and the next.
/// The alarm indicators are the ones drawn with the alarm picture set (the alarm byte at 0x001A and
/// overload in the state byte). At the first reply of a controller an alarm already on gives one edge
/// marked `atStart`: it was on before the program looked, which is no rise.
class AlarmEdges {
public:
    /// The nine alarm indicators in the order of the live block (alarm byte bit 7 first, then overload).
    static const QStringList& alarmIndicators();

    /// Reads the alarm indicators of a decoded live reply of `controller` and returns the edges since
    /// its previous reply, in alarmIndicators() order. A reading whose four bit bytes were not all
    /// decoded changes nothing and gives no edge.
    QVector<AlarmEdge> update(const QString& controller, const monitor::LiveReading& reading);

    /// Indicators active for `controller` as last read (empty when never read).
    QStringList active(const QString& controller) const;

private:
    QHash<QString, QStringList> m_last;  // alarm indicators on, per controller
};

/// The set bits of a decoded live reply per indicator; empty unless all four bit bytes were decoded.
QHash<QString, bool> IndicatorBits(const monitor::LiveReading& reading);

}  // namespace tarsyn::aware
