#pragma once

#include <QString>
#include <functional>

#include "reports/AlarmRecord.h"
#include "widgets/WindowPicture.h"

class QPushButton;
class QWidget;

namespace tarsyn::config {
class Prompter;
}
namespace tarsyn::link {
class Clock;
}

namespace tarsyn::reports::ui {

/// Asks for the name of a file to write; an empty name cancels.
using FileChooser = std::function<QString(QWidget* parent)>;

/// What the alarm history and report windows need from the program besides their logic.
struct WindowServices {
    MessageLookup messages;                   ///< current catalogue's Messages ("dl18", "E05"…)
    config::Prompter* prompter = nullptr;     ///< boxes
    const link::Clock* clock = nullptr;       ///< the report's date and time stamp
    QString picturePath;                      ///< "cx.bmp" in the executable's folder
    std::function<QString()> entryName;       ///< the main window's current port entry
    std::function<void(QWidget*)> translate;  ///< catalogue texts of the window's controls
    widgets::PdfFileChooser choosePdf;        ///< where a PDF goes (empty: a save dialog)
    FileChooser chooseCsv;                    ///< where the CSV goes (empty: a save dialog)
};

/// Pictures of the report windows are printed at this scale.
constexpr int kPicturePrintScale = 5;

/// A push button named `name` (the catalogues key on it) that Enter does not press.
QPushButton* NamedButton(const char* name, const QString& text, QWidget* parent);

/// The window picture saved as "cx.bmp" (asking before it replaces one), then the file's name and
/// `dl18`; a failed write shows its error.
void SavePicture(const WindowServices& services, const QImage& picture);
/// The window pictures printed at `scale`, one a page (into a PDF the user chooses when there is no
/// printer, then `pdfwritten` names it); a failure shows its error, a cancel nothing.
void PrintPictures(const WindowServices& services, const QList<QImage>& pictures, int scale, QWidget* parent);

}  // namespace tarsyn::reports::ui
