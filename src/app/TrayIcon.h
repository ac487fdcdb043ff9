#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QSystemTrayIcon;
class QWidget;

namespace tarsyn::app {

/// The main window's notification-area icon: hidden at start, shown and cycling through its pictures
/// every 400 ms after a successful login; a click hides or shows the main window unless one of the
/// secondary windows is open. Where the desktop has no notification area nothing is shown, and the
/// shell then minimises the main window normally instead of hiding it (see canBringBack).
class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int kFrameIntervalMs = 400;

    explicit TrayIcon(QWidget* mainWindow, QObject* parent = nullptr);

    /// Windows whose visibility blocks the click (settings, about, pages, port dialog, login…).
    void setSecondaryWindows(const QList<QWidget*>& windows);

    /// Whether the desktop offers a notification area.
    bool available() const;
    /// A successful login: visible and animated.
    void startAnimation();
    /// True once the icon is showing, so a hidden main window can be brought back through it.
    bool canBringBack() const { return m_shown && available(); }
    bool animating() const { return m_timer.isActive(); }
    bool shown() const { return m_shown; }
    int frameIndex() const { return m_frame; }
    QTimer& timer() { return m_timer; }

    /// A balloon message from the icon (a new alarm), where the desktop has a notification area and
    /// the icon is showing.
    void notify(const QString& title, const QString& text);

    /// The pictures the icon cycles through: a generator symbol whose ring pulses.
    static QList<QIcon> frames();
    /// Frame `frame` (0-3) drawn at `size` × `size` pixels; frame 0 is also the program's icon in the
    /// desktop's menus, rendered at every icon size when the program is packaged.
    static QImage picture(int frame, int size);

public slots:
    /// The icon's click handler.
    void click();

private:
    void nextFrame();

    QPointer<QWidget> m_mainWindow;
    QList<QPointer<QWidget>> m_secondary;
    QSystemTrayIcon* m_tray = nullptr;  // only where the desktop has a notification area
    QList<QIcon> m_frames;
    QTimer m_timer;
    int m_frame = 0;
    bool m_shown = false;
};

}  // namespace tarsyn::app
