#include "widgets/ScreenPlacement.h"

#include <QEvent>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace tarsyn::widgets {

QRect FittedGeometry(const QRect& client, QMargins frame, const QRect& available, const QSize& minimum) {
    if (frame.isNull()) frame = kAssumedFrame;
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    QSize size =
        client.size().boundedTo(QSize(available.width() - frameWidth, available.height() - frameHeight));
    size = size.expandedTo(minimum);
    // The frame's top left corner, moved right/down onto the screen, then left/up so its far edges are
    // on it too, and right/down again should the window be wider or taller than the screen.
    int x = client.x() - frame.left();
    int y = client.y() - frame.top();
    x = std::min(x, available.right() + 1 - (size.width() + frameWidth));
    y = std::min(y, available.bottom() + 1 - (size.height() + frameHeight));
    x = std::max(x, available.left());
    y = std::max(y, available.top());
    return QRect(QPoint(x + frame.left(), y + frame.top()), size);
}

namespace {

/// The filter behind KeepOnScreen, a child of the window it keeps.
class ScreenKeeper : public QObject {
public:
    explicit ScreenKeeper(QWidget* window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::Show) {
            // After the window's own show handling (a dialog centres itself over its parent then).
            QTimer::singleShot(0, this, [this] { fit(); });
            if (QWindow* handle = m_window->windowHandle(); handle && handle != m_handle) {
                m_handle = handle;
                handle->installEventFilter(this);
            }
            m_framed = false;
        } else if (watched == m_handle && event->type() == QEvent::Expose && !m_framed &&
                   m_handle->isExposed()) {
            // The window manager has framed and placed it now: once more with the real frame.
            m_framed = true;
            QTimer::singleShot(0, this, [this] { fit(); });
        }
        return false;
    }

private:
    void fit() {
        if (!m_window || !m_window->isVisible() || m_window->isMaximized() || m_window->isFullScreen())
            return;
        const QScreen* screen = m_window->screen();
        if (!screen) return;
        if (m_window->layout()) m_window->layout()->activate();
        const QRect frame = m_window->frameGeometry();
        const QRect client = m_window->geometry();
        const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                               frame.right() - client.right(), frame.bottom() - client.bottom());
        const QSize minimum = m_window->minimumSize().expandedTo(m_window->minimumSizeHint());
        const QRect fitted = FittedGeometry(client, margins, screen->availableGeometry(), minimum);
        // The client area's place and size: no doubt about whether the frame is counted.
        if (fitted != client) m_window->setGeometry(fitted);
    }

    QPointer<QWidget> m_window;
    QPointer<QWindow> m_handle;
    bool m_framed = false;
};

}  // namespace

void KeepOnScreen(QWidget* window) {
    if (!window) return;
    window->installEventFilter(new ScreenKeeper(window));
}

}  // namespace tarsyn::widgets
