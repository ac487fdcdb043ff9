#include "reports/ui/AlarmHistoryWindow.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "config/Prompter.h"
#include "reports/AlarmCsv.h"
#include "reports/AlarmHistory.h"

namespace tarsyn::reports::ui {

namespace {

QLabel* label(const char* name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

}  // namespace

AlarmHistoryWindow::AlarmHistoryWindow(AlarmHistory& history, AlarmCsvExport& csv, WindowServices services,
                                       QWidget* parent)
    : QDialog(parent), m_history(history), m_csv(csv), m_services(std::move(services)) {
    setObjectName(QStringLiteral("TForm17"));
    // Wide enough for the paging row in either language: the page caption and four buttons.
    setFixedSize(560, 400);

    auto* column = new QVBoxLayout(this);
    auto* title = label("lblgzgj", QStringLiteral("故障告警记录"), this);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    title->setFont(bold);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);

    auto* top = new QHBoxLayout;
    top->addWidget(label("lblzts", QStringLiteral("故障总条数"), this));
    m_total = label("lblgzts", QString(), this);
    m_total->setMinimumWidth(40);  // the texts set at run time never wait for a re-layout
    top->addWidget(m_total);
    top->addStretch(1);
    top->addWidget(label("lblckm", QStringLiteral("串口号："), this));
    m_entry = label("lblgjzdmc", QString(), this);
    m_entry->setMinimumWidth(120);
    top->addWidget(m_entry);
    column->addLayout(top);

    m_list = new QTableWidget(0, 3, this);
    m_list->setObjectName(QStringLiteral("lv1"));
    m_list->setHorizontalHeaderLabels(
        {QStringLiteral("编号"), QStringLiteral("故障内容"), QStringLiteral("故障时间")});
    m_list->setColumnWidth(0, 40);
    m_list->setColumnWidth(1, 200);
    m_list->setColumnWidth(2, 220);
    m_list->verticalHeader()->hide();
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    column->addWidget(m_list, 1);

    auto* paging = new QHBoxLayout;
    m_pageCaption = label("lblgzym", QStringLiteral("当前页号/总页数"), this);
    m_page = label("lbldqzy", QString(), this);
    m_slash = label("lblgzfgh", QStringLiteral("/"), this);
    m_pageCount = label("lblgzzys", QString(), this);
    m_page->setMinimumWidth(24);
    m_pageCount->setMinimumWidth(24);
    for (QLabel* l : {m_pageCaption, m_page, m_slash, m_pageCount}) paging->addWidget(l);
    paging->addStretch(1);
    m_first = NamedButton("Buttonsy", QStringLiteral("首页"), this);
    m_previous = NamedButton("Buttonshy", QStringLiteral("上一页"), this);
    m_next = NamedButton("Buttonxy", QStringLiteral("下一页"), this);
    m_last = NamedButton("Buttonmy", QStringLiteral("末页"), this);
    for (QPushButton* b : {m_first, m_previous, m_next, m_last}) paging->addWidget(b);
    column->addLayout(paging);

    // The bottom row, which the picture leaves out.
    auto* bottom = new QHBoxLayout;
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("pbcsv"));
    m_progress->setTextVisible(false);
    m_progress->hide();
    bottom->addWidget(m_progress, 1);
    bottom->addStretch(1);
    m_export = NamedButton("btndccsv", QStringLiteral("导出CSV"), this);
    m_save = NamedButton("btnbcwj", QStringLiteral("保存到文件"), this);
    m_print = NamedButton("btnqxdy", QStringLiteral("打印到打印机"), this);
    m_close = NamedButton("btnqx", QStringLiteral("退出"), this);
    for (QPushButton* b : {m_export, m_save, m_print, m_close}) bottom->addWidget(b);
    column->addLayout(bottom);

    m_tmr1.setObjectName(QStringLiteral("tmr1"));
    m_tmr1.setInterval(1000);
    connect(&m_tmr1, &QTimer::timeout, this, &AlarmHistoryWindow::firstRead);
    connect(m_first, &QPushButton::clicked, this, [this] { page(&AlarmHistory::firstPage); });
    connect(m_previous, &QPushButton::clicked, this, [this] { page(&AlarmHistory::previousPage); });
    connect(m_next, &QPushButton::clicked, this, [this] { page(&AlarmHistory::nextPage); });
    connect(m_last, &QPushButton::clicked, this, [this] { page(&AlarmHistory::lastPage); });
    connect(m_save, &QPushButton::clicked, this, &AlarmHistoryWindow::save);
    connect(m_print, &QPushButton::clicked, this, &AlarmHistoryWindow::print);
    connect(m_export, &QPushButton::clicked, this, &AlarmHistoryWindow::exportCsv);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);

    relabel();
    refresh();
}

void AlarmHistoryWindow::relabel() {
    if (m_services.translate) m_services.translate(this);
    if (!m_services.messages) return;
    m_list->setHorizontalHeaderLabels({m_services.messages(QStringLiteral("dl30")),
                                       m_services.messages(QStringLiteral("dl31")),
                                       m_services.messages(QStringLiteral("dl32"))});
    // The alarms on show are named again in the new language.
    fillList(m_history.state().rows);
}

void AlarmHistoryWindow::refresh() {
    const AlarmHistoryState& s = m_history.state();
    m_total->setText(s.totalText);
    m_page->setText(s.pageText);
    m_pageCount->setText(s.pageCountText);
    m_pageCaption->setEnabled(s.pageCaptionsEnabled);
    m_slash->setEnabled(s.pageCaptionsEnabled);
    m_first->setEnabled(s.firstEnabled && !m_busy);
    m_previous->setEnabled(s.previousEnabled && !m_busy);
    m_next->setEnabled(s.nextEnabled && !m_busy);
    m_last->setEnabled(s.lastEnabled && !m_busy);
    m_save->setEnabled(s.pictureEnabled && !m_busy);
    m_print->setEnabled(s.pictureEnabled && !m_busy);
    m_export->setEnabled(m_history.logKnown() && m_history.total() > 0 && !m_busy);
    m_close->setEnabled(!m_busy);

    fillList(s.rows);
}

void AlarmHistoryWindow::fillList(const QList<AlarmRow>& rows) {
    m_list->setRowCount(0);
    m_list->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const AlarmRow& row = rows[r];
        // Named in the language in effect as the list is drawn, from the record's code ("E" + code).
        const QString name = m_services.messages ? m_services.messages(QStringLiteral("E") + row.record.code)
                                                 : row.record.text;
        const QString cells[3] = {QString::number(row.number), name, row.record.time};
        for (int c = 0; c < 3; ++c) m_list->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
}

void AlarmHistoryWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;  // restored from the task bar: not a new showing
    m_history.clearForShowing();
    m_entry->setText(m_services.entryName ? m_services.entryName() : QString());
    refresh();
    m_tmr1.start();
}

void AlarmHistoryWindow::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous()) return;
    // A read still pending for this showing is dropped with it.
    m_tmr1.stop();
    m_history.closed();
    refresh();
}

void AlarmHistoryWindow::firstRead() {
    m_tmr1.stop();  // once per showing
    m_history.firstRead();
    refresh();
}

void AlarmHistoryWindow::page(void (AlarmHistory::*step)()) {
    (m_history.*step)();
    refresh();
}

// Everything above the button row, whatever frame the window system draws around the window.
QImage AlarmHistoryWindow::picture() {
    return widgets::CaptureClientArea(this, widgets::TopOfRow(this, m_close));
}

void AlarmHistoryWindow::save() { SavePicture(m_services, picture()); }

void AlarmHistoryWindow::whileBusy(const std::function<void(const LogProgress&)>& work) {
    m_busy = true;
    refresh();
    m_progress->setValue(0);
    m_progress->show();
    work([this](int step, int steps) {
        m_progress->setRange(0, steps);
        m_progress->setValue(step);
        // The bar is painted between the waits; the buttons are off meanwhile.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    m_progress->hide();
    m_busy = false;
    refresh();
}

QList<QImage> AlarmHistoryWindow::logPictures(const QList<AlarmRow>& rows) {
    QList<QImage> pictures;
    const int total = int(rows.size());
    const int pages = AlarmPageCount(total);
    m_total->setText(QString::number(total));
    m_pageCount->setText(QString::number(pages));
    m_pageCaption->setEnabled(true);
    m_slash->setEnabled(true);
    for (int page = 1; page <= pages; ++page) {
        m_page->setText(QString::number(page));
        fillList(rows.mid(alarmlog::kRowsPerPage * (page - 1), alarmlog::kRowsPerPage));
        pictures << picture();
    }
    refresh();  // the window shows its own page again
    return pictures;
}

void AlarmHistoryWindow::print() {
    // The whole log, read afresh, a picture of the window a page: what the operator prints is what
    // the controller holds, not only the page on the screen.
    WholeAlarmLog log;
    whileBusy([this, &log](const LogProgress& progress) { log = m_history.readWholeLog(progress); });
    if (!log.complete) {
        m_services.prompter->error(m_services.messages(QStringLiteral("alprfail")));
        return;
    }
    PrintPictures(m_services, logPictures(log.rows), kPicturePrintScale, this);
}

void AlarmHistoryWindow::exportCsv() {
    const QString path = m_services.chooseCsv
                             ? m_services.chooseCsv(this)
                             : QFileDialog::getSaveFileName(this, QString(), QStringLiteral("alarms.csv"),
                                                            QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    whileBusy([this, &path](const LogProgress& progress) { m_csv.run(path, progress); });
}

}  // namespace tarsyn::reports::ui
