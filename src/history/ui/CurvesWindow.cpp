#include "history/ui/CurvesWindow.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>

#include "config/Config.h"
#include "config/Formats.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "history/CurveExport.h"
#include "history/CurveQuery.h"
#include "history/HistoryStore.h"
#include "history/ui/CurveChart.h"
#include "link/Clock.h"
#include "widgets/Catalogue.h"
#include "widgets/WindowPicture.h"

namespace tarsyn::history {

namespace {

// Client area: the two chart groups above a button row that the window picture leaves out.
constexpr int kClientWidth = 700;
constexpr int kClientHeight = 478;
constexpr int kButtonsTop = kClientHeight - 38;
// The picture is printed six times its size.
constexpr int kPrintScale = 6;
constexpr int kGroupHeight = 192;
constexpr int kChartLeft = 48;  // inside a group, right of the y labels
constexpr int kChartTop = 28;

/// The controls of one chart, by its kind.
struct ChartNames {
    const char* group;
    const char* image;
    const char* caption;
    const char* captionText;
    const char* unit;
    const char* yLabels[3];  // top, middle, bottom
    const char* xLabels[5];  // start, quarters, end
    const char* minimum[2];  // "最小：", value
    const char* maximum[2];  // "最大：", value
};

const ChartNames& namesOf(ChartKind kind) {
    static const ChartNames kHour{"grp2",
                                  "image1",
                                  "lbllx1",
                                  "1小时内曲线",
                                  "lbldw1",
                                  {"lblym1", "lbly11", "lbly01"},
                                  {"lblx01", "lblx11", "lblx12", "lblx13", "lblxm1"},
                                  {"lblnlmin1", "lblnlmin2"},
                                  {"lblnlmax1", "lblnlmax2"}};
    static const ChartNames kDay{"grp1",
                                 "image",
                                 "lbllx",
                                 "24小时内曲线",
                                 "lbldw",
                                 {"lblym", "lbly1", "lbly0"},
                                 {"lblx0", "lblx1", "lblx2", "lblx3", "lblxm"},
                                 {"lbl24min1", "lbl24min2"},
                                 {"lbl24max1", "lbl24max2"}};
    return kind == ChartKind::Day ? kDay : kHour;
}

QString name(const char* s) { return QString::fromUtf8(s); }

}  // namespace

CurvesWindow::CurvesWindow(CurveQuery& query, const config::Config& config, const config::Messages& messages,
                           config::Prompter& prompter, Hooks hooks, QWidget* parent)
    : QDialog(parent),
      m_query(query),
      m_config(config),
      m_messages(messages),
      m_prompter(prompter),
      m_hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QStringLiteral("历史曲线"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    // The date is ten characters; the port gets the room it leaves.
    addLabel(this, QStringLiteral("lbldqrq"), QString(), QRect(8, 12, 80, 18));
    addLabel(this, QStringLiteral("lblckm"), QStringLiteral("串口号："), QRect(90, 12, 64, 18));
    addLabel(this, QStringLiteral("lblckh"), QString(), QRect(156, 12, 100, 18));
    addLabel(this, QStringLiteral("lblmc"), QStringLiteral("曲线名称："), QRect(258, 12, 76, 18));
    m_channels = new QComboBox(this);
    m_channels->setObjectName(QStringLiteral("cbbmc"));
    m_channels->setEditable(true);
    m_channels->setInsertPolicy(QComboBox::NoInsert);  // typed text never joins the list
    m_channels->setGeometry(336, 8, 200, 26);
    auto* queryButton = new QPushButton(QStringLiteral("查询历史曲线"), this);
    queryButton->setObjectName(QStringLiteral("btncx"));
    queryButton->setGeometry(548, 7, 144, 28);

    buildChartGroup(ChartKind::Hour, 40);
    buildChartGroup(ChartKind::Day, 40 + kGroupHeight + 4);

    struct Button {
        const char* name;
        const char* text;
        void (CurvesWindow::*slot)();
    };
    const Button buttons[] = {{"btnbcwj", "保存到文件", &CurvesWindow::savePicture},
                              {"btnqxdy", "打印到打印机", &CurvesWindow::printPicture},
                              {"btncsv", "导出CSV", &CurvesWindow::exportCsv}};
    int x = 8;
    for (const Button& b : buttons) {
        auto* button = new QPushButton(name(b.text), this);
        button->setObjectName(name(b.name));
        button->setGeometry(x, kButtonsTop, 150, 30);
        connect(button, &QPushButton::clicked, this, b.slot);
        x += 158;
    }
    auto* close = new QPushButton(QStringLiteral("退出"), this);
    close->setObjectName(QStringLiteral("btnqx"));
    close->setGeometry(kClientWidth - 158, kButtonsTop, 150, 30);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(queryButton, &QPushButton::clicked, this, &CurvesWindow::runQuery);

    fillChannels();
    m_channels->setCurrentIndex(0);
    if (m_hooks.translate) m_hooks.translate(this);
    // At start no port entry is current yet: the purges run and the device name is empty. A store
    // that could not be opened has been reported once already.
    queryCharts(true);
}

QLabel* CurvesWindow::addLabel(QWidget* parent, const QString& objectName, const QString& text,
                               const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setGeometry(geometry);
    m_labels.insert(objectName, label);
    return label;
}

void CurvesWindow::buildChartGroup(ChartKind kind, int top) {
    const ChartNames& n = namesOf(kind);
    auto* group = new QGroupBox(this);
    group->setObjectName(name(n.group));
    group->setGeometry(4, top, kClientWidth - 8, kGroupHeight);
    const int W = kChartSize.width();
    const int H = kChartSize.height();

    addLabel(group, name(n.caption), name(n.captionText), QRect(kChartLeft, 6, 200, 18));
    addLabel(group, name(n.unit), QString(), QRect(4, 6, 42, 18));
    addLabel(group, name(n.minimum[0]), QStringLiteral("最小："), QRect(kChartLeft + W - 230, 6, 40, 18));
    addLabel(group, name(n.minimum[1]), QString(), QRect(kChartLeft + W - 188, 6, 70, 18));
    addLabel(group, name(n.maximum[0]), QStringLiteral("最大："), QRect(kChartLeft + W - 114, 6, 40, 18));
    addLabel(group, name(n.maximum[1]), QString(), QRect(kChartLeft + W - 72, 6, 70, 18));

    QLabel* image = addLabel(group, name(n.image), QString(), QRect(kChartLeft, kChartTop, W, H));
    image->setScaledContents(false);
    const int yRows[3] = {kChartTop - 6, kChartTop + H / 2 - 9, kChartTop + H - 14};
    for (int i = 0; i < 3; ++i) {
        QLabel* l = addLabel(group, name(n.yLabels[i]), QString(), QRect(2, yRows[i], kChartLeft - 6, 18));
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    const int xCentres[5] = {0, roundHalfEven(W / 4.0), roundHalfEven(W / 2.0), roundHalfEven(3 * W / 4.0),
                             W};
    for (int i = 0; i < 5; ++i) {
        int left = kChartLeft + xCentres[i] - 28;
        left = qBound(2, left, kClientWidth - 8 - 60);
        QLabel* l = addLabel(group, name(n.xLabels[i]), QString(), QRect(left, kChartTop + H + 4, 58, 18));
        l->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    }
}

void CurvesWindow::fillChannels() {
    const QString language = m_messages.language();
    const auto& channels = curveChannels();
    for (int i = 0; i < kChannelCount; ++i) {
        const QString text = widgets::TranslationText(m_config, language, name(channels[size_t(i)].key));
        if (i < m_channels->count())
            m_channels->setItemText(i, text);
        else
            m_channels->addItem(text);
    }
}

void CurvesWindow::relabel() {
    if (m_hooks.translate) m_hooks.translate(this);
    setWindowTitle(m_messages.text(QStringLiteral("Form5caption")));
    const int index = m_channels->currentIndex();
    fillChannels();
    m_channels->setCurrentIndex(index);
}

int CurvesWindow::selectedChannel() const {
    QStringList entries;
    for (int i = 0; i < m_channels->count(); ++i) entries << m_channels->itemText(i);
    return matchChannel(entries, m_channels->currentIndex(), m_channels->currentText());
}

bool CurvesWindow::runQuery() { return queryCharts(false); }

bool CurvesWindow::queryCharts(bool quietWhenClosed) {
    const int channel = selectedChannel();
    if (channel < 0) {
        // No column stands behind the typed text: ask for a name from the list, query nothing.
        m_prompter.information(m_messages.text(QStringLiteral("qxwxmc")));
        return false;
    }
    const QString unit = channelUnit(channel);
    m_labels.value(QStringLiteral("lbldw"))->setText(unit);
    m_labels.value(QStringLiteral("lbldw1"))->setText(unit);
    // A device path longer than the label shows the device's own name ("controller-1", "ttyusb0"),
    // cut at its start only if even that is too long; the whole path is the tip.
    QLabel* port = m_labels.value(QStringLiteral("lblckh"));
    const QString portName = m_hooks.portName ? m_hooks.portName().toLower() : QString();
    const QString shown = port->fontMetrics().horizontalAdvance(portName) <= port->width()
                              ? portName
                              : portName.mid(portName.lastIndexOf(QLatin1Char('/')) + 1);
    port->setText(port->fontMetrics().elidedText(shown, Qt::ElideLeft, port->width()));
    port->setToolTip(portName);
    const QString device = m_hooks.device ? m_hooks.device() : QString();
    try {
        showChart(m_query.run(ChartKind::Day, device, channel));
        showChart(m_query.run(ChartKind::Hour, device, channel));
    } catch (const HistoryError& e) {
        if (!(quietWhenClosed && !m_query.storeOpen())) m_prompter.error(e.message());
        return false;
    }
    return true;
}

void CurvesWindow::showChart(const ChartData& chart) {
    const ChartNames& n = namesOf(chart.kind);
    const ChartLabels texts = chartLabels(chart);
    m_labels.value(name(n.maximum[1]))->setText(texts.maximum);
    m_labels.value(name(n.minimum[1]))->setText(texts.minimum);
    m_labels.value(name(n.yLabels[0]))->setText(texts.top);
    m_labels.value(name(n.yLabels[1]))->setText(texts.middle);
    m_labels.value(name(n.yLabels[2]))->setText(texts.bottom);
    for (int i = 0; i < 5; ++i) m_labels.value(name(n.xLabels[i]))->setText(texts.x[size_t(i)]);
    const QImage image = drawChart(chart);
    (chart.kind == ChartKind::Day ? m_dayImage : m_hourImage) = image;
    m_labels.value(name(n.image))->setPixmap(QPixmap::fromImage(image));
}

void CurvesWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;  // brought back from minimised: not a new showing
    m_labels.value(QStringLiteral("lbldqrq"))
        ->setText(m_query.clock().now().toString(config::kShortDateFormat));
    runQuery();
}

QImage CurvesWindow::picture() {
    // Everything above the button row: the window's frame, whatever it is, plays no part.
    return widgets::CaptureClientArea(this, kButtonsTop - 2);
}

void CurvesWindow::savePicture() {
    widgets::SavePictureAsked(picture(), m_config.filePath(QStringLiteral("qx.bmp")), m_prompter,
                              [this](const QString& key) { return m_messages.text(key); });
}

void CurvesWindow::printPicture() {
    QString error, pdf;
    if (!widgets::PrintPicture(picture(), kPrintScale, this, &error, m_hooks.choosePdf, &pdf)) {
        if (!error.isEmpty()) m_prompter.error(error);
    } else if (!pdf.isEmpty()) {
        m_prompter.information(m_messages.text(QStringLiteral("pdfwritten")).arg(pdf));
    }
}

}  // namespace tarsyn::history

namespace tarsyn::history {

void CurvesWindow::exportCsv() {
    const int channel = selectedChannel();
    if (channel < 0) {
        m_prompter.information(m_messages.text(QStringLiteral("qxwxmc")));
        return;
    }
    const QString path = m_hooks.chooseCsv
                             ? m_hooks.chooseCsv(this)
                             : QFileDialog::getSaveFileName(this, QString(), QStringLiteral("curves.csv"),
                                                            QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    QString error;
    if (!exportCurveCsv(m_query, m_hooks.device ? m_hooks.device() : QString(), channel, path, &error)) {
        m_prompter.error(error);
        return;
    }
    m_prompter.information(QDir::toNativeSeparators(path) + QLatin1Char(' ') +
                           m_messages.text(QStringLiteral("dl18")));
}

}  // namespace tarsyn::history
