// Login, access level, settings gate and the main window's lifecycle, without widgets.
#include <QtTest>

#include "ScriptedPrompter.h"
#include "ShellFixture.h"
#include "app/core/AccessLevel.h"
#include "app/core/Shell.h"
#include "link/LinkError.h"

using namespace tarsyn;
using namespace tarsyn::app;
using namespace tarsyn::config;
using Outcome = LoginLogic::Outcome;

Q_DECLARE_METATYPE(Outcome)

namespace {
/// Records what the lifecycle asked of the rest of the program.
struct HookLog {
    QStringList calls;
    QStringList failing;  // steps that throw
    QList<LoginResult> logins;
    ShellHooks hooks() {
        ShellHooks h;
        auto step = [this](const char* name) {
            return [this, name] {
                calls << QString::fromLatin1(name);
                if (failing.contains(QLatin1String(name))) throw link::SerialError(QStringLiteral("failed"));
            };
        };
        h.closePort = step("closePort");
        h.unregisterHotKey = step("unregisterHotKey");
        h.disconnectDatabase = step("disconnectDatabase");
        h.runLogin = [this] {
            calls << QStringLiteral("login");
            return logins.isEmpty() ? LoginResult::Closed : logins.takeFirst();
        };
        h.loggedIn = [this] { calls << QStringLiteral("loggedIn"); };
        h.slideOut = [this](std::function<void()> done) {
            calls << QStringLiteral("slideOut");
            done();
        };
        h.closeMainWindow = [this] { calls << QStringLiteral("close"); };
        return h;
    }
};
}  // namespace

class TestLogin : public QObject {
    Q_OBJECT
private slots:
    // The journal hears the outcome and the level of every press, never the typed text.
    void resultHookGetsTheLevelNeverThePassword() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic logic(fx.config, access, fx.messages, prompter);
        QStringList heard;
        logic.setResultHook([&heard](bool granted, int level) {
            heard << QStringLiteral("%1 %2").arg(granted ? "granted" : "refused").arg(level);
        });
        logic.begin();
        QCOMPARE(logic.confirm(QStringLiteral("wrong-secret")), Outcome::Retry);
        QCOMPARE(logic.confirm(QString::fromLatin1(test::ShellFixture::kOrdinary)), Outcome::Granted);
        QCOMPARE(logic.confirm(QString::fromLatin1(test::ShellFixture::kSuper)), Outcome::Granted);
        QCOMPARE(heard, (QStringList{"refused 1", "granted 99", "granted 100"}));
    }

    void firstLogin_data() {
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<QList<Outcome>>("outcomes");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("wrongMessages");
        const QString super = test::ShellFixture::kSuper, ordinary = test::ShellFixture::kOrdinary;
        QTest::newRow("super at once") << QStringList{super} << QList<Outcome>{Outcome::Granted} << 100 << 0;
        QTest::newRow("ordinary at once")
            << QStringList{ordinary} << QList<Outcome>{Outcome::Granted} << 99 << 0;
        // The count reaches 3 on the third press, but a correct password is recognised first.
        QTest::newRow("wrong, wrong, right")
            << QStringList{"x", "y", ordinary}
            << QList<Outcome>{Outcome::Retry, Outcome::Retry, Outcome::Granted} << 99 << 2;
        QTest::newRow("wrong, wrong, super")
            << QStringList{"x", "", super} << QList<Outcome>{Outcome::Retry, Outcome::Retry, Outcome::Granted}
            << 100 << 2;
        QTest::newRow("three wrong") << QStringList{"x", "y", "z"}
                                     << QList<Outcome>{Outcome::Retry, Outcome::Retry, Outcome::ForcedExit}
                                     << 3 << 3;
        QTest::newRow("case matters") << QStringList{"ADMIN1"} << QList<Outcome>{Outcome::Retry} << 1 << 1;
    }
    void firstLogin() {
        QFETCH(QStringList, passwords);
        QFETCH(QList<Outcome>, outcomes);
        QFETCH(int, level);
        QFETCH(int, wrongMessages);
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic login(fx.config, access, fx.messages, prompter);
        login.begin();
        for (int i = 0; i < passwords.size(); ++i) QCOMPARE(login.confirm(passwords[i]), outcomes[i]);
        QCOMPARE(access.AccessLevel(), level);
        QCOMPARE(prompter.shown.count(QStringLiteral("info:dl33")), wrongMessages);
        QCOMPARE(prompter.shown.size(), wrongMessages);
    }

    void superComparedFirstWhenBothHashesAgree() {
        test::ShellFixture fx;
        fx.config.wrini("system.ini", "Set", "ptkl", fx.read("cjkl"));
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic login(fx.config, access, fx.messages, prompter);
        QCOMPARE(login.confirm(test::ShellFixture::kSuper), Outcome::Granted);
        QCOMPARE(access.AccessLevel(), kSuperLevel);
    }

    void missingHashesGrantNothing() {
        test::ShellFixture fx;
        QFile::remove(fx.config.filePath("system.ini"));
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic login(fx.config, access, fx.messages, prompter);
        QCOMPARE(login.confirm(QString()), Outcome::Retry);  // the empty text hashes to 1, not "0"
        QCOMPARE(access.AccessLevel(), 1);
    }

    // At a repeated login a granted level moves only through a correct password: wrong presses never
    // end the program and never add up to 100.
    void repeatedLoginKeepsLevel_data() {
        QTest::addColumn<QString>("firstPassword");
        QTest::addColumn<QStringList>("later");
        QTest::addColumn<int>("level");
        const QString super = test::ShellFixture::kSuper, ordinary = test::ShellFixture::kOrdinary;
        QTest::newRow("ordinary, one wrong stays 99") << ordinary << QStringList{"bad"} << 99;
        QTest::newRow("ordinary, five wrong") << ordinary << QStringList{"a", "b", "c", "d", "e"} << 99;
        QTest::newRow("ordinary, then super") << ordinary << QStringList{"a", super} << 100;
        QTest::newRow("super, wrong keeps super") << super << QStringList{"a", "b", "c"} << 100;
        QTest::newRow("super, then ordinary password") << super << QStringList{ordinary} << 99;
    }
    void repeatedLoginKeepsLevel() {
        QFETCH(QString, firstPassword);
        QFETCH(QStringList, later);
        QFETCH(int, level);
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic login(fx.config, access, fx.messages, prompter);
        login.begin();
        QCOMPARE(login.confirm(firstPassword), Outcome::Granted);
        login.begin();  // the main window was hidden and shown again
        for (const QString& p : later) QVERIFY(login.confirm(p) != Outcome::ForcedExit);
        QCOMPARE(access.AccessLevel(), level);
    }

    void closeBoxThenLaterLoginKeepsCounting() {
        // Two wrong, close box; the next showing continues the count: hiding does not buy new tries.
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic login(fx.config, access, fx.messages, prompter);
        login.begin();
        login.confirm("a");
        login.confirm("b");
        QCOMPARE(access.AccessLevel(), 2);
        login.begin();
        QCOMPARE(login.confirm("c"), Outcome::ForcedExit);
    }

    void exitButtonMarksExiting() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic login(fx.config, access, fx.messages, prompter);
        login.exit();
        QCOMPARE(access.AccessLevel(), kExitingLevel);
        QVERIFY(prompter.shown.isEmpty());
    }

    void settingsGate_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("no login") << 0 << false;
        QTest::newRow("two attempts") << 2 << false;
        QTest::newRow("ordinary") << 99 << false;
        QTest::newRow("super") << 100 << true;
        QTest::newRow("exiting") << 10000 << false;
    }
    void settingsGate() {
        QFETCH(int, level);
        QFETCH(bool, allowed);
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        access.setAccessLevel(level);
        QCOMPARE(SettingsGate(access, fx.messages, prompter), allowed);
        QCOMPARE(prompter.shown, allowed ? QStringList{} : QStringList{"info:dl29"});
    }

    // --- lifecycle ---------------------------------------------------------------------------------

    void tamperedSettingsEndWithoutLogin_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("jzm in lower case") << "jzm"
                                           << "lower";
        QTest::newRow("flash edited by hand") << "flash"
                                              << "6";
        QTest::newRow("ptkl edited by hand") << "ptkl"
                                             << "12345";
        QTest::newRow("jzm missing") << "jzm"
                                     << "remove";
    }
    void tamperedSettingsEndWithoutLogin() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        test::ShellFixture fx;
        if (value == "remove") {
            // Only "jzm" goes: rewrite the file without it.
            QByteArray bytes;
            for (const QByteArray& line : fx.fileBytes().split('\n'))
                if (!line.startsWith("jzm=") && !line.isEmpty()) bytes += line + '\n';
            QFile f(fx.config.filePath("system.ini"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        } else if (value == "lower") {
            const QString jzm = fx.read("jzm");
            QVERIFY2(jzm != jzm.toLower(), "fixture jzm has no letters");
            fx.config.wrini("system.ini", "Set", "jzm", jzm.toLower());
        } else {
            fx.config.wrini("system.ini", "Set", key, value);
        }
        test::ScriptedPrompter prompter;
        Access access;
        HookLog log;
        Shell shell(fx.config, access, fx.messages, prompter, log.hooks());
        QVERIFY(!shell.settingsCheckPasses());
        shell.mainWindowShown();
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY2(prompter.shown.at(0).startsWith("info:system.ini Error!\n" +
                                                 QDir::toNativeSeparators(fx.config.filePath("system.ini"))),
                 qPrintable(prompter.shown.at(0)));
        QCOMPARE(log.calls,
                 (QStringList{"closePort", "unregisterHotKey", "disconnectDatabase", "slideOut", "close"}));
        QCOMPARE(access.AccessLevel(), kExitingLevel);
        QVERIFY(shell.closeRequested());  // the close that follows asks nothing
        QCOMPARE(prompter.shown.size(), 1);
    }

    void freshFolderFailsTheCheck() {
        QTemporaryDir empty;
        Config config(empty.path());
        LiveSettings live;
        Messages messages(config, live);
        test::ScriptedPrompter prompter;
        Access access;
        Shell shell(config, access, messages, prompter, HookLog().hooks());
        QVERIFY(!shell.settingsCheckPasses());  // EE80 never equals the default "0"
    }

    void everyShowingRunsCheckAndLogin() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        HookLog log;
        log.logins = {LoginResult::Granted, LoginResult::Closed};
        Shell shell(fx.config, access, fx.messages, prompter, log.hooks());
        QVERIFY(shell.settingsCheckPasses());
        shell.mainWindowShown();
        QCOMPARE(log.calls, (QStringList{"login", "loggedIn"}));
        // Hidden and shown again; meanwhile someone edits a checked key.
        shell.mainWindowShown();
        QCOMPARE(log.calls, (QStringList{"login", "loggedIn", "login"}));
        fx.config.wrini("system.ini", "Set", "save1", "61");
        shell.mainWindowShown();
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY2(prompter.shown.at(0).startsWith("info:system.ini Error!\n" +
                                                 QDir::toNativeSeparators(fx.config.filePath("system.ini"))),
                 qPrintable(prompter.shown.at(0)));
        QVERIFY(log.calls.endsWith("close"));
        QCOMPARE(log.calls.count("login"), 2);
        QCOMPARE(shell.exitCode(), Shell::kExitSettingsRefused);
    }

    void threeWrongPasswordsTakeTheForcedExit() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic login(fx.config, access, fx.messages, prompter);
        HookLog log;
        ShellHooks hooks = log.hooks();
        hooks.runLogin = [&] {
            login.begin();
            for (const char* p : {"a", "b", "c"})
                if (login.confirm(p) == Outcome::ForcedExit) return LoginResult::ForcedExit;
            return LoginResult::Closed;
        };
        Shell shell(fx.config, access, fx.messages, prompter, hooks);
        shell.mainWindowShown();
        QCOMPARE(prompter.shown, (QStringList{"info:dl33", "info:dl33", "info:dl33"}));
        QCOMPARE(log.calls,
                 (QStringList{"closePort", "unregisterHotKey", "disconnectDatabase", "slideOut", "close"}));
        QCOMPARE(access.AccessLevel(), kExitingLevel);
        QVERIFY(shell.closeRequested());
        QVERIFY(!prompter.shown.join(',').contains("confirm"));  // no dl2
        QCOMPARE(shell.exitCode(), Shell::kExitLoginRefused);    // the program ends with an error code
    }

    void exitButtonClosesWithoutQuestionOrCleanUp() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        HookLog log;
        ShellHooks hooks = log.hooks();
        LoginLogic login(fx.config, access, fx.messages, prompter);
        hooks.runLogin = [&] {
            login.exit();
            return LoginResult::Exit;
        };
        Shell shell(fx.config, access, fx.messages, prompter, hooks);
        QSignalSpy ending(&shell, &Shell::ending);
        shell.mainWindowShown();
        QCOMPARE(log.calls, QStringList{"close"});
        QCOMPARE(ending.count(), 1);
        QVERIFY(shell.closeRequested());
        QVERIFY(prompter.shown.isEmpty());
        QCOMPARE(shell.exitCode(), 0);  // the operator's own choice
    }

    void confirmedClose_data() {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("No: nothing happens") << false << QStringList{} << QStringList{};
        QTest::newRow("Yes: full clean-up")
            << true << QStringList{} << QStringList{"closePort", "unregisterHotKey", "disconnectDatabase"};
        // Closing the port may fail; the rest of the clean-up still runs.
        QTest::newRow("Yes, port error ignored")
            << true << QStringList{"closePort"}
            << QStringList{"closePort", "unregisterHotKey", "disconnectDatabase"};
    }
    void confirmedClose() {
        QFETCH(bool, answer);
        QFETCH(QStringList, failing);
        QFETCH(QStringList, calls);
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.answers = {answer};
        Access access;
        access.setAccessLevel(kOrdinaryLevel);
        HookLog log;
        log.failing = failing;
        Shell shell(fx.config, access, fx.messages, prompter, log.hooks());
        QTimer poll;  // the poll timer: a No leaves it running
        poll.start(1000);
        QCOMPARE(shell.closeRequested(), answer);
        QCOMPARE(prompter.shown, QStringList{"confirm:dl2"});
        QCOMPARE(log.calls, calls);
        QVERIFY(poll.isActive());
        QCOMPARE(access.AccessLevel(), kOrdinaryLevel);
    }

    void forcedExitStopsCleanUpAtFirstFailure() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        HookLog log;
        log.failing = {"unregisterHotKey"};
        Shell shell(fx.config, access, fx.messages, prompter, log.hooks());
        shell.forcedExit();
        QCOMPARE(log.calls, (QStringList{"closePort", "unregisterHotKey", "slideOut", "close"}));
        QCOMPARE(access.AccessLevel(), kExitingLevel);
        shell.forcedExit();  // a second request does not run it twice
        QCOMPARE(log.calls.size(), 4);
    }

    void loginNotReenteredWhileOpen() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        HookLog log;
        ShellHooks hooks = log.hooks();
        Shell* self = nullptr;
        int runs = 0;
        hooks.runLogin = [&] {
            ++runs;
            self->mainWindowShown();  // a show event arriving while the dialog is open
            return LoginResult::Granted;
        };
        Shell shell(fx.config, access, fx.messages, prompter, hooks);
        self = &shell;
        shell.mainWindowShown();
        QCOMPARE(runs, 1);
    }
};

QTEST_GUILESS_MAIN(TestLogin)
#include "tst_login.moc"
