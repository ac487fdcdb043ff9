// The assembled program against tarsyn-sim, as an operator uses it: the poll timer runs for real, the
// toolbar's start button and the "校准" button of mains phase A go through the program's own gate,
// port and waits, and the main window's lamps and panels follow.
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "ScriptedPrompter.h"
#include "SimProcess.h"
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
    test::SimProcess sim;
    QVERIFY(sim.start({"--link", device, "--steady"}));
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
    app::Program program(data.path(), QByteArrayLiteral("GBK"), &prompter);
    auto* window = static_cast<app::MainWindow*>(program.mainWindow());
    QTRY_VERIFY_WITH_TIMEOUT(window->poll().linked(), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(window->indicator("zs10")->image(), 1, 5000);  // automatic
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
    QCOMPARE(QApplication::overrideCursor(), nullptr);                       // the busy cursor is gone again
    QTRY_COMPARE_WITH_TIMEOUT(window->indicator("zs11")->image(), 1, 5000);  // starting

    prompter.shown.clear();
    prompter.inputs = {"300"};
    window->calibrationButton(18)->click();
    QCOMPARE(prompter.shown, (QStringList{QStringLiteral("input:") + message("dl3") + QLatin1Char('|') +
                                              message("jzts1").arg("Mains voltage L1", "V", "65535"),
                                          QStringLiteral("info:") + message("dl6")}));
    QTRY_COMPARE_WITH_TIMEOUT(window->panel("pnl34")->text(), QStringLiteral("300"), 5000);
}

QTEST_MAIN(TestProgramSim)
#include "tst_programSim.moc"
