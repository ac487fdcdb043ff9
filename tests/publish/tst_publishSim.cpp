// End to end: the simulator's request handler answers in-process behind the fake port, a station polls
// it, and the publisher sends to the throwaway broker (scripts/mqtt-throwaway), where a probe of the
// test's own listens as a dashboard would. The state carries the simulator's values, an alarm raised on
// the simulator arrives as an event with its journal id, and the command topic is deaf with commands=0
// and goes through the menu's gate with commands=1. A remote command cannot surprise: retained,
// replayed, stale, forged or unsigned ones never act, and one that comes while the operator answers a
// local question is refused as busy. Each attempt is answered once and journalled.
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "PublishRig.h"
#include "ScriptedPrompter.h"
#include "SimFleet.h"
#include "monitor/CommandGate.h"
#include "operations/OperatingCommands.h"

using namespace tarsyn;

namespace {

const QString kStartFrame = link::BuildFrame(QStringLiteral("0005100100FF"));
constexpr int kWaitMs = 10000;

int startFrames(const test::PublishRig& rig) { return int(rig.sim.port.written.count(kStartFrame)); }

QVector<history::JournalEvent> journalled(test::PublishRig& rig, history::JournalKind kind) {
    rig.journal.flush();
    history::JournalFilter filter;
    filter.kind = kind;
    return rig.journal.events(filter);
}

bool wroteCommand(const test::PublishRig& rig) {
    for (const QString& frame : rig.sim.port.written)
        if (frame.startsWith(QLatin1String("0005"))) return true;
    return false;
}

// A probe on the rig's site, connected, and the publisher online.
std::unique_ptr<test::MqttProbe> listen(test::PublishRig& rig) {
    auto probe =
        std::make_unique<test::MqttProbe>(test::throwawayBrokerUrl(), QStringLiteral("probe-") + rig.site,
                                          QStringList{rig.topic(QStringLiteral("#"))});
    if (!probe->connect()) return nullptr;
    return probe;
}

}  // namespace

class TestPublishSim : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TARSYN_SKIP_WITHOUT_MQTT_BROKER(); }

    void stateCarriesTheSimulatorsValues() {
        test::PublishRig rig(test::throwawayBrokerUrl());
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(probe->on(rig.topic("program/status")).contains("online"), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->brokerStatus().connected, kWaitMs);
        rig.startPolling();
        for (int i = 0; i < 4; ++i) rig.tick();
        // The controller is available once it answers.
        QTRY_COMPARE_WITH_TIMEOUT(probe->on(rig.topic("Genset_1/availability")).value(0),
                                  QByteArray("online"), kWaitMs);
        const QString stateTopic = rig.topic("Genset_1/state");
        // The latest state with the live block decoded.
        QJsonObject state;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QList<QJsonObject> states = probe->json(stateTopic);
                if (states.isEmpty()) return false;
                state = states.last();
                return std::as_const(state)["values"]["engine_speed"]["value"].isDouble();
            }(),
            kWaitMs);
        const QJsonObject& s = state;
        // The live block as the simulator's memory holds it (a steady engine: it does not move).
        const auto word = [&](int address) {
            return rig.sim.memory.byte(address) << 8 | rig.sim.memory.byte(address + 1);
        };
        QCOMPARE(s["controller"].toString(), QStringLiteral("Genset 1"));
        QCOMPARE(s["port"].toString(), QStringLiteral("sim0"));
        QCOMPARE(s["values"]["engine_speed"]["value"].toDouble(), double(word(0x0034)));
        QCOMPARE(s["values"]["engine_speed"]["unit"].toString(), QStringLiteral("rpm"));
        QCOMPARE(s["values"]["battery_voltage"]["value"].toDouble(), word(0x0030) / 10.0);
        QCOMPARE(s["values"]["battery_voltage"]["unit"].toString(), QStringLiteral("V"));
        QCOMPARE(s["values"]["generator_frequency"]["value"].toDouble(), word(0x0032) / 10.0);
        QCOMPARE(s["values"]["generator_voltage_phase_a"]["value"].toDouble(), double(word(0x0024)));
        QCOMPARE(s["values"]["water_temperature"]["unit"].toString(), QString::fromUtf8("\u00B0C"));
        QCOMPARE(s["values"]["power_factor"]["value"].toDouble(), rig.sim.memory.byte(0x0019) / 100.0);
        QCOMPARE(s["values"].toObject().size(), 21);
        QCOMPARE(s["delays"].toObject().size(), 22);
        QCOMPARE(s["delays"]["cool_down_stop_delay"]["value"].toDouble(),
                 double(rig.sim.memory.byte(0x0036)));
        QCOMPARE(s["delays"]["speed_down_delay"]["value"].toDouble(), double(rig.sim.memory.byte(0x004B)));
        QCOMPARE(s["indicators"].toObject().size(), 32);
        QCOMPARE(s["indicators"]["zs9"], QJsonValue(false));
        QVERIFY(s["alarms"].toArray().isEmpty());
        QVERIFY(s["link"]["linked"].toBool());
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")
                    .match(s["time"].toString())
                    .hasMatch());
        // Retained: a dashboard that starts later gets the state at once.
        QVERIFY(probe->heard().last().topic != stateTopic || !probe->heard().last().retained);
        test::MqttProbe late(test::throwawayBrokerUrl(), QStringLiteral("late-") + rig.site, {stateTopic});
        QVERIFY(late.connect());
        QTRY_VERIFY_WITH_TIMEOUT(!late.heard().isEmpty(), kWaitMs);
        QVERIFY(late.heard().first().retained);
    }

    void alarmRaisedOnTheSimulatorArrivesAsAnEvent() {
        test::PublishRig rig(test::throwawayBrokerUrl());
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->brokerStatus().connected, kWaitMs);
        rig.startPolling();
        rig.sim.engine.setAlarm(true, false);  // emergency stop
        for (int i = 0; i < 4; ++i) rig.tick();
        const QString eventTopic = rig.topic("Genset_1/event");
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const QJsonObject& e : probe->json(eventTopic))
                    if (e["kind"] == QLatin1String("alarm-raised") && e["detail"].toString().contains("zs9"))
                        return true;
                return false;
            }(),
            kWaitMs);
        rig.journal.flush();
        history::JournalFilter filter;
        filter.kind = history::JournalKind::AlarmRaised;
        const QVector<history::JournalEvent> rows = rig.journal.events(filter);
        QVERIFY(!rows.isEmpty());
        QSet<qint64> ids;
        for (const history::JournalEvent& e : rows) ids.insert(e.id);
        for (const QJsonObject& e : probe->json(eventTopic)) {
            if (e["kind"] != QLatin1String("alarm-raised")) continue;
            QVERIFY2(ids.contains(e["id"].toInteger()), "an event id the journal does not have");
            QCOMPARE(e["controller"].toString(), QStringLiteral("Genset 1"));
            QCOMPARE(e["text"].toString(), QStringLiteral("Alarm raised"));
        }
        // The state names the active alarm in the operator's language and in English.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QList<QJsonObject> states = probe->json(rig.topic("Genset_1/state"));
                if (states.isEmpty()) return false;
                for (const QJsonValue& a : states.last()["alarms"].toArray())
                    if (a["indicator"] == QLatin1String("zs9") &&
                        a["english"] == QLatin1String("Emergency stop"))
                        return true;
                return false;
            }(),
            kWaitMs);
    }

    void discoveryMakesOneDevicePerController_data() {
        QTest::addColumn<bool>("commands");
        QTest::newRow("commands off") << false;
        QTest::newRow("commands on") << true;
    }
    void discoveryMakesOneDevicePerController() {
        QFETCH(bool, commands);
        test::PublishRig rig(test::throwawayBrokerUrl(), QString(), commands);
        rig.config.wrini("system.ini", "Mqtt", "discovery", "1");
        QVERIFY(rig.startPublishing());
        const QString node = QStringLiteral("tarsyn_%1_genset_1").arg(rig.site);
        test::MqttProbe probe(test::throwawayBrokerUrl(), QStringLiteral("ha-") + rig.site,
                              {QStringLiteral("homeassistant/+/%1/+/config").arg(node)});
        QVERIFY(probe.connect());
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->brokerStatus().connected, kWaitMs);
        rig.startPolling();
        // 21 values and the nine alarm indicators; no command buttons (a button cannot sign), whose
        // configs are emptied.
        const auto count = [&](const QString& component) {
            int n = 0;
            for (const test::HeardMessage& m : probe.heard())
                n += m.topic.startsWith("homeassistant/" + component + "/") && !m.payload.isEmpty();
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(count("sensor") == 21 && count("binary_sensor") == 9, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(
            probe.on(QStringLiteral("homeassistant/button/%1/stop/config").arg(node)).size(), 1, kWaitMs);
        QCOMPARE(count("button"), 0);
        const QString state = rig.topic("Genset_1/state");
        const QJsonObject battery =
            QJsonDocument::fromJson(
                probe.on(QStringLiteral("homeassistant/sensor/%1/battery_voltage/config").arg(node)).value(0))
                .object();
        QCOMPARE(battery["state_topic"].toString(), state);
        QCOMPARE(battery["unit_of_measurement"].toString(), QStringLiteral("V"));
        QCOMPARE(battery["device_class"].toString(), QStringLiteral("voltage"));
        // Available while both the program and the controller are; unbelieved after three intervals.
        QCOMPARE(battery["availability_mode"].toString(), QStringLiteral("all"));
        QCOMPARE(battery["availability"][0]["topic"].toString(), rig.topic("program/status"));
        QCOMPARE(battery["availability"][1]["topic"].toString(), rig.topic("Genset_1/availability"));
        QCOMPARE(battery["expire_after"].toInt(), 60);  // a refresh of 1 s: the minute's floor
        QCOMPARE(battery["device"]["identifiers"][0].toString(), node);
        QCOMPARE(battery["device"]["name"].toString(), QStringLiteral("Genset_1"));
        const QJsonObject stop =
            QJsonDocument::fromJson(
                probe.on(QStringLiteral("homeassistant/binary_sensor/%1/zs9/config").arg(node)).value(0))
                .object();
        QCOMPARE(stop["name"].toString(), QStringLiteral("Emergency stop"));
        QCOMPARE(stop["device_class"].toString(), QStringLiteral("problem"));
        QCOMPARE(stop["device"]["identifiers"][0].toString(), node);
        QCOMPARE(stop["availability_mode"].toString(), QStringLiteral("all"));
        QVERIFY(stop.contains("expire_after"));
    }

    // No state until both blocks of a controller were read (a dashboard would take a missing or null
    // indicator for "off"), never a null; and a clean stop leaves every controller unlinked and
    // offline, then the program offline.
    void statesHaveNoNullsAndACleanStopSaysUnlinked() {
        test::PublishRig rig(test::throwawayBrokerUrl());
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->brokerStatus().connected, kWaitMs);
        rig.station.poll().initialise(true);
        rig.tick();                     // the port opens
        rig.tick();                     // the delay block only: half a controller, no state of it
        rig.publisher->flush(kWaitMs);  // the publishing thread has taken what was offered
        rig.sim.clock.advanceSecs(2);
        rig.tick();  // the live block
        QTRY_VERIFY_WITH_TIMEOUT(!probe->on(rig.topic("Genset_1/state")).isEmpty(), kWaitMs);
        // The first state is the whole controller, so a delay-only one never went out before it.
        const QJsonObject first = probe->json(rig.topic("Genset_1/state")).first();
        QCOMPARE(first["delays"].toObject().size(), 22);
        QCOMPARE(first["values"].toObject().size(), 21);
        QCOMPARE(first["indicators"].toObject().size(), 32);
        for (const QByteArray& payload : probe->on(rig.topic("Genset_1/state")))
            QVERIFY2(!payload.contains("null"), payload.constData());
        rig.publisher->flush(kWaitMs);
        rig.publisher->stop();
        QTRY_VERIFY_WITH_TIMEOUT(probe->on(rig.topic("program/status")).contains("offline"), kWaitMs);
        const QJsonObject last = probe->json(rig.topic("Genset_1/state")).last();
        QCOMPARE(last["link"]["linked"], QJsonValue(false));
        QCOMPARE(probe->on(rig.topic("Genset_1/availability")).last(), QByteArray("offline"));
        // In this order: the state, the controller's availability, then the program's status.
        QStringList order;
        for (const test::HeardMessage& m : probe->heard()) order << m.topic;
        QVERIFY(order.lastIndexOf(rig.topic("Genset_1/state")) <
                order.lastIndexOf(rig.topic("Genset_1/availability")));
        QVERIFY(order.lastIndexOf(rig.topic("Genset_1/availability")) <
                order.lastIndexOf(rig.topic("program/status")));
    }

    // An alarm that was on before the program started is "active at start", not raised again.
    void anAlarmOnAtTheStartIsActiveAtStartNotRaised() {
        test::PublishRig rig(test::throwawayBrokerUrl());
        rig.sim.engine.setAlarm(true, false);  // emergency stop, before the program looks
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->brokerStatus().connected, kWaitMs);
        rig.startPolling();
        for (int i = 0; i < 4; ++i) rig.tick();
        const QString eventTopic = rig.topic("Genset_1/event");
        const auto kinds = [&] {
            QStringList k;
            for (const QJsonObject& e : probe->json(eventTopic))
                if (e["detail"].toString().startsWith("zs9")) k << e["kind"].toString();
            return k;
        };
        QTRY_COMPARE_WITH_TIMEOUT(kinds(), QStringList{"alarm-active-at-start"}, kWaitMs);
        QCOMPARE(probe->json(eventTopic).first()["text"].toString(), QStringLiteral("Alarm active at start"));
        QVERIFY(journalled(rig, history::JournalKind::AlarmRaised).isEmpty());
        QCOMPARE(journalled(rig, history::JournalKind::AlarmActiveAtStart).size(), 2);  // zs9 and zs1
    }

    void withoutCommandsTheCommandTopicSendsNothing() {
        test::PublishRig rig(test::throwawayBrokerUrl(), QString(), false);
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->brokerStatus().connected, kWaitMs);
        rig.startPolling();
        const QString commandTopic = rig.topic("Genset_1/command");
        probe->publish(commandTopic, "start");
        // The broker has passed it on (the probe hears its own message): anyone listening had it.
        QTRY_VERIFY_WITH_TIMEOUT(probe->on(commandTopic).contains("start"), kWaitMs);
        QCoreApplication::processEvents();
        for (int i = 0; i < 3; ++i) rig.tick();
        rig.publisher->flush(kWaitMs);
        QVERIFY(!wroteCommand(rig));
        QVERIFY(probe->on(rig.topic("Genset_1/command/result")).isEmpty());
    }

    void withCommandsStartSendsTheStartFrameAndIsJournalled() {
        test::PublishRig rig(test::throwawayBrokerUrl(), QString(), true);
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->isListening(), kWaitMs);
        rig.startPolling();
        QSignalSpy answered(rig.publisher.get(), &publish::Publisher::commandAnswered);
        probe->publish(rig.topic("Genset_1/command"),
                       rig.signedCommand("start", "c-1", "desk", test::kDeskKey));
        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, kWaitMs);
        QVERIFY(rig.sim.port.written.contains(kStartFrame));
        const QString resultTopic = rig.topic("Genset_1/command/result");
        QTRY_VERIFY_WITH_TIMEOUT(!probe->json(resultTopic).isEmpty(), kWaitMs);
        const QJsonObject result = probe->json(resultTopic).first();
        QVERIFY(result["accepted"].toBool());
        QCOMPARE(result["client"].toString(), QStringLiteral("desk"));
        QCOMPARE(result["id"].toString(), QStringLiteral("c-1"));
        rig.journal.flush();
        history::JournalFilter filter;
        filter.kind = history::JournalKind::CommandSent;
        const QVector<history::JournalEvent> sent = rig.journal.events(filter);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().controller, QStringLiteral("Genset 1"));
        QCOMPARE(sent.first().detail,
                 QStringLiteral("Start (dport3, 0005100100FF), origin mqtt, client desk, id c-1"));
        // The journalled command goes out on the event topic like every event.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const QJsonObject& e : probe->json(rig.topic("Genset_1/event")))
                    if (e["kind"] == QLatin1String("command-sent") &&
                        e["detail"].toString().contains("client desk") &&
                        e["detail_english"] == QLatin1String("Start, sent by MQTT client desk") &&
                        e["detail_local"] == e["detail_english"] && e["language"] == QLatin1String("English"))
                        return true;
                return false;
            }(),
            kWaitMs);
    }

    void refusalsSendNothingAndAreAnswered_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("controller");
        QTest::addColumn<QString>("word");  // signed by hq, for the controller of the topic
        QTest::addColumn<QString>("reason");
        QTest::newRow("another controller") << ""
                                            << "Genset_2"
                                            << "start"
                                            << "Genset_1";
        QTest::newRow("rotation mode") << "rotation"
                                       << "Genset_1"
                                       << "stop"
                                       << "Not available while polling all ports";
        QTest::newRow("not linked") << "unplugged"
                                    << "Genset_1"
                                    << "test"
                                    << "The link to the controller is not up";
        QTest::newRow("factory defaults are never remote") << ""
                                                           << "Genset_1"
                                                           << "default"
                                                           << "start, auto, stop or test only";
        QTest::newRow("a parameter write is never remote") << ""
                                                           << "Genset_1"
                                                           << "000601050001"
                                                           << "start, auto, stop or test only";
    }
    void refusalsSendNothingAndAreAnswered() {
        QFETCH(QString, situation);
        QFETCH(QString, controller);
        QFETCH(QString, word);
        QFETCH(QString, reason);
        test::PublishRig rig(test::throwawayBrokerUrl(), QString(), true);
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->isListening(), kWaitMs);
        rig.startPolling();
        if (situation == QLatin1String("rotation")) rig.station.poll().setRotationMode(true);
        if (situation == QLatin1String("unplugged")) {
            rig.sim.unplug();
            for (int i = 0; i < 8 && rig.station.poll().linked(); ++i) rig.tick();
            QVERIFY(!rig.station.poll().linked());
        }
        const int written = rig.sim.port.written.size();
        QSignalSpy answered(rig.publisher.get(), &publish::Publisher::commandAnswered);
        probe->publish(rig.topic(controller + "/command"),
                       rig.signedCommand(word, "r-1", "hq", test::kHqKey, 0, controller));
        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, kWaitMs);
        const QString resultTopic = rig.topic(controller + "/command/result");
        QTRY_VERIFY_WITH_TIMEOUT(!probe->json(resultTopic).isEmpty(), kWaitMs);
        const QJsonObject result = probe->json(resultTopic).first();
        QVERIFY(!result["accepted"].toBool());
        QVERIFY2(result["reason"].toString().contains(reason), qPrintable(result["reason"].toString()));
        QCOMPARE(rig.sim.port.written.size(), written);
        QVERIFY(journalled(rig, history::JournalKind::CommandSent).isEmpty());
        // The refusal is journalled with its reason, the verified client, the id and the word.
        const QVector<history::JournalEvent> refused = journalled(rig, history::JournalKind::CommandRefused);
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused.first().detail.startsWith(word + QStringLiteral(" refused (")),
                 qPrintable(refused.first().detail));
        QVERIFY2(refused.first().detail.contains(reason) &&
                     refused.first().detail.endsWith(QStringLiteral("origin mqtt, client hq, id r-1")),
                 qPrintable(refused.first().detail));
    }

    // Retained, replayed, stale, forged and unsigned commands: nothing reaches the line, each attempt
    // has one result with its id and a journal row naming the verified client (never the claimed one).
    void untrustedCommandsNeverAct_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("accepted");  // results accepted, of all the attempts
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("reason");  // of the last result
        QTest::addColumn<QString>("names");   // the client and id the journal names
        QTest::newRow("valid") << "valid" << 1 << 1 << ""
                               << "client hq, id v-1";
        QTest::newRow("retained start") << "retained" << 0 << 1 << "retained"
                                        << "client unknown, id v-1";
        QTest::newRow("replayed id") << "replayed" << 1 << 2 << "replayed: id v-1 was seen before"
                                     << "client hq, id v-1";
        QTest::newRow("stale by 31 s") << "stale" << 0 << 1 << "stale: signed 31 s from the site clock"
                                       << "client hq, id v-1";
        QTest::newRow("31 s ahead") << "ahead" << 0 << 1 << "stale: signed 31 s"
                                    << "client hq, id v-1";
        QTest::newRow("30 s old is fresh") << "fresh" << 1 << 1 << ""
                                           << "client hq, id v-1";
        QTest::newRow("wrong key") << "wrong key" << 0 << 1 << "bad signature"
                                   << "client unknown, id v-1";
        QTest::newRow("unknown client") << "anybody" << 0 << 1 << "unknown client"
                                        << "client unknown, id v-1";
        QTest::newRow("missing signature") << "unsigned" << 0 << 1 << "\"sig\" is missing"
                                           << "client unknown, id v-1";
        QTest::newRow("plain word") << "word" << 0 << 1 << "not a signed command"
                                    << "client unknown, id -";
        QTest::newRow("signed for another controller")
            << "other" << 0 << 1 << "signed for controller Genset_2"
            << "client hq, id v-1";
    }
    void untrustedCommandsNeverAct() {
        QFETCH(QString, situation);
        QFETCH(int, accepted);
        QFETCH(int, attempts);
        QFETCH(QString, reason);
        QFETCH(QString, names);
        test::PublishRig rig(test::throwawayBrokerUrl(), QString(), true);
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->isListening(), kWaitMs);
        rig.startPolling();
        const QString commandTopic = rig.topic("Genset_1/command");
        QByteArray payload = rig.signedCommand("start", "v-1");
        bool retained = false;
        if (situation == QLatin1String("retained")) retained = true;
        if (situation == QLatin1String("stale"))
            payload = rig.signedCommand("start", "v-1", "hq", test::kHqKey, -31);
        if (situation == QLatin1String("ahead"))
            payload = rig.signedCommand("start", "v-1", "hq", test::kHqKey, 31);
        if (situation == QLatin1String("fresh"))
            payload = rig.signedCommand("start", "v-1", "hq", test::kHqKey, -30);
        if (situation == QLatin1String("wrong key"))
            payload = rig.signedCommand("start", "v-1", "hq", test::kDeskKey);
        if (situation == QLatin1String("anybody"))
            payload = rig.signedCommand("start", "v-1", "anybody", QByteArrayLiteral("guess"));
        if (situation == QLatin1String("unsigned")) {
            QJsonObject o = QJsonDocument::fromJson(payload).object();
            o.remove(QStringLiteral("sig"));
            payload = QJsonDocument(o).toJson(QJsonDocument::Compact);
        }
        if (situation == QLatin1String("word")) payload = "start";
        if (situation == QLatin1String("other"))
            payload = rig.signedCommand("start", "v-1", "hq", test::kHqKey, 0, QStringLiteral("Genset_2"));
        QSignalSpy answered(rig.publisher.get(), &publish::Publisher::commandAnswered);
        for (int i = 0; i < attempts; ++i) {
            probe->publish(commandTopic, payload, retained);
            QTRY_COMPARE_WITH_TIMEOUT(answered.count(), i + 1, kWaitMs);
        }
        rig.publisher->flush(kWaitMs);
        // Exactly the start frame, once, for the one command that held; nothing else on the line.
        QCOMPARE(startFrames(rig), accepted);
        QVERIFY(!wroteCommand(rig) || accepted > 0);
        const QString resultTopic = rig.topic("Genset_1/command/result");
        QTRY_COMPARE_WITH_TIMEOUT(probe->json(resultTopic).size(), attempts, kWaitMs);
        int yes = 0;
        for (const QJsonObject& r : probe->json(resultTopic)) yes += r["accepted"].toBool() ? 1 : 0;
        QCOMPARE(yes, accepted);
        const QJsonObject last = probe->json(resultTopic).last();
        QCOMPARE(last["id"].toString(),
                 situation == QLatin1String("word") ? QString() : QStringLiteral("v-1"));
        QVERIFY2(last["reason"].toString().contains(reason), qPrintable(last["reason"].toString()));
        const QVector<history::JournalEvent> sent = journalled(rig, history::JournalKind::CommandSent);
        const QVector<history::JournalEvent> refused = journalled(rig, history::JournalKind::CommandRefused);
        QCOMPARE(sent.size(), accepted);
        QCOMPARE(refused.size(), attempts - accepted);
        const history::JournalEvent& row = refused.isEmpty() ? sent.last() : refused.last();
        QVERIFY2(row.detail.endsWith(QStringLiteral("origin mqtt, ") + names), qPrintable(row.detail));
        if (!refused.isEmpty()) QVERIFY2(row.detail.contains(reason), qPrintable(row.detail));
        if (retained) {
            // The program took the retained command off the broker: an empty retained message.
            QTRY_VERIFY_WITH_TIMEOUT(probe->on(commandTopic).contains(QByteArray()), kWaitMs);
            test::MqttProbe late(test::throwawayBrokerUrl(), QStringLiteral("late-") + rig.site,
                                 {commandTopic});
            QVERIFY(late.connect());
            QTest::qWait(200);  // a retained message comes right after the subscription: none must
            QVERIFY(late.on(commandTopic).isEmpty());
        }
    }

    // The ids are kept in the database: a restart does not make a message sent before it good again.
    void anIdSeenBeforeARestartIsStillRefused() {
        test::PublishRig rig(test::throwawayBrokerUrl(), QString(), true);
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->isListening(), kWaitMs);
        rig.startPolling();
        const QByteArray payload = rig.signedCommand("start", "once-1");
        {
            QSignalSpy answered(rig.publisher.get(), &publish::Publisher::commandAnswered);
            probe->publish(rig.topic("Genset_1/command"), payload);
            QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, kWaitMs);
        }
        rig.publisher->stop();
        QVERIFY(rig.startPublishing());
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->isListening(), kWaitMs);
        QSignalSpy answered(rig.publisher.get(), &publish::Publisher::commandAnswered);
        probe->publish(rig.topic("Genset_1/command"), payload);
        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, kWaitMs);
        QVERIFY(
            !QJsonDocument::fromJson(answered.first().first().toByteArray()).object()["accepted"].toBool());
        QCOMPARE(startFrames(rig), 1);
    }

    // The operator comes first: while the local "Start … now?" box is open, a remote stop is refused
    // as busy and nothing goes on the line.
    void aRemoteStopWhileALocalQuestionIsOpenIsRefusedAsBusy() {
        test::PublishRig rig(test::throwawayBrokerUrl(), QString(), true);
        QVERIFY(rig.startPublishing());
        auto probe = listen(rig);
        QVERIFY(probe);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher->isListening(), kWaitMs);
        rig.startPolling();
        test::ScriptedPrompter local;
        local.defaultAnswer = false;  // the operator then says No
        monitor::LinePrompter prompter(local, rig.station.poll().activity());
        const monitor::CommandGate gate(rig.station.poll(), rig.messages, prompter);
        operations::OperationServices services{gate,         rig.station.poll(), rig.station.controllerLink(),
                                               rig.messages, prompter,           {}};
        QSignalSpy answered(rig.publisher.get(), &publish::Publisher::commandAnswered);
        local.whileOpen = [&] {
            if (local.of(QStringLiteral("confirm")).size() != 1 || answered.count() > 0) return;
            // The box's modal loop runs while the message arrives.
            probe->publish(rig.topic("Genset_1/command"), rig.signedCommand("stop", "b-1"));
            QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, kWaitMs);
        };
        operations::OperatingCommands(services).SendOperatingCommand(
            *operations::FindOperatingCommand(QStringLiteral("dport3")));
        QCOMPARE(local.of(QStringLiteral("confirm")).size(), 1);
        QCOMPARE(answered.count(), 1);
        const QJsonObject result = QJsonDocument::fromJson(answered.first().first().toByteArray()).object();
        QVERIFY(!result["accepted"].toBool());
        QCOMPARE(result["reason"].toString(), QStringLiteral("busy: the operator is answering a command"));
        QVERIFY(!wroteCommand(rig));
        const QVector<history::JournalEvent> refused = journalled(rig, history::JournalKind::CommandRefused);
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused.first().detail.startsWith(
                     QStringLiteral("stop refused (busy: the operator is answering")),
                 qPrintable(refused.first().detail));
        // Once the box is closed the same sender's next command is taken.
        probe->publish(rig.topic("Genset_1/command"), rig.signedCommand("stop", "b-2"));
        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 2, kWaitMs);
        QVERIFY(QJsonDocument::fromJson(answered.last().first().toByteArray()).object()["accepted"].toBool());
    }

    // Rotation closes one controller's port and opens the next one's by design: no state message may
    // say that a controller that answers at each visit lost its link.
    void rotationIsNoLinkLoss() {
        QTemporaryDir dir;
        config::Config config(dir.path());
        config.wrini("system.ini", "Mqtt", "url", test::throwawayBrokerUrl());
        const QString site = QStringLiteral("r%1").arg(QRandomGenerator::global()->generate());
        config.wrini("system.ini", "Mqtt", "site", site);
        test::SimFleet fleet(2);
        config::LiveSettings settings;
        settings.setRefreshText(QStringLiteral("2"));
        settings.setPorts(fleet.portList());
        config::Messages messages(config, settings);
        test::FakeSleeper sleeper(&fleet.clock);
        station::Station station(fleet.port, sleeper, fleet.clock, settings, messages);
        history::JournalStore journal(history::HistoryLocation::sqliteFile(dir.filePath("kalde.db")),
                                      fleet.clock);
        QVERIFY(journal.open());
        const publish::MqttSettingsLoad load =
            publish::LoadMqttSettings(config, messages, QStringLiteral("x"));
        QVERIFY(load.settings);
        publish::Publisher publisher(*load.settings,
                                     {station, journal, config, settings, messages, fleet.clock});
        test::MqttProbe probe(test::throwawayBrokerUrl(), QStringLiteral("probe-") + site,
                              {QStringLiteral("tarsyn/%1/+/state").arg(site)});
        QVERIFY(probe.connect());
        publisher.start();
        QTRY_VERIFY_WITH_TIMEOUT(publisher.brokerStatus().connected, kWaitMs);

        station.poll().initialise(true);
        station.poll().setRotationMode(true);
        const auto linkedStates = [&](int set) {
            QList<bool> linked;
            for (const QJsonObject& s :
                 probe.json(QStringLiteral("tarsyn/%1/Set_%2/state").arg(site).arg(set)))
                linked << s["link"]["linked"].toBool();
            return linked;
        };
        // Two rounds: each set is visited, left and visited again; after each visit its state is heard.
        // The rotation starts with the second set and stays three ticks on each: open and delay
        // request, the delay reply, the live reply.
        for (int round = 0; round < 2; ++round)
            for (int set : {2, 1}) {
                const int heard = int(linkedStates(set).size());
                for (int i = 0; i < 3; ++i) {
                    fleet.clock.advanceSecs(1);
                    station.poll().tick();
                }
                QTRY_VERIFY_WITH_TIMEOUT(linkedStates(set).size() > heard, kWaitMs);
            }
        for (int set = 1; set <= 2; ++set)
            QVERIFY2(!linkedStates(set).contains(false), qPrintable(QString::number(set)));
        // A set that stops answering is lost at its next visit, and said so at once.
        fleet.silence(1);
        for (int i = 0; i < 8; ++i) {
            fleet.clock.advanceSecs(1);
            station.poll().tick();
        }
        QTRY_VERIFY_WITH_TIMEOUT(linkedStates(2).contains(false), kWaitMs);
        QVERIFY(!linkedStates(1).contains(false));
        publisher.stop();
    }
};

QTEST_GUILESS_MAIN(TestPublishSim)
#include "tst_publishSim.moc"
