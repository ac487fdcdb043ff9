#include "app/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QGraphicsOpacityEffect>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "monitor/PollCycle.h"
#include "station/Station.h"
#include "widgets/Catalogue.h"
#include "widgets/ElidingLabel.h"
#include "widgets/Indicators.h"
#include "widgets/MainWindowPictures.h"

namespace tarsyn::app {

MainWindow::MainWindow(station::Station& station, const config::Config& config,
                       const config::LiveSettings& settings, const config::Messages& messages,
                       config::Prompter& prompter, QWidget* parent)
    : MainWindow(&station, nullptr, config, settings, messages, prompter, parent) {}

MainWindow::MainWindow(const config::Config& config, const config::LiveSettings& settings,
                       const config::Messages& messages, link::SerialPort& port, link::Sleeper& sleeper,
                       const link::Clock& clock, config::Prompter& prompter, QWidget* parent)
    : MainWindow(nullptr, std::make_unique<station::Station>(port, sleeper, clock, settings, messages),
                 config, settings, messages, prompter, parent) {
    m_station.start(station::Station::portsConfigured(m_config));
}

MainWindow::MainWindow(station::Station* given, std::unique_ptr<station::Station> own,
                       const config::Config& config, const config::LiveSettings& settings,
                       const config::Messages& messages, config::Prompter& prompter, QWidget* parent)
    : QMainWindow(parent),
      m_config(config),
      m_settings(settings),
      m_messages(messages),
      m_prompter(prompter),
      m_ownStation(std::move(own)),
      m_station(given ? *given : *m_ownStation) {
    // `tmr1` of a station of its own is found under the window, as when the window made it.
    if (m_ownStation) m_ownStation->setParent(this);
    build();
}

void MainWindow::build() {
    setObjectName(QStringLiteral("TForm1"));
    buildToolBar();
    buildMenus();

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnlmain"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(8, 4, 8, 8);
    column->setSpacing(6);
    column->addWidget(buildStatusStrip());
    column->addWidget(buildReadingsGroup());
    auto* lower = new QHBoxLayout;
    lower->setSpacing(8);
    lower->addWidget(buildDelaysGroup(), 3);
    lower->addWidget(buildIndicatorsGroup(), 2);
    column->addLayout(lower, 1);
    setCentralWidget(central);
    resize(1000, 700);

    // The window draws what the station's cycle shows; the station's owner starts the cycle.
    m_station.setDrawnView(this);
    connect(&poll(), &monitor::PollCycle::tickFailed, this, &MainWindow::showTickError);
    connect(m_modeButton, &QToolButton::clicked, &poll(), &monitor::PollCycle::toggleRotationMode);

    // Creation steps: title, stored language, mode display.
    setWindowTitle(m_messages.text(QStringLiteral("Form1caption")));
    widgets::SetActiveLanguage(this, m_config, m_settings.language(), widgets::WindowControls::kMainWindow);
    setEntryTexts(QString(), QString(), QString());
    for (int i = 0; i < m_tabs->count(); ++i) m_tabBase[i] = m_tabs->tabText(i);  // the catalogue's captions
    showTabCounts();
}

MainWindow::~MainWindow() {
    m_station.stop();
    m_station.setDrawnView(nullptr);
}

monitor::PollCycle& MainWindow::poll() { return m_station.poll(); }

void MainWindow::relabel() {
    // The panels and the entry labels are labels too, but they hold readings and the current entry
    // (the remark is what the recorder stores): a catalogue entry must not replace them.
    QHash<QLabel*, QString> data;
    for (QLabel* l : std::as_const(m_panels)) data.insert(l, l->text());
    for (QLabel* l : std::initializer_list<QLabel*>{m_portLabel, m_notesLabel, m_remarkLabel,
                                                    m_shownRemarkLabel, m_portProblemLabel, m_linkLabel,
                                                    m_lastReadingLabel, m_alarmCountLabel})
        data.insert(l, l->text());
    // The tabs get the catalogue's caption; the count is put back after it.
    for (int i = 0; i < m_tabs->count(); ++i) m_tabs->setTabText(i, m_tabBase.value(i));
    widgets::SetActiveLanguage(this, m_config, m_settings.language(), widgets::WindowControls::kMainWindow);
    for (auto it = data.cbegin(); it != data.cend(); ++it) it.key()->setText(it.value());
    for (int i = 0; i < m_tabs->count(); ++i) m_tabBase[i] = m_tabs->tabText(i);
    m_tabCounts.fill(-1);
    showTabCounts();
    setWindowTitle(m_messages.text(QStringLiteral("Form1caption")));
    poll().setRotationMode(poll().RotationMode());  // shows the mode label of the new language
}

void MainWindow::showTickError(const QString& message) {
    // Ticks go on while the box is open (its modal loop runs the timer): their errors are not stacked.
    if (m_tickErrorOpen) return;
    m_tickErrorOpen = true;
    m_prompter.error(message);
    m_tickErrorOpen = false;
}

QToolButton* MainWindow::toolButton(const QString& objectName) const {
    return findChild<QToolButton*>(objectName);
}

QPushButton* MainWindow::calibrationButton(int number) const {
    return findChild<QPushButton*>(QStringLiteral("btn%1").arg(number));
}

QAction* MainWindow::menuAction(const QString& objectName) const { return findChild<QAction*>(objectName); }

void MainWindow::setPanelText(const QString& panel, const QString& text) {
    if (QLabel* l = m_panels.value(panel)) l->setText(text);
}

void MainWindow::setIndicatorImage(const QString& indicator, int image) {
    if (widgets::IndicatorLamp* lamp = m_lamps.value(indicator)) {
        if (lamp->image() == image) return;
        lamp->setImage(image);
        showTabCounts();
    }
}

void MainWindow::showTabCounts() {
    // Each tab's caption carries the number of its lamps that are lit, so an emergency stop is seen
    // from the Inputs tab too.
    for (int i = 0; i < m_tabs->count(); ++i) {
        int lit = 0;
        for (const widgets::IndicatorLamp* lamp : m_tabs->widget(i)->findChildren<widgets::IndicatorLamp*>())
            lit += lamp->image() != 0;
        if (lit == m_tabCounts.value(i)) continue;
        m_tabCounts[i] = lit;
        m_tabs->setTabText(
            i, lit > 0 ? QStringLiteral("%1 (%2)").arg(m_tabBase.value(i)).arg(lit) : m_tabBase.value(i));
    }
}

void MainWindow::showAwareness(const aware::AwarenessStatus& status) {
    m_linkLabel->setText(status.linkText);
    m_linkLabel->setStyleSheet(status.linkWarning ? QStringLiteral("color: #ffffff; background: #b3261e; "
                                                                   "font-weight: bold; padding: 0 6px;")
                                                  : QStringLiteral("color: #1d7a2e;"));
    m_lastReadingLabel->setText(status.lastReplyText);
    m_alarmCountLabel->setText(status.alarmText);
    // Red for the controller's alarms known to be active; amber while nothing is known (no link) or
    // when only the operator's own limits are crossed ("Active alarms: 0" in red would contradict
    // itself); never green.
    m_alarmCountLabel->setStyleSheet(
        !status.alarmsKnown      ? QStringLiteral("color: #8a5300; font-weight: bold;")
        : status.alarms > 0      ? QStringLiteral("color: #b3261e; font-weight: bold;")
        : status.ownWarnings > 0 ? QStringLiteral("color: #8a5300; font-weight: bold;")
                                 : QString());
    setStale(status.stale);
    if (status.warnedPanels != m_warnedPanels) {
        m_warnedPanels = status.warnedPanels;
        for (QLabel* p : std::as_const(m_panels)) paintPanel(p);
    }
}

bool MainWindow::panelWarned(const QString& panel) const { return m_warnedPanels.contains(panel); }

void MainWindow::paintPanel(QLabel* p) {
    // A value beyond one of the operator's own limits is marked where it is read, not only counted in
    // the strip; a stale reading is drawn grey (a lost link does not look like a healthy set at rest).
    const bool warned = m_warnedPanels.contains(p->objectName());
    QPalette pal = p->palette();
    pal.setColor(QPalette::Window, m_stale  ? QColor(0xe4, 0xe4, 0xe4)
                                   : warned ? QColor(0xff, 0xd5, 0x9e)
                                            : QColor(Qt::white));
    pal.setColor(QPalette::WindowText,
                 m_stale ? QColor(0x90, 0x90, 0x90) : palette().color(QPalette::WindowText));
    p->setPalette(pal);
}

void MainWindow::setStale(bool stale) {
    if (stale == m_stale) return;
    m_stale = stale;
    // The readings keep their values (a "0" after a loss is what the cycle shows) but are drawn grey.
    for (QLabel* p : std::as_const(m_panels)) paintPanel(p);
    for (widgets::IndicatorLamp* lamp : std::as_const(m_lamps)) {
        auto* effect = stale ? new QGraphicsOpacityEffect(lamp) : nullptr;
        if (effect) effect->setOpacity(0.35);
        lamp->setGraphicsEffect(effect);
    }
}

void MainWindow::setConnectionImage(int image) {
    if (image == m_connectionImage) return;
    m_connectionImage = image;
    m_connectionButton->setIcon(widgets::MainWindowPictures::connection(image));
}

void MainWindow::setMode(const QString& label, bool rotation) {
    m_modeLabel->setText(label);
    const int image = rotation ? monitor::kRotationModeImage : monitor::kFixedModeImage;
    if (image == m_modeImage) return;
    m_modeImage = image;
    m_modeButton->setIcon(widgets::MainWindowPictures::mode(image));
}

void MainWindow::setHistoryStatus(bool ok, const QString& text) {
    if (!m_historyLabel) return;
    m_historyLabel->setFullText(text);
    m_historyLabel->setStyleSheet(ok ? QStringLiteral("color: #1d7a2e;")
                                     : QStringLiteral("color: #b3261e; font-weight: bold;"));
    m_historyLabel->setVisible(!text.isEmpty());
    if (ok && !text.isEmpty()) {
        // "works again" is news for a moment, not a state to keep on screen.
        QTimer::singleShot(15000, m_historyLabel, [label = m_historyLabel, text] {
            if (label->text() == text) label->hide();
        });
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) emit closed();
}

QString MainWindow::historyStatusText() const { return m_historyLabel ? m_historyLabel->text() : QString(); }

void MainWindow::setEntryTexts(const QString& port, const QString& remark, const QString& notes) {
    m_portLabel->setFullText(port);
    m_remarkLabel->setText(remark);
    m_shownRemarkLabel->setFullText(remark.trimmed());
    m_notesLabel->setFullText(notes);
}

void MainWindow::setPortText(const QString& port) { m_portLabel->setFullText(port); }

void MainWindow::setPortProblem(const QString& text) {
    m_portProblemLabel->setFullText(text);
    m_portProblemLabel->setVisible(!text.isEmpty());
}

QString MainWindow::portProblemText() const { return m_portProblemLabel->text(); }

QString MainWindow::remarkText() const { return m_remarkLabel->text(); }

void MainWindow::setBrokerStatus(bool ok, const QString& text) {
    m_brokerLabel->setFullText(text);
    m_brokerLabel->setStyleSheet(ok ? QStringLiteral("color: #1d7a2e;")
                                    : QStringLiteral("color: #b3261e; font-weight: bold;"));
    m_brokerLabel->setVisible(!text.isEmpty());
}

QString MainWindow::brokerStatusText() const { return m_brokerLabel->text(); }

void MainWindow::showSettingsWarning(const QString& text) {
    auto* strip = findChild<QWidget*>(QStringLiteral("pnlbt"));
    if (!strip || !strip->layout()) return;
    auto* label = strip->findChild<QLabel*>(QStringLiteral("lblsetwarn"));
    if (!label) {
        label = new QLabel(strip);
        label->setObjectName(QStringLiteral("lblsetwarn"));
        label->setStyleSheet(QStringLiteral("color: #b3261e; font-weight: bold;"));
        strip->layout()->addWidget(label);
    }
    label->setText(text);
    label->setToolTip(text);
    label->setVisible(!text.isEmpty());
}

QString MainWindow::settingsWarningText() const {
    const auto* label = findChild<QLabel*>(QStringLiteral("lblsetwarn"));
    return label ? label->text() : QString();
}

}  // namespace tarsyn::app
