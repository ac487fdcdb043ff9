// The page windows offscreen: every control of the tables exists under its name, the catalogue
// translates the classes of each window, and the buttons drive the engine.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "FakeClock.h"
#include "FakePollControl.h"
#include "FakeSerialPort.h"
#include "PageFixture.h"
#include "ScriptedPrompter.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/ControllerLink.h"
#include "pages/PageTable.h"
#include "pages/ui/PageWindow.h"
#include "widgets/Catalogue.h"

using namespace tarsyn;
using pages::PageWindow;

namespace {

/// A page window in English on a fake port, translated by the shipped catalogue.
struct WindowFixture : test::ProgramRig {
    explicit WindowFixture(const pages::Page& page) {
        useShippedCatalogue();
        port.OpenPort();
        port.onWrite = [this](const QString& frame) {
            if (frame.startsWith(QLatin1String("0004"))) port.arrive(reply);
        };
        window = std::make_unique<PageWindow>(
            page, pages::PageServices{link, poll, config, messages, prompter}, [this](QWidget* w) {
                widgets::SetActiveLanguage(w, config, QStringLiteral("English"),
                                           widgets::ControlClassesForWindow(w->objectName()));
            });
    }
    template <typename T>
    T* find(const char* name) const {
        return window->findChild<T*>(QLatin1String(name));
    }

    test::FakeSerialPort port;
    test::FakeSleeper sleeper;
    link::ControllerLink link{port, sleeper};
    QString reply;
    std::unique_ptr<PageWindow> window;
};

}  // namespace

class TestPageWindow : public QObject {
    Q_OBJECT
private slots:
    void everyControlOfTheTableExists();
    void catalogueTranslatesTheWindowsClasses_data();
    void catalogueTranslatesTheWindowsClasses();
    void readAndCancelThroughTheButtons();
    void refusalNamesTheTranslatedCaptionAndFocusesTheField();
    void clickDuringAReadIsHandledAndCancelWaitsForTheEnd();
    void onlyTheOperatorsEditsMakeABlockWritable();
    void unitStandsBesideItsField();
    void curveRefusalNamesTheCurve();
    void smsTextsOverTheirLimitAreKeptAndRefused_data();
    void smsTextsOverTheirLimitAreKeptAndRefused();
};

void TestPageWindow::onlyTheOperatorsEditsMakeABlockWritable() {
    WindowFixture f(pages::controlBitsPage());
    f.window->show();
    // Fresh: no radio selected; Write is refused and nothing goes out.
    f.find<QPushButton>("btngsm4")->click();
    QCOMPARE(f.prompter.shown.size(), 1);
    QVERIFY2(
        f.prompter.shown.first().startsWith(
            "info:Control Bits: read from the controller or load from file first (no value yet for Speed "
            "source, Load connection"),
        qPrintable(f.prompter.shown.first()));
    QVERIFY(f.port.written.isEmpty());
    // The operator's clicks count, one pair after the other; the engine's own filling does not.
    for (QGroupBox* group : f.window->findChildren<QGroupBox*>())
        if (auto* first = group->findChild<QRadioButton*>()) first->click();
    f.find<QPushButton>("btngsm4")->click();
    QCOMPARE(f.prompter.shown.last(), QStringLiteral("error:No answer: the write could not be verified"));
    QCOMPARE(f.port.written.first(), QStringLiteral("00070080000087\r\n"));
    f.find<QPushButton>("btngsm5")->click();  // cancel clears the page and what it knew
    f.window->show();
    f.find<QPushButton>("btngsm4")->click();
    QVERIFY(f.prompter.shown.last().startsWith("info:Control Bits: read from the controller"));
    QCOMPARE(f.port.written.size(), 2);
}

void TestPageWindow::unitStandsBesideItsField() {
    WindowFixture f(pages::alarmLimitsPage());
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    const QLineEdit* edit = f.find<QLineEdit>("edtdzxx");
    const QLabel* unit = f.find<QLabel>("lbldzxxdw");
    QVERIFY(unit && edit);
    const QRect e(edit->mapTo(f.window.get(), QPoint()), edit->size());
    const QRect u(unit->mapTo(f.window.get(), QPoint()), unit->size());
    QVERIFY(u.left() >= e.right());                                      // to its right
    QVERIFY(u.top() < e.bottom() && u.bottom() > e.top());               // on its row
    QCOMPARE(f.find<QLabel>("lbldysxdw")->text(), QStringLiteral("V"));  // a unit without scale
}

void TestPageWindow::curveRefusalNamesTheCurve() {
    WindowFixture f(pages::curvePage());
    f.window->show();
    for (QLineEdit* e : f.window->findChildren<QLineEdit*>()) e->setText("1");
    f.find<QLineEdit>("edtysy3")->setText("x");
    f.find<QPushButton>("btngsm4")->click();
    QCOMPARE(f.prompter.shown,
             QStringList{"info:Water temperature curve - Voltage 3: enter a number from 0.00 to 655.35."});
    QVERIFY(f.port.written.isEmpty());
}

void TestPageWindow::clickDuringAReadIsHandledAndCancelWaitsForTheEnd() {
    WindowFixture f(pages::delayPage());
    f.window->show();
    f.reply = test::blockReply("0102030405060708090A");
    // Queued clicks run only when the page lets events run, that is during the read's wait steps.
    bool readEnabledDuringRead = true;
    bool progressShownDuringRead = false;
    QMetaObject::invokeMethod(
        f.window.get(),
        [&] {
            readEnabledDuringRead = f.find<QPushButton>("btnsz3")->isEnabled();
            progressShownDuringRead = f.find<QProgressBar>("pb1")->isVisible();
            f.find<QPushButton>("btnsz5")->click();
        },
        Qt::QueuedConnection);
    f.find<QPushButton>("btngsm3")->click();
    QVERIFY(!readEnabledDuringRead);
    QVERIFY(progressShownDuringRead);
    QCOMPARE(f.prompter.shown, QStringList{"info:Read from the controller."});  // the read finished first
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.find<QLineEdit>("edtys1")->text(), QString());
    QVERIFY(f.find<QPushButton>("btnsz3")->isEnabled());
}

void TestPageWindow::everyControlOfTheTableExists() {
    for (const pages::Page* page :
         {&pages::delayPage(), &pages::curvePage(), &pages::systemPage(), &pages::controlBitsPage(),
          &pages::alarmLimitsPage(), &pages::smsPage()}) {
        WindowFixture f(*page);
        QCOMPARE(f.window->objectName(), page->window);
        for (int b = 0; b < page->blocks.size(); ++b) {
            for (int role = pages::kLoad; role <= pages::kCancel; ++role)
                QVERIFY(f.window->findChild<QPushButton*>(pages::buttonName(b, role)));
            for (const pages::Field& field : page->blocks[b].fields) {
                if (field.kind == pages::FieldKind::Bit) {
                    QVERIFY(f.window->findChild<QGroupBox*>(field.label));
                    QVERIFY(f.window->findChild<QRadioButton*>(field.control));
                    QVERIFY(f.window->findChild<QRadioButton*>(field.control1));
                } else {
                    QVERIFY2(f.window->findChild<QLineEdit*>(field.control), qPrintable(field.control));
                    QVERIFY(f.window->findChild<QLabel*>(field.label));
                }
            }
        }
        auto* pb1 = f.find<QProgressBar>("pb1");
        QVERIFY(pb1);
        QVERIFY(pb1->isHidden());
    }
}

void TestPageWindow::catalogueTranslatesTheWindowsClasses_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::newRow("delay label") << "TForm6"
                                 << "lbl41"
                                 << "Cool-down stop delay";
    QTest::newRow("delay second row") << "TForm6"
                                      << "btnsz5"
                                      << "Cancel";
    QTest::newRow("delay group boxes stay untranslated") << "TForm6"
                                                         << "grp1"
                                                         << "";
    QTest::newRow("curve group box") << "TForm7"
                                     << "grpsw1"
                                     << "Water temperature curve";
    QTest::newRow("curve third row") << "TForm7"
                                     << "btnjs3"
                                     << "Read from controller";
    QTest::newRow("load says from where") << "TForm6"
                                          << "btngsm1"
                                          << "Load from file";
    QTest::newRow("write says to where") << "TForm8"
                                         << "btngsm4"
                                         << "Write to controller";
    QTest::newRow("alarm limit unit") << "TForm10"
                                      << "lbldzxxdw"
                                      << "V";
    QTest::newRow("alarm limit in hertz") << "TForm10"
                                          << "lblplsxdw"
                                          << "Hz";
    QTest::newRow("alarm limit in degrees as the main window") << "TForm10"
                                                               << "lblswsxdw" << QString::fromUtf8("°C");
    QTest::newRow("oil temperature or level limit") << "TForm10"
                                                    << "lblywxxdw" << QString::fromUtf8("°C / %");
    QTest::newRow("curve label") << "TForm7"
                                 << "lblyyy8"
                                 << "Voltage 8";
    QTest::newRow("system parameters note")
        << "TForm8"
        << "lblxtzs"
        << "Note: restart the controller after changing its system parameters.";
    QTest::newRow("system parameters label") << "TForm8"
                                             << "lblclsz"
                                             << "Measurement setting";
    QTest::newRow("alarm limits label") << "TForm10"
                                        << "lblssxx"
                                        << "Speed-down limit";
    QTest::newRow("SMS label") << "Tgsm"
                               << "lblsj5"
                               << "Alarm phone 5";
    QTest::newRow("control bits group box") << "TForm9"
                                            << "grpqh1"
                                            << "Speed source";
    QTest::newRow("control bits radio") << "TForm9"
                                        << "rbsd2"
                                        << "Speed sensor";
}

void TestPageWindow::catalogueTranslatesTheWindowsClasses() {
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, text);
    WindowFixture f(test::pageNamed(window));
    QObject* o = f.window->findChild<QObject*>(control);
    QVERIFY(o);
    if (auto* g = qobject_cast<QGroupBox*>(o))
        QCOMPARE(g->title(), text);
    else
        QCOMPARE(o->property("text").toString(), text);
}

void TestPageWindow::readAndCancelThroughTheButtons() {
    WindowFixture f(pages::curvePage());
    f.window->show();
    f.reply = test::blockReply("00FA0064" + QString(56, '0'));
    f.find<QPushButton>("btnsz3")->click();
    QCOMPARE(f.find<QLineEdit>("edtyyy1")->text(), QStringLiteral("2.50"));
    QCOMPARE(f.find<QLineEdit>("edtyy1")->text(), QStringLiteral("100"));
    QCOMPARE(f.prompter.shown, QStringList{"info:Read from the controller."});
    QVERIFY(f.find<QProgressBar>("pb1")->isHidden());
    QVERIFY(f.find<QPushButton>("btnjs4")->isEnabled());
    QCOMPARE(f.poll.resumes, 1);
    f.find<QPushButton>("btngsm5")->click();
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.find<QLineEdit>("edtyyy1")->text(), QString());
}

void TestPageWindow::refusalNamesTheTranslatedCaptionAndFocusesTheField() {
    WindowFixture f(pages::controlBitsPage());
    // Radio pairs: cancel leaves both off; reading checks one of each.
    f.window->show();
    f.reply = test::blockReply("0100");
    f.find<QPushButton>("btngsm3")->click();
    QVERIFY(f.find<QRadioButton>("rbsd2")->isChecked());
    QVERIFY(!f.find<QRadioButton>("rbsd1")->isChecked());
    f.find<QPushButton>("btngsm5")->click();
    QVERIFY(!f.find<QRadioButton>("rbsd2")->isChecked());
    QVERIFY(!f.find<QRadioButton>("rbsd1")->isChecked());

    WindowFixture d(pages::delayPage());
    d.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(d.window.get()));
    for (QLineEdit* e : d.window->findChildren<QLineEdit*>()) e->setText("1");
    d.find<QLineEdit>("edtys12")->setText("300");
    d.find<QPushButton>("btnsz4")->click();
    QCOMPARE(d.prompter.shown,
             QStringList{"info:High water temperature delay: enter a number from 0 to 60."});
    QVERIFY(d.port.written.isEmpty());
    QCOMPARE(d.window->focusWidget(), d.find<QLineEdit>("edtys12"));
}

void TestPageWindow::smsTextsOverTheirLimitAreKeptAndRefused_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("phone of 13 digits") << "edtsj2"
                                        << "1234567890123"
                                        << "info:Alarm phone 2: only the digits 0 to 9, at most 12 of them.";
    QTest::newRow("station name of 17 bytes")
        << "edtzddz"
        << "Pump station nr 7"
        << "info:Station name: at most 16 bytes fit; this name takes 17. Shorten it; nothing was sent.";
}

// What the operator types into the SMS page is never cut as it is typed (the controller would then
// get another number or name than the one on the screen): the write refuses it, naming the limit.
void TestPageWindow::smsTextsOverTheirLimitAreKeptAndRefused() {
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, refusal);
    WindowFixture f(pages::smsPage());
    f.window->show();
    for (const char* name : {"edtzddz", "edtsj1", "edtsj2", "edtsj3", "edtsj4", "edtsj5"})
        QTest::keyClicks(f.find<QLineEdit>(name), QStringLiteral("1"));  // every field typed in
    QLineEdit* edit = f.window->findChild<QLineEdit*>(control);
    edit->clear();
    QTest::keyClicks(edit, text);
    QCOMPARE(edit->text(), text);
    f.find<QPushButton>("btngsm4")->click();
    QCOMPARE(f.prompter.shown, QStringList{refusal});
    QVERIFY(f.port.written.isEmpty());
}

QTEST_MAIN(TestPageWindow)
#include "tst_pageWindow.moc"
