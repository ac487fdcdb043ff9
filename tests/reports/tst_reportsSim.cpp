// End to end against tarsyn-sim on a pseudo-terminal: the alarm history window lists and pages
// through the virtual controller's log with the shipped catalogues' texts and exports it to CSV;
// the report window shows the controller's delays and indicators.
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "FakePollControl.h"
#include "ScriptedPrompter.h"
#include "SimLink.h"
#include "config/Config.h"
#include "reports/AlarmCsv.h"
#include "reports/AlarmHistory.h"
#include "reports/ReportReader.h"
#include "reports/ui/AlarmHistoryWindow.h"
#include "reports/ui/ReportWindow.h"

using namespace tarsyn;

namespace {

/// Real waits, a fifth of what the program allows a real controller: the simulator answers at once.
class BriskSleeper : public link::Sleeper {
public:
    void sleep(int ms) override { QThread::msleep(qMax(20, ms / 5)); }
};

/// The shipped catalogues' messages, in the language of the moment.
struct ShippedMessages {
    config::Config config{qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data")};
    QString language = QStringLiteral("English");
    QString text(const QString& key) const {
        return config.reini(language + QStringLiteral(".lag"), "Messages", key);
    }
};

struct SimFixture {
    test::SimLink sim;
    BriskSleeper sleeper;
    std::unique_ptr<link::ControllerLink> link;
    test::FakePollControl poll;
    test::ScriptedPrompter prompter;
    ShippedMessages messages;
    QTemporaryDir dir;
    bool start(const QStringList& args) {
        if (!sim.start(args)) return false;
        link = std::make_unique<link::ControllerLink>(sim.port(), sleeper);
        return true;
    }
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
        QVERIFY(f.start({QStringLiteral("--alarm")}));  // the factory 13 records and the emergency stop
        reports::AlarmHistory history(*f.link, f.poll, f.prompter, f.lookup());
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
        QVERIFY(f.sim.port().Connected());  // reopened by the first read

        click("Buttonmy");
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(cell(list, 0, 0), QStringLiteral("13"));
        QCOMPARE(cell(list, 0, 1), QStringLiteral("Generator voltage / frequency fault"));
        QCOMPARE(cell(list, 0, 2), QStringLiteral("2010-12-24 20:15:30"));
        QCOMPARE(cell(list, 1, 0), QStringLiteral("14"));
        QCOMPARE(cell(list, 1, 1), QStringLiteral("Emergency stop"));
        QCOMPARE(cell(list, 1, 2).left(10), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));

        // The Chinese catalogue has a text for the same codes.
        f.messages.language = QStringLiteral("Chinese");
        click("Buttonsy");
        QCOMPARE(cell(list, 4, 1), QStringLiteral("水温高"));
        QCOMPARE(cell(list, 0, 1), QStringLiteral("机组电压频率故障"));
        f.messages.language = QStringLiteral("English");

        // A fault typed on the simulator's console grows the log; the next showing reads it.
        f.sim.sim().command(QStringLiteral("fault 1A"));
        QThread::msleep(200);
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
        QVERIFY(f.start({QStringLiteral("--alarm")}));
        reports::ReportReader reader(*f.link, f.poll);
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
