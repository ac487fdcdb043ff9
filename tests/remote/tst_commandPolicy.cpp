// The remote command policy without a broker: the signed text and its HMAC-SHA256 (the expected
// signatures were computed with Python's hmac module, as the README's snippet does), the keys file,
// and each refusal in its place, with the seen ids kept in the history database across a restart
// and forgotten after 24 hours. Runs on SQLite and, as test_commandPolicy_postgresql, on PostgreSQL.
#include <sys/stat.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "FakeClock.h"
#include "PostgresVariant.h"
#include "history/HistoryStore.h"
#include "remote/CommandKeys.h"
#include "remote/CommandPolicy.h"
#include "remote/SeenIds.h"
#include "remote/SignedCommand.h"

using namespace tarsyn;

namespace {

const QByteArray kKey = QByteArrayLiteral("hq-secret-4f1c");

remote::SignedCommand example() {
    return {QStringLiteral("start"),     QStringLiteral("Genset_1"), QStringLiteral("2026-12-11T09:00:00Z"),
            QStringLiteral("7f3a-0001"), QStringLiteral("hq"),       QString()};
}

}  // namespace

class TestCommandPolicy : public QObject {
    Q_OBJECT

    bool m_postgres = test::postgresVariant();
    QTemporaryDir m_dir;
    history::HistoryLocation location() const {
        return test::variantLocation(m_dir.filePath(QStringLiteral("kalde.db")));
    }
    QByteArray signedAt(const QDateTime& time, const QString& id, const QByteArray& key = kKey,
                        const QString& client = QStringLiteral("hq")) const {
        remote::SignedCommand c = example();
        c.time = time.toUTC().toString(Qt::ISODate);
        c.id = id;
        c.client = client;
        c.sig = remote::Signature(c, key);
        return remote::CommandJson(c);
    }

private slots:
    void initTestCase() { TARSYN_SKIP_POSTGRES_VARIANT_WITHOUT_SERVER(); }
    void init() {
        QFile::remove(m_dir.filePath(QStringLiteral("kalde.db")));
        if (m_postgres) {
            history::HistoryStore s(location());
            QVERIFY2(s.connect(), qPrintable(s.lastError()));
            QSqlQuery q(QSqlDatabase::database(s.connectionName()));
            QVERIFY(q.exec(QStringLiteral("DROP TABLE IF EXISTS \"remote_command_ids\"")));
        }
    }

    void theSignedTextAndItsHmac_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("controller");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("sig");
        QTest::newRow("the README's example")
            << "start"
            << "Genset_1"
            << "2026-12-11T09:00:00Z"
            << "7f3a-0001"
            << "1c18423a9c77a07b3153e2681b3688913fdbf0c1c024bc0e84e35e12ed47f565";
        QTest::newRow("a remark in Chinese, an offset")
            << "stop" << QStringLiteral("北泵房") << "2026-12-11T10:00:00+01:00"
            << "id-2"
            << "6726e7947f39551688ae137933fc23093949e4831fc1b3cacb9c38b75b4ef302";
    }
    void theSignedTextAndItsHmac() {
        QFETCH(QString, command);
        QFETCH(QString, controller);
        QFETCH(QString, time);
        QFETCH(QString, id);
        QFETCH(QString, sig);
        const remote::SignedCommand c{command, controller, time, id, QStringLiteral("hq"), QString()};
        QCOMPARE(remote::CanonicalText(c),
                 (QStringList{command, controller, time, id, "hq"}.join('\n')).toUtf8());
        QCOMPARE(remote::Signature(c, kKey), sig);
        remote::SignedCommand s = c;
        s.sig = sig.toUpper();  // hex in either case
        QVERIFY(remote::SignatureMatches(s, kKey));
        s.sig = sig;
        s.sig[10] = s.sig[10] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
        QVERIFY(!remote::SignatureMatches(s, kKey));
        // The JSON round trip keeps every field.
        s.sig = sig;
        QString why;
        const std::optional<remote::SignedCommand> back = remote::ParseCommand(remote::CommandJson(s), &why);
        QVERIFY2(back, qPrintable(why));
        QCOMPARE(remote::Signature(*back, kKey), sig);
    }

    void theKeysFile_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("problem");
        QTest::addColumn<int>("clients");
        QTest::newRow("two clients, comments")
            << QByteArray("# site keys\nhq  k1 \n\ndesk k2\n") << 0600 << int(remote::KeysProblem::None) << 2;
        QTest::newRow("read-only") << QByteArray("hq k1\n") << 0400 << int(remote::KeysProblem::None) << 1;
        QTest::newRow("group may read")
            << QByteArray("hq k1\n") << 0640 << int(remote::KeysProblem::Mode) << 0;
        QTest::newRow("owner may run it")
            << QByteArray("hq k1\n") << 0700 << int(remote::KeysProblem::Mode) << 0;
        QTest::newRow("no key") << QByteArray("hq\n") << 0600 << int(remote::KeysProblem::BadLine) << 0;
        QTest::newRow("empty") << QByteArray("# nobody\n") << 0600 << int(remote::KeysProblem::Empty) << 0;
    }
    void theKeysFile() {
        QFETCH(QByteArray, text);
        QFETCH(int, mode);
        QFETCH(int, problem);
        QFETCH(int, clients);
        const QString path = m_dir.filePath(QStringLiteral("command.keys"));
        QFile::remove(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        const remote::CommandKeysLoad load = remote::LoadCommandKeys(path);
        QCOMPARE(int(load.problem), problem);
        QCOMPARE(load.keys ? int(load.keys->size()) : 0, clients);
        if (clients) QCOMPARE(load.keys->value(QStringLiteral("hq")), QByteArray("k1"));
        if (problem == int(remote::KeysProblem::Mode)) QCOMPARE(load.mode, mode);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    }

    // Each rule refuses with its reason; a refusal before the id is taken spends nothing.
    void theVerdictsInOrder() {
        test::FakeClock clock;
        clock.set(QDateTime(QDate(2026, 12, 11), QTime(9, 0, 0), Qt::UTC));
        remote::SeenIds seen(location(), nullptr);
        remote::CommandPolicy policy({{QStringLiteral("hq"), kKey}}, seen, clock);
        const auto here = [](const QString& c) { return c == QLatin1String("Genset_1"); };
        const QDateTime now = clock.now();
        const auto check = [&](const QByteArray& payload, bool retained = false) {
            return policy.check(payload, retained, here);
        };
        remote::Verdict v = check(signedAt(now, "a"), true);
        QVERIFY(!v.accepted);
        QCOMPARE(v.reason, QStringLiteral("retained"));
        QCOMPARE(v.client, QStringLiteral("unknown"));
        QCOMPARE(v.id, QStringLiteral("a"));
        QCOMPARE(check("start").reason.left(20), QStringLiteral("not a signed command"));
        QCOMPARE(check(signedAt(now, "a", "other-key", "ops")).reason, QStringLiteral("unknown client"));
        QCOMPARE(check(signedAt(now, "a", "wrong")).reason, QStringLiteral("bad signature"));
        QCOMPARE(check(signedAt(now.addSecs(-31), "a")).reason,
                 QStringLiteral("stale: signed 31 s from the site clock (at most 30)"));
        // None of those spent the id.
        v = check(signedAt(now.addSecs(-30), "a"));
        QVERIFY2(v.accepted, qPrintable(v.reason));
        QCOMPARE(v.client, QStringLiteral("hq"));
        QCOMPARE(v.word, QStringLiteral("start"));
        QCOMPARE(check(signedAt(now, "a")).reason, QStringLiteral("replayed: id a was seen before"));
        // Another client may use the same id.
        remote::CommandPolicy two({{QStringLiteral("hq"), kKey}, {QStringLiteral("desk"), "k2"}}, seen,
                                  clock);
        QVERIFY(two.check(signedAt(now, "a", "k2", "desk"), false, here).accepted);

        // After a restart (a new connection) the id is still seen; after 24 hours it is forgotten.
        remote::SeenIds again(location(), nullptr);
        remote::CommandPolicy restarted({{QStringLiteral("hq"), kKey}}, again, clock);
        QCOMPARE(restarted.check(signedAt(now, "a"), false, here).reason,
                 QStringLiteral("replayed: id a was seen before"));
        clock.advanceSecs(24 * 3600 + 1);
        QVERIFY(restarted.check(signedAt(clock.now(), "a"), false, here).accepted);
    }
};

QTEST_GUILESS_MAIN(TestCommandPolicy)
#include "tst_commandPolicy.moc"
