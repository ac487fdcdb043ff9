// The fleet window and the link diagnostics window offscreen: the fleet of six sets drawn with one in
// alarm and one stale (texts and colours read from the picture), the selection by double-click and
// Enter; the diagnostics window's log, pause, filter, export and counters on a line with garbage.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimPort.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "fleet/FleetModel.h"
#include "fleet/FrameLog.h"
#include "fleet/ui/DiagnosticsWindow.h"
#include "fleet/ui/FleetWindow.h"
#include "link/Codec.h"
#include "station/Station.h"

using namespace tarsyn;
using fleet::FleetModel;
using fleet::ui::FleetColours;

namespace {

// A live reply: generator voltage L1 230 V (0x0024), current L1 52 A (0x001E), power 41.5 kW (0x0014,
// tenths), battery 24.6 V (0x0030, tenths), generator frequency 50.0 Hz (0x0032, tenths), the state
// byte (0x001B) supplying, and the alarm byte (0x001A) as given.
QString liveReply(quint8 alarms) {
    QByteArray data(48, '\0');
    const auto word = [&data](int address, quint16 v) {
        data[address - 6] = char(v >> 8);
        data[address - 5] = char(v & 0xFF);
    };
    word(0x0024, 230);
    word(0x001E, 52);
    word(0x0014, 415);
    word(0x0030, 246);
    word(0x0032, 500);
    data[0x1A - 6] = char(alarms);
    data[0x1B - 6] = char(0x10);
    return link::BuildFrame(QStringLiteral("000430") + QString::fromLatin1(data.toHex().toUpper()));
}

class RecordingTarget : public fleet::FleetTarget {
public:
    bool lineBusy() const override { return busy; }
    void selectEntry(int entry, const QString& port) override {
        selected << QStringLiteral("%1 %2").arg(entry).arg(port);
    }
    bool busy = false;
    QStringList selected;
};

struct Catalogue {
    Catalogue() {
        QFile::copy(qEnvironmentVariable("TARSYN_SOURCE_DIR") + "/data/English.lag",
                    dir.filePath("English.lag"));
        settings.setLanguage("English");
    }
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::ScriptedPrompter prompter;
};

// The darkest grey of a rectangle of the picture (text is the darkest thing in a cell).
int darkest(const QImage& image, const QRect& r) {
    int dark = 255;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) dark = std::min(dark, qGray(image.pixel(x, y)));
    return dark;
}

}  // namespace

class TestFleetWindows : public QObject {
    Q_OBJECT
private slots:
    void fleetOfSixWithAnAlarmAndAStaleSet() {
        Catalogue c;
        c.settings.setRefreshText("5");
        QVector<config::PortEntry> ports;
        for (int i = 0; i < 6; ++i)
            ports.append({QStringLiteral("COM%1").arg(i + 1), QStringLiteral("Set %1").arg(i + 1), {}});
        c.settings.setPorts(ports);
        test::FakeClock clock;
        FleetModel model(clock, c.config, c.settings);
        RecordingTarget target;
        model.setTarget(&target);
        // Set 3 read a whole minute before the others (stale after 2 × 6 × 5 s), set 5 in alarm.
        for (int i : {2, 0, 1, 3, 4, 5}) {
            monitor::LiveReading r = monitor::LiveReadingOf(liveReply(i == 4 ? 0x81 : 0));
            r.port = ports[i].port;
            r.remark = ports[i].remark;
            r.time = clock.now();
            r.linked = true;
            model.readingArrived(r, monitor::ReplyBlock::Live, QString());
            monitor::TickEnd end;
            end.port = r.port;
            end.linked = true;
            end.rotation = true;
            end.time = clock.now();
            model.tickEnded(end);
            if (i == 2) clock.advanceSecs(60);
        }
        QCOMPARE(model.staleAfterSeconds(), 60);
        clock.advanceSecs(1);
        monitor::TickEnd later;
        later.port = QStringLiteral("COM6");
        later.linked = true;
        later.rotation = true;
        later.time = clock.now();
        model.tickEnded(later);

        fleet::ui::FleetWindow window(model, c.config, c.settings, c.messages, c.prompter);
        window.resize(1000, 360);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Fleet overview"));
        QTableView* table = window.table();
        table->clearSelection();
        table->setCurrentIndex({});
        QCOMPARE(table->model()->rowCount(), 6);
        // Alarm first, then the stale set, then the others in the port list's order.
        QStringList remarks;
        for (int r = 0; r < 6; ++r)
            remarks << table->model()->index(r, FleetModel::RemarkColumn).data().toString();
        QCOMPARE(remarks, (QStringList{"Set 5", "Set 3", "Set 1", "Set 2", "Set 4", "Set 6"}));
        const auto text = [table](int row, int column) {
            return table->model()->index(row, column).data().toString();
        };
        QCOMPARE(text(2, FleetModel::VoltageColumn), QStringLiteral("230"));
        QCOMPARE(text(2, FleetModel::CurrentColumn), QStringLiteral("52"));
        QCOMPARE(text(2, FleetModel::FrequencyColumn), QStringLiteral("50.0"));
        QCOMPARE(text(2, FleetModel::PowerColumn), QStringLiteral("41.5"));
        QCOMPARE(text(2, FleetModel::BatteryColumn), QStringLiteral("24.6"));
        QCOMPARE(text(2, FleetModel::EngineColumn), QStringLiteral("Running"));
        QCOMPARE(text(0, FleetModel::EngineColumn), QStringLiteral("Alarm"));
        QCOMPARE(text(0, FleetModel::AlarmsColumn), QStringLiteral("2"));
        QCOMPARE(table->model()->index(0, FleetModel::AlarmsColumn).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Voltage / frequency fault\nEmergency stop"));
        QCOMPARE(text(1, FleetModel::ReadingColumn), QStringLiteral("12:00:00, 61 s old"));
        QCOMPARE(text(2, FleetModel::ReadingColumn), QStringLiteral("12:01:00"));
        QCOMPARE(text(2, FleetModel::LinkColumn), QStringLiteral("Linked since 12:01:00"));

        // The picture: the alarm row on red, the stale row in grey letters, the others black on white.
        const QImage picture = window.grab().toImage();
        QVERIFY(picture.width() <= 1024);
        const auto cell = [&](int row, int column) {
            const QRect r = table->visualRect(table->model()->index(row, column));
            return QRect(table->viewport()->mapTo(&window, r.topLeft()), r.size()).adjusted(1, 1, -1, -1);
        };
        const QColor alarmCorner = picture.pixelColor(cell(0, FleetModel::PortColumn).topLeft());
        QCOMPARE(alarmCorner, FleetColours::kAlarmBackground);
        const QColor normalCorner = picture.pixelColor(cell(2, FleetModel::PortColumn).topLeft());
        QVERIFY2(qGray(normalCorner.rgb()) > 240, qPrintable(normalCorner.name()));
        const int staleInk = darkest(picture, cell(1, FleetModel::RemarkColumn));
        const int normalInk = darkest(picture, cell(2, FleetModel::RemarkColumn));
        QVERIFY2(normalInk < 80, qPrintable(QString::number(normalInk)));
        QVERIFY2(staleInk >= qGray(FleetColours::kStaleText.rgb()) - 10 && staleInk < 200,
                 qPrintable(QString::number(staleInk)));

        // Double-click and Enter select through the target; a busy line refuses with a box.
        const QPoint third = table->visualRect(table->model()->index(3, 0)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, third);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {},
                           table->visualRect(table->model()->index(3, 0)).center());
        QCOMPARE(target.selected, QStringList{"1 COM2"});
        table->setFocus();
        table->setCurrentIndex(table->model()->index(1, 0));
        QTest::keyClick(table, Qt::Key_Return);
        QCOMPARE(target.selected, (QStringList{"1 COM2", "2 COM3"}));
        target.busy = true;
        QTest::keyClick(table, Qt::Key_Enter);
        QCOMPARE(target.selected.size(), 2);
        QCOMPARE(c.prompter.of("info").size(), 1);
    }

    void windowsFitA1024By768Screen() {
        Catalogue c;
        test::FakeClock clock;
        FleetModel model(clock, c.config, c.settings);
        fleet::ui::FleetWindow fleetWindow(model, c.config, c.settings, c.messages, c.prompter);
        test::SimPort sim;
        test::FakeSleeper sleeper{&sim.clock};
        station::Station station(sim.port, sleeper, sim.clock, c.settings, c.messages);
        fleet::FrameLog log(c.config, c.settings);
        fleet::ui::DiagnosticsWindow diagnostics(
            station.meter(), log, [] { return QString(); }, c.config, c.settings, c.messages, c.prompter);
        for (QWidget* w : {static_cast<QWidget*>(&fleetWindow), static_cast<QWidget*>(&diagnostics)}) {
            QVERIFY2(w->size().width() <= 1024 && w->size().height() <= 700, w->objectName().toLatin1());
            QVERIFY(w->minimumSizeHint().width() <= 1024 && w->minimumSizeHint().height() <= 700);
        }
        // Every column of the overview on screen, the last one too, in both languages, with device
        // paths for ports: nothing scrolls out of sight to the right.
        c.settings.setPorts({{"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                              "Standby generator, hospital wing B",
                              {}},
                             {"COM1", "Genset 3", {}}});
        QVERIFY(QFile::copy(qEnvironmentVariable("TARSYN_SOURCE_DIR") + "/data/Chinese.lag",
                            c.dir.filePath("Chinese.lag")));
        for (const char* language : {"English", "Chinese"}) {
            c.settings.setLanguage(language);
            model.reloadPorts();
            fleetWindow.relabel();
            fleetWindow.show();
            QVERIFY(QTest::qWaitForWindowExposed(&fleetWindow));
            auto* table = fleetWindow.findChild<QTableView*>("tblfleet");
            int total = 0;
            for (int col = 0; col < table->model()->columnCount(); ++col) total += table->columnWidth(col);
            QVERIFY2(
                total <= table->viewport()->width(),
                qPrintable(QString("%1: %2 > %3").arg(language).arg(total).arg(table->viewport()->width())));
            fleetWindow.hide();
        }
    }

    void diagnosticsLogsAndCountsTheGarbage() {
        Catalogue c;
        c.settings.setRefreshText("6");
        c.settings.setPorts({{QStringLiteral("sim0"), QStringLiteral("Sim set"), {}}});
        test::SimPort sim;
        sim.port.setPortName("sim0");
        test::FakeSleeper sleeper{&sim.clock};
        station::Station station(sim.port, sleeper, sim.clock, c.settings, c.messages);
        station.poll().initialise(true);
        const auto ticks = [&](int n) {
            for (int i = 0; i < n; ++i) {
                sim.clock.advanceSecs(1);
                station.poll().tick();
            }
        };
        fleet::FrameLog log(c.config, c.settings);
        fleet::ui::DiagnosticsWindow window(
            station.meter(), log, [] { return QStringLiteral("sim0"); }, c.config, c.settings, c.messages,
            c.prompter);
        QVERIFY(sim.command("line garbage on"));
        ticks(2);
        QVERIFY(!log.attached());  // closed: nothing listens
        QCOMPARE(station.meter().frameListener(), nullptr);

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Link diagnostics"));
        QVERIFY(log.attached());
        ticks(4);
        QTableView* frames = window.frames();
        QCOMPARE(frames->model()->rowCount(), 8);  // four replies read, four requests written
        const auto text = [frames](int row, int column) {
            return frames->model()->index(row, column).data().toString();
        };
        QCOMPARE(text(0, fleet::FrameLog::DirectionColumn), QStringLiteral("Read"));
        QCOMPARE(text(0, fleet::FrameLog::VerdictColumn), QStringLiteral("Not hexadecimal"));
        QCOMPARE(text(0, fleet::FrameLog::DurationColumn), QStringLiteral("1000"));
        QCOMPARE(text(1, fleet::FrameLog::FrameColumn), QStringLiteral("00040036001624<CR><LF>"));
        QCOMPARE(text(1, fleet::FrameLog::KindColumn), QStringLiteral("Poll"));
        QCOMPARE(text(1, fleet::FrameLog::TimeColumn), QStringLiteral("12:00:03.000"));
        QCOMPARE(text(3, fleet::FrameLog::FrameColumn), QStringLiteral("00040006003032<CR><LF>"));

        // The counters count from the start, whether the window was open or not.
        window.refreshCounters();
        QTableWidget* counters = window.counters();
        QCOMPARE(counters->horizontalHeaderItem(5)->toolTip(), QStringLiteral("Non-hexadecimal replies"));
        QCOMPARE(counters->verticalHeaderItem(1)->text(), QStringLiteral("Last hour"));
        QCOMPARE(counters->item(0, 0)->text(), QStringLiteral("6"));  // requests since start
        QCOMPARE(counters->item(0, 1)->text(), QStringLiteral("0"));  // complete replies
        QCOMPARE(counters->item(0, 5)->text(), QStringLiteral("5"));
        QCOMPARE(counters->item(1, 5)->text(), QStringLiteral("5"));
        QCOMPARE(counters->item(0, 7)->text(), QStringLiteral("-"));  // no reply time without a reply

        // Paused: nothing more is kept; the poll hidden: its rows go.
        window.findChild<QPushButton*>("btnpause")->click();
        ticks(2);
        QCOMPARE(frames->model()->rowCount(), 8);
        QCOMPARE(window.findChild<QPushButton*>("btnpause")->text(), QStringLiteral("Resume"));
        window.findChild<QPushButton*>("btnpause")->click();
        ticks(1);
        QCOMPARE(frames->model()->rowCount(), 10);
        window.findChild<QCheckBox*>("chkpoll")->setChecked(false);
        QCOMPARE(frames->model()->rowCount(), 0);
        window.findChild<QCheckBox*>("chkpoll")->setChecked(true);
        QCOMPARE(frames->model()->rowCount(), 10);

        // The export: a header, then the rows as shown, with the day.
        const QString path = c.dir.filePath("frames.csv");
        window.setFileChooser([&path](QWidget*, const QString&) { return path; });
        window.exportCsv();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString csv = QString::fromUtf8(file.readAll());
        QCOMPARE(csv.count(QStringLiteral("\r\n")), 11);
        QVERIFY(csv.contains(QStringLiteral("Time,Port,Direction,Kind,Frame,Length,Check,Duration (ms)")));
        QVERIFY(
            csv.contains(QStringLiteral("2026-03-01 12:00:04.000,sim0,Sent,Poll,00040006003032<CR><LF>,,,")));

        window.hide();
        QCOMPARE(station.meter().frameListener(), nullptr);
        ticks(2);
        QCOMPARE(log.keptCount(), 10);
    }

    void theLogKeepsTheLast10000Frames() {
        Catalogue c;
        fleet::FrameLog log(c.config, c.settings);
        log.setKindShown(link::FrameKind::Page, false);
        link::FrameRecord f;
        for (int i = 0; i < fleet::FrameLog::kCapacity + 5; ++i) {
            f.kind = i % 2 ? link::FrameKind::Poll : link::FrameKind::Page;
            f.text = QString::number(i);
            log.frameSeen(f);
        }
        QCOMPARE(log.keptCount(), fleet::FrameLog::kCapacity);
        QCOMPARE(log.rowCount(), fleet::FrameLog::kCapacity / 2);
        QCOMPARE(log.frame(0).text, QStringLiteral("5"));  // frames 0 to 4 are gone, 5 is the first poll
        log.setKindShown(link::FrameKind::Page, true);
        QCOMPARE(log.rowCount(), fleet::FrameLog::kCapacity);
        QCOMPARE(log.frame(0).text, QStringLiteral("5"));
    }
};

QTEST_MAIN(TestFleetWindows)
#include "tst_fleetWindows.moc"
