#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "fleet/FleetModel.h"
#include "publish/MqttSettings.h"

namespace tarsyn::publish {
class MqttClient;
}

namespace tarsyn::fleet {

/// A row of the fleet from another site's retained state message ("tarsyn/<site>/<controller>/state",
/// as fleet publishing writes it): the site, the controller's remark and port, its link and since
/// when, the time of the reading, its values, active alarms and engine state. Nullopt for a topic
/// that is not a state message or a payload that is not one.
std::optional<FleetRow> RemoteRowFromState(const QByteArray& topic, const QByteArray& payload);

/// The fleet's second source: the broker of fleet publishing, read only. Subscribes to the state
/// topics the operator chooses (by default every site's, "tarsyn/+/+/state") and hands the rows of
/// the other sites to the model (this PC's own site is its own lines already). Nothing is ever sent
/// to those sets. The connection is libmosquitto's thread; the rows are made on this object's thread.
class BrokerFleet : public QObject {
    Q_OBJECT
public:
    static constexpr char kDefaultFilter[] = "tarsyn/+/+/state";

    BrokerFleet(const publish::MqttSettings& settings, FleetModel& model, QObject* parent = nullptr);
    ~BrokerFleet() override;

    /// Watches `filter` (an MQTT topic filter of state topics) instead of what was watched before;
    /// empty: nothing, and the other sites' rows go. Returns the refusal's text for a filter that is
    /// not one, else empty.
    QString watch(const QString& filter);
    QString filter() const { return m_filter; }

signals:
    /// The rows of other sites changed (for tests and the window's count).
    void rowsChanged(int count);

private:
    void heard(const QByteArray& topic, const QByteArray& payload);

    const publish::MqttSettings m_settings;
    FleetModel& m_model;
    QString m_filter;
    int m_generation = 0;  // of the watch: news of an earlier one is dropped
    std::unique_ptr<publish::MqttClient> m_client;
    QMap<QString, FleetRow> m_rows;  // by "site/controller"
};

}  // namespace tarsyn::fleet
