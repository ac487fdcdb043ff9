#include "app/WindowRegistry.h"

#include <QWidget>

#include "app/LanguageSwitcher.h"
#include "widgets/ScreenPlacement.h"

namespace tarsyn::app {

void WindowRegistry::add(QWidget* widget, const QString& titleKey, Relabel relabel) {
    m_windows.append({widget->objectName(), widget, titleKey, std::move(relabel)});
    // Wherever the window manager or the operator last put it, it opens whole on the screen.
    widgets::KeepOnScreen(widget);
}

QList<QWidget*> WindowRegistry::secondaryWindows() const {
    QList<QWidget*> list;
    for (int i = 1; i < m_windows.size(); ++i) list << m_windows[i].widget;
    return list;
}

QString WindowRegistry::titleKey(const QWidget* widget) const {
    for (const Window& w : m_windows)
        if (w.widget == widget) return w.titleKey;
    return QString();
}

void WindowRegistry::registerRelabelling(LanguageSwitcher& switcher) const {
    for (const Window& w : m_windows)
        if (w.relabel) switcher.add(w.name, w.relabel);
}

}  // namespace tarsyn::app
