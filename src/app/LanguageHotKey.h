#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class QKeyEvent;

namespace tarsyn::app {

/// The language hot key Shift+End. Where the platform allows it (X11), a key grab on the root window
/// makes it system-wide: it fires while any window of any program has the focus. Elsewhere (Wayland,
/// offscreen, a grab refused because another program holds the key) an event filter on the
/// application catches Shift+End in every window of the program, modal dialogs and message boxes
/// included. Only one of the two paths is active at a time, so one press fires once. The key press is
/// consumed either way. Every press fires, key repeat included, as a system hot key does.
class LanguageHotKey : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    enum class Mode { Off, SystemWide, ApplicationWide };

    explicit LanguageHotKey(QObject* parent = nullptr);
    ~LanguageHotKey() override;

    /// Registers the key on the running application; `systemWide` false forces the application-wide
    /// path. Returns the path in use. Registering again first unregisters.
    Mode registerKey(bool systemWide = true);
    /// Releases the grab and removes the filters; safe to call more than once.
    void unregister();
    Mode mode() const { return m_mode; }

    /// True for Shift+End (also End of the keypad), with no other modifier.
    static bool isHotKey(const QKeyEvent* event);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void triggered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void useApplicationWide();

    Mode m_mode = Mode::Off;
    unsigned m_keycode = 0;  // X keycode of End while grabbed
};

}  // namespace tarsyn::app
