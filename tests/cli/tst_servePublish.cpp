// tarsynctl serve with a [Mqtt] section: every line publishes its controller's state and its own
// journal events to the broker (scripts/mqtt-throwaway), each event once, and says "offline" at its end.
// With commands on (commandsInsecure=1: the throwaway broker is plain mqtt:// on loopback), a command
// signed and sent by `tarsynctl remote` is answered once, by the line of its controller only.
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
    void aRemoteCommandIsAnsweredOnceByTheLineOfItsController();
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
    // Each line has its status of its own (its will): one line losing the broker marks its sets only.
    QCOMPARE(probe.on(root + QStringLiteral("north/status")).value(0), QByteArray("online"));
    QCOMPARE(probe.on(root + QStringLiteral("south/status")).value(0), QByteArray("online"));
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
    QTRY_COMPARE_WITH_TIMEOUT(probe.on(root + QStringLiteral("north/status")).last(), QByteArray("offline"),
                              10000);
    QTRY_COMPARE_WITH_TIMEOUT(probe.on(root + QStringLiteral("south/status")).last(), QByteArray("offline"),
                              10000);
    // A clean stop: each controller's state says unlinked, then it is offline.
    QCOMPARE(probe.json(root + QStringLiteral("South/state")).last().value("link").toObject().value("linked"),
             QJsonValue(false));
    QCOMPARE(probe.on(root + QStringLiteral("South/availability")).last(), QByteArray("offline"));
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

void TestServePublish::aRemoteCommandIsAnsweredOnceByTheLineOfItsController() {
    TARSYN_SKIP_WITHOUT_MQTT_BROKER();
    QTemporaryDir dir;
    const QStringList names{QStringLiteral("North"), QStringLiteral("South"), QStringLiteral("East")};
    SimProcess sims[3];
    QByteArray ini = "[Set]\r\nlanguage=English\r\nflash=1\r\nsave1=60\r\nsave2=1\r\nPorts=3\r\n";
    for (int i = 0; i < 3; ++i) {
        QVERIFY(sims[i].start(
            {QStringLiteral("--link"), dir.filePath(names[i].toLower()), QStringLiteral("--steady")}));
        ini += QStringLiteral("Port%1=%2\r\nremark%1=%3\r\n")
                   .arg(i)
                   .arg(sims[i].devicePath(), names[i])
                   .toUtf8();
    }
    QVERIFY(QFile::copy(qEnvironmentVariable("TARSYN_BIN_DIR") + QStringLiteral("/English.lag"),
                        dir.filePath(QStringLiteral("English.lag"))));
    const QString site = QStringLiteral("remote%1").arg(QRandomGenerator::global()->generate());
    ini += "[Mqtt]\r\nurl=" + tarsyn::test::throwawayBrokerUrl().toUtf8() + "\r\nsite=" + site.toUtf8() +
           "\r\ninterval=1\r\ncommands=1\r\ncommandsInsecure=1\r\ncommandKeys=site.keys\r\n";
    const auto secret = [&dir](const QString& name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) return QString();
        f.close();
        f.setPermissions(QFile::ReadOwner);  // 0400
        return f.fileName();
    };
    QVERIFY(!secret(QStringLiteral("site.keys"), "hq 8c1d-hq-key\nops 77-ops-key\n").isEmpty());
    const QString hqKey = secret(QStringLiteral("hq.key"), "hq 8c1d-hq-key\n");
    const QString forged = secret(QStringLiteral("forged.key"), "hq guessed\n");
    QFile f(dir.filePath(QStringLiteral("system.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(ini) == ini.size());
    f.close();

    const QString root = QStringLiteral("tarsyn/%1/").arg(site);
    MqttProbe probe(tarsyn::test::throwawayBrokerUrl(), QStringLiteral("probe-") + site,
                    {root + QStringLiteral("#")});
    QVERIFY(probe.connect());
    QProcess serve;
    serve.setProcessChannelMode(QProcess::MergedChannels);
    serve.start(qEnvironmentVariable("TARSYN_BIN_DIR") + QStringLiteral("/tarsynctl"),
                {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("serve")});
    QVERIFY(serve.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(!probe.on(root + QStringLiteral("North/state")).isEmpty() &&
                                 !probe.on(root + QStringLiteral("South/state")).isEmpty() &&
                                 !probe.on(root + QStringLiteral("East/state")).isEmpty(),
                             30000);

    const auto remote = [&](const QString& keyFile, const QString& command, const QString& controller) {
        QProcess p;
        p.start(qEnvironmentVariable("TARSYN_BIN_DIR") + QStringLiteral("/tarsynctl"),
                {QStringLiteral("remote"), QStringLiteral("--broker"), tarsyn::test::throwawayBrokerUrl(),
                 QStringLiteral("--client"), QStringLiteral("hq"), QStringLiteral("--key-file"), keyFile,
                 QStringLiteral("--site"), site, command, controller});
        p.waitForFinished(30000);
        return std::pair{p.exitCode(), p.readAllStandardOutput()};
    };
    const auto [code, out] = remote(hqKey, QStringLiteral("start"), QStringLiteral("South"));
    QCOMPARE(code, 0);
    const QJsonObject printed = QJsonDocument::fromJson(out).object();
    QVERIFY2(printed.value("accepted").toBool(), out.constData());
    QCOMPARE(printed.value("client").toString(), QStringLiteral("hq"));
    QVERIFY(!printed.value("id").toString().isEmpty());

    // A forged one is refused (exit 1) and answered once too, by its own line.
    const auto [refusedCode, refusedOut] = remote(forged, QStringLiteral("stop"), QStringLiteral("East"));
    QCOMPARE(refusedCode, 1);
    QCOMPARE(QJsonDocument::fromJson(refusedOut).object().value("reason").toString(),
             QStringLiteral("bad signature"));

    serve.terminate();
    QVERIFY(serve.waitForFinished(30000));
    QCOMPARE(serve.exitCode(), 0);
    // Exactly one result per command: three lines, one answer each time.
    QCOMPARE(probe.on(root + QStringLiteral("South/command/result")).size(), 1);
    QCOMPARE(probe.on(root + QStringLiteral("south/status")).last(), QByteArray("offline"));
    QCOMPARE(probe.on(root + QStringLiteral("East/command/result")).size(), 1);
    QVERIFY(probe.on(root + QStringLiteral("North/command/result")).isEmpty());
    QCOMPARE(probe.json(root + QStringLiteral("South/command/result")).first().value("id"),
             printed.value("id"));
    // The lab's plain link is said in the service's log.
    const QByteArray log = serve.readAll();
    QVERIFY2(log.contains("WARNING: remote commands over an unprotected link"), log.constData());
    QVERIFY2(log.contains("remote command: {"), log.constData());
}

QTEST_GUILESS_MAIN(TestServePublish)
#include "tst_servePublish.moc"
