#include "app/LanguageHotKey.h"

#include <QtGui/qtguiglobal.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>

#if defined(TARSYN_HAVE_X11) && QT_CONFIG(xcb)
#define TARSYN_X11_GRAB 1
#include <QtGui/qguiapplication_platform.h>
#endif

namespace tarsyn::app {

#ifdef TARSYN_X11_GRAB
// Xlib's macros (KeyPress, None, Bool…) clash with Qt names, so the X11 calls live at the end of the file.
namespace x11 {
bool grab(unsigned& keycode);
void ungrab(unsigned keycode);
enum class Seen { Nothing, HotKey, GrabRefused };
Seen inspect(void* message, unsigned keycode);
}  // namespace x11
#endif

LanguageHotKey::LanguageHotKey(QObject* parent) : QObject(parent) {}

LanguageHotKey::~LanguageHotKey() { unregister(); }

bool LanguageHotKey::isHotKey(const QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    return event->key() == Qt::Key_End && mods == Qt::ShiftModifier;
}

LanguageHotKey::Mode LanguageHotKey::registerKey(bool systemWide) {
    unregister();
#ifdef TARSYN_X11_GRAB
    if (systemWide && qGuiApp && QGuiApplication::platformName() == QLatin1String("xcb") &&
        x11::grab(m_keycode)) {
        qApp->installNativeEventFilter(this);
        m_mode = Mode::SystemWide;
        return m_mode;
    }
#else
    Q_UNUSED(systemWide);
#endif
    useApplicationWide();
    return m_mode;
}

void LanguageHotKey::useApplicationWide() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        m_mode = Mode::ApplicationWide;
    }
}

void LanguageHotKey::unregister() {
    QCoreApplication* app = QCoreApplication::instance();
    if (m_mode == Mode::SystemWide) {
#ifdef TARSYN_X11_GRAB
        if (app) app->removeNativeEventFilter(this);
        if (qGuiApp) x11::ungrab(m_keycode);
#endif
    } else if (m_mode == Mode::ApplicationWide && app) {
        app->removeEventFilter(this);
    }
    m_mode = Mode::Off;
    m_keycode = 0;
}

bool LanguageHotKey::eventFilter(QObject* watched, QEvent* event) {
    // A platform key press reaches the top-level QWindow first and is then passed to the focus widget;
    // both pass this filter, so only widgets count. Consuming the press stops it travelling up the
    // parents, where it would pass here again.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        isHotKey(static_cast<QKeyEvent*>(event))) {
        emit triggered();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool LanguageHotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) {
    Q_UNUSED(result);
#ifdef TARSYN_X11_GRAB
    if (m_mode != Mode::SystemWide || eventType != QByteArrayLiteral("xcb_generic_event_t")) return false;
    switch (x11::inspect(message, m_keycode)) {
        case x11::Seen::HotKey:
            emit triggered();
            return true;
        case x11::Seen::GrabRefused:
            // Another program holds Shift+End: the key still works inside this program.
            unregister();
            useApplicationWide();
            return true;
        case x11::Seen::Nothing:
            break;
    }
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}

}  // namespace tarsyn::app

#ifdef TARSYN_X11_GRAB
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace tarsyn::app::x11 {

namespace {

// The grab must hold whatever the lock keys are: NumLock is usually Mod2, CapsLock is Lock.
const unsigned kModifierSets[] = {ShiftMask, ShiftMask | LockMask, ShiftMask | Mod2Mask,
                                  ShiftMask | LockMask | Mod2Mask};
constexpr uint8_t kGrabKeyOpcode = 33;  // X_GrabKey

bool g_refused = false;
int recordRefusal(Display*, XErrorEvent* e) {
    if (e->error_code == BadAccess && e->request_code == kGrabKeyOpcode) g_refused = true;
    return 0;
}

Display* display() {
    auto* x = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x ? x->display() : nullptr;
}

}  // namespace

bool grab(unsigned& keycode) {
    Display* dpy = display();
    if (!dpy) return false;
    keycode = XKeysymToKeycode(dpy, XK_End);
    if (keycode == 0) return false;
    const Window root = DefaultRootWindow(dpy);
    g_refused = false;
    XErrorHandler previous = XSetErrorHandler(recordRefusal);
    for (unsigned mods : kModifierSets)
        XGrabKey(dpy, int(keycode), mods, root, False, GrabModeAsync, GrabModeAsync);
    XSync(dpy, False);
    XSetErrorHandler(previous);
    if (g_refused) {
        ungrab(keycode);
        return false;
    }
    return true;
}

void ungrab(unsigned keycode) {
    Display* dpy = display();
    if (!dpy || keycode == 0) return;
    const Window root = DefaultRootWindow(dpy);
    for (unsigned mods : kModifierSets) XUngrabKey(dpy, int(keycode), mods, root);
    XFlush(dpy);
}

Seen inspect(void* message, unsigned keycode) {
    const auto* ev = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = ev->response_type & 0x7f;
    if (type == 0) {
        // An error the toolkit's connection received instead of Xlib: a refused grab comes this way.
        const auto* err = static_cast<const xcb_generic_error_t*>(message);
        if (err->error_code == XCB_ACCESS && err->major_code == kGrabKeyOpcode) return Seen::GrabRefused;
        return Seen::Nothing;
    }
    if (type != XCB_KEY_PRESS) return Seen::Nothing;
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    const unsigned others = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    if (key->detail == keycode && (key->state & XCB_MOD_MASK_SHIFT) && !(key->state & others))
        return Seen::HotKey;
    return Seen::Nothing;
}

}  // namespace tarsyn::app::x11
#endif
