// The settings window's logic: interval minimums, the port list, and the one-piece save.
#include <QtTest>

#include "ScriptedPrompter.h"
#include "ShellFixture.h"
#include "app/core/AccessLevel.h"
#include "app/core/SettingsLogic.h"
#include "app/core/Shell.h"
#include "config/DataFolder.h"
#include "config/SettingsLimits.h"

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
        LiveSettings& draft = logic.draft();
        draft.setPorts(rowsOf(rows));
        draft.setRefreshText(refresh);
        draft.setHourIntervalText(save1);
        draft.setDayIntervalText(save2);
        logic.applyHourMinimum();
        logic.applyDayMinimum();
        QCOMPARE(draft.hourIntervalText(), raised1);
        QCOMPARE(draft.dayIntervalText(), raised2);
        QCOMPARE(fx.live.hourIntervalText(), QString("60"));  // the settings in effect wait for a save
    }

    void savePassesCheckAndSurvivesReload() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.answers = {true};
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        const QString oldPtkl = fx.read("ptkl");
        logic.draft().setRefreshText("60");  // 3 rows: save1 at least 180, save2 at least 4
        logic.draft().setHourIntervalText("100");
        logic.draft().setDayIntervalText("2");
        QCOMPARE(fx.live.refreshText(), QString("10"));  // not in effect before the save
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
        QCOMPARE(fx.live.hourIntervalText(), QString("180"));  // in effect once saved
        QCOMPARE(fx.live.refreshText(), QString("60"));
        QCOMPARE(logic.draft().hourIntervalText(), QString("180"));

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
        logic.draft().setRefreshText("010");
        logic.draft().setHourIntervalText("0300");
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
        logic.draft().setRefreshText(refresh);
        logic.draft().setHourIntervalText(save1);
        logic.draft().setDayIntervalText(save2);
        QCOMPARE(logic.close(superPw, ordinaryPw), result);
        QStringList expected{"confirm:dl1"};
        if (!message.isEmpty()) expected << message;
        QCOMPARE(prompter.shown, expected);
        QCOMPARE(fx.fileBytes(), before);                // nothing written
        QCOMPARE(fx.live.refreshText(), QString("10"));  // nothing takes effect
        // A window kept open keeps what the operator typed; a declined save throws it away.
        QCOMPARE(logic.draft().refreshText(), result == CloseResult::StayOpen ? refresh : QString("10"));
    }

    // An unsaved edit never reaches the poll cycle or the recorder: they read the live settings,
    // which change only through a save; declining the save throws the edit away.
    void declinedSaveDiscardsEdits() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        QSignalSpy liveChanged(&fx.live, &LiveSettings::changed);
        logic.draft().setRefreshText("abc");
        logic.draft().setHourIntervalText("");
        logic.draft().setDayIntervalText("");
        QVERIFY(logic.addPort({"com9", "gen9", ""}));
        QCOMPARE(fx.live.refreshText(), QString("10"));
        QCOMPARE(fx.live.hourIntervalText(), QString("60"));
        QCOMPARE(fx.live.ports().size(), 3);
        QCOMPARE(liveChanged.count(), 0);
        QCOMPARE(logic.close({}, {}), CloseResult::Closed);
        QCOMPARE(logic.draft().refreshText(), QString("10"));
        QCOMPARE(logic.draft().hourIntervalText(), QString("60"));
        QCOMPARE(logic.draft().dayIntervalText(), QString("5"));
        QCOMPARE(logic.draft().ports().size(), 3);
        QCOMPARE(fx.read("flash"), QString("10"));
        QCOMPARE(liveChanged.count(), 0);
    }

    void refusedFieldNamedByItsLabel() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.answers = {true};
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        QVERIFY(test::useEnglish(fx));
        SettingsLogic::FieldLabels labels;
        labels.hourInterval = "Save 1";
        labels.hourUnit = "sec";
        logic.setFieldLabels(labels);
        logic.draft().setHourIntervalText("x");
        QCOMPARE(logic.close({}, {}), CloseResult::StayOpen);
        QCOMPARE(
            prompter.shown.last(),
            QString("info:Save 1: enter a whole number from 0 to 3600 sec, not 'x'. Nothing was saved."));
    }

    // Every value that would stop polling or recording, or be stored other than typed, is refused
    // with the box's name and what it accepts; nothing is written and nothing takes effect.
    void badInputs_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("message");
        const QString kept = QStringLiteral(" Nothing was saved.");
        QTest::newRow("refresh 0") << "flash"
                                   << "0"
                                   << "Refresh time: enter a whole number from 1 to 3600 s, not '0'." + kept;
        QTest::newRow("refresh abc") << "flash"
                                     << "abc"
                                     << "Refresh time: enter a whole number from 1 to 3600 s, not 'abc'." +
                                            kept;
        QTest::newRow("refresh empty")
            << "flash"
            << ""
            << "Refresh time: enter a whole number from 1 to 3600 s, not ''." + kept;
        QTest::newRow("refresh 3601")
            << "flash"
            << "3601"
            << "Refresh time: enter a whole number from 1 to 3600 s, not '3601'." + kept;
        QTest::newRow("refresh beyond 32 bits")
            << "flash"
            << "99999999999"
            << "Refresh time: enter a whole number from 1 to 3600 s, not '99999999999'." + kept;
        QTest::newRow("hour interval empty")
            << "save1"
            << ""
            << "Hour table interval: enter a whole number from 0 to 3600 s, not ''." + kept;
        QTest::newRow("hour interval 2147483647")
            << "save1"
            << "2147483647"
            << "Hour table interval: enter a whole number from 0 to 3600 s, not '2147483647'." + kept;
        QTest::newRow("hour interval negative")
            << "save1"
            << "-5"
            << "Hour table interval: enter a whole number from 0 to 3600 s, not '-5'." + kept;
        QTest::newRow("day interval decimal")
            << "save2"
            << "1.5"
            << "Day table interval: enter a whole number from 0 to 1440 min, not '1.5'." + kept;
        QTest::newRow("day interval a day and a minute")
            << "save2"
            << "1441"
            << "Day table interval: enter a whole number from 0 to 1440 min, not '1441'." + kept;
        // 3 rows: 1201 s each is a round of 3603 s, which the hour table cannot hold.
        QTest::newRow("round longer than the hour table")
            << "flash"
            << "1201"
            << "Refresh time: 1201 s for each of 3 ports makes a round of 3603 s, longer than the hour table "
               "keeps (3600 s). Choose a shorter refresh time or fewer ports." +
                   kept;
        QTest::newRow("language without a catalogue")
            << "language"
            << "Klingon"
            << "Language: choose one of the installed languages (English, Test)." + kept;
        QTest::newRow("super password of 31 characters")
            << "super" << QString(31, 'x') << "Super password: at most 30 characters." + kept;
        QTest::newRow("ordinary password outside the code page")
            << "ordinary" << QStringLiteral(u"مرحبا")
            << "Ordinary password: holds characters the settings file cannot store; use other characters." +
                   kept;
    }
    void badInputs() {
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, message);
        test::ShellFixture fx;
        QVERIFY(test::useEnglish(fx));
        const QByteArray before = fx.fileBytes();
        test::ScriptedPrompter prompter;
        prompter.defaultAnswer = true;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        logic.setFieldLabels(test::englishLabels());
        LiveSettings& draft = logic.draft();
        QString superPw, ordinaryPw;
        if (field == "flash") draft.setRefreshText(input);
        if (field == "save1") draft.setHourIntervalText(input);
        if (field == "save2") draft.setDayIntervalText(input);
        if (field == "language") draft.setLanguage(input);
        if (field == "super") superPw = input;
        if (field == "ordinary") ordinaryPw = input;
        QCOMPARE(logic.close(superPw, ordinaryPw), CloseResult::StayOpen);
        QCOMPARE(prompter.of("info"), QStringList{message});
        QCOMPARE(fx.fileBytes(), before);
        QCOMPARE(fx.live.refreshText(), QString("10"));
        QCOMPARE(fx.live.hourIntervalText(), QString("60"));
        QCOMPARE(fx.live.dayIntervalText(), QString("5"));
        QCOMPARE(fx.live.language(), QString("English"));
    }

    // The widest values that are allowed still save, and the saved file passes the start checks.
    void boundsAreAccepted() {
        test::ShellFixture fx(1);
        test::ScriptedPrompter prompter;
        prompter.defaultAnswer = true;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        logic.draft().setRefreshText("3600");
        logic.draft().setHourIntervalText("3600");
        logic.draft().setDayIntervalText("1440");
        QCOMPARE(logic.close(QString(30, 'a'), QStringLiteral(u"口令")), CloseResult::Saved);
        QCOMPARE(fx.read("flash"), QString("3600"));
        QCOMPARE(fx.read("save2"), QString("1440"));
        QCOMPARE(fx.read("ptkl"), fx.hashOf(QStringLiteral(u"口令")));
        QVERIFY(SettingsCheckProblem(fx.config).isEmpty());
        QVERIFY(SettingsRangeProblem(fx.config).isEmpty());
    }

    void portRowRefusals_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<int>("listed");  // rows already listed
        QTest::addColumn<QString>("message");
        QTest::newRow("empty port") << ""
                                    << "gen9" << 3 << "Port: enter the name of the port.";
        QTest::newRow("blank port") << "  "
                                    << "gen9" << 3 << "Port: enter the name of the port.";
        QTest::newRow("a 65th row") << "com65"
                                    << "gen65" << 64 << "At most 64 ports can be listed.";
        QTest::newRow("remark outside the code page")
            << "com9" << QStringLiteral(u"مولد") << 3
            << "Remark: holds characters the settings file cannot store; use other characters.";
    }
    void portRowRefusals() {
        QFETCH(QString, port);
        QFETCH(QString, remark);
        QFETCH(int, listed);
        QFETCH(QString, message);
        test::ShellFixture fx(listed);
        QVERIFY(test::useEnglish(fx));
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        logic.setFieldLabels(test::englishLabels());
        QVERIFY(!logic.addPort({port, remark, ""}));
        QCOMPARE(prompter.of("info"), QStringList{message});
        QCOMPARE(logic.draft().ports().size(), listed);
    }

    void storedLanguageWithoutCatalogueFallsBack_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("used");
        QTest::addColumn<QString>("missing");
        QTest::newRow("installed") << "Test"
                                   << "Test"
                                   << "";
        QTest::newRow("Klingon") << "Klingon"
                                 << "Alpha"
                                 << "Klingon";
        QTest::newRow("missing key") << "0"
                                     << "Alpha"
                                     << "0";
    }
    void storedLanguageWithoutCatalogueFallsBack() {
        QFETCH(QString, stored);
        QFETCH(QString, used);
        QFETCH(QString, missing);
        test::ShellFixture fx;
        QFile alpha(fx.config.filePath("Alpha.lag"));
        QVERIFY(alpha.open(QIODevice::WriteOnly));
        alpha.close();
        fx.live.setLanguage(stored);
        QCOMPARE(FallBackToInstalledLanguage(fx.live, fx.config), missing);
        QCOMPARE(fx.live.language(), used);
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
        QCOMPARE(logic.draft().ports().size(), messages == 0 ? 4 : 3);
    }

    void freshListSkipsDuplicateCheckUntilSaved() {
        test::ShellFixture fx(0);
        test::ScriptedPrompter prompter;
        prompter.answers = {true};
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        QVERIFY(logic.addPort({"com1", "com1", ""}));
        QVERIFY(logic.addPort({"com1", "com1", ""}));
        QCOMPARE(logic.draft().ports().size(), 2);
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
        QCOMPARE(logic.draft().ports().size(), 1);
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
