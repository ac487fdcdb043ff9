// The help window and the about box: what they show at creation, at opening and after the hot key.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/AboutBox.h"
#include "app/HelpWindow.h"
#include "config/Config.h"
#include "config/LiveSettings.h"

using namespace tarsyn;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct Folder {
    Folder() { settings.setLanguage("A"); }
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
};

}  // namespace

class TestHelpAbout : public QObject {
    Q_OBJECT
private slots:
    void aboutWithoutDl14KeepsItsFirstLineUntilTheHotKey();
    void aboutTakesEveryLineFromTheCatalogue();
    void helpLoadsTheLanguagesFileAtCreation();
    void missingHelpAtStartKeepsTheDesignTextAndReportsThePath();
    void hotKeyToALanguageWithoutHelpSaysSo();
    void shippedCataloguesCarryTheProgramsVersion();
    void aboutSpeaksTheLanguageInEffect();
};

void TestHelpAbout::aboutSpeaksTheLanguageInEffect() {
    // Every line of the box, the core line and the button too, in the shipped catalogue's language.
    Folder f;
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + "/data/";
    for (const char* language : {"Chinese", "English"})
        QVERIFY(QFile::copy(source + language + ".lag", f.dir.filePath(QString(language) + ".lag")));
    f.settings.setLanguage("Chinese");
    app::AboutBox about(f.messages);
    about.open();
    QCOMPARE(about.findChild<QLabel*>("Label1")->text(), QString::fromUtf8("内核：V3"));
    QCOMPARE(about.findChild<QPushButton*>("OKButton")->text(), QString::fromUtf8("确定"));
    f.settings.setLanguage("English");
    about.relabel();
    QCOMPARE(about.findChild<QLabel*>("Label1")->text(), QString("Core: V3"));
}

void TestHelpAbout::aboutWithoutDl14KeepsItsFirstLineUntilTheHotKey() {
    Folder f;
    writeFile(f.dir.filePath("A.lag"), "[Messages]\r\nForm3caption=About A\r\ndl15=two\r\ndl16=three\r\n");
    app::AboutBox about(f.messages);
    QCOMPARE(about.objectName(), QStringLiteral("TForm3"));
    about.open();
    QVERIFY(!about.isModal());
    QCOMPARE(about.windowTitle(), QStringLiteral("About A"));
    QCOMPARE(about.line(1), QStringLiteral("V 3.0"));
    QCOMPARE(about.line(2), QStringLiteral("two"));
    QCOMPARE(about.line(4), QStringLiteral("0"));  // dl17 missing
    about.relabel();                               // the hot key sets all four lines
    QCOMPARE(about.line(1), QStringLiteral("0"));
    about.open();
    QCOMPARE(about.line(1), QStringLiteral("0"));
}

void TestHelpAbout::aboutTakesEveryLineFromTheCatalogue() {
    Folder f;
    writeFile(f.dir.filePath("A.lag"), "[Messages]\r\ndl14=V 4.2\r\ndl15=b\r\ndl16=c\r\ndl17=d\r\n");
    app::AboutBox about(f.messages);
    about.open();
    QCOMPARE(QStringList({about.line(1), about.line(2), about.line(3), about.line(4)}),
             QStringList({"V 4.2", "b", "c", "d"}));
    QVERIFY(about.findChild<QLabel*>("lblgy1"));
    QVERIFY(about.findChild<QLabel*>("lblgy4"));
}

void TestHelpAbout::helpLoadsTheLanguagesFileAtCreation() {
    Folder f;
    writeFile(f.dir.filePath("A.hlp"), "line one\r\nline two\r\n");
    app::HelpWindow help(f.config, f.messages);
    QCOMPARE(help.objectName(), QStringLiteral("TForm13"));
    QCOMPARE(help.findChild<QPlainTextEdit*>("mmohelp")->isReadOnly(), true);
    QVERIFY(help.load("A").isEmpty());
    QCOMPARE(help.text(), QStringLiteral("line one\nline two\n"));
}

void TestHelpAbout::missingHelpAtStartKeepsTheDesignTextAndReportsThePath() {
    Folder f;
    app::HelpWindow help(f.config, f.messages);
    const QString error = help.load("A");
    QVERIFY(error.startsWith(QStringLiteral("Cannot open file \"")));
    QVERIFY(error.contains(f.dir.filePath("A.hlp")));
    QCOMPARE(help.text(), QStringLiteral("help"));
}

void TestHelpAbout::hotKeyToALanguageWithoutHelpSaysSo() {
    Folder f;
    writeFile(f.dir.filePath("A.hlp"), "help of A");
    writeFile(f.dir.filePath("B.lag"), "[Messages]\r\nhelpmissing=No help for B:\r\n");
    app::HelpWindow help(f.config, f.messages);
    QVERIFY(help.load("A").isEmpty());
    f.settings.setLanguage("B");
    QVERIFY(!help.load("B").isEmpty());
    QVERIFY(help.text().startsWith(QStringLiteral("No help for B:\n")));
    QVERIFY(help.text().contains(QStringLiteral("B.hlp")));
    QVERIFY(!help.text().contains(QStringLiteral("help of A")));
}

void TestHelpAbout::shippedCataloguesCarryTheProgramsVersion() {
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data");
    config::Config shipped(source);
    for (const char* language : {"English", "Chinese"}) {
        config::LiveSettings settings;
        settings.setLanguage(QLatin1String(language));
        config::Messages messages(shipped, settings);
        app::AboutBox about(messages);
        about.relabel();
        QCOMPARE(about.line(1), QStringLiteral("V " TARSYN_VERSION));
        // Its button speaks the language too.
        QCOMPARE(about.findChild<QPushButton*>(QStringLiteral("OKButton"))->text(),
                 QString::fromUtf8(language == QLatin1String("Chinese") ? "确定" : "OK"));
    }
}

QTEST_MAIN(TestHelpAbout)
#include "tst_helpAbout.moc"
