// Nothing lost, nothing twice: the broker stopped while alarms are raised and cleared on the simulator
// and started again (every event arrives, in order, once), and the program killed and started again
// (the will says "offline"; the events of before the kill do not come again). The broker is a real
// mosquitto: the throwaway one, or for the outage a broker of the test's own that it stops and starts.
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include "PublishRig.h"

using namespace tarsyn;

namespace {

constexpr int kWaitMs = 30000;  // a broker that comes back is tried again after at most a few seconds

QList<qint64> idsOf(const QList<QJsonObject>& events) {
    QList<qint64> ids;
    for (const QJsonObject& e : events) ids << e["id"].toInteger();
    return ids;
}

}  // namespace

class TestPublishOutage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TARSYN_SKIP_WITHOUT_MQTT_BROKER(); }

    void brokerStoppedWhileAlarmsComeAndGo() {
        test::PrivateBroker broker;
        QVERIFY(broker.start());
        test::PublishRig rig(broker.url());
        QVERIFY(rig.startPublishing());
        // A dashboard with a session the broker keeps: it hears what was published while it was away.
        test::MqttProbe dashboard(broker.url(), QStringLiteral("dash-") + rig.site,
                                  {rig.topic(QStringLiteral("+/event"))}, false);
        QVERIFY(dashboard.connect());
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->brokerStatus().connected, kWaitMs);
        rig.startPolling();
        const QString events = rig.topic("Genset_1/event");
        rig.sim.engine.setAlarm(true, false);
        for (int i = 0; i < 2; ++i) rig.tick();
        QTRY_VERIFY_WITH_TIMEOUT(!dashboard.json(events).isEmpty(), kWaitMs);

        QSignalSpy changes(rig.publisher.get(), &publish::Publisher::brokerStatusChanged);
        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.publisher->brokerStatus().connected, kWaitMs);
        // 20 s of the line's time without a broker: alarms cleared and raised again, twice.
        for (int round = 0; round < 2; ++round) {
            rig.sim.engine.setAlarm(false, false);
            for (int i = 0; i < 5; ++i) rig.tick();
            rig.sim.engine.setAlarm(true, false);
            for (int i = 0; i < 5; ++i) rig.tick();
        }
        rig.journal.flush();
        QVector<history::JournalEvent> journal = rig.journal.events({});
        std::reverse(journal.begin(), journal.end());  // oldest first
        QList<qint64> expected;
        for (const history::JournalEvent& e : journal) expected << e.id;
        QVERIFY(expected.size() >= 5);

        QVERIFY(broker.restart());
        QTRY_COMPARE_WITH_TIMEOUT(idsOf(dashboard.json(events)).size(), expected.size(), kWaitMs);
        QVERIFY(rig.publisher->flush(kWaitMs));
        QCOMPARE(idsOf(dashboard.json(events)), expected);  // every one, in order, none twice
        // The strip heard of the loss once and of the return once, however many attempts there were.
        QCOMPARE(changes.count(), 2);
    }

    void killedAndStartedAgainSendsNothingTwice() {
        const QString url = test::throwawayBrokerUrl();
        QTemporaryDir dir;
        config::Config config(dir.path());
        const QString site = QStringLiteral("k%1").arg(QRandomGenerator::global()->generate());
        config.wrini("system.ini", "Mqtt", "url", url);
        config.wrini("system.ini", "Mqtt", "site", site);
        const QString status = QStringLiteral("tarsyn/%1/program/status").arg(site);
        const QString events = QStringLiteral("tarsyn/%1/event").arg(site);
        test::MqttProbe dashboard(url, QStringLiteral("dash-") + site, {status, events});
        QVERIFY(dashboard.connect());

        const QString worker =
            qEnvironmentVariable("TARSYN_BIN_DIR") + QStringLiteral("/../tests/publish_worker");
        auto run = [&](QProcess& p, const QString& tag, int count) {
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(worker, {dir.path(), tag, QString::number(count)});
            QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
            QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine() || p.state() != QProcess::Running, kWaitMs);
            QCOMPARE(p.readLine(), QByteArray("flushed\n"));
        };
        QProcess first;
        run(first, QStringLiteral("before"), 5);
        QTRY_COMPARE_WITH_TIMEOUT(dashboard.json(events).size(), 5, kWaitMs);
        QCOMPARE(dashboard.on(status).last(), QByteArray("online"));
        first.kill();  // SIGKILL: no goodbye, the broker speaks the will
        first.waitForFinished();
        QTRY_COMPARE_WITH_TIMEOUT(dashboard.on(status).last(), QByteArray("offline"), kWaitMs);

        QProcess second;
        run(second, QStringLiteral("after"), 3);
        QTRY_COMPARE_WITH_TIMEOUT(dashboard.json(events).size(), 8, kWaitMs);
        QCOMPARE(dashboard.on(status).last(), QByteArray("online"));
        QStringList details;
        for (const QJsonObject& e : dashboard.json(events)) details << e["detail"].toString();
        QCOMPARE(details, (QStringList{"before-0", "before-1", "before-2", "before-3", "before-4", "after-0",
                                       "after-1", "after-2"}));
        const QList<qint64> ids = idsOf(dashboard.json(events));
        QVERIFY(std::is_sorted(ids.begin(), ids.end()) &&
                std::adjacent_find(ids.begin(), ids.end()) == ids.end());
        second.kill();
        second.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestPublishOutage)
#include "tst_publishOutage.moc"
