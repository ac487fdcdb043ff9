// The main window's command table on the assembled program: every menu entry and toolbar button
// passes its gate in order (dl5 while the ports are visited in turn, then dl4 while the link is down,
// where the command needs the link) and opens its window with its title from the catalogue.
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "ScriptedPrompter.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "config/Config.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;

namespace {

/// The shipped catalogues and help files, and a settings section naming English.
bool makeDataFolder(const QTemporaryDir& data) {
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/");
    for (const char* f : {"English.lag", "Chinese.lag", "English.hlp", "Chinese.hlp"})
        if (!QFile::copy(source + QLatin1String(f), data.filePath(QLatin1String(f)))) return false;
    config::Config config(data.path());
    config.wrini("system.ini", "Set", "language", "English");
    return true;
}

}  // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(m_data.isValid());
        QVERIFY(makeDataFolder(m_data));
        m_program = std::make_unique<app::Program>(m_data.path(), QByteArrayLiteral("GBK"), &m_prompter);
        m_window = static_cast<app::MainWindow*>(m_program->mainWindow());
        m_messages = [this](const char* key) {
            return config::Config(m_data.path()).reini("English.lag", "Messages", QLatin1String(key));
        };
    }
    void cleanupTestCase() { m_program.reset(); }

    void gateInOrder_data();
    void gateInOrder();
    void aboutOpensWithoutBeingModalInRotationMode();

private:
    /// Triggers `command` and tells what came of it: the objectName and title of the modal window it
    /// opened, or the boxes it showed.
    QString trigger(const QString& command) {
        QAction* action = m_window->menuAction(command);
        if (!action) return QStringLiteral("no such command");
        m_prompter.shown.clear();
        QString opened;
        QTimer::singleShot(0, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = modal->objectName() + QLatin1Char('|') + modal->windowTitle();
                modal->close();
            }
        });
        action->trigger();
        QCoreApplication::processEvents();
        if (!opened.isEmpty()) return opened;
        return m_prompter.shown.join(QLatin1Char(';'));
    }

    QTemporaryDir m_data;
    test::ScriptedPrompter m_prompter;
    std::unique_ptr<app::Program> m_program;
    app::MainWindow* m_window = nullptr;
    std::function<QString(const char*)> m_messages;
};

void TestCommands::gateInOrder_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("rotation");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QString>("expected");  // "window:<objectName>|<title key>" or "info:<message key>"
    struct Row {
        const char* command;
        const char* window;
        const char* titleKey;
        bool needsLink;  // false: dl5 only; gate "none": no gate at all
        bool gated;
    };
    const Row rows[] = {
        {"help11", "TForm13", "Form13caption", false, false},
        {"connect1", "TForm11", "Form11caption", false, false},
        {"yssz1", "TForm6", "Form6caption", true, true},
        {"qxsz1", "TForm7", "Form7caption", true, true},
        {"xtcs1", "TForm8", "Form8caption", true, true},
        {"kzw1", "TForm9", "Form9caption", true, true},
        {"bjsx1", "TForm10", "Form10caption", true, true},
        {"gsm1", "Tgsm", "gsmcaption", true, true},
        {"Q1", "TForm5", "Form5caption", false, true},
        {"E1", "TForm17", "Form17caption", true, true},
        {"print1", "TForm12", "Form12caption", true, true},
        {"jr1", "TForm18", "Form18caption", false, false},
        {"wl1", "TForm19", "Form19caption", false, false},
    };
    for (const Row& r : rows) {
        for (int rotation = 0; rotation < 2; ++rotation) {
            for (int linked = 0; linked < 2; ++linked) {
                QString expected = QStringLiteral("window:%1|%2").arg(r.window, r.titleKey);
                if (r.gated && rotation)
                    expected = QStringLiteral("info:dl5");
                else if (r.gated && r.needsLink && !linked)
                    expected = QStringLiteral("info:dl4");
                QTest::addRow("%s rotation %d linked %d", r.command, rotation, linked)
                    << QString::fromLatin1(r.command) << bool(rotation) << bool(linked) << expected;
            }
        }
    }
    // The settings need the super level; without a login nobody has it.
    QTest::newRow("Set1 without the super level") << "Set1" << false << true << "info:dl29";
}

void TestCommands::gateInOrder() {
    QFETCH(QString, command);
    QFETCH(bool, rotation);
    QFETCH(bool, linked);
    QFETCH(QString, expected);
    m_window->poll().setRotationMode(rotation);
    m_window->poll().setConnectionIndicator(linked ? monitor::kLinkedImage : monitor::kNotLinkedImage);
    const QString what = trigger(command);
    if (expected.startsWith(QStringLiteral("info:"))) {
        QCOMPARE(what, QStringLiteral("info:") + m_messages(qPrintable(expected.mid(5))));
    } else {
        const QStringList parts = expected.mid(7).split(QLatin1Char('|'));
        QCOMPARE(what, parts[0] + QLatin1Char('|') + m_messages(qPrintable(parts[1])));
    }
}

void TestCommands::aboutOpensWithoutBeingModalInRotationMode() {
    m_window->poll().setRotationMode(true);
    m_window->menuAction("About1")->trigger();
    QWidget* about = m_window->findChild<QWidget*>("TForm3");
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QVERIFY(!about->isModal());
    QCOMPARE(about->windowTitle(), m_messages("Form3caption"));
    about->close();
    m_window->poll().setRotationMode(false);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
