#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

namespace tarsyn::config {
class Config;
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::app {

class Access;

/// How a showing of the login dialog ended.
enum class LoginResult {
    Granted,     ///< a correct password: level 99 or 100
    Closed,      ///< the title-bar close box: nothing changes
    Exit,        ///< the exit button: AccessLevel is 10000, the program ends without the question
    ForcedExit,  ///< the third wrong password at the first login
};

/// The pieces of the program the main window's lifecycle drives. Clean-up steps may throw.
struct ShellHooks {
    std::function<void()> closePort;           ///< the main window's serial port
    std::function<void()> unregisterHotKey;    ///< Shift+End language key
    std::function<void()> disconnectDatabase;  ///< history database
    std::function<LoginResult()> runLogin;     ///< the login dialog, modal; polling goes on meanwhile
    std::function<void()> loggedIn;            ///< a level was granted: tray icon visible and animated
    /// Slides the main window out (1200 ms) and hides it, then calls `done`. Default: Shell::slideOut.
    std::function<void(std::function<void()> done)> slideOut;
    /// Closes the main window (ends the program). Default: the attached window's close().
    std::function<void()> closeMainWindow;
    /// True when a hidden main window can be brought back (the tray icon is visible). Default: false.
    std::function<bool()> canHideToTray;
};

/// The main window's lifecycle, free of widgets: the settings check and the login at every showing,
/// the confirmed close (`dl2`), the forced exit, and hiding on minimise. Attach it to the main window
/// (an event filter) or call the handlers from the window's own events.
class Shell : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlideOutMs = 1200;
    static constexpr const char* kSettingsError = "system.ini Error!";
    /// Exit codes of the program's own refusals (0 is a normal end).
    static constexpr int kExitSettingsRefused = 1;  ///< system.ini missing, damaged or out of range
    static constexpr int kExitUsage = 2;            ///< an unknown option
    static constexpr int kExitLoginRefused = 3;     ///< three wrong passwords
    static constexpr int kExitAlreadyRunning = 4;   ///< another copy runs for this user

    Shell(const config::Config& config, Access& access, const config::Messages& messages,
          config::Prompter& prompter, ShellHooks hooks, QObject* parent = nullptr);

    /// Watches `window` (QWidget): a non-spontaneous show runs `mainWindowShown` once control returns
    /// to the event loop; a close asks `closeRequested`; a minimise hides the window when
    /// `canHideToTray` says it can be brought back, otherwise it stays an ordinary minimise so the task
    /// bar brings it back; a maximise shows the window at its normal size instead of maximising it. Also the
    /// target of the default slide-out and close.
    void attach(QObject* window);

    /// The seven inputs of section Set give the stored "jzm" (exact, case-sensitive comparison).
    bool settingsCheckPasses() const;
    /// Every showing of the main window: a failed check shows "system.ini Error!" and takes the forced
    /// exit (no login); otherwise the login runs. Re-entry while a login is open is ignored.
    void mainWindowShown();
    /// Any close of the main window: true when it may close. At AccessLevel 10000 it closes without a
    /// question or clean-up; otherwise `dl2`: Yes cleans up (errors ignored) and closes, No cancels.
    bool closeRequested();
    /// Clean-up (the first failure skips the rest), slide-out, AccessLevel := 10000, close.
    void forcedExit();
    /// Whether a minimise should hide the main window.
    bool hideOnMinimise() const;

    /// Default slide-out: moves `window` ("pos" property) left to right by its width over `ms`, hides
    /// it and calls `done` (also when another animation of its position cuts it short).
    static void slideOut(QObject* window, int ms, std::function<void()> done);

    /// What the program's end should report: 0, or the refusal that took the forced exit.
    int exitCode() const { return m_exitCode; }

    bool loginRunning() const { return m_loginRunning; }
    bool forcedExitRunning() const { return m_forcedExit; }

signals:
    /// The program is about to end through the forced exit or the login's exit button.
    void ending();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void closeWindow();

    const config::Config& m_config;
    Access& m_access;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    ShellHooks m_hooks;
    QPointer<QObject> m_window;
    bool m_loginRunning = false;
    bool m_forcedExit = false;
    bool m_showQueued = false;
    int m_exitCode = 0;
};

}  // namespace tarsyn::app
