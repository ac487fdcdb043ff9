// Window pictures: the captured size, the bitmap file, and where a print puts the stretched picture.
#include <QLabel>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include "ScriptedPrompter.h"
#include "widgets/WindowPicture.h"

using namespace tarsyn;

class TestWindowPicture : public QObject {
    Q_OBJECT
private slots:
    void placement_data();
    void placement();
    void captureTakesTheClientAreaAboveTheButtons();
    void saveAsksBeforeReplacing_data();
    void saveAsksBeforeReplacing();
    void pdfIsAtTheSpecifiedEnlargement();
    void everyPictureOnAPageOfItsOwn();
    void bitmapIsWrittenAndReplaced();
    void bitmapIntoAMissingFolderFails();
    void pdfWhenThereIsNoPrinter();
};

void TestWindowPicture::placement_data() {
    QTest::addColumn<QSize>("page");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QRect>("expected");
    // left = (page width − s·w) / 2, top = (page height − s·h) / 3, truncated.
    QTest::newRow("curves 6x") << QSize(4800, 6600) << QSize(617, 400) << 6 << QRect(549, 1400, 3702, 2400);
    QTest::newRow("odd remainders") << QSize(4961, 7016) << QSize(101, 53) << 5
                                    << QRect(2228, 2250, 505, 265);
    QTest::newRow("wider than the page")
        << QSize(1000, 1000) << QSize(300, 100) << 5 << QRect(-250, 166, 1500, 500);
}

void TestWindowPicture::placement() {
    QFETCH(QSize, page);
    QFETCH(QSize, picture);
    QFETCH(int, scale);
    QFETCH(QRect, expected);
    QCOMPARE(widgets::PrintPlacement(page, picture, scale), expected);
}

// Whatever frame the window system draws (none offscreen), the picture is the client area from its
// top-left corner down to the given row, at the full width: the top row and the bottom content show.
void TestWindowPicture::captureTakesTheClientAreaAboveTheButtons() {
    QWidget window;
    window.resize(300, 200);
    window.setStyleSheet("background: rgb(10,200,30)");
    auto* top = new QLabel(&window);
    top->setGeometry(0, 0, 300, 10);
    top->setStyleSheet("background: rgb(200,0,0)");
    auto* content = new QLabel(&window);
    content->setGeometry(0, 150, 300, 10);  // the last row above the buttons
    content->setStyleSheet("background: rgb(0,0,200)");
    auto* button = new QLabel(&window);
    button->setGeometry(0, 170, 300, 30);
    button->setStyleSheet("background: rgb(250,250,0)");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(widgets::TopOfRow(&window, button), 170);  // no layout: no spacing to halve
    const QImage picture = widgets::CaptureClientArea(&window, widgets::TopOfRow(&window, button));
    QCOMPARE(picture.size() / picture.devicePixelRatio(), QSize(300, 170));
    QCOMPARE(QColor(picture.pixel(5, 5)), QColor(200, 0, 0));
    QCOMPARE(QColor(picture.pixel(295, 155)), QColor(0, 0, 200));
    QCOMPARE(QColor(picture.pixel(5, 165)), QColor(10, 200, 30));
}

void TestWindowPicture::saveAsksBeforeReplacing_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QStringList>("kinds");  // the boxes shown, in order
    QTest::newRow("new file") << false << false << true << QStringList{"info"};
    QTest::newRow("exists, No") << true << false << false << QStringList{"confirm"};
    QTest::newRow("exists, Yes") << true << true << true << QStringList{"confirm", "info"};
}

void TestWindowPicture::saveAsksBeforeReplacing() {
    QFETCH(bool, exists);
    QFETCH(bool, yes);
    QFETCH(bool, written);
    QFETCH(QStringList, kinds);
    QTemporaryDir dir;
    const QString path = dir.filePath("cx.bmp");
    QImage old(3, 3, QImage::Format_RGB32);
    old.fill(Qt::red);
    if (exists) QVERIFY(old.save(path, "BMP"));
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    test::ScriptedPrompter prompter;
    prompter.answers = {yes};
    const auto messages = [](const QString& key) {
        return key == QLatin1String("dl18") ? QStringLiteral("Saved successfully.")
                                            : QStringLiteral("%1 exists.");
    };
    QCOMPARE(widgets::SavePictureAsked(picture, path, prompter, messages), written);
    QStringList shownKinds;
    for (const QString& box : prompter.shown) shownKinds << box.section(':', 0, 0);
    QCOMPARE(shownKinds, kinds);
    const QString name = QDir::toNativeSeparators(path);
    if (exists) QCOMPARE(prompter.of("confirm"), QStringList{name + " exists."});
    // The real name of the file, never "cx.tmp".
    if (written) QCOMPARE(prompter.of("info"), QStringList{name + " Saved successfully."});
    QCOMPARE(QImage(path).size(), written ? QSize(20, 10) : QSize(3, 3));
}

// Where there is no printer the PDF's page has 600 dots an inch, so the alarm picture of 486 × 324
// pixels printed five times its size is 2430 × 1620 dots: 102.9 × 68.6 mm, not half of it.
void TestWindowPicture::pdfIsAtTheSpecifiedEnlargement() {
    QTemporaryDir dir;
    QPrinter printer;
    printer.setPageSize(QPageSize(QPageSize::A4));
    widgets::SetUpPdf(printer, dir.filePath("log"));
    QCOMPARE(printer.outputFileName(), dir.filePath("log.pdf"));
    QCOMPARE(printer.resolution(), 600);
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRect placed = widgets::PrintPlacement(area.size(), QSize(486, 324), 5);
    QCOMPARE(placed.size(), QSize(2430, 1620));
    QCOMPARE(qRound(placed.width() * 25.4 / printer.resolution()), 103);
    QCOMPARE(qRound(placed.height() * 25.4 / printer.resolution()), 69);
    QImage picture(486, 324, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QVERIFY(widgets::PrintOnPage(printer, picture, 5));
    QVERIFY(QFileInfo(dir.filePath("log.pdf")).size() > 0);
}

void TestWindowPicture::everyPictureOnAPageOfItsOwn() {
    if (!QPrinterInfo::defaultPrinter().isNull()) QSKIP("a default printer exists; printing would use it");
    QTemporaryDir dir;
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::green);
    const QString pdf = dir.filePath("pages.pdf");
    QString error;
    QVERIFY(widgets::PrintPictures({picture, picture, picture}, 5, nullptr, &error,
                                   [&](QWidget*) { return pdf; }));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r"), 3);
}

void TestWindowPicture::bitmapIsWrittenAndReplaced() {
    QTemporaryDir dir;
    QImage a(20, 10, QImage::Format_RGB32);
    a.fill(Qt::red);
    const QString path = dir.filePath("qx.bmp");
    QVERIFY(widgets::SaveBitmap(a, path));
    QImage b(30, 15, QImage::Format_RGB32);
    b.fill(Qt::blue);
    QVERIFY(widgets::SaveBitmap(b, path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(2), QByteArray("BM"));  // a Windows bitmap
    const QImage back(path);
    QCOMPARE(back.size(), QSize(30, 15));
    QCOMPARE(QColor(back.pixel(3, 3)), QColor(Qt::blue));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"qx.bmp"});  // no temporary left
}

void TestWindowPicture::bitmapIntoAMissingFolderFails() {
    QTemporaryDir dir;
    QImage a(2, 2, QImage::Format_RGB32);
    QString error;
    QVERIFY(!widgets::SaveBitmap(a, dir.filePath("no/such/cx.bmp"), &error));
    QVERIFY(error.contains("cx.bmp"));
}

// Offscreen there is no printer: the picture goes into the PDF the operator names; cancelling the
// choice writes nothing and is no error.
void TestWindowPicture::pdfWhenThereIsNoPrinter() {
    QTemporaryDir dir;
    QImage picture(60, 40, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QString error;
    const QString pdf = dir.filePath("report.pdf");
    QVERIFY(widgets::PrintPicture(picture, 5, nullptr, &error, [&](QWidget*) { return pdf; }));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(5), QByteArray("%PDF-"));
    QVERIFY(!widgets::PrintPicture(picture, 5, nullptr, &error, [](QWidget*) { return QString(); }));
    QVERIFY(error.isEmpty());
}

QTEST_MAIN(TestWindowPicture)
#include "tst_windowPicture.moc"
