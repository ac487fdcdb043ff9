// The assembled program journals the operator's own actions: a failed login with its attempt number
// and never the typed text, a login with its level, and saved settings.
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "AwareSupport.h"
#include "ScriptedPrompter.h"
#include "app/Program.h"
#include "config/Config.h"
#include "history/JournalStore.h"

using namespace tarsyn;
using history::JournalKind;

class TestProgramJournal : public QObject {
    Q_OBJECT
private slots:
    void loginsAndSavedSettingsAreJournalled() {
        QTemporaryDir data;
        QVERIFY(test::copyCatalogue(data.path()));
        config::Config config(data.path());
        const QString boss = QString::number(config::ProductHash("boss"));
        const QString crew = QString::number(config::ProductHash("crew"));
        config.wriniBatch("system.ini", {{"Set", "language", "English"}, {"Set", "flash", "6"}, {"Set", "save1", "60"},
                                         {"Set", "save2", "1"}, {"Set", "ports", "1"}, {"Set", "port0", "ttyNONE"},
                                         {"Set", "remark0", "Set A"}, {"Set", "cjkl", boss}, {"Set", "ptkl", crew}});
        test::ScriptedPrompter prompter;
        prompter.defaultAnswer = true;  // "save the settings?" yes
        app::Program program(data.path(), QByteArrayLiteral("GBK"), &prompter);

        QWidget* login = program.mainWindow()->findChild<QWidget*>("TForm16");
        QVERIFY(login);
        auto* edit = login->findChild<QLineEdit*>();
        auto* confirm = login->findChild<QPushButton*>("btnButton1");
        edit->setText("not-the-password");
        confirm->click();
        edit->setText("boss");
        confirm->click();
        QWidget* settings = program.mainWindow()->findChild<QWidget*>("TForm2");
        QVERIFY(settings);
        QMetaObject::invokeMethod(settings, "reject");  // closing asks dl1; yes writes section Set

        program.journal().flush();
        QStringList got;
        const auto events = program.journal().events({});
        for (auto it = events.crbegin(); it != events.crend(); ++it)
            got << history::journalKindCode(it->kind) + QLatin1Char(' ') + it->detail;
        QCOMPARE(got.size(), 3);
        QCOMPARE(got[0], QStringLiteral("login-failed attempt 1"));
        QCOMPARE(got[1], QStringLiteral("login-succeeded super"));
        QVERIFY2(got[2].startsWith(QStringLiteral("settings-saved language=English flash=6")), qPrintable(got[2]));
        for (const history::JournalEvent& e : events) QVERIFY(!e.detail.contains(QStringLiteral("not-the-password")));
    }
};

QTEST_MAIN(TestProgramJournal)
#include "tst_programJournal.moc"
