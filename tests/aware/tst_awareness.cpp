// Alarm edges per controller, notifications and their flood limit, link loss and return, the
// operator's own watch limits, and what the status strip is told.
#include <QTemporaryDir>
#include <QtTest>

#include "AwareSupport.h"
#include "FakeClock.h"
#include "aware/Awareness.h"
#include "aware/JournalExport.h"
#include "aware/JournalTexts.h"
#include "config/Config.h"
#include "config/LiveSettings.h"

using namespace tarsyn;
using history::JournalKind;
using test::aliveReply;

namespace {
// Alarm byte (0x001A): bit 7 emergency stop `zs9`, bit 0 voltage/frequency fault `zs1`.
constexpr quint8 kEmergencyStop = 0x80;
constexpr quint8 kVoltageFault = 0x01;
// State byte (0x001B): bit 6 overload `zs7`, an alarm; bit 1 automatic state `zs10`, not one.
constexpr quint8 kOverload = 0x40;
constexpr quint8 kAutomatic = 0x02;
}  // namespace

class TestAwareness : public QObject {
    Q_OBJECT

    struct Rig {
        QTemporaryDir dir;
        config::Config config{dir.path()};
        config::LiveSettings settings;
        test::FakeClock clock;
        test::RecordingJournal journal;
        test::RecordingNotifier notifier;
        std::unique_ptr<aware::Awareness> awareness;
        Rig() {
            test::copyCatalogue(dir.path());
            settings.setLanguage(QStringLiteral("English"));
            awareness = std::make_unique<aware::Awareness>(clock, config, settings, journal, notifier);
        }
        // One live reply of `controller` two seconds after the previous one, then the tick's end.
        void reply(const QString& reply, const QString& controller = QStringLiteral("Set A")) {
            clock.advanceSecs(2);
            awareness->recordLiveReply(reply, controller);
            awareness->afterTick({controller, reply.size() >= 104, false, false});
        }
    };

private slots:
    void aRisingBitIsRaisedOnceASteadyBitNothingAFallingBitCleared() {
        Rig r;
        r.reply(aliveReply(0));
        QVERIFY(r.journal.entries.isEmpty());
        r.reply(aliveReply(kEmergencyStop));
        QCOMPARE(r.journal.entries.size(), 1);
        QCOMPARE(r.journal.entries[0].kind, JournalKind::AlarmRaised);
        QCOMPARE(r.journal.entries[0].controller, QStringLiteral("Set A"));
        QCOMPARE(r.journal.entries[0].detail, QStringLiteral("zs9 Emergency stop"));
        QCOMPARE(r.journal.entries[0].data, aware::alarmData(QStringLiteral("zs9")));  // said in any language
        QCOMPARE(r.notifier.notes.size(), 1);
        QCOMPARE(r.notifier.notes[0].title, QStringLiteral("Set A"));
        QCOMPARE(r.notifier.notes[0].text, QStringLiteral("Emergency stop at 12:00:04"));
        for (int i = 0; i < 5; ++i) r.reply(aliveReply(kEmergencyStop));
        QCOMPARE(r.journal.entries.size(), 1);
        QCOMPARE(r.notifier.notes.size(), 1);
        r.reply(aliveReply(0));
        QCOMPARE(r.journal.entries.size(), 2);
        QCOMPARE(r.journal.entries[1].kind, JournalKind::AlarmCleared);
        QCOMPARE(r.journal.entries[1].detail, QStringLiteral("zs9 Emergency stop"));
        QCOMPARE(r.notifier.notes.size(), 1);  // a clearing is journalled, not notified
    }

    // An alarm on at a controller's first reply was on before the program looked: "active at start",
    // never "raised"; a later rise of another alarm is raised as usual.
    void anAlarmOnAtTheFirstReplyIsActiveAtStart() {
        Rig r;
        r.reply(aliveReply(kEmergencyStop));
        QCOMPARE(r.journal.entries.size(), 1);
        QCOMPARE(r.journal.entries[0].kind, JournalKind::AlarmActiveAtStart);
        QCOMPARE(r.journal.entries[0].detail, QStringLiteral("zs9 Emergency stop"));
        r.reply(aliveReply(kEmergencyStop | kVoltageFault));
        QCOMPARE(r.journal.entries.size(), 2);
        QCOMPARE(r.journal.entries[1].kind, JournalKind::AlarmRaised);
        QCOMPARE(r.journal.count(JournalKind::AlarmRaised), 1);
    }

    void onlyTheAlarmIndicatorsCountOverloadIncluded() {
        Rig r;
        r.reply(aliveReply(kVoltageFault, kOverload | kAutomatic));
        QCOMPARE(r.journal.entries.size(), 2);
        QCOMPARE(r.journal.entries[0].detail.section(' ', 0, 0), QStringLiteral("zs1"));
        QCOMPARE(r.journal.entries[1].detail.section(' ', 0, 0), QStringLiteral("zs7"));
        QCOMPARE(r.awareness->status().alarms, 2);
    }

    void eachControllerHasItsOwnEdges() {
        Rig r;
        r.reply(aliveReply(kEmergencyStop), QStringLiteral("Set A"));
        r.reply(aliveReply(0), QStringLiteral("Set B"));  // B never had it: no clearing for A
        r.reply(aliveReply(kEmergencyStop), QStringLiteral("Set A"));
        QCOMPARE(r.journal.entries.size(), 1);
        r.reply(aliveReply(kEmergencyStop), QStringLiteral("Set B"));
        QCOMPARE(r.journal.entries.size(), 2);
        QCOMPARE(r.journal.entries[1].controller, QStringLiteral("Set B"));
        QCOMPARE(r.notifier.notes.size(), 2);
    }

    void shortOrBrokenRepliesChangeNothing() {
        Rig r;
        r.reply(aliveReply(kEmergencyStop));
        r.reply(aliveReply(0).left(103));
        QString broken = aliveReply(0);
        broken.replace(46, 2, QStringLiteral("ZZ"));  // the alarm byte at position 47
        r.reply(broken);
        QCOMPARE(r.journal.count(JournalKind::AlarmActiveAtStart), 1);  // on at the first reply
        QCOMPARE(r.journal.count(JournalKind::AlarmCleared), 0);
        QCOMPARE(r.awareness->status().alarms, 1);
    }

    void aFlappingBitNotifiesOnceButJournalsEveryEdge() {
        Rig r;
        for (int i = 0; i < 10; ++i) {  // ten rises and falls within 40 s
            r.reply(aliveReply(kEmergencyStop));
            r.reply(aliveReply(0));
        }
        // The first was on at the controller's first reply: active at start, then nine rises.
        QCOMPARE(r.journal.count(JournalKind::AlarmActiveAtStart), 1);
        QCOMPARE(r.journal.count(JournalKind::AlarmRaised), 9);
        QCOMPARE(r.journal.count(JournalKind::AlarmCleared), 10);
        QCOMPARE(r.notifier.notes.size(), 1);
        // After the quiet period the next rise notifies again, with the repeats held back.
        r.clock.advanceSecs(aware::NotifyLimiter::kQuietSeconds);
        r.reply(aliveReply(kEmergencyStop));
        QCOMPARE(r.notifier.notes.size(), 2);
        QVERIFY2(r.notifier.notes[1].text.endsWith(QStringLiteral("(repeated 9 times)")),
                 qPrintable(r.notifier.notes[1].text));
        // Another alarm of the same controller is not held back by the first one's period.
        r.reply(aliveReply(kEmergencyStop | kVoltageFault));
        QCOMPARE(r.notifier.notes.size(), 3);
    }

    void linkLossAndReturnWriteOneEventEachAndTheStaleStateFollows() {
        Rig r;
        QCOMPARE(r.awareness->status().linkText, QStringLiteral("Not yet linked"));
        r.reply(aliveReply(0));
        QVERIFY(!r.awareness->status().stale);
        QCOMPARE(r.awareness->status().linkText, QStringLiteral("Linked"));
        QCOMPARE(r.awareness->status().lastReplyText, QStringLiteral("Last reading 12:00:02"));
        QVERIFY(r.journal.entries.isEmpty());  // the first link is no return
        for (int i = 0; i < 3; ++i) {
            r.clock.advanceSecs(1);
            r.awareness->afterTick({QStringLiteral("Set A"), false, false, false});
        }
        QCOMPARE(r.journal.count(JournalKind::LinkLost), 1);
        const aware::AwarenessStatus lost = r.awareness->status();
        QVERIFY(lost.stale);
        QVERIFY(lost.linkWarning);
        QCOMPARE(lost.linkText, QStringLiteral("Link lost since 12:00:03"));
        QCOMPARE(lost.lastReplyText, QStringLiteral("Last reading 12:00:02"));
        r.reply(aliveReply(0));
        r.reply(aliveReply(0));
        QCOMPARE(r.journal.count(JournalKind::LinkRegained), 1);
        QCOMPARE(r.journal.entries.size(), 2);
        QVERIFY(!r.awareness->status().stale);
    }

    void rotatingToTheNextPortIsNoLoss() {
        Rig r;
        r.reply(aliveReply(0), QStringLiteral("Set A"));
        // The rotation tick closes A's port and opens B's: not linked, connection step ran.
        r.awareness->afterTick({QStringLiteral("Set B"), false, true, true});
        r.reply(aliveReply(0), QStringLiteral("Set B"));
        r.awareness->afterTick({QStringLiteral("Set A"), false, true, true});
        // Back on A before its answer: still linked, and not drawn as a warning.
        QCOMPARE(r.awareness->status().linkText, QStringLiteral("Linked"));
        QVERIFY(!r.awareness->status().linkWarning);
        r.reply(aliveReply(0), QStringLiteral("Set A"));
        QVERIFY(r.journal.entries.isEmpty());
        // B stops answering after a rotation: that is a loss of B.
        r.awareness->afterTick({QStringLiteral("Set B"), false, true, true});
        r.awareness->afterTick({QStringLiteral("Set B"), false, true, false});
        QCOMPARE(r.journal.count(JournalKind::LinkLost), 1);
        QCOMPARE(r.journal.entries[0].controller, QStringLiteral("Set B"));
    }

    void aWatchLimitFiresOnlyAfterItsHoldAndClearsOnlyPastItsBand() {
        Rig r;
        aware::WatchLimit battery;
        battery.controller = QStringLiteral("Set A");
        battery.panel = QStringLiteral("pnl17");  // battery voltage, tenths of a volt
        battery.low = 23.0;
        battery.holdSeconds = 30;
        battery.band = 0.5;
        r.awareness->setWatchLimits({battery});
        auto volts = [&r](int tenths, int seconds) {
            r.clock.advanceSecs(seconds);
            r.awareness->recordLiveReply(aliveReply(0, 0, quint16(tenths)), QStringLiteral("Set A"));
            r.awareness->afterTick({QStringLiteral("Set A"), true, false, false});
        };
        volts(240, 0);
        volts(228, 0);  // below from here
        volts(228, 20);
        volts(231, 2);  // back above for a moment: the hold starts again
        volts(229, 2);
        volts(229, 29);  // 29 s below: not yet
        QCOMPARE(r.journal.entries.size(), 0);
        volts(229, 1);  // 30 s
        QCOMPARE(r.journal.count(JournalKind::WatchRaised), 1);
        QCOMPARE(r.journal.entries[0].detail,
                 QStringLiteral("pnl17 Own limit: Battery voltage below 23 (22.9)"));
        QCOMPARE(r.journal.entries[0].data, aware::watchData(QStringLiteral("pnl17"), true, 23, 22.9));
        QCOMPARE(r.notifier.notes.size(), 1);
        QVERIFY(r.notifier.notes[0].text.startsWith(QStringLiteral("Own limit: Battery voltage below 23")));
        QCOMPARE(r.awareness->status().ownWarnings, 1);
        volts(234, 10);  // above the limit, inside the band: still on
        volts(235, 10);  // at the band's edge: still on
        QCOMPARE(r.journal.entries.size(), 1);
        volts(236, 2);  // past 23.5
        QCOMPARE(r.journal.count(JournalKind::WatchCleared), 1);
        QCOMPARE(r.awareness->status().ownWarnings, 0);
        // Another controller's battery does not touch Set A's limit.
        r.awareness->recordLiveReply(aliveReply(0, 0, 100), QStringLiteral("Set B"));
        r.clock.advanceSecs(60);
        r.awareness->recordLiveReply(aliveReply(0, 0, 100), QStringLiteral("Set B"));
        QCOMPARE(r.journal.entries.size(), 2);
    }

    void aHighLimitWithoutHoldFiresAtOnce() {
        Rig r;
        aware::WatchLimit water;
        water.controller = QStringLiteral("Set A");
        water.panel = QStringLiteral("pnl17");
        water.high = 28.0;
        water.band = 1.0;
        r.awareness->setWatchLimits({water});
        r.awareness->recordLiveReply(aliveReply(0, 0, 281), QStringLiteral("Set A"));
        QCOMPARE(r.journal.count(JournalKind::WatchRaised), 1);
        r.awareness->recordLiveReply(aliveReply(0, 0, 275), QStringLiteral("Set A"));
        QCOMPARE(r.journal.count(JournalKind::WatchCleared), 0);
        r.awareness->recordLiveReply(aliveReply(0, 0, 269), QStringLiteral("Set A"));
        QCOMPARE(r.journal.count(JournalKind::WatchCleared), 1);
    }

    // Rows a hand or an older version left in system.ini with a number no set can show are not
    // watched: a low battery limit of 1e+300 would be crossed by every reading.
    void watchLimitsOutsideTheValuesRangeAreNotLoaded() {
        Rig r;
        QList<config::IniEntry> rows{{"Watch", "limits", "5"}};
        const char* cells[][4] = {
            {"pnl17", "1e+300", "", "0"},  // battery low beyond any battery
            {"pnl17", "", "-5", "0"},      // negative high
            {"pnl33", "0.8", "", "2"},     // power factor band wider than 0..1
            {"pnl17", "nan", "", "0"},     // not a value at all
            {"pnl17", "22.5", "", "0.5"},  // a real limit
        };
        for (int i = 0; i < 5; ++i) {
            const QString n = QString::number(i);
            rows << config::IniEntry{"Watch", "remark" + n, "Set A"}
                 << config::IniEntry{"Watch", "value" + n, cells[i][0]}
                 << config::IniEntry{"Watch", "low" + n, cells[i][1]}
                 << config::IniEntry{"Watch", "high" + n, cells[i][2]}
                 << config::IniEntry{"Watch", "band" + n, cells[i][3]};
        }
        r.config.wriniBatch(QStringLiteral("system.ini"), rows);
        const QVector<aware::WatchLimit> loaded = aware::LoadWatchLimits(r.config);
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(loaded[0].low, std::optional<double>(22.5));
        QCOMPARE(aware::WatchRange(QStringLiteral("pnl17"))->high, 60.0);
        QVERIFY(!aware::WatchRange(QStringLiteral("pnl41")));  // a delay, not a watchable value
    }

    void watchLimitsRoundTripThroughSystemIniOutsideSet() {
        Rig r;
        r.config.wrini(QStringLiteral("system.ini"), QStringLiteral("Set"), QStringLiteral("jzm"),
                       QStringLiteral("3CA"));
        aware::WatchLimit a;
        a.controller = QStringLiteral("Set A");
        a.panel = QStringLiteral("pnl17");
        a.low = 23.0;
        a.holdSeconds = 30;
        a.band = 0.5;
        aware::WatchLimit b;
        b.controller = QStringLiteral("泵房 2");
        b.panel = QStringLiteral("pnl24");
        b.high = 95;
        aware::SaveWatchLimits(r.config, {a, b});
        QCOMPARE(aware::LoadWatchLimits(r.config), (QVector<aware::WatchLimit>{a, b}));
        QCOMPARE(
            r.config.reini(QStringLiteral("system.ini"), QStringLiteral("Watch"), QStringLiteral("high0")),
            QString());
        QCOMPARE(r.config.reini(QStringLiteral("system.ini"), QStringLiteral("Set"), QStringLiteral("jzm")),
                 QStringLiteral("3CA"));
    }

    void repliesGoOnToTheRecorderUnchanged() {
        struct Sink : monitor::HistorySink {
            QStringList got;
            void recordLiveReply(const QString& reply, const QString& remark) override {
                got << remark + reply;
            }
        } sink;
        Rig r;
        r.awareness->setNext(&sink);
        const QString reply = aliveReply(kEmergencyStop);
        r.awareness->recordLiveReply(reply, QStringLiteral(" Set A "));
        r.awareness->recordLiveReply(reply.left(50), QStringLiteral(" Set A "));
        QCOMPARE(sink.got, (QStringList{" Set A " + reply, " Set A " + reply.left(50)}));
    }

    void alarmCountSaysSoInTheStatus() {
        Rig r;
        r.reply(aliveReply(kEmergencyStop | kVoltageFault));
        QCOMPARE(r.awareness->status().alarmText, QStringLiteral("Active alarms: 2"));
        QVERIFY(r.awareness->status().alarmsKnown);
    }

    void withoutALinkTheAlarmStateIsUnknown() {
        // Neither "0" nor the count before the loss: the controller may have raised or cleared anything.
        Rig r;
        QCOMPARE(r.awareness->status().alarmText, QStringLiteral("Alarm state unknown (no link)"));
        r.reply(aliveReply(kEmergencyStop));
        QCOMPARE(r.awareness->status().alarmText, QStringLiteral("Active alarms: 1"));
        r.clock.advanceSecs(1);
        r.awareness->afterTick({QStringLiteral("Set A"), false, false, false});
        const aware::AwarenessStatus lost = r.awareness->status();
        QVERIFY(!lost.alarmsKnown);
        QCOMPARE(lost.alarmText, QStringLiteral("Alarm state unknown (no link)"));
        QVERIFY(lost.warnedPanels.isEmpty());
        r.reply(aliveReply(0));
        QCOMPARE(r.awareness->status().alarmText, QStringLiteral("Active alarms: 0"));
    }

    void journalDetailsReadAsTheOperatorSeesThem_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("objects");
        QTest::newRow("alarm") << "zs9 Emergency stop"
                               << "Emergency stop"
                               << "zs9";
        QTest::newRow("own limit") << "pnl17 Own limit: Battery voltage below 23 (22.8)"
                                   << "Own limit: Battery voltage below 23 (22.8)"
                                   << "pnl17";
        QTest::newRow("command") << "Auto (dport4, 00050001020102)"
                                 << "Auto (00050001020102)"
                                 << "dport4";
        QTest::newRow("calibration") << "Calibrate the battery voltage = 24.5 (btn17, 0006002E00F5)"
                                     << "Calibrate the battery voltage = 24.5 (0006002E00F5)"
                                     << "btn17";
        QTest::newRow("page write")
            << "Sensor curves (TForm7), block 1: Sensor (rbsd1): 0 → 1; Curve 3 (edtqx3): 10 → 12"
            << "Sensor curves, block 1: Sensor: 0 → 1; Curve 3: 10 → 12"
            << "TForm7 rbsd1 edtqx3";
        QTest::newRow("SMS page") << "SMS settings (Tgsm), block 2: Phone 1 = 13800000000"
                                  << "SMS settings, block 2: Phone 1 = 13800000000"
                                  << "Tgsm";
        QTest::newRow("no names") << "attempt 2"
                                  << "attempt 2"
                                  << "";
        QTest::newRow("settings") << "language=English flash=6 save1=60 save2=10 ports=2"
                                  << "language=English flash=6 save1=60 save2=10 ports=2"
                                  << "";
    }
    void journalDetailsReadAsTheOperatorSeesThem() {
        QFETCH(QString, stored);
        QFETCH(QString, text);
        QFETCH(QString, objects);
        const aware::JournalDetail d = aware::SplitJournalDetail(stored);
        QCOMPARE(d.text, text);
        QCOMPARE(d.objects, objects);
    }
};

QTEST_GUILESS_MAIN(TestAwareness)
#include "tst_awareness.moc"
