// Program entry: `tarsyn --init-config` makes a consistent system.ini; otherwise the single-instance
// guard, the windows in their creation order, the login at every showing of the main window, polling.
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <memory>

#include "widgets/Catalogue.h"
#include "app/LanguageHotKey.h"
#include "app/LanguageSwitcher.h"
#include "app/LoginDialog.h"
#include "app/MainWindow.h"
#include "app/PortDialog.h"
#include "app/SettingsWindow.h"
#include "app/TrayIcon.h"
#include "widgets/WidgetPrompter.h"
#include "app/core/AccessLevel.h"
#include "config/Config.h"
#include "config/DataFolder.h"
#include "config/InitConfig.h"
#include "config/LiveSettings.h"
#include "app/core/PortSelection.h"
#include "app/core/SettingsLogic.h"
#include "app/core/Shell.h"
#include "app/core/SingleInstance.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "link/Clock.h"
#include "link/QtSerialPort.h"
#include "monitor/PollCycle.h"

using namespace tarsyn;

namespace {

const char* const kUsage =
    "Usage: tarsyn [--data-dir DIR] [--code-page NAME]\n"
    "       tarsyn --init-config [--data-dir DIR] [--code-page NAME] [--language NAME]\n"
    "              [--port NAME [--remark TEXT]]... [--super-password TEXT --ordinary-password TEXT] "
    "[--force]\n"
    "\n"
    "  --data-dir DIR     data folder with system.ini, the catalogues, help files and kalde.db\n"
    "                     (default: the folder of this executable)\n"
    "  --code-page NAME   code page of system.ini, the catalogues and help files (default GBK)\n"
    "  --init-config      write a consistent system.ini and exit; asks for the passwords unless given\n";

/// The value of `--name VALUE` or `--name=VALUE`, the last one given; `fallback` when absent.
QString optionValue(const QStringList& args, const QString& name, const QString& fallback) {
    QString value = fallback;
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == name && i + 1 < args.size())
            value = args.at(++i);
        else if (args.at(i).startsWith(name + QLatin1Char('=')))
            value = args.at(i).mid(name.size() + 1);
    }
    return value;
}

/// Reads a password from the terminal without echo (or a plain line when stdin is not a terminal).
bool readPassword(const QString& prompt, QString& password) {
    QTextStream err(stderr);
    err << prompt << Qt::flush;
    const bool tty = isatty(STDIN_FILENO);
    termios saved{};
    if (tty && tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QTextStream in(stdin);
    const bool ok = in.readLineInto(&password);
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        err << "\n" << Qt::flush;
    }
    return ok;
}

// SIGTERM, SIGINT and SIGHUP end the program through its event loop, so the port and the history
// database are closed as at a normal exit. The handler only writes a byte; the loop does the rest.
int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void quitOnTerminationSignals(QObject* context) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        // exit(), not quit(): quit() would ask the main window to close, and its dl2 question has
        // nobody to answer it. Every running loop, a modal dialog's included, ends here.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

int runInitConfig(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const config::DataFolder folder = config::ResolveDataFolder(args);
    if (!folder.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(folder.error));
        return 1;
    }
    const QByteArray codePage =
        optionValue(args, QStringLiteral("--code-page"), QStringLiteral("GBK")).toLatin1();
    const config::InitConfigResult result = config::RunInitConfig(args, folder.path, readPassword, codePage);
    std::fprintf(result.exitCode == 0 ? stdout : stderr, "%s\n", qPrintable(result.message));
    return result.exitCode;
}

}  // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--init-config") return runInitConfig(argc, argv);
    }

    // A second copy ends at once and silently; the running one is left alone.
    app::SingleInstance instance;
    if (!instance.acquire()) return 0;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarsyn"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarsyn"));
    // Hidden to the tray is not closed: the program ends when the main window closes, not when the
    // last visible window does.
    QApplication::setQuitOnLastWindowClosed(false);
    quitOnTerminationSignals(&application);

    widgets::WidgetPrompter prompter;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool known = a == "--data-dir" || a == "--code-page" || a.startsWith("--data-dir=") ||
                           a.startsWith("--code-page=");
        if (!known) {
            std::fprintf(stderr, "Unknown option: %s\n%s", qPrintable(a), kUsage);
            return 2;
        }
        if (!a.contains(QLatin1Char('='))) ++i;
    }
    const config::DataFolder folder = config::ResolveDataFolder(args);
    if (!folder.ok()) {
        prompter.error(folder.error);
        return 1;
    }
    const QByteArray codePage =
        optionValue(args, QStringLiteral("--code-page"), QStringLiteral("GBK")).toLatin1();

    config::Config config(folder.path, codePage);
    if (!config.codePageSupported()) {
        prompter.error(QStringLiteral("Unknown code page: %1").arg(QString::fromLatin1(codePage)));
        return 1;
    }
    config::LiveSettings settings;
    settings.load(config);
    config::Messages messages(config, settings);
    link::QtSerialPort port;
    link::ThreadSleeper sleeper;
    link::SystemClock clock;
    app::Access access;
    auto translate = [&](QWidget* w) {
        widgets::SetActiveLanguage(w, config, settings.language(), widgets::ControlClassesForWindow(w->objectName()));
    };

    // Windows, created once in their fixed order and shown and hidden until the program ends.
    app::MainWindow window(config, settings, messages, port, sleeper, clock, prompter);
    prompter.setParentWidget(&window);
    // The main window's creation goes on: the language hot key, then the history database.
    app::LanguageHotKey hotKey;
    hotKey.registerKey();
    // History: a database that cannot be opened is reported once; the program runs on without it.
    std::unique_ptr<history::HistoryStore> store = history::HistoryStore::open(config);
    history::HistoryRecorder recorder(
        *store, clock, [&settings] { return settings.dayIntervalText(); },
        [&settings] { return settings.hourIntervalText(); },
        [&prompter](const QString& m) { prompter.error(m); });
    QObject::connect(&recorder, &history::HistoryRecorder::statusChanged, &window,
                     &app::MainWindow::setHistoryStatus);
    window.poll().setHistorySink(&recorder);
    if (!store->isOpen()) {
        window.setHistoryStatus(false, recorder.statusText());
        prompter.error(store->lastError());
    }

    app::SettingsLogic settingsLogic(config, settings, messages, prompter);
    app::SettingsWindow settingsWindow(settingsLogic, settings, messages, translate, &window);
    app::PollCyclePortTarget portTarget(window.poll(), window, messages);
    app::PortSelection portSelection(settings, portTarget);
    app::PortDialog portDialog(portSelection, messages, translate, &window);
    app::LoginLogic loginLogic(config, access, messages, prompter);
    app::LoginDialog loginDialog(loginLogic, messages, translate, &window);

    // Shift+End cycles the language; each window re-labels itself, in the handler's order.
    app::LanguageSwitcher switcher(settings, widgets::LanguageCatalogues(folder.path));
    switcher.add(QStringLiteral("TForm1"), [&](const QString&) { window.relabel(); });
    switcher.add(QStringLiteral("TForm2"), [&](const QString&) { settingsWindow.relabel(); });
    switcher.add(QStringLiteral("TForm11"), [&](const QString&) { portDialog.relabel(); });
    QObject::connect(&hotKey, &app::LanguageHotKey::triggered, &switcher, &app::LanguageSwitcher::advance);

    app::TrayIcon tray(&window);
    tray.setSecondaryWindows({&settingsWindow, &portDialog, &loginDialog});

    // Lifecycle: every showing checks system.ini and asks for the password; the close asks dl2; the
    // forced exit slides the window out.
    app::ShellHooks hooks;
    hooks.closePort = [&] { port.ClosePort(); };
    hooks.unregisterHotKey = [&] { hotKey.unregister(); };
    hooks.disconnectDatabase = [&] {
        window.poll().setHistorySink(nullptr);
        store->disconnect();
    };
    hooks.runLogin = [&] { return loginDialog.runModal(); };
    hooks.loggedIn = [&] { tray.startAnimation(); };
    hooks.canHideToTray = [&] { return tray.canBringBack(); };
    app::Shell shell(config, access, messages, prompter, hooks);
    shell.attach(&window);
    QObject::connect(&shell, &app::Shell::ending, &window, [&window] { window.poll().stopTimer(); });

    QObject::connect(&window, &app::MainWindow::settingsRequested, &window, [&] {
        if (app::SettingsGate(access, messages, prompter)) settingsWindow.exec();
    });
    QObject::connect(&window, &app::MainWindow::portDialogRequested, &window, [&] { portDialog.runModal(); });
    // The program ends when the main window has closed (the shell decides whether it may).
    QObject::connect(&window, &app::MainWindow::closed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    window.show();
    const int code = application.exec();
    window.poll().stopTimer();
    window.poll().setHistorySink(nullptr);
    try {
        port.ClosePort();
    } catch (const std::exception&) {
    }
    return code;
}
