// The main window's status strip and indicator tabs with awareness wired to its poll cycle: the lost
// link, the last reading, the controller's name, the alarm count and the tab counts, and the greyed
// readings while the link is down.
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "AwareSupport.h"
#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "ScriptedPrompter.h"
#include "app/MainWindow.h"
#include "aware/Awareness.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/Codec.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;
using history::JournalKind;

namespace {

/// A controller on the fake port: each request is answered at once with its block (the live block
/// carries `alarms` and `inputs`), unless `silent`.
struct Rig {
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::FakeClock clock;
    test::FakeSleeper sleeper{&clock};
    test::FakeSerialPort port;
    test::ScriptedPrompter prompter;
    test::RecordingJournal journal;
    test::RecordingNotifier notifier;
    std::unique_ptr<app::MainWindow> window;
    std::unique_ptr<aware::Awareness> awareness;
    quint8 alarms = 0, inputs = 0;
    bool silent = false;

    Rig() {
        test::copyCatalogue(dir.path());
        config.wriniBatch("system.ini", {{"Set", "language", "English"},
                                         {"Set", "flash", "6"},
                                         {"Set", "ports", "1"},
                                         {"Set", "port0", "COM7"},
                                         {"Set", "remark0", " Pump house "},
                                         {"Set", "portremark0", "roof"}});
        settings.load(config);
        window =
            std::make_unique<app::MainWindow>(config, settings, messages, port, sleeper, clock, prompter);
        window->poll().stopTimer();
        awareness = std::make_unique<aware::Awareness>(clock, config, settings, journal, notifier);
        awareness->setStatusView(window.get());
        window->poll().setHistorySink(awareness.get());
        port.onWrite = [this](const QString& request) {
            if (silent) return;
            QByteArray data(request.contains("0006") ? 48 : 22, '\0');
            if (data.size() == 48) {
                data[0x1A - 0x06] = char(alarms);
                data[0x1C - 0x06] = char(inputs);
            }
            port.arrive(link::BuildFrame(QStringLiteral("0004") + link::ToHex(quint32(data.size()), 2) +
                                         QString::fromLatin1(data.toHex().toUpper())));
        };
    }
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advanceSecs(1);
            window->poll().tick();
            awareness->afterTickOf(window->poll());
        }
    }
    QString text(const char* label) const { return window->findChild<QLabel*>(label)->text(); }
    QString tab(int i) const { return window->findChild<QTabWidget*>("PageControl1")->tabText(i); }
    QColor panelText() const {
        return window->findChild<QLabel*>("pnl17")->palette().color(QPalette::WindowText);
    }
};

}  // namespace

class TestStatusStrip : public QObject {
    Q_OBJECT
private slots:
    void theLostLinkCannotBeMissed() {
        Rig r;
        r.tick();  // opens COM7 at 12:00:01, asks for the delays
        QCOMPARE(r.text("lbllink"), QStringLiteral("Not yet linked"));
        QCOMPARE(r.text("lbllast"), QStringLiteral("No reading yet"));
        QCOMPARE(r.text("lblctlname"), QStringLiteral("Pump house"));
        QVERIFY(r.window->readingsStale());
        r.tick(3);  // delays, live block (12:00:03), delays
        QCOMPARE(r.text("lbllink"), QStringLiteral("Linked"));
        QCOMPARE(r.text("lbllast"), QStringLiteral("Last reading 12:00:03"));
        QVERIFY(!r.window->readingsStale());
        const QColor live = r.panelText();

        r.port.lose();  // the cable is pulled
        r.silent = true;
        r.tick();  // 12:00:05
        QCOMPARE(r.text("lbllink"), QStringLiteral("Link lost since 12:00:05"));
        QVERIFY(r.window->findChild<QLabel*>("lbllink")->styleSheet().contains("background"));
        QCOMPARE(r.text("lbllast"), QStringLiteral("Last reading 12:00:03"));
        QVERIFY(r.window->readingsStale());
        QVERIFY(r.panelText() != live);
        // No count without a link: what the controller holds now is unknown.
        QCOMPARE(r.text("lblalarms"), QStringLiteral("Alarm state unknown (no link)"));
        QVERIFY(!r.window->findChild<QLabel*>("lblalarms")->styleSheet().contains("#b3261e"));
        r.tick(3);  // still lost: one event only
        QCOMPARE(r.journal.count(JournalKind::LinkLost), 1);
        QCOMPARE(r.journal.entries.last().controller, QStringLiteral("Pump house"));

        r.silent = false;
        r.tick(6);  // the connection step reopens the port; replies come again
        QCOMPARE(r.text("lbllink"), QStringLiteral("Linked"));
        QVERIFY(!r.window->readingsStale());
        QCOMPARE(r.panelText(), live);
        QCOMPARE(r.journal.count(JournalKind::LinkRegained), 1);
        QCOMPARE(r.journal.entries.size(), 2);
    }

    void alarmsShowWhateverTabIsOpen() {
        Rig r;
        r.window->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);  // Inputs
        r.alarms = 0x80;                                                       // emergency stop
        r.inputs = 0x81;  // emergency stop input and speed-down limit
        r.tick(4);
        QCOMPARE(r.text("lblalarms"), QStringLiteral("Active alarms: 1"));
        QVERIFY(r.window->findChild<QLabel*>("lblalarms")->styleSheet().contains("#b3261e"));
        QCOMPARE(r.tab(0), QStringLiteral("Alarms and states (1)"));
        QCOMPARE(r.tab(1), QStringLiteral("Inputs (2)"));
        QCOMPARE(r.tab(2), QStringLiteral("Outputs"));
        QCOMPARE(r.notifier.notes.size(), 1);
        QCOMPARE(r.notifier.notes[0].title, QStringLiteral("Pump house"));
        QVERIFY(r.notifier.notes[0].text.startsWith(QStringLiteral("Emergency stop at ")));
        // A language step keeps the counts behind the new captions.
        r.window->relabel();
        QCOMPARE(r.tab(1), QStringLiteral("Inputs (2)"));
        QCOMPARE(r.window->tabBaseCaption(1), QStringLiteral("Inputs"));
        r.alarms = 0;
        r.inputs = 0;
        r.tick(4);  // the live request already out was answered with the old bits
        QCOMPARE(r.text("lblalarms"), QStringLiteral("Active alarms: 0"));
        QCOMPARE(r.tab(0), QStringLiteral("Alarms and states"));
        QCOMPARE(r.journal.count(JournalKind::AlarmCleared), 1);
    }

    // A port that opens but never answers (a COM1 with nothing on it), chosen in the port dialog,
    // which shows it linked at once: it was never reached, so no link was lost.
    void aPortThatNeverAnsweredIsNotReachedYet() {
        Rig r;
        r.silent = true;
        r.tick();  // the port is open
        r.window->poll().setConnectionIndicator(7);
        r.window->poll().setPollState(1);
        r.tick(8);
        QCOMPARE(r.text("lbllink"), QStringLiteral("Not yet linked"));
        QCOMPARE(r.journal.count(JournalKind::LinkLost), 0);
    }

    void anOwnLimitCrossedMarksItsValue() {
        Rig r;
        aware::WatchLimit battery;
        battery.controller = QStringLiteral("Pump house");
        battery.panel = QStringLiteral("pnl17");
        battery.low = 23.0;  // the controller answers 0.0 V
        r.awareness->setWatchLimits({battery});
        const QColor plain = r.window->panel("pnl11")->palette().color(QPalette::Window);
        r.tick(4);
        QVERIFY(r.window->panelWarned("pnl17"));
        QVERIFY(!r.window->panelWarned("pnl11"));
        QVERIFY(r.window->panel("pnl17")->palette().color(QPalette::Window) != plain);
        QCOMPARE(r.window->panel("pnl11")->palette().color(QPalette::Window), plain);
        QVERIFY(r.text("lblalarms").contains(QStringLiteral("Own limits: 1")));
        // No alarm of the controller's: the count is not drawn as one (red), but as a warning.
        QVERIFY(r.text("lblalarms").startsWith(QStringLiteral("Active alarms: 0")));
        const QString style = r.window->findChild<QLabel*>("lblalarms")->styleSheet();
        QVERIFY2(!style.contains("#b3261e") && style.contains("#8a5300"), qPrintable(style));
        // The value back inside: the mark goes.
        r.awareness->setWatchLimits({});
        r.tick(2);
        QVERIFY(!r.window->panelWarned("pnl17"));
        QCOMPARE(r.window->panel("pnl17")->palette().color(QPalette::Window), plain);
    }
};

QTEST_MAIN(TestStatusStrip)
#include "tst_statusStrip.moc"
