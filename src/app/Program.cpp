#include "app/Program.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSysInfo>
#include <QToolButton>
#include <QWidget>
#include <cstdio>
#include <exception>

#include "app/AboutBox.h"
#include "app/FleetPortTarget.h"
#include "app/HelpWindow.h"
#include "app/LanguageHotKey.h"
#include "app/LanguageSwitcher.h"
#include "app/LoginDialog.h"
#include "app/MainWindow.h"
#include "app/PortDialog.h"
#include "app/SettingsWindow.h"
#include "app/TrayIcon.h"
#include "app/WindowRegistry.h"
#include "app/core/AccessLevel.h"
#include "app/core/PortSelection.h"
#include "app/core/SettingsLogic.h"
#include "app/core/Shell.h"
#include "aware/Awareness.h"
#include "aware/JournalTexts.h"
#include "aware/WatchLimits.h"
#include "aware/ui/JournalWindow.h"
#include "aware/ui/WatchLimitEditor.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "fleet/BrokerFleet.h"
#include "fleet/FleetModel.h"
#include "fleet/FrameLog.h"
#include "fleet/ui/DiagnosticsWindow.h"
#include "fleet/ui/FleetWindow.h"
#include "history/CurveQuery.h"
#include "history/HistoryColumns.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/JournalStore.h"
#include "history/ui/CurvesWindow.h"
#include "link/Clock.h"
#include "link/ControllerLink.h"
#include "link/QtSerialPort.h"
#include "monitor/CommandGate.h"
#include "monitor/PollCycle.h"
#include "operations/ChannelCalibration.h"
#include "operations/OperatingCommands.h"
#include "pages/PageTable.h"
#include "pages/ui/PageWindow.h"
#include "publish/Publisher.h"
#include "reports/AlarmCsv.h"
#include "reports/AlarmHistory.h"
#include "reports/ReportReader.h"
#include "reports/ui/AlarmHistoryWindow.h"
#include "reports/ui/ReportWindow.h"
#include "station/Station.h"
#include "widgets/Catalogue.h"
#include "widgets/QtTranslation.h"
#include "widgets/WidgetPrompter.h"

namespace tarsyn::app {

namespace {
/// An error while the program starts: the box, and standard error for a start without a screen.
void startupError(config::Prompter& prompter, const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    prompter.error(text);
}
/// Notifications go to the tray icon's balloon, once the icon exists; the bell only when asked for.
struct TrayNotifier : aware::Notifier {
    const config::Config& config;
    TrayIcon* tray = nullptr;
    explicit TrayNotifier(const config::Config& c) : config(c) {}
    void notify(const QString& title, const QString& text) override {
        if (tray) tray->notify(title, text);
        if (aware::SoundEnabled(config)) QApplication::beep();
    }
};
}  // namespace

/// Everything the program is made of, declared in the order it is made and destroyed in reverse.
struct Program::Parts {
    Parts(const QString& dataDir, const QByteArray& codePage, const Substitutes& substitutes)
        : config(dataDir, codePage),
          prompter(substitutes.prompter ? *substitutes.prompter : widgetPrompter),
          port(substitutes.port ? *substitutes.port : serialPort),
          sleeper(substitutes.sleeper ? *substitutes.sleeper : threadSleeper),
          clock(substitutes.clock ? *substitutes.clock : systemClock) {}

    // Services.
    config::Config config;
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    widgets::WidgetPrompter widgetPrompter;
    config::Prompter& prompter;            // the boxes: real ones, or a test's scripted answers
    widgets::QtTranslation qtTranslation;  // Qt's own texts (box buttons) in the current language
    link::QtSerialPort serialPort;
    link::SerialPort& port;  // the real serial port, or a test's
    link::ThreadSleeper threadSleeper;
    link::SystemClock systemClock;
    link::Sleeper& sleeper;    // the real pauses, or a test's
    const link::Clock& clock;  // the real time, or a test's
    // The line: its port, the controller link every exchange goes through, the poll cycle.
    station::Station station{port, sleeper, clock, settings, messages};
    link::ControllerLink& controllerLink = station.controllerLink();
    Access access;
    std::unique_ptr<history::HistoryStore> store;
    std::unique_ptr<history::HistoryRecorder> recorder;
    std::unique_ptr<history::CurveQuery> curveQuery;
    std::unique_ptr<history::JournalStore> journal;  // operator actions are recorded through it
    TrayNotifier notifier{config};
    std::unique_ptr<aware::Awareness> awareness;
    std::unique_ptr<publish::Publisher> publisher;  // with a [Mqtt] section only
    // The operating commands' and calibrations' boxes: while one is open the line is the operator's,
    // and a remote command is refused as busy.
    std::unique_ptr<monitor::LinePrompter> linePrompter;
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
    std::unique_ptr<MainWindow> mainWindow;                        // TForm1
    std::unique_ptr<SettingsWindow> settingsWindow;                // TForm2
    std::unique_ptr<AboutBox> aboutBox;                            // TForm3
    std::unique_ptr<pages::PageWindow> smsPage;                    // Tgsm
    std::unique_ptr<history::CurvesWindow> curvesWindow;           // TForm5
    std::unique_ptr<pages::PageWindow> delayPage;                  // TForm6
    std::unique_ptr<pages::PageWindow> curvePage;                  // TForm7
    std::unique_ptr<pages::PageWindow> systemPage;                 // TForm8
    std::unique_ptr<pages::PageWindow> controlBitsPage;            // TForm9
    std::unique_ptr<pages::PageWindow> alarmLimitsPage;            // TForm10
    std::unique_ptr<PortDialog> portDialog;                        // TForm11
    std::unique_ptr<reports::ui::ReportWindow> reportWindow;       // TForm12
    std::unique_ptr<HelpWindow> helpWindow;                        // TForm13
    std::unique_ptr<LoginDialog> loginDialog;                      // TForm16
    std::unique_ptr<reports::ui::AlarmHistoryWindow> alarmWindow;  // TForm17
    std::unique_ptr<aware::ui::JournalWindow> journalWindow;       // TForm18
    std::unique_ptr<aware::ui::WatchLimitEditor> watchEditor;      // TForm19
    std::unique_ptr<fleet::FleetModel> fleetModel;
    std::unique_ptr<fleet::BrokerFleet> brokerFleet;  // other sites' sets, with fleet publishing only
    std::unique_ptr<FleetPortTarget> fleetTarget;
    std::unique_ptr<fleet::FrameLog> frameLog;
    std::unique_ptr<fleet::ui::FleetWindow> fleetWindow;              // TForm20
    std::unique_ptr<fleet::ui::DiagnosticsWindow> diagnosticsWindow;  // TForm21
    WindowRegistry windows;  // the same windows, listed as they are created

    std::unique_ptr<LanguageSwitcher> switcher;
    std::unique_ptr<TrayIcon> tray;
    std::unique_ptr<Shell> shell;

    QString historyBoxText;  // the text of the recorder's last error box

    /// Closes the recorder's error box if it is still open.
    void closeHistoryBox() {
        if (historyBoxText.isEmpty()) return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible() && box->text() == historyBoxText) box->done(QMessageBox::Ok);
        }
        historyBoxText.clear();
    }

    /// A window's title from its title key, in the language in effect.
    void retitle(QWidget* w) const { w->setWindowTitle(messages.text(windows.titleKey(w))); }
    /// The title a window gets as a menu command opens it (the gate's, which may name the controller).
    void titleForOpening(QWidget* w) const { w->setWindowTitle(gate->title(windows.titleKey(w))); }

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
    : Program(dataDir, codePage, Substitutes{prompter, nullptr, nullptr}) {}

Program::Program(const QString& dataDir, const QByteArray& codePage, const Substitutes& substitutes)
    : d(std::make_unique<Parts>(dataDir, codePage, substitutes)) {
    Parts& p = *d;
    p.settings.load(p.config);
    // A stored language without its catalogue would show every text as "0": the first installed one
    // stands in, and the strip says so once the main window exists.
    const QString missingLanguage = FallBackToInstalledLanguage(p.settings, p.config);
    auto translate = [&p](QWidget* w) { p.translate(w); };
    // Box buttons follow the language in effect: the stored one, then the hot key's or the settings
    // window's choice.
    p.qtTranslation.apply(p.settings.language());
    QObject::connect(&p.settings, &config::LiveSettings::changed, &p.settings,
                     [&p] { p.qtTranslation.apply(p.settings.language()); });

    // TForm1. Its creation goes on with the language hot key, then the history database.
    p.mainWindow = std::make_unique<MainWindow>(p.station, p.config, p.settings, p.messages, p.prompter);
    MainWindow& window = *p.mainWindow;
    p.station.start(station::Station::portsConfigured(p.config));
    p.widgetPrompter.setParentWidget(&window);
    if (!missingLanguage.isEmpty()) {
        // A name of any length is shortened: the strip must not widen the window.
        const QString shown =
            missingLanguage.size() > 24 ? missingLanguage.left(23) + QChar(0x2026) : missingLanguage;
        window.showSettingsWarning(
            p.messages.text(QStringLiteral("stlangmissing")).arg(shown, p.settings.language()));
    }
    p.gate = std::make_unique<monitor::CommandGate>(window.poll(), p.messages, p.prompter);
    p.hotKey = std::make_unique<LanguageHotKey>();
    p.hotKey->registerKey();
    // History: a database that cannot be opened is reported once; the program runs on without it.
    p.store = history::HistoryStore::open(p.config);
    p.recorder = std::make_unique<history::HistoryRecorder>(
        *p.store, p.clock, [&p] { return p.settings.dayIntervalText(); },
        [&p] { return p.settings.hourIntervalText(); },
        [&p](const QString& m) {
            p.historyBoxText = m;
            p.prompter.error(m);
        });
    p.recorder->setMessages([&p](const QString& key) { return p.messages.text(key); });
    p.recorder->setDroppedHook([&p](qint64 rows) {
        if (p.journal)
            p.journal->recordWithData(history::JournalKind::HistoryDropped, QString(),
                                      aware::historyDroppedText(rows), aware::historyDroppedData(rows));
    });
    QObject::connect(p.recorder.get(), &history::HistoryRecorder::statusChanged, &window,
                     &MainWindow::setHistoryStatus);
    QObject::connect(p.recorder.get(), &history::HistoryRecorder::waitingChanged, &window,
                     [&window](const QString& text) { window.setHistoryStatus(false, text); });
    // A box about a failure that has ended would contradict the strip: it goes when recording works.
    QObject::connect(p.recorder.get(), &history::HistoryRecorder::statusChanged, &window, [&p](bool ok) {
        if (ok) p.closeHistoryBox();
    });
    if (!p.store->isOpen()) {
        window.setHistoryStatus(false, p.recorder->statusText());
        startupError(p.prompter, p.store->lastError());
    }
    // The event journal shares the database; its trouble shows in the strip, never as a box per event.
    p.journal = std::make_unique<history::JournalStore>(
        p.store->location(), p.clock, [&window](const QString& m) { window.setHistoryStatus(false, m); },
        p.store->writeTurns());
    p.journal->setWriter(history::JournalWriterIdentity(QSysInfo::machineHostName(), p.config.dataDir()));
    if (p.journal->open()) p.journal->purgeOlderThan(aware::JournalRetentionSetting(p.config));
    p.awareness = std::make_unique<aware::Awareness>(p.clock, p.config, p.settings, *p.journal, p.notifier);
    p.awareness->setStatusView(&window);
    p.awareness->setWatchLimits(aware::LoadWatchLimits(p.config));
    window.showAwareness(p.awareness->status());
    // Who hears of each reading, in this order: the window's panels (the station's view), then the
    // awareness (alarm edges, watch limits, and the link at each tick's end), then the recorder.
    p.station.subscribe(p.awareness.get());
    p.station.subscribe(p.recorder.get());
    // Fleet publishing, last of the subscribers, only with a [Mqtt] section. Refused settings are said
    // once and nothing connects; a lost broker shows in the strip, never as a box per attempt.
    const publish::MqttSettingsLoad mqtt =
        publish::LoadMqttSettings(p.config, p.messages, QSysInfo::machineHostName());
    if (mqtt.settings) {
        p.publisher = std::make_unique<publish::Publisher>(
            *mqtt.settings,
            publish::Publisher::Services{p.station, *p.journal, p.config, p.settings, p.messages, p.clock});
        QObject::connect(p.publisher.get(), &publish::Publisher::brokerStatusChanged, &window, [&p, &window] {
            window.setBrokerStatus(p.publisher->brokerStatus().connected, p.publisher->brokerStatusText());
        });
        // Every remote command shows on the strip as it is answered (the journal window lists it too).
        QObject::connect(p.publisher.get(), &publish::Publisher::commandAnswered, &window, [&p, &window] {
            window.setBrokerStatus(p.publisher->brokerStatus().connected, p.publisher->brokerStatusText());
        });
        window.setBrokerStatus(false, p.publisher->brokerStatusText());
        p.publisher->start();
    } else if (mqtt.present) {
        window.setBrokerStatus(false, mqtt.error);
        startupError(p.prompter, mqtt.error);
    }

    // The windows are listed as they are made, the main window first; the language hot key re-labels
    // them in this order, and the tray icon ignores clicks while any window after the first is visible.
    p.windows.add(&window, QStringLiteral("Form1caption"), [&p, &window](const QString&) {
        window.relabel();
        // The broker's line of the strip is the publisher's text: said again in the new language.
        if (p.publisher)
            window.setBrokerStatus(p.publisher->brokerStatus().connected, p.publisher->brokerStatusText());
    });

    // TForm2.
    p.settingsLogic = std::make_unique<SettingsLogic>(p.config, p.settings, p.messages, p.prompter);
    p.settingsLogic->setSavedHook([&p] {
        const config::LiveSettings& s = p.settings;
        const aware::SavedSettings saved{s.language(), s.refreshText(), s.hourIntervalText(),
                                         s.dayIntervalText(), int(s.ports().size())};
        p.journal->recordWithData(history::JournalKind::SettingsSaved, QString(),
                                  aware::settingsSavedText(saved), aware::settingsSavedData(saved));
        if (p.fleetModel) p.fleetModel->reloadPorts();
    });
    p.settingsWindow =
        std::make_unique<SettingsWindow>(*p.settingsLogic, p.settings, p.messages, translate, &window);
    p.windows.add(p.settingsWindow.get(), QStringLiteral("Form2caption"),
                  [&p](const QString&) { p.settingsWindow->relabel(); });

    // TForm3.
    p.aboutBox = std::make_unique<AboutBox>(p.messages, &window);
    p.windows.add(p.aboutBox.get(), QStringLiteral("Form3caption"),
                  [&p](const QString&) { p.aboutBox->relabel(); });

    // Tgsm and TForm6…TForm10: the parameter pages, each opened from its menu command behind the gate.
    // Operator actions go to the event journal under the controller's name.
    const auto controllerName = [&window] { return history::trimRemark(window.remarkText()); };
    pages::PageServices pageServices{p.controllerLink, window.poll(), p.config, p.messages, p.prompter};
    pageServices.controller = controllerName;
    pageServices.written = [&p, controllerName](const QString& detail, const QString& data) {
        p.journal->recordWithData(history::JournalKind::BlockWritten, controllerName(), detail, data);
    };
    // A page's title may carry the controller's name: the page's engine makes it.
    const auto addPage = [&p](pages::PageWindow* page) {
        p.windows.add(page, page->page().titleKey, [page, &p](const QString&) {
            page->relabel();
            page->setWindowTitle(page->engine().windowTitle(p.messages.text(page->page().titleKey)));
        });
    };
    p.smsPage = std::make_unique<pages::PageWindow>(pages::smsPage(), pageServices, translate, &window);
    addPage(p.smsPage.get());

    // TForm5: queries once now, with no port entry current yet.
    p.curveQuery = std::make_unique<history::CurveQuery>(*p.store, p.clock);
    history::CurvesWindow::Hooks curveHooks;
    curveHooks.portName = [&p] { return p.port.portName(); };
    curveHooks.device = [&window] { return history::trimRemark(window.remarkText()); };
    curveHooks.translate = translate;
    p.curvesWindow = std::make_unique<history::CurvesWindow>(*p.curveQuery, p.config, p.messages, p.prompter,
                                                             curveHooks, &window);
    p.windows.add(p.curvesWindow.get(), QStringLiteral("Form5caption"),
                  [&p](const QString&) { p.curvesWindow->relabel(); });

    // TForm6…TForm10.
    const std::pair<std::unique_ptr<pages::PageWindow>*, const pages::Page*> pageWindows[] = {
        {&p.delayPage, &pages::delayPage()},
        {&p.curvePage, &pages::curvePage()},
        {&p.systemPage, &pages::systemPage()},
        {&p.controlBitsPage, &pages::controlBitsPage()},
        {&p.alarmLimitsPage, &pages::alarmLimitsPage()},
    };
    for (const auto& [member, table] : pageWindows) {
        *member = std::make_unique<pages::PageWindow>(*table, pageServices, translate, &window);
        addPage(member->get());
    }

    // TForm11.
    p.portTarget = std::make_unique<PollCyclePortTarget>(p.station.poll(), p.station.view(), p.messages);
    p.portSelection = std::make_unique<PortSelection>(p.settings, *p.portTarget);
    p.portDialog = std::make_unique<PortDialog>(*p.portSelection, p.messages, translate, &window);
    p.windows.add(p.portDialog.get(), QStringLiteral("Form11caption"), [&p](const QString&) {
        p.portDialog->relabel();
        p.retitle(p.portDialog.get());
    });

    // TForm12.
    p.reportReader = std::make_unique<reports::ReportReader>(p.controllerLink, window.poll());
    p.reportWindow =
        std::make_unique<reports::ui::ReportWindow>(*p.reportReader, p.reportServices(), &window);
    p.windows.add(p.reportWindow.get(), QStringLiteral("Form12caption"), [&p](const QString&) {
        p.reportWindow->relabel();
        p.retitle(p.reportWindow.get());
    });

    // TForm13: the help file of the language in effect; a missing one is reported once, here.
    p.helpWindow = std::make_unique<HelpWindow>(p.config, p.messages, &window);
    const QString helpError = p.helpWindow->load(p.settings.language());
    if (!helpError.isEmpty()) startupError(p.prompter, helpError);
    p.windows.add(p.helpWindow.get(), QStringLiteral("Form13caption"), [&p](const QString& language) {
        p.retitle(p.helpWindow.get());
        p.helpWindow->load(language);
    });

    // TForm16.
    p.loginLogic = std::make_unique<LoginLogic>(p.config, p.access, p.messages, p.prompter);
    p.loginLogic->setResultHook([&p](bool granted, int level) {
        if (granted)
            p.journal->recordWithData(history::JournalKind::LoginSucceeded, QString(),
                                      aware::loginSucceededText(level == kSuperLevel),
                                      aware::loginSucceededData(level == kSuperLevel));
        else
            p.journal->recordWithData(history::JournalKind::LoginFailed, QString(),
                                      aware::loginFailedText(level), aware::loginFailedData(level));
    });
    p.loginDialog = std::make_unique<LoginDialog>(*p.loginLogic, p.messages, translate, &window);
    // The hot key leaves the login dialog in the language it started with.
    p.windows.add(p.loginDialog.get(), QStringLiteral("Form16caption"));

    // TForm17.
    const reports::MessageLookup lookup = [&p](const QString& key) { return p.messages.text(key); };
    p.alarmHistory =
        std::make_unique<reports::AlarmHistory>(p.controllerLink, window.poll(), p.prompter, lookup);
    p.alarmCsv = std::make_unique<reports::AlarmCsvExport>(*p.alarmHistory, p.prompter, lookup);
    p.alarmWindow = std::make_unique<reports::ui::AlarmHistoryWindow>(*p.alarmHistory, *p.alarmCsv,
                                                                      p.reportServices(), &window);
    p.windows.add(p.alarmWindow.get(), QStringLiteral("Form17caption"), [&p](const QString&) {
        p.alarmWindow->relabel();
        p.retitle(p.alarmWindow.get());
    });
    // TForm18 event journal and TForm19 the operator's own watch limits.
    p.journalWindow = std::make_unique<aware::ui::JournalWindow>(*p.journal, p.config, p.settings, p.messages,
                                                                 p.prompter, &window);
    p.windows.add(p.journalWindow.get(), QStringLiteral("Form18caption"),
                  [&p](const QString&) { p.journalWindow->relabel(); });
    p.watchEditor = std::make_unique<aware::ui::WatchLimitEditor>(
        p.config, p.settings, p.messages, p.prompter,
        [&p](const QVector<aware::WatchLimit>& limits) { p.awareness->setWatchLimits(limits); }, &window);
    p.windows.add(p.watchEditor.get(), QStringLiteral("Form19caption"),
                  [&p](const QString&) { p.watchEditor->relabel(); });
    // TForm20 the fleet overview, fed by the station after the recorder, and TForm21 the link
    // diagnostics, whose frame log listens to the line only while the window is open.
    p.fleetModel = std::make_unique<fleet::FleetModel>(p.clock, p.config, p.settings);
    p.fleetTarget = std::make_unique<FleetPortTarget>(p.station.poll(), *p.portSelection);
    p.fleetModel->setTarget(p.fleetTarget.get());
    p.station.subscribe(p.fleetModel.get());
    p.fleetWindow = std::make_unique<fleet::ui::FleetWindow>(*p.fleetModel, p.config, p.settings, p.messages,
                                                             p.prompter, &window);
    p.windows.add(p.fleetWindow.get(), QStringLiteral("Form20caption"),
                  [&p](const QString&) { p.fleetWindow->relabel(); });
    if (mqtt.settings) {
        p.brokerFleet = std::make_unique<fleet::BrokerFleet>(*mqtt.settings, *p.fleetModel);
        p.fleetWindow->setBrokerSource(p.brokerFleet.get());
    }
    p.frameLog = std::make_unique<fleet::FrameLog>(p.config, p.settings);
    p.diagnosticsWindow = std::make_unique<fleet::ui::DiagnosticsWindow>(
        p.station.meter(), *p.frameLog, [&p] { return p.station.view().portText(); }, p.config, p.settings,
        p.messages, p.prompter, &window);
    p.windows.add(p.diagnosticsWindow.get(), QStringLiteral("Form21caption"),
                  [&p](const QString&) { p.diagnosticsWindow->relabel(); });

    // Shift+End cycles the language; each window re-labels itself, in creation order.
    // The hot key cycles the entries of the settings window's language box, listed once at its creation.
    QStringList languages;
    for (int i = 0; i < p.settingsWindow->languageBox()->count(); ++i)
        languages << p.settingsWindow->languageBox()->itemText(i);
    p.switcher = std::make_unique<LanguageSwitcher>(p.settings, languages);
    p.windows.registerRelabelling(*p.switcher);
    QObject::connect(p.hotKey.get(), &LanguageHotKey::triggered, p.switcher.get(),
                     &LanguageSwitcher::advance);

    p.tray = std::make_unique<TrayIcon>(&window);
    p.notifier.tray = p.tray.get();
    p.tray->setSecondaryWindows(p.windows.secondaryWindows());

    // Lifecycle: every showing checks system.ini and asks for the password; the close asks dl2; the
    // forced exit slides the window out.
    ShellHooks hooks;
    hooks.closePort = [&p] { p.port.ClosePort(); };
    hooks.unregisterHotKey = [&p] { p.hotKey->unregister(); };
    hooks.disconnectDatabase = [&p] {
        if (p.publisher) p.publisher->stop();  // "offline", then a clean goodbye
        p.station.unsubscribe(p.awareness.get());
        p.station.unsubscribe(p.recorder.get());
        p.store->disconnect();
        p.journal->close();
    };
    // The readings are the controller's: nobody sees them behind the login box, only once logged in.
    hooks.runLogin = [&p] {
        QWidget* readings = p.mainWindow->centralWidget();
        readings->hide();
        const LoginResult result = p.loginDialog->runModal();
        if (result == LoginResult::Granted) readings->show();
        return result;
    };
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
    p.linePrompter = std::make_unique<monitor::LinePrompter>(p.prompter, window.poll().activity());
    operations::OperationServices exchange{
        *p.gate, window.poll(), p.controllerLink, p.messages, *p.linePrompter, [](bool busy) {
            if (busy)
                QApplication::setOverrideCursor(Qt::WaitCursor);
            else
                QApplication::restoreOverrideCursor();
        }};
    exchange.sent = [&p, controllerName](const QString& control, const QString& value,
                                         const QString& request) {
        const QString language = p.settings.language();
        if (value.isEmpty()) {
            const QString caption =
                widgets::TranslationText(p.config, language, control + QStringLiteral(".Caption"));
            p.journal->recordWithData(history::JournalKind::CommandSent, controllerName(),
                                      aware::commandText(caption, control, request),
                                      aware::commandData(control, request));
        } else {
            const QString what =
                widgets::TranslationText(p.config, language, control + QStringLiteral(".Hint"));
            p.journal->recordWithData(history::JournalKind::CalibrationSent, controllerName(),
                                      aware::calibrationSentText(what, value, control, request),
                                      aware::calibrationSentData(control, value, request));
        }
    };
    exchange.declined = [&p, controllerName](const QString& control, const QString& request) {
        const QString caption =
            widgets::TranslationText(p.config, p.settings.language(), control + QStringLiteral(".Caption"));
        p.journal->recordWithData(history::JournalKind::CommandDeclined, controllerName(),
                                  aware::commandText(caption, control, request),
                                  aware::commandData(control, request));
    };
    // The questions name the controller as the operator knows it: its remark, else its port.
    exchange.controller = [&p, controllerName] {
        const QString name = controllerName();
        return name.isEmpty() ? p.port.portName() : name;
    };
    exchange.caption = [&p](const QString& key) {
        return widgets::TranslationText(p.config, p.settings.language(), key);
    };
    p.commands = std::make_unique<operations::OperatingCommands>(exchange);
    p.calibration = std::make_unique<operations::ChannelCalibration>(exchange);
    for (const operations::OperatingCommand& c : operations::kOperatingCommands)
        QObject::connect(window.toolButton(QLatin1String(c.button)), &QToolButton::clicked, &window,
                         [&p, &c] { p.commands->SendOperatingCommand(c); });
    for (const operations::CalibrationChannel& c : operations::kCalibrationChannels)
        QObject::connect(window.calibrationButton(c.button), &QPushButton::clicked, &window,
                         [&p, &c] { p.calibration->CalibrateChannel(c); });
    const std::pair<const char*, pages::PageWindow*> pageCommands[] = {
        {"yssz1", p.delayPage.get()},      {"qxsz1", p.curvePage.get()},       {"xtcs1", p.systemPage.get()},
        {"kzw1", p.controlBitsPage.get()}, {"bjsx1", p.alarmLimitsPage.get()}, {"gsm1", p.smsPage.get()}};
    for (const auto& [command, page] : pageCommands)
        QObject::connect(window.menuAction(QLatin1String(command)), &QAction::triggered, &window,
                         [&p, page = page] {
                             if (p.gate->pass()) page->open(p.gate->title(page->page().titleKey));
                         });
    // The curves read the history only: refused while rotating, open without a link.
    QObject::connect(window.menuAction(QStringLiteral("Q1")), &QAction::triggered, &window, [&p] {
        if (!p.gate->pass(monitor::GateRule::NoLink)) return;
        p.titleForOpening(p.curvesWindow.get());
        p.curvesWindow->exec();
    });
    // Help and about work in either connection mode and without a link.
    QObject::connect(window.menuAction(QStringLiteral("help11")), &QAction::triggered, &window, [&p] {
        p.titleForOpening(p.helpWindow.get());
        p.helpWindow->exec();
    });
    // The alarm history and the report talk to the controller: refused in rotation mode and unlinked.
    const auto modal = [&p, &window](const char* command, QDialog* dialog) {
        QObject::connect(window.menuAction(QLatin1String(command)), &QAction::triggered, &window,
                         [&p, dialog] {
                             if (!p.gate->pass(monitor::GateRule::NeedsLink)) return;
                             p.titleForOpening(dialog);
                             dialog->exec();
                         });
    };
    modal("E1", p.alarmWindow.get());
    modal("print1", p.reportWindow.get());
    // The journal and the watch limits are this PC's own: no link needed, either connection mode.
    QObject::connect(window.menuAction(QStringLiteral("jr1")), &QAction::triggered, &window, [&p] {
        p.journalWindow->refresh();
        p.titleForOpening(p.journalWindow.get());
        p.journalWindow->exec();
    });
    QObject::connect(window.menuAction(QStringLiteral("wl1")), &QAction::triggered, &window, [&p] {
        p.watchEditor->load();
        p.titleForOpening(p.watchEditor.get());
        p.watchEditor->exec();
    });
    // The fleet and the link diagnostics only look: open in either mode, with or without a link, beside
    // the main window (not modal).
    const auto showBeside = [&p](QWidget* w) {
        p.titleForOpening(w);
        w->show();
        w->raise();
        w->activateWindow();
    };
    QObject::connect(window.menuAction(QStringLiteral("fleet1")), &QAction::triggered, &window,
                     [&p, showBeside] {
                         p.fleetModel->reloadPorts();  // the settings window may have changed the list
                         p.fleetModel->setWatchLimits(p.awareness->watchLimits());
                         showBeside(p.fleetWindow.get());
                     });
    QObject::connect(window.menuAction(QStringLiteral("diag1")), &QAction::triggered, &window,
                     [&p, showBeside] { showBeside(p.diagnosticsWindow.get()); });
    QObject::connect(window.menuAction(QStringLiteral("About1")), &QAction::triggered, &window,
                     [&p] { p.aboutBox->open(); });
    // The program ends when the main window has closed (the shell decides whether it may).
    QObject::connect(&window, &MainWindow::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

Program::~Program() {
    // The port and the database close as at a normal exit, whichever way the loop ended.
    Parts& p = *d;
    p.station.stop();
    if (p.publisher) p.publisher->stop();
    p.station.unsubscribe(p.awareness.get());
    p.station.unsubscribe(p.recorder.get());
    p.station.unsubscribe(p.fleetModel.get());
    try {
        p.port.ClosePort();
    } catch (const std::exception&) {
    }
}

QWidget* Program::mainWindow() const { return d->mainWindow.get(); }

history::JournalStore& Program::journal() const { return *d->journal; }

QList<QWidget*> Program::secondaryWindows() const { return d->windows.secondaryWindows(); }

void Program::advanceLanguage() { d->switcher->advance(); }

int Program::run() {
    d->mainWindow->show();
    const int code = QApplication::exec();
    return code != 0 ? code : d->shell->exitCode();
}

}  // namespace tarsyn::app
