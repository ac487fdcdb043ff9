#include "app/Program.h"

#include <QAction>
#include <QApplication>
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
#include "pages/PageTable.h"
#include "pages/ui/PageWindow.h"
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

    // The windows, in creation order. Each lives until the program ends.
    std::unique_ptr<MainWindow> mainWindow;          // TForm1
    std::unique_ptr<SettingsWindow> settingsWindow;  // TForm2
    std::unique_ptr<AboutBox> aboutBox;              // TForm3
    std::unique_ptr<pages::PageWindow> smsPage;      // Tgsm
    // TForm5 curves
    std::unique_ptr<pages::PageWindow> delayPage;        // TForm6
    std::unique_ptr<pages::PageWindow> curvePage;        // TForm7
    std::unique_ptr<pages::PageWindow> systemPage;       // TForm8
    std::unique_ptr<pages::PageWindow> controlBitsPage;  // TForm9
    std::unique_ptr<pages::PageWindow> alarmLimitsPage;  // TForm10
    std::unique_ptr<PortDialog> portDialog;  // TForm11
    // TForm12 report
    std::unique_ptr<HelpWindow> helpWindow;    // TForm13
    std::unique_ptr<LoginDialog> loginDialog;  // TForm16
    // TForm17 alarm history

    std::unique_ptr<LanguageSwitcher> switcher;
    std::unique_ptr<TrayIcon> tray;
    std::unique_ptr<Shell> shell;

    /// The parameter pages in creation order.
    QList<pages::PageWindow*> pageWindows() const {
        QList<pages::PageWindow*> list;
        for (const auto* page :
             {&smsPage, &delayPage, &curvePage, &systemPage, &controlBitsPage, &alarmLimitsPage})
            if (*page) list << page->get();
        return list;
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

    // Tgsm and TForm6…TForm10: the parameter pages, each opened from its menu command behind the gate.
    const pages::PageServices pageServices{p.controllerLink, window.poll(), p.config, p.messages, p.prompter};
    p.smsPage = std::make_unique<pages::PageWindow>(pages::smsPage(), pageServices, translate, &window);

    // TForm5 curves.

    // TForm6…TForm10.
    const std::pair<std::unique_ptr<pages::PageWindow>*, const pages::Page*> pageWindows[] = {
        {&p.delayPage, &pages::delayPage()},
        {&p.curvePage, &pages::curvePage()},
        {&p.systemPage, &pages::systemPage()},
        {&p.controlBitsPage, &pages::controlBitsPage()},
        {&p.alarmLimitsPage, &pages::alarmLimitsPage()},
    };
    for (const auto& [member, table] : pageWindows)
        *member = std::make_unique<pages::PageWindow>(*table, pageServices, translate, &window);

    // TForm11.
    p.portTarget = std::make_unique<PollCyclePortTarget>(window.poll(), window, p.messages);
    p.portSelection = std::make_unique<PortSelection>(p.settings, *p.portTarget);
    p.portDialog = std::make_unique<PortDialog>(*p.portSelection, p.messages, translate, &window);

    // TForm13: the help file of the language in effect; a missing one is reported once, here.
    p.helpWindow = std::make_unique<HelpWindow>(p.config, p.messages, &window);
    const QString helpError = p.helpWindow->load(p.settings.language());
    if (!helpError.isEmpty()) p.prompter.error(helpError);

    // TForm16.
    p.loginLogic = std::make_unique<LoginLogic>(p.config, p.access, p.messages, p.prompter);
    p.loginDialog = std::make_unique<LoginDialog>(*p.loginLogic, p.messages, translate, &window);

    // Shift+End cycles the language; each window re-labels itself, in the hot key's order.
    p.switcher = std::make_unique<LanguageSwitcher>(p.settings, widgets::LanguageCatalogues(dataDir));
    p.switcher->add(QStringLiteral("TForm1"), [&window](const QString&) { window.relabel(); });
    p.switcher->add(QStringLiteral("TForm2"), [&p](const QString&) { p.settingsWindow->relabel(); });
    p.switcher->add(QStringLiteral("TForm3"), [&p](const QString&) { p.aboutBox->relabel(); });
    auto relabelPage = [&p](pages::PageWindow* page) {
        p.switcher->add(page->objectName(), [page, &p](const QString&) {
            page->relabel();
            page->setWindowTitle(p.messages.text(page->page().titleKey));
        });
    };
    relabelPage(p.smsPage.get());  // then TForm5, then TForm6…TForm10
    for (pages::PageWindow* page : p.pageWindows())
        if (page != p.smsPage.get()) relabelPage(page);
    p.switcher->add(QStringLiteral("TForm11"), [&p](const QString&) { p.portDialog->relabel(); });
    p.switcher->add(QStringLiteral("TForm13"), [&p](const QString& language) {
        p.helpWindow->setWindowTitle(p.messages.text(QStringLiteral("Form13caption")));
        p.helpWindow->load(language);
    });
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
    const std::pair<const char*, pages::PageWindow*> pageCommands[] = {
        {"yssz1", p.delayPage.get()},      {"qxsz1", p.curvePage.get()},       {"xtcs1", p.systemPage.get()},
        {"kzw1", p.controlBitsPage.get()}, {"bjsx1", p.alarmLimitsPage.get()}, {"gsm1", p.smsPage.get()}};
    for (const auto& [command, page] : pageCommands)
        QObject::connect(window.menuAction(QLatin1String(command)), &QAction::triggered, &window,
                         [&p, page = page] {
                             if (p.gate->pass()) page->open(p.gate->title(page->page().titleKey));
                         });
    // Help and about work in either connection mode and without a link.
    QObject::connect(window.menuAction(QStringLiteral("help11")), &QAction::triggered, &window, [&p] {
        p.helpWindow->setWindowTitle(p.gate->title(QStringLiteral("Form13caption")));
        p.helpWindow->exec();
    });
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
    for (QWidget* w : std::initializer_list<QWidget*>{d->settingsWindow.get(), d->aboutBox.get()})
        if (w) windows << w;
    for (QWidget* w : d->pageWindows()) windows << w;
    for (QWidget* w :
         std::initializer_list<QWidget*>{d->portDialog.get(), d->helpWindow.get(), d->loginDialog.get()})
        if (w) windows << w;
    return windows;
}

int Program::run() {
    d->mainWindow->show();
    return QApplication::exec();
}

}  // namespace tarsyn::app
