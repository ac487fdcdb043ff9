// The assembled program against the virtual controller (in-process behind the fake port), as an
// operator uses it: the toolbar's start button and the "校准" button of mains phase A go through the
// program's own gate and waits, the poll timer is running again after each, and the main window's
// lamps and panels follow. The waits and the ticks move the controller's fake clock.
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <functional>

#include "ScriptedPrompter.h"
#include "SimPort.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "config/Config.h"
#include "config/InitConfig.h"
#include "monitor/PollCycle.h"
#include "widgets/Indicators.h"

using namespace tarsyn;

class TestProgramSim : public QObject {
    Q_OBJECT
private slots:
    void operatorStartsAndCalibrates();
};

void TestProgramSim::operatorStartsAndCalibrates() {
    QTemporaryDir data;
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/");
    for (const char* f : {"English.lag", "Chinese.lag", "English.hlp", "Chinese.hlp"})
        QVERIFY(QFile::copy(source + QLatin1String(f), data.filePath(QLatin1String(f))));
    const QString device = data.filePath("controller");
    test::SimPort sim(test::SimPort::Steady);
    config::InitConfigOptions options;
    options.language = "English";
    options.superPassword = "super123";
    options.ordinaryPassword = "operator1";
    options.ports = {device};
    QCOMPARE(config::InitConfig(data.path(), options, {}).exitCode, 0);
    auto message = [&](const char* key) {
        return config::Config(data.path()).reini("English.lag", "Messages", QLatin1String(key));
    };

    test::ScriptedPrompter prompter;
    test::FakeSleeper sleeper(&sim.clock);
    app::Program program(data.path(), QByteArrayLiteral("GBK"), {&prompter, &sleeper, &sim.clock, &sim.port});
    auto* window = static_cast<app::MainWindow*>(program.mainWindow());
    // The poll timer's ticks, by hand: a second of the controller's time each.
    window->poll().stopTimer();
    auto tickUntil = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 10 && !done(); ++i) {
            sim.clock.advanceSecs(1);
            window->poll().tick();
        }
        return done();
    };
    QVERIFY(tickUntil([&] { return window->poll().linked(); }));
    QVERIFY(tickUntil([&] { return window->indicator("zs10")->image() == 1; }));  // automatic
    QCOMPARE(window->indicator("zs11")->image(), 0);

    // "Start" asks first, naming the controller (no remark here: its port), default No.
    window->toolButton("dport3")->click();
    QCOMPARE(prompter.shown, QStringList{QStringLiteral("confirm:") + message("mlqr1").arg(device)});
    QCOMPARE(window->indicator("zs11")->image(), 0);  // nothing sent
    prompter.shown.clear();
    prompter.answers = {true};
    window->toolButton("dport3")->click();
    QCOMPARE(prompter.shown, (QStringList{QStringLiteral("confirm:") + message("mlqr1").arg(device),
                                          QStringLiteral("info:") + message("dl8")}));
    QVERIFY(window->poll().timer().isActive());
    QCOMPARE(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone again
    window->poll().stopTimer();
    QVERIFY(tickUntil([&] { return window->indicator("zs11")->image() == 1; }));  // starting

    prompter.shown.clear();
    prompter.inputs = {"300"};
    window->calibrationButton(18)->click();
    QCOMPARE(prompter.shown, (QStringList{QStringLiteral("input:") + message("dl3") + QLatin1Char('|') +
                                              message("jzts1").arg("Mains voltage L1", "V", "65535"),
                                          QStringLiteral("info:") + message("dl6")}));
    window->poll().stopTimer();
    QVERIFY(tickUntil([&] { return window->panel("pnl34")->text() == QLatin1String("300"); }));
    QCOMPARE(window->panel("pnl34")->text(), QStringLiteral("300"));
}

QTEST_MAIN(TestProgramSim)
#include "tst_programSim.moc"
