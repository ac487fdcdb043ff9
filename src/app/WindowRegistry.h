#pragma once

#include <QList>
#include <QString>
#include <QVector>
#include <functional>

class QWidget;

namespace tarsyn::app {

class LanguageSwitcher;

/// The program's windows as the composition root creates them, in that order, the main window first.
/// The one list behind the language hot key (each window's re-labelling, in creation order), the tray
/// icon's "is a secondary window open" test (every window but the first) and the titles the menu
/// commands give the windows they open.
class WindowRegistry {
public:
    using Relabel = std::function<void(const QString& language)>;

    struct Window {
        QString name;      ///< the window's objectName: "TForm1"…, "Tgsm"
        QWidget* widget;   ///< lives until the program ends
        QString titleKey;  ///< the message its title comes from: "Form5caption", "gsmcaption"
        Relabel relabel;   ///< what the hot key does to it; empty for a window it leaves alone (login)
    };

    /// Adds the window created next, kept whole on the screen each time it opens.
    void add(QWidget* widget, const QString& titleKey, Relabel relabel = {});

    const QVector<Window>& windows() const { return m_windows; }
    /// Every window after the main window, in creation order.
    QList<QWidget*> secondaryWindows() const;
    /// The title key of a listed window; empty for any other.
    QString titleKey(const QWidget* widget) const;

    /// Hands the switcher every window's re-labelling, in creation order.
    void registerRelabelling(LanguageSwitcher& switcher) const;

private:
    QVector<Window> m_windows;
};

}  // namespace tarsyn::app
