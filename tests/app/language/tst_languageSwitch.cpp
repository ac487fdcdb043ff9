#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "app/LanguageHotKey.h"
#include "app/LanguageSwitcher.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "widgets/Catalogue.h"

using namespace tarsyn::app;
using namespace tarsyn::widgets;
using namespace tarsyn::config;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

}  // namespace

class TestLanguageSwitch : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        writeFile(m_dir.filePath("A.lag"),
                  "[Translations]\r\nlbl1.Caption=Alpha label\r\n"
                  "[Messages]\r\ndl4=A: no link\r\nForm1caption=A main\r\n");
        writeFile(m_dir.filePath("B.lag"),
                  "[Translations]\r\nlbl1.Caption=Bravo label\r\n"
                  "[Messages]\r\ndl4=B: no link\r\nForm1caption=B main\r\n");
        writeFile(m_dir.filePath("system.ini"), "[Set]\r\nlanguage=A\r\n");
    }

    // --- counter ---------------------------------------------------------------------------------

    void counterSelects_data() {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("presses");  // language after each press
        QTest::newRow("A current") << QStringList{"A", "B"} << "A" << QStringList{"B", "A", "B"};
        // Every press changes the language, whichever is current at start.
        QTest::newRow("B current: first press selects A")
            << QStringList{"A", "B"} << "B" << QStringList{"A", "B", "A"};
        QTest::newRow("three wrap") << QStringList{"A", "B", "C"} << "C" << QStringList{"A", "B", "C", "A"};
        QTest::newRow("middle current") << QStringList{"A", "B", "C"} << "B" << QStringList{"C", "A", "B"};
        QTest::newRow("stored language not installed")
            << QStringList{"A", "B"} << "X" << QStringList{"A", "B"};
        QTest::newRow("one catalogue") << QStringList{"A"} << "A" << QStringList{"A", "A"};
    }
    void counterSelects() {
        QFETCH(QStringList, languages);
        QFETCH(QString, stored);
        QFETCH(QStringList, presses);
        LiveSettings settings;
        settings.setLanguage(stored);
        LanguageSwitcher switcher(settings, languages);
        QCOMPARE(switcher.counter(), 0);
        for (const QString& expected : presses) {
            switcher.advance();
            QCOMPARE(settings.language(), expected);
        }
    }

    void noCataloguesDoesNothing() {
        LiveSettings settings;
        settings.setLanguage("A");
        LanguageSwitcher switcher(settings, {});
        int calls = 0;
        switcher.add("main", [&](const QString&) { ++calls; });
        switcher.advance();
        QCOMPARE(settings.language(), QStringLiteral("A"));
        QCOMPARE(calls, 0);
    }

    void callbacksRunInRegistrationOrderAfterTheLanguageIsSet() {
        LiveSettings settings;
        settings.setLanguage("A");
        LanguageSwitcher switcher(settings, {"A", "B"});
        QStringList trace;
        for (const char* name :
             {"main", "settings", "about", "pages", "curves", "help", "alarms", "mode label"})
            switcher.add(name, [&, name](const QString& language) {
                trace << QString::fromLatin1(name) + ":" + language + ":" + settings.language();
            });
        const int removed = switcher.add("gone", [&](const QString&) { trace << "gone"; });
        switcher.remove(removed);
        QSignalSpy changed(&switcher, &LanguageSwitcher::languageChanged);
        switcher.advance();
        QCOMPARE(trace, (QStringList{"main:B:B", "settings:B:B", "about:B:B", "pages:B:B", "curves:B:B",
                                     "help:B:B", "alarms:B:B", "mode label:B:B"}));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("B"));
    }

    void messagesFollowTheSwitchNotTheFile() {
        const Config config(m_dir.path());
        LiveSettings settings;
        settings.load(config);
        const Messages messages(config, settings);
        QCOMPARE(messages.text("dl4"), QStringLiteral("A: no link"));
        LanguageSwitcher switcher(settings, LanguageCatalogues(m_dir.path()));
        switcher.advance();
        QCOMPARE(messages.text("dl4"), QStringLiteral("B: no link"));
        QCOMPARE(messages.text("dl99"), QStringLiteral("0"));
        QCOMPARE(config.reini("system.ini", "Set", "language"), QStringLiteral("A"));
    }

    // --- hot key, application-wide path ----------------------------------------------------------

    void hotKeyRecognition_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("fires");
        QTest::newRow("Shift+End") << int(Qt::Key_End) << int(Qt::ShiftModifier) << true;
        QTest::newRow("Shift+keypad End")
            << int(Qt::Key_End) << int(Qt::ShiftModifier | Qt::KeypadModifier) << true;
        QTest::newRow("End") << int(Qt::Key_End) << int(Qt::NoModifier) << false;
        QTest::newRow("Ctrl+Shift+End")
            << int(Qt::Key_End) << int(Qt::ShiftModifier | Qt::ControlModifier) << false;
        QTest::newRow("Shift+Home") << int(Qt::Key_Home) << int(Qt::ShiftModifier) << false;
    }
    void hotKeyRecognition() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, fires);
        LanguageHotKey hotKey;
        QCOMPARE(hotKey.registerKey(), LanguageHotKey::Mode::ApplicationWide);  // offscreen: no X11 grab
        QSignalSpy spy(&hotKey, &LanguageHotKey::triggered);
        QWidget w;
        w.show();
        QTest::keyClick(&w, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(spy.size(), fires ? 1 : 0);
    }

    void hotKeyFiresOnceAndIsConsumed() {
        LanguageHotKey hotKey;
        hotKey.registerKey(false);
        QSignalSpy spy(&hotKey, &LanguageHotKey::triggered);
        QWidget w;
        auto* edit = new QLineEdit("some text", &w);
        w.show();
        edit->setFocus();
        edit->setCursorPosition(0);
        QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(spy.size(), 1);                    // not again for the parent it would travel to
        QCOMPARE(edit->selectedText(), QString());  // the line edit never saw it
        hotKey.unregister();
        QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(edit->selectedText(), QStringLiteral("some text"));
    }

    void platformKeyPressFiresOnce() {
        // A press from the platform passes the top-level QWindow and then the widget: one signal.
        LanguageHotKey hotKey;
        hotKey.registerKey();
        QSignalSpy spy(&hotKey, &LanguageHotKey::triggered);
        QWidget w;
        auto* edit = new QLineEdit("text", &w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        edit->setFocus();
        QTest::keyClick(w.windowHandle(), Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(edit->selectedText(), QString());
    }

    void hotKeyWorksInsideModalWindows() {
        LanguageHotKey hotKey;
        hotKey.registerKey();
        QSignalSpy spy(&hotKey, &LanguageHotKey::triggered);
        QWidget main;
        main.show();

        QDialog dialog(&main);
        auto* button = new QPushButton("OK", &dialog);
        QTimer::singleShot(0, &dialog, [&] {
            QTest::keyClick(button, Qt::Key_End, Qt::ShiftModifier);
            dialog.accept();
        });
        dialog.exec();
        QCOMPARE(spy.size(), 1);

        QMessageBox box(QMessageBox::Information, "Tarsyn", "text", QMessageBox::Ok, &main);
        QTimer::singleShot(0, &box, [&] {
            QTest::keyClick(&box, Qt::Key_End, Qt::ShiftModifier);
            box.accept();
        });
        box.exec();
        QCOMPARE(spy.size(), 2);
    }

    void hotKeyDrivesTheSwitchAcrossWindows() {
        const Config config(m_dir.path());
        LiveSettings settings;
        settings.load(config);
        LanguageSwitcher switcher(settings, LanguageCatalogues(m_dir.path()));
        QWidget main, settingsWindow;
        main.setObjectName("TForm1");
        settingsWindow.setObjectName("TForm2");
        auto* l1 = new QLabel("x", &main);
        l1->setObjectName("lbl1");
        auto* l2 = new QLabel("x", &settingsWindow);
        l2->setObjectName("lbl1");
        const Messages messages(config, settings);
        for (QWidget* w : {&main, &settingsWindow})
            switcher.add(w->objectName(), [&, w](const QString& language) {
                SetActiveLanguage(w, config, language, ControlClassesForWindow(w->objectName()));
                w->setWindowTitle(messages.text("Form1caption"));
            });
        LanguageHotKey hotKey;
        hotKey.registerKey();
        connect(&hotKey, &LanguageHotKey::triggered, &switcher, &LanguageSwitcher::advance);
        main.show();

        QTest::keyClick(&main, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(l1->text(), QStringLiteral("Bravo label"));
        QCOMPARE(l2->text(), QStringLiteral("Bravo label"));
        QCOMPARE(main.windowTitle(), QStringLiteral("B main"));
        QTest::keyClick(&main, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(l1->text(), QStringLiteral("Alpha label"));
        QCOMPARE(settingsWindow.windowTitle(), QStringLiteral("A main"));
    }
};

QTEST_MAIN(TestLanguageSwitch)
#include "tst_languageSwitch.moc"
