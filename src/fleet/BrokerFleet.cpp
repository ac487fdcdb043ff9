#include "fleet/BrokerFleet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include "monitor/LiveMap.h"
#include "publish/Messages.h"
#include "publish/MqttClient.h"

namespace tarsyn::fleet {

std::optional<FleetRow> RemoteRowFromState(const QByteArray& topic, const QByteArray& payload) {
    const QList<QByteArray> levels = topic.split('/');
    if (levels.size() != 4 || levels.at(0) != "tarsyn" || levels.at(3) != "state" || levels.at(1).isEmpty())
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject state = doc.object();
    FleetRow r;
    r.site = QString::fromUtf8(levels.at(1));
    r.remark = state.value(QStringLiteral("controller")).toString();
    if (r.remark.trimmed().isEmpty()) r.remark = QString::fromUtf8(levels.at(2));
    r.port = state.value(QStringLiteral("port")).toString();

    const QJsonObject link = state.value(QStringLiteral("link")).toObject();
    const QDateTime since =
        QDateTime::fromString(link.value(QStringLiteral("since")).toString(), Qt::ISODate);
    if (link.value(QStringLiteral("linked")).toBool())
        r.link = aware::LinkWatch::State::Linked;
    else
        r.link = since.isValid() ? aware::LinkWatch::State::Lost : aware::LinkWatch::State::NeverLinked;
    if (since.isValid()) r.linkChangedAt = since.toLocalTime();

    r.reading.remark = r.remark;
    r.reading.port = r.port;
    r.reading.linked = r.link == aware::LinkWatch::State::Linked;
    const QJsonObject values = state.value(QStringLiteral("values")).toObject();
    const std::vector<monitor::BlockField>& fields = monitor::LiveValueFields();
    bool anyValue = false;
    for (size_t i = 0; i < fields.size(); ++i) {
        const QJsonValue v =
            values.value(QLatin1String(fields[i].key)).toObject().value(QStringLiteral("value"));
        if (!v.isDouble()) continue;
        r.reading.values[i].value = v.toDouble();
        r.reading.values[i].valid = true;
        anyValue = true;
    }
    const QDateTime time = QDateTime::fromString(state.value(QStringLiteral("time")).toString(), Qt::ISODate);
    if (anyValue && time.isValid()) {
        r.lastReading = time.toLocalTime();
        r.lastReadingMs = time.toMSecsSinceEpoch();
        r.reading.time = r.lastReading;
    }
    for (const QJsonValue& a : state.value(QStringLiteral("alarms")).toArray())
        r.alarms << a.toObject().value(QStringLiteral("indicator")).toString();
    const QJsonObject indicators = state.value(QStringLiteral("indicators")).toObject();
    r.engine = EngineOf(
        [&indicators](const QString& name) -> std::optional<bool> {
            const QJsonValue v = indicators.value(name);
            if (!v.isBool()) return std::nullopt;
            return v.toBool();
        },
        !r.alarms.isEmpty());
    r.dirty = true;
    return r;
}

BrokerFleet::BrokerFleet(const publish::MqttSettings& settings, FleetModel& model, QObject* parent)
    : QObject(parent), m_settings(settings), m_model(model) {
    setObjectName(QStringLiteral("brokerFleet"));
}

BrokerFleet::~BrokerFleet() {
    if (m_client) m_client->stop();
}

QString BrokerFleet::watch(const QString& filter) {
    const QString wanted = filter.trimmed();
    // A filter of state topics: four levels under "tarsyn", the last one "state".
    const QStringList levels = wanted.split(QLatin1Char('/'));
    if (!wanted.isEmpty() && (levels.size() != 4 || levels.at(0) != QLatin1String("tarsyn") ||
                              levels.at(3) != QLatin1String("state") || levels.at(1).isEmpty() ||
                              levels.at(2).isEmpty() || wanted.contains(QLatin1Char('#'))))
        return QStringLiteral("tarsyn/SITE/CONTROLLER/state, where + stands for any (%1)")
            .arg(QLatin1String(kDefaultFilter));
    if (m_client) {
        m_client->stop();
        m_client.reset();
    }
    m_filter = wanted;
    ++m_generation;
    m_rows.clear();
    m_model.setRemoteRows({});
    emit rowsChanged(0);
    if (wanted.isEmpty()) return {};

    publish::MqttClient::Handlers handlers;
    const QByteArray topic = wanted.toUtf8();
    // Called on the network thread: the subscription is renewed at every connection, the messages go
    // to this object's thread.
    handlers.connected = [this, topic] { m_client->subscribe(topic, 0); };
    handlers.message = [this, generation = m_generation](const QByteArray& t, const QByteArray& payload,
                                                         bool) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, t, payload] {
                if (generation == m_generation) heard(t, payload);
            },
            Qt::QueuedConnection);
    };
    const QString clientId = QStringLiteral("tarsyn-%1-fleet-%2")
                                 .arg(m_settings.site)
                                 .arg(QRandomGenerator::global()->generate() % 100000);
    m_client =
        std::make_unique<publish::MqttClient>(m_settings, clientId, QByteArray(), QByteArray(), handlers);
    QString reason;
    if (!m_client->start(&reason)) {
        m_client.reset();
        return reason;
    }
    return {};
}

void BrokerFleet::heard(const QByteArray& topic, const QByteArray& payload) {
    std::optional<FleetRow> row = RemoteRowFromState(topic, payload);
    // This PC's own site is its own lines, read first hand.
    if (!row || row->site == m_settings.site) return;
    const QString key = row->site + QLatin1Char('/') + row->remark.trimmed();
    m_rows.insert(key, *row);
    m_model.setRemoteRows(m_rows.values().toVector());
    emit rowsChanged(int(m_rows.size()));
}

}  // namespace tarsyn::fleet
