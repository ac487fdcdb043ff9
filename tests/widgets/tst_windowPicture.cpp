// Window pictures: the captured size, the bitmap file, and where a print puts the stretched picture.
#include <QLabel>
#include <QPdfWriter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include "widgets/WindowPicture.h"

using namespace tarsyn;

class TestWindowPicture : public QObject {
    Q_OBJECT
private slots:
    void placement_data();
    void placement();
    void captureLeavesTheMarginsOut();
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

void TestWindowPicture::captureLeavesTheMarginsOut() {
    QWidget window;
    window.resize(300, 200);
    window.setStyleSheet("background: rgb(10,200,30)");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize outer = window.frameGeometry().size();
    const QImage picture = widgets::CaptureWindow(&window, 10, 70);
    QCOMPARE(picture.size() / picture.devicePixelRatio(), QSize(outer.width() - 10, outer.height() - 70));
    QCOMPARE(QColor(picture.pixel(5, 5)), QColor(10, 200, 30));
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
