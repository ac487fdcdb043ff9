#include "aware/ui/WatchLimitEditor.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "widgets/Catalogue.h"

namespace tarsyn::aware::ui {

namespace {

enum Column { kController, kValue, kLow, kHigh, kHold, kBand, kColumns };

std::optional<double> number(const QString& text, bool* ok) {
    *ok = true;
    if (text.trimmed().isEmpty()) return std::nullopt;
    const double v = text.trimmed().toDouble(ok);
    return *ok ? std::optional<double>(v) : std::nullopt;
}

QString text(const std::optional<double>& v) { return v ? QString::number(*v) : QString(); }

}  // namespace

WatchLimitEditor::WatchLimitEditor(config::Config& config, const config::LiveSettings& settings,
                                   const config::Messages& messages, config::Prompter& prompter,
                                   Applied applied, QWidget* parent)
    : QDialog(parent),
      m_config(config),
      m_settings(settings),
      m_messages(messages),
      m_prompter(prompter),
      m_applied(std::move(applied)) {
    setObjectName(QStringLiteral("TForm19"));
    auto* column = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("自设限值只在本机报警，不写入控制器。"), this);
    note->setObjectName(QStringLiteral("lblwlnote"));
    note->setWordWrap(true);
    column->addWidget(note);
    m_table = new QTableWidget(0, kColumns, this);
    m_table->setObjectName(QStringLiteral("lvwatch"));
    m_table->verticalHeader()->hide();
    // Every column as wide as its longest caption or value name, so none is cut.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    column->addWidget(m_table, 1);
    auto* buttons = new QHBoxLayout;
    const std::pair<const char*, const char*> names[] = {
        {"btnwladd", "增加"}, {"btnwldel", "删除"}, {"btnsave", "保存"}, {"btnclose", "关闭"}};
    QPushButton* made[4];
    for (int i = 0; i < 4; ++i) {
        made[i] = new QPushButton(QString::fromUtf8(names[i].second), this);
        made[i]->setObjectName(QLatin1String(names[i].first));
        if (i == 2) buttons->addStretch(1);
        buttons->addWidget(made[i]);
    }
    column->addLayout(buttons);
    connect(made[0], &QPushButton::clicked, this, &WatchLimitEditor::addRow);
    connect(made[1], &QPushButton::clicked, this, &WatchLimitEditor::removeRow);
    connect(made[2], &QPushButton::clicked, this, [this] {
        if (save()) accept();
    });
    connect(made[3], &QPushButton::clicked, this, &QDialog::reject);
    resize(760, 360);
    relabel();
}

void WatchLimitEditor::fitWidth() {
    // Wide enough for every column without a scroll bar, but never wider than the screen allows.
    m_table->resizeColumnsToContents();
    const int columns = m_table->horizontalHeader()->length();
    const int frame =
        width() - m_table->viewport()->width() + m_table->verticalScrollBar()->sizeHint().width();
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const int wanted = qMin(columns + frame, screen.width() - 24);
    if (wanted > width()) resize(wanted, height());
}

void WatchLimitEditor::relabel() {
    widgets::SetActiveLanguage(this, m_config, m_settings.language(), widgets::WindowControls::kPlainWindow);
    setWindowTitle(m_messages.text(QStringLiteral("Form19caption")));
    QStringList headers;
    for (const char* key : {"awwlctl", "awwlvalue", "awwllow", "awwlhigh", "awwlhold", "awwlband"})
        headers << m_messages.text(QLatin1String(key));
    m_table->setHorizontalHeaderLabels(headers);
    // The value names follow the language: each box keeps its panel as the item's data.
    for (int row = 0; row < m_table->rowCount(); ++row) {
        auto* box = qobject_cast<QComboBox*>(m_table->cellWidget(row, kValue));
        if (!box) continue;
        for (int i = 0; i < box->count(); ++i) box->setItemText(i, valueName(box->itemData(i).toString()));
    }
    fitWidth();
}

void WatchLimitEditor::appendRow(const WatchLimit& l) {
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    auto* controller = new QComboBox(m_table);
    controller->setEditable(true);
    controller->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const config::PortEntry& e : m_settings.ports())
        if (!e.remark.trimmed().isEmpty()) controller->addItem(e.remark.trimmed());
    controller->setCurrentText(l.controller);
    m_table->setCellWidget(row, kController, controller);
    auto* value = new QComboBox(m_table);
    value->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const QString& panel : WatchableValues()) value->addItem(valueName(panel), panel);
    value->setCurrentIndex(qMax(0, value->findData(l.panel)));
    m_table->setCellWidget(row, kValue, value);
    m_table->setItem(row, kLow, new QTableWidgetItem(text(l.low)));
    m_table->setItem(row, kHigh, new QTableWidgetItem(text(l.high)));
    m_table->setItem(row, kHold, new QTableWidgetItem(QString::number(l.holdSeconds)));
    m_table->setItem(row, kBand, new QTableWidgetItem(QString::number(l.band)));
    fitWidth();
}

void WatchLimitEditor::load() {
    m_table->setRowCount(0);
    for (const WatchLimit& l : LoadWatchLimits(m_config)) appendRow(l);
}

void WatchLimitEditor::addRow() {
    WatchLimit l;
    const auto ports = m_settings.ports();
    if (!ports.isEmpty()) l.controller = ports.first().remark.trimmed();
    l.panel = QStringLiteral("pnl17");
    appendRow(l);
}

void WatchLimitEditor::removeRow() {
    const int row = m_table->currentRow();
    if (row >= 0) m_table->removeRow(row);
}

QString WatchLimitEditor::valueName(const QString& panel) const {
    const QString caption = widgets::TranslationText(
        m_config, m_settings.language(), QStringLiteral("lbl") + panel.mid(3) + QStringLiteral(".Caption"));
    return caption == QLatin1String("0") ? panel : caption;
}

QString WatchLimitEditor::unitOf(const QString& panel) const {
    // The unit the main window shows beside the value (its label lbldw…); none for a bare number.
    const QString unit = widgets::TranslationText(
        m_config, m_settings.language(), QStringLiteral("lbldw") + panel.mid(3) + QStringLiteral(".Caption"));
    return unit == QLatin1String("0") ? QString() : unit;
}

std::optional<QVector<WatchLimit>> WatchLimitEditor::limits(QString* error) const {
    QVector<WatchLimit> out;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        WatchLimit l;
        l.controller =
            qobject_cast<QComboBox*>(m_table->cellWidget(row, kController))->currentText().trimmed();
        l.panel = qobject_cast<QComboBox*>(m_table->cellWidget(row, kValue))->currentData().toString();
        auto cell = [this, row](int c) {
            return m_table->item(row, c) ? m_table->item(row, c)->text() : QString();
        };
        auto header = [this](int c) { return m_table->horizontalHeaderItem(c)->text(); };
        // Each number box on its own: the refusal names the row, the box and what it may hold.
        const ValueRange range = WatchRange(l.panel).value_or(ValueRange{});
        const QString unit = unitOf(l.panel);
        auto refuse = [&](const QString& text) {
            if (error) *error = text;
            return std::nullopt;
        };
        auto notANumber = [&](int c) {
            return m_messages.text(QStringLiteral("awwlnumber"))
                .arg(QString::number(row + 1), valueName(l.panel), header(c), cell(c).trimmed());
        };
        auto outOfRange = [&](int c, double low, double high, const QString& in) {
            return m_messages.text(QStringLiteral("awwlrange"))
                .arg(QString::number(row + 1), valueName(l.panel), header(c), QString::number(low),
                     QString::number(high), in.isEmpty() ? QString() : QStringLiteral(" ") + in);
        };
        bool ok = true;
        l.low = number(cell(kLow), &ok);
        if (!ok) return refuse(notANumber(kLow));
        if (l.low && !range.contains(*l.low)) return refuse(outOfRange(kLow, range.low, range.high, unit));
        l.high = number(cell(kHigh), &ok);
        if (!ok) return refuse(notANumber(kHigh));
        if (l.high && !range.contains(*l.high)) return refuse(outOfRange(kHigh, range.low, range.high, unit));
        const QString hold = cell(kHold).trimmed();
        l.holdSeconds = hold.isEmpty() ? 0 : hold.toInt(&ok);
        if (!ok) return refuse(notANumber(kHold));
        if (l.holdSeconds < 0 || l.holdSeconds > kWatchHoldMaxSeconds)
            return refuse(outOfRange(kHold, 0, kWatchHoldMaxSeconds, QStringLiteral("s")));
        l.band = number(cell(kBand), &ok).value_or(0.0);
        if (!ok) return refuse(notANumber(kBand));
        if (!(l.band >= 0 && l.band <= range.high - range.low))
            return refuse(outOfRange(kBand, 0, range.high - range.low, unit));
        // Then the row as a whole: a controller, a limit on at least one side, and limits that leave
        // room for the band between them.
        if (l.controller.isEmpty() || !WatchLimitUsable(l))
            return refuse(m_messages.text(QStringLiteral("awwlbad")).arg(row + 1));
        out << l;
    }
    return out;
}

bool WatchLimitEditor::save() {
    QString error;
    const auto read = limits(&error);
    if (!read) {
        m_prompter.information(error);
        return false;
    }
    try {
        SaveWatchLimits(m_config, *read);
    } catch (const config::ConfigError& e) {
        m_prompter.error(e.message());
        return false;
    }
    if (m_applied) m_applied(*read);
    return true;
}

}  // namespace tarsyn::aware::ui
