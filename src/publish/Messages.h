#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <utility>

#include "config/CatalogueText.h"
#include "history/JournalStore.h"
#include "monitor/LiveReading.h"

namespace tarsyn::publish {

/// The topics of one site: "tarsyn/<site>/…". A controller is named by TopicLevel() of its remark.
class Topics {
public:
    explicit Topics(QString site) : m_site(std::move(site)) {}
    QString site() const { return m_site; }
    /// "tarsyn/<site>/<process>/status" of one process (one line of a service, or the window program):
    /// retained "online", the will "offline".
    QByteArray status(const QString& process) const;
    /// "tarsyn/<site>/<controller>/availability": retained "online" while the controller's link is up
    /// as the awareness judges it, "offline" when it is lost and when the program stops.
    QByteArray availability(const QString& controller) const;
    /// "tarsyn/<site>/<controller>/state": retained JSON, one per interval.
    QByteArray state(const QString& controller) const;
    /// "tarsyn/<site>/<controller>/event"; events of no controller (a login, saved settings) go to
    /// "tarsyn/<site>/event".
    QByteArray event(const QString& controller) const;
    QByteArray command(const QString& controller) const;
    QByteArray commandResult(const QString& controller) const;
    /// The filter of every controller's command topic: "tarsyn/<site>/+/command".
    QByteArray commandFilter() const;
    /// The controller level of a command topic of this site; null when `topic` is not one.
    QString commandController(const QByteArray& topic) const;

private:
    QString m_site;
};

inline const QByteArray kOnline = QByteArrayLiteral("online");
inline const QByteArray kOffline = QByteArrayLiteral("offline");

/// A time as ISO 8601 with its offset from UTC: "2026-12-11T10:02:13+01:00".
QString IsoTime(const QDateTime& time);

/// The captions of the alarm indicators ("lblzs9.Caption") in the operator's language and in English,
/// read once per language on the station's thread and handed to the publishing thread as they are.
struct AlarmTexts {
    QHash<QString, QString> local;    ///< indicator -> caption in the language in effect
    QHash<QString, QString> english;  ///< indicator -> English caption
};

/// The retained state of one controller: time, link and since when, the 21 values with their units,
/// the 22 delays, the 32 indicators by name (the one reading serializer, monitor::ReadingJson, keyed
/// by the live-field table's keys) and the active alarms in both languages. A field not decoded is
/// absent, never null (a dashboard would take null for "off").
QByteArray StateJson(const monitor::LiveReading& reading, const AlarmTexts& texts);

/// One journal row as an event message, with the row's id so that a consumer can drop a repeat:
/// "detail" as recorded (with the frame a command sent), "detail_local" said in `local`'s language
/// (named by "language") and "detail_english" in English, both without control names or frames.
QByteArray EventJson(const history::JournalEvent& event, const QString& kindText,
                     const config::Catalogue& local, const config::Catalogue& english);

/// What discovery needs besides the controller: the publishing process's status topic, and after how
/// many seconds without a state a sensor is no longer believed.
struct DiscoveryOptions {
    QByteArray processStatus;
    int expireAfter = 0;
};

/// Home Assistant discovery configs of one controller: every value a sensor, every alarm indicator a
/// binary sensor (empty payloads take away the command buttons of earlier versions: a command must be
/// signed, which a button cannot do); one device per controller, available while both the process and the
/// controller are (availability mode "all"); sensors expire after `expireAfter` seconds without a state.
/// Pairs of topic and retained payload.
QList<std::pair<QByteArray, QByteArray>> DiscoveryConfigs(const Topics& topics, const QString& controller,
                                                          const AlarmTexts& texts,
                                                          const DiscoveryOptions& options);

/// The four commands a broker may send, by their word on the command topic, and the toolbar button of
/// the same command.
struct RemoteCommand {
    const char* word;
    const char* button;
};
inline constexpr RemoteCommand kRemoteCommands[] = {
    {"start", "dport3"},
    {"auto", "dport4"},
    {"stop", "dport5"},
    {"test", "dport6"},
};

}  // namespace tarsyn::publish
