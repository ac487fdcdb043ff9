// The shell's windows bound to their logic, offscreen: login dialog, settings window, port dialog,
// tray icon, and the lifecycle attached to a real top-level widget.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "ScriptedPrompter.h"
#include "ShellFixture.h"
#include "app/LoginDialog.h"
#include "app/PortDialog.h"
#include "app/SettingsWindow.h"
#include "app/TrayIcon.h"
#include "app/core/AccessLevel.h"
#include "app/core/PortSelection.h"
#include "app/core/SettingsLogic.h"
#include "app/core/Shell.h"
#include "monitor/LiveView.h"
#include "monitor/PollCycle.h"
#include "widgets/WidgetPrompter.h"

using namespace tarsyn;
using namespace tarsyn::app;
using namespace tarsyn::config;

namespace {
struct Target : PortSwitchTarget {
    test::FakeSerialPort serial;
    int portIndex = 1, pollState = 2, indicator = 2;
    bool rotation = true;
    QString shown;
    int PortIndex() const override { return portIndex; }
    void setPortIndex(int i) override { portIndex = i; }
    link::SerialPort& port() override { return serial; }
    void setConnectionIndicator(int image) override { indicator = image; }
    void setPollState(int s) override { pollState = s; }
    void setRotationMode(bool on) override { rotation = on; }
    void showFixedPort(const QString& name, const QString& r, const QString&) override {
        shown = name;
        remark = r;
    }
    QString remark;
    void ClearLiveDisplay() override {}
};

/// The main window's surface as recorded texts.
struct RecordingView : monitor::LiveView {
    QString mode, port;
    bool rotation = true;
    int connection = -1, cleared = 0;
    void setPanelText(const QString&, const QString& text) override { cleared += text == "0"; }
    void setIndicatorImage(const QString&, int) override {}
    void setConnectionImage(int image) override { connection = image; }
    void setMode(const QString& label, bool on) override {
        mode = label;
        rotation = on;
    }
    void setEntryTexts(const QString& p, const QString&, const QString&) override { port = p; }
    void setPortText(const QString& p) override { port = p; }
    QString remarkText() const override { return {}; }
};

/// Presses the buttons of a modal dialog once its event loop runs; the passwords go in one by one.
void pressLater(LoginDialog& dialog, QStringList passwords, bool exitAtEnd = false) {
    QTimer::singleShot(0, &dialog, [&dialog, passwords, exitAtEnd] {
        auto* confirm = dialog.findChild<QPushButton*>("btnButton1");
        for (const QString& p : passwords) {
            if (!dialog.isVisible()) return;
            QTest::keyClicks(dialog.passwordEdit(), p);
            confirm->click();
            QVERIFY(dialog.passwordEdit()->text().isEmpty());  // cleared at every press
        }
        if (exitAtEnd && dialog.isVisible()) dialog.findChild<QPushButton*>("btnButton2")->click();
        if (dialog.isVisible()) dialog.reject();  // the close box
    });
}
}  // namespace

class TestShellWindows : public QObject {
    Q_OBJECT
private slots:
    void loginDialogControls() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic logic(fx.config, access, fx.messages, prompter);
        int translated = 0;
        LoginDialog dialog(logic, fx.messages, [&](QWidget* w) {
            ++translated;
            QCOMPARE(w->objectName(), QString("TForm16"));
        });
        QCOMPARE(translated, 1);
        QCOMPARE(dialog.objectName(), QString("TForm16"));
        QCOMPARE(dialog.windowTitle(), QString("Form16caption"));
        QCOMPARE(dialog.findChild<QLabel*>("lbldlma")->text(), QString("登录密码："));
        QCOMPARE(dialog.findChild<QPushButton*>("btnButton1")->text(), QString("确认"));
        QCOMPARE(dialog.findChild<QPushButton*>("btnButton2")->text(), QString("退出"));
    }

    void passwordShownAsDollars() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic logic(fx.config, access, fx.messages, prompter);
        LoginDialog dialog(logic, fx.messages);
        QLineEdit* edit = dialog.findChild<QLineEdit*>("edtEdit2");
        QVERIFY(edit);
        dialog.show();
        QTest::keyClicks(edit, "abc");
        QCOMPARE(edit->text(), QString("abc"));
        QCOMPARE(edit->displayText(), QString("$$$"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->displayText(), QString("$$"));
        QApplication::clipboard()->setText("xyz");
        edit->paste();
        QCOMPARE(edit->text(), QString("abxyz"));
        QCOMPARE(edit->displayText(), QString("$$$$$"));
        dialog.hide();
    }

    void loginFlows_data() {
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<bool>("exitButton");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("level");
        QTest::newRow("wrong, wrong, right") << QStringList{"a", "b", test::ShellFixture::kOrdinary} << false
                                             << int(LoginResult::Granted) << 99;
        QTest::newRow("three wrong") << QStringList{"a", "b", "c"} << false << int(LoginResult::ForcedExit)
                                     << 3;
        QTest::newRow("exit button") << QStringList{"a"} << true << int(LoginResult::Exit) << 10000;
        QTest::newRow("close box") << QStringList{"a"} << false << int(LoginResult::Closed) << 1;
    }
    void loginFlows() {
        QFETCH(QStringList, passwords);
        QFETCH(bool, exitButton);
        QFETCH(int, result);
        QFETCH(int, level);
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        Access access;
        LoginLogic logic(fx.config, access, fx.messages, prompter);
        LoginDialog dialog(logic, fx.messages);
        pressLater(dialog, passwords, exitButton);
        QCOMPARE(int(dialog.runModal()), result);
        QCOMPARE(access.AccessLevel(), level);
        QVERIFY(!dialog.isVisible());
    }

    void settingsWindowBuiltFromFile() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        fx.live.setRefreshText("999");  // creation reads the file again
        SettingsWindow window(logic, fx.live, fx.messages);
        QCOMPARE(window.objectName(), QString("TForm2"));
        QCOMPARE(window.windowTitle(), QString("Form2caption"));
        auto* language = window.findChild<QComboBox*>("cbb1");
        QVERIFY(!language->isEditable());  // only installed catalogues can be chosen
        QCOMPARE(language->currentText(), QString("Test"));
        QCOMPARE(language->count(), 1);
        auto* refresh = window.findChild<QComboBox*>("cbb2");
        QVERIFY(refresh->isEditable());
        QCOMPARE(refresh->count(), 4);
        QCOMPARE(refresh->itemText(3), QString("120"));
        QCOMPARE(refresh->currentText(), QString("10"));
        QCOMPARE(window.findChild<QLineEdit*>("cbbnls")->text(), QString("60"));
        QCOMPARE(window.findChild<QLineEdit*>("cbb24s")->text(), QString("5"));
        for (const char* name : {"edtcjgly", "edtptgly"}) {
            auto* pw = window.findChild<QLineEdit*>(name);
            QVERIFY(pw->maxLength() > 30);  // a longer one is refused with a message, not cut
            QCOMPARE(pw->echoMode(), QLineEdit::Password);
            QVERIFY(pw->text().isEmpty());
        }
        auto* list = window.findChild<QTreeWidget*>("lv1");
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(list->topLevelItem(2)->text(0), QString("com3"));
        QCOMPARE(list->topLevelItem(2)->text(2), QString("notes 2"));
        QCOMPARE(list->headerItem()->text(0), QString("port"));
        QCOMPARE(list->headerItem()->text(1), QString("remark"));
        QCOMPARE(list->headerItem()->text(2), QString("notes"));
        QVERIFY(list->columnWidth(0) >= 40);
        QVERIFY(list->columnWidth(1) >= 60);
        QCOMPARE(list->columnWidth(2), 260);
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(window.findChild<QWidget*>("pnl1")->isHidden());
        QCOMPARE(window.findChild<QLineEdit*>("edt1")->text(), QString("com1"));
        QCOMPARE(window.findChild<QLineEdit*>("edtbz")->text(), QString("com1"));
        QCOMPARE(window.findChild<QPushButton*>("btnszq")->text(), QString("退出"));
        QCOMPARE(window.findChild<QLabel*>("lbl1")->text(), QString("language"));
        QCOMPARE(window.findChild<QGroupBox*>("grp1")->title(), QString("设备清单"));
    }

    // The controls edit a draft: nothing reaches the settings in effect (the poll cycle's and the
    // recorder's) before a save, and a declined save throws the edits away.
    void settingsEditsWaitForTheSave() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        SettingsWindow window(logic, fx.live, fx.messages);
        window.show();
        auto* refresh = window.findChild<QComboBox*>("cbb2");
        refresh->setCurrentText("60");
        QCOMPARE(logic.draft().refreshText(), QString("60"));
        QCOMPARE(fx.live.refreshText(), QString("10"));
        auto* hour = window.findChild<QLineEdit*>("cbbnls");
        hour->setText("100");
        QCOMPARE(logic.draft().hourIntervalText(), QString("100"));
        emit hour->editingFinished();  // leaving the box raises it: 60 s x 3 rows
        QCOMPARE(hour->text(), QString("180"));
        auto* day = window.findChild<QLineEdit*>("cbb24s");
        day->setText("1");
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(day, &leave);
        QCOMPARE(day->text(), QString("4"));
        QCOMPARE(logic.draft().dayIntervalText(), QString("4"));
        QCOMPARE(fx.live.dayIntervalText(), QString("5"));

        // Adding: a clash keeps the panel open, a new port joins the list (not yet the settings in effect).
        window.showAddPanel();
        auto* panel = window.findChild<QWidget*>("pnl1");
        QVERIFY(panel->isVisible());
        window.findChild<QLineEdit*>("edt1")->setText("com2");
        window.findChild<QLineEdit*>("edtbz")->setText("new");
        window.findChild<QPushButton*>("btnqd")->click();
        QCOMPARE(prompter.shown, QStringList{"info:dl20"});
        QVERIFY(panel->isVisible());
        window.findChild<QLineEdit*>("edt1")->setText("COM2");
        window.findChild<QPushButton*>("btnqd")->click();
        QVERIFY(!panel->isVisible());
        auto* list = window.findChild<QTreeWidget*>("lv1");
        QCOMPARE(list->topLevelItemCount(), 4);
        QCOMPARE(logic.draft().ports().last().port, QString("COM2"));
        QCOMPARE(fx.live.ports().size(), 3);

        list->setCurrentItem(list->topLevelItem(0));
        window.deleteSelected();
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(logic.draft().ports().first().port, QString("com2"));
        QCOMPARE(fx.live.ports().first().port, QString("com1"));

        // Declining the save: the window closes, nothing is written, nothing takes effect, and the
        // controls show the settings in effect again.
        const QByteArray before = fx.fileBytes();
        window.findChild<QPushButton*>("btnszq")->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(fx.fileBytes(), before);
        QCOMPARE(fx.live.refreshText(), QString("10"));
        QCOMPARE(refresh->currentText(), QString("10"));
        QCOMPARE(hour->text(), QString("60"));
        QCOMPARE(day->text(), QString("5"));
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(list->topLevelItem(0)->text(0), QString("com1"));

        // Reopened and saved: now the edit is in effect.
        window.show();
        refresh->setCurrentText("6");
        prompter.defaultAnswer = true;
        window.findChild<QPushButton*>("btnszq")->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(fx.live.refreshText(), QString("6"));
        QCOMPARE(fx.read("flash"), QString("6"));
    }

    // Long port names and remarks are readable in the list: the columns grow to them (the window
    // with them, within the screen), and each cell has its whole text as tooltip.
    void longPortNamesFit() {
        test::ShellFixture fx(0);
        const QString port = QStringLiteral("/tmp/tarsyn-demo/controller-north");
        const QString remark = QStringLiteral("Pump house north");
        fx.config.wriniBatch("system.ini",
                             {{"Set", "ports", "1"}, {"Set", "port0", port}, {"Set", "remark0", remark}});
        fx.reseal();
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        SettingsWindow window(logic, fx.live, fx.messages);
        window.show();
        auto* list = window.findChild<QTreeWidget*>("lv1");
        const QFontMetrics metrics(list->font());
        QVERIFY2(list->columnWidth(0) >= metrics.horizontalAdvance(port),
                 qPrintable(QString::number(list->columnWidth(0))));
        QVERIFY(list->columnWidth(1) >= metrics.horizontalAdvance(remark));
        QCOMPARE(list->topLevelItem(0)->toolTip(0), port);
        QVERIFY(window.width() <= window.screen()->availableGeometry().width());
        QVERIFY(list->viewport()->width() >= list->columnWidth(0) + list->columnWidth(1));
        window.hide();
    }

    void portDialogShowsWholeEntries() {
        test::ShellFixture fx(0);
        fx.live.setPorts({{"/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00", "Pump house north", ""},
                          {"com2", "Generator 2", ""}});
        Target target;
        target.portIndex = 0;
        PortSelection logic(fx.live, target);
        PortDialog dialog(logic, fx.messages);
        dialog.prepare();
        dialog.show();
        auto* box = dialog.findChild<QComboBox*>("cbbzdck");
        const QString longest = box->itemText(0);
        QVERIFY2(longest.contains("Pump house north") && longest.contains("A50285BI"), qPrintable(longest));
        QVERIFY2(box->width() >= QFontMetrics(box->font()).horizontalAdvance(longest),
                 qPrintable(QString::number(box->width())));
        QVERIFY(dialog.width() <= dialog.screen()->availableGeometry().width());
        QCOMPARE(box->itemData(0, Qt::ToolTipRole).toString(), longest);
        dialog.hide();
    }

    void equalPasswordsKeepSettingsOpen() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.defaultAnswer = true;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        SettingsWindow window(logic, fx.live, fx.messages);
        window.show();
        window.findChild<QLineEdit*>("edtcjgly")->setText("same");
        window.findChild<QLineEdit*>("edtptgly")->setText("same");
        const QByteArray before = fx.fileBytes();
        window.close();  // the close box runs the same procedure
        QVERIFY(window.isVisible());
        QCOMPARE(prompter.shown, (QStringList{"confirm:dl1", "info:dl28"}));
        QCOMPARE(fx.fileBytes(), before);
        window.findChild<QLineEdit*>("edtptgly")->setText("other");
        window.close();
        QVERIFY(!window.isVisible());
        QCOMPARE(fx.read("cjkl"), fx.hashOf("same"));
        QCOMPARE(fx.read("ptkl"), fx.hashOf("other"));
        // Saved or not, a typed password does not wait in the hidden window for a later save.
        QVERIFY(window.findChild<QLineEdit*>("edtcjgly")->text().isEmpty());
        QVERIFY(window.findChild<QLineEdit*>("edtptgly")->text().isEmpty());
    }

    void nonNumericRefreshNamesTheLabel() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.defaultAnswer = true;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        SettingsWindow window(logic, fx.live, fx.messages, [](QWidget* w) {
            w->findChild<QLabel*>("lbl2")->setText("Refresh");  // as a catalogue would
        });
        QVERIFY(test::useEnglish(fx));  // the messages the operator reads
        window.findChild<QLabel*>("lbl3")->setText("sec");
        window.show();
        window.findChild<QComboBox*>("cbb2")->setCurrentText("ten");
        const QByteArray before = fx.fileBytes();
        window.close();
        QVERIFY(window.isVisible());
        QCOMPARE(
            prompter.shown.last(),
            QString("info:Refresh: enter a whole number from 1 to 3600 sec, not 'ten'. Nothing was saved."));
        QCOMPARE(fx.fileBytes(), before);
        window.hide();
    }

    void languageFollowsLiveSettings() {
        test::ShellFixture fx;
        QFile other(fx.config.filePath("Other.lag"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("[Messages]\nForm2caption=Einstellungen\nport=P\n");
        other.close();
        test::ScriptedPrompter prompter;
        SettingsLogic logic(fx.config, fx.live, fx.messages, prompter);
        SettingsWindow window(logic, fx.live, fx.messages);
        QCOMPARE(window.languageBox()->count(), 2);
        window.selectLanguage(0);  // "Other" sorts first
        QCOMPARE(fx.live.language(), QString("Other"));
        window.relabel();
        QCOMPARE(window.windowTitle(), QString("Einstellungen"));
        QCOMPARE(window.findChild<QTreeWidget*>("lv1")->headerItem()->text(0), QString("P"));
        QCOMPARE(window.findChild<QTreeWidget*>("lv1")->headerItem()->text(1), QString("0"));  // missing key
        // The hot key changes the language in effect only: the box keeps showing the stored one, also
        // when the window opens again.
        fx.config.wrini("system.ini", "Set", "language", "Test");
        logic.beginEdit();
        QCOMPARE(window.languageBox()->currentText(), QString("Test"));
        fx.live.setLanguage("Other");
        QCOMPARE(window.languageBox()->currentText(), QString("Test"));
        window.show();
        QCOMPARE(window.languageBox()->currentText(), QString("Test"));
        QCOMPARE(fx.live.language(), QString("Other"));
        window.hide();
    }

    void portDialogTypedName() {
        test::ShellFixture fx;
        Target target;
        PortSelection logic(fx.live, target);
        PortDialog dialog(logic, fx.messages);
        QCOMPARE(dialog.objectName(), QString("TForm11"));
        QCOMPARE(dialog.findChild<QPushButton*>("btnzdck")->text(), QString("指定"));
        QCOMPARE(dialog.findChild<QPushButton*>("btnqx")->text(), QString("取消"));
        dialog.prepare();
        QCOMPARE(dialog.windowTitle(), QString("Form11caption"));
        auto* box = dialog.findChild<QComboBox*>("cbbzdck");
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->currentIndex(), 1);                      // PortIndex
        QCOMPARE(box->currentText(), QString("gen1 (com2)"));  // the controller's name, then its port
        box->setEditText(" /dev/ttyS7 ");
        dialog.show();
        dialog.findChild<QPushButton*>("btnzdck")->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(target.portIndex, -1);
        QCOMPARE(target.serial.portName(), QString("/dev/ttyS7"));
        QVERIFY(target.serial.Connected());
        QCOMPARE(target.indicator, 7);
        QCOMPARE(target.pollState, 1);
        QVERIFY(!target.rotation);
        QCOMPARE(target.shown, QString("/dev/ttyS7"));
        QCOMPARE(target.remark, QString("/dev/ttyS7"));

        // A pick from the list keeps its index; the list is the one as it stands now.
        fx.live.setPorts(fx.live.ports() << PortEntry{"com9", "n", ""});
        target.portIndex = 3;
        dialog.prepare();
        QCOMPARE(box->currentText(), QString("n (com9)"));
        dialog.applyPressed();
        QCOMPARE(target.portIndex, 3);
        QCOMPARE(target.serial.portName(), QString("com9"));  // the port, not the label

        // An entry's label typed as the list shows it is that entry, not a device of that name.
        dialog.prepare();
        box->setCurrentIndex(-1);
        box->setEditText("gen1 (com2)");
        dialog.applyPressed();
        QCOMPARE(target.serial.portName(), QString("com2"));
        QCOMPARE(target.portIndex, 1);
    }

    // A short message in a narrow box: the box is wide enough for its title beside the title bar's
    // icon and buttons ("Tarsyn", not "T…n").
    void shortMessagesKeepTheirTitleWhole_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        for (const char* kind : {"information", "confirm", "error"}) {
            QTest::newRow(qPrintable(QString("%1, English").arg(kind))) << kind << "Saved.";
            QTest::newRow(qPrintable(QString("%1, Chinese").arg(kind)))
                << kind << QString::fromUtf8("保存成功！");
        }
    }
    void shortMessagesKeepTheirTitleWhole() {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        tarsyn::widgets::WidgetPrompter prompter;
        int width = 0, needed = 0;
        QString title;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            title = box->windowTitle();
            width = box->width();
            needed = tarsyn::widgets::MessageBoxMinimumWidth(box->fontMetrics(), title);
            qobject_cast<QDialog*>(box)->reject();
        });
        if (kind == "information")
            prompter.information(text);
        else if (kind == "confirm")
            QVERIFY(!prompter.confirm(text));
        else
            prompter.error(text);
        QCOMPARE(title, QString("Tarsyn"));
        QVERIFY2(width >= needed, qPrintable(QString("%1 < %2").arg(width).arg(needed)));
    }

    void portDialogDrivesThePollCycle() {
        test::ShellFixture fx;
        test::FakeSerialPort serial;
        test::FakeClock clock;
        test::FakeSleeper sleeper(&clock);
        RecordingView view;
        monitor::PollCycle poll(serial, sleeper, clock, fx.live, fx.messages, view);
        poll.setRotationMode(true);
        poll.setPollState(3);
        PollCyclePortTarget target(poll, view, fx.messages);
        PortSelection logic(fx.live, target);
        PortDialog dialog(logic, fx.messages);
        dialog.prepare();
        dialog.findChild<QComboBox*>("cbbzdck")->setEditText("ttyS9");
        dialog.applyPressed();
        QCOMPARE(poll.PortIndex(), -1);
        QCOMPARE(poll.PollState(), 1);
        QVERIFY(!poll.RotationMode());
        QCOMPARE(poll.ConnectionIndicator(), monitor::kLinkedImage);
        QCOMPARE(view.connection, monitor::kLinkedImage);
        QCOMPARE(view.mode, QString("gdsb"));
        QVERIFY(!view.rotation);
        QCOMPARE(view.port, QString("ttyS9"));
        QVERIFY(view.cleared > 0);
        QCOMPARE(serial.openedNames, QStringList{"ttyS9"});
    }

    void trayIcon() {
        QWidget main;
        QWidget settings;
        main.show();
        TrayIcon tray(&main);
        tray.setSecondaryWindows({&settings});
        QCOMPARE(TrayIcon::frames().size(), 4);
        for (const QIcon& frame : TrayIcon::frames()) QVERIFY(!frame.pixmap(32, 32).toImage().isNull());
        QVERIFY(!tray.shown());
        QVERIFY(!tray.canBringBack());
        tray.startAnimation();
        QVERIFY(tray.shown());
        QVERIFY(tray.animating());
        QCOMPARE(tray.timer().interval(), 400);
        for (int i = 1; i <= 5; ++i) {
            QMetaObject::invokeMethod(&tray.timer(), "timeout");
            QCOMPARE(tray.frameIndex(), i % 4);
        }
        tray.click();
        QVERIFY(!main.isVisible());
        tray.click();
        QVERIFY(main.isVisible());
        settings.show();  // a secondary window open: the click does nothing
        tray.click();
        QVERIFY(main.isVisible());
        // Offscreen there is no notification area: the icon counts as shown, yet a main window
        // hidden to it could not come back, so the shell must not hide it there.
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(!tray.available());
        QVERIFY(!tray.canBringBack());
    }

    void shellAttachedToWindow() {
        test::ShellFixture fx;
        test::ScriptedPrompter prompter;
        prompter.answers = {false, true};
        Access access;
        int logins = 0;
        bool canHide = true;
        ShellHooks hooks;
        hooks.runLogin = [&] {
            ++logins;
            return LoginResult::Granted;
        };
        hooks.canHideToTray = [&] { return canHide; };
        Shell shell(fx.config, access, fx.messages, prompter, hooks);
        QWidget main;
        shell.attach(&main);
        main.show();
        QTRY_COMPARE(logins, 1);
        main.show();  // already visible: no new showing
        QCoreApplication::processEvents();
        QCOMPARE(logins, 1);

        // Minimise hides it while it can be brought back; showing again asks for the password again.
        main.setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!main.isVisible());
        QVERIFY(!(main.windowState() & Qt::WindowMinimized));
        main.show();
        QTRY_COMPARE(logins, 2);
        // Without a way back, a minimise stays a minimise.
        canHide = false;
        main.setWindowState(Qt::WindowMinimized);
        QCoreApplication::processEvents();
        QVERIFY(main.isVisible());
        main.setWindowState(Qt::WindowNoState);

        // The system maximise shows the window instead of maximising it: same size, no new login.
        main.resize(300, 200);
        QCoreApplication::processEvents();
        const QSize normal = main.size();
        main.setWindowState(Qt::WindowMaximized);
        QTRY_VERIFY(!(main.windowState() & Qt::WindowMaximized));
        QVERIFY(main.isVisible());
        QCOMPARE(main.size(), normal);
        QCOMPARE(logins, 2);

        QVERIFY(!main.close());  // No at dl2
        QVERIFY(main.isVisible());
        QVERIFY(main.close());  // Yes
        QCOMPARE(prompter.shown, (QStringList{"confirm:dl2", "confirm:dl2"}));
    }

    void slideOutMovesRightAndHides() {
        QWidget main;
        main.setGeometry(100, 100, 200, 100);
        main.show();
        const QPoint start = main.pos();
        bool done = false;
        QList<int> xs;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] { xs << main.pos().x(); });
        probe.start(5);
        Shell::slideOut(&main, 60, [&] { done = true; });
        QTRY_VERIFY(done);
        QVERIFY(!main.isVisible());
        QVERIFY(!xs.isEmpty());
        QVERIFY(std::is_sorted(xs.begin(), xs.end()));  // left to right
        QVERIFY(xs.last() > start.x());
    }

    void failedCheckAtShowingEndsWithoutQuestion() {
        test::ShellFixture fx;
        fx.config.wrini("system.ini", "Set", "flash", "77");  // edited by hand: "jzm" no longer matches
        test::ScriptedPrompter prompter;
        Access access;
        int logins = 0;
        ShellHooks hooks;
        hooks.runLogin = [&] {
            ++logins;
            return LoginResult::Granted;
        };
        // The real 1200 ms slide-out is shortened; everything else is the program's own path.
        hooks.slideOut = [&](std::function<void()> done) { done(); };
        Shell shell(fx.config, access, fx.messages, prompter, hooks);
        QWidget main;
        shell.attach(&main);
        main.show();
        QTRY_VERIFY(!main.isVisible());
        QVERIFY(access.exiting());
        QCOMPARE(logins, 0);
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY2(prompter.shown.at(0).startsWith("info:system.ini Error!\n" +
                                                 QDir::toNativeSeparators(fx.config.filePath("system.ini"))),
                 qPrintable(prompter.shown.at(0)));
    }
};

QTEST_MAIN(TestShellWindows)
#include "tst_shellWindows.moc"
