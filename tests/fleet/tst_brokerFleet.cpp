// The fleet's second source: other sites' sets from the broker's retained state messages, read only.
#include <QtTest>

#include "FakeClock.h"
#include "MqttSupport.h"
#include "ProgramRig.h"
#include "SimPort.h"
#include "fleet/BrokerFleet.h"
#include "fleet/FleetModel.h"
#include "link/Codec.h"
#include "monitor/LiveReading.h"
#include "publish/Messages.h"

using namespace tarsyn;
using fleet::FleetModel;

namespace {

/// A state message as fleet publishing writes it, of a simulated controller as its live block reads:
/// stopped by the emergency stop (`tarsyn-sim --alarm`), its battery at 24.2 V or so.
QByteArray simulatedState(const QString& remark) {
    test::SimPort sim(test::SimPort::Alarm);
    sim.port.WriteText(link::BuildFrame(monitor::BlockRequest(monitor::ReplyBlock::Live)));
    monitor::LiveReading reading;
    reading.remark = remark;
    reading.port = QStringLiteral("/dev/ttyUSB3");
    reading.linked = true;
    reading.time = QDateTime::currentDateTime();
    reading.linkChangedAt = reading.time.addSecs(-60);
    monitor::DecodeLiveReply(sim.port.ReadAvailable(monitor::BlockReadCount(monitor::ReplyBlock::Live)),
                             reading);
    publish::AlarmTexts texts;
    texts.english.insert(QStringLiteral("zs9"), QStringLiteral("Emergency stop"));
    return publish::StateJson(reading, texts);
}

/// The port dialog's selection, as the fleet window reaches it: it must never be called for another site.
struct RecordingTarget : fleet::FleetTarget {
    bool lineBusy() const override { return false; }
    void selectEntry(int entry, const QString&) override { selected << entry; }
    QList<int> selected;
};

}  // namespace

class TestBrokerFleet : public QObject {
    Q_OBJECT
private slots:
    void aStateMessageIsARowOfItsSite() {
        const QByteArray payload = simulatedState(QStringLiteral("Genset 9"));
        const std::optional<fleet::FleetRow> row =
            fleet::RemoteRowFromState("tarsyn/north/Genset_9/state", payload);
        QVERIFY(row);
        QCOMPARE(row->site, QStringLiteral("north"));
        QCOMPARE(row->remark, QStringLiteral("Genset 9"));
        QCOMPARE(row->port, QStringLiteral("/dev/ttyUSB3"));
        QCOMPARE(row->link, aware::LinkWatch::State::Linked);
        QVERIFY(row->alarms.contains(QStringLiteral("zs9")));
        QCOMPARE(row->engine, fleet::EngineState::Alarm);
        QVERIFY(row->lastReading.isValid());
        QVERIFY(row->reading.value(monitor::Quantity::BatteryVoltage).valid);
        // Not a state message of a site: no row.
        QVERIFY(!fleet::RemoteRowFromState("tarsyn/north/status", "online"));
        QVERIFY(!fleet::RemoteRowFromState("tarsyn/north/Genset_9/state", "not json"));
        QVERIFY(!fleet::RemoteRowFromState("other/north/Genset_9/state", payload));
    }

    void otherSitesShowReadOnlyAndTheOwnSiteNot() {
        TARSYN_SKIP_WITHOUT_MQTT_BROKER();
        test::ProgramRig rig;
        test::FakeClock clock;
        clock.set(QDateTime::currentDateTime());
        FleetModel model(clock, rig.config, rig.settings);
        RecordingTarget target;
        model.setTarget(&target);
        const QString tag = QString::number(QRandomGenerator::global()->generate());
        const QString other = QStringLiteral("north") + tag, own = QStringLiteral("home") + tag;
        test::MqttProbe sender(test::throwawayBrokerUrl(), QStringLiteral("sender") + tag,
                               {QStringLiteral("tarsyn/%1/+/state").arg(other)});
        QVERIFY(sender.connect());
        sender.publish(QStringLiteral("tarsyn/%1/Genset_9/state").arg(other), simulatedState("Genset 9"),
                       true);
        sender.publish(QStringLiteral("tarsyn/%1/Genset_1/state").arg(own), simulatedState("Genset 1"), true);

        publish::MqttSettings settings;
        const QUrl url(test::throwawayBrokerUrl());
        settings.host = url.host();
        settings.port = url.port();
        settings.site = own;
        fleet::BrokerFleet broker(settings, model);
        QVERIFY(!broker.watch(QStringLiteral("tarsyn/#")).isEmpty());  // not state topics
        QCOMPARE(broker.watch(QStringLiteral("tarsyn/+/+/state")), QString());
        // Other tests of the same broker leave states of their own sites: only this test's two count.
        const auto rowOfSite = [&model](const QString& site) {
            for (int r = 0; r < model.rowCount(); ++r)
                if (model.row(r).site == site) return r;
            return -1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(rowOfSite(other) >= 0, 10000);
        const fleet::FleetRow& row = model.row(rowOfSite(other));
        QCOMPARE(model.cellText(row, FleetModel::RemarkColumn), QStringLiteral("%1 / Genset 9").arg(other));
        QCOMPARE(row.severity, fleet::Severity::Alarm);
        QCOMPARE(model.select(rowOfSite(other)), FleetModel::Selection::ReadOnly);  // never a command
        QCOMPARE(rowOfSite(own), -1);
        QVERIFY(target.selected.isEmpty());
        // Nothing watched: the other sites' rows go.
        QCOMPARE(broker.watch(QString()), QString());
        QCOMPARE(model.rowCount(), 0);
        sender.publish(QStringLiteral("tarsyn/%1/Genset_9/state").arg(other), QByteArray(), true);
        sender.publish(QStringLiteral("tarsyn/%1/Genset_1/state").arg(own), QByteArray(), true);
    }
};

QTEST_GUILESS_MAIN(TestBrokerFleet)
#include "tst_brokerFleet.moc"
