// The settings window's logic: interval minimums, the port list, and the one-piece save.
#include <QtTest>

#include "ScriptedPrompter.h"
#include "ShellFixture.h"
#include "app/core/AccessLevel.h"
#include "app/core/SettingsLogic.h"
#include "app/core/Shell.h"
#include "config/DataFolder.h"

using namespace tarsyn;
using namespace tarsyn::app;
using namespace tarsyn::config;
using CloseResult = SettingsLogic::CloseResult;

Q_DECLARE_METATYPE(CloseResult)

namespace {
QVector<PortEntry> rowsOf(int n) {
    QVector<PortEntry> rows;
    for (int i = 0; i < n; ++i)
        rows.append({QStringLiteral("com%1").arg(i + 1), QStringLiteral("g%1").arg(i), {}});
    return rows;
}
}  // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void minimums_data() {
        QTest::addColumn<int>("refresh");
        QTest::addColumn<int>("rows");
        QTest::addColumn<qint64>("hour");
        QTest::addColumn<qint64>("day");
        QTest::newRow("10 s x 3: half rounds down to even") << 10 << 3 << qint64(30) << qint64(1);
        QTest::newRow("60 s x 3") << 60 << 3 << qint64(180) << qint64(4);
        QTest::newRow("50 s x 3: 2.5 rounds to 2") << 50 << 3 << qint64(150) << qint64(3);
        QTest::newRow("90 s x 1: 1.5 rounds to 2") << 90 << 1 << qint64(90) << qint64(3);
        QTest::newRow("70 s x 1: 1.17 rounds to 1") << 70 << 1 << qint64(70) << qint64(2);
        QTest::newRow("no rows") << 10 << 0 << qint64(0) << qint64(1);
        QTest::newRow("refresh 0") << 0 << 4 << qint64(0) << qint64(1);
    }
    void minimums() {
        QFETCH(int, refresh);
        QFETCH(int, rows);
        QFETCH(qint64, hour);
        QFETCH(qint64, day);
        const IntervalMinimums m = IntervalMinimums::of(refresh, rows);
        QCOMPARE(m.hourSeconds, hour);
        QCOMPARE(m.dayMinutes, day);
    }

    void raisedOnLeaving_data() {
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("save1");
        QTest::addColumn<QString>("save2");
        QTest::addColumn<QString>("raised1");
        QTest::addColumn<QString>("raised2");
        QTest::newRow("10 s x 3") << "10" << 3 << "20"
                                  << "0"
                                  << "30"
                                  << "1";
        QTest::newRow("60 s x 3") << "60" << 3 << "100"
                                  << "2"
                                  << "180"
                                  << "4";
        QTest::newRow("50 s x 3") << "50" << 3 << "149"
                                  << "2"
                                  << "150"
                                  << "3";
        QTest::newRow("large enough stays") << "10" << 3 << "45"
                                            << "7"
                                            << "45"
                                            << "7";
        QTest::newRow("not a number stays") << "10" << 3 << "abc"
                                            << "1.5"
                                            << "abc"
                                            << "1.5";
        QTest::newRow("refresh not a number") << "x" << 3 << "1"
                                              << "0"
                                              << "1"
                                              << "0";
    }
    void raisedOnLeaving() {
        QFETCH(QString, refresh);
        QFETCH(int, rows);
        QFETCH(QString, save1);
        QFETCH(QString, save2);
        QFETCH(QString, raised1);
        QFETCH(QString, raised2);
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        fx.live.setPorts(rowsOf(rows));
        fx.live.setRefreshText(refresh);
        fx.live.setHourIntervalText(save1);
        fx.live.setDayIntervalText(save2);
        logic.applyHourMinimum();
        logic.applyDayMinimum();
        QCOMPARE(fx.live.hourIntervalText(), raised1);
        QCOMPARE(fx.live.dayIntervalText(), raised2);
    }

    void savePassesCheckAndSurvivesReload() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.answers = {true};
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        const QString oldPtkl = fx.read("ptkl");
        fx.live.setRefreshText("60");  // 3 rows: save1 at least 180, save2 at least 4
        fx.live.setHourIntervalText("100");
        fx.live.setDayIntervalText("2");
        int saved = 0;
        logic.setSavedHook([&saved] { ++saved; });
        QCOMPARE(logic.close("newsuper", QString()), CloseResult::Saved);
        QCOMPARE(saved, 1);  // the journal's "settings saved"
        QCOMPARE(prompter.shown, QStringList{"confirm:dl1"});
        QCOMPARE(fx.read("flash"), QString("60"));
        QCOMPARE(fx.read("save1"), QString("180"));
        QCOMPARE(fx.read("save2"), QString("4"));
        QCOMPARE(fx.read("cjkl"), fx.hashOf("newsuper"));
        QCOMPARE(fx.read("ptkl"), oldPtkl);  // an empty box keeps the stored hash, and it is checked
        QCOMPARE(fx.live.hourIntervalText(), QString("180"));

        Access access;
        Shell shell(fx.config, access, fx.messages, prompter, {});
        QVERIFY(shell.settingsCheckPasses());
        LiveSettings reloaded;
        reloaded.load(fx.config);
        QCOMPARE(reloaded.refreshText(), QString("60"));
        QCOMPARE(reloaded.hourIntervalText(), QString("180"));
        QCOMPARE(reloaded.dayIntervalText(), QString("4"));
        QCOMPARE(reloaded.ports(), fx.live.ports());
        QCOMPARE(reloaded.language(), QString("Test"));

        // The new super password logs in; the old one no longer does.
        LoginLogic login(fx.config, access, fx.messages, prompter);
        QCOMPARE(login.confirm(test::ShellFixture::kSuper), LoginLogic::Outcome::Retry);
        QCOMPARE(login.confirm("newsuper"), LoginLogic::Outcome::Granted);
        QCOMPARE(access.AccessLevel(), kSuperLevel);
    }

    void numbersAreStoredPlain() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.answers = {true};
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        fx.live.setRefreshText("010");
        fx.live.setHourIntervalText("0300");
        QCOMPARE(logic.close({}, {}), CloseResult::Saved);
        QCOMPARE(fx.read("flash"), QString("10"));
        QCOMPARE(fx.read("save1"), QString("300"));
        Access access;
        QVERIFY(Shell(fx.config, access, fx.messages, prompter, {}).settingsCheckPasses());
    }

    void closeRefusals_data() {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("superPw");
        QTest::addColumn<QString>("ordinaryPw");
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<QString>("save1");
        QTest::addColumn<QString>("save2");
        QTest::addColumn<CloseResult>("result");
        QTest::addColumn<QString>("message");
        QTest::newRow("No at dl1") << false << ""
                                   << ""
                                   << "60"
                                   << "60"
                                   << "5" << CloseResult::Closed << "";
        QTest::newRow("equal passwords") << true << "same"
                                         << "same"
                                         << "60"
                                         << "60"
                                         << "5" << CloseResult::StayOpen << "info:dl28";
        // "U" and "K" both hash to 8: the login could not tell them apart.
        QTest::newRow("passwords with one hash") << true << "U"
                                                 << "K"
                                                 << "60"
                                                 << "60"
                                                 << "5" << CloseResult::StayOpen << "info:dl28";
        QTest::newRow("new super password is the stored ordinary one")
            << true << QString(test::ShellFixture::kOrdinary) << ""
            << "60"
            << "60"
            << "5" << CloseResult::StayOpen << "info:dl28";
        QTest::newRow("refresh not a number") << true << ""
                                              << ""
                                              << "abc"
                                              << "60"
                                              << "5" << CloseResult::StayOpen
                                              << "info:刷新时间 must be a whole number of seconds (0 to "
                                                 "2147483647), not 'abc'. Nothing was saved.";
        QTest::newRow("save1 negative")
            << true << ""
            << ""
            << "10"
            << "-5"
            << "5" << CloseResult::StayOpen
            << "info:保存时间1 must be a whole number of seconds (0 to 2147483647), not "
               "'-5'. Nothing was saved.";
        QTest::newRow("save2 decimal")
            << true << ""
            << ""
            << "10"
            << "60"
            << "1.5" << CloseResult::StayOpen
            << "info:保存时间2 must be a whole number of minutes (0 to 2147483647), not "
               "'1.5'. Nothing was saved.";
        QTest::newRow("refresh empty")
            << true << ""
            << ""
            << ""
            << "60"
            << "5" << CloseResult::StayOpen
            << "info:刷新时间 must be a whole number of seconds (0 to 2147483647), not ''. "
               "Nothing was saved.";
        QTest::newRow("refresh too large")
            << true << ""
            << ""
            << "99999999999"
            << "60"
            << "5" << CloseResult::StayOpen
            << "info:刷新时间 must be a whole number of seconds (0 to 2147483647), not "
               "'99999999999'. Nothing was saved.";
    }
    void closeRefusals() {
        QFETCH(bool, answer);
        QFETCH(QString, superPw);
        QFETCH(QString, ordinaryPw);
        QFETCH(QString, refresh);
        QFETCH(QString, save1);
        QFETCH(QString, save2);
        QFETCH(CloseResult, result);
        QFETCH(QString, message);
        test::ShellFixture fx;
        const QByteArray before = fx.fileBytes();
        test::ScriptedPrompter prompter;
        prompter.answers = {answer};
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        fx.live.setRefreshText(refresh);
        fx.live.setHourIntervalText(save1);
        fx.live.setDayIntervalText(save2);
        QCOMPARE(logic.close(superPw, ordinaryPw), result);
        QStringList expected{"confirm:dl1"};
        if (!message.isEmpty()) expected << message;
        QCOMPARE(prompter.shown, expected);
        QCOMPARE(fx.fileBytes(), before);          // nothing written
        QCOMPARE(fx.live.refreshText(), refresh);  // and nothing the operator typed is lost
        QCOMPARE(fx.live.hourIntervalText(), save1);
    }

    void declinedSaveKeepsEditsLiveButNotInFile() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        fx.live.setRefreshText("60");
        QCOMPARE(logic.close({}, {}), CloseResult::Closed);
        QCOMPARE(fx.live.refreshText(), QString("60"));
        QCOMPARE(fx.read("flash"), QString("10"));
    }

    void refusedFieldNamedByItsLabel() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.answers = {true};
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        logic.setFieldLabels("Refresh time", "Save 1", "Save 2");
        fx.live.setHourIntervalText("x");
        QCOMPARE(logic.close({}, {}), CloseResult::StayOpen);
        QVERIFY(prompter.shown.last().startsWith("info:Save 1 must be a whole number of seconds"));
    }

    void unwritableFolderReportsAndStaysOpen() {
        test::ShellFixture fx;
        Config broken(fx.dir.filePath("missing/folder"));
        test::ScriptedPrompter prompter;
        prompter.answers = {true};
        SettingsLogic logic(broken, fx.live, fx.messages, prompter);
        QCOMPARE(logic.close({}, {}), CloseResult::StayOpen);
        QVERIFY2(prompter.shown.last().startsWith("error:Unable to write to"),
                 qPrintable(prompter.shown.last()));
    }

    void duplicatePorts_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<int>("messages");
        // Listed: com1/gen0, com2/gen1, com3/gen2.
        QTest::newRow("new port and remark") << "com4"
                                             << "gen9" << 0;
        QTest::newRow("same port") << "com2"
                                   << "other" << 1;
        QTest::newRow("same remark") << "com9"
                                     << "gen2" << 1;
        QTest::newRow("port of one row, remark of another") << "com1"
                                                            << "gen2" << 2;
        QTest::newRow("case differs: accepted") << "COM1"
                                                << "GEN0" << 0;
    }
    void duplicatePorts() {
        QFETCH(QString, port);
        QFETCH(QString, remark);
        QFETCH(int, messages);
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        QCOMPARE(logic.addPort({port, remark, "n"}), messages == 0);
        QCOMPARE(prompter.shown.size(), messages);
        QCOMPARE(prompter.shown.count("info:dl20"), messages);
        QCOMPARE(fx.live.ports().size(), messages == 0 ? 4 : 3);
    }

    void freshListSkipsDuplicateCheckUntilSaved() {
        test::ShellFixture fx(0);
        test::ScriptedPrompter prompter;
        prompter.answers = {true};
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        QVERIFY(logic.addPort({"com1", "com1", ""}));
        QVERIFY(logic.addPort({"com1", "com1", ""}));
        QCOMPARE(fx.live.ports().size(), 2);
        QVERIFY(prompter.shown.isEmpty());
        QCOMPARE(logic.close({}, {}), CloseResult::Saved);
        QCOMPARE(fx.read("ports"), QString("2"));
        QVERIFY(!logic.addPort({"com1", "x", ""}));
        QCOMPARE(prompter.shown.count("info:dl20"), 2);
    }

    void deleteKeepsLastRowAndSaveRewritesRows() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.answers = {true};
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        QVERIFY(!logic.deletePort(7));
        QVERIFY(logic.deletePort(0));
        QCOMPARE(logic.close({}, {}), CloseResult::Saved);
        QCOMPARE(fx.read("ports"), QString("2"));
        QCOMPARE(fx.read("port0"), QString("com2"));
        QCOMPARE(fx.read("port1"), QString("com3"));
        QCOMPARE(fx.read("port2"), QString("com3"));  // stale row 2 stays, below the count it is ignored
        QVERIFY(logic.deletePort(1));
        QVERIFY(!logic.deletePort(0));  // the last row cannot be removed
        QCOMPARE(fx.live.ports().size(), 1);
    }

    void catalogueListFromDataFolder() {
        test::ShellFixture fx;
        // "X.LAG" would be opened as "X.lag", which does not exist here: it is not listed, in the
        // settings box nor (the same function) by the hot key.
        for (const char* name : {"b.lag", "Alpha.lag", "x.hlp", "X.LAG", "y.Lag"}) {
            QFile f(fx.config.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        QCOMPARE(logic.catalogueList(), (QStringList{"Alpha", "b", "Test"}));
        QCOMPARE(logic.catalogueList(), tarsyn::config::CatalogueNames(fx.config.dataDir()));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
