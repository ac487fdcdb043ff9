#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

#include "aware/LinkWatch.h"
#include "aware/WatchLimits.h"
#include "config/Config.h"
#include "monitor/LiveReading.h"
#include "monitor/ReadingSubscriber.h"

namespace tarsyn::config {
class LiveSettings;
}
namespace tarsyn::link {
class Clock;
}

namespace tarsyn::fleet {

/// How urgently a row wants the operator's eye, most urgent first: the order of the fleet table.
enum class Severity { Alarm, LinkLost, Stale, Normal };

/// The engine as the last live reading's indicators show it.
enum class EngineState { Unknown, Running, Stopped, Alarm };

/// One controller of the fleet: an entry of this PC's port list, or (with `site` set) a set another
/// site publishes, which is only ever looked at.
struct FleetRow {
    int entry = -1;  ///< index in the port list; -1 for a row of another site
    QString site;    ///< empty: this PC's own line
    QString port;
    QString remark;
    aware::LinkWatch::State link = aware::LinkWatch::State::NeverLinked;
    QDateTime linkChangedAt;       ///< invalid: not since the start
    QDateTime lastReading;         ///< the last complete live reading; invalid: none yet
    qint64 lastReadingMs = -1;     ///< the same since the epoch; -1: none yet
    monitor::LiveReading reading;  ///< its fields
    QStringList alarms;            ///< active alarm indicators (`zs9`…), in number order
    QStringList watchPanels;       ///< value panels beyond one of the operator's own limits
    EngineState engine = EngineState::Unknown;
    bool stale = true;       ///< no reading, or one older than two rotation rounds
    qint64 ageSeconds = -1;  ///< of the last reading; -1 without one
    Severity severity = Severity::Stale;
    bool dirty = true;  ///< to be drawn again at the end of the tick

    bool remote() const { return !site.isEmpty(); }
};

/// The engine of a set from its state indicators (`indicator` answers by name, nullopt when not
/// read): alarm when `alarmed`; running when starting (zs11), supplying (zs13) or fuel (zs31) is on;
/// stopped otherwise; unknown when the states were not read.
EngineState EngineOf(const std::function<std::optional<bool>(const QString&)>& indicator, bool alarmed);

/// Where a double-click in the fleet table takes the line: the port dialog's own selection, under its
/// gates. The program implements it over the port selection; tests record the calls.
class FleetTarget {
public:
    virtual ~FleetTarget() = default;
    /// Another exchange holds the line (the poll is stopped for it): nothing may switch the port now.
    virtual bool lineBusy() const = 0;
    /// Makes port-list entry `entry` (port `port`) the one on screen, as "指定" in the port dialog does.
    virtual void selectEntry(int entry, const QString& port) = 0;
};

/// The fleet overview: one row per controller of the port list, kept from every reading and link
/// change the station brings (rotation or the fixed port), sorted by severity (alarm, link lost,
/// stale, normal; the port list's order within each). A row whose last reading is older than two
/// rotation rounds (entries × refresh time, twice) is stale. A subscriber of the station; no Widgets.
/// Rows of other sites (a broker) come in through setRemoteRows and are never selected.
class FleetModel : public QAbstractTableModel, public monitor::ReadingSubscriber {
    Q_OBJECT
public:
    enum Column {
        RemarkColumn,
        PortColumn,
        LinkColumn,
        ReadingColumn,
        VoltageColumn,
        CurrentColumn,
        FrequencyColumn,
        PowerColumn,
        BatteryColumn,
        EngineColumn,
        AlarmsColumn,
        WatchColumn,
        ColumnCount
    };
    /// Data roles beside the display and tooltip texts: the row's Severity (int) and whether it is stale.
    enum Role { SeverityRole = Qt::UserRole + 1, StaleRole, RemoteRole };
    enum class Selection { Selected, Busy, ReadOnly, NoRow };
    /// Another site publishes its state at least every refresh time; five minutes without one is stale.
    static constexpr qint64 kRemoteStaleSeconds = 300;

    FleetModel(const link::Clock& clock, const config::Config& config, const config::LiveSettings& settings,
               QObject* parent = nullptr);

    void setTarget(FleetTarget* target) { m_target = target; }
    void setWatchLimits(const QVector<aware::WatchLimit>& limits);
    /// Reads the texts of the catalogue in effect (at start and after a language change).
    void relabel();
    /// The rows of the port list again (after the settings window changed it); what was read is kept
    /// for the ports still listed.
    void reloadPorts();
    /// The second source's rows (another site's sets: `site` set, `entry` ignored), replacing those it
    /// gave before. Their link, reading, alarms and engine come from their source; they are stale when
    /// their reading is older than kRemoteStaleSeconds, and only shown: the broker subscription of
    /// fleet publishing calls this on the model's thread.
    void setRemoteRows(const QVector<FleetRow>& rows);

    /// Double-click or Enter on `row`: selects its controller unless the row is another site's or the
    /// line is busy with another exchange.
    Selection select(int row);
    /// The refusal's text for `selection` (empty for Selected).
    QString refusalText(Selection selection) const;

    const FleetRow& row(int row) const { return m_rows.at(row); }
    /// Seconds after which a reading is stale: two rounds of the port list at the refresh time.
    qint64 staleAfterSeconds() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                        const QString& reply) override;
    void tickEnded(const monitor::TickEnd& end) override;

    /// The texts of a row's cells, as shown (for the window's tests and the CSV of a picture).
    QString cellText(const FleetRow& row, int column) const;

private:
    FleetRow* rowOf(const QString& port);
    void refresh(const QDateTime& now);
    void judge(FleetRow& row, qint64 nowMs, qint64 staleAfterMs) const;
    QString message(const char* key, const char* english) const;
    QString caption(const QString& panel) const;
    QString ageText(qint64 seconds) const;
    QString number(const FleetRow& row, monitor::Quantity q) const;

    const link::Clock& m_clock;
    const config::Config& m_config;
    const config::LiveSettings& m_settings;
    FleetTarget* m_target = nullptr;
    aware::LinkWatch m_links;
    aware::WatchEvaluator m_watch;
    QVector<FleetRow> m_rows;  // in the order shown
    config::IniSection m_messages;
    config::IniSection m_translations;
};

}  // namespace tarsyn::fleet
