#include "reports/ui/ReportWindow.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "config/Formats.h"
#include "config/Prompter.h"
#include "link/Clock.h"
#include "widgets/Indicators.h"
#include "widgets/MainWindowPictures.h"

namespace tarsyn::reports::ui {

namespace {

constexpr int kReadDelayMs = 200;

struct DelayCaption {
    const char* panel;
    const char* caption;
};

// Four columns of 6, 6, 6 and 4, the captions of the main window's delay panels of the same names.
const DelayCaption kDelays[4][6] = {
    {{"41", "冷却停机延时"},
     {"42", "机组启动延时"},
     {"43", "启动间隔延时"},
     {"44", "启动运转延时"},
     {"45", "旁路检测延时"},
     {"46", "停机断油延时"}},
    {{"51", "预供延时"},
     {"52", "怠速启动延时"},
     {"53", "怠速停机延时"},
     {"54", "升速延时"},
     {"55", "油压低延时"},
     {"56", "水温高延时"}},
    {{"61", "机组电压过限延时"},
     {"62", "油温高/油位低延时"},
     {"63", "速度信号丢失延时"},
     {"64", "电池电压低延时"},
     {"65", "倒转换延时"},
     {"66", "机组频率过限延时"}},
    {{"71", "超速延时"},
     {"72", "过载延时"},
     {"73", "暖机延时"},
     {"74", "降速延时"},
     {nullptr, nullptr},
     {nullptr, nullptr}},
};

struct IndicatorTab {
    const char* name;  // the main window's tab sheet names, so the catalogue captions are shared
    const char* title;
    int rows;
    int numbers[18];  // column by column, 0 ends
};

const IndicatorTab kTabs[] = {
    {"TabSheet1", "报警和状态指示", 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0}},
    {"TabSheet2", "输入口", 2, {17, 18, 19, 20, 21, 22, 23, 25, 0}},
    {"TabSheet3", "输出口", 2, {26, 27, 28, 29, 30, 31, 33, 34, 0}},
};

QLabel* label(const QString& name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// An indicator: padding, the 16-pixel picture, a gap, then the caption.
constexpr int kIndicatorPad = 2;
constexpr int kIndicatorPicture = 16;
constexpr int kIndicatorGap = 5;
constexpr int kIndicatorTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;

}  // namespace

ReportIndicator::ReportIndicator(const QString& name, const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
    setObjectName(name);
    setAutoDefault(false);
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
    setIconSize(QSize(kIndicatorPicture, kIndicatorPicture));
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QRect ReportIndicator::textRect() const {
    return rect().adjusted(kIndicatorPad + kIndicatorPicture + kIndicatorGap, 0, -kIndicatorPad, 0);
}

bool ReportIndicator::textFits() const {
    const QRect room = textRect();
    const QRect needed = fontMetrics().boundingRect(room, kIndicatorTextFlags, text());
    return needed.width() <= room.width() && needed.height() <= room.height();
}

QSize ReportIndicator::minimumSizeHint() const {
    // The longest word must fit on a line of its own.
    int word = 0;
    for (const QString& w : text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        word = qMax(word, fontMetrics().horizontalAdvance(w));
    const int width = 2 * kIndicatorPad + kIndicatorPicture + kIndicatorGap + word;
    return {width, heightForWidth(width)};
}

QSize ReportIndicator::sizeHint() const {
    const int width =
        2 * kIndicatorPad + kIndicatorPicture + kIndicatorGap + fontMetrics().horizontalAdvance(text());
    return {width, heightForWidth(width)};
}

int ReportIndicator::heightForWidth(int width) const {
    const int room = qMax(1, width - 2 * kIndicatorPad - kIndicatorPicture - kIndicatorGap);
    const QRect needed = fontMetrics().boundingRect(QRect(0, 0, room, 10000), kIndicatorTextFlags, text());
    return qMax(kIndicatorPicture, needed.height()) + 2 * kIndicatorPad;
}

void ReportIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect picture(kIndicatorPad, (height() - kIndicatorPicture) / 2, kIndicatorPicture,
                        kIndicatorPicture);
    icon().paint(&painter, picture);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(textRect(), kIndicatorTextFlags, text());
}

ReportWindow::ReportWindow(ReportReader& reader, WindowServices services, QWidget* parent)
    : QDialog(parent), m_reader(reader), m_services(std::move(services)) {
    setObjectName(QStringLiteral("TForm12"));
    setFixedSize(806, 534);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 8, 10, 8);
    auto* top = new QHBoxLayout;
    top->addWidget(label(QStringLiteral("lbl111111"), QStringLiteral("串口号："), this));
    m_entry = label(QStringLiteral("lblgjzdmc"), QString(), this);
    m_entry->setMinimumWidth(160);  // the texts set at each showing never wait for a re-layout
    top->addWidget(m_entry);
    top->addStretch(1);
    // Stamped at every showing, before anyone sees it; no catalogue key may write over it.
    m_stamp = label(QStringLiteral("lbldqri"), QString(), this);
    m_stamp->setMinimumWidth(150);
    m_stamp->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    top->addWidget(m_stamp);
    column->addLayout(top);
    column->addWidget(buildDelays());
    column->addWidget(buildIndicators(), 1);
    column->addWidget(buildLegend());

    // The bottom row, which the picture leaves out.
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    m_pdf = NamedButton("btnbcpdf", QStringLiteral("保存为PDF"), this);
    m_save = NamedButton("btnbcwj", QStringLiteral("保存到文件"), this);
    m_print = NamedButton("btnqxdy", QStringLiteral("打印到打印机"), this);
    QPushButton* close = NamedButton("btnqx", QStringLiteral("退出"), this);
    for (QPushButton* b : {m_pdf, m_save, m_print, close}) bottom->addWidget(b);
    column->addLayout(bottom);

    m_timer.setInterval(kReadDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &ReportWindow::read);
    connect(m_save, &QPushButton::clicked, this, &ReportWindow::save);
    connect(m_print, &QPushButton::clicked, this, &ReportWindow::print);
    connect(m_pdf, &QPushButton::clicked, this, &ReportWindow::savePdf);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    ReportReader::clear(*this);
    relabel();
}

QWidget* ReportWindow::buildDelays() {
    auto* group = new QGroupBox(QStringLiteral("读取系统延时"), this);
    group->setObjectName(QStringLiteral("grp11"));
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    for (int c = 0; c < 4; ++c) {
        // The captions share the width evenly and wrap where a language needs two lines.
        grid->setColumnStretch(c * 2, 1);
        for (int r = 0; r < 6 && kDelays[c][r].panel; ++r) {
            const QString number = QLatin1String(kDelays[c][r].panel);
            QLabel* caption =
                label(QStringLiteral("lbl") + number, QString::fromUtf8(kDelays[c][r].caption), group);
            caption->setWordWrap(true);
            grid->addWidget(caption, r, c * 2);
            QLabel* value = label(QStringLiteral("pnl") + number, QStringLiteral("0"), group);
            value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            value->setFixedWidth(40);  // a byte: at most "255"
            value->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
            m_panels.insert(value->objectName(), value);
            grid->addWidget(value, r, c * 2 + 1, Qt::AlignVCenter);
        }
    }
    return group;
}

QWidget* ReportWindow::buildIndicators() {
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("PageControl1"));
    for (const IndicatorTab& tab : kTabs) {
        auto* page = new QWidget;
        page->setObjectName(QLatin1String(tab.name));
        auto* grid = new QGridLayout(page);
        grid->setHorizontalSpacing(10);
        int columns = 0;
        for (int i = 0; tab.numbers[i]; ++i) {
            const int number = tab.numbers[i];
            const QString name = QStringLiteral("btnzs%1").arg(number);
            auto* b = new ReportIndicator(name, widgets::IndicatorCaptions().value(number), page);
            m_indicators.insert(name, b);
            grid->addWidget(b, i % tab.rows, i / tab.rows);
            columns = i / tab.rows + 1;
        }
        // Columns of equal width, whatever the captions' lengths.
        for (int c = 0; c < columns; ++c) grid->setColumnStretch(c, 1);
        grid->setRowStretch(tab.rows, 1);
        tabs->addTab(page, QString::fromUtf8(tab.title));
    }
    return tabs;
}

QWidget* ReportWindow::buildLegend() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label(QStringLiteral("lbltl"), QStringLiteral("图例"), row));
    const char* const texts[] = {"正常(无效)状态", "异常状态", "运行状态"};
    for (int image = 0; image < 3; ++image) {
        auto* lamp = new widgets::IndicatorLamp(QStringLiteral("imgtl%1").arg(image), true, row);
        lamp->setImage(image);
        layout->addSpacing(12);
        layout->addWidget(lamp);
        layout->addWidget(label(QStringLiteral("lbltl%1").arg(image), QString::fromUtf8(texts[image]), row));
    }
    layout->addStretch(1);
    return row;
}

void ReportWindow::relabel() {
    if (m_services.translate) m_services.translate(this);
}

void ReportWindow::setPanelText(const QString& panel, const QString& text) {
    if (QLabel* l = m_panels.value(panel)) l->setText(text);
}

void ReportWindow::setIndicatorImage(const QString& indicator, int image) {
    ReportIndicator* b = m_indicators.value(indicator);
    if (!b) return;
    m_images.insert(indicator, image);
    b->setIcon(QIcon(widgets::MainWindowPictures::indicator(image, ReportReader::AlarmIndicator(indicator))));
}

void ReportWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;  // restored from the task bar: not a new showing
    ReportReader::clear(*this);
    const QDateTime now = m_services.clock ? m_services.clock->now() : QDateTime::currentDateTime();
    m_stamp->setText(now.toString(config::kShortDateFormat + QLatin1Char(' ') + config::kTimeFormat));
    m_entry->setText(m_services.entryName ? m_services.entryName() : QString());
    m_timer.start();
}

void ReportWindow::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) m_timer.stop();  // a read still pending for this showing is dropped
}

void ReportWindow::setPictureButtons(bool enabled) {
    for (QPushButton* b : {m_save, m_print, m_pdf}) b->setEnabled(enabled);
}

void ReportWindow::read() {
    m_timer.stop();  // once per showing
    setPictureButtons(false);
    m_reader.read(*this);
    setPictureButtons(true);
}

// Everything above the button row, whatever frame the window system draws around the window.
QImage ReportWindow::picture() { return widgets::CaptureClientArea(this, widgets::TopOfRow(this, m_save)); }

void ReportWindow::save() { SavePicture(m_services, picture()); }

void ReportWindow::print() { PrintPictures(m_services, {picture()}, kPicturePrintScale, this); }

void ReportWindow::savePdf() {
    const QImage image = picture();
    QString path = m_services.choosePdf ? m_services.choosePdf(this)
                                        : QFileDialog::getSaveFileName(this, QString(), QString(),
                                                                       QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty()) return;
    QPrinter printer;
    widgets::SetUpPdf(printer, path);
    path = printer.outputFileName();
    if (widgets::PrintOnPage(printer, image, kPicturePrintScale))
        m_services.prompter->information(m_services.messages(QStringLiteral("pdfdone")) + QLatin1Char(' ') +
                                         path);
    else
        m_services.prompter->error(QStringLiteral("Cannot write \"%1\"").arg(path));
}

}  // namespace tarsyn::reports::ui
