#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

namespace tarsyn::config {
class Config;
class Messages;
}  // namespace tarsyn::config

namespace tarsyn::app {

/// The help window `TForm13`: one read-only text area `mmohelp` filled with the help file of the
/// current language (the language name followed by ".hlp", in the code page). The text is loaded when
/// the window is created and again at each press of the language hot key, never on opening.
class HelpWindow : public QDialog {
    Q_OBJECT
public:
    HelpWindow(const config::Config& config, const config::Messages& messages, QWidget* parent = nullptr);

    /// Loads the help file of `language`. A missing file leaves the design text "help" at creation
    /// and returns the file error ("Cannot open file "<path>". <reason>") for the caller to report;
    /// later, a language without a help file shows a text saying so (message "helpmissing" and the
    /// path), so the operator is never left with the previous language's help.
    QString load(const QString& language);

    QString text() const;

private:
    const config::Config& m_config;
    const config::Messages& m_messages;
    QPlainTextEdit* m_text = nullptr;
    bool m_loadedOnce = false;
};

}  // namespace tarsyn::app
