#include "widgets/WindowPicture.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QWidget>

#include "config/Prompter.h"

namespace tarsyn::widgets {

QImage CaptureClientArea(QWidget* window, int bottom) {
    if (window->layout()) window->layout()->activate();  // geometry as it will be painted
    const int h = qBound(1, bottom, window->height());
    return window->grab(QRect(0, 0, window->width(), h)).toImage();
}

int TopOfRow(const QWidget* window, const QWidget* rowMember) {
    const int top = rowMember->mapTo(window, QPoint(0, 0)).y();
    const int spacing = window->layout() ? qMax(0, window->layout()->spacing()) : 0;
    return top - spacing / 2;
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

bool SavePictureAsked(const QImage& picture, const QString& path, config::Prompter& prompter,
                      const MessageText& messages) {
    const QString shown = QDir::toNativeSeparators(path);
    // Two windows write "cx.bmp": one never silently replaces the other's picture.
    if (QFileInfo::exists(path) && !prompter.confirm(messages(QStringLiteral("bmpexists")).arg(shown)))
        return false;
    QString error;
    if (!SaveBitmap(picture, path, &error)) {
        prompter.error(error);
        return false;
    }
    prompter.information(shown + QLatin1Char(' ') + messages(QStringLiteral("dl18")));
    return true;
}

QRect PrintPlacement(const QSize& page, const QSize& picture, int scale) {
    const int w = scale * picture.width();
    const int h = scale * picture.height();
    // Integer division truncates towards zero, as the placement asks, also for a picture wider than
    // the page.
    return QRect((page.width() - w) / 2, (page.height() - h) / 3, w, h);
}

bool PrintOnPages(QPrinter& printer, const QList<QImage>& pictures, int scale) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    // Device pixels of the printable area; the painter's origin is its top-left corner.
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    for (int i = 0; i < pictures.size(); ++i) {
        if (i > 0 && !printer.newPage()) {
            painter.end();
            return false;
        }
        painter.drawImage(PrintPlacement(area.size(), pictures[i].size(), scale), pictures[i]);
    }
    return painter.end();
}

bool PrintOnPage(QPrinter& printer, const QImage& picture, int scale) {
    return PrintOnPages(printer, {picture}, scale);
}

void SetUpPdf(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(kPdfResolution);
    printer.setOutputFileName(
        path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? path : path + QStringLiteral(".pdf"));
}

bool PrintPictures(const QList<QImage>& pictures, int scale, QWidget* parent, QString* error,
                   const PdfFileChooser& choosePdf, QString* pdfWritten) {
    if (error) error->clear();
    if (pdfWritten) pdfWritten->clear();
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    if (!defaultPrinter.isNull()) {
        QPrinter printer(defaultPrinter, QPrinter::HighResolution);
        if (PrintOnPages(printer, pictures, scale)) return true;
        if (error) *error = QStringLiteral("Cannot print on \"%1\"").arg(defaultPrinter.printerName());
        return false;
    }
    const QString path =
        choosePdf ? choosePdf(parent)
                  : QFileDialog::getSaveFileName(parent, QString(), QString(), QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty()) return false;
    QPrinter printer;
    SetUpPdf(printer, path);
    if (PrintOnPages(printer, pictures, scale)) {
        if (pdfWritten) *pdfWritten = printer.outputFileName();
        return true;
    }
    if (error) *error = QStringLiteral("Cannot write \"%1\"").arg(printer.outputFileName());
    return false;
}

bool PrintPicture(const QImage& picture, int scale, QWidget* parent, QString* error,
                  const PdfFileChooser& choosePdf, QString* pdfWritten) {
    return PrintPictures({picture}, scale, parent, error, choosePdf, pdfWritten);
}

}  // namespace tarsyn::widgets
