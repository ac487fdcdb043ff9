// The main window on a 1024×768 panel PC, in each shipped language: it fits, no caption is clipped,
// every reading, delay and indicator is on screen without scrolling, and every toolbar button is
// on the toolbar rather than behind its overflow arrow.
#include <QAbstractButton>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "ScriptedPrompter.h"
#include "app/MainWindow.h"
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

bool inside(QWidget* w, QWidget* window) {
    const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    return window->rect().contains(r);
}

/// Everything that would make the window unreadable at its current size: a caption cut, a control
/// off screen, a toolbar button in the overflow menu, a reading or lamp not on screen.
QStringList layoutProblems(app::MainWindow& window) {
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
        // The caption must fit: the button's width at least the width of its text and margins.
        const int textWidth = b->fontMetrics().horizontalAdvance(b->text());
        if (b->width() < qMin(b->sizeHint().width(), textWidth + 8))
            problems << b->objectName() + " clipped: " + b->text();
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
    return problems;
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
};

QTEST_MAIN(TestMainWindowSize)
#include "tst_mainWindowSize.moc"
