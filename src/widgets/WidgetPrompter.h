#pragma once

#include <QFontMetrics>
#include <QPointer>
#include <QWidget>

#include "config/Prompter.h"

namespace tarsyn::widgets {

/// The width below which a box titled `title` would have its title cut by the window manager's title
/// bar (its icon and buttons beside the text).
int MessageBoxMinimumWidth(const QFontMetrics& metrics, const QString& title);

/// The program's message and input boxes, all titled "Tarsyn", shown over `parent` (the main window
/// once it exists).
class WidgetPrompter : public config::Prompter {
public:
    explicit WidgetPrompter(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParentWidget(QWidget* parent) { m_parent = parent; }

    void information(const QString& text) override;
    bool confirm(const QString& text) override;
    bool input(const QString& caption, const QString& prompt, QString& text) override;
    void error(const QString& text) override;

private:
    QPointer<QWidget> m_parent;
};

}  // namespace tarsyn::widgets
