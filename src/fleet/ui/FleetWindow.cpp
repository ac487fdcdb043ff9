#include "fleet/ui/FleetWindow.h"

#include <QBrush>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "fleet/ui/TwoLineCaption.h"
#include "widgets/Catalogue.h"

namespace tarsyn::fleet::ui {

namespace {

// The model says how urgent a row is; the window says what that looks like.
class ColouredRows : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::BackgroundRole) {
            switch (Severity(QIdentityProxyModel::data(index, FleetModel::SeverityRole).toInt())) {
                case Severity::Alarm:
                    return QBrush(FleetColours::kAlarmBackground);
                case Severity::LinkLost:
                    return QBrush(FleetColours::kLostBackground);
                default:
                    return {};
            }
        }
        if (role == Qt::ForegroundRole && QIdentityProxyModel::data(index, FleetModel::StaleRole).toBool())
            return QBrush(FleetColours::kStaleText);
        return QIdentityProxyModel::data(index, role);
    }
    // Twelve columns fit a 1024-pixel screen when the longer captions take two lines; the whole
    // caption is the tooltip.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        const QVariant text = QIdentityProxyModel::headerData(section, orientation, Qt::DisplayRole);
        if (orientation != Qt::Horizontal) return QIdentityProxyModel::headerData(section, orientation, role);
        if (role == Qt::ToolTipRole) return text;
        if (role != Qt::DisplayRole) return QIdentityProxyModel::headerData(section, orientation, role);
        return TwoLineCaption(text.toString());
    }
};

}  // namespace

FleetWindow::FleetWindow(FleetModel& model, const config::Config& config,
                         const config::LiveSettings& settings, const config::Messages& messages,
                         config::Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_model(model),
      m_config(config),
      m_settings(settings),
      m_messages(messages),
      m_prompter(prompter) {
    setObjectName(QStringLiteral("TForm20"));
    auto* column = new QVBoxLayout(this);
    m_hint = new QLabel(QStringLiteral("双击或按回车键，在主窗口中显示该机组。"), this);
    m_hint->setObjectName(QStringLiteral("lblfleethint"));
    m_hint->setWordWrap(true);
    column->addWidget(m_hint);

    // The other sites, from the broker: shown only with fleet publishing.
    m_brokerRow = new QWidget(this);
    auto* broker = new QHBoxLayout(m_brokerRow);
    broker->setContentsMargins(0, 0, 0, 0);
    auto* brokerLabel = new QLabel(QStringLiteral("其他站点（代理服务器）："), m_brokerRow);
    brokerLabel->setObjectName(QStringLiteral("lblsites"));
    m_brokerFilter = new QLineEdit(QLatin1String(BrokerFleet::kDefaultFilter), m_brokerRow);
    m_brokerFilter->setObjectName(QStringLiteral("edtsites"));
    m_brokerWatch = new QPushButton(QStringLiteral("观看"), m_brokerRow);
    m_brokerWatch->setObjectName(QStringLiteral("btnsites"));
    brokerLabel->setBuddy(m_brokerFilter);
    broker->addWidget(brokerLabel);
    broker->addWidget(m_brokerFilter, 1);
    broker->addWidget(m_brokerWatch);
    m_brokerRow->hide();
    column->addWidget(m_brokerRow);
    const auto watch = [this] {
        if (!m_broker) return;
        const QString refusal = m_broker->watch(m_brokerFilter->text());
        if (!refusal.isEmpty())
            m_prompter.error(m_messages.text(QStringLiteral("fltbrokerbad")).arg(refusal));
    };
    connect(m_brokerWatch, &QPushButton::clicked, this, watch);
    connect(m_brokerFilter, &QLineEdit::returnPressed, this, watch);

    auto* coloured = new ColouredRows(this);
    coloured->setSourceModel(&m_model);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tblfleet"));
    m_table->setModel(coloured);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Header captions wrap rather than widen the table past a 1024-pixel screen.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->setWordWrap(false);
    // Long port names (a device path) lose their middle, never their end; the tooltip has them whole.
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->horizontalHeader()->setMaximumSectionSize(160);
    column->addWidget(m_table, 1);

    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { choose(i.row()); });
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* enter = new QShortcut(key, m_table);
        enter->setContext(Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, [this] {
            if (m_table->currentIndex().isValid()) choose(m_table->currentIndex().row());
        });
    }
    // The first columns tell the sets apart; the rest are numbers.
    connect(&m_model, &QAbstractItemModel::modelReset, this, &FleetWindow::fitColumns);
    // A text that grew (a reading's age: "15:06:14, 2 min old") widens its column again.
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                for (int c = from.column(); c <= to.column(); ++c)
                    if (static_cast<QAbstractItemView*>(m_table)->sizeHintForColumn(c) >
                        m_table->columnWidth(c)) {
                        fitColumns();
                        return;
                    }
            });
    resize(1016, 420);
    relabel();
}

void FleetWindow::setBrokerSource(BrokerFleet* source) {
    m_broker = source;
    m_brokerRow->setVisible(source != nullptr);
}

void FleetWindow::relabel() {
    widgets::SetActiveLanguage(this, m_config, m_settings.language(), widgets::WindowControls::kPlainWindow);
    setWindowTitle(m_messages.text(QStringLiteral("Form20caption")));
    m_model.relabel();
    fitColumns();
}

void FleetWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fitColumns();
}

void FleetWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitColumns();
}

void FleetWindow::fitColumns() {
    m_table->resizeColumnsToContents();
    // The remark names the set; the port, often a long device path, gives way first.
    constexpr int kPortWidth = 110;
    if (m_table->columnWidth(FleetModel::PortColumn) > kPortWidth)
        m_table->setColumnWidth(FleetModel::PortColumn, kPortWidth);
    // Every column on screen, the last ("Own limits") too: the texts that can lose their middle give
    // way, down to a few characters each, rather than push the last columns out of sight.
    int total = 0;
    for (int c = 0; c < m_table->model()->columnCount(); ++c) total += m_table->columnWidth(c);
    const int room = m_table->viewport()->width();
    constexpr int kNarrowest = 64;
    for (const int c : {int(FleetModel::PortColumn), int(FleetModel::LinkColumn),
                        int(FleetModel::ReadingColumn), int(FleetModel::RemarkColumn)}) {
        if (total <= room) break;
        const int cut = std::min(total - room, std::max(0, m_table->columnWidth(c) - kNarrowest));
        m_table->setColumnWidth(c, m_table->columnWidth(c) - cut);
        total -= cut;
    }
}

void FleetWindow::choose(int viewRow) {
    const FleetModel::Selection outcome = m_model.select(viewRow);
    const QString refusal = m_model.refusalText(outcome);
    if (!refusal.isEmpty()) m_prompter.information(refusal);
}

}  // namespace tarsyn::fleet::ui
