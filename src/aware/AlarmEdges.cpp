#include "aware/AlarmEdges.h"

#include "link/Codec.h"
#include "monitor/LiveMap.h"

namespace tarsyn::aware {

namespace {
}

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

QHash<QString, bool> IndicatorBits(const QString& reply) {
    QHash<QString, bool> bits;
    if (reply.size() < monitor::kLiveReplyMinimum) return bits;
    try {
        for (const monitor::BitByte& b : monitor::LiveBitBytes()) {
            const QString text = link::HexToBits(reply.mid(b.position - 1, 2));  // bit 7 first
            for (int i = 0; i < 8; ++i)
                bits.insert(QLatin1String(b.indicators[size_t(i)]), text.at(i) == QLatin1Char('1'));
        }
    } catch (...) {
        return {};
    }
    return bits;
}

QVector<AlarmEdge> AlarmEdges::update(const QString& controller, const QString& reply) {
    const QHash<QString, bool> bits = IndicatorBits(reply);
    if (bits.isEmpty()) return {};
    QStringList now;
    for (const QString& name : alarmIndicators())
        if (bits.value(name)) now << name;

    const QStringList before = m_last.value(controller);
    QVector<AlarmEdge> edges;
    for (const QString& name : alarmIndicators()) {
        const bool was = before.contains(name), is = now.contains(name);
        if (was != is) edges.append({name, is});
    }
    m_last.insert(controller, now);
    return edges;
}

QStringList AlarmEdges::active(const QString& controller) const { return m_last.value(controller); }

}  // namespace tarsyn::aware
