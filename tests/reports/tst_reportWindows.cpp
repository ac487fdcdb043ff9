// The alarm history window TForm17 and the report window TForm12 bound to their logic: the first
// read one second after showing, paging, the column captions, the report's layout and indicator
// colours, and the pictures saved, printed into a PDF and exported to CSV.
#include <QLabel>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "AlarmLogController.h"
#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "ProgramRig.h"
#include "config/Config.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "reports/AlarmCsv.h"
#include "reports/AlarmHistory.h"
#include "reports/ReportReader.h"
#include "reports/ui/AlarmHistoryWindow.h"
#include "reports/ui/ReportWindow.h"
#include "widgets/Catalogue.h"

using namespace tarsyn;

namespace {

/// Messages of a two-language catalogue; `language` picks one.
struct Catalogue {
    QString language = QStringLiteral("English");
    QString text(const QString& key) const {
        static const QHash<QString, QString> english = {{"dl18", "Saved."},
                                                        {"dl30", "No."},
                                                        {"dl31", "Alarm"},
                                                        {"dl32", "Time"},
                                                        {"csvcode", "Code"},
                                                        {"csvdone", "Exported to"},
                                                        {"pdfdone", "Saved to"},
                                                        {"pdfwritten", "PDF written: %1"},
                                                        {"E05", "High water temperature"},
                                                        {"bmpexists", "%1 exists. Replace it?"},
                                                        {"alprfail", "The log could not be read completely."},
                                                        {"csvnocount", "No count."},
                                                        {"alnocount", "No count: open again."}};
        static const QHash<QString, QString> chinese = {
            {"dl30", "编号"}, {"dl31", "告警内容"}, {"dl32", "时间"}, {"E05", "水温高"}};
        return (language == QLatin1String("English") ? english : chinese).value(key, QStringLiteral("0"));
    }
};

struct Services : test::ProgramRig {
    test::FakeSerialPort port;
    test::FakeClock clock;
    test::FakeSleeper sleeper{&clock};
    link::ControllerLink link{port, sleeper};
    Catalogue catalogue;
    reports::ui::WindowServices services() {
        reports::ui::WindowServices s;
        s.messages = [this](const QString& key) { return catalogue.text(key); };
        s.prompter = &prompter;
        s.clock = &clock;
        s.picturePath = dir.filePath(QStringLiteral("cx.bmp"));
        s.entryName = [] { return QStringLiteral("COM3"); };
        s.choosePdf = [this](QWidget*) { return dir.filePath(QStringLiteral("picture.pdf")); };
        s.chooseCsv = [this](QWidget*) { return dir.filePath(QStringLiteral("log.csv")); };
        return s;
    }
    Services() { port.OpenPort(); }
};

template <typename T>
T* child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QLatin1String(name));
    if (!c) qWarning("no control %s", name);
    return c;
}

bool enabled(QWidget* w, const char* name) { return child<QWidget>(w, name)->isEnabled(); }

QByteArray fileHead(const QString& path, int n) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(n) : QByteArray();
}

struct AlarmFixture : Services {
    test::AlarmLogController controller{port};
    reports::AlarmHistory history{link, poll, prompter,
                                  [this](const QString& k) { return catalogue.text(k); }};
    reports::AlarmCsvExport csv{history, prompter, [this](const QString& k) { return catalogue.text(k); }};
    reports::ui::AlarmHistoryWindow window{history, csv, services()};
    QTableWidget* list() { return child<QTableWidget>(&window, "lv1"); }
    QString cell(int row, int column) {
        QTableWidgetItem* item = list()->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }
};

struct ReportFixture : Services {
    reports::ReportReader reader{link, poll};
    reports::ui::ReportWindow window{reader, services()};
    QString delays;
    QString bits;
    ReportFixture() {
        auto frame = [](const QString& data) {
            QString r = QStringLiteral("0004") + link::ToHex(quint32(data.size() / 2), 2) + data;
            return r + link::ToHex(quint32(link::XorCheck(r)), 2) + QStringLiteral("\r\n");
        };
        QString d;
        // Ten times the delay's number, but the cranking time and the protections' delays (at most
        // 60 s, or the reply is not taken for delays) their number alone.
        const QList<int> minuteAtMost = {4, 11, 12, 13, 14, 15, 18, 19};
        for (int i = 1; i <= 22; ++i) d += link::ToHex(quint32(minuteAtMost.contains(i) ? i : i * 10), 2);
        delays = frame(d);
        bits = frame(QStringLiteral("81800180"));
        port.onWrite = [this](const QString& line) {
            port.arrive(line.startsWith(QLatin1String("000400360016")) ? delays : bits);
        };
    }
    /// The colour in the middle of an indicator's picture: "white", "red", "green" or its name.
    QString colour(const char* indicator) {
        const QColor c =
            window.indicator(QLatin1String(indicator))->icon().pixmap(16, 16).toImage().pixelColor(8, 8);
        if (c.red() > 220 && c.green() > 220 && c.blue() > 220) return QStringLiteral("white");
        if (c.red() > 180 && c.green() < 100 && c.blue() < 100) return QStringLiteral("red");
        if (c.green() > 120 && c.red() < 100 && c.blue() < 100) return QStringLiteral("green");
        return c.name();
    }
};

}  // namespace

class TestReportWindows : public QObject {
    Q_OBJECT
private slots:
    void alarmWindowStartsWithItsButtonsOff() {
        AlarmFixture f;
        QCOMPARE(f.window.objectName(), QStringLiteral("TForm17"));
        for (const char* b :
             {"Buttonsy", "Buttonshy", "Buttonxy", "Buttonmy", "btnbcwj", "btnqxdy", "btndccsv"})
            QVERIFY2(!enabled(&f.window, b), b);
        QVERIFY(enabled(&f.window, "btnqx"));
        QVERIFY(!enabled(&f.window, "lblgzym"));
        QVERIFY(!enabled(&f.window, "lblgzfgh"));
        QCOMPARE(f.window.firstReadTimer().interval(), 1000);
        QVERIFY(!f.window.firstReadTimer().isActive());
        QCOMPARE(f.list()->columnCount(), 3);
        QCOMPARE(f.list()->columnWidth(0), 40);
        QCOMPARE(f.list()->columnWidth(1), 200);
        QCOMPARE(f.list()->columnWidth(2), 220);
    }

    void columnCaptionsFollowTheLanguage() {
        AlarmFixture f;
        auto captions = [&] {
            QStringList c;
            for (int i = 0; i < 3; ++i) c << f.list()->horizontalHeaderItem(i)->text();
            return c;
        };
        QCOMPARE(captions(), (QStringList{"No.", "Alarm", "Time"}));
        f.catalogue.language = QStringLiteral("Chinese");
        f.window.relabel();
        QCOMPARE(captions(), (QStringList{"编号", "告警内容", "时间"}));
    }

    // Shift+End while the log is on show: the alarms are named again in the new language.
    void alarmNamesFollowTheLanguage() {
        AlarmFixture f;
        f.controller.addRecord(QStringLiteral("05091231235958"));
        f.window.show();
        f.window.firstRead();
        QCOMPARE(f.cell(0, 1), QStringLiteral("High water temperature"));
        f.catalogue.language = QStringLiteral("Chinese");
        f.window.relabel();
        QCOMPARE(f.cell(0, 1), QStringLiteral("水温高"));
        QCOMPARE(f.cell(0, 2), QStringLiteral("2009-12-31 23:59:58"));
    }

    void showingReadsOneSecondLaterAndPages() {
        AlarmFixture f;
        f.controller.fill(12);
        f.controller.addRecord(QStringLiteral("05091231235958"));
        f.window.show();
        QCOMPARE(child<QLabel>(&f.window, "lblgjzdmc")->text(), QStringLiteral("COM3"));
        QVERIFY(f.window.firstReadTimer().isActive());
        QVERIFY(f.controller.requests.isEmpty());  // nothing before tmr1 fires
        QVERIFY(QMetaObject::invokeMethod(&f.window.firstReadTimer(), "timeout"));  // tmr1 fires
        QVERIFY(!f.window.firstReadTimer().isActive());
        QCOMPARE(f.list()->rowCount(), 6);
        QCOMPARE(child<QLabel>(&f.window, "lblgzts")->text(), QStringLiteral("13"));
        QCOMPARE(child<QLabel>(&f.window, "lbldqzy")->text(), QStringLiteral("1"));
        QCOMPARE(child<QLabel>(&f.window, "lblgzzys")->text(), QStringLiteral("3"));
        QVERIFY(enabled(&f.window, "Buttonxy") && enabled(&f.window, "Buttonmy"));
        QVERIFY(enabled(&f.window, "btnbcwj") && enabled(&f.window, "btnqxdy") &&
                enabled(&f.window, "btndccsv"));
        QVERIFY(enabled(&f.window, "lblgzym"));

        QTest::mouseClick(child<QPushButton>(&f.window, "Buttonmy"), Qt::LeftButton);
        QCOMPARE(f.controller.requests.last(), QStringLiteral("00040256002A"));
        QCOMPARE(f.list()->rowCount(), 1);
        QCOMPARE(f.cell(0, 0), QStringLiteral("13"));
        QCOMPARE(f.cell(0, 1), QStringLiteral("High water temperature"));
        QCOMPARE(f.cell(0, 2), QStringLiteral("2009-12-31 23:59:58"));
        QVERIFY(enabled(&f.window, "Buttonsy") && !enabled(&f.window, "Buttonmy"));

        f.window.close();
        for (const char* b : {"Buttonsy", "Buttonshy", "Buttonxy", "Buttonmy"})
            QVERIFY2(!enabled(&f.window, b), b);
        // The next showing empties the list and the count, and reads again a second later.
        f.window.show();
        QCOMPARE(f.list()->rowCount(), 0);
        QCOMPARE(child<QLabel>(&f.window, "lblgzts")->text(), QString());
        QVERIFY(f.window.firstReadTimer().isActive());
        f.window.close();
        QVERIFY(!f.window.firstReadTimer().isActive());
    }

    // The picture is the client area down to the button row, whatever the frame: here, without a
    // window manager, there is none, and the page row must still be in it.
    void alarmPictureHoldsEverythingAboveTheButtons() {
        AlarmFixture f;
        f.controller.fill(13);
        f.window.show();
        f.window.firstRead();
        const QImage picture = f.window.picture();
        QCOMPARE(picture.width(), f.window.width());
        const int buttonsTop = child<QWidget>(&f.window, "btnqx")->mapTo(&f.window, QPoint()).y();
        QVERIFY2(picture.height() <= buttonsTop, qPrintable(QString::number(picture.height())));
        for (const char* inside : {"lblgzgj", "lv1", "lblgzym", "lblgzzys", "Buttonmy"}) {
            QWidget* w = child<QWidget>(&f.window, inside);
            const int bottom = w->mapTo(&f.window, QPoint(0, w->height())).y();
            QVERIFY2(bottom <= picture.height(), inside);
        }
    }

    // Both windows write "cx.bmp": the file's real name is told, and an existing one is replaced
    // only on Yes.
    void savingAsksBeforeReplacingCxBmp() {
        AlarmFixture f;
        f.controller.fill(3);
        f.window.show();
        f.window.firstRead();
        const QString path = f.dir.filePath("cx.bmp");
        QImage old(7, 5, QImage::Format_RGB32);
        old.fill(Qt::blue);
        QVERIFY(old.save(path, "BMP"));
        const QString question = QDir::toNativeSeparators(path) + " exists. Replace it?";

        f.prompter.answers = {false};
        QTest::mouseClick(child<QPushButton>(&f.window, "btnbcwj"), Qt::LeftButton);
        QCOMPARE(f.prompter.shown, QStringList{"confirm:" + question});
        QCOMPARE(QImage(path).size(), QSize(7, 5));  // kept

        f.prompter.shown.clear();
        f.prompter.answers = {true};
        QTest::mouseClick(child<QPushButton>(&f.window, "btnbcwj"), Qt::LeftButton);
        QCOMPARE(f.prompter.shown,
                 (QStringList{"confirm:" + question, "info:" + QDir::toNativeSeparators(path) + " Saved."}));
        QCOMPARE(QImage(path).size(), f.window.picture().size());
    }

    // Printing reads the whole log afresh and prints a picture a page: 13 records, three pages,
    // each showing its own rows and page number; the window keeps its page.
    void printingTakesEveryPageOfTheLog() {
        AlarmFixture f;
        f.controller.fill(13);
        f.window.show();
        f.window.firstRead();
        QList<reports::AlarmRow> rows;
        for (int i = 1; i <= 13; ++i) rows << reports::AlarmRow{i, {"01", "x", "t"}};
        const QList<QImage> pictures = f.window.logPictures(rows);
        QCOMPARE(pictures.size(), 3);
        for (const QImage& p : pictures) QCOMPARE(p.size(), f.window.picture().size());
        QVERIFY(pictures[0] != pictures[2]);
        QCOMPARE(f.list()->rowCount(), 6);
        QCOMPARE(f.cell(0, 0), QStringLiteral("1"));
        QCOMPARE(child<QLabel>(&f.window, "lbldqzy")->text(), QStringLiteral("1"));
        if (!QPrinterInfo::defaultPrinter().isNull())
            QSKIP("a default printer exists; printing would use it");
        f.controller.requests.clear();
        f.window.print();
        QCOMPARE(f.controller.requests, (QStringList{"00040200002C", "0004022C002A", "00040256002A"}));
        const QByteArray pdf = fileHead(f.dir.filePath("picture.pdf"), 10000000);
        QVERIFY(pdf.startsWith("%PDF-"));
        QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r"), 3);
        QVERIFY(f.prompter.of("error").isEmpty());
        // The file is named, as the report's PDF is.
        QCOMPARE(f.prompter.of("info"), QStringList{"PDF written: " + f.dir.filePath("picture.pdf")});
    }

    void printingRefusesALogNotReadCompletely() {
        AlarmFixture f;
        f.controller.fill(13);
        f.window.show();
        f.window.firstRead();
        int reply = 0;
        f.controller.shape = [&](const QString& r) { return ++reply == 2 ? QString() : r; };  // page 2 silent
        f.window.print();
        QCOMPARE(f.prompter.of("error"), QStringList{"The log could not be read completely."});
        QVERIFY(!QFile::exists(f.dir.filePath("picture.pdf")));
        QVERIFY(enabled(&f.window, "btnqxdy"));
    }

    // A first read without an answer: the count of the earlier showing is not exported.
    void exportRefusedAfterAnUnansweredCount() {
        AlarmFixture f;
        f.controller.fill(13);
        f.window.show();
        f.window.firstRead();
        QVERIFY(enabled(&f.window, "btndccsv"));
        f.window.close();
        f.controller.shape = [](const QString&) { return QString(); };  // the controller falls silent
        f.prompter.shown.clear();
        f.window.show();
        f.window.firstRead();
        QVERIFY(!enabled(&f.window, "btndccsv"));
        QVERIFY(!enabled(&f.window, "btnqxdy"));
        // Said why, and nothing of the earlier showing's "page 1 of 3" stays.
        QCOMPARE(f.prompter.shown, QStringList{"error:No count: open again."});
        for (const char* label : {"lblgzts", "lbldqzy", "lblgzzys"})
            QVERIFY2(child<QLabel>(&f.window, label)->text().isEmpty(), label);
        QCOMPARE(f.list()->rowCount(), 0);
        for (const char* button : {"Buttonsy", "Buttonshy", "Buttonxy", "Buttonmy"})
            QVERIFY2(!enabled(&f.window, button), button);
        // Even when asked directly, nothing is written without a fresh count.
        f.prompter.shown.clear();
        QVERIFY(!f.csv.run(f.dir.filePath("log.csv")));
        QCOMPARE(f.prompter.shown, QStringList{"error:No count."});
        QVERIFY(!QFile::exists(f.dir.filePath("log.csv")));
    }

    void csvExportShowsProgressAndWritesTheFile() {
        AlarmFixture f;
        f.controller.fill(8);
        f.window.show();
        f.window.firstRead();
        auto* bar = child<QProgressBar>(&f.window, "pbcsv");
        QList<int> seen;
        f.prompter.whileOpen = [&] { seen << bar->value() << int(bar->isVisible()); };
        QTest::mouseClick(child<QPushButton>(&f.window, "btndccsv"), Qt::LeftButton);
        QCOMPARE(seen, (QList<int>{22, 1}));  // the box comes with the bar full, still showing
        QVERIFY(!bar->isVisible());
        const QByteArray csv = fileHead(f.dir.filePath("log.csv"), 100000);
        QCOMPARE(csv.count("\r\n"), 9);
        QVERIFY(csv.contains("8,09,0,2010-01-01 00:00:08\r\n"));
        QVERIFY(enabled(&f.window, "btndccsv") && enabled(&f.window, "btnqx"));
        QCOMPARE(f.list()->rowCount(), 6);
    }

    void reportLayout() {
        ReportFixture f;
        QCOMPARE(f.window.objectName(), QStringLiteral("TForm12"));
        QCOMPARE(f.window.size(), QSize(806, 534));
        QCOMPARE(reports::ReportReader::DelayPanels().size(), 22);
        for (const QString& p : reports::ReportReader::DelayPanels())
            QVERIFY2(f.window.panel(p), qPrintable(p));
        for (const QString& b : reports::ReportReader::IndicatorButtons())
            QVERIFY2(f.window.indicator(b), qPrintable(b));
        f.window.show();
        auto at = [&](const char* name) {
            QWidget* w = f.window.indicator(QLatin1String(name));
            return w->mapTo(&f.window, QPoint(0, 0));
        };
        // Six columns of three: (1 2 3) (4 5 6) (7 8 9) (10 11 12) (13 14 15) (16).
        QCOMPARE(at("btnzs2").x(), at("btnzs1").x());
        QCOMPARE(at("btnzs3").x(), at("btnzs1").x());
        QVERIFY(at("btnzs1").y() < at("btnzs2").y() && at("btnzs2").y() < at("btnzs3").y());
        QCOMPARE(at("btnzs4").y(), at("btnzs1").y());
        QVERIFY(at("btnzs4").x() > at("btnzs1").x());
        QVERIFY(at("btnzs16").x() > at("btnzs13").x());
        QCOMPARE(at("btnzs16").y(), at("btnzs1").y());
        // Delays in four columns of 6, 6, 6 and 4.
        auto panelAt = [&](const char* name) {
            return f.window.panel(QLatin1String(name))->mapTo(&f.window, QPoint());
        };
        QCOMPARE(panelAt("pnl46").x(), panelAt("pnl41").x());
        QVERIFY(panelAt("pnl51").x() > panelAt("pnl41").x());
        QCOMPARE(panelAt("pnl51").y(), panelAt("pnl41").y());
        QCOMPARE(panelAt("pnl74").y(), panelAt("pnl44").y());
        f.window.close();
    }

    void reportShowingClearsStampsAndReads() {
        ReportFixture f;
        f.window.setPanelText("pnl41", "99");
        f.window.show();
        QCOMPARE(f.window.panel("pnl41")->text(), QStringLiteral("0"));
        QCOMPARE(child<QLabel>(&f.window, "lbldqri")->text(), QStringLiteral("2026-03-01 12:00:00"));
        QCOMPARE(child<QLabel>(&f.window, "lblgjzdmc")->text(), QStringLiteral("COM3"));
        QVERIFY(f.window.readTimer().isActive());
        QCOMPARE(f.window.readTimer().interval(), 200);
        QVERIFY(f.port.written.isEmpty());
        QVERIFY(QMetaObject::invokeMethod(&f.window.readTimer(), "timeout"));  // 200 ms later
        QVERIFY(!f.window.readTimer().isActive());
        QCOMPARE(f.window.panel("pnl41")->text(), QStringLiteral("10"));
        QCOMPARE(f.window.panel("pnl74")->text(), QStringLiteral("220"));
        // Alarm byte 81: emergency stop and voltage fault red; state 80: speed change failure green.
        QCOMPARE(f.colour("btnzs9"), QStringLiteral("red"));
        QCOMPARE(f.colour("btnzs1"), QStringLiteral("red"));
        for (const char* other : {"btnzs2", "btnzs3", "btnzs4", "btnzs5", "btnzs6", "btnzs8"})
            QCOMPARE(f.colour(other), QStringLiteral("white"));
        QCOMPARE(f.colour("btnzs16"), QStringLiteral("green"));
        QCOMPARE(f.colour("btnzs7"), QStringLiteral("white"));
        QCOMPARE(f.window.indicatorImage("btnzs17"), 1);
        QCOMPARE(f.window.indicatorImage("btnzs34"), 1);
        QCOMPARE(f.window.indicatorImage("btnzs26"), 0);
        QVERIFY(enabled(&f.window, "btnbcwj") && enabled(&f.window, "btnqxdy"));
        QVERIFY(f.poll.running);
        f.window.close();
    }

    void reportPictureIsSavedAndWrittenAsPdf() {
        ReportFixture f;
        f.window.show();
        f.window.read();
        f.window.save();
        const QString path = f.dir.filePath("cx.bmp");
        QCOMPARE(QImage(path).size(), f.window.picture().size());
        QCOMPARE(f.prompter.of("info"), QStringList{QDir::toNativeSeparators(path) + " Saved."});
        QTest::mouseClick(child<QPushButton>(&f.window, "btnbcpdf"), Qt::LeftButton);
        QCOMPARE(fileHead(f.dir.filePath("picture.pdf"), 5), QByteArray("%PDF-"));
        QCOMPARE(f.prompter.of("info").value(1), "Saved to " + f.dir.filePath("picture.pdf"));
        f.window.close();
    }

    // Without a window manager there is no frame: the picture still runs from the top row to the
    // legend, at the window's width, and stops above the buttons.
    void reportPictureHoldsTheLegend() {
        ReportFixture f;
        f.window.show();
        f.window.read();
        const QImage picture = f.window.picture();
        QCOMPARE(picture.width(), 806);
        const int buttonsTop = child<QWidget>(&f.window, "btnbcwj")->mapTo(&f.window, QPoint()).y();
        QVERIFY(picture.height() <= buttonsTop);
        QWidget* legend = child<QWidget>(&f.window, "lbltl2");
        QVERIFY(legend->mapTo(&f.window, QPoint(0, legend->height())).y() <= picture.height());
        // The legend's red square is in the picture where the window shows it.
        QWidget* red = child<QWidget>(&f.window, "imgtl1");
        const QPoint centre = red->mapTo(&f.window, QPoint(red->width() / 2, red->height() / 2));
        const QColor c = picture.pixelColor(centre);
        QVERIFY2(c.red() > 180 && c.green() < 100 && c.blue() < 100, qPrintable(c.name()));
    }

    // At the report's fixed size every delay caption and every indicator caption shows whole, in
    // both languages of the program's catalogues.
    void reportCaptionsAreNotCut_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "English";
        QTest::newRow("Chinese") << "Chinese";
    }

    void reportCaptionsAreNotCut() {
        QFETCH(QString, language);
        const config::Config config(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data"));
        ReportFixture f;
        widgets::SetActiveLanguage(&f.window, config, language, widgets::ControlClassesForWindow("TForm12"));
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QStringList cut;
        for (const QString& panel : reports::ReportReader::DelayPanels()) {
            auto* caption = child<QLabel>(&f.window, qPrintable("lbl" + panel.mid(3)));
            const QRect room = caption->contentsRect();
            const QRect needed = caption->fontMetrics().boundingRect(
                room, Qt::TextWordWrap | caption->alignment(), caption->text());
            if (needed.width() > room.width() || needed.height() > room.height()) cut << caption->text();
        }
        for (const QString& b : reports::ReportReader::IndicatorButtons()) {
            auto* tabs = child<QTabWidget>(&f.window, "PageControl1");
            tabs->setCurrentWidget(f.window.indicator(b)->parentWidget());  // laid out when shown
            if (!f.window.indicator(b)->textFits()) cut << f.window.indicator(b)->text();
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(" | ")));
        if (language == QLatin1String("English"))  // the catalogue's texts, not the form's defaults
            QCOMPARE(f.window.indicator("btnzs8")->text(), QStringLiteral("High oil temp. / low oil level"));
    }
};

QTEST_MAIN(TestReportWindows)
#include "tst_reportWindows.moc"
