#include "aware/ui/JournalWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "aware/JournalExport.h"
#include "config/CatalogueText.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "widgets/Catalogue.h"

namespace tarsyn::aware::ui {

namespace {
const QString kStampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QLabel* label(const char* name, const char* text, QWidget* parent) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setObjectName(QLatin1String(name));
    return l;
}
}  // namespace

JournalWindow::JournalWindow(history::JournalStore& journal, const config::Config& config,
                             const config::LiveSettings& settings, const config::Messages& messages,
                             config::Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      m_journal(journal),
      m_config(config),
      m_settings(settings),
      m_messages(messages),
      m_prompter(prompter) {
    setObjectName(QStringLiteral("TForm18"));
    m_chooseFile = [](QWidget* p, const QString& suggested) {
        return QFileDialog::getSaveFileName(p, QString(), suggested, QStringLiteral("CSV (*.csv)"));
    };
    auto* column = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    m_controller = new QComboBox(this);
    m_controller->setObjectName(QStringLiteral("cbbctl"));
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("cbbkind"));
    m_range = new QCheckBox(QStringLiteral("时间范围"), this);
    m_range->setObjectName(QStringLiteral("chkrange"));
    const QDateTime now = m_journal.clock().now();
    m_from = new QDateTimeEdit(now.addDays(-1), this);
    m_from->setObjectName(QStringLiteral("dtfrom"));
    m_to = new QDateTimeEdit(now, this);
    m_to->setObjectName(QStringLiteral("dtto"));
    for (QDateTimeEdit* e : {m_from, m_to}) {
        e->setDisplayFormat(kStampFormat);
        e->setCalendarPopup(true);
    }
    // A range "up to now" keeps showing the events that come after it was set; only an end the
    // operator chose himself hides them.
    m_upToNow = new QCheckBox(QStringLiteral("至今"), this);
    m_upToNow->setObjectName(QStringLiteral("chkuptonow"));
    m_upToNow->setChecked(true);
    const auto enable = [this] {
        m_from->setEnabled(m_range->isChecked());
        m_upToNow->setEnabled(m_range->isChecked());
        m_to->setEnabled(m_range->isChecked() && !m_upToNow->isChecked());
    };
    connect(m_range, &QCheckBox::toggled, this, enable);
    connect(m_upToNow, &QCheckBox::toggled, this, enable);
    enable();
    grid->addWidget(label("lblctl", "机组", this), 0, 0);
    grid->addWidget(m_controller, 0, 1);
    grid->addWidget(label("lblkind", "事件", this), 0, 2);
    grid->addWidget(m_kind, 0, 3);
    grid->addWidget(m_range, 1, 0);
    grid->addWidget(m_from, 1, 1);
    grid->addWidget(label("lblto", "至", this), 1, 2);
    grid->addWidget(m_to, 1, 3);
    grid->addWidget(m_upToNow, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    column->addLayout(grid);

    m_table = new QTableWidget(0, 4, this);
    m_table->setObjectName(QStringLiteral("lvjournal"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    column->addWidget(m_table, 1);

    auto* buttons = new QHBoxLayout;
    auto* queryButton = new QPushButton(QStringLiteral("查询"), this);
    queryButton->setObjectName(QStringLiteral("btnquery"));
    auto* csvButton = new QPushButton(QStringLiteral("导出CSV"), this);
    csvButton->setObjectName(QStringLiteral("btnjrcsv"));
    auto* closeButton = new QPushButton(QStringLiteral("关闭"), this);
    closeButton->setObjectName(QStringLiteral("btnclose"));
    buttons->addStretch(1);
    buttons->addWidget(queryButton);
    buttons->addWidget(csvButton);
    buttons->addWidget(closeButton);
    column->addLayout(buttons);
    connect(queryButton, &QPushButton::clicked, this, &JournalWindow::query);
    connect(csvButton, &QPushButton::clicked, this, &JournalWindow::exportCsv);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    resize(820, 520);
    relabel();
}

QString JournalWindow::kindText(history::JournalKind kind) const {
    return JournalKindText(kind, [this](const QString& key) { return m_messages.text(key); });
}

void JournalWindow::relabel() {
    widgets::SetActiveLanguage(this, m_config, m_settings.language(),
                               widgets::WindowControls::kPlainWindow | widgets::ControlClass::CheckBoxes);
    setWindowTitle(m_messages.text(QStringLiteral("Form18caption")));
    m_table->setHorizontalHeaderLabels(
        {m_messages.text(QStringLiteral("awcoltime")), m_messages.text(QStringLiteral("awcolctl")),
         m_messages.text(QStringLiteral("awcolkind")), m_messages.text(QStringLiteral("awcoldetail"))});
    const int kind = m_kind->currentIndex();
    m_kind->clear();
    m_kind->addItem(m_messages.text(QStringLiteral("awall")));
    for (history::JournalKind k : history::kJournalKinds) m_kind->addItem(kindText(k), int(k));
    m_kind->setCurrentIndex(qMax(0, kind));
    if (m_controller->count() == 0)
        m_controller->addItem(m_messages.text(QStringLiteral("awall")));
    else
        m_controller->setItemText(0, m_messages.text(QStringLiteral("awall")));
    // The events are said again in the new language: one recorded in another language reads in this one.
    const config::Catalogue catalogue = config::Catalogue::load(m_config, m_settings.language());
    for (int row = 0; row < m_shown.size(); ++row) {
        if (QTableWidgetItem* item = m_table->item(row, 2)) item->setText(kindText(m_shown.at(row).kind));
        if (QTableWidgetItem* item = m_table->item(row, 3))
            item->setText(RenderJournalDetail(m_shown.at(row), catalogue).text);
    }
    if (!m_shown.isEmpty()) m_table->resizeColumnsToContents();
}

history::JournalFilter JournalWindow::filter() const {
    history::JournalFilter f;
    if (m_controller->currentIndex() > 0) f.controller = m_controller->currentText();
    if (m_kind->currentIndex() > 0) f.kind = history::JournalKind(m_kind->currentData().toInt());
    if (m_range->isChecked()) {
        f.from = m_from->dateTime();
        if (!m_upToNow->isChecked()) f.to = m_to->dateTime();
    }
    return f;
}

void JournalWindow::refresh() {
    // A range not in use moves with the time: ticked hours later, it still ends now.
    const QDateTime now = m_journal.clock().now();
    if (!m_range->isChecked()) m_from->setDateTime(now.addDays(-1));
    if (!m_range->isChecked() || m_upToNow->isChecked()) m_to->setDateTime(now);
    const QString current = m_controller->currentIndex() > 0 ? m_controller->currentText() : QString();
    m_controller->clear();
    m_controller->addItem(m_messages.text(QStringLiteral("awall")));
    try {
        m_controller->addItems(m_journal.controllers());
    } catch (const history::HistoryError& e) {
        m_prompter.error(e.message());
    }
    const int at = current.isEmpty() ? 0 : m_controller->findText(current);
    m_controller->setCurrentIndex(qMax(0, at));
    query();
}

void JournalWindow::query() {
    try {
        m_shown = m_journal.events(filter());
    } catch (const history::HistoryError& e) {
        m_shown.clear();
        m_prompter.error(e.message());
    }
    m_table->setRowCount(int(m_shown.size()));
    const config::Catalogue catalogue = config::Catalogue::load(m_config, m_settings.language());
    for (int row = 0; row < m_shown.size(); ++row) {
        const history::JournalEvent& e = m_shown.at(row);
        // The operator reads the captions he knows, in his language; the control names and the frames
        // stay in the export.
        const QString cells[] = {e.sj, e.controller, kindText(e.kind),
                                 RenderJournalDetail(e, catalogue).text};
        for (int c = 0; c < 4; ++c) m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
    m_table->resizeColumnsToContents();
}

void JournalWindow::exportCsv() {
    const QString suggested = QDir(m_config.dataDir()).filePath(QStringLiteral("journal.csv"));
    const QString path = m_chooseFile(this, suggested);
    if (path.isEmpty()) return;
    QString error;
    if (!WriteJournalCsv(
            path, m_shown, [this](history::JournalKind k) { return kindText(k); },
            config::Catalogue::load(m_config, m_settings.language()), &error))
        m_prompter.error(
            m_messages.text(QStringLiteral("awcsvfail")).arg(QDir::toNativeSeparators(path), error));
}

}  // namespace tarsyn::aware::ui
