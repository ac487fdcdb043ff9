#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <functional>

class QPrinter;
class QWidget;

namespace tarsyn::widgets {

/// The picture a window saves or prints of itself: its client area from the top-left corner,
/// (outer width − `widthLess`) × (outer height − `heightLess`) pixels, so that the button row at the
/// bottom is left out. Outer size is the frame's size where the window system gives one.
QImage CaptureWindow(QWidget* window, int widthLess, int heightLess);

/// Writes `picture` as a Windows bitmap at `path`, replacing an older file only once the new one is
/// complete. False with `error` set when it cannot be written.
bool SaveBitmap(const QImage& picture, const QString& path, QString* error = nullptr);

/// Where a picture stretched `scale` times lands on a page of `page` pixels: centred across
/// (left = (page width − scale·w) / 2) with its top a third of the free height down
/// (top = (page height − scale·h) / 3), both truncated.
QRect PrintPlacement(const QSize& page, const QSize& picture, int scale);

/// Draws `picture` stretched `scale` times on one page of `printer`, placed by PrintPlacement on the
/// printable area; nothing else is drawn. False when the printer cannot start the document.
bool PrintOnPage(QPrinter& printer, const QImage& picture, int scale);

/// Asks where a PDF should go when the machine has no printer; an empty name cancels.
using PdfFileChooser = std::function<QString(QWidget* parent)>;

/// Prints `picture` on the default printer or, where the machine has none, into a PDF file that
/// `choosePdf` names (by default a save dialog). Returns false with `error` set when printing failed,
/// and false with `error` empty when the operator cancelled the file choice.
bool PrintPicture(const QImage& picture, int scale, QWidget* parent, QString* error = nullptr,
                  const PdfFileChooser& choosePdf = {});

}  // namespace tarsyn::widgets
