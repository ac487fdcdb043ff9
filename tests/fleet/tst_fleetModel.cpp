// The fleet model against simulated controllers in rotation: several virtual controllers answer
// in-process on ports of their own behind one fake port, the station walks them, the clock is fake.
#include <QtTest>

#include "SimFleet.h"
#include "app/FleetPortTarget.h"
#include "app/PortDialog.h"
#include "app/core/PortSelection.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "fleet/FleetModel.h"
#include "station/Station.h"

using namespace tarsyn;
using fleet::FleetModel;
using fleet::Severity;

namespace {

// Three sets, visited in turn every three seconds: a visit is three ticks (open and delay request,
// delay reply, live reply; the 300 ms after each open make the fourth the next rotation), a round nine.
constexpr int kRoundTicks = 9;

struct Rig {
    explicit Rig(int sets = 3) : sims(sets) {
        QFile::copy(qEnvironmentVariable("TARSYN_SOURCE_DIR") + "/data/English.lag",
                    dir.filePath("English.lag"));
        settings.setLanguage("English");
        settings.setRefreshText("3");
        settings.setPorts(sims.portList());
        model.relabel();
        model.reloadPorts();
        model.setTarget(&target);
        station.subscribe(&model);
        station.poll().initialise(true);
        station.poll().setRotationMode(true);
        station.poll().startTimer();  // never fires: the ticks are called by hand
    }
    void tick() {
        sims.clock.advanceSecs(1);
        station.poll().tick();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    const fleet::FleetRow& rowOf(int set) {
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.row(r).port == test::SimFleet::portName(set)) return model.row(r);
        qFatal("no row for set %d", set);
    }
    int onScreen() { return station.poll().PortIndex(); }

    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::SimFleet sims;
    test::FakeSleeper sleeper{&sims.clock};
    station::Station station{sims.port, sleeper, sims.clock, settings, messages};
    FleetModel model{sims.clock, config, settings};
    app::PollCyclePortTarget portTarget{station.poll(), station.view(), messages};
    app::PortSelection selection{settings, portTarget};
    app::FleetPortTarget target{station.poll(), selection};
};

}  // namespace

class TestFleetModel : public QObject {
    Q_OBJECT
private slots:
    void aRowPerControllerFromTheRotation() {
        Rig rig;
        QCOMPARE(rig.model.rowCount(), 3);
        for (int set = 0; set < 3; ++set) QVERIFY(rig.rowOf(set).stale);  // nothing read yet
        rig.ticks(kRoundTicks + 1);
        for (int r = 0; r < 3; ++r) {
            const fleet::FleetRow& row = rig.model.row(r);
            // All normal: the port list's order.
            QCOMPARE(row.port, test::SimFleet::portName(r));
            QCOMPARE(rig.model.cellText(row, FleetModel::RemarkColumn), QStringLiteral("Set %1").arg(r + 1));
            QVERIFY(row.lastReading.isValid());
            QVERIFY(!row.stale);
            QCOMPARE(row.severity, Severity::Normal);
            QCOMPARE(rig.model.cellText(row, FleetModel::EngineColumn), QStringLiteral("Running"));
            QCOMPARE(rig.model.cellText(row, FleetModel::AlarmsColumn), QStringLiteral("0"));
            QVERIFY(rig.model.cellText(row, FleetModel::VoltageColumn).toDouble() > 100);
            QVERIFY(rig.model.cellText(row, FleetModel::FrequencyColumn).contains('.'));
        }
        QCOMPARE(rig.model.headerData(FleetModel::VoltageColumn, Qt::Horizontal).toString(),
                 QStringLiteral("Generator voltage L1 (V)"));
    }

    void anAlarmOffScreenShowsWithinOneRound() {
        Rig rig;
        rig.ticks(kRoundTicks + 1);
        const int other = (rig.onScreen() + 2) % 3;  // the set visited last, furthest from its turn
        QVERIFY(rig.sims.command(other, "alarm on"));
        int ticks = 0;
        while (ticks < kRoundTicks && rig.rowOf(other).severity != Severity::Alarm) {
            rig.tick();
            ++ticks;
        }
        QVERIFY2(rig.rowOf(other).severity == Severity::Alarm, "no alarm within one round");
        QVERIFY(rig.onScreen() == other);
        // Alarm first, with the emergency stop named in the alarm count's tooltip.
        QCOMPARE(rig.model.row(0).port, test::SimFleet::portName(other));
        QCOMPARE(rig.model.cellText(rig.model.row(0), FleetModel::EngineColumn), QStringLiteral("Alarm"));
        const QString names =
            rig.model.data(rig.model.index(0, FleetModel::AlarmsColumn), Qt::ToolTipRole).toString();
        QVERIFY2(names.contains("Emergency stop"), qPrintable(names));
        QCOMPARE(rig.model.data(rig.model.index(0, FleetModel::AlarmsColumn)).toString(),
                 QString::number(rig.model.row(0).alarms.size()));
        QCOMPARE(rig.model.data(rig.model.index(0, 0), FleetModel::SeverityRole).toInt(),
                 int(Severity::Alarm));
    }

    void aSilentControllerIsLostThenStale() {
        Rig rig;
        rig.ticks(kRoundTicks + 1);
        const int silent = (rig.onScreen() + 1) % 3;  // visited next
        rig.sims.silence(silent);
        rig.ticks(6);  // its visit has begun and its first reply is missing
        const fleet::FleetRow& lost = rig.rowOf(silent);
        QCOMPARE(lost.link, aware::LinkWatch::State::Lost);
        QCOMPARE(lost.severity, Severity::LinkLost);
        QVERIFY(!lost.stale);
        QCOMPARE(rig.model.row(0).port, test::SimFleet::portName(silent));
        QVERIFY(rig.model.cellText(lost, FleetModel::LinkColumn).startsWith("Link lost since "));
        // Two rounds of the list at the refresh time (3 × 3 s, twice) after its last reading.
        QCOMPARE(rig.model.staleAfterSeconds(), 18);
        const QDateTime last = rig.rowOf(silent).lastReading;
        while (rig.sims.clock.now() <= last.addSecs(18)) {
            QVERIFY(!rig.rowOf(silent).stale);
            rig.tick();
        }
        QVERIFY(rig.rowOf(silent).stale);
        QCOMPARE(rig.rowOf(silent).severity, Severity::LinkLost);  // lost ranks above stale
        QVERIFY(rig.model.cellText(rig.rowOf(silent), FleetModel::ReadingColumn).contains(" old"));
        QVERIFY(rig.model.data(rig.model.index(0, 0), FleetModel::StaleRole).toBool());
        // The others, still answering, are neither.
        for (int set = 0; set < 3; ++set)
            if (set != silent) QCOMPARE(rig.rowOf(set).severity, Severity::Normal);
    }

    void sortedBySeverity() {
        // Four sets visited in turn: one goes into alarm, one silent, then the line stays on one of
        // the others and the last one's reading ages: alarm, lost, stale, normal.
        Rig rig(4);
        rig.ticks(13);  // every set read once
        for (int set = 0; set < 4; ++set) QCOMPARE(rig.rowOf(set).severity, Severity::Normal);
        rig.sims.command(3, "alarm on");
        rig.sims.silence(1);
        rig.ticks(12);
        QCOMPARE(rig.model.select(int(rig.model.rowCount()) - 1), FleetModel::Selection::Selected);
        const QString fixed = rig.sims.port.portName();
        const int last = fixed.mid(3).toInt();
        QVERIFY(last == 0 || last == 2);
        const int aging = 2 - last;  // of sets 0 and 2, the one not on screen
        rig.ticks(int(rig.model.staleAfterSeconds()) + 1);
        QCOMPARE(rig.rowOf(3).severity, Severity::Alarm);
        QCOMPARE(rig.rowOf(1).severity, Severity::LinkLost);
        QCOMPARE(rig.rowOf(aging).severity, Severity::Stale);
        QCOMPARE(rig.rowOf(last).severity, Severity::Normal);
        QStringList order;
        for (int r = 0; r < rig.model.rowCount(); ++r) order << rig.model.row(r).port;
        QCOMPARE(order, (QStringList{"sim3", "sim1", test::SimFleet::portName(aging), fixed}));
    }

    void selectingPutsTheSetOnScreen() {
        Rig rig;
        rig.ticks(kRoundTicks + 1);
        const int wanted = (rig.onScreen() + 1) % 3;
        int row = 0;
        while (rig.model.row(row).port != test::SimFleet::portName(wanted)) ++row;
        QCOMPARE(rig.model.select(row), FleetModel::Selection::Selected);
        // As the port dialog's "指定": that entry, fixed mode, a fresh request.
        QCOMPARE(rig.station.poll().PortIndex(), wanted);
        QVERIFY(!rig.station.poll().RotationMode());
        QCOMPARE(rig.sims.port.portName(), test::SimFleet::portName(wanted));
        QCOMPARE(rig.station.view().remarkText(), QStringLiteral("Set %1").arg(wanted + 1));
        rig.ticks(3);
        QVERIFY(rig.station.poll().linked());
        QCOMPARE(rig.station.poll().PortIndex(), wanted);
    }

    void selectingIsRefusedWhileTheLineIsBusyOrTheRowIsAnotherSites() {
        Rig rig;
        rig.ticks(kRoundTicks + 1);
        const int before = rig.onScreen();
        // Another exchange stopped the poll to use the line (a page read, a command).
        rig.station.poll().stopPolling();
        QCOMPARE(rig.model.select(0), FleetModel::Selection::Busy);
        QVERIFY(!rig.model.refusalText(FleetModel::Selection::Busy).isEmpty());
        QCOMPARE(rig.onScreen(), before);
        QVERIFY(rig.station.poll().RotationMode());
        rig.station.poll().resumePolling();

        fleet::FleetRow remote;
        remote.site = QStringLiteral("north");
        remote.port = QStringLiteral("COM1");
        remote.remark = QStringLiteral("Pump house");
        rig.model.setRemoteRows({remote});
        QCOMPARE(rig.model.rowCount(), 4);
        int row = 0;
        while (!rig.model.row(row).remote()) ++row;
        QCOMPARE(rig.model.cellText(rig.model.row(row), FleetModel::RemarkColumn),
                 QStringLiteral("north / Pump house"));
        QCOMPARE(rig.model.select(row), FleetModel::Selection::ReadOnly);
        QCOMPARE(rig.onScreen(), before);
        QVERIFY(rig.station.poll().RotationMode());
        QCOMPARE(rig.model.select(99), FleetModel::Selection::NoRow);
    }

    // At a refresh time of 1 s the rotation stays on each set until it has both blocks (three
    // ticks) and on a silent one until it gives up (five): a set that answers is read every round
    // and never shown as stale, however many of the others are silent.
    void aShortRefreshReadsEverySetAndNoneAnsweringGoesStale() {
        Rig rig(4);
        rig.settings.setRefreshText("1");
        for (int set = 1; set < 4; ++set) rig.sims.silence(set);
        rig.ticks(3 + 3 * 5 + 1);  // the first round: set 0 read
        QVERIFY(rig.rowOf(0).lastReading.isValid());
        for (int t = 0; t < 4 * (3 + 3 * 5); ++t) {
            rig.tick();
            QVERIFY2(!rig.rowOf(0).stale, qPrintable(QString::number(t)));
        }
        for (int set = 1; set < 4; ++set) QVERIFY(!rig.rowOf(set).lastReading.isValid());
    }
};

QTEST_MAIN(TestFleetModel)
#include "tst_fleetModel.moc"
