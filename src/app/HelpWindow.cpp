#include "app/HelpWindow.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/LiveSettings.h"
#include "widgets/Catalogue.h"

namespace tarsyn::app {

HelpWindow::HelpWindow(const config::Config& config, const config::Messages& messages, QWidget* parent)
    : QDialog(parent), m_config(config), m_messages(messages) {
    setObjectName(QStringLiteral("TForm13"));
    setWindowTitle(QStringLiteral("Help"));
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("mmohelp"));
    m_text->setReadOnly(true);
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setBackgroundRole(QPalette::Button);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setPlainText(QStringLiteral("help"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);
    resize(640, 520);
}

QString HelpWindow::load(const QString& language) {
    QString text, error;
    const bool first = !m_loadedOnce;
    m_loadedOnce = true;
    if (widgets::LoadHelpText(m_config, language, text, error)) {
        m_text->setPlainText(text);
        return QString();
    }
    // At creation the design text stays and the caller reports the error once. A later language
    // without help says so instead of leaving the previous language's text.
    if (!first)
        m_text->setPlainText(m_messages.text(QStringLiteral("helpmissing")) + QLatin1Char('\n') +
                             QDir::toNativeSeparators(m_config.filePath(widgets::HelpFileName(language))));
    return error;
}

QString HelpWindow::text() const { return m_text->toPlainText(); }

}  // namespace tarsyn::app
