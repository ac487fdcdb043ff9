#include "fleet/ui/DiagnosticsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/CsvWriter.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "fleet/ui/TwoLineCaption.h"
#include "widgets/Catalogue.h"

namespace tarsyn::fleet::ui {

namespace {
struct KindBox {
    link::FrameKind kind;
    const char* name;
    const char* text;
};
constexpr KindBox kKindBoxes[] = {{link::FrameKind::Poll, "chkpoll", "轮询"},
                                  {link::FrameKind::Page, "chkpage", "参数页"},
                                  {link::FrameKind::Command, "chkcommand", "命令"},
                                  {link::FrameKind::AlarmLog, "chkalarmlog", "告警记录"}};
}  // namespace

DiagnosticsWindow::DiagnosticsWindow(link::LinkMeter& meter, FrameLog& log, CurrentPort currentPort,
                                     const config::Config& config, const config::LiveSettings& settings,
                                     const config::Messages& messages, config::Prompter& prompter,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_meter(meter),
      m_log(log),
      m_currentPort(std::move(currentPort)),
      m_config(config),
      m_settings(settings),
      m_messages(messages),
      m_prompter(prompter) {
    setObjectName(QStringLiteral("TForm21"));
    m_chooseFile = [](QWidget* p, const QString& suggested) {
        return QFileDialog::getSaveFileName(p, QString(), suggested, QStringLiteral("CSV (*.csv)"));
    };
    auto* column = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    m_pause = new QPushButton(this);
    m_pause->setObjectName(QStringLiteral("btnpause"));
    connect(m_pause, &QPushButton::clicked, this, &DiagnosticsWindow::togglePause);
    controls->addWidget(m_pause);
    for (size_t i = 0; i < m_kinds.size(); ++i) {
        const KindBox& k = kKindBoxes[i];
        m_kinds[i] = new QCheckBox(QString::fromUtf8(k.text), this);
        m_kinds[i]->setObjectName(QLatin1String(k.name));
        m_kinds[i]->setChecked(m_log.kindShown(k.kind));
        connect(m_kinds[i], &QCheckBox::toggled, this,
                [this, kind = k.kind](bool on) { m_log.setKindShown(kind, on); });
        controls->addWidget(m_kinds[i]);
    }
    controls->addStretch(1);
    auto* portLabel = new QLabel(QStringLiteral("串口"), this);
    portLabel->setObjectName(QStringLiteral("lbldgport"));
    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("cbbdgport"));
    m_port->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_port->setMinimumContentsLength(18);
    connect(m_port, &QComboBox::currentTextChanged, this, &DiagnosticsWindow::refreshCounters);
    controls->addWidget(portLabel);
    controls->addWidget(m_port);
    auto* csv = new QPushButton(QStringLiteral("导出CSV"), this);
    csv->setObjectName(QStringLiteral("btndgcsv"));
    connect(csv, &QPushButton::clicked, this, &DiagnosticsWindow::exportCsv);
    controls->addWidget(csv);
    column->addLayout(controls);

    // The log above, the counters of a port below it: every column of both in the width of a
    // 1024-pixel screen.
    auto* split = new QSplitter(Qt::Vertical, this);
    m_frames = new QTableView(split);
    m_frames->setObjectName(QStringLiteral("tblframes"));
    m_frames->setModel(&m_log);
    m_frames->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_frames->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_frames->verticalHeader()->hide();
    m_frames->verticalHeader()->setDefaultSectionSize(m_frames->fontMetrics().height() + 4);
    m_frames->horizontalHeader()->setStretchLastSection(true);
    m_frames->setWordWrap(false);
    // A frame longer than its column is cut at its end (the whole text is the tooltip).
    const std::pair<int, int> widths[] = {{FrameLog::TimeColumn, 92},      {FrameLog::PortColumn, 120},
                                          {FrameLog::DirectionColumn, 70}, {FrameLog::KindColumn, 80},
                                          {FrameLog::FrameColumn, 300},    {FrameLog::LengthColumn, 56},
                                          {FrameLog::VerdictColumn, 120}};
    for (const auto& [column, width] : widths) m_frames->setColumnWidth(column, width);
    // New frames keep the view at the bottom unless the operator scrolled up to read.
    connect(&m_log, &QAbstractItemModel::rowsInserted, m_frames, [this] {
        QScrollBar* bar = m_frames->verticalScrollBar();
        if (bar->value() >= bar->maximum() - 2 * m_frames->verticalHeader()->defaultSectionSize())
            m_frames->scrollToBottom();
    });

    m_counters = new QTableWidget(2, int(link::LinkTallyFields().size()), split);
    m_counters->setObjectName(QStringLiteral("tblcounters"));
    m_counters->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Each figure as wide as its caption's longest line ("Non-hexadecimal"), the room left shared
    // out evenly (fitCounters): equal shares alone would cut the longest words.
    m_counters->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_counters->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_counters->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int r = 0; r < m_counters->rowCount(); ++r)
        for (int c = 0; c < m_counters->columnCount(); ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_counters->setItem(r, c, item);
        }
    split->addWidget(m_frames);
    split->addWidget(m_counters);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({440, 110});
    column->addWidget(split, 1);

    m_refresh = new QTimer(this);
    m_refresh->setInterval(1000);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        fillPorts();
        refreshCounters();
    });
    resize(1016, 600);
    relabel();
}

void DiagnosticsWindow::relabel() {
    widgets::SetActiveLanguage(this, m_config, m_settings.language(),
                               widgets::WindowControls::kPlainWindow | widgets::ControlClass::CheckBoxes);
    setWindowTitle(m_messages.text(QStringLiteral("Form21caption")));
    m_log.relabel();
    showPauseText();
    m_counters->setVerticalHeaderLabels(
        {m_log.message("dgsince", "Since start"), m_log.message("dghour", "Last hour")});
    const auto& fields = link::LinkTallyFields();
    for (int c = 0; c < int(fields.size()); ++c) {
        const QString figure = m_log.message(fields[size_t(c)].key, fields[size_t(c)].english);
        auto* header = new QTableWidgetItem(TwoLineCaption(figure));
        header->setToolTip(figure);
        m_counters->setHorizontalHeaderItem(c, header);
    }
    fitCounters();
}

void DiagnosticsWindow::fitCounters() {
    m_counters->resizeColumnsToContents();
    const int columns = m_counters->columnCount();
    int total = 0;
    for (int c = 0; c < columns; ++c) total += m_counters->columnWidth(c);
    const int extra = columns > 0 ? (m_counters->viewport()->width() - total) / columns : 0;
    if (extra > 0)
        for (int c = 0; c < columns; ++c) m_counters->setColumnWidth(c, m_counters->columnWidth(c) + extra);
}

void DiagnosticsWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Once the layout has given the counters their new width.
    QTimer::singleShot(0, this, [this] { fitCounters(); });
}

void DiagnosticsWindow::togglePause() {
    m_log.setPaused(!m_log.paused());
    showPauseText();
}

void DiagnosticsWindow::showPauseText() {
    // What the button does next: the catalogue has no caption for it, as it has two.
    m_pause->setText(m_log.paused() ? m_log.message("dgresume", "Resume")
                                    : m_log.message("dgpause", "Pause"));
}

void DiagnosticsWindow::fillPorts() {
    const QStringList ports = m_meter.ports();
    if (ports.size() == m_port->count()) return;  // ports are only ever added
    const QString chosen = m_port->currentText();
    QSignalBlocker quiet(m_port);
    m_port->clear();
    m_port->addItems(ports);
    const QString want = chosen.isEmpty() ? m_currentPort() : chosen;
    m_port->setCurrentIndex(std::max(0, int(ports.indexOf(want))));
}

void DiagnosticsWindow::refreshCounters() {
    const QString port = m_port->currentText();
    const link::LinkTally spans[] = {m_meter.sinceStart(port), m_meter.lastHour(port)};
    const auto& fields = link::LinkTallyFields();
    for (int r = 0; r < 2; ++r)
        for (size_t c = 0; c < fields.size(); ++c) {
            const qint64 v = spans[r].*fields[c].value;
            m_counters->item(r, int(c))->setText(v < 0 ? QStringLiteral("-") : QString::number(v));
        }
}

void DiagnosticsWindow::exportCsv() {
    const QString path = m_chooseFile(this, QStringLiteral("frames.csv"));
    if (path.isEmpty()) return;
    QString error;
    if (!config::saveWhole(path, m_log.csv(), &error))
        m_prompter.error(
            m_log.message("dgcsvfail", "The frames could not be written to %1: %2").arg(path, error));
}

void DiagnosticsWindow::showEvent(QShowEvent* event) {
    // Frames are copied only while someone looks at them.
    m_log.attach(&m_meter);
    fillPorts();
    refreshCounters();
    m_refresh->start();
    QWidget::showEvent(event);
}

void DiagnosticsWindow::hideEvent(QHideEvent* event) {
    m_refresh->stop();
    m_log.attach(nullptr);
    QWidget::hideEvent(event);
}

}  // namespace tarsyn::fleet::ui
