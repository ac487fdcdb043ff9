// The main window's controls, built from tables: each value panel with its caption label (`lblNN`
// beside `pnlNN`, the names the history window reads the channel names from), unit and calibration
// button; the delay panels; the indicator tabs; the toolbar and the menu bar.
#include <QAction>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/MainWindow.h"
#include "monitor/LiveMap.h"
#include "monitor/PollCycle.h"
#include "widgets/ElidingLabel.h"
#include "widgets/Indicators.h"
#include "widgets/MainWindowPictures.h"

namespace tarsyn::app {

namespace {

using Tool = widgets::MainWindowPictures::Tool;

struct ReadingRow {
    const char* panel;
    const char* caption;
    const char* unit;
    int calibrationButton;  // 0: none
};

// Three columns of seven: generator, mains/engine, power and mains voltages.
const ReadingRow kReadings[3][7] = {
    {{"11", "机组电压A相", "V", 11},
     {"12", "机组电压B相", "V", 12},
     {"13", "机组电压C相", "V", 13},
     {"14", "电流A相", "A", 14},
     {"15", "电流B相", "A", 15},
     {"16", "电流C相", "A", 16},
     {"17", "电池电压", "V", 17}},
    {{"21", "市电频率", "Hz", 0},
     {"22", "频率", "Hz", 0},
     {"23", "转速", "转/分钟", 0},
     {"24", "水温", "°C", 0},
     {"25", "水温二", "°C", 0},
     {"26", "油压", "kPa", 0},
     {"27", "油压二", "kPa", 0}},
    {{"31", "功率", "kW", 0},
     {"32", "油温/油位显示值", "", 0},
     {"33", "功率因素", "", 0},
     {"34", "市电A相", "V", 18},
     {"35", "市电B相", "V", 19},
     {"36", "市电C相", "V", 20},
     {"37", "油机运转时间", "小时", 0}},
};

struct DelayRow {
    const char* panel;
    const char* caption;
};

const DelayRow kDelays[] = {
    {"41", "冷却停机延时"},     {"42", "机组启动延时"},      {"43", "启动间隔延时"},
    {"44", "启动运转延时"},     {"45", "旁路检测延时"},      {"46", "停机断油延时"},
    {"51", "预供延时"},         {"52", "怠速启动延时"},      {"53", "怠速停机延时"},
    {"54", "升速延时"},         {"55", "油压低延时"},        {"56", "水温高延时"},
    {"61", "机组电压过限延时"}, {"62", "油温高/油位低延时"}, {"63", "速度信号丢失延时"},
    {"64", "电池电压低延时"},   {"65", "倒转换延时"},        {"66", "机组频率过限延时"},
    {"71", "超速延时"},         {"72", "过载延时"},          {"73", "暖机延时"},
    {"74", "降速延时"},
};

struct LampTab {
    const char* name;
    const char* title;
    int columns[2][9];  // indicator numbers per column, 0 ends a column
};

const LampTab kLampTabs[] = {
    {"TabSheet1", "报警和状态指示", {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 0}}},
    {"TabSheet2", "输入口", {{17, 18, 19, 20, 0}, {21, 22, 23, 25, 0}}},
    {"TabSheet3", "输出口", {{26, 27, 28, 29, 0}, {30, 31, 33, 34, 0}}},
};

QLabel* caption(const QString& name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QGridLayout* compactGrid(QWidget* parent) {
    auto* g = new QGridLayout(parent);
    g->setContentsMargins(8, 6, 8, 6);
    g->setHorizontalSpacing(6);
    g->setVerticalSpacing(3);
    return g;
}

}  // namespace

void MainWindow::buildToolBar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(32, 32));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, bar);

    auto add = [bar](const char* name, const QString& text, const QIcon& icon, const char* hint) {
        auto* b = new QToolButton(bar);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(QString::fromUtf8(hint));
        b->setIcon(icon);
        b->setIconSize(QSize(32, 32));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        b->setMinimumWidth(72);
        bar->addWidget(b);
        return b;
    };
    add("dport3", "启动模块", widgets::MainWindowPictures::tool(Tool::Start), "启动当前控制器的机组");
    add("dport4", "自动模式", widgets::MainWindowPictures::tool(Tool::Auto), "把当前控制器切换到自动模式");
    add("dport5", "复位停机", widgets::MainWindowPictures::tool(Tool::Reset), "复位并停止当前控制器的机组");
    add("dport6", "测试状态", widgets::MainWindowPictures::tool(Tool::Test), "把当前控制器切换到测试状态");
    add("dport7", "恢复设置", widgets::MainWindowPictures::tool(Tool::Restore), "恢复当前控制器的出厂设置");
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    m_connectionButton =
        add("dport1", "连接状态", widgets::MainWindowPictures::connection(monitor::kNotLinkedImage),
            "与当前控制器的通讯状态");
    m_connectionImage = monitor::kNotLinkedImage;
    m_modeButton = add("dport2", "连接方式", widgets::MainWindowPictures::mode(monitor::kFixedModeImage),
                       "在固定串口与轮询所有串口之间切换");
    m_modeImage = monitor::kFixedModeImage;
    bar->addSeparator();
    QToolButton* port =
        add("btnzdck", "指定串口", widgets::MainWindowPictures::tool(Tool::Port), "选择要使用的串口");
    QToolButton* settings = add("dport20", "系统设置", widgets::MainWindowPictures::tool(Tool::Settings),
                                "语言、刷新时间、串口列表和口令");
    QToolButton* exit =
        add("dport8", "退出系统", widgets::MainWindowPictures::tool(Tool::Exit), "关闭本系统");

    // `dport1` only shows the link; clicking it does nothing.
    m_connectionButton->setFocusPolicy(Qt::NoFocus);
    connect(port, &QToolButton::clicked, this, &MainWindow::portDialogRequested);
    connect(settings, &QToolButton::clicked, this, &MainWindow::settingsRequested);
    connect(exit, &QToolButton::clicked, this, &MainWindow::close);
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto menu = [bar](const char* name, const QString& title) {
        QMenu* m = bar->addMenu(title);
        m->setObjectName(QLatin1String(name));
        return m;
    };
    auto item = [this](QWidget* parent, const char* name, const QString& text) {
        auto* a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        parent->addAction(a);
        return a;
    };

    QMenu* file = menu("File1", "文件(&F)");
    connect(item(file, "Set1", "系统设置(&S)"), &QAction::triggered, this, &MainWindow::settingsRequested);
    file->addSeparator();
    connect(item(file, "Exit1", "退出系统(&Q)"), &QAction::triggered, this, &MainWindow::close);

    QMenu* system = menu("System1", "系统(&S)");
    connect(item(system, "connect1", "连接方式(&C)"), &QAction::triggered, this,
            &MainWindow::portDialogRequested);
    system->addSeparator();
    // Each command entry does exactly what its toolbar button does.
    const std::pair<const char*, const char*> commands[] = {{"start1", "dport3"},
                                                            {"auto1", "dport4"},
                                                            {"reset1", "dport5"},
                                                            {"test1", "dport6"},
                                                            {"default1", "dport7"}};
    const QString texts[] = {"启动模块(&S)", "自动模式(&A)", "复位停机(&R)", "测试状态(&T)", "出厂设置(&D)"};
    for (int i = 0; i < 5; ++i) {
        QToolButton* button = toolButton(QLatin1String(commands[i].second));
        connect(item(system, commands[i].first, texts[i]), &QAction::triggered, button, &QToolButton::click);
    }

    QMenu* param = menu("Param1", "参数(&C)");
    item(param, "yssz1", "延迟设置(&D)");
    item(param, "qxsz1", "曲线设置(&C)");
    item(param, "xtcs1", "系统参数(&S)");
    item(param, "kzw1", "控制位(&B)");
    item(param, "bjsx1", "报警上下限(&W)");

    QMenu* history = menu("History1", "历史(&I)");
    item(history, "Q1", "模拟量曲线(&Q)");
    item(history, "E1", "历史告警列表(&E)");
    history->addSeparator();
    item(history, "jr1", "事件日志(&J)");
    item(history, "wl1", "自设限值(&W)");
    history->addSeparator();
    item(history, "fleet1", "机组总览(&O)");
    item(history, "diag1", "链路诊断(&L)");

    item(bar, "gsm1", "短信(G)");
    item(bar, "print1", "打印(&P)");

    QMenu* help = menu("Help1", "帮助(&H)");
    item(help, "help11", "帮助(&H)");
    item(help, "About1", "关于(&A)");
}

QWidget* MainWindow::buildStatusStrip() {
    auto* strip = new QFrame(this);
    strip->setObjectName(QStringLiteral("pnlbt"));
    strip->setFrameShape(QFrame::StyledPanel);
    strip->setFrameShadow(QFrame::Sunken);
    auto* column = new QVBoxLayout(strip);
    column->setContentsMargins(8, 2, 8, 2);
    column->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    m_modeLabel = caption("lblbt1", QString(), strip);
    m_modeLabel->setStyleSheet(QStringLiteral("font-weight: bold; color: #1f4f96;"));
    // Texts the operator or the system chooses (a port name of any length, notes, the reason a port
    // would not open, a recording failure) are cut to the room there is, whole in their tooltips: no
    // text may push the window past a 1024-pixel screen.
    auto eliding = [strip](const char* name) {
        auto* l = new widgets::ElidingLabel(strip);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    m_portLabel = eliding("lblbt0");
    m_portLabel->setStyleSheet(QStringLiteral("font-weight: bold;"));
    m_notesLabel = eliding("lblbt2");
    // The controller's name beside its port; `lbl999` stays the hidden copy the recorder reads.
    m_shownRemarkLabel = eliding("lblctlname");
    m_shownRemarkLabel->setStyleSheet(QStringLiteral("font-weight: bold; color: #1f4f96;"));
    m_linkLabel = caption("lbllink", QString(), strip);
    m_lastReadingLabel = caption("lbllast", QString(), strip);
    m_alarmCountLabel = caption("lblalarms", QString(), strip);
    m_remarkLabel = caption("lbl999", QString(), strip);
    m_remarkLabel->hide();  // the device name the history recorder stores; not shown
    // The history recorder's state: empty while recording works, its failure while it does not.
    m_historyLabel = eliding("lblhistory");
    m_historyLabel->hide();
    // The broker link, with a [Mqtt] section only.
    m_brokerLabel = eliding("lblbroker");
    m_brokerLabel->hide();
    // Why the port would not open, while it does not.
    m_portProblemLabel = eliding("lblportproblem");
    m_portProblemLabel->setStyleSheet(QStringLiteral("color: #b3261e; font-weight: bold;"));
    m_portProblemLabel->hide();
    // The port and the controller's name give way last; the notes first.
    m_portLabel->setMinimumCharacters(20);
    m_shownRemarkLabel->setMinimumCharacters(14);
    row->addWidget(m_modeLabel);
    row->addWidget(m_portLabel);
    row->addWidget(m_shownRemarkLabel);
    row->addWidget(m_notesLabel, 1);
    row->addWidget(m_linkLabel);
    row->addWidget(m_lastReadingLabel);
    row->addWidget(m_alarmCountLabel);
    row->addWidget(m_remarkLabel);
    // Why the port does not open and why recording fails: a line of their own while they apply,
    // the whole width to say it.
    auto* problems = new QHBoxLayout;
    problems->setSpacing(16);
    problems->addWidget(m_portProblemLabel, 1);
    problems->addWidget(m_historyLabel, 1);
    problems->addWidget(m_brokerLabel, 1);
    column->addLayout(row);
    column->addLayout(problems);
    return strip;
}

QLabel* MainWindow::addPanel(const QString& name) {
    auto* p = new QLabel(QStringLiteral("0"));
    p->setObjectName(name);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    p->setTextInteractionFlags(Qt::TextSelectableByMouse);
    p->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    p->setAutoFillBackground(true);
    QPalette pal = p->palette();
    pal.setColor(QPalette::Window, Qt::white);
    p->setPalette(pal);
    p->setMinimumHeight(22);
    p->setMargin(2);
    m_panels.insert(name, p);
    return p;
}

QGroupBox* MainWindow::buildReadingsGroup() {
    auto* group = new QGroupBox(QStringLiteral("读取监控数据"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    QGridLayout* grid = compactGrid(group);
    grid->setHorizontalSpacing(6);
    constexpr int kColumnsPerBlock = 5;  // caption, panel, unit, button, gap
    for (int block = 0; block < 3; ++block) {
        const int c = block * kColumnsPerBlock;
        for (int r = 0; r < 7; ++r) {
            const ReadingRow& row = kReadings[block][r];
            const QString number = QLatin1String(row.panel);
            grid->addWidget(caption("lbl" + number, QString::fromUtf8(row.caption), group), r, c);
            QLabel* panel = addPanel("pnl" + number);
            // Room for the widest reading ("65535.00"); the "%-10.2f" padding is only blanks.
            panel->setMinimumWidth(panel->fontMetrics().horizontalAdvance(QStringLiteral("65535.00")) + 12);
            grid->addWidget(panel, r, c + 1);
            if (*row.unit)
                grid->addWidget(caption("lbldw" + number, QString::fromUtf8(row.unit), group), r, c + 2);
            if (row.calibrationButton) {
                auto* b = new QPushButton(QStringLiteral("校准"), group);
                b->setObjectName(QStringLiteral("btn%1").arg(row.calibrationButton));
                b->setFixedHeight(22);  // as wide as its caption needs ("Calibrate" in English)
                grid->addWidget(b, r, c + 3);
            }
        }
        grid->setColumnStretch(c + 1, 1);
        if (block < 2) grid->setColumnMinimumWidth(c + 4, 14);
    }
    return group;
}

QGroupBox* MainWindow::buildDelaysGroup() {
    auto* group = new QGroupBox(QStringLiteral("读取系统延时"), this);
    group->setObjectName(QStringLiteral("GroupBox2"));
    QGridLayout* grid = compactGrid(group);
    constexpr int kRows = 8;
    int i = 0;
    for (const DelayRow& row : kDelays) {
        const int r = i % kRows, c = (i / kRows) * 3;
        const QString number = QLatin1String(row.panel);
        // Long captions ("High oil temp. / low oil level delay") wrap rather than widen the window
        // past a 1024-pixel screen.
        QLabel* text = caption("lbl" + number, QString::fromUtf8(row.caption), group);
        text->setWordWrap(true);
        grid->addWidget(text, r, c);
        QLabel* panel = addPanel("pnl" + number);
        panel->setMinimumWidth(44);
        grid->addWidget(panel, r, c + 1, Qt::AlignVCenter);  // one line high beside a wrapped caption
        if (c < 6) grid->setColumnMinimumWidth(c + 2, 8);
        grid->setColumnStretch(c, 1);
        ++i;
    }
    grid->setRowStretch(kRows, 1);
    return group;
}

QGroupBox* MainWindow::buildIndicatorsGroup() {
    auto* group = new QGroupBox(QStringLiteral("状态指示"), this);
    group->setObjectName(QStringLiteral("GroupBox3"));
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(8, 6, 8, 8);

    // Legend: white inactive, red abnormal, green running.
    auto* legend = new QHBoxLayout;
    const std::tuple<int, const char*> legendRows[] = {
        {0, "正常(无效)状态"}, {1, "异常状态"}, {2, "运行状态"}};
    int n = 0;  // lbltl0…lbltl2, as the catalogues name them
    for (const auto& [image, text] : legendRows) {
        auto* lamp = new widgets::IndicatorLamp(QStringLiteral("imgtl%1").arg(n), true, group);
        lamp->setImage(image);
        legend->addWidget(lamp);
        legend->addWidget(caption(QStringLiteral("lbltl%1").arg(n), QString::fromUtf8(text), group));
        legend->addSpacing(10);
        ++n;
    }
    legend->addStretch(1);
    column->addLayout(legend);

    auto* tabs = m_tabs = new QTabWidget(group);
    tabs->setObjectName(QStringLiteral("PageControl1"));
    for (const LampTab& tab : kLampTabs) {
        auto* page = new QWidget;
        page->setObjectName(QLatin1String(tab.name));
        QGridLayout* grid = compactGrid(page);
        grid->setHorizontalSpacing(8);
        for (int c = 0; c < 2; ++c) {
            for (int r = 0; r < 9 && tab.columns[c][r]; ++r) {
                const int number = tab.columns[c][r];
                const QString name = QStringLiteral("zs%1").arg(number);
                auto* lamp = new widgets::IndicatorLamp(
                    name, monitor::PictureSetOf(name) == monitor::PictureSet::Alarm, page);
                m_lamps.insert(name, lamp);
                grid->addWidget(lamp, r, c * 2);
                grid->addWidget(caption("lbl" + name, widgets::IndicatorCaptions().value(number), page), r,
                                c * 2 + 1);
            }
            grid->setColumnStretch(c * 2 + 1, 1);
        }
        grid->setRowStretch(9, 1);
        tabs->addTab(page, QString::fromUtf8(tab.title));
        m_tabBase << QString::fromUtf8(tab.title);
        m_tabCounts << -1;
    }
    column->addWidget(tabs, 1);
    return group;
}

}  // namespace tarsyn::app
