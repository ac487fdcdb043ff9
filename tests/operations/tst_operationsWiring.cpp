// The assembled program: every command button, its menu entry and every "校准" button reach their
// engine through the main window's gate (dl5 first, then dl4), and the factory settings ask first.
// Nothing here talks to a port: the linked paths are covered by the engine tests and end to end.
#include <QAction>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "ScriptedPrompter.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "config/Config.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;

class TestOperationsWiring : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { m_program.reset(); }
    void everyControlPassesTheGate_data();
    void everyControlPassesTheGate();
    void factorySettingsAskFirst_data();
    void factorySettingsAskFirst();

private:
    QString message(const char* key) const {
        return config::Config(m_data.path()).reini("English.lag", "Messages", QLatin1String(key));
    }
    /// Presses a toolbar button, a menu entry or a calibration button by its objectName.
    bool press(const QString& name) {
        if (QAction* action = m_window->menuAction(name)) {
            action->trigger();
            return true;
        }
        if (QToolButton* button = m_window->toolButton(name)) {
            button->click();
            return true;
        }
        if (name.startsWith(QLatin1String("btn"))) {
            if (QPushButton* button = m_window->calibrationButton(name.mid(3).toInt())) {
                button->click();
                return true;
            }
        }
        return false;
    }
    void setGate(bool rotation, bool linked) {
        m_window->poll().setRotationMode(rotation);
        m_window->poll().setConnectionIndicator(linked ? monitor::kLinkedImage : monitor::kNotLinkedImage);
    }

    QTemporaryDir m_data;
    test::ScriptedPrompter m_prompter;
    std::unique_ptr<app::Program> m_program;
    app::MainWindow* m_window = nullptr;
};

void TestOperationsWiring::initTestCase() {
    QVERIFY(m_data.isValid());
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/");
    for (const char* f : {"English.lag", "Chinese.lag", "English.hlp", "Chinese.hlp"})
        QVERIFY(QFile::copy(source + QLatin1String(f), m_data.filePath(QLatin1String(f))));
    config::Config(m_data.path()).wrini("system.ini", "Set", "language", "English");
    m_program = std::make_unique<app::Program>(m_data.path(), QByteArrayLiteral("GBK"), &m_prompter);
    m_window = static_cast<app::MainWindow*>(m_program->mainWindow());
}

void TestOperationsWiring::everyControlPassesTheGate_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("rotation");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QString>("key");
    QStringList controls = {"dport3", "dport4", "dport5", "dport6", "dport7",
                            "start1", "auto1",  "reset1", "test1",  "default1"};
    for (int b = 11; b <= 20; ++b) controls << QStringLiteral("btn%1").arg(b);
    for (const QString& c : controls) {
        QTest::addRow("%s in rotation, linked", qPrintable(c)) << c << true << true << "dl5";
        QTest::addRow("%s without a link", qPrintable(c)) << c << false << false << "dl4";
    }
}

void TestOperationsWiring::everyControlPassesTheGate() {
    QFETCH(QString, control);
    QFETCH(bool, rotation);
    QFETCH(bool, linked);
    QFETCH(QString, key);
    setGate(rotation, linked);
    m_prompter.shown.clear();
    QVERIFY(press(control));
    QCOMPARE(m_prompter.shown, QStringList{QStringLiteral("info:") + message(qPrintable(key))});
    QVERIFY(m_window->poll().timer().isActive());  // nothing paused polling
}

void TestOperationsWiring::factorySettingsAskFirst_data() {
    QTest::addColumn<QString>("control");
    QTest::newRow("dport7") << "dport7";
    QTest::newRow("default1") << "default1";
}

void TestOperationsWiring::factorySettingsAskFirst() {
    QFETCH(QString, control);
    setGate(false, true);
    m_prompter.shown.clear();
    m_prompter.answers = {false};
    QVERIFY(press(control));
    QCOMPARE(m_prompter.shown, QStringList{QStringLiteral("confirm:") + message("dl10")});
    setGate(false, false);
}

QTEST_MAIN(TestOperationsWiring)
#include "tst_operationsWiring.moc"
