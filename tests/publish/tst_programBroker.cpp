// The window program with a [Mqtt] section: the broker link in the status strip (connected; lost, with
// since when and why, and no box for it), and settings that are refused said once at start.
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include "MqttSupport.h"
#include "ScriptedPrompter.h"
#include "app/Program.h"
#include "config/Config.h"

using namespace tarsyn;

namespace {

constexpr int kWaitMs = 10000;

// A data folder whose settings pass the start check, with the shipped English catalogue.
struct DataFolder {
    DataFolder() {
        QFile::copy(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/English.lag"),
                    dir.filePath(QStringLiteral("English.lag")));
        config.wriniBatch("system.ini", {{"Set", "language", "English"},
                                         {"Set", "flash", "6"},
                                         {"Set", "save1", "60"},
                                         {"Set", "save2", "1"},
                                         {"Set", "ports", "1"},
                                         {"Set", "port0", "ttyNONE"},
                                         {"Set", "remark0", "Set A"}});
    }
    QTemporaryDir dir;
    config::Config config{dir.path()};
};

QString stripText(const app::Program& program) {
    auto* label = program.mainWindow()->findChild<QLabel*>(QStringLiteral("lblbroker"));
    return label && !label->isHidden() ? label->toolTip() : QString();
}

int boxesAbout(const test::ScriptedPrompter& prompter, const QString& what) {
    int n = 0;
    for (const QString& shown : prompter.shown) n += shown.contains(what);
    return n;
}

}  // namespace

class TestProgramBroker : public QObject {
    Q_OBJECT
private slots:
    void withoutTheSectionTheStripSaysNothing() {
        DataFolder data;
        test::ScriptedPrompter prompter;
        app::Program program(data.dir.path(), QByteArrayLiteral("GBK"), &prompter);
        QVERIFY(stripText(program).isEmpty());
    }

    void aPasswordFileOthersMayReadIsRefusedOnce() {
        DataFolder data;
        QFile pw(data.dir.filePath("broker.pw"));
        QVERIFY(pw.open(QIODevice::WriteOnly));
        pw.write("s3cret\n");
        pw.close();
        QVERIFY(
            pw.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        data.config.wrini("system.ini", "Mqtt", "url", "mqtt://127.0.0.1:1883");
        data.config.wrini("system.ini", "Mqtt", "passwordFile", "broker.pw");
        test::ScriptedPrompter prompter;
        app::Program program(data.dir.path(), QByteArrayLiteral("GBK"), &prompter);
        QCOMPARE(boxesAbout(prompter, "passwordFile"), 1);
        QVERIFY2(stripText(program).contains("0644") && stripText(program).contains("chmod 600"),
                 qPrintable(stripText(program)));
    }

    void anAbsentBrokerIsLostInTheStripWithoutABox() {
        // A loopback port that nobody listens on (tcpmux): the connection is refused at once.
        const int port = 1;
        DataFolder data;
        data.config.wrini("system.ini", "Mqtt", "url", QStringLiteral("mqtt://127.0.0.1:%1").arg(port));
        test::ScriptedPrompter prompter;
        app::Program program(data.dir.path(), QByteArrayLiteral("GBK"), &prompter);
        QTRY_VERIFY_WITH_TIMEOUT(stripText(program).contains("lost since"), kWaitMs);
        QVERIFY2(stripText(program).contains(QStringLiteral("127.0.0.1:%1").arg(port)),
                 qPrintable(stripText(program)));
        QCOMPARE(boxesAbout(prompter, "MQTT"), 0);
    }

    void aBrokerThereIsConnectedInTheStrip() {
        TARSYN_SKIP_WITHOUT_MQTT_BROKER();
        DataFolder data;
        data.config.wrini("system.ini", "Mqtt", "url", test::throwawayBrokerUrl());
        data.config.wrini("system.ini", "Mqtt", "site", "programtest");
        test::ScriptedPrompter prompter;
        app::Program program(data.dir.path(), QByteArrayLiteral("GBK"), &prompter);
        QTRY_VERIFY_WITH_TIMEOUT(stripText(program).startsWith("MQTT broker: connected"), kWaitMs);
    }
};

QTEST_MAIN(TestProgramBroker)
#include "tst_programBroker.moc"
