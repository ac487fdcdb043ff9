// Program entry: `tarsyn --init-config` makes a consistent system.ini; otherwise the single-instance
// guard, the windows in their creation order, the login at every showing of the main window, polling.
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/Program.h"
#include "app/core/Shell.h"
#include "app/core/SingleInstance.h"
#include "config/Config.h"
#include "config/DataFolder.h"
#include "config/InitConfig.h"
#include "config/Prompter.h"
#include "config/SettingsLimits.h"
#include "widgets/WidgetPrompter.h"

using namespace tarsyn;

namespace {

const char* const kUsage =
    "Usage: tarsyn [--data-dir DIR] [--code-page NAME]\n"
    "       tarsyn --init-config [--data-dir DIR] [--code-page NAME] [--language NAME]\n"
    "              [--port NAME [--remark TEXT]]... [--super-password TEXT --ordinary-password TEXT] "
    "[--force]\n"
    "\n"
    "  --data-dir DIR     data folder with system.ini, the catalogues, help files and kalde.db\n"
    "                     (default: the folder of this executable when it holds system.ini or is\n"
    "                     writable, else $XDG_DATA_HOME/tarsyn, made by the first --init-config)\n"
    "  --code-page NAME   code page of system.ini, the catalogues and help files (default GBK)\n"
    "  --init-config      write a consistent system.ini and exit; asks for the passwords unless given\n"
    "  --version          print the program's version and exit\n";

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

/// Reads the answers to --init-config's password prompts, one line each: from the terminal without
/// echo, or from a pipe. One reader for all prompts: a reader per prompt would buffer the whole pipe
/// at the first prompt and leave nothing for the next.
class PasswordLines {
public:
    bool read(const QString& prompt, QString& password) {
        QTextStream err(stderr);
        err << prompt << Qt::flush;
        const bool tty = isatty(STDIN_FILENO);
        termios saved{};
        if (tty && tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
        const bool ok = m_in.readLineInto(&password);
        if (tty) {
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
            err << "\n" << Qt::flush;
        }
        return ok;
    }

private:
    QTextStream m_in{stdin};
};

/// A start-up failure that ends the program: on standard error, and in a box where someone can see
/// it. On a platform without a screen (offscreen, minimal) the box would wait for an OK nobody can
/// give, so the program ends at once.
void startupError(config::Prompter& prompter, const QString& text, bool plainMessage = false) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return;
    if (plainMessage)
        prompter.information(text);
    else
        prompter.error(text);
}

// SIGTERM, SIGINT and SIGHUP end the program through its event loop, so the port and the history
// database are closed as at a normal exit. The handler only writes a byte; the loop does the rest.
int g_signalPipe[2] = {-1, -1};
// Set once a signal has arrived: one that ends a box shown while the windows are being created must
// still end the program, although the main loop has not started yet.
bool g_terminationRequested = false;

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
        g_terminationRequested = true;
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
    config::DataFolder folder = config::ResolveDataFolder(args);
    // --init-config makes its data folder when it is missing: the user's on an installed program's
    // first run, or the --data-dir named.
    if (!folder.ok() && !folder.path.isEmpty() && !QFileInfo::exists(folder.path) &&
        QDir().mkpath(folder.path))
        folder = config::ResolveDataFolder(args);
    if (!folder.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(folder.error));
        return 1;
    }
    const QByteArray codePage =
        optionValue(args, QStringLiteral("--code-page"), QStringLiteral("GBK")).toLatin1();
    PasswordLines lines;
    const config::InitConfigResult result = config::RunInitConfig(
        args, folder.path,
        [&lines](const QString& prompt, QString& password) { return lines.read(prompt, password); }, codePage,
        config::ShippedFolder(QCoreApplication::applicationDirPath()));
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
        if (arg == "--version") {
            std::puts("tarsyn " TARSYN_VERSION);
            return 0;
        }
        if (arg == "--init-config") return runInitConfig(argc, argv);
    }

    // A second copy ends at once and says why; the running one is left alone.
    app::SingleInstance instance;
    if (!instance.acquire()) {
        std::fprintf(stderr,
                     "Tarsyn is already running for this user (it holds %s): use that copy; this one "
                     "ends.\n",
                     qPrintable(instance.lockFilePath()));
        return app::Shell::kExitAlreadyRunning;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarsyn"));
    QApplication::setApplicationVersion(QStringLiteral(TARSYN_VERSION));
#ifdef TARSYN_APP_ID
    QGuiApplication::setDesktopFileName(QStringLiteral(TARSYN_APP_ID));
#endif
    // No display name: the window system would append it to every title (" — Tarsyn"), and titles
    // are exactly the catalogue's texts.
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
            return app::Shell::kExitUsage;
        }
        if (!a.contains(QLatin1Char('='))) ++i;
    }
    const config::DataFolder folder = config::ResolveDataFolder(args);
    if (!folder.ok()) {
        startupError(prompter, folder.error);
        return 1;
    }
    const QByteArray codePage =
        optionValue(args, QStringLiteral("--code-page"), QStringLiteral("GBK")).toLatin1();
    const config::Config config(folder.path, codePage);
    if (!config.codePageSupported()) {
        startupError(prompter, QStringLiteral("Unknown code page: %1").arg(QString::fromLatin1(codePage)));
        return 1;
    }
    // The settings check comes before anything is made (no history database, no window): a missing
    // or damaged system.ini leaves the data folder as it was.
    // A count or interval out of range passes the check value when it was written with one; it
    // would stop polling or recording (or, for a huge port count, exhaust memory), so it is refused
    // the same way.
    QString problem = config::SettingsCheckProblem(config);
    if (problem.isEmpty()) problem = config::SettingsRangeProblem(config);
    if (!problem.isEmpty()) {
        startupError(prompter, QString::fromLatin1(app::Shell::kSettingsError) + QLatin1Char('\n') + problem,
                     true);
        return app::Shell::kExitSettingsRefused;
    }
    // Saves killed before their rename leave temporary copies that nothing else would remove.
    config.removeStaleTemporaries();

    app::Program program(folder.path, codePage);
    if (g_terminationRequested) return 0;
    return program.run();
}
