#include "app/LoginDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/core/AccessLevel.h"
#include "config/LiveSettings.h"

namespace tarsyn::app {

namespace {
/// Password echo with "$" instead of the platform's bullet, shown at once (no delay showing the
/// typed character). Editing, paste and backspace stay the line edit's own.
class DollarEchoStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '$';
        if (hint == SH_LineEdit_PasswordMaskDelay) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
}  // namespace

LoginDialog::LoginDialog(LoginLogic& logic, const config::Messages& messages, Translator translate,
                         QWidget* parent)
    : QDialog(parent), m_logic(logic), m_messages(messages) {
    setObjectName(QStringLiteral("TForm16"));
    setModal(true);

    m_label = new QLabel(QStringLiteral("登录密码："), this);
    m_label->setObjectName(QStringLiteral("lbldlma"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("edtEdit2"));
    auto* style = new DollarEchoStyle;
    style->setParent(m_edit);  // the edit does not own a style it is given
    m_edit->setStyle(style);
    m_edit->setEchoMode(QLineEdit::Password);
    m_confirm = new QPushButton(QStringLiteral("确认"), this);
    m_confirm->setObjectName(QStringLiteral("btnButton1"));
    m_confirm->setDefault(true);
    m_exit = new QPushButton(QStringLiteral("退出"), this);
    m_exit->setObjectName(QStringLiteral("btnButton2"));
    m_exit->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(m_label);
    row->addWidget(m_edit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_confirm);
    buttons->addWidget(m_exit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);

    connect(m_confirm, &QPushButton::clicked, this, &LoginDialog::confirmPressed);
    connect(m_exit, &QPushButton::clicked, this, &LoginDialog::exitPressed);

    // Translated once, at creation, like its title.
    if (translate) translate(this);
    setWindowTitle(m_messages.text(QStringLiteral("Form16caption")));
}

LoginResult LoginDialog::runModal() {
    m_result = LoginResult::Closed;
    m_logic.begin();
    m_edit->clear();
    m_edit->setFocus();
    exec();
    return m_result;
}

void LoginDialog::confirmPressed() {
    const QString password = m_edit->text();
    m_edit->clear();
    switch (m_logic.confirm(password)) {
        case LoginLogic::Outcome::Granted:
            m_result = LoginResult::Granted;
            accept();
            break;
        case LoginLogic::Outcome::ForcedExit:
            m_result = LoginResult::ForcedExit;
            reject();
            break;
        case LoginLogic::Outcome::Retry:
            m_edit->setFocus();
            break;
    }
}

void LoginDialog::exitPressed() {
    m_logic.exit();
    m_result = LoginResult::Exit;
    reject();
}

}  // namespace tarsyn::app
