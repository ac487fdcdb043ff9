// The assembled program: Qt's own texts (message box buttons) follow the language in effect, as the
// language box of the settings window changes it, once saved.
#include <QComboBox>
#include <QDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "ScriptedPrompter.h"
#include "app/Program.h"
#include "config/Config.h"

using namespace tarsyn;

namespace {

QString yesText() {
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text();
}

}  // namespace

class TestProgramLanguage : public QObject {
    Q_OBJECT
private slots:
    void boxButtonsFollowTheLanguageBox() {
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_zh_CN.qm"))
            QSKIP("Qt's Chinese translation is not installed (Debian package qt6-translations-l10n)");
        QTemporaryDir data;
        const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + "/data/";
        for (const char* f : {"English.lag", "Chinese.lag", "English.hlp", "Chinese.hlp"})
            QVERIFY(QFile::copy(source + f, data.filePath(f)));
        config::Config(data.path())
            .wriniBatch("system.ini", {{"Set", "language", "Chinese"},
                                       {"Set", "flash", "6"},
                                       {"Set", "save1", "60"},
                                       {"Set", "save2", "1"}});
        test::ScriptedPrompter prompter;
        prompter.defaultAnswer = true;
        {
            app::Program program(data.path(), "GBK", &prompter);
            QVERIFY2(yesText().contains(QString::fromUtf8("是")),
                     qPrintable(yesText()));  // the stored language
            QDialog* settings = nullptr;
            for (QWidget* w : program.secondaryWindows())
                if (w->objectName() == "TForm2") settings = qobject_cast<QDialog*>(w);
            QVERIFY(settings);
            auto* language = settings->findChild<QComboBox*>("cbb1");
            // The operator's choice takes effect once saved (Yes at dl1)...
            settings->show();
            language->setCurrentIndex(language->findText("English"));
            QVERIFY(yesText().contains(QString::fromUtf8("是")));
            settings->reject();
            QVERIFY(!settings->isVisible());
            QCOMPARE(yesText(), QString("&Yes"));
            settings->show();
            language->setCurrentIndex(language->findText("Chinese"));
            settings->reject();
            QVERIFY(yesText().contains(QString::fromUtf8("是")));
        }
        QCOMPARE(yesText(), QString("&Yes"));
    }
};

QTEST_MAIN(TestProgramLanguage)
#include "tst_programLanguage.moc"
