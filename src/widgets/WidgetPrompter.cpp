#include "widgets/WidgetPrompter.h"

#include <QInputDialog>
#include <QMessageBox>

namespace tarsyn::widgets {

namespace {
const QString kTitle = QStringLiteral("Tarsyn");
}

void WidgetPrompter::information(const QString& text) { QMessageBox::information(m_parent, kTitle, text); }

bool WidgetPrompter::confirm(const QString& text) {
    return QMessageBox::question(m_parent, kTitle, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

bool WidgetPrompter::input(const QString& caption, const QString& prompt, QString& text) {
    bool ok = false;
    const QString entered = QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, text, &ok);
    text = ok ? entered : QString();
    return ok;
}

void WidgetPrompter::error(const QString& text) { QMessageBox::critical(m_parent, kTitle, text); }

}  // namespace tarsyn::widgets
