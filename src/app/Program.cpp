#include "app/Program.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <exception>

#include "app/AboutBox.h"
#include "app/HelpWindow.h"
#include "app/LanguageHotKey.h"
#include "app/LanguageSwitcher.h"
#include "app/LoginDialog.h"
#include "app/MainWindow.h"
#include "app/PortDialog.h"
#include "app/SettingsWindow.h"
#include "app/TrayIcon.h"
#include "app/core/AccessLevel.h"
#include "app/core/PortSelection.h"
#include "app/core/SettingsLogic.h"
#include "app/core/Shell.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "link/Clock.h"
#include "link/ControllerLink.h"
#include "link/QtSerialPort.h"
#include "monitor/CommandGate.h"
#include "monitor/PollCycle.h"
#include "operations/ChannelCalibration.h"
#include "operations/OperatingCommands.h"
#include "reports/AlarmCsv.h"
#include "reports/AlarmHistory.h"
#include "reports/ReportReader.h"
#include "reports/ui/AlarmHistoryWindow.h"
#include "reports/ui/ReportWindow.h"
#include "widgets/Catalogue.h"
#include "widgets/WidgetPrompter.h"

namespace tarsyn::app {

/// Everything the program is made of, declared in the order it is made and destroyed in reverse.
struct Program::Parts {
    Parts(const QString& dataDir, const QByteArray& codePage, config::Prompter* injected)
        : config(dataDir, codePage), prompter(injected ? *injected : widgetPrompter) {}

    // Services.
    config::Config config;
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    widgets::WidgetPrompter widgetPrompter;
    config::Prompter& prompter;  // the boxes: real ones, or a test's scripted answers
    link::QtSerialPort port;
    link::ThreadSleeper sleeper;
    link::SystemClock clock;
    link::ControllerLink controllerLink{port, sleeper};
    Access access;
    std::unique_ptr<history::HistoryStore> store;
    std::unique_ptr<history::HistoryRecorder> recorder;
    std::unique_ptr<LanguageHotKey> hotKey;
    std::unique_ptr<monitor::CommandGate> gate;
    std::unique_ptr<SettingsLogic> settingsLogic;
    std::unique_ptr<PollCyclePortTarget> portTarget;
    std::unique_ptr<PortSelection> portSelection;
    std::unique_ptr<LoginLogic> loginLogic;
    std::unique_ptr<operations::OperatingCommands> commands;
    std::unique_ptr<operations::ChannelCalibration> calibration;
    std::unique_ptr<reports::ReportReader> reportReader;
    std::unique_ptr<reports::AlarmHistory> alarmHistory;
    std::unique_ptr<reports::AlarmCsvExport> alarmCsv;

    // The windows, in creation order. Each lives until the program ends.
    std::unique_ptr<MainWindow> mainWindow;          // TForm1
    std::unique_ptr<SettingsWindow> settingsWindow;  // TForm2
    std::unique_ptr<AboutBox> aboutBox;              // TForm3
    // Tgsm SMS page, TForm5 curves, TForm6…TForm10 parameter pages
    std::unique_ptr<PortDialog> portDialog;  // TForm11
    std::unique_ptr<reports::ui::ReportWindow> reportWindow;  // TForm12
    std::unique_ptr<HelpWindow> helpWindow;    // TForm13
    std::unique_ptr<LoginDialog> loginDialog;  // TForm16
    std::unique_ptr<reports::ui::AlarmHistoryWindow> alarmWindow;  // TForm17

    std::unique_ptr<LanguageSwitcher> switcher;
    std::unique_ptr<TrayIcon> tray;
    std::unique_ptr<Shell> shell;

    /// What the report and alarm history windows need: messages, boxes, clock, "cx.bmp", the main
    /// window's current entry (`lblbt0`) and the catalogue pass.
    reports::ui::WindowServices reportServices() {
        reports::ui::WindowServices s;
        s.messages = [this](const QString& key) { return messages.text(key); };
        s.prompter = &prompter;
        s.clock = &clock;
        s.picturePath = config.filePath(QStringLiteral("cx.bmp"));
        s.entryName = [this] {
            auto* entry = mainWindow->findChild<QLabel*>(QStringLiteral("lblbt0"));
            return entry ? entry->text() : QString();
        };
        s.translate = [this](QWidget* w) { translate(w); };
        return s;
    }

    /// The catalogue's control texts for a window of the program, by the window's kind.
    void translate(QWidget* w) const {
        widgets::SetActiveLanguage(w, config, settings.language(),
                                   widgets::ControlClassesForWindow(w->objectName()));
    }
};

Program::Program(const QString& dataDir, const QByteArray& codePage, config::Prompter* prompter)
    : d(std::make_unique<Parts>(dataDir, codePage, prompter)) {
    Parts& p = *d;
    p.settings.load(p.config);
    auto translate = [&p](QWidget* w) { p.translate(w); };

    // TForm1. Its creation goes on with the language hot key, then the history database.
    p.mainWindow = std::make_unique<MainWindow>(p.config, p.settings, p.messages, p.port, p.sleeper, p.clock,
                                                p.prompter);
    MainWindow& window = *p.mainWindow;
    p.widgetPrompter.setParentWidget(&window);
    p.gate = std::make_unique<monitor::CommandGate>(window.poll(), p.messages, p.prompter);
    p.hotKey = std::make_unique<LanguageHotKey>();
    p.hotKey->registerKey();
    // History: a database that cannot be opened is reported once; the program runs on without it.
    p.store = history::HistoryStore::open(p.config);
    p.recorder = std::make_unique<history::HistoryRecorder>(
        *p.store, p.clock, [&p] { return p.settings.dayIntervalText(); },
        [&p] { return p.settings.hourIntervalText(); }, [&p](const QString& m) { p.prompter.error(m); });
    QObject::connect(p.recorder.get(), &history::HistoryRecorder::statusChanged, &window,
                     &MainWindow::setHistoryStatus);
    window.poll().setHistorySink(p.recorder.get());
    if (!p.store->isOpen()) {
        window.setHistoryStatus(false, p.recorder->statusText());
        p.prompter.error(p.store->lastError());
    }

    // TForm2.
    p.settingsLogic = std::make_unique<SettingsLogic>(p.config, p.settings, p.messages, p.prompter);
    p.settingsWindow =
        std::make_unique<SettingsWindow>(*p.settingsLogic, p.settings, p.messages, translate, &window);

    // TForm3.
    p.aboutBox = std::make_unique<AboutBox>(p.messages, &window);

    // TForm11.
    p.portTarget = std::make_unique<PollCyclePortTarget>(window.poll(), window, p.messages);
    p.portSelection = std::make_unique<PortSelection>(p.settings, *p.portTarget);
    p.portDialog = std::make_unique<PortDialog>(*p.portSelection, p.messages, translate, &window);

    // TForm12.
    p.reportReader = std::make_unique<reports::ReportReader>(p.controllerLink, window.poll());
    p.reportWindow =
        std::make_unique<reports::ui::ReportWindow>(*p.reportReader, p.reportServices(), &window);

    // TForm13: the help file of the language in effect; a missing one is reported once, here.
    p.helpWindow = std::make_unique<HelpWindow>(p.config, p.messages, &window);
    const QString helpError = p.helpWindow->load(p.settings.language());
    if (!helpError.isEmpty()) p.prompter.error(helpError);

    // TForm16.
    p.loginLogic = std::make_unique<LoginLogic>(p.config, p.access, p.messages, p.prompter);
    p.loginDialog = std::make_unique<LoginDialog>(*p.loginLogic, p.messages, translate, &window);

    // TForm17.
    const reports::MessageLookup lookup = [&p](const QString& key) { return p.messages.text(key); };
    p.alarmHistory =
        std::make_unique<reports::AlarmHistory>(p.controllerLink, window.poll(), p.prompter, lookup);
    p.alarmCsv =
        std::make_unique<reports::AlarmCsvExport>(*p.alarmHistory, window.poll(), p.prompter, lookup);
    p.alarmWindow = std::make_unique<reports::ui::AlarmHistoryWindow>(*p.alarmHistory, *p.alarmCsv,
                                                                      p.reportServices(), &window);

    // Shift+End cycles the language; each window re-labels itself, in the hot key's order.
    p.switcher = std::make_unique<LanguageSwitcher>(p.settings, widgets::LanguageCatalogues(dataDir));
    p.switcher->add(QStringLiteral("TForm1"), [&window](const QString&) { window.relabel(); });
    p.switcher->add(QStringLiteral("TForm2"), [&p](const QString&) { p.settingsWindow->relabel(); });
    p.switcher->add(QStringLiteral("TForm3"), [&p](const QString&) { p.aboutBox->relabel(); });
    p.switcher->add(QStringLiteral("TForm11"), [&p](const QString&) { p.portDialog->relabel(); });
    p.switcher->add(QStringLiteral("TForm12"), [&p](const QString&) { p.reportWindow->relabel(); });
    p.switcher->add(QStringLiteral("TForm13"), [&p](const QString& language) {
        p.helpWindow->setWindowTitle(p.messages.text(QStringLiteral("Form13caption")));
        p.helpWindow->load(language);
    });
    p.switcher->add(QStringLiteral("TForm17"), [&p](const QString&) { p.alarmWindow->relabel(); });
    QObject::connect(p.hotKey.get(), &LanguageHotKey::triggered, p.switcher.get(),
                     &LanguageSwitcher::advance);

    p.tray = std::make_unique<TrayIcon>(&window);
    p.tray->setSecondaryWindows(secondaryWindows());

    // Lifecycle: every showing checks system.ini and asks for the password; the close asks dl2; the
    // forced exit slides the window out.
    ShellHooks hooks;
    hooks.closePort = [&p] { p.port.ClosePort(); };
    hooks.unregisterHotKey = [&p] { p.hotKey->unregister(); };
    hooks.disconnectDatabase = [&p] {
        p.mainWindow->poll().setHistorySink(nullptr);
        p.store->disconnect();
    };
    hooks.runLogin = [&p] { return p.loginDialog->runModal(); };
    hooks.loggedIn = [&p] { p.tray->startAnimation(); };
    hooks.canHideToTray = [&p] { return p.tray->canBringBack(); };
    p.shell = std::make_unique<Shell>(p.config, p.access, p.messages, p.prompter, hooks);
    p.shell->attach(&window);
    QObject::connect(p.shell.get(), &Shell::ending, &window, [&window] { window.poll().stopTimer(); });

    // Commands of the main window.
    QObject::connect(&window, &MainWindow::settingsRequested, &window, [&p] {
        if (SettingsGate(p.access, p.messages, p.prompter)) p.settingsWindow->exec();
    });
    QObject::connect(&window, &MainWindow::portDialogRequested, &window, [&p] { p.portDialog->runModal(); });
    // Operating commands (dport3…dport7; their menu entries click them) and the "校准" buttons, with
    // the busy cursor while an exchange blocks the thread.
    const operations::OperationServices exchange{
        *p.gate, window.poll(), p.controllerLink, p.messages, p.prompter, [](bool busy) {
            if (busy)
                QApplication::setOverrideCursor(Qt::WaitCursor);
            else
                QApplication::restoreOverrideCursor();
        }};
    p.commands = std::make_unique<operations::OperatingCommands>(exchange);
    p.calibration = std::make_unique<operations::ChannelCalibration>(exchange);
    for (const operations::OperatingCommand& c : operations::kOperatingCommands)
        QObject::connect(window.toolButton(QLatin1String(c.button)), &QToolButton::clicked, &window,
                         [&p, &c] { p.commands->SendOperatingCommand(c); });
    for (const operations::CalibrationChannel& c : operations::kCalibrationChannels)
        QObject::connect(window.calibrationButton(c.button), &QPushButton::clicked, &window,
                         [&p, &c] { p.calibration->CalibrateChannel(c); });
    // Help and about work in either connection mode and without a link.
    QObject::connect(window.menuAction(QStringLiteral("help11")), &QAction::triggered, &window, [&p] {
        p.helpWindow->setWindowTitle(p.gate->title(QStringLiteral("Form13caption")));
        p.helpWindow->exec();
    });
    // The alarm history and the report talk to the controller: refused in rotation mode and unlinked.
    const auto modal = [&p, &window](const char* command, QDialog* dialog, const char* titleKey) {
        QObject::connect(window.menuAction(QLatin1String(command)), &QAction::triggered, &window,
                         [&p, dialog, titleKey] {
                             if (!p.gate->pass(monitor::GateRule::NeedsLink)) return;
                             dialog->setWindowTitle(p.gate->title(QLatin1String(titleKey)));
                             dialog->exec();
                         });
    };
    modal("E1", p.alarmWindow.get(), "Form17caption");
    modal("print1", p.reportWindow.get(), "Form12caption");
    QObject::connect(window.menuAction(QStringLiteral("About1")), &QAction::triggered, &window,
                     [&p] { p.aboutBox->open(); });
    // The program ends when the main window has closed (the shell decides whether it may).
    QObject::connect(&window, &MainWindow::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

Program::~Program() {
    // The port and the database close as at a normal exit, whichever way the loop ended.
    Parts& p = *d;
    if (p.mainWindow) {
        p.mainWindow->poll().stopTimer();
        p.mainWindow->poll().setHistorySink(nullptr);
    }
    try {
        p.port.ClosePort();
    } catch (const std::exception&) {
    }
}

QWidget* Program::mainWindow() const { return d->mainWindow.get(); }

QList<QWidget*> Program::secondaryWindows() const {
    QList<QWidget*> windows;
    for (QWidget* w :
         std::initializer_list<QWidget*>{d->settingsWindow.get(), d->aboutBox.get(), d->portDialog.get(),
                                         d->reportWindow.get(), d->helpWindow.get(), d->loginDialog.get(),
                                         d->alarmWindow.get()})
        if (w) windows << w;
    return windows;
}

void Program::advanceLanguage() { d->switcher->advance(); }

int Program::run() {
    d->mainWindow->show();
    return QApplication::exec();
}

}  // namespace tarsyn::app
