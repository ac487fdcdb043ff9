// tarsynctl serve with a [Mqtt] section: every line publishes its controller's state and its own
// journal events to the broker (scripts/mqtt-throwaway), each event once, and says "offline" at its end.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "MqttSupport.h"
#include "SimProcess.h"

using tarsyn::test::MqttProbe;
using tarsyn::test::SimProcess;

class TestServePublish : public QObject {
    Q_OBJECT
private slots:
    void everyLinePublishesItsOwnControllerUntilSigterm();
};

void TestServePublish::everyLinePublishesItsOwnControllerUntilSigterm() {
    TARSYN_SKIP_WITHOUT_MQTT_BROKER();
    QTemporaryDir dir;
    SimProcess north, south;
    QVERIFY(north.start(
        {QStringLiteral("--link"), dir.filePath(QStringLiteral("north")), QStringLiteral("--steady")}));
    QVERIFY(south.start(
        {QStringLiteral("--link"), dir.filePath(QStringLiteral("south")), QStringLiteral("--steady")}));
    QVERIFY(QFile::copy(qEnvironmentVariable("TARSYN_BIN_DIR") + QStringLiteral("/English.lag"),
                        dir.filePath(QStringLiteral("English.lag"))));
    const QString site = QStringLiteral("serve%1").arg(QRandomGenerator::global()->generate());
    const QByteArray ini =
        "[Set]\r\nlanguage=English\r\nflash=1\r\nsave1=60\r\nsave2=1\r\nPorts=2\r\n"
        "Port0=" +
        north.devicePath().toUtf8() +
        "\r\nremark0=North\r\n"
        "Port1=" +
        south.devicePath().toUtf8() +
        "\r\nremark1=South\r\n"
        "[Mqtt]\r\nurl=" +
        tarsyn::test::throwawayBrokerUrl().toUtf8() + "\r\nsite=" + site.toUtf8() + "\r\ninterval=1\r\n";
    QFile f(dir.filePath(QStringLiteral("system.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(ini) == ini.size());
    f.close();

    const QString root = QStringLiteral("tarsyn/%1/").arg(site);
    MqttProbe probe(tarsyn::test::throwawayBrokerUrl(), QStringLiteral("probe-") + site,
                    {root + QStringLiteral("#")});
    QVERIFY(probe.connect());

    QProcess serve;
    serve.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    serve.start(qEnvironmentVariable("TARSYN_BIN_DIR") + QStringLiteral("/tarsynctl"),
                {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("serve")});
    QVERIFY(serve.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(!probe.on(root + QStringLiteral("North/state")).isEmpty() &&
                                 !probe.on(root + QStringLiteral("South/state")).isEmpty(),
                             30000);
    QCOMPARE(probe.on(root + QStringLiteral("status")).value(0), QByteArray("online"));
    QCOMPARE(probe.json(root + QStringLiteral("South/state")).last().value("controller").toString(),
             QStringLiteral("South"));

    QVERIFY(south.command(QStringLiteral("alarm on")));
    const auto raised = [&](const QString& controller) {
        QStringList details;
        for (const QJsonObject& e : probe.json(root + controller + QStringLiteral("/event")))
            if (e.value("kind").toString() == QLatin1String("alarm-raised"))
                details << e.value("detail").toString();
        return details;
    };
    QTRY_VERIFY_WITH_TIMEOUT(raised(QStringLiteral("South")).contains(QStringLiteral("zs9 Emergency stop")),
                             30000);

    serve.terminate();  // SIGTERM
    QVERIFY(serve.waitForFinished(30000));
    QCOMPARE(serve.exitStatus(), QProcess::NormalExit);
    QCOMPARE(serve.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(probe.on(root + QStringLiteral("status")).last(), QByteArray("offline"), 10000);
    // Each event once, from the line of its controller only.
    QStringList southEvents = raised(QStringLiteral("South"));
    const int count = int(southEvents.size());
    southEvents.removeDuplicates();
    QCOMPARE(southEvents.size(), count);
    QVERIFY(raised(QStringLiteral("North")).isEmpty());
    QList<qint64> ids;
    for (const QJsonObject& e : probe.json(root + QStringLiteral("South/event")))
        ids << e.value("id").toInteger();
    QCOMPARE(QSet<qint64>(ids.begin(), ids.end()).size(), ids.size());
}

QTEST_GUILESS_MAIN(TestServePublish)
#include "tst_servePublish.moc"
