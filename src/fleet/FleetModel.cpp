#include "fleet/FleetModel.h"

#include <algorithm>

#include "config/LiveSettings.h"
#include "link/Clock.h"
#include "monitor/LiveMap.h"

namespace tarsyn::fleet {

namespace {

using monitor::Quantity;

const QString kTimeFormat = QStringLiteral("HH:mm:ss");

// The value columns and the live value each shows.
Quantity quantityOf(int column) {
    switch (column) {
        case FleetModel::VoltageColumn:
            return Quantity::GeneratorVoltageA;
        case FleetModel::CurrentColumn:
            return Quantity::CurrentA;
        case FleetModel::FrequencyColumn:
            return Quantity::GeneratorFrequency;
        case FleetModel::PowerColumn:
            return Quantity::Power;
        default:
            return Quantity::BatteryVoltage;
    }
}

bool isValueColumn(int column) {
    return column >= FleetModel::VoltageColumn && column <= FleetModel::BatteryColumn;
}

// A set is running while it starts or supplies (states) or its fuel output is on.
EngineState engineOf(const monitor::LiveReading& r, bool alarmed) {
    return EngineOf([&r](const QString& name) { return r.indicator(name); }, alarmed);
}

}  // namespace

EngineState EngineOf(const std::function<std::optional<bool>(const QString&)>& indicator, bool alarmed) {
    if (alarmed) return EngineState::Alarm;
    const std::optional<bool> starting = indicator(QStringLiteral("zs11"));
    if (!starting) return EngineState::Unknown;
    const bool running = *starting || indicator(QStringLiteral("zs13")).value_or(false) ||
                         indicator(QStringLiteral("zs31")).value_or(false);
    return running ? EngineState::Running : EngineState::Stopped;
}

FleetModel::FleetModel(const link::Clock& clock, const config::Config& config,
                       const config::LiveSettings& settings, QObject* parent)
    : QAbstractTableModel(parent), m_clock(clock), m_config(config), m_settings(settings) {
    setObjectName(QStringLiteral("fleetModel"));
    relabel();
    reloadPorts();
}

void FleetModel::setWatchLimits(const QVector<aware::WatchLimit>& limits) { m_watch.setLimits(limits); }

void FleetModel::relabel() {
    // Read once per language: a table of a hundred sets is redrawn every second.
    const QString file = m_settings.language() + QStringLiteral(".lag");
    m_messages = m_config.readSection(file, QStringLiteral("Messages"));
    m_translations = m_config.readSection(file, QStringLiteral("Translations"));
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_rows.isEmpty()) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void FleetModel::reloadPorts() {
    QHash<QString, FleetRow> kept;
    QVector<FleetRow> remote;
    for (const FleetRow& r : std::as_const(m_rows)) {
        if (r.remote())
            remote << r;
        else
            kept.insert(r.port, r);
    }
    beginResetModel();
    m_rows.clear();
    const QVector<config::PortEntry> ports = m_settings.ports();
    for (int i = 0; i < ports.size(); ++i) {
        FleetRow r = kept.value(ports.at(i).port);
        r.entry = i;
        r.port = ports.at(i).port;
        r.remark = ports.at(i).remark;
        m_rows << r;
    }
    m_rows << remote;
    endResetModel();
    refresh(m_clock.now());
}

void FleetModel::setRemoteRows(const QVector<FleetRow>& rows) {
    beginResetModel();
    m_rows.erase(std::remove_if(m_rows.begin(), m_rows.end(), [](const FleetRow& r) { return r.remote(); }),
                 m_rows.end());
    for (FleetRow r : rows) {
        r.entry = -1;
        if (r.site.isEmpty()) continue;  // a row of another site says which
        m_rows << r;
    }
    endResetModel();
    refresh(m_clock.now());
}

FleetRow* FleetModel::rowOf(const QString& port) {
    for (FleetRow& r : m_rows)
        if (!r.remote() && r.port == port) return &r;
    return nullptr;
}

qint64 FleetModel::staleAfterSeconds() const {
    // A short refresh time still gives each entry the three ticks a complete reading takes: the
    // rotation stays that long on a set (five on a silent one, still less than two times three).
    const qint64 refresh = std::max(3, m_settings.refreshText().trimmed().toInt());
    qint64 entries = 0;
    for (const FleetRow& r : m_rows) entries += !r.remote();
    return 2 * std::max<qint64>(1, entries) * refresh;
}

void FleetModel::readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                                const QString&) {
    if (block != monitor::ReplyBlock::Live) return;
    FleetRow* r = rowOf(reading.port);
    if (!r) return;  // a port typed into the port dialog is not in the fleet
    r->reading = reading;
    r->alarms.clear();
    for (const QString& name : reading.activeIndicators())
        if (monitor::PictureSetOf(name) == monitor::PictureSet::Alarm) r->alarms << name;
    r->engine = engineOf(reading, !r->alarms.isEmpty());
    if (reading.liveComplete()) {
        r->lastReading = reading.time;
        r->lastReadingMs = reading.time.toMSecsSinceEpoch();
    }
    m_watch.update(r->remark.trimmed(), reading, reading.time);
    r->watchPanels = m_watch.activePanels(r->remark.trimmed());
    r->dirty = true;  // shown at the tick's end, with the rest of the tick
}

void FleetModel::tickEnded(const monitor::TickEnd& end) {
    if (m_links.update(aware::TickState::of(end, end.port), end.time) != aware::LinkWatch::Change::None)
        if (FleetRow* r = rowOf(end.port)) {
            r->linkChangedAt = end.time;
            r->dirty = true;
        }
    for (FleetRow& r : m_rows)
        if (!r.remote()) r.link = m_links.state(r.port);
    refresh(end.time);
}

void FleetModel::judge(FleetRow& r, qint64 nowMs, qint64 staleAfterMs) const {
    const FleetRow was = r;
    const qint64 ageMs = r.lastReadingMs >= 0 ? std::max<qint64>(0, nowMs - r.lastReadingMs) : -1;
    r.ageSeconds = ageMs < 0 ? -1 : ageMs / 1000;
    r.stale = ageMs < 0 || ageMs > staleAfterMs;
    if (!r.alarms.isEmpty())
        r.severity = Severity::Alarm;
    else if (r.link == aware::LinkWatch::State::Lost)
        r.severity = Severity::LinkLost;
    else if (r.stale)
        r.severity = Severity::Stale;
    else
        r.severity = Severity::Normal;
    // Only what changed is drawn again: a hundred rows, one of them read this tick. A stale row shows
    // its age, which changes every second.
    if (r.severity != was.severity || r.stale != was.stale || r.link != was.link ||
        (r.stale && r.ageSeconds != was.ageSeconds))
        r.dirty = true;
}

void FleetModel::refresh(const QDateTime& now) {
    // Times as milliseconds, taken once: a local date-time costs a time-zone lookup at every use.
    const qint64 staleAfterMs = staleAfterSeconds() * 1000;
    const qint64 nowMs = now.toMSecsSinceEpoch();
    for (FleetRow& r : m_rows) {
        judge(r, nowMs, r.remote() ? kRemoteStaleSeconds * 1000 : staleAfterMs);
    }
    // Most urgent first; this PC's list in its own order, then the other sites by site and remark.
    const auto before = [](const FleetRow& a, const FleetRow& b) {
        if (a.severity != b.severity) return a.severity < b.severity;
        if (a.remote() != b.remote()) return !a.remote();
        if (!a.remote()) return a.entry < b.entry;
        return std::make_pair(a.site, a.remark) < std::make_pair(b.site, b.remark);
    };
    if (!std::is_sorted(m_rows.begin(), m_rows.end(), before)) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList persistent = persistentIndexList();
        QVector<QPair<QString, QString>> keys;  // (site, port) of each persistent index's row
        for (const QModelIndex& i : persistent) keys << qMakePair(m_rows[i.row()].site, m_rows[i.row()].port);
        std::stable_sort(m_rows.begin(), m_rows.end(), before);
        QModelIndexList moved;
        for (int k = 0; k < persistent.size(); ++k) {
            int to = 0;
            while (to < m_rows.size() && qMakePair(m_rows[to].site, m_rows[to].port) != keys[k]) ++to;
            moved << index(to, persistent[k].column());
        }
        changePersistentIndexList(persistent, moved);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);  // every row is drawn again
        for (FleetRow& r : m_rows) r.dirty = false;
        return;
    }
    for (int row = 0; row < m_rows.size(); ++row) {
        if (!m_rows[row].dirty) continue;
        m_rows[row].dirty = false;
        // Cell by cell: a view repaints a single changed cell, but the whole of itself for a range.
        for (int column = 0; column < ColumnCount; ++column)
            emit dataChanged(index(row, column), index(row, column));
    }
}

FleetModel::Selection FleetModel::select(int row) {
    if (row < 0 || row >= m_rows.size() || !m_target) return Selection::NoRow;
    const FleetRow& r = m_rows.at(row);
    if (r.remote()) return Selection::ReadOnly;
    if (m_target->lineBusy()) return Selection::Busy;
    m_target->selectEntry(r.entry, r.port);
    return Selection::Selected;
}

QString FleetModel::refusalText(Selection selection) const {
    switch (selection) {
        case Selection::Busy:
            return message("fltbusy", "Another exchange is using the line. Try again when it is over.");
        case Selection::ReadOnly:
            return message("fltremote", "This set belongs to another site: it can only be watched here.");
        default:
            return {};
    }
}

int FleetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FleetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString FleetModel::message(const char* key, const char* english) const {
    return m_messages.value(QLatin1String(key), QString::fromUtf8(english));
}

QString FleetModel::caption(const QString& panel) const {
    const QString key = QStringLiteral("lbl") + panel.mid(3) + QStringLiteral(".Caption");
    return m_translations.value(key, panel);
}

QString FleetModel::ageText(qint64 seconds) const {
    if (seconds < 120) return message("fltsecs", "%1 s").arg(seconds);
    if (seconds < 7200) return message("fltmins", "%1 min").arg(seconds / 60);
    return message("flthours", "%1 h").arg(seconds / 3600);
}

QString FleetModel::number(const FleetRow& row, Quantity q) const {
    const monitor::FieldValue& v = row.reading.value(q);
    if (!row.lastReading.isValid() || !v.valid) return QStringLiteral("-");
    const int divisor = monitor::LiveValueFields()[size_t(q)].divisor();
    return QString::number(v.value, 'f', divisor == 100 ? 2 : divisor == 10 ? 1 : 0);
}

QString FleetModel::cellText(const FleetRow& r, int column) const {
    switch (column) {
        case RemarkColumn:
            return r.remote() ? QStringLiteral("%1 / %2").arg(r.site, r.remark.trimmed())
                              : r.remark.trimmed();
        case PortColumn:
            return r.port;
        case LinkColumn: {
            const QString at = r.linkChangedAt.isValid() ? r.linkChangedAt.toString(kTimeFormat) : QString();
            switch (r.link) {
                case aware::LinkWatch::State::NeverLinked:
                    return message("awnever", "Not yet linked");
                case aware::LinkWatch::State::Lost:
                    return message("awlost", "Link lost since %1").arg(at);
                case aware::LinkWatch::State::Linked:
                    return at.isEmpty() ? message("awlinked", "Linked")
                                        : message("fltlinked", "Linked since %1").arg(at);
            }
            return {};
        }
        case ReadingColumn:
            if (!r.lastReading.isValid()) return message("awnoreply", "No reading yet");
            if (r.stale)
                return message("fltold", "%1, %2 old")
                    .arg(r.lastReading.toString(kTimeFormat), ageText(r.ageSeconds));
            return r.lastReading.toString(kTimeFormat);
        case EngineColumn:
            switch (r.engine) {
                case EngineState::Running:
                    return message("fltrunning", "Running");
                case EngineState::Stopped:
                    return message("fltstopped", "Stopped");
                case EngineState::Alarm:
                    return message("fltalarm", "Alarm");
                case EngineState::Unknown:
                    return QStringLiteral("-");
            }
            return {};
        case AlarmsColumn:
            return r.lastReading.isValid() ? QString::number(r.alarms.size()) : QStringLiteral("-");
        case WatchColumn:
            return r.lastReading.isValid() ? QString::number(r.watchPanels.size()) : QStringLiteral("-");
        default:
            return isValueColumn(column) ? number(r, quantityOf(column)) : QString();
    }
}

QVariant FleetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size()) return {};
    const FleetRow& r = m_rows.at(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return cellText(r, index.column());
        case Qt::ToolTipRole: {
            QStringList names;
            if (index.column() == AlarmsColumn)
                for (const QString& a : r.alarms)
                    names << m_translations.value(QStringLiteral("lbl%1.Caption").arg(a), a);
            else if (index.column() == WatchColumn)
                for (const QString& p : r.watchPanels) names << caption(p);
            else
                return cellText(r, index.column());
            return names.join(QLatin1Char('\n'));
        }
        case Qt::TextAlignmentRole:
            return isValueColumn(index.column()) || index.column() >= AlarmsColumn
                       ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                       : QVariant();
        case SeverityRole:
            return int(r.severity);
        case StaleRole:
            return r.stale;
        case RemoteRole:
            return r.remote();
        default:
            return {};
    }
}

QVariant FleetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case RemarkColumn:
            return message("fltremark", "Set");
        case PortColumn:
            return message("fltport", "Port");
        case LinkColumn:
            return message("fltlink", "Link");
        case ReadingColumn:
            return message("fltreading", "Last reading");
        case EngineColumn:
            return message("fltengine", "Engine");
        case AlarmsColumn:
            return message("fltalarms", "Alarms");
        case WatchColumn:
            return message("fltwatch", "Own limits");
        default: {
            const monitor::BlockField& f = monitor::LiveValueFields()[size_t(quantityOf(section))];
            return QStringLiteral("%1 (%2)").arg(caption(QLatin1String(f.panel)), QLatin1String(f.unit));
        }
    }
}

}  // namespace tarsyn::fleet
