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
    QInputDialog box(m_parent);
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(text);
    // The caption is the box's title: the box is wide enough for all of it and the frame's buttons.
    box.setMinimumWidth(box.fontMetrics().horizontalAdvance(caption) + 160);
    const bool ok = box.exec() == QDialog::Accepted;
    text = ok ? box.textValue() : QString();
    return ok;
}

void WidgetPrompter::error(const QString& text) { QMessageBox::critical(m_parent, kTitle, text); }

}  // namespace tarsyn::widgets
