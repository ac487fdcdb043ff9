#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

class QWidget;

namespace tarsyn::config {
class Prompter;
}
namespace tarsyn::history {
class JournalStore;
}
namespace tarsyn::link {
class Clock;
class SerialPort;
class Sleeper;
}  // namespace tarsyn::link

namespace tarsyn::app {

/// The composition root: makes the program's services once (configuration, live settings, messages,
/// serial port, clock, sleeper, prompter, history store and recorder, the one controller link and the
/// command gate), creates the fifteen windows once in their fixed order (main window, settings,
/// about, SMS page, curves, the five parameter pages, port dialog, report, help, login, alarm history),
/// registers each with the language switcher in the hot key's order, hands the tray icon the list of
/// secondary windows, and wires every menu command. Nothing here is global: each window gets what it
/// needs through its constructor.
class Program {
public:
    /// `dataDir` holds system.ini, the catalogues, help files and kalde.db; `codePage` is the ANSI
    /// code page of those files. Message and input boxes are real ones unless `prompter` is given
    /// (a test's scripted answers).
    Program(const QString& dataDir, const QByteArray& codePage, config::Prompter* prompter = nullptr);
    /// What a test puts in place of the real boxes, clock, pauses and serial port; each left null is
    /// the real one.
    struct Substitutes {
        config::Prompter* prompter = nullptr;
        link::Sleeper* sleeper = nullptr;
        const link::Clock* clock = nullptr;
        link::SerialPort* port = nullptr;
    };
    Program(const QString& dataDir, const QByteArray& codePage, const Substitutes& substitutes);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    /// Shows the main window (the settings check and the login run at its showing) and runs the
    /// event loop until the main window has closed. Returns the exit code.
    int run();

    /// The main window `TForm1`.
    QWidget* mainWindow() const;

    /// The event journal: windows that act on a controller report through its history::Journal side.
    history::JournalStore& journal() const;

    /// The windows besides the main window, in creation order (the tray icon ignores clicks while one
    /// of them is visible).
    QList<QWidget*> secondaryWindows() const;

    /// What one press of the language hot key does (Shift+End): the next catalogue, every window.
    void advanceLanguage();

private:
    struct Parts;
    std::unique_ptr<Parts> d;
};

}  // namespace tarsyn::app
