#include "app/core/Shell.h"

#include <QEvent>
#include <QPoint>
#include <QPropertyAnimation>
#include <QTimer>
#include <cstdio>
#include <exception>

#include "app/core/AccessLevel.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"

namespace tarsyn::app {

Shell::Shell(const config::Config& config, Access& access, const config::Messages& messages,
             config::Prompter& prompter, ShellHooks hooks, QObject* parent)
    : QObject(parent),
      m_config(config),
      m_access(access),
      m_messages(messages),
      m_prompter(prompter),
      m_hooks(std::move(hooks)) {}

void Shell::attach(QObject* window) {
    if (m_window) m_window->removeEventFilter(this);
    m_window = window;
    if (window) window->installEventFilter(this);
}

bool Shell::settingsCheckPasses() const { return config::SettingsCheckProblem(m_config).isEmpty(); }

void Shell::mainWindowShown() {
    if (m_loginRunning || m_forcedExit || m_access.exiting()) return;
    const QString problem = config::SettingsCheckProblem(m_config);
    if (!problem.isEmpty()) {
        // The one message that does not come from a catalogue: the settings that name it are suspect.
        // The second line says which file and what to do; standard error has it too, for a start
        // without a screen.
        const QString text = QString::fromLatin1(kSettingsError) + QLatin1Char('\n') + problem;
        std::fprintf(stderr, "%s\n", qPrintable(text));
        m_prompter.information(text);
        m_exitCode = kExitSettingsRefused;
        forcedExit();
        return;
    }
    if (!m_hooks.runLogin) return;
    m_loginRunning = true;
    const LoginResult result = m_hooks.runLogin();
    m_loginRunning = false;
    switch (result) {
        case LoginResult::Granted:
            if (m_hooks.loggedIn) m_hooks.loggedIn();
            break;
        case LoginResult::Closed:
            break;
        case LoginResult::Exit:
            m_access.setAccessLevel(kExitingLevel);
            emit ending();
            closeWindow();
            break;
        case LoginResult::ForcedExit:
            // Whoever started the program (a script, a service manager) learns why it ended.
            std::fprintf(stderr, "Tarsyn: %d wrong passwords at the login; the program ends.\n",
                         kLoginAttempts);
            m_exitCode = kExitLoginRefused;
            forcedExit();
            break;
    }
}

bool Shell::closeRequested() {
    if (m_access.exiting()) return true;
    if (!m_prompter.confirm(m_messages.text(QStringLiteral("dl2")))) return false;
    // The program ends whatever happens here: each step is tried, errors are ignored.
    for (const auto* step : {&m_hooks.closePort, &m_hooks.unregisterHotKey, &m_hooks.disconnectDatabase}) {
        try {
            if (*step) (*step)();
        } catch (const std::exception&) {
        }
    }
    return true;
}

void Shell::forcedExit() {
    if (m_forcedExit) return;
    m_forcedExit = true;
    emit ending();
    // The first failing clean-up step ends the clean-up; the program ends all the same.
    try {
        for (const auto* step : {&m_hooks.closePort, &m_hooks.unregisterHotKey, &m_hooks.disconnectDatabase})
            if (*step) (*step)();
    } catch (const std::exception&) {
    }
    auto finish = [this] {
        m_access.setAccessLevel(kExitingLevel);
        closeWindow();
    };
    if (m_hooks.slideOut)
        m_hooks.slideOut(finish);
    else if (m_window)
        slideOut(m_window, kSlideOutMs, finish);
    else
        finish();
}

bool Shell::hideOnMinimise() const { return m_hooks.canHideToTray && m_hooks.canHideToTray(); }

void Shell::closeWindow() {
    if (m_hooks.closeMainWindow)
        m_hooks.closeMainWindow();
    else if (m_window)
        QMetaObject::invokeMethod(m_window, "close");
}

void Shell::slideOut(QObject* window, int ms, std::function<void()> done) {
    if (!window) {
        if (done) done();
        return;
    }
    const QPoint start = window->property("pos").toPoint();
    const int width = window->property("width").toInt();
    auto* animation = new QPropertyAnimation(window, "pos", window);
    animation->setDuration(ms);
    animation->setStartValue(start);
    animation->setEndValue(start + QPoint(width, 0));
    QPointer<QObject> target(window);
    // Stopped rather than finished: another animation of the same property stops this one without
    // "finished", and the forced exit must still go on.
    QObject::connect(animation, &QAbstractAnimation::stateChanged, window,
                     [target, done](QAbstractAnimation::State now, QAbstractAnimation::State) {
                         if (now != QAbstractAnimation::Stopped) return;
                         // Only the forced exit slides the window out, and the window closes right after: the
                         // position is not put back.
                         if (target) QMetaObject::invokeMethod(target, "hide");
                         if (done) done();
                     });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

bool Shell::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::Show:
            // Our own show() calls (start-up, tray icon) are not spontaneous; the window system
            // restoring a minimised window is, and that is no new showing. The login runs once the
            // show has finished, not inside the show event.
            if (!event->spontaneous() && !m_showQueued) {
                m_showQueued = true;
                QTimer::singleShot(0, this, [this] {
                    m_showQueued = false;
                    if (m_window && m_window->property("visible").toBool()) mainWindowShown();
                });
            }
            break;
        case QEvent::Close:
            if (!closeRequested()) {
                event->ignore();
                return true;
            }
            break;
        case QEvent::WindowStateChange:
            if (m_window->property("maximized").toBool()) {
                // The system maximise command shows the window, at its own size, instead of
                // maximising it.
                QPointer<QObject> w(m_window);
                QTimer::singleShot(0, this, [w] {
                    if (w) QMetaObject::invokeMethod(w, "showNormal");
                });
            } else if (m_window->property("minimized").toBool() && hideOnMinimise()) {
                QPointer<QObject> w(m_window);
                QTimer::singleShot(0, this, [w] {
                    if (!w) return;
                    // Leave the minimised state first, or the next show() would show it minimised.
                    QMetaObject::invokeMethod(w, "showNormal");
                    QMetaObject::invokeMethod(w, "hide");
                });
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tarsyn::app
