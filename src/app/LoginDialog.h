#pragma once

#include <QDialog>
#include <functional>

#include "app/core/Shell.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarsyn::config {
class Messages;
}  // namespace tarsyn::config

namespace tarsyn::app {

class LoginLogic;

/// The login dialog `TForm16`: a password edit that shows "$" for each character, confirm and exit.
/// Translated once, when it is created; the language hot key leaves it alone.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    /// Applies the catalogue's control texts to a window (labels, push buttons with hints).
    using Translator = std::function<void(QWidget*)>;

    LoginDialog(LoginLogic& logic, const config::Messages& messages, Translator translate = {},
                QWidget* parent = nullptr);

    /// Shows the dialog modally (the main window's timers keep running) and tells how it ended.
    LoginResult runModal();
    /// How the last showing ended (Closed until a button ends it).
    LoginResult result() const { return m_result; }

    QLineEdit* passwordEdit() const { return m_edit; }

public slots:
    /// `btnButton1`: take the text out of the edit, clear it, check it.
    void confirmPressed();
    /// `btnButton2`: AccessLevel 10000; the caller closes the main window without its question.
    void exitPressed();

private:
    LoginLogic& m_logic;
    const config::Messages& m_messages;
    QLabel* m_label;
    QLineEdit* m_edit;
    QPushButton* m_confirm;
    QPushButton* m_exit;
    LoginResult m_result = LoginResult::Closed;
};

}  // namespace tarsyn::app
