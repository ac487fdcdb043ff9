// The curves window TForm5 on a real SQLite history: what a query shows, what it refuses, the
// language hot key's step, and the picture it saves and prints.
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/CurveQuery.h"
#include "history/HistoryStore.h"
#include "history/ui/CurveChart.h"
#include "history/ui/CurvesWindow.h"
#include "widgets/Catalogue.h"

using namespace tarsyn;
using namespace tarsyn::history;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

HistoryRow row(const QString& sj, const QString& port, double sj1) {
    HistoryRow r;
    r.sj = sj;
    r.port = port;
    r.values[0] = sj1;
    return r;
}

/// A data folder with catalogues A and B, a store, and the window over them.
struct Fixture {
    Fixture() {
        settings.setLanguage("A");
        // A names only the first channel; every other key is missing and reads "0".
        writeFile(dir.filePath("A.lag"),
                  "[Translations]\r\nlbl11.Caption=Volts A\r\nlbl23.Caption=Speed\r\nbtncx.Caption=Query\r\n"
                  "[Messages]\r\nqxwxmc=No such curve\r\ndl18=Saved\r\nForm5caption=Curves "
                  "A\r\npdfwritten=PDF: %1\r\n");
        writeFile(dir.filePath("B.lag"),
                  "[Translations]\r\nlbl11.Caption=Spannung A\r\nlbl16.Caption=Strom C\r\n"
                  "[Messages]\r\nForm5caption=Kurven B\r\n");
        store = std::make_unique<HistoryStore>(HistoryLocation::sqliteFile(dir.filePath("kalde.db")));
        if (!store->connect()) qWarning() << store->lastError();
        query = std::make_unique<CurveQuery>(*store, clock);
    }
    std::unique_ptr<CurvesWindow> makeWindow() {
        CurvesWindow::Hooks hooks;
        hooks.portName = [this] { return portName; };
        hooks.device = [this] { return device; };
        hooks.translate = [this](QWidget* w) {
            widgets::SetActiveLanguage(w, config, settings.language(),
                                       widgets::ControlClassesForWindow(w->objectName()));
        };
        hooks.choosePdf = [this](QWidget*) {
            ++pdfQuestions;
            return pdfPath;
        };
        hooks.chooseCsv = [this](QWidget*) {
            ++csvQuestions;
            return csvPath;
        };
        return std::make_unique<CurvesWindow>(*query, config, messages, prompter, hooks);
    }
    QString text(CurvesWindow& w, const char* label) { return w.label(QLatin1String(label))->text(); }

    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::ScriptedPrompter prompter;
    test::FakeClock clock;  // 2026-03-01 12:00:00
    std::unique_ptr<HistoryStore> store;
    std::unique_ptr<CurveQuery> query;
    QString portName = "COM3";
    QString device = "Set 1";
    QString pdfPath;
    int pdfQuestions = 0;
    QString csvPath;
    int csvQuestions = 0;
};

}  // namespace

class TestCurvesWindow : public QObject {
    Q_OBJECT
private slots:
    void createdWithTwentyChannelsAndAQuery() {
        Fixture f;
        f.store->appendRows(HistoryTable::Hour, {row("2026-03-01 11:30:00", "Set 1", 230)});
        auto w = f.makeWindow();
        QCOMPARE(w->objectName(), QString("TForm5"));
        QComboBox* box = w->channelBox();
        QCOMPARE(box->objectName(), QString("cbbmc"));
        QCOMPARE(box->count(), 20);
        QCOMPARE(box->itemText(0), QString("Volts A"));
        QCOMPARE(box->itemText(1), QString("0"));  // missing key
        QCOMPARE(box->itemText(9), QString("Speed"));
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(w->findChild<QPushButton*>("btncx")->text(), QString("Query"));
        // The creation query ran: both charts drawn, the hour chart with the device's row.
        QCOMPARE(w->chartImage(ChartKind::Hour).size(), QSize(627, 133));
        QCOMPARE(w->chartImage(ChartKind::Day).size(), QSize(627, 133));
        QCOMPARE(f.text(*w, "lblnlmax2"), QString("230"));
        QCOMPARE(f.text(*w, "lblym1"), QString("276"));
        QCOMPARE(f.text(*w, "lbly11"), QString("138.0"));
        QCOMPARE(f.text(*w, "lbly01"), QString("0"));
        QCOMPARE(f.text(*w, "lblxm1"), QString("12:00:00"));
        QCOMPARE(f.text(*w, "lblx01"), QString("11:00:00"));
        QCOMPARE(f.text(*w, "lbl24max2"), QString("0"));  // no day rows
        QCOMPARE(f.text(*w, "lblym"), QString("2"));
        QCOMPARE(f.text(*w, "lblx0"), QString("12:00:01"));
        QCOMPARE(f.text(*w, "lblckh"), QString("com3"));
        QCOMPARE(f.text(*w, "lbldw"), QString("V"));
        QVERIFY(f.prompter.shown.isEmpty());
    }

    void aLongDevicePathKeepsItsEndAndTellsTheWholeInItsTip() {
        Fixture f;
        f.portName = "/home/operator/Site-B/Serial-Adapters/ttyUSB0";
        auto w = f.makeWindow();
        auto* port = w->findChild<QLabel*>("lblckh");
        QCOMPARE(port->toolTip(), QString("/home/operator/site-b/serial-adapters/ttyusb0"));
        // The device's own name, whole, rather than the path's cut end ("…ntroller-1").
        QCOMPARE(port->text(), QString("ttyusb0"));
        f.portName = "/home/operator/site-b/build/demo/controller-1";
        w->findChild<QPushButton*>("btncx")->click();
        QCOMPARE(port->text(), QString("controller-1"));
        QVERIFY(port->fontMetrics().horizontalAdvance(port->text()) <= port->width());
    }

    void queryShowsOnlyTheCurrentDeviceAndPurgesAll() {
        Fixture f;
        auto w = f.makeWindow();
        f.store->appendRows(HistoryTable::Day,
                            {row("2026-02-27 09:00:00", "Other", 5), row("2026-03-01 09:00:00", "Set 1", 40),
                             row("2026-03-01 10:00:00", "Other", 900)});
        QVERIFY(w->runQuery());
        QCOMPARE(f.text(*w, "lbl24max2"), QString("40"));
        QCOMPARE(f.text(*w, "lbl24min2"), QString("40"));
        QCOMPARE(f.store->rowCount(HistoryTable::Day), 2);  // the other device's old row went too
        f.device = "Other";
        QVERIFY(w->runQuery());
        QCOMPARE(f.text(*w, "lbl24max2"), QString("900"));
    }

    void unitLabelsFollowTheChannel_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("unit");
        QTest::newRow("0 generator voltage") << 0 << "V";
        QTest::newRow("7 mains frequency") << 7 << "HZ";
        QTest::newRow("9 speed") << 9 << "PRM";
        QTest::newRow("12 oil pressure") << 12 << "Kpa";
        QTest::newRow("14 power") << 14 << "KW";
        QTest::newRow("15 oil level: none") << 15 << "";
        QTest::newRow("16 power factor: none") << 16 << "";
    }
    void unitLabelsFollowTheChannel() {
        QFETCH(int, index);
        QFETCH(QString, unit);
        Fixture f;
        auto w = f.makeWindow();
        w->channelBox()->setCurrentIndex(index);
        QVERIFY(w->runQuery());
        QCOMPARE(f.text(*w, "lbldw"), unit);
        QCOMPARE(f.text(*w, "lbldw1"), unit);
    }

    void typedTextMatchingNoChannelIsRefused() {
        Fixture f;
        f.store->appendRows(HistoryTable::Hour, {row("2026-03-01 11:30:00", "Set 1", 230)});
        auto w = f.makeWindow();
        const QImage before = w->chartImage(ChartKind::Hour);
        f.store->appendRows(HistoryTable::Day, {row("2026-01-01 00:00:00", "Set 1", 1)});  // purge bait
        f.store->appendRows(HistoryTable::Hour, {row("2026-03-01 11:40:00", "Set 1", 500)});
        w->channelBox()->setEditText("Volts");
        QVERIFY(!w->runQuery());
        QCOMPARE(f.prompter.shown, QStringList({"info:No such curve"}));
        QCOMPARE(f.store->rowCount(HistoryTable::Day), 1);  // no statement ran
        QCOMPARE(w->chartImage(ChartKind::Hour), before);
        QCOMPARE(f.text(*w, "lblnlmax2"), QString("230"));
        // Typing a listed name is as good as choosing it.
        w->channelBox()->setEditText("Speed");
        QVERIFY(w->runQuery());
        QCOMPARE(f.text(*w, "lbldw"), QString("PRM"));
    }

    void showingSetsTheDateAndQueriesAgain() {
        Fixture f;
        auto w = f.makeWindow();
        f.store->appendRows(HistoryTable::Hour, {row("2026-03-01 11:59:00", "Set 1", 77)});
        w->show();
        QCOMPARE(f.text(*w, "lbldqrq"), QString("2026-03-01"));
        QCOMPARE(f.text(*w, "lblnlmax2"), QString("77"));
        w->hide();
    }

    void languageHotKeyKeepsTheSelection() {
        Fixture f;
        auto w = f.makeWindow();
        w->channelBox()->setCurrentIndex(5);
        f.settings.setLanguage("B");
        w->relabel();
        QCOMPARE(w->channelBox()->currentIndex(), 5);
        QCOMPARE(w->channelBox()->currentText(), QString("Strom C"));
        QCOMPARE(w->channelBox()->itemText(0), QString("Spannung A"));
        QCOMPARE(w->channelBox()->itemText(9), QString("0"));  // B has no name for it
        QCOMPARE(w->channelBox()->count(), 20);
        QCOMPARE(w->windowTitle(), QString("Kurven B"));
    }

    void databaseFailureIsReportedAndTheChartsStay() {
        Fixture f;
        f.store->appendRows(HistoryTable::Hour, {row("2026-03-01 11:30:00", "Set 1", 230)});
        auto w = f.makeWindow();
        const QImage before = w->chartImage(ChartKind::Hour);
        // A closed connection is opened again by the query; a table gone is a failure that stays.
        QVERIFY(QSqlQuery(QSqlDatabase::database(f.store->connectionName())).exec("DROP TABLE \"nls\""));
        QVERIFY(!w->runQuery());
        QCOMPARE(f.prompter.of("error").size(), 1);
        QCOMPARE(w->chartImage(ChartKind::Hour), before);
    }

    // The picture is the client area down to the button row, whatever the frame (offscreen there is
    // none): the day chart's time labels are in it, the buttons are not. The real file name is told.
    void savesThePictureWithoutTheButtonRow() {
        Fixture f;
        auto w = f.makeWindow();
        w->show();
        f.prompter.shown.clear();
        w->findChild<QPushButton*>("btnbcwj")->click();
        const QString path = f.dir.filePath("qx.bmp");
        QCOMPARE(f.prompter.shown, QStringList({"info:" + QDir::toNativeSeparators(path) + " Saved"}));
        QImage saved(path, "BMP");
        QVERIFY(!saved.isNull());
        QCOMPARE(saved.width(), w->width());
        const int buttonsTop = w->findChild<QPushButton*>("btnbcwj")->mapTo(w.get(), QPoint()).y();
        QVERIFY(saved.height() <= buttonsTop);
        for (const char* label : {"lblx0", "lblxm", "lbl24min1", "lbl24max2"}) {
            const QLabel* l = w->findChild<QLabel*>(label);
            QVERIFY2(l->mapTo(w.get(), QPoint(0, l->height())).y() <= saved.height(), label);
        }
        // The picture starts at the client area's top-left: the hour chart is where the window has it.
        const QLabel* chart = w->findChild<QLabel*>("image1");
        const QPoint p = chart->mapTo(w.get(), QPoint(300, 20));
        QCOMPARE(saved.pixel(p) | 0xff000000, kChartBackground);
        QCOMPARE(saved.pixel(chart->mapTo(w.get(), QPoint(314, 20))) | 0xff000000, kChartAxis);
        // A second save asks before it replaces the first; No keeps it.
        f.prompter.shown.clear();
        f.prompter.answers = {false};
        w->findChild<QPushButton*>("btnbcwj")->click();
        QCOMPARE(f.prompter.of("confirm").size(), 1);
        QVERIFY(f.prompter.of("info").isEmpty());
        w->hide();
    }

    void exportsTheChannelAsCsv() {
        Fixture f;
        auto w = f.makeWindow();
        f.store->appendRows(HistoryTable::Hour, {row("2026-03-01 11:30:00", "Set 1", 230),
                                                 row("2026-03-01 11:31:00", "Other", 1)});
        f.store->appendRows(HistoryTable::Day, {row("2026-03-01 09:00:00", "Set 1", 225)});
        f.csvPath = f.dir.filePath("set1.csv");
        w->findChild<QPushButton*>("btncsv")->click();
        QFile file(f.csvPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF"
                                            "chart,time,value,port\r\n"
                                            "hour,2026-03-01 11:30:00,230,Set 1\r\n"
                                            "day,2026-03-01 09:00:00,225,Set 1\r\n"));
        QCOMPARE(f.prompter.shown, QStringList({"info:" + QDir::toNativeSeparators(f.csvPath) + " Saved"}));
        // A typed name that is no channel exports nothing; a cancelled choice neither.
        f.prompter.shown.clear();
        w->channelBox()->setEditText("nothing");
        w->findChild<QPushButton*>("btncsv")->click();
        QCOMPARE(f.prompter.shown, QStringList({"info:No such curve"}));
        QCOMPARE(f.csvQuestions, 1);
        w->channelBox()->setCurrentIndex(0);
        f.prompter.shown.clear();
        f.csvPath.clear();
        w->findChild<QPushButton*>("btncsv")->click();
        QCOMPARE(f.csvQuestions, 2);
        QVERIFY(f.prompter.shown.isEmpty());
    }

    void printsIntoAChosenPdfWithoutAPrinter() {
        if (!QPrinterInfo::defaultPrinter().isNull()) QSKIP("this machine has a printer");
        Fixture f;
        f.pdfPath = f.dir.filePath("curves.pdf");
        auto w = f.makeWindow();
        w->show();
        f.prompter.shown.clear();
        w->findChild<QPushButton*>("btnqxdy")->click();
        QCOMPARE(f.pdfQuestions, 1);
        QFile pdf(f.pdfPath);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        // The file written is named, once.
        QCOMPARE(f.prompter.of("info").size(), 1);
        QVERIFY2(f.prompter.of("info").first().contains(f.pdfPath), qPrintable(f.prompter.shown.join('|')));
        // Cancelling the file choice prints nothing and says nothing.
        f.prompter.shown.clear();
        f.pdfPath.clear();
        w->findChild<QPushButton*>("btnqxdy")->click();
        QCOMPARE(f.pdfQuestions, 2);
        QVERIFY(f.prompter.shown.isEmpty());
        w->hide();
    }
};

QTEST_MAIN(TestCurvesWindow)
#include "tst_curvesWindow.moc"
