#pragma once

#include <QFlags>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QWidget;

namespace tarsyn::config {
class Config;
}  // namespace tarsyn::config

namespace tarsyn::widgets {

/// The kinds of control a window's catalogue pass translates; each window kind has its own set.
enum class ControlClass {
    Labels = 0x001,          ///< QLabel: text
    CheckBoxes = 0x002,      ///< QCheckBox: text
    PushButtons = 0x004,     ///< QPushButton (plain and styled): text and tooltip (".Hint")
    MenuItems = 0x008,       ///< QAction shown in a menu or menu bar, and QMenu titles
    ToolbarButtons = 0x010,  ///< QToolButton on a QToolBar, and QAction shown in a QToolBar
    GroupBoxes = 0x020,      ///< QGroupBox: title
    TabSheets = 0x040,       ///< page of a QTabWidget: its tab text
    RadioButtons = 0x080,    ///< QRadioButton: text
    SpeedButtons = 0x100,    ///< QToolButton outside a toolbar: text
};
Q_DECLARE_FLAGS(ControlClasses, ControlClass)
Q_DECLARE_OPERATORS_FOR_FLAGS(ControlClasses)

/// What each window kind translates.
namespace WindowControls {
inline constexpr ControlClasses kMainWindow{ControlClass::Labels,         ControlClass::CheckBoxes,
                                            ControlClass::PushButtons,    ControlClass::MenuItems,
                                            ControlClass::ToolbarButtons, ControlClass::GroupBoxes,
                                            ControlClass::TabSheets};
inline constexpr ControlClasses kSettingsWindow{ControlClass::Labels,      ControlClass::CheckBoxes,
                                                ControlClass::PushButtons, ControlClass::GroupBoxes,
                                                ControlClass::MenuItems,   ControlClass::SpeedButtons};
/// Sensor curve page `TForm7`.
inline constexpr ControlClasses kCurvePage{ControlClass::Labels, ControlClass::PushButtons,
                                           ControlClass::GroupBoxes};
/// Control bits page `TForm9`.
inline constexpr ControlClasses kControlBitsPage{ControlClass::Labels, ControlClass::PushButtons,
                                                 ControlClass::GroupBoxes, ControlClass::RadioButtons};
/// Print window `TForm12` and alarm history window `TForm17`.
inline constexpr ControlClasses kTabbedWindow{ControlClass::Labels, ControlClass::PushButtons,
                                              ControlClass::GroupBoxes, ControlClass::TabSheets};
/// SMS page `Tgsm`, curves window `TForm5`, pages `TForm6`, `TForm8`, `TForm10`, port dialog `TForm11`.
inline constexpr ControlClasses kPlainWindow{ControlClass::Labels, ControlClass::PushButtons};
/// Login dialog `TForm16`: labels and its (styled) push buttons.
inline constexpr ControlClasses kLoginDialog{ControlClass::Labels, ControlClass::PushButtons};
}  // namespace WindowControls

/// The set for a window by its objectName (`TForm1`, `TForm2`, `Tgsm`…); empty for the about box and
/// the help window, which are not translated control by control, and for unknown names.
ControlClasses ControlClassesForWindow(const QString& windowObjectName);

/// The catalogue file of a language: the name followed by ".lag".
QString CatalogueFileName(const QString& language);

/// The languages available in the data folder: every "*.lag" file (hidden ones too), extension removed,
/// sorted by name without regard to case so that the order is the same on every file system.
QStringList LanguageCatalogues(const QString& dataDir);

/// Re-labels `window` in `language`: for every object the window owns (creation order) of a class in
/// `classes` with an objectName, reads "<objectName>.Caption" from section "Translations" with the current
/// text as the default and sets it; push buttons also "<objectName>.Hint" for the tooltip. A present but
/// empty value sets an empty text; a missing key (or a missing catalogue) keeps the current text. The
/// catalogue is read once per call. Returns the number of texts set.
int SetActiveLanguage(QWidget* window, const config::Config& config, const QString& language,
                      ControlClasses classes);

/// Every text `SetActiveLanguage` would set on `window` with `classes`: its catalogue key
/// ("<objectName>.Caption" or ".Hint") and the text the control shows now.
QList<QPair<QString, QString>> TranslatableTexts(QWidget* window, ControlClasses classes);

/// One "Translations" entry read by name, "0" when missing (the curves window's channel names).
QString TranslationText(const config::Config& config, const QString& language, const QString& key);

/// The help file of a language: the name followed by ".hlp".
QString HelpFileName(const QString& language);

/// Loads the help text of `language` (data folder, code page of `config`). On failure returns false and
/// sets `error` to "Cannot open file "<path>". <reason>", leaving `text` untouched.
bool LoadHelpText(const config::Config& config, const QString& language, QString& text, QString& error);

}  // namespace tarsyn::widgets
