#include "widgets/WindowPicture.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileDialog>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QWidget>

namespace tarsyn::widgets {

QImage CaptureWindow(QWidget* window, int widthLess, int heightLess) {
    const QRect frame = window->frameGeometry();
    const QSize outer = frame.isValid() ? frame.size() : window->size();
    const int w = qMax(1, outer.width() - widthLess);
    const int h = qMax(1, outer.height() - heightLess);
    // The client area may be smaller than the outer size less the margins; grab() then fills the rest
    // with the window's background, as a screen capture of the frame would.
    return window->grab(QRect(0, 0, w, h)).toImage();
}

bool SaveBitmap(const QImage& picture, const QString& path, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    if (!picture.save(&file, "BMP")) {
        if (error) *error = QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QRect PrintPlacement(const QSize& page, const QSize& picture, int scale) {
    const int w = scale * picture.width();
    const int h = scale * picture.height();
    // Integer division truncates towards zero, as the placement asks, also for a picture wider than
    // the page.
    return QRect((page.width() - w) / 2, (page.height() - h) / 3, w, h);
}

bool PrintOnPage(QPrinter& printer, const QImage& picture, int scale) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    // Device pixels of the printable area; the painter's origin is its top-left corner.
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    painter.drawImage(PrintPlacement(area.size(), picture.size(), scale), picture);
    return painter.end();
}

bool PrintPicture(const QImage& picture, int scale, QWidget* parent, QString* error,
                  const PdfFileChooser& choosePdf) {
    if (error) error->clear();
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    if (!defaultPrinter.isNull()) {
        QPrinter printer(defaultPrinter, QPrinter::HighResolution);
        if (PrintOnPage(printer, picture, scale)) return true;
        if (error) *error = QStringLiteral("Cannot print on \"%1\"").arg(defaultPrinter.printerName());
        return false;
    }
    const QString path =
        choosePdf ? choosePdf(parent)
                  : QFileDialog::getSaveFileName(parent, QString(), QString(), QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty()) return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(
        path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? path : path + QStringLiteral(".pdf"));
    if (PrintOnPage(printer, picture, scale)) return true;
    if (error) *error = QStringLiteral("Cannot write \"%1\"").arg(printer.outputFileName());
    return false;
}

}  // namespace tarsyn::widgets
