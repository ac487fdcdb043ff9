#include "widgets/WidgetPrompter.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QSpacerItem>

namespace tarsyn::widgets {

namespace {
const QString kTitle = QStringLiteral("Tarsyn");

/// Beside the title, a window manager's title bar holds the window's icon and its three buttons.
constexpr int kTitleBarRoom = 160;

/// Shows `box` and returns the button pressed. Qt makes a box only as wide as its text and the title
/// plus 50 px, which a title bar cuts to "T…n" over a short message: a row as wide as the title and
/// the title bar's buttons keeps the box wider.
int run(QMessageBox& box) {
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(MessageBoxMinimumWidth(box.fontMetrics(), box.windowTitle()), 0,
                                      QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box.exec();
}
}  // namespace

int MessageBoxMinimumWidth(const QFontMetrics& metrics, const QString& title) {
    return metrics.horizontalAdvance(title) + kTitleBarRoom;
}

void WidgetPrompter::information(const QString& text) {
    QMessageBox box(QMessageBox::Information, kTitle, text, QMessageBox::Ok, m_parent);
    run(box);
}

bool WidgetPrompter::confirm(const QString& text) {
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::No);
    return run(box) == QMessageBox::Yes;
}

bool WidgetPrompter::input(const QString& caption, const QString& prompt, QString& text) {
    QInputDialog box(m_parent);
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(text);
    // The caption is the box's title: the box is wide enough for all of it and the frame's buttons.
    box.setMinimumWidth(MessageBoxMinimumWidth(box.fontMetrics(), caption));
    const bool ok = box.exec() == QDialog::Accepted;
    text = ok ? box.textValue() : QString();
    return ok;
}

void WidgetPrompter::error(const QString& text) {
    QMessageBox box(QMessageBox::Critical, kTitle, text, QMessageBox::Ok, m_parent);
    run(box);
}

}  // namespace tarsyn::widgets
