#include "app/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "widgets/Catalogue.h"
#include "widgets/Indicators.h"
#include "widgets/MainWindowPictures.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "monitor/PollCycle.h"

namespace tarsyn::app {

MainWindow::MainWindow(const config::Config& config, const config::LiveSettings& settings, const config::Messages& messages,
                       link::SerialPort& port, link::Sleeper& sleeper, const link::Clock& clock,
                       config::Prompter& prompter, QWidget* parent)
    : QMainWindow(parent),
      m_config(config),
      m_settings(settings),
      m_messages(messages),
      m_prompter(prompter) {
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

    m_poll = std::make_unique<monitor::PollCycle>(port, sleeper, clock, settings, messages, *this, this);
    connect(m_poll.get(), &monitor::PollCycle::tickFailed, this, &MainWindow::showTickError);
    connect(m_modeButton, &QToolButton::clicked, m_poll.get(), &monitor::PollCycle::toggleRotationMode);

    // Creation steps: title, stored language, poll state, mode display; then the timer runs.
    setWindowTitle(m_messages.text(QStringLiteral("Form1caption")));
    widgets::SetActiveLanguage(this, m_config, m_settings.language(), widgets::WindowControls::kMainWindow);
    setEntryTexts(QString(), QString(), QString());
    const bool portsConfigured = m_config.reini(QStringLiteral("system.ini"), QStringLiteral("Set"),
                                                QStringLiteral("Ports")) != QLatin1String("0");
    m_poll->ClearLiveDisplay();
    m_poll->initialise(portsConfigured);
    m_poll->startTimer();
}

MainWindow::~MainWindow() { m_poll->stopTimer(); }

void MainWindow::relabel() {
    // The panels and the entry labels are labels too, but they hold readings and the current entry
    // (the remark is what the recorder stores): a catalogue entry must not replace them.
    QHash<QLabel*, QString> data;
    for (QLabel* l : std::as_const(m_panels)) data.insert(l, l->text());
    for (QLabel* l : {m_portLabel, m_notesLabel, m_remarkLabel, m_portProblemLabel})
        data.insert(l, l->text());
    widgets::SetActiveLanguage(this, m_config, m_settings.language(), widgets::WindowControls::kMainWindow);
    for (auto it = data.cbegin(); it != data.cend(); ++it) it.key()->setText(it.value());
    setWindowTitle(m_messages.text(QStringLiteral("Form1caption")));
    m_poll->setRotationMode(m_poll->RotationMode());  // shows the mode label of the new language
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
    if (widgets::IndicatorLamp* lamp = m_lamps.value(indicator)) lamp->setImage(image);
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
    m_historyLabel->setText(text);
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
    m_portLabel->setText(port);
    m_remarkLabel->setText(remark);
    m_notesLabel->setText(notes);
}

void MainWindow::setPortText(const QString& port) { m_portLabel->setText(port); }

void MainWindow::setPortProblem(const QString& text) {
    m_portProblemLabel->setText(text);
    m_portProblemLabel->setToolTip(text);
    m_portProblemLabel->setVisible(!text.isEmpty());
}

QString MainWindow::portProblemText() const { return m_portProblemLabel->text(); }

QString MainWindow::remarkText() const { return m_remarkLabel->text(); }

}  // namespace tarsyn::app
