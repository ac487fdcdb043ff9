// The program's windows on a 1024×768 panel PC, in each shipped language. The main window fits, no
// caption is clipped, every reading, delay and indicator is on screen without scrolling, and every
// toolbar button is on the toolbar rather than behind its overflow arrow. Every other window opens no
// larger than the screen less a window frame and a task bar, whole on the screen, nothing in it cut.
#include <QAbstractButton>
#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "ScriptedPrompter.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "aware/Awareness.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "monitor/PollCycle.h"
#include "widgets/ElidingLabel.h"
#include "widgets/Indicators.h"

using namespace tarsyn;

namespace {

// 1024×768 less a title bar and a task bar.
constexpr int kWidth = 1024;
constexpr int kHeight = 768 - 30 - 40;

struct Rig {
    explicit Rig(const QString& language) {
        const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + "/data/";
        QVERIFY(QFile::copy(source + language + ".lag", dir.filePath(language + ".lag")));
        config.wrini("system.ini", "Set", "language", language);
        config.wrini("system.ini", "Set", "ports", "1");
        config.wrini("system.ini", "Set", "port0", "/dev/ttyUSB0");
        config.wrini("system.ini", "Set", "remark0", "Gen A");
        config.wrini("system.ini", "Set", "portremark0", "Pump house, north wall");
        settings.load(config);
        window =
            std::make_unique<app::MainWindow>(config, settings, messages, port, sleeper, clock, prompter);
        window->poll().stopTimer();
        window->setPortProblem(
            "cannot open /dev/ttyUSB0: permission denied - is the user in the dialout group?");
        window->setEntryTexts(
            "/dev/ttyUSB0", "Gen A",
            "Pump house, north wall, behind the second fuel tank; key with the site warden");
        // Widest readings the panels show: "%-10.1f" and "%-10.2f" are ten characters.
        for (QLabel* panel : window->findChildren<QLabel*>(QRegularExpression("^pnl\\d+$")))
            panel->setText("6553.5    ");
    }
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::FakeClock clock;
    test::FakeSleeper sleeper{&clock};
    test::FakeSerialPort port;
    test::ScriptedPrompter prompter;
    std::unique_ptr<app::MainWindow> window;
};

/// Room a window manager's frame takes around a window: borders and a title bar.
constexpr int kFrameSides = 2 * 4;
constexpr int kFrameTop = 30;
constexpr int kFrameBottom = 4;

bool inside(QWidget* w, QWidget* window) {
    const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    return window->rect().contains(r);
}

/// Everything that would make the window unreadable at its current size: a caption cut, a control
/// off screen, a toolbar button in the overflow menu, a reading or lamp not on screen.
QStringList layoutProblems(QWidget& window) {
    QStringList problems;
    for (QLabel* l : window.findChildren<QLabel*>()) {
        if (!l->isVisibleTo(&window) || l->text().isEmpty()) continue;
        // A wrapping caption needs the height of its lines at the width it got.
        const bool fits =
            l->wordWrap()
                ? l->width() >= l->minimumSizeHint().width() && l->height() >= l->heightForWidth(l->width())
                : l->width() >= l->minimumSizeHint().width() && l->height() >= l->minimumSizeHint().height();
        if (!fits)
            problems << l->objectName() +
                            QString(" clipped (%1x%2 < %3x%4): ")
                                .arg(l->width())
                                .arg(l->height())
                                .arg(l->minimumSizeHint().width())
                                .arg(l->minimumSizeHint().height()) +
                            l->text();
        if (!inside(l, &window)) problems << l->objectName() + " off screen";
    }
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(&window) || b->text().isEmpty()) continue;
        // The caption must fit: the button's width at least the width of its text and margins, or,
        // for a caption that wraps, its longest word and the height of its lines.
        const int textWidth = b->fontMetrics().horizontalAdvance(b->text());
        const bool fits =
            b->sizePolicy().hasHeightForWidth()
                ? b->width() >= b->minimumSizeHint().width() && b->height() >= b->heightForWidth(b->width())
                : b->width() >= qMin(b->sizeHint().width(), textWidth + 8);
        if (!fits) problems << b->objectName() + " clipped: " + b->text();
        if (!inside(b, &window)) problems << b->objectName() + " off screen";
    }
    // Every toolbar button on the toolbar itself, none in the overflow menu.
    for (QToolBar* bar : window.findChildren<QToolBar*>())
        for (QToolButton* b : bar->findChildren<QToolButton*>())
            if (!b->objectName().isEmpty() && !b->objectName().startsWith("qt_") && !b->isVisibleTo(&window))
                problems << b->objectName() + " hidden in the toolbar's overflow";
    // Every reading, delay and indicator visible at once (the indicators of the current tab).
    for (QLabel* panel : window.findChildren<QLabel*>(QRegularExpression("^pnl\\d+$")))
        if (!panel->isVisibleTo(&window) || !inside(panel, &window))
            problems << panel->objectName() + " not on screen";
    for (widgets::IndicatorLamp* lamp : window.findChildren<widgets::IndicatorLamp*>()) {
        QWidget* page = lamp->parentWidget();
        auto* tabs = window.findChild<QTabWidget*>();
        if (tabs && tabs->indexOf(page) >= 0 && tabs->currentWidget() != page) continue;
        if (!lamp->isVisibleTo(&window) || !inside(lamp, &window) || lamp->height() < 8)
            problems << lamp->objectName() + " not on screen";
    }
    // Every column caption of a list whole, unless the list scrolls sideways to it.
    for (QHeaderView* header : window.findChildren<QHeaderView*>()) {
        if (header->orientation() != Qt::Horizontal || !header->isVisibleTo(&window)) continue;
        auto* view = qobject_cast<QAbstractItemView*>(header->parentWidget());
        if (!view || !header->model()) continue;
        for (int i = 0; i < header->count(); ++i) {
            if (header->isSectionHidden(i)) continue;
            const QString caption = header->model()->headerData(i, Qt::Horizontal).toString();
            // The widest line of a caption of two, within the style's margins.
            const int margins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
            int needed = 0;
            for (const QString& line : caption.split('\n'))
                needed = qMax(needed, header->fontMetrics().horizontalAdvance(line) + margins);
            if (!caption.isEmpty() && header->sectionSize(i) < needed)
                problems << QString("%1 column \"%2\" cut (%3 < %4 px)")
                                .arg(view->objectName(), caption)
                                .arg(header->sectionSize(i))
                                .arg(needed);
        }
    }
    return problems;
}

const QByteArray kPassword = "super123";

/// A data folder in `language` with three lines, one of them named at length, as a site has them.
bool makeDataFolder(const QTemporaryDir& data, const QString& language) {
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + "/data/";
    for (const char* f : {"English.lag", "Chinese.lag", "English.hlp", "Chinese.hlp"})
        if (!QFile::copy(source + f, data.filePath(f))) return false;
    config::Config(data.path())
        .wriniBatch("system.ini",
                    {{"Set", "language", language},
                     {"Set", "flash", "6"},
                     {"Set", "save1", "60"},
                     {"Set", "save2", "1"},
                     {"Set", "ports", "3"},
                     {"Set", "port0", "/dev/ttyUSB0"},
                     {"Set", "remark0", "Genset 1"},
                     {"Set", "portremark0", "Pump house"},
                     {"Set", "port1", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00"},
                     {"Set", "remark1", "Standby generator, hospital wing B"},
                     {"Set", "portremark1", "Behind the second fuel tank"},
                     {"Set", "port2", "COM1"},
                     {"Set", "remark2", "Genset 3"},
                     {"Set", "portremark2", ""}});
    config::Config config(data.path());
    config.wrini("system.ini", "Set", "cjkl", QString::number(config::ProductHash(kPassword)));
    config.wrini("system.ini", "Set", "jzm", config::StoredCheckValue(config));
    return true;
}

}  // namespace

class TestMainWindowSize : public QObject {
    Q_OBJECT
private slots:
    void fitsA1024By768Screen_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "English";
        QTest::newRow("Chinese") << "Chinese";
    }
    void fitsA1024By768Screen() {
        QFETCH(QString, language);
        Rig rig(language);
        app::MainWindow& window = *rig.window;
        QVERIFY2(window.minimumSizeHint().width() <= kWidth && window.minimumSizeHint().height() <= kHeight,
                 qPrintable(QString("needs %1×%2")
                                .arg(window.minimumSizeHint().width())
                                .arg(window.minimumSizeHint().height())));
        window.resize(kWidth, kHeight);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(kWidth, kHeight));

        const QStringList problems = layoutProblems(window);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("\n")));

        const QString shots = qEnvironmentVariable("TARSYN_SCREENSHOT_DIR");
        if (!shots.isEmpty()) window.grab().save(shots + "/mainwindow-1024-" + language + ".png");
    }

    // What once pushed the window past the screen, shown on a window already at 1024×768: a lost link
    // with its reason, a recording failure, names of hundreds of characters. The window keeps its
    // size, the link and alarm state stay whole, and every cut text is whole in its tooltip.
    void longTextsAndALostLinkStayOnScreen_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("scenario");
        for (const char* language : {"English", "Chinese"})
            for (const char* scenario : {"lost link", "recording failure", "long names"})
                QTest::newRow(qPrintable(QString("%1, %2").arg(language, scenario))) << language << scenario;
    }
    void longTextsAndALostLinkStayOnScreen() {
        QFETCH(QString, language);
        QFETCH(QString, scenario);
        Rig rig(language);
        app::MainWindow& window = *rig.window;
        window.resize(kWidth, kHeight);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        aware::AwarenessStatus status;
        status.controller = "Gen A";
        status.linkText = rig.messages.text("awlost").arg("10:02:13");
        status.lastReplyText = rig.messages.text("awlast").arg("10:02:11");
        status.alarmText = rig.messages.text("awalarmsunknown");
        const QString longName =
            "/dev/serial/by-id/usb-" + QString("FTDI_USB_Serial_Converter_").repeated(11);
        QCOMPARE(longName.size() > 300, true);
        if (scenario == "lost link") {
            window.setPortProblem(rig.messages.text("portmissing").arg("/dev/ttyUSB0"));
            window.showAwareness(status);
        } else if (scenario == "recording failure") {
            window.setHistoryStatus(
                false,
                "History table \"nls\": the hour interval '3600000' is not a whole number "
                "of seconds within a day; recording stops until the settings are "
                "corrected in the settings window and saved.");
        } else {
            window.setEntryTexts(longName, QString("Generator set in the pump house ").repeated(10),
                                 QString("Notes that go on and on ").repeated(12));
            window.setPortProblem(rig.messages.text("portdenied").arg(longName));
            window.showAwareness(status);
        }
        // The layouts settle as they would in the running program's event loop.
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        QVERIFY2(window.minimumSizeHint().width() <= kWidth,
                 qPrintable(QString("needs %1 px").arg(window.minimumSizeHint().width())));
        QCOMPARE(window.size(), QSize(kWidth, kHeight));
        QStringList problems = layoutProblems(window);
        for (widgets::ElidingLabel* l : window.findChildren<widgets::ElidingLabel*>())
            if (l->isVisibleTo(&window) && l->isElided() && l->toolTip() != l->text())
                problems << l->objectName() + " cut without its whole text as tooltip";
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("\n")));
        const QString shots = qEnvironmentVariable("TARSYN_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            window.grab().save(shots + "/mainwindow-1024-" + language + "-" +
                               QString(scenario).replace(' ', '-') + ".png");
        // Short texts again: the window is still on screen (it never grew).
        window.setEntryTexts("/dev/ttyUSB0", "Gen A", "");
        window.setPortProblem(QString());
        QCoreApplication::processEvents();
        QCOMPARE(window.size(), QSize(kWidth, kHeight));
    }

    // Every window the program makes, opened over the main window: no larger than the screen less a
    // frame and a task bar, nothing in it cut, and its frame whole on the screen even where it was
    // left half off the screen (by the operator, or a window manager's own placement).
    void everyWindowOpensWholeOnTheScreen_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "English";
        QTest::newRow("Chinese") << "Chinese";
    }
    void everyWindowOpensWholeOnTheScreen() {
        QFETCH(QString, language);
        QTemporaryDir data;
        QVERIFY(makeDataFolder(data, language));
        test::ScriptedPrompter prompter;
        test::FakeClock clock;
        test::FakeSleeper sleeper{&clock};
        test::FakeSerialPort port;
        app::Program program(data.path(), "GBK",
                             app::Program::Substitutes{&prompter, &sleeper, &clock, &port});
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(screen.size(), QSize(1024, 768));

        QWidget* main = program.mainWindow();
        main->resize(kWidth, kHeight);
        main->move(kFrameSides / 2, kFrameTop);
        // The login at the main window's showing, answered as the operator would.
        QTimer login;
        bool readingsBehindTheLogin = true;
        QObject::connect(&login, &QTimer::timeout, [&login, &readingsBehindTheLogin, main] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog->objectName() != "TForm16") return;
            readingsBehindTheLogin = main->findChild<QLabel*>("pnl11")->isVisible();
            dialog->findChild<QLineEdit*>("edtEdit2")->setText(QString::fromLatin1(kPassword));
            dialog->findChild<QPushButton*>("btnButton1")->click();
            login.stop();
        });
        login.start(10);
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        QTRY_VERIFY(!login.isActive());
        // Nothing of the controller's is shown until the password is given.
        QVERIFY(!readingsBehindTheLogin);
        QVERIFY(main->findChild<QLabel*>("pnl11")->isVisible());
        QStringList problems;
        const QString shots = qEnvironmentVariable("TARSYN_SCREENSHOT_DIR");
        for (QWidget* w : program.secondaryWindows()) {
            w->move(screen.right() - w->width() / 2, screen.bottom() - w->height() / 2);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
            const QString name = w->objectName();
            QTRY_VERIFY2(screen.contains(w->geometry()), qPrintable(name));
            if (w->width() > screen.width() - kFrameSides || w->height() > kHeight)
                problems << QString("%1 is %2×%3").arg(name).arg(w->width()).arg(w->height());
            // The frame a window manager adds is counted where the platform draws none.
            QRect frame = w->frameGeometry();
            if (frame == w->geometry())
                frame.adjust(-kFrameSides / 2, -kFrameTop, kFrameSides / 2, kFrameBottom);
            if (!screen.contains(frame))
                problems << QString("%1 opens at %2,%3 (%4×%5 with its frame): off the screen")
                                .arg(name)
                                .arg(frame.x())
                                .arg(frame.y())
                                .arg(frame.width())
                                .arg(frame.height());
            for (const QString& p : layoutProblems(*w)) problems << name + ": " + p;
            if (!shots.isEmpty())
                w->screen()->grabWindow(0).save(QString("%1/%2-%3.png").arg(shots, language, name));
            w->hide();
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("\n")));
    }
};

/// The offscreen platform's screen is 800×600 unless told otherwise: here it is the panel PC's.
int main(int argc, char** argv) {
    QTemporaryDir screenConfig;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        QFile f(screenConfig.filePath("screen.json"));
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(R"({"screens": [{"name": "panel", "x": 0, "y": 0, "width": 1024, "height": 768,)"
                R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        f.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + f.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestMainWindowSize test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainWindowSize.moc"
