#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include "aware/AlarmEdges.h"
#include "aware/LinkWatch.h"
#include "aware/WatchLimits.h"
#include "config/Config.h"
#include "monitor/HistorySink.h"
#include "monitor/ReadingSubscriber.h"

namespace tarsyn::config {
class LiveSettings;
}  // namespace tarsyn::config
namespace tarsyn::history {
class Journal;
}
namespace tarsyn::link {
class Clock;
}
namespace tarsyn::monitor {
class PollCycle;
}

namespace tarsyn::aware {

/// Shows a notification where the desktop can (the tray icon's balloon), and rings if the operator
/// asked for it. Tests record the requests.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void notify(const QString& title, const QString& text) = 0;
};

/// What the main window's status strip shows of the operator's awareness, texts already translated.
struct AwarenessStatus {
    QString controller;        ///< remark of the current entry
    QString linkText;          ///< "Link lost since 10:02:13", "Not yet linked" or "Linked"
    bool linkWarning = true;   ///< drawn in the warning colour (not linked)
    QString lastReplyText;     ///< "Last reading 10:02:11" or "No reading yet"
    QString alarmText;         ///< "Active alarms: 2" (and the operator's own warnings when there are some),
                               ///< or, without a link, that the alarm state is unknown
    int alarms = 0;            ///< active alarm indicators of the current controller, as last read
    int ownWarnings = 0;       ///< active watch-limit warnings of the current controller
    bool alarmsKnown = false;  ///< the counts come from a live link (else they are the last ones read)
    QStringList warnedPanels;  ///< value panels beyond one of the operator's own limits (`pnl17`…)
    bool stale = true;         ///< the readings on screen are not from a live link
    bool operator==(const AwarenessStatus& o) const {
        return controller == o.controller && linkText == o.linkText && linkWarning == o.linkWarning &&
               lastReplyText == o.lastReplyText && alarmText == o.alarmText && alarms == o.alarms &&
               ownWarnings == o.ownWarnings && alarmsKnown == o.alarmsKnown &&
               warnedPanels == o.warnedPanels && stale == o.stale;
    }
};

/// The status strip's side of the main window.
class StatusView {
public:
    virtual ~StatusView() = default;
    virtual void showAwareness(const AwarenessStatus& status) = 0;
};

/// The operator's awareness, a subscriber of the poll cycle: from each live reading it finds the alarm
/// edges of each controller and journals each of them, notifies new alarms at most once per quiet
/// period per alarm and controller, follows the operator's own watch limits, and at the end of every
/// tick journals link losses and returns and tells the status strip what to show. It never throws into
/// the tick. As a history sink (raw replies) it passes every reply on unchanged to the next one.
class Awareness : public QObject, public monitor::HistorySink, public monitor::ReadingSubscriber {
    Q_OBJECT
public:
    Awareness(const link::Clock& clock, const config::Config& config, const config::LiveSettings& settings,
              history::Journal& journal, Notifier& notifier, QObject* parent = nullptr);

    /// Where live replies go on to (the history recorder); null: nowhere.
    void setNext(monitor::HistorySink* next) { m_next = next; }
    void setStatusView(StatusView* view) { m_view = view; }
    void setWatchLimits(const QVector<WatchLimit>& limits) { m_watch.setLimits(limits); }
    const QVector<WatchLimit>& watchLimits() const { return m_watch.limits(); }

    /// A live reply as the poll cycle read it, with the current entry's remark.
    void recordLiveReply(const QString& reply, const QString& remark) override;
    /// A live reading (delay readings change nothing here).
    void readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                        const QString& reply) override;
    /// The end of a tick, as the cycle publishes it.
    void tickEnded(const monitor::TickEnd& end) override;
    /// The end of a tick.
    void afterTick(const TickState& state);
    /// The end of a tick of `poll`, read from the cycle (for a cycle this is not subscribed to).
    void afterTickOf(monitor::PollCycle& poll);

    AwarenessStatus status() const;
    const AlarmEdges& alarms() const { return m_edges; }
    const LinkWatch& links() const { return m_links; }

    /// The catalogue text of an alarm indicator ("lblzs9.Caption"), or its name when missing.
    QString indicatorText(const QString& indicator) const;
    /// The catalogue text of a value panel's caption ("pnl17" -> "lbl17.Caption"), or the name.
    QString valueText(const QString& panel) const;

signals:
    void statusChanged();

private:
    void takeReading(const monitor::LiveReading& reading, const QString& remark);
    void alarmEdge(const QString& controller, const AlarmEdge& edge, const QDateTime& now);
    void watchChange(const QString& controller, const WatchChange& change, const QDateTime& now);
    void notify(const QString& controller, const QString& key, const QString& what, const QDateTime& now);
    QString translation(const QString& key, const QString& fallback) const;
    QString message(const QString& key) const;
    void loadCatalogue() const;
    void publish();

    const link::Clock& m_clock;
    const config::Config& m_config;
    const config::LiveSettings& m_settings;
    history::Journal& m_journal;
    Notifier& m_notifier;
    StatusView* m_view = nullptr;
    monitor::HistorySink* m_next = nullptr;

    AlarmEdges m_edges;
    LinkWatch m_links;
    NotifyLimiter m_limiter;
    WatchEvaluator m_watch;
    QHash<QString, QDateTime> m_lastReply;  // per controller: the last complete live reply
    TickState m_tick;
    QDateTime m_lastRefresh;  // the poll cycle's next refresh time at the previous tick's end
    AwarenessStatus m_shown;
    // The catalogue's two sections, read once per language: an alarm storm must not read the file
    // once per event.
    mutable QString m_catalogueLanguage;
    mutable config::IniSection m_translations;
    mutable config::IniSection m_messageTexts;
    bool m_published = false;
};

/// The operator's sound setting: system.ini [Aware] "sound" = "1" rings at a notification; anything
/// else (also missing) stays quiet.
bool SoundEnabled(const config::Config& config);
/// Journal retention: system.ini [Aware] "days" (default 365).
int JournalRetentionSetting(const config::Config& config);

}  // namespace tarsyn::aware
