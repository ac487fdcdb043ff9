#pragma once

#include <QString>
#include <functional>

namespace tarsyn::config {
class Config;
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::app {

/// Values of `AccessLevel` above the attempt count.
constexpr int kOrdinaryLevel = 99;
constexpr int kSuperLevel = 100;
/// The program is ending: the main window closes without asking.
constexpr int kExitingLevel = 10000;
/// Wrong passwords that end the program at the first login.
constexpr int kLoginAttempts = 3;

/// The program's one access variable: 0..3 counts confirm presses at the first login, 99 and 100 are
/// the ordinary and super levels, 10000 marks an exit without the close question. Created once by the
/// program and passed to the login, the shell and the settings gate.
class Access {
public:
    int AccessLevel() const { return m_level; }
    void setAccessLevel(int level) { m_level = level; }
    bool granted() const { return m_level == kOrdinaryLevel || m_level == kSuperLevel; }
    bool exiting() const { return m_level == kExitingLevel; }

private:
    int m_level = 0;
};

/// Gate of the settings command (menu "系统设置(&S)", tool button `dport20`): only the super level may
/// open the settings window; anyone else gets `dl29` and nothing happens. True when the window may open.
bool SettingsGate(const Access& access, const config::Messages& messages, config::Prompter& prompter);

/// What the login dialog does with a press of its confirm button or its exit button; no widgets.
///
/// Repeated logins (the dialog shown again after the main window was hidden and shown): once a level
/// has been granted, a correct password sets the level it belongs to (super only through the super
/// password), while a wrong password shows `dl33`, is counted only inside this login, never ends the
/// program and never lowers the level; the close box keeps the level. Until a level has been granted
/// (first login, or later logins after the first was left through the close box) the presses keep
/// counting in `AccessLevel` itself, so three wrong passwords in one run end the program: hiding and
/// showing the window does not buy fresh attempts.
class LoginLogic {
public:
    enum class Outcome { Retry, Granted, ForcedExit };

    LoginLogic(const config::Config& config, Access& access, const config::Messages& messages,
               config::Prompter& prompter);

    /// Called each time the dialog is about to be shown.
    void begin();
    /// The confirm button with the text taken out of the (already cleared) password edit.
    Outcome confirm(const QString& password);
    /// The exit button: `AccessLevel` := 10000; the caller then closes the main window.
    void exit();

    /// Presses of confirm during this showing of the dialog.
    int attemptsThisLogin() const { return m_attempts; }

    /// Told of every confirm press: granted, and the level granted (or the attempt count when not).
    /// Never given the typed text. The program journals it.
    void setResultHook(std::function<void(bool granted, int level)> hook) { m_hook = std::move(hook); }

private:
    const config::Config& m_config;
    Access& m_access;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    int m_attempts = 0;
    std::function<void(bool, int)> m_hook;
};

}  // namespace tarsyn::app
