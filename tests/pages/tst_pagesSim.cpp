// Each page end to end against tarsyn-sim on a pseudo-terminal: write a block, read it back, same
// values. The controller's waits are cut short (it answers at once), so nothing waits for seconds.
#include <QFile>
#include <QThread>
#include <QtTest>
#include <memory>

#include "FakePageView.h"
#include "FakePollControl.h"
#include "ScriptedPrompter.h"
#include "SimProcess.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/ControllerLink.h"
#include "link/QtSerialPort.h"
#include "pages/PageEngine.h"
#include "pages/PageTable.h"

using namespace tarsyn;

namespace {

/// Waits as long as the virtual controller needs, never a second per frame.
class ShortSleeper : public link::Sleeper {
public:
    void sleep(int ms) override { QThread::msleep(qMin(ms, 20)); }
};

/// A page engine on the program's own serial port, opened on the simulator.
struct SimPage {
    explicit SimPage(const pages::Page& page, const QString& language = QStringLiteral("English"))
        : config(dir.path()), view(page) {
        // The shipped catalogue, so that the outcomes read as the operator sees them.
        QFile::copy(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/English.lag"),
                    dir.filePath(QStringLiteral("%1.lag").arg(language)));
        settings.setLanguage(language);
        engine = std::make_unique<pages::PageEngine>(
            page, view, pages::PageServices{link, poll, config, messages, prompter});
        view.onEdit = [this](const QString& control) { engine->edited(control); };
    }
    bool start(const QStringList& args = {}) {
        if (!sim.start(args)) return false;
        port.setPortName(sim.devicePath());
        port.OpenPort();
        return port.Connected();
    }

    QTemporaryDir dir;
    config::Config config;
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::SimProcess sim;
    link::QtSerialPort port;
    ShortSleeper sleeper;
    link::ControllerLink link{port, sleeper};
    test::FakePollControl poll;
    test::ScriptedPrompter prompter;
    test::FakePageView view;
    std::unique_ptr<pages::PageEngine> engine;
};

/// Writes every block with values that differ from the factory's, clears the controls, reads the
/// blocks back and compares. `value` gives the text of field i of block b.
void roundTrip(const pages::Page& page, const std::function<QString(const pages::Field&, int)>& value,
               const QString& language = QStringLiteral("English")) {
    SimPage s(page, language);
    QVERIFY(s.start());
    QHash<QString, QString> written;
    QSet<QString> checked;
    int i = 0;
    for (const pages::Block& b : page.blocks)
        for (const pages::Field& f : b.fields) {
            const QString v = value(f, i++);
            if (f.kind == pages::FieldKind::Bit) {
                s.view.click(v == QLatin1String("1") ? f.control1 : f.control);
            } else {
                s.view.type(f.control, v);
                written[f.control] = v;
            }
        }
    checked = s.view.checked;
    for (int b = 0; b < page.blocks.size(); ++b) s.engine->write(b);
    s.view.texts.clear();
    s.view.checked.clear();
    for (int b = 0; b < page.blocks.size(); ++b) s.engine->read(b);
    QCOMPARE(s.prompter.of("error"), QStringList());
    QCOMPARE(s.view.texts, written);
    QCOMPARE(s.view.checked, checked);
    // Each write was read back and found as sent.
    QCOMPARE(s.prompter.of("info").count(QStringLiteral("Written and verified")), page.blocks.size());
    QCOMPARE(s.prompter.of("info").count(QStringLiteral("Read from the controller.")), page.blocks.size());
}

}  // namespace

class TestPagesSim : public QObject {
    Q_OBJECT
private slots:
    void writeToASilentControllerIsNotASuccess() {
        SimPage s(pages::alarmLimitsPage());
        QVERIFY(s.start({QStringLiteral("--no-answer")}));
        for (const pages::Field& f : pages::alarmLimitsPage().blocks[0].fields) s.view.type(f.control, "100");
        s.engine->write(0);
        QCOMPARE(s.prompter.shown, QStringList{"error:No answer: the write could not be verified"});
        QVERIFY(s.view.readWriteEnabled);
    }
    void delayPageReadsBackWhatItWrote() {
        roundTrip(pages::delayPage(), [](const pages::Field&, int i) { return QString::number(200 + i); });
    }
    void curvePageReadsBackWhatItWrote() {
        roundTrip(pages::curvePage(), [](const pages::Field& f, int i) {
            return f.kind == pages::FieldKind::Hundredths
                       ? QStringLiteral("%1.%2").arg(i).arg(i % 10 * 11, 2, 10, QLatin1Char('0'))
                       : QString::number(1000 + 37 * i);
        });
    }
    void systemPageReadsBackWhatItWrote() {
        // The measurement setting goes out with function 06 and must read back too.
        roundTrip(pages::systemPage(), [](const pages::Field& f, int i) {
            return QString::number(f.kind == pages::FieldKind::Word ? 2000 + i : 7 + i);
        });
    }
    void alarmLimitsPageReadsBackWhatItWrote() {
        roundTrip(pages::alarmLimitsPage(),
                  // Falling, so that every upper limit lies above its lower one.
                  [](const pages::Field&, int i) { return QString::number(5000 - 111 * i); });
    }
    void smsPageReadsBackALatinNameInEnglish() {
        roundTrip(pages::smsPage(), [](const pages::Field& f, int i) {
            return f.kind == pages::FieldKind::StationName ? QStringLiteral("PUMP STATION 7")
                                                           : QString("1390000000%1").arg(i);
        });
    }
    void smsPageReadsBackAChineseNameInChinese() {
        roundTrip(
            pages::smsPage(),
            [](const pages::Field& f, int i) {
                return f.kind == pages::FieldKind::StationName ? QStringLiteral("三号泵站发电机")
                       : i == 3                                ? QString()
                                                               : QString::number(100 + i);
            },
            QStringLiteral("Chinese"));
    }
    void controlBitsPageReadsBackWhatItWrote() {
        roundTrip(pages::controlBitsPage(),
                  [](const pages::Field&, int i) { return QString::number((i * 5 + 1) % 3 % 2); });
    }
};

QTEST_GUILESS_MAIN(TestPagesSim)
#include "tst_pagesSim.moc"
