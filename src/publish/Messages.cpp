#include "publish/Messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "aware/JournalExport.h"
#include "monitor/LiveMap.h"
#include "monitor/ReadingJson.h"

namespace tarsyn::publish {

namespace {

const QString kPrefix = QStringLiteral("tarsyn/");
const QString kDiscoveryPrefix = QStringLiteral("homeassistant");

// Home Assistant's device class of a value, by its unit; none where it has no fitting one.
QString deviceClass(const monitor::BlockField& f) {
    const QString unit = QLatin1String(f.unit);
    if (unit == QLatin1String("V")) return QStringLiteral("voltage");
    if (unit == QLatin1String("Hz")) return QStringLiteral("frequency");
    if (unit == QLatin1String("C")) return QStringLiteral("temperature");
    if (unit == QLatin1String("kPa")) return QStringLiteral("pressure");
    if (unit == QLatin1String("kW")) return QStringLiteral("power");
    if (unit == QLatin1String("A")) return QStringLiteral("current");
    if (unit == QLatin1String("h")) return QStringLiteral("duration");
    if (QLatin1String(f.quantity) == QLatin1String("power factor")) return QStringLiteral("power_factor");
    return {};
}

// Object ids may hold letters, digits, "_" and "-" only.
QString objectId(const QString& text) {
    QString id;
    for (QChar c : text)
        id += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == QLatin1Char('-') ? c.toLower()
                                                                                    : QLatin1Char('_');
    return id;
}

}  // namespace

QByteArray Topics::status(const QString& process) const {
    return (kPrefix + m_site + '/' + process + QStringLiteral("/status")).toUtf8();
}
QByteArray Topics::availability(const QString& c) const {
    return (kPrefix + m_site + '/' + c + QStringLiteral("/availability")).toUtf8();
}
QByteArray Topics::state(const QString& c) const {
    return (kPrefix + m_site + '/' + c + QStringLiteral("/state")).toUtf8();
}
QByteArray Topics::event(const QString& c) const {
    return (kPrefix + m_site + (c.isEmpty() ? QString() : '/' + c) + QStringLiteral("/event")).toUtf8();
}
QByteArray Topics::command(const QString& c) const {
    return (kPrefix + m_site + '/' + c + QStringLiteral("/command")).toUtf8();
}
QByteArray Topics::commandResult(const QString& c) const {
    return (kPrefix + m_site + '/' + c + QStringLiteral("/command/result")).toUtf8();
}
QByteArray Topics::commandFilter() const {
    return (kPrefix + m_site + QStringLiteral("/+/command")).toUtf8();
}

QString Topics::commandController(const QByteArray& topic) const {
    const QString t = QString::fromUtf8(topic);
    const QString head = kPrefix + m_site + '/';
    const QString tail = QStringLiteral("/command");
    if (!t.startsWith(head) || !t.endsWith(tail)) return {};
    const QString level = t.mid(head.size(), t.size() - head.size() - tail.size());
    if (level.isEmpty() || level.contains('/')) return {};
    return level;
}

QString IsoTime(const QDateTime& time) {
    if (!time.isValid()) return {};
    // A local time's offset comes from the C library, under a lock it shares with every other local
    // time conversion of the process (the poll threads' too): each publishing thread asks once an hour
    // (in the hour that repeats when summer time ends, the first offset stands).
    thread_local qint64 cachedHour = -1;
    thread_local int cachedOffset = 0;
    int offset = 0;
    if (time.timeSpec() == Qt::LocalTime) {
        const qint64 hour = time.date().toJulianDay() * 24 + time.time().hour();
        if (hour != cachedHour) {
            cachedOffset = time.offsetFromUtc();
            cachedHour = hour;
        }
        offset = cachedOffset;
    } else {
        offset = time.offsetFromUtc();
    }
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + (offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray StateJson(const monitor::LiveReading& r, const AlarmTexts& texts) {
    QJsonObject state;
    state.insert(QStringLiteral("time"), IsoTime(r.time));
    state.insert(QStringLiteral("controller"), r.remark.trimmed());
    state.insert(QStringLiteral("port"), r.port);
    QJsonObject link;
    link.insert(QStringLiteral("linked"), r.linked);
    if (r.linkChangedAt.isValid()) link.insert(QStringLiteral("since"), IsoTime(r.linkChangedAt));
    state.insert(QStringLiteral("link"), link);
    state.insert(QStringLiteral("values"), monitor::ReadingJson::values(r));
    state.insert(QStringLiteral("delays"), monitor::ReadingJson::delays(r));
    QJsonArray alarms;
    for (const QString& name : monitor::IndicatorNames()) {
        const std::optional<bool> on = r.indicator(name);
        if (on.value_or(false) && monitor::PictureSetOf(name) == monitor::PictureSet::Alarm) {
            QJsonObject alarm;
            alarm.insert(QStringLiteral("indicator"), name);
            alarm.insert(QStringLiteral("text"), texts.local.value(name, name));
            alarm.insert(QStringLiteral("english"), texts.english.value(name, name));
            alarms.append(alarm);
        }
    }
    state.insert(QStringLiteral("indicators"), monitor::ReadingJson::indicators(r));
    state.insert(QStringLiteral("alarms"), alarms);
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

QByteArray EventJson(const history::JournalEvent& e, const QString& kindText, const config::Catalogue& local,
                     const config::Catalogue& english) {
    QJsonObject o;
    o.insert(QStringLiteral("id"), e.id);
    // The journal stamps local time to the second.
    o.insert(QStringLiteral("time"),
             IsoTime(QDateTime::fromString(e.sj, QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    o.insert(QStringLiteral("controller"), e.controller);
    o.insert(QStringLiteral("kind"), history::journalKindCode(e.kind));
    o.insert(QStringLiteral("text"), kindText);
    o.insert(QStringLiteral("detail"), e.detail);
    o.insert(QStringLiteral("detail_local"), aware::RenderJournalDetail(e, local).text);
    o.insert(QStringLiteral("detail_english"), aware::RenderJournalDetail(e, english).text);
    o.insert(QStringLiteral("language"), local.language);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QList<std::pair<QByteArray, QByteArray>> DiscoveryConfigs(const Topics& topics, const QString& controller,
                                                          const AlarmTexts& texts,
                                                          const DiscoveryOptions& options) {
    QList<std::pair<QByteArray, QByteArray>> configs;
    const QString node = objectId(QStringLiteral("tarsyn_") + topics.site() + '_' + controller);
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{node});
    device.insert(QStringLiteral("name"), controller);
    device.insert(QStringLiteral("manufacturer"), QStringLiteral("Tarsyn"));
    device.insert(QStringLiteral("model"), QStringLiteral("generator set controller"));
    device.insert(QStringLiteral("suggested_area"), topics.site());
    const QString state = QString::fromUtf8(topics.state(controller));
    // Available while the publishing process is online and the controller answers.
    const QJsonArray availability{
        QJsonObject{{QStringLiteral("topic"), QString::fromUtf8(options.processStatus)}},
        QJsonObject{{QStringLiteral("topic"), QString::fromUtf8(topics.availability(controller))}}};
    auto add = [&](const QString& component, const QString& id, QJsonObject config) {
        config.insert(QStringLiteral("unique_id"), node + '_' + id);
        config.insert(QStringLiteral("device"), device);
        config.insert(QStringLiteral("availability"), availability);
        config.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
        if (component != QLatin1String("button") && options.expireAfter > 0)
            config.insert(QStringLiteral("expire_after"), options.expireAfter);
        configs.append(
            {(kDiscoveryPrefix + '/' + component + '/' + node + '/' + id + QStringLiteral("/config"))
                 .toUtf8(),
             QJsonDocument(config).toJson(QJsonDocument::Compact)});
    };
    for (const monitor::BlockField& f : monitor::LiveValueFields()) {
        const QString key = QLatin1String(f.key);
        QJsonObject c;
        c.insert(QStringLiteral("name"), QString::fromLatin1(f.quantity));
        c.insert(QStringLiteral("state_topic"), state);
        c.insert(QStringLiteral("value_template"),
                 QStringLiteral("{{ value_json['values']['%1']['value'] }}").arg(key));
        if (*f.unit) c.insert(QStringLiteral("unit_of_measurement"), monitor::UnitText(f.unit));
        const QString cls = deviceClass(f);
        if (!cls.isEmpty()) c.insert(QStringLiteral("device_class"), cls);
        c.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        add(QStringLiteral("sensor"), key, c);
    }
    for (const QString& name : monitor::IndicatorNames()) {
        if (monitor::PictureSetOf(name) != monitor::PictureSet::Alarm) continue;
        QJsonObject c;
        c.insert(QStringLiteral("name"), texts.english.value(name, name));
        c.insert(QStringLiteral("state_topic"), state);
        c.insert(QStringLiteral("value_template"),
                 QStringLiteral("{{ 'ON' if value_json['indicators']['%1'] else 'OFF' }}").arg(name));
        c.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
        add(QStringLiteral("binary_sensor"), name, c);
    }
    // No buttons: a button sends a fixed payload, and a command must be signed, fresh and once. An
    // empty retained config takes away a button an earlier version published.
    for (const RemoteCommand& rc : kRemoteCommands)
        configs.append({(kDiscoveryPrefix + QStringLiteral("/button/") + node + '/' + QLatin1String(rc.word) +
                         QStringLiteral("/config"))
                            .toUtf8(),
                        QByteArray()});
    return configs;
}

}  // namespace tarsyn::publish
