#include "aware/WatchLimits.h"

#include "config/Config.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveReading.h"

namespace tarsyn::aware {

namespace {

const QString kIni = QStringLiteral("system.ini");
const QString kSection = QStringLiteral("Watch");

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && !text.trimmed().isEmpty() ? std::optional<double>(v) : std::nullopt;
}

QString text(const std::optional<double>& v) { return v ? QString::number(*v) : QString(); }

}  // namespace

QStringList WatchableValues() {
    QStringList out;
    for (const monitor::BlockField& f : monitor::LiveValueFields()) out << QLatin1String(f.panel);
    return out;
}

std::optional<ValueRange> WatchRange(const QString& panel) {
    // A limit can only be crossed by what a reading can hold: the live-field table's physical range.
    const monitor::BlockField* field = monitor::LiveValueField(panel);
    if (!field || !field->isValue()) return std::nullopt;
    return ValueRange{field->low, field->high};
}

bool WatchLimitUsable(const WatchLimit& l) {
    const std::optional<ValueRange> range = WatchRange(l.panel);
    if (!range || !(l.low || l.high)) return false;
    if ((l.low && !range->contains(*l.low)) || (l.high && !range->contains(*l.high))) return false;
    if (!(l.band >= 0 && l.band <= range->high - range->low)) return false;
    if (l.holdSeconds < 0 || l.holdSeconds > kWatchHoldMaxSeconds) return false;
    return !l.low || !l.high || *l.low + l.band < *l.high;
}

QVector<WatchLimit> LoadWatchLimits(const config::Config& config) {
    const config::IniSection s = config.readSection(kIni, kSection);
    const int count = s.value(QStringLiteral("limits")).trimmed().toInt();
    QVector<WatchLimit> out;
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i);
        WatchLimit l;
        l.controller = s.value(QStringLiteral("remark") + n, QString());
        l.panel = s.value(QStringLiteral("value") + n, QString()).trimmed();
        l.low = number(s.value(QStringLiteral("low") + n, QString()));
        l.high = number(s.value(QStringLiteral("high") + n, QString()));
        l.holdSeconds = qMax(0, s.value(QStringLiteral("hold") + n).trimmed().toInt());
        l.band = qMax(0.0, number(s.value(QStringLiteral("band") + n)).value_or(0.0));
        if (monitor::LiveValueField(l.panel) && WatchLimitUsable(l)) out << l;
    }
    return out;
}

void SaveWatchLimits(config::Config& config, const QVector<WatchLimit>& limits) {
    QList<config::IniEntry> entries{{kSection, QStringLiteral("limits"), QString::number(limits.size())}};
    for (int i = 0; i < limits.size(); ++i) {
        const WatchLimit& l = limits.at(i);
        const QString n = QString::number(i);
        entries << config::IniEntry{kSection, QStringLiteral("remark") + n, l.controller}
                << config::IniEntry{kSection, QStringLiteral("value") + n, l.panel}
                << config::IniEntry{kSection, QStringLiteral("low") + n, text(l.low)}
                << config::IniEntry{kSection, QStringLiteral("high") + n, text(l.high)}
                << config::IniEntry{kSection, QStringLiteral("hold") + n, QString::number(l.holdSeconds)}
                << config::IniEntry{kSection, QStringLiteral("band") + n, QString::number(l.band)};
    }
    config.wriniBatch(kIni, entries);
}

void WatchEvaluator::setLimits(const QVector<WatchLimit>& limits) {
    m_limits = limits;
    m_sides = QVector<Side>(limits.size() * 2);
}

QVector<WatchChange> WatchEvaluator::update(const QString& controller, const monitor::LiveReading& reading,
                                            const QDateTime& now) {
    QVector<WatchChange> changes;
    for (int i = 0; i < m_limits.size(); ++i) {
        const WatchLimit& l = m_limits.at(i);
        if (l.controller.trimmed() != controller.trimmed()) continue;
        const std::optional<double> value = reading.valueOf(l.panel);
        if (!value) continue;
        for (int side = 0; side < 2; ++side) {
            const bool low = side == 0;
            const std::optional<double>& limit = low ? l.low : l.high;
            if (!limit) continue;
            Side& s = m_sides[i * 2 + side];
            const bool beyond = low ? *value < *limit : *value > *limit;
            if (s.active) {
                // Back only once past the band: a value hovering at the limit does not flap.
                const bool cleared = low ? *value > *limit + l.band : *value < *limit - l.band;
                if (cleared) {
                    s.active = false;
                    s.beyondSince = QDateTime();
                    changes.append({i, low, false, *value});
                }
                continue;
            }
            if (!beyond) {
                s.beyondSince = QDateTime();
                continue;
            }
            if (!s.beyondSince.isValid()) s.beyondSince = now;
            if (s.beyondSince.secsTo(now) >= l.holdSeconds) {
                s.active = true;
                changes.append({i, low, true, *value});
            }
        }
    }
    return changes;
}

int WatchEvaluator::activeCount(const QString& controller) const {
    int n = 0;
    for (int i = 0; i < m_limits.size(); ++i)
        if (m_limits.at(i).controller.trimmed() == controller.trimmed())
            n += int(m_sides.at(i * 2).active) + int(m_sides.at(i * 2 + 1).active);
    return n;
}

QStringList WatchEvaluator::activePanels(const QString& controller) const {
    QStringList panels;
    for (int i = 0; i < m_limits.size(); ++i) {
        const WatchLimit& l = m_limits.at(i);
        if (l.controller.trimmed() != controller.trimmed()) continue;
        if ((m_sides.at(i * 2).active || m_sides.at(i * 2 + 1).active) && !panels.contains(l.panel))
            panels << l.panel;
    }
    return panels;
}

}  // namespace tarsyn::aware
