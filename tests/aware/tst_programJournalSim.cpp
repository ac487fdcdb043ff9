// The assembled program against the virtual controller (in-process behind the fake port) journals
// what the operator sends to the controller under the controller's name: an operating command, a
// calibration and a written parameter block. The pauses of the exchanges are a fake sleeper's on the
// controller's fake clock; ticks are driven by hand.
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "AwareSupport.h"
#include "ScriptedPrompter.h"
#include "SimPort.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "aware/JournalExport.h"
#include "config/CatalogueText.h"
#include "config/Config.h"
#include "history/JournalStore.h"
#include "monitor/PollCycle.h"
#include "pages/ui/PageWindow.h"

using namespace tarsyn;
using history::JournalKind;

class TestProgramJournalSim : public QObject {
    Q_OBJECT
private slots:
    void whatIsSentToTheControllerIsJournalledUnderItsName() {
        QTemporaryDir data;
        QVERIFY(test::copyCatalogue(data.path()));
        const QString device = data.filePath("controller");
        test::SimPort sim(test::SimPort::Stopped);
        config::Config config(data.path());
        config.wriniBatch("system.ini", {{"Set", "language", "English"},
                                         {"Set", "flash", "2"},
                                         {"Set", "save1", "60"},
                                         {"Set", "save2", "1"},
                                         {"Set", "ports", "1"},
                                         {"Set", "port0", device},
                                         {"Set", "remark0", "Sim set"}});
        test::ScriptedPrompter prompter;
        prompter.defaultAnswer = true;
        test::FakeClock& clock = sim.clock;
        test::FakeSleeper sleeper(&clock);
        app::Program program(data.path(), QByteArrayLiteral("GBK"), {&prompter, &sleeper, &clock, &sim.port});
        auto* window = static_cast<app::MainWindow*>(program.mainWindow());
        window->poll().stopTimer();
        prompter.shown.clear();  // the data folder has no help file: reported once at start
        for (int i = 0; i < 4 && !window->poll().linked(); ++i) {
            clock.advanceSecs(1);
            window->poll().tick();
        }
        QVERIFY(window->poll().linked());

        // "Reset" (dport5) declined: nothing sent, the refusal journalled.
        prompter.answers = {false};
        window->toolButton(QStringLiteral("dport5"))->click();
        // "Start" (dport3): request 0005100100FF, after Yes to its question.
        window->toolButton(QStringLiteral("dport3"))->click();
        // Battery voltage (btn17), 24.5 V sent as tenths: 000700A0 then 00F5.
        prompter.inputs = {QStringLiteral("24.5")};
        window->calibrationButton(17)->click();
        // The delay page's first block, typed by the operator without a read before it. Whatever the
        // read-back finds (on a real line it may come out unverified or differing), the journal says
        // which, with the values sent.
        auto* delays = window->findChild<pages::PageWindow*>(QStringLiteral("TForm6"));
        QVERIFY(delays);
        for (const pages::Field& f : delays->page().blocks.at(0).fields)
            delays->findChild<QLineEdit*>(f.control)->setText("7");
        delays->engine().write(0);
        for (const QString& error : prompter.of("error"))
            QVERIFY2(
                error == QLatin1String("No answer: the write could not be verified") ||
                    error.startsWith(QLatin1String("Written, but the controller holds different values: ")),
                qPrintable(error));

        program.journal().flush();
        auto only = [&program](JournalKind kind) {
            history::JournalFilter filter;
            filter.kind = kind;
            return program.journal().events(filter);
        };
        const auto commands = only(JournalKind::CommandSent);
        QCOMPARE(commands.size(), 1);
        QCOMPARE(commands[0].controller, QStringLiteral("Sim set"));
        QCOMPARE(commands[0].detail, QStringLiteral("Start (dport3, 0005100100FF)"));
        const auto declined = only(JournalKind::CommandDeclined);
        QCOMPARE(declined.size(), 1);
        QCOMPARE(declined[0].controller, QStringLiteral("Sim set"));
        QCOMPARE(declined[0].detail, QStringLiteral("Reset (dport5, 0005100200FF)"));
        const auto calibrations = only(JournalKind::CalibrationSent);
        QCOMPARE(calibrations.size(), 1);
        QCOMPARE(calibrations[0].controller, QStringLiteral("Sim set"));
        QCOMPARE(calibrations[0].detail,
                 QStringLiteral("Calibrate the battery voltage = 24.5 (btn17, 000700A000F5)"));
        const auto blocks = only(JournalKind::BlockWritten);
        QCOMPARE(blocks.size(), 1);
        QCOMPARE(blocks[0].controller, QStringLiteral("Sim set"));
        QVERIFY2(blocks[0].detail.contains(QStringLiteral("(TForm6), block 1: ")),
                 qPrintable(blocks[0].detail));
        QVERIFY2(blocks[0].detail.contains(QStringLiteral(" = 7")) ||
                     blocks[0].detail.contains(QStringLiteral("sent 7")),
                 qPrintable(blocks[0].detail));

        // Each event is kept with its values: a Chinese reader reads it in Chinese, the frame apart.
        const config::Catalogue chinese = config::Catalogue::load(
            config::Config(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data")),
            QStringLiteral("Chinese"));
        const aware::JournalDetail start = aware::RenderJournalDetail(commands[0], chinese);
        QCOMPARE(start.text, QString::fromUtf8("启动模块"));
        QCOMPARE(start.frames, QStringLiteral("0005100100FF"));
        QCOMPARE(aware::RenderJournalDetail(declined[0], chinese).text, QString::fromUtf8("复位停机"));
        QCOMPARE(aware::RenderJournalDetail(calibrations[0], chinese).text,
                 QString::fromUtf8("校准电池电压 = 24.5"));
        const QString block = aware::RenderJournalDetail(blocks[0], chinese).text;
        QVERIFY2(block.startsWith(QString::fromUtf8("延迟设置，第 1 块：")), qPrintable(block));
        QVERIFY2(block.contains(QString::fromUtf8("冷却停机延时 = 7")) ||
                     block.contains(QString::fromUtf8("不一致")),
                 qPrintable(block));
    }
};

QTEST_MAIN(TestProgramJournalSim)
#include "tst_programJournalSim.moc"
