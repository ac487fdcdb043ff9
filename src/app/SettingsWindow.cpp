#include "app/SettingsWindow.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/core/SettingsLogic.h"
#include "config/LiveSettings.h"

namespace tarsyn::app {

namespace {
QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}
QLineEdit* edit(QWidget* parent, const char* name, const QString& text) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}
QPushButton* button(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}
}  // namespace

SettingsWindow::SettingsWindow(SettingsLogic& logic, config::LiveSettings& settings,
                               const config::Messages& messages, Translator translate, QWidget* parent)
    : QDialog(parent),
      m_logic(logic),
      m_settings(settings),
      m_messages(messages),
      m_translate(std::move(translate)) {
    setObjectName(QStringLiteral("TForm2"));
    setModal(true);

    m_language = new QComboBox(this);
    m_language->setObjectName(QStringLiteral("cbb1"));
    // Only a language whose catalogue is installed can be chosen: a typed name would show every
    // text as "0" from the next start on.
    m_language->setEditable(false);
    m_refresh = new QComboBox(this);
    m_refresh->setObjectName(QStringLiteral("cbb2"));
    m_refresh->setEditable(true);
    m_refresh->setInsertPolicy(QComboBox::NoInsert);
    m_hour = edit(this, "cbbnls", QStringLiteral("60"));
    m_day = edit(this, "cbb24s", QStringLiteral("1"));
    m_super = edit(this, "edtcjgly", QString());
    m_ordinary = edit(this, "edtptgly", QString());
    // No length cap on the boxes: a pasted password longer than the limit would be cut silently and
    // then fail at the login; the close procedure refuses it with a message instead.
    for (QLineEdit* pw : {m_super, m_ordinary}) pw->setEchoMode(QLineEdit::Password);

    auto* grid = new QGridLayout;
    grid->addWidget(label(this, "lbl1", QStringLiteral("language")), 0, 0);
    grid->addWidget(m_language, 0, 1);
    grid->addWidget(label(this, "lbl2", QStringLiteral("刷新时间")), 1, 0);
    grid->addWidget(m_refresh, 1, 1);
    grid->addWidget(label(this, "lbl3", QStringLiteral("秒")), 1, 2);
    grid->addWidget(label(this, "lbl4", QStringLiteral("保存时间1")), 2, 0);
    grid->addWidget(m_hour, 2, 1);
    grid->addWidget(label(this, "lbl5", QStringLiteral("秒")), 2, 2);
    grid->addWidget(label(this, "lbl6", QStringLiteral("保存时间2")), 3, 0);
    grid->addWidget(m_day, 3, 1);
    grid->addWidget(label(this, "lbl7", QStringLiteral("分钟")), 3, 2);
    grid->addWidget(label(this, "lbl8", QStringLiteral("超管口令")), 4, 0);
    grid->addWidget(m_super, 4, 1);
    grid->addWidget(label(this, "lbl9", QStringLiteral("普管口令")), 5, 0);
    grid->addWidget(m_ordinary, 5, 1);

    auto* group = new QGroupBox(QStringLiteral("设备清单"), this);
    group->setObjectName(QStringLiteral("grp1"));
    m_list = new QTreeWidget(group);
    m_list->setObjectName(QStringLiteral("lv1"));
    m_list->setColumnCount(3);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setColumnWidth(0, kPortColumnWidth);
    m_list->setColumnWidth(1, kRemarkColumnWidth);
    m_list->setColumnWidth(2, kNotesColumnWidth);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("pm1"));
    QAction* add = m_menu->addAction(QStringLiteral("添加"));
    add->setObjectName(QStringLiteral("N1"));
    QAction* del = m_menu->addAction(QStringLiteral("删除"));
    del->setObjectName(QStringLiteral("N2"));
    connect(add, &QAction::triggered, this, &SettingsWindow::showAddPanel);
    connect(del, &QAction::triggered, this, &SettingsWindow::deleteSelected);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_menu->popup(m_list->viewport()->mapToGlobal(at)); });

    m_addPanel = new QFrame(group);
    m_addPanel->setObjectName(QStringLiteral("pnl1"));
    m_addPanel->setFrameShape(QFrame::StyledPanel);
    m_newPort = edit(m_addPanel, "edt1", QStringLiteral("com1"));
    m_newRemark = edit(m_addPanel, "edtbz", QStringLiteral("com1"));
    m_newNotes = edit(m_addPanel, "edt2", QString());
    QPushButton* ok = button(m_addPanel, "btnqd", QStringLiteral("确定"));
    QPushButton* cancel = button(m_addPanel, "btnqx", QStringLiteral("取消"));
    auto* panel = new QGridLayout(m_addPanel);
    panel->addWidget(label(m_addPanel, "lblport", QStringLiteral("Port：")), 0, 0);
    panel->addWidget(m_newPort, 0, 1);
    panel->addWidget(label(m_addPanel, "lblremark", QStringLiteral("Remark：")), 1, 0);
    panel->addWidget(m_newRemark, 1, 1);
    panel->addWidget(label(m_addPanel, "lblnotes", QStringLiteral("notes：")), 2, 0);
    panel->addWidget(m_newNotes, 2, 1);
    auto* panelButtons = new QHBoxLayout;
    panelButtons->addStretch();
    panelButtons->addWidget(ok);
    panelButtons->addWidget(cancel);
    panel->addLayout(panelButtons, 3, 0, 1, 2);
    m_addPanel->hide();
    connect(ok, &QPushButton::clicked, this, &SettingsWindow::addConfirmed);
    connect(cancel, &QPushButton::clicked, m_addPanel, &QWidget::hide);

    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_list);
    groupLayout->addWidget(m_addPanel);

    QPushButton* quit = button(this, "btnszq", QStringLiteral("退出"));
    connect(quit, &QPushButton::clicked, this, &SettingsWindow::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(quit);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(group, 1);
    layout->addLayout(bottom);
    resize(420, 440);

    // Creation: the stored settings, the catalogue list, the stored language applied.
    m_logic.load();
    m_language->addItems(m_logic.catalogueList());
    m_refresh->addItems(
        {QStringLiteral("6"), QStringLiteral("10"), QStringLiteral("60"), QStringLiteral("120")});
    showSettings();
    relabel();

    // Controls -> the draft, as they change. The program's settings change only when a save succeeds.
    config::LiveSettings& draft = m_logic.draft();
    connect(m_language, &QComboBox::currentTextChanged, this, [this, &draft](const QString& t) {
        if (!m_showing) draft.setLanguage(t);
    });
    connect(m_refresh, &QComboBox::currentTextChanged, this, [this, &draft](const QString& t) {
        if (!m_showing) draft.setRefreshText(t);
    });
    connect(m_hour, &QLineEdit::textChanged, this, [this, &draft](const QString& t) {
        if (!m_showing) draft.setHourIntervalText(t);
    });
    connect(m_day, &QLineEdit::textChanged, this, [this, &draft](const QString& t) {
        if (!m_showing) draft.setDayIntervalText(t);
    });
    connect(m_hour, &QLineEdit::editingFinished, this, [this] { m_logic.applyHourMinimum(); });
    connect(m_day, &QLineEdit::editingFinished, this, [this] { m_logic.applyDayMinimum(); });
    m_hour->installEventFilter(this);
    m_day->installEventFilter(this);
    // Draft -> controls (the logic raising an interval, a save normalising a number, a declined save
    // putting back the settings in effect).
    connect(&draft, &config::LiveSettings::changed, this, &SettingsWindow::showSettings);
}

void SettingsWindow::relabel() {
    if (m_translate) m_translate(this);
    setWindowTitle(m_messages.text(QStringLiteral("Form2caption")));
    m_list->setHeaderLabels({m_messages.text(QStringLiteral("port")),
                             m_messages.text(QStringLiteral("remark")),
                             m_messages.text(QStringLiteral("notes"))});
}

void SettingsWindow::selectLanguage(int index) {
    if (index < 0 || index >= m_language->count()) return;
    m_language->setCurrentIndex(index);
    m_settings.setLanguage(m_language->itemText(index));
}

void SettingsWindow::showSettings() {
    const config::LiveSettings& draft = m_logic.draft();
    m_showing = true;
    if (m_language->currentText() != draft.language()) m_language->setCurrentText(draft.language());
    if (m_refresh->currentText() != draft.refreshText()) m_refresh->setCurrentText(draft.refreshText());
    if (m_hour->text() != draft.hourIntervalText()) m_hour->setText(draft.hourIntervalText());
    if (m_day->text() != draft.dayIntervalText()) m_day->setText(draft.dayIntervalText());
    fillRows();
    m_showing = false;
}

void SettingsWindow::fillRows() {
    const QVector<config::PortEntry> rows = m_logic.draft().ports();
    bool same = m_list->topLevelItemCount() == rows.size();
    for (int i = 0; same && i < rows.size(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        same = item->text(0) == rows[i].port && item->text(1) == rows[i].remark &&
               item->text(2) == rows[i].notes;
    }
    if (same) return;
    const int selected = m_list->indexOfTopLevelItem(m_list->currentItem());
    m_list->clear();
    for (const config::PortEntry& row : rows) {
        auto* item = new QTreeWidgetItem({row.port, row.remark, row.notes});
        for (int column = 0; column < 3; ++column) item->setToolTip(column, item->text(column));
        m_list->addTopLevelItem(item);
    }
    if (selected >= 0 && selected < rows.size()) m_list->setCurrentItem(m_list->topLevelItem(selected));
    fitColumns();
}

void SettingsWindow::fitColumns() {
    // Port names such as /dev/serial/by-id/... must be readable: the port and remark columns grow to
    // their longest entry (never below their design widths), up to a cap; a longer text is elided
    // and shown whole in its tooltip. The window widens with them, within the screen.
    const int widths[] = {kPortColumnWidth, kRemarkColumnWidth};
    int needed = kNotesColumnWidth;
    for (int column = 0; column < 2; ++column) {
        m_list->resizeColumnToContents(column);
        const int w = std::clamp(m_list->columnWidth(column), widths[column], kMaxColumnWidth);
        m_list->setColumnWidth(column, w);
        needed += w;
    }
    // Room for the window's and the group's margins and the list's scroll bar.
    constexpr int kChrome = 80;
    int target = std::max(width(), needed + kChrome);
    if (const QScreen* screen = this->screen())
        target = std::min(target, screen->availableGeometry().width());
    if (target > width()) resize(target, height());
}

void SettingsWindow::showEvent(QShowEvent* event) {
    // Each opening starts from the settings in effect.
    m_logic.beginEdit();
    QDialog::showEvent(event);
}

void SettingsWindow::showAddPanel() { m_addPanel->show(); }

void SettingsWindow::addConfirmed() {
    passLabels();
    if (m_logic.addPort({m_newPort->text(), m_newRemark->text(), m_newNotes->text()})) m_addPanel->hide();
}

void SettingsWindow::deleteSelected() {
    // The last row cannot be removed; with two or more, the selected one (if any) goes.
    if (m_list->topLevelItemCount() < 2) return;
    QTreeWidgetItem* item = m_list->currentItem();
    if (item && item->isSelected()) m_logic.deletePort(m_list->indexOfTopLevelItem(item));
    m_addPanel->hide();
}

void SettingsWindow::reject() {
    passLabels();
    if (m_logic.close(m_super->text(), m_ordinary->text()) == SettingsLogic::CloseResult::StayOpen) return;
    // A typed password is an edit like any other: saved now or thrown away, never kept for a later save.
    m_super->clear();
    m_ordinary->clear();
    m_addPanel->hide();
    QDialog::reject();
}

void SettingsWindow::passLabels() {
    // A refusal names the box by the label the operator sees beside it, and the unit beside it.
    auto text = [this](const char* name) {
        const auto* l = findChild<QLabel*>(QString::fromLatin1(name));
        QString t = l ? l->text().trimmed() : QString();
        while (t.endsWith(QLatin1Char(':')) || t.endsWith(QChar(0xFF1A))) t.chop(1);
        return t;
    };
    SettingsLogic::FieldLabels labels;
    labels.language = text("lbl1");
    labels.refresh = text("lbl2");
    labels.refreshUnit = text("lbl3");
    labels.hourInterval = text("lbl4");
    labels.hourUnit = text("lbl5");
    labels.dayInterval = text("lbl6");
    labels.dayUnit = text("lbl7");
    labels.superPassword = text("lbl8");
    labels.ordinaryPassword = text("lbl9");
    labels.port = text("lblport");
    labels.remark = text("lblremark");
    labels.notes = text("lblnotes");
    m_logic.setFieldLabels(labels);
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Leave) {
        if (watched == m_hour) m_logic.applyHourMinimum();
        if (watched == m_day) m_logic.applyDayMinimum();
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace tarsyn::app
