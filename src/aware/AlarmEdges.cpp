#include "aware/AlarmEdges.h"

#include "monitor/LiveMap.h"
#include "monitor/LiveReading.h"

namespace tarsyn::aware {

const QStringList& AlarmEdges::alarmIndicators() {
    static const QStringList names = [] {
        QStringList out;
        for (const monitor::BitByte& b : monitor::LiveBitBytes())
            for (const char* n : b.indicators)
                if (monitor::PictureSetOf(QLatin1String(n)) == monitor::PictureSet::Alarm)
                    out << QLatin1String(n);
        return out;
    }();
    return names;
}

QHash<QString, bool> IndicatorBits(const monitor::LiveReading& reading) {
    QHash<QString, bool> bits;
    for (const QString& name : monitor::IndicatorNames()) {
        const std::optional<bool> on = reading.indicator(name);
        if (!on) return {};
        bits.insert(name, *on);
    }
    return bits;
}

QVector<AlarmEdge> AlarmEdges::update(const QString& controller, const monitor::LiveReading& reading) {
    const QHash<QString, bool> bits = IndicatorBits(reading);
    if (bits.isEmpty()) return {};
    QStringList now;
    for (const QString& name : alarmIndicators())
        if (bits.value(name)) now << name;

    const bool first = !m_last.contains(controller);
    const QStringList before = m_last.value(controller);
    QVector<AlarmEdge> edges;
    for (const QString& name : alarmIndicators()) {
        const bool was = before.contains(name), is = now.contains(name);
        if (was != is) edges.append({name, is, first});
    }
    m_last.insert(controller, now);
    return edges;
}

QStringList AlarmEdges::active(const QString& controller) const { return m_last.value(controller); }

}  // namespace tarsyn::aware
