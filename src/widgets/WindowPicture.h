#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <functional>

class QPrinter;
class QWidget;

namespace tarsyn::config {
class Prompter;
}

namespace tarsyn::widgets {

/// The picture a window saves or prints of itself: its whole client area from the top-left corner
/// down to `bottom` (the top of the button row it leaves out), at the window's full width. The frame
/// the window system draws (or does not draw) around the window plays no part, so nothing of the
/// window's content is cut whatever its thickness.
QImage CaptureClientArea(QWidget* window, int bottom);

/// The top of the row of widgets `rowMember` stands in, less half the layout's spacing, as the
/// `bottom` of CaptureClientArea: the picture ends just above the button row.
int TopOfRow(const QWidget* window, const QWidget* rowMember);

/// Writes `picture` as a Windows bitmap at `path`, replacing an older file only once the new one is
/// complete. False with `error` set when it cannot be written.
bool SaveBitmap(const QImage& picture, const QString& path, QString* error = nullptr);

/// Looks a message up in the current catalogue by key.
using MessageText = std::function<QString(const QString& key)>;

/// The save button of a window picture: where `path` exists already, asks first (`bmpexists` with
/// the file's name; No keeps the old file); then writes it and tells the file's real name followed
/// by `dl18`, or shows why it could not be written. True when the file was written.
bool SavePictureAsked(const QImage& picture, const QString& path, config::Prompter& prompter,
                      const MessageText& messages);

/// Where a picture stretched `scale` times lands on a page of `page` pixels: centred across
/// (left = (page width − scale·w) / 2) with its top a third of the free height down
/// (top = (page height − scale·h) / 3), both truncated.
QRect PrintPlacement(const QSize& page, const QSize& picture, int scale);

/// Draws each of `pictures` stretched `scale` times on a page of its own of `printer`, placed by
/// PrintPlacement on the printable area; nothing else is drawn. False when the printer cannot
/// start the document.
bool PrintOnPages(QPrinter& printer, const QList<QImage>& pictures, int scale);
/// One picture on one page.
bool PrintOnPage(QPrinter& printer, const QImage& picture, int scale);

/// A PDF file's pages have the resolution the enlargements are specified for, so a picture printed
/// `scale` times comes out at the size it would have on paper; Qt's high resolution would halve it.
constexpr int kPdfResolution = 600;
/// Makes `printer` write the PDF `path` (".pdf" added where missing) at kPdfResolution.
void SetUpPdf(QPrinter& printer, const QString& path);

/// Asks where a PDF should go when the machine has no printer; an empty name cancels.
using PdfFileChooser = std::function<QString(QWidget* parent)>;

/// Prints `pictures`, one a page, on the default printer or, where the machine has none, into a
/// PDF file that `choosePdf` names (by default a save dialog). Returns false with `error` set when
/// printing failed, and false with `error` empty when the operator cancelled the file choice. The
/// file written, when it went into a PDF, is put in `pdfWritten` (else it is emptied).
bool PrintPictures(const QList<QImage>& pictures, int scale, QWidget* parent, QString* error = nullptr,
                   const PdfFileChooser& choosePdf = {}, QString* pdfWritten = nullptr);
/// One picture.
bool PrintPicture(const QImage& picture, int scale, QWidget* parent, QString* error = nullptr,
                  const PdfFileChooser& choosePdf = {}, QString* pdfWritten = nullptr);

}  // namespace tarsyn::widgets
