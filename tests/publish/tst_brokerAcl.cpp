// The integration guide's mosquitto access list, run as written against a real broker (mosquitto with a
// password file made by mosquitto_passwd and that ACL): each site writes and reads its own topics only, reads
// the others' state; dashboards only read; the commanding user writes command topics only; and the ACL lets
// a command through retained, which is why the program refuses retained commands itself.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include "MqttSupport.h"

namespace {

// The code block after the integration guide's "**The broker's access list**".
QString readmeAcl() {
    QFile f(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/docs/integration.md"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromUtf8(f.readAll());
    const int at = text.indexOf(QStringLiteral("**The broker's access list**"));
    if (at < 0) return {};
    const int open = text.indexOf(QStringLiteral("```\n"), at);
    const int close = text.indexOf(QStringLiteral("```"), open + 4);
    return open < 0 || close < 0 ? QString() : text.mid(open + 4, close - open - 4);
}

const QStringList kUsers{QStringLiteral("north"), QStringLiteral("south"), QStringLiteral("dashboard"),
                         QStringLiteral("hq")};
QString passwordOf(const QString& user) { return user + QStringLiteral("-pw"); }

}  // namespace

class TestBrokerAcl : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<tarsyn::test::PrivateBroker> m_broker;

private slots:
    void initTestCase() {
        TARSYN_SKIP_WITHOUT_MQTT_BROKER();
        const QString passwd = QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd"));
        if (passwd.isEmpty()) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL(
                    "in CI the access list must be tested: mosquitto_passwd is missing (package mosquitto)");
            QSKIP("MQTT broker not tested: mosquitto_passwd is missing (package mosquitto)");
        }
        const QString acl = readmeAcl();
        QVERIFY2(acl.contains(QStringLiteral("pattern readwrite tarsyn/%u/#")), qPrintable(acl));
        QFile aclFile(m_dir.filePath(QStringLiteral("acl")));
        QVERIFY(aclFile.open(QIODevice::WriteOnly) && aclFile.write(acl.toUtf8()) > 0);
        aclFile.close();
        const QString passwords = m_dir.filePath(QStringLiteral("passwd"));
        for (const QString& user : kUsers) {
            QStringList args{QStringLiteral("-b"), passwords, user, passwordOf(user)};
            if (user == kUsers.first()) args.prepend(QStringLiteral("-c"));
            QVERIFY2(QProcess::execute(passwd, args) == 0, qPrintable(user));
        }
        m_broker = std::make_unique<tarsyn::test::PrivateBroker>(
            QStringLiteral("allow_anonymous false\npassword_file %1\nacl_file %2\n")
                .arg(passwords, aclFile.fileName()));
        QVERIFY(m_broker->start());
    }
    void cleanupTestCase() { m_broker.reset(); }

    void whoMayWriteAndReadWhat_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("topic");  // %1: a controller level of the row's own
        QTest::addColumn<bool>("retained");
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("a site's own state to a dashboard") << "north"
                                                           << "tarsyn/north/%1/state" << false << "dashboard"
                                                           << "tarsyn/#" << true;
        QTest::newRow("a site's discovery to a dashboard")
            << "north"
            << "homeassistant/sensor/tarsyn_north_%1/v/config" << false << "dashboard"
            << "homeassistant/#" << true;
        QTest::newRow("a site writing another's state") << "north"
                                                        << "tarsyn/south/%1/state" << false << "dashboard"
                                                        << "tarsyn/#" << false;
        QTest::newRow("a site commanding another's set") << "north"
                                                         << "tarsyn/south/%1/command" << false << "south"
                                                         << "tarsyn/south/#" << false;
        QTest::newRow("another site's state for the fleet window")
            << "north"
            << "tarsyn/north/%1/state" << false << "south"
            << "tarsyn/+/+/state" << true;
        QTest::newRow("a site reading another's commands") << "hq"
                                                           << "tarsyn/north/%1/command" << false << "south"
                                                           << "tarsyn/north/#" << false;
        QTest::newRow("the commanding user's command") << "hq"
                                                       << "tarsyn/north/%1/command" << false << "north"
                                                       << "tarsyn/north/#" << true;
        QTest::newRow("the ACL lets a retained command through")
            << "hq"
            << "tarsyn/north/%1/command" << true << "north"
            << "tarsyn/north/#" << true;
        QTest::newRow("the commanding user writing a state")
            << "hq"
            << "tarsyn/north/%1/state" << false << "dashboard"
            << "tarsyn/#" << false;
        QTest::newRow("the result to the commanding user")
            << "north"
            << "tarsyn/north/%1/command/result" << false << "hq"
            << "tarsyn/+/+/command/result" << true;
        QTest::newRow("a dashboard commanding") << "dashboard"
                                                << "tarsyn/north/%1/command" << false << "north"
                                                << "tarsyn/north/#" << false;
    }
    void whoMayWriteAndReadWhat() {
        QFETCH(QString, writer);
        QFETCH(QString, topic);
        QFETCH(bool, retained);
        QFETCH(QString, reader);
        QFETCH(QString, filter);
        QFETCH(bool, delivered);
        const QString row =
            QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("\\W"), "_");
        const QString target = topic.arg(QStringLiteral("c") + QString::number(qHash(row)));
        // The reader hears the row's topic and a marker it sends itself, after the writer's message.
        const QString marker = QStringLiteral("tarsyn/%1/marker").arg(reader);
        tarsyn::test::MqttProbe listener(m_broker->url(), QStringLiteral("r-") + row, {filter, marker});
        listener.login(reader, passwordOf(reader));
        QVERIFY(listener.connect());
        tarsyn::test::MqttProbe sender(m_broker->url(), QStringLiteral("w-") + row, {});
        sender.login(writer, passwordOf(writer));
        QVERIFY(sender.connect());
        QVERIFY(sender.publishAcknowledged(target, "payload", retained));
        QVERIFY(listener.publishAcknowledged(marker, "marker"));
        QTRY_VERIFY_WITH_TIMEOUT(listener.on(marker).contains("marker"), 10000);
        QCOMPARE(listener.on(target).contains("payload"), delivered);
    }
};

QTEST_GUILESS_MAIN(TestBrokerAcl)
#include "tst_brokerAcl.moc"
