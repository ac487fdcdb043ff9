// End to end against the virtual controller in-process behind the fake port: an alarm raised on the
// simulator's console reaches the journal in kalde.db, the status strip's count and a notification
// request; pulling the controller is a lost link there. Ticks are driven by hand on the fake clock.
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include "AwareSupport.h"
#include "ScriptedPrompter.h"
#include "SimPort.h"
#include "app/MainWindow.h"
#include "aware/Awareness.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/JournalStore.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;
using history::JournalKind;

class TestAwareSim : public QObject {
    Q_OBJECT
private slots:
    void alarmInTheSimulatorIsJournalledCountedAndNotified() {
        QTemporaryDir dir;
        QVERIFY(test::copyCatalogue(dir.path()));
        const QString device = dir.filePath("controller");
        config::Config config(dir.path());
        config.wriniBatch("system.ini", {{"Set", "language", "English"},
                                         {"Set", "flash", "2"},
                                         {"Set", "ports", "1"},
                                         {"Set", "port0", device},
                                         {"Set", "remark0", "Sim set"}});
        config::LiveSettings settings;
        settings.load(config);
        config::Messages messages(config, settings);
        test::SimPort sim(test::SimPort::Stopped);
        test::FakeClock& clock = sim.clock;
        test::FakeSleeper sleeper(&clock);
        test::ScriptedPrompter prompter;
        test::RecordingNotifier notifier;
        history::JournalStore journal(history::HistoryLocation::sqliteFile(dir.filePath("kalde.db")), clock);
        QVERIFY2(journal.open(), qPrintable(journal.lastError()));

        app::MainWindow window(config, settings, messages, sim.port, sleeper, clock, prompter);
        window.poll().stopTimer();
        aware::Awareness awareness(clock, config, settings, journal, notifier);
        awareness.setStatusView(&window);
        window.poll().setHistorySink(&awareness);
        auto tick = [&] {
            clock.advanceSecs(1);
            window.poll().tick();
            awareness.afterTickOf(window.poll());
        };
        auto label = [&window](const char* name) { return window.findChild<QLabel*>(name)->text(); };

        for (int i = 0; i < 4; ++i) tick();
        QCOMPARE(label("lbllink"), QStringLiteral("Linked"));
        QCOMPARE(label("lblalarms"), QStringLiteral("Active alarms: 0"));
        QVERIFY(journal.events({}).isEmpty());

        QVERIFY(sim.command(QStringLiteral("alarm on")));  // emergency stop: alarm bits 7 and 0
        for (int i = 0; i < 4 && awareness.status().alarms == 0; ++i) tick();
        QCOMPARE(label("lblalarms"), QStringLiteral("Active alarms: 2"));
        history::JournalFilter raised;
        raised.kind = JournalKind::AlarmRaised;
        QStringList details;
        for (const history::JournalEvent& e : journal.events(raised)) {
            QCOMPARE(e.controller, QStringLiteral("Sim set"));
            details << e.detail;
        }
        details.sort();
        QCOMPARE(details, (QStringList{"zs1 Voltage / frequency fault", "zs9 Emergency stop"}));
        QCOMPARE(notifier.notes.size(), 2);
        QCOMPARE(notifier.notes[0].title, QStringLiteral("Sim set"));
        QVERIFY(
            notifier.notes[0].text.startsWith(QStringLiteral("Emergency stop at ")));  // bit 7 comes first
        QVERIFY(notifier.notes[1].text.startsWith(QStringLiteral("Voltage / frequency fault at ")));

        sim.unplug();  // the controller is pulled
        for (int i = 0; i < 3; ++i) tick();
        QVERIFY2(label("lbllink").startsWith(QStringLiteral("Link lost since ")),
                 qPrintable(label("lbllink")));
        QVERIFY(window.readingsStale());
        history::JournalFilter lost;
        lost.kind = JournalKind::LinkLost;
        QCOMPARE(journal.events(lost).size(), 1);
    }
};

QTEST_MAIN(TestAwareSim)
#include "tst_awareSim.moc"
