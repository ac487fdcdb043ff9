// The assembled program against the simulated controller, in-process: the controller's request
// handler answers through a fake serial port, the clock and the pauses are fake, ticks are driven by
// hand. What the settings window holds unsaved never reaches the poll cycle or the recorder, and
// the settings found at start are checked.
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "ControllerMemory.h"
#include "EngineModel.h"
#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "RequestHandler.h"
#include "ScriptedPrompter.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "config/Config.h"
#include "monitor/PollCycle.h"
#include "widgets/Indicators.h"

using namespace tarsyn;

namespace {

/// A factory-fresh controller behind a fake port: each request line written is answered at once.
struct SimulatedController {
    explicit SimulatedController(const test::FakeClock& clock) : engine(memory, clock, 7) {
        memory.loadFactoryImage();
        port.onWrite = [this](const QString& text) {
            for (const QByteArray& line : lines.feed(text.toLatin1())) {
                const sim::Reply reply = handler.handle(line);
                if (reply.answered) port.arrive(QString::fromLatin1(reply.text));
            }
        };
    }
    sim::ControllerMemory memory;
    sim::EngineModel engine;
    sim::RequestHandler handler{memory, engine};
    sim::LineBuffer lines;
    test::FakeSerialPort port;
};

/// A data folder with the English catalogue and settings that pass the start checks: one port,
/// refresh 2 s, intervals 60 s and 1 min.
bool prepare(const QTemporaryDir& data, const QString& language = QStringLiteral("English")) {
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/English.lag");
    if (!QFile::copy(source, data.filePath("English.lag"))) return false;
    config::Config config(data.path());
    QList<config::IniEntry> set{
        {"Set", "language", language}, {"Set", "flash", "2"},    {"Set", "save2", "1"},
        {"Set", "save1", "60"},        {"Set", "ports", "1"},    {"Set", "port0", "sim0"},
        {"Set", "remark0", "Sim set"}, {"Set", "cjkl", "12345"}, {"Set", "ptkl", "678"}};
    set << config::IniEntry{"Set", "jzm",
                            config::CheckValue(config, language, "2", "1", "60", "1", "12345", "678")};
    config.wriniBatch("system.ini", set);
    return true;
}

QDialog* settingsWindow(const app::Program& program) {
    for (QWidget* w : program.secondaryWindows())
        if (w->objectName() == QLatin1String("TForm2")) return qobject_cast<QDialog*>(w);
    return nullptr;
}

}  // namespace

class TestSettingsSim : public QObject {
    Q_OBJECT
private slots:
    void unsavedEditNeverStopsMonitoring_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("refresh abc") << "cbb2"
                                     << "abc"
                                     << "2";
        QTest::newRow("refresh cleared") << "cbb2"
                                         << ""
                                         << "2";
        QTest::newRow("hour interval cleared") << "cbbnls"
                                               << ""
                                               << "60";
        QTest::newRow("day interval cleared") << "cbb24s"
                                              << ""
                                              << "1";
    }
    void unsavedEditNeverStopsMonitoring() {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QTemporaryDir data;
        QVERIFY(prepare(data));
        test::FakeClock clock;
        test::FakeSleeper sleeper(&clock);
        SimulatedController controller(clock);
        test::ScriptedPrompter prompter;  // No at dl1: the edit is not saved
        app::Program program(data.path(), "GBK", {&prompter, &sleeper, &clock, &controller.port});
        auto* window = static_cast<app::MainWindow*>(program.mainWindow());
        monitor::PollCycle& poll = window->poll();
        poll.stopTimer();
        auto tick = [&] {
            clock.advanceSecs(1);
            poll.tick();
            QCoreApplication::processEvents();  // the recorder reports through the event loop
        };
        for (int i = 0; i < 4 && !poll.linked(); ++i) tick();
        QVERIFY(poll.linked());
        prompter.shown.clear();  // the folder has no help file: reported once at start
        const QByteArray file = [&] {
            QFile f(data.filePath("system.ini"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();

        QDialog* settings = settingsWindow(program);
        QVERIFY(settings);
        settings->show();
        auto setText = [&](const QString& text) {
            if (auto* box = settings->findChild<QComboBox*>(control))
                box->setCurrentText(text);
            else
                settings->findChild<QLineEdit*>(control)->setText(text);
        };
        auto shownText = [&] {
            if (auto* box = settings->findChild<QComboBox*>(control)) return box->currentText();
            return settings->findChild<QLineEdit*>(control)->text();
        };
        setText(typed);
        for (int i = 0; i < 3; ++i) tick();  // polling goes on while the window is open
        settings->findChild<QPushButton*>("btnszq")->click();
        QVERIFY(!settings->isVisible());
        QCOMPARE(prompter.of("confirm").size(), 1);  // dl1, answered No

        // Several refresh periods and recording intervals later: no error box, still linked.
        const int sentBefore = controller.port.written.size();
        for (int i = 0; i < 130; ++i) tick();
        QVERIFY2(prompter.of("error").isEmpty(), qPrintable(prompter.of("error").join('\n')));
        QVERIFY2(prompter.of("info").isEmpty(), qPrintable(prompter.of("info").join('\n')));
        QVERIFY(poll.linked());
        QVERIFY(controller.port.written.size() >= sentBefore + 100);  // a request every tick

        // An alarm raised now shows: the emergency stop's lamp turns red.
        QCOMPARE(window->indicator("zs9")->image(), 0);
        controller.engine.setAlarm(true, false);
        for (int i = 0; i < 4; ++i) tick();
        QCOMPARE(window->indicator("zs9")->image(), 1);

        // The window opened again shows the saved value, and the file is as it was.
        settings->show();
        QCOMPARE(shownText(), saved);
        settings->hide();
        QFile f(data.filePath("system.ini"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), file);
    }

    // A stored language without its catalogue: the installed one is used, the strip says so, and
    // no text shows as "0".
    void storedLanguageWithoutCatalogueFallsBack() {
        QTemporaryDir data;
        QVERIFY(prepare(data, "Klingon"));
        test::FakeClock clock;
        test::FakeSleeper sleeper(&clock);
        SimulatedController controller(clock);
        test::ScriptedPrompter prompter;
        app::Program program(data.path(), "GBK", {&prompter, &sleeper, &clock, &controller.port});
        auto* window = static_cast<app::MainWindow*>(program.mainWindow());
        QCOMPARE(window->settingsWarningText(),
                 QString("Language \"Klingon\" is not installed: English is used."));
        QVERIFY(window->windowTitle() != QLatin1String("0"));
        // Windows made after the main window (the settings window reads system.ini again) too.
        for (QWidget* w : program.secondaryWindows())
            QVERIFY2(w->windowTitle() != QLatin1String("0"), qPrintable(w->objectName()));
        QCOMPARE(settingsWindow(program)->findChild<QComboBox*>("cbb1")->currentText(), QString("English"));
    }
};

QTEST_MAIN(TestSettingsSim)
#include "tst_settingsSim.moc"
