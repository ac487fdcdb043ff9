// The assembled program: Qt's own texts (message box buttons) follow the language in effect, as the
// hot key and the settings window's language box change it.
#include <QComboBox>
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
        config::Config(data.path()).wrini("system.ini", "Set", "language", "Chinese");
        test::ScriptedPrompter prompter;
        {
            app::Program program(data.path(), "GBK", &prompter);
            QVERIFY2(yesText().contains(QString::fromUtf8("是")),
                     qPrintable(yesText()));  // the stored language
            QComboBox* language = nullptr;
            for (QWidget* w : program.secondaryWindows())
                if (w->objectName() == "TForm2") language = w->findChild<QComboBox*>("cbb1");
            QVERIFY(language);
            // The hot key selects the next entry of this box; so does the operator.
            language->setCurrentIndex(language->findText("English"));
            QCOMPARE(yesText(), QString("&Yes"));
            language->setCurrentIndex(language->findText("Chinese"));
            QVERIFY(yesText().contains(QString::fromUtf8("是")));
        }
        QCOMPARE(yesText(), QString("&Yes"));
    }
};

QTEST_MAIN(TestProgramLanguage)
#include "tst_programLanguage.moc"
