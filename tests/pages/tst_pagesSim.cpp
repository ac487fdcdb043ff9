// Each page end to end against the virtual controller, in-process behind the fake port: write a
// block, read it back, same values. The controller's waits are a fake sleeper's on its own clock.
#include <QtTest>
#include <functional>
#include <memory>

#include "FakePageView.h"
#include "ProgramRig.h"
#include "SimPort.h"
#include "link/ControllerLink.h"
#include "pages/PageEngine.h"
#include "pages/PageTable.h"

using namespace tarsyn;

namespace {

/// A page engine on the port of the virtual controller; the shipped English catalogue read as
/// `language`'s, so that the outcomes read as the operator sees them.
struct SimPage : test::ProgramRig {
    explicit SimPage(const pages::Page& page, const QString& language = QStringLiteral("English"))
        : view(page) {
        useShippedCatalogue(language);
        engine = std::make_unique<pages::PageEngine>(
            page, view, pages::PageServices{link, poll, config, messages, prompter});
        view.onEdit = [this](const QString& control) { engine->edited(control); };
    }

    test::SimPort sim{test::SimPort::Stopped};
    test::FakeSleeper sleeper{&sim.clock};
    link::ControllerLink link{sim.port, sleeper};
    test::FakePageView view;
    std::unique_ptr<pages::PageEngine> engine;
};

/// The text typed into field `f`, the `i`th field of the page.
using ValueOf = std::function<QString(const pages::Field& f, int i)>;

/// One page written with values that differ from the factory's, in a catalogue's language.
struct RoundTrip {
    const char* name;
    pages::Page page;
    ValueOf value;
    QString language;
};

const QList<RoundTrip>& roundTrips() {
    static const QList<RoundTrip> cases = {
        // Within every delay's range: the protections and the cranking time take at most 60 s.
        {"delay page", pages::delayPage(),
         [](const pages::Field&, int i) { return QString::number(i < 3 ? 250 + i : 11 + 2 * i); },
         QStringLiteral("English")},
        {"curve page", pages::curvePage(),
         [](const pages::Field& f, int i) {
             return f.kind == pages::FieldKind::Hundredths
                        ? QStringLiteral("%1.%2").arg(i).arg(i % 10 * 11, 2, 10, QLatin1Char('0'))
                        : QString::number(1000 + 37 * i);
         },
         QStringLiteral("English")},
        // The measurement setting goes out with function 06 and must read back too.
        {"system page", pages::systemPage(),
         [](const pages::Field& f, int i) {
             return QString::number(f.kind == pages::FieldKind::Word ? 2000 + i : 7 + i);
         },
         QStringLiteral("English")},
        // Falling, so that every upper limit lies above its lower one; the battery and the
        // frequencies in volts and hertz with one decimal, as the page shows them.
        {"alarm limits page", pages::alarmLimitsPage(),
         [](const pages::Field& f, int i) {
             return f.kind == pages::FieldKind::Tenths ? QString::number((5000 - 111 * i) / 10.0, 'f', 1)
                                                       : QString::number(5000 - 111 * i);
         },
         QStringLiteral("English")},
        {"SMS page, a Latin name in English", pages::smsPage(),
         [](const pages::Field& f, int i) {
             return f.kind == pages::FieldKind::StationName ? QStringLiteral("PUMP STATION 7")
                                                            : QString("1390000000%1").arg(i);
         },
         QStringLiteral("English")},
        {"SMS page, a Chinese name in Chinese", pages::smsPage(),
         [](const pages::Field& f, int i) {
             return f.kind == pages::FieldKind::StationName ? QStringLiteral("三号泵站发电机")
                    : i == 3                                ? QString()
                                                            : QString::number(100 + i);
         },
         QStringLiteral("Chinese")},
        {"control bits page", pages::controlBitsPage(),
         [](const pages::Field&, int i) { return QString::number((i * 5 + 1) % 3 % 2); },
         QStringLiteral("English")},
    };
    return cases;
}

}  // namespace

class TestPagesSim : public QObject {
    Q_OBJECT
private slots:
    void writeToASilentControllerIsNotASuccess() {
        SimPage s(pages::alarmLimitsPage());
        QVERIFY(s.sim.command(QStringLiteral("line silent on")));
        for (const pages::Field& f : pages::alarmLimitsPage().blocks[0].fields) s.view.type(f.control, "100");
        s.engine->write(0);
        QCOMPARE(s.prompter.shown, QStringList{"error:No answer: the write could not be verified"});
        QVERIFY(s.view.readWriteEnabled);
    }

    // Writes every block, clears the controls, reads the blocks back and compares.
    void pageReadsBackWhatItWrote_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < roundTrips().size(); ++i) QTest::newRow(roundTrips()[i].name) << i;
    }
    void pageReadsBackWhatItWrote() {
        QFETCH(int, index);
        const RoundTrip& c = roundTrips()[index];
        const pages::Page& page = c.page;
        SimPage s(page, c.language);
        QHash<QString, QString> written;
        int i = 0;
        for (const pages::Block& b : page.blocks)
            for (const pages::Field& f : b.fields) {
                const QString v = c.value(f, i++);
                if (f.kind == pages::FieldKind::Bit) {
                    s.view.click(v == QLatin1String("1") ? f.control1 : f.control);
                } else {
                    s.view.type(f.control, v);
                    written[f.control] = v;
                }
            }
        const QSet<QString> checked = s.view.checked;
        for (int b = 0; b < page.blocks.size(); ++b) s.engine->write(b);
        s.view.texts.clear();
        s.view.checked.clear();
        for (int b = 0; b < page.blocks.size(); ++b) s.engine->read(b);
        QCOMPARE(s.prompter.of("error"), QStringList());
        QCOMPARE(s.view.texts, written);
        QCOMPARE(s.view.checked, checked);
        // Each write was read back and found as sent.
        QCOMPARE(s.prompter.of("info").count(QStringLiteral("Written and verified")), page.blocks.size());
        QCOMPARE(s.prompter.of("info").count(QStringLiteral("Read from the controller.")),
                 page.blocks.size());
    }
};

QTEST_GUILESS_MAIN(TestPagesSim)
#include "tst_pagesSim.moc"
