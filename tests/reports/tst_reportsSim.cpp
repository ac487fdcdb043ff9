// End to end against the virtual controller in-process behind the fake port: the alarm history window
// lists and pages through the controller's log with the shipped catalogues' texts and exports it to
// CSV; the report window shows the controller's delays and indicators.
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "ProgramRig.h"
#include "SimPort.h"
#include "config/Config.h"
#include "link/ControllerLink.h"
#include "reports/AlarmCsv.h"
#include "reports/AlarmHistory.h"
#include "reports/ReportReader.h"
#include "reports/ui/AlarmHistoryWindow.h"
#include "reports/ui/ReportWindow.h"

using namespace tarsyn;

namespace {

/// The controller as `tarsyn-sim --alarm`: the factory 13 records and the emergency stop. Both
/// shipped catalogues, English in force.
struct SimFixture : test::ProgramRig {
    SimFixture() {
        useShippedCatalogue(QStringLiteral("Chinese"), QStringLiteral("Chinese"));
        useShippedCatalogue();
    }
    test::SimPort sim{test::SimPort::Alarm};
    test::FakeSleeper sleeper{&sim.clock};
    link::ControllerLink link{sim.port, sleeper};
    reports::MessageLookup lookup() {
        return [this](const QString& key) { return messages.text(key); };
    }
    reports::ui::WindowServices services() {
        reports::ui::WindowServices s;
        s.messages = lookup();
        s.prompter = &prompter;
        s.picturePath = dir.filePath(QStringLiteral("cx.bmp"));
        s.entryName = [] { return QStringLiteral("virtual controller"); };
        s.chooseCsv = [this](QWidget*) { return dir.filePath(QStringLiteral("alarms.csv")); };
        return s;
    }
};

QString cell(QTableWidget* list, int row, int column) {
    QTableWidgetItem* item = list->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
}

}  // namespace

class TestReportsSim : public QObject {
    Q_OBJECT
private slots:
    void alarmHistoryPagesThroughTheVirtualLog() {
        SimFixture f;
        reports::AlarmHistory history(f.link, f.poll, f.prompter, f.lookup());
        reports::AlarmCsvExport csv(history, f.prompter, f.lookup());
        reports::ui::AlarmHistoryWindow window(history, csv, f.services());
        auto* list = window.findChild<QTableWidget*>(QStringLiteral("lv1"));
        auto click = [&](const char* name) {
            QTest::mouseClick(window.findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
        };

        window.show();
        window.firstRead();
        QVERIFY2(f.prompter.shown.isEmpty(), qPrintable(f.prompter.shown.join('\n')));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lblgzts"))->text(), QStringLiteral("14"));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lblgzzys"))->text(), QStringLiteral("3"));
        QCOMPARE(list->rowCount(), 6);
        QCOMPARE(cell(list, 4, 1), QStringLiteral("High water temperature"));
        QCOMPARE(cell(list, 4, 2), QStringLiteral("2009-12-31 23:59:58"));
        QVERIFY(f.sim.port.Connected());  // reopened by the first read

        click("Buttonmy");
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(cell(list, 0, 0), QStringLiteral("13"));
        QCOMPARE(cell(list, 0, 1), QStringLiteral("Generator voltage / frequency fault"));
        QCOMPARE(cell(list, 0, 2), QStringLiteral("2010-12-24 20:15:30"));
        QCOMPARE(cell(list, 1, 0), QStringLiteral("14"));
        QCOMPARE(cell(list, 1, 1), QStringLiteral("Emergency stop"));
        // Raised as the controller started, at its clock's time (the fake clock starts at noon).
        QCOMPARE(cell(list, 1, 2), QStringLiteral("2026-03-01 12:00:00"));

        // The Chinese catalogue has a text for the same codes.
        f.settings.setLanguage(QStringLiteral("Chinese"));
        click("Buttonsy");
        QCOMPARE(cell(list, 4, 1), QStringLiteral("水温高"));
        QCOMPARE(cell(list, 0, 1), QStringLiteral("机组电压频率故障"));
        f.settings.setLanguage(QStringLiteral("English"));

        // A fault typed on the simulator's console grows the log; the next showing reads it.
        QVERIFY(f.sim.command(QStringLiteral("fault 1A")));
        window.close();
        window.show();
        window.firstRead();
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lblgzts"))->text(), QStringLiteral("15"));

        click("btndccsv");
        QCOMPARE(f.prompter.of("info"),
                 QStringList{"The alarm log was exported to " + f.dir.filePath("alarms.csv")});
        QFile file(f.dir.filePath(QStringLiteral("alarms.csv")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 17);  // header, 15 records, nothing after the last line end
        QCOMPARE(lines[0], QByteArray("\xEF\xBB\xBFNo.,Code,Alarm,Time\r"));
        QCOMPARE(lines[5], QByteArray("5,05,High water temperature,2009-12-31 23:59:58\r"));
        QVERIFY2(lines[15].startsWith("15,1A,Low coolant level,20"), lines[15].constData());
        QVERIFY(f.poll.running);
        window.close();
    }

    void reportShowsTheVirtualControllersDelaysAndIndicators() {
        SimFixture f;
        reports::ReportReader reader(f.link, f.poll);
        reports::ui::ReportWindow window(reader, f.services());
        window.show();
        window.read();
        // Factory delays in force: cool-down 60 s first, speed-down 5 s last.
        QCOMPARE(window.panel(QStringLiteral("pnl41"))->text(), QStringLiteral("60"));
        QCOMPARE(window.panel(QStringLiteral("pnl64"))->text(), QStringLiteral("30"));
        QCOMPARE(window.panel(QStringLiteral("pnl74"))->text(), QStringLiteral("5"));
        // The emergency stop: alarm bits 7 and 0 red, its input and the fault output green.
        QCOMPARE(window.indicatorImage(QStringLiteral("btnzs9")), 1);
        QCOMPARE(window.indicatorImage(QStringLiteral("btnzs1")), 1);
        QCOMPARE(window.indicatorImage(QStringLiteral("btnzs2")), 0);
        QCOMPARE(window.indicatorImage(QStringLiteral("btnzs25")), 1);
        QCOMPARE(window.indicatorImage(QStringLiteral("btnzs30")), 1);
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("btnbcwj"))->isEnabled());
        QVERIFY(f.poll.running);
        window.save();
        QVERIFY(QFile::exists(f.dir.filePath(QStringLiteral("cx.bmp"))));
        window.close();
    }
};

QTEST_MAIN(TestReportsSim)
#include "tst_reportsSim.moc"
