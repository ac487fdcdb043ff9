// Every line fault of the virtual controller against the program's readers, in-process: no
// corrupted, shifted or foreign reply changes a field, a history row, a lamp or an alarm. The poll
// cycle, the parameter pages, the alarm log and the printed report each read through the fake port
// from the simulator's own request handler with the fault in force, then again with a clean line.
#include <QSignalSpy>
#include <QtTest>

#include "../monitor/RecordingView.h"
#include "../pages/FakePageView.h"
#include "ProgramRig.h"
#include "SimPort.h"
#include "link/ControllerLink.h"
#include "link/LinkMeter.h"
#include "monitor/HistorySink.h"
#include "monitor/PollCycle.h"
#include "pages/PageEngine.h"
#include "reports/AlarmHistory.h"
#include "reports/ReportReader.h"

using namespace tarsyn;
using test::SimPort;

namespace {

/// Every reply the cycle passes on: each would be a history row and the alarms' input.
class CountingSink : public monitor::HistorySink {
public:
    void recordLiveReply(const QString&, const QString&) override { ++rows; }
    int rows = 0;
};

class RecordingSurface : public reports::ReportSurface {
public:
    void setPanelText(const QString&, const QString&) override { ++writes; }
    void setIndicatorImage(const QString&, int) override { ++writes; }
    int writes = 0;
};

/// What a reader needs of the program around the simulator: settings with one port, a catalogue
/// folder, the poll control the features pause, the boxes.
struct Program : test::ProgramRig {
    explicit Program(SimPort& sim) : sim(sim) {
        settings.setRefreshText(QStringLiteral("6"));
        settings.setPorts({{QStringLiteral("COM1"), QStringLiteral("Set 1"), QString()}});
    }
    /// Switches a line fault with the simulator's console command.
    void line(const QString& command) {
        QString said;
        QVERIFY2(sim::FaultCommand(command, sim.faults, &said), qPrintable(command));
        QVERIFY2(said.startsWith(QLatin1String("line faults:")), qPrintable(said));
        sim.applyFaults();
    }

    SimPort& sim;
    test::FakeSleeper sleeper{&sim.clock};
    link::ControllerLink link{sim.port, sleeper};
};

// The faults as the simulator's console switches them; each spoils every reply it touches.
void faultRows() {
    QTest::addColumn<QString>("command");
    QTest::newRow("garbage before the reply") << "line garbage on";
    QTest::newRow("three noise digits before the reply") << "line noise 3";
    QTest::newRow("one digit changed in transit") << "line digit on";
    QTest::newRow("a reply for another block") << "line other on";
    QTest::newRow("an unasked frame before the reply") << "line unasked on";
    QTest::newRow("a late reply joined to the next") << "line late on";
    QTest::newRow("cut replies") << "line short 11";  // the shortest reply is whole at 12
    QTest::newRow("no answer") << "line silent on";
}

}  // namespace

class TestReplyFaults : public QObject {
    Q_OBJECT
private slots:
    void pollCycle_data() { faultRows(); }
    void pollCycle();
    void pages_data() { faultRows(); }
    void pages();
    void alarmLog_data() { faultRows(); }
    void alarmLog();
    void report_data() { faultRows(); }
    void report();
    void foreignBytesInWholeFrames();
    void consoleCommands();
};

void TestReplyFaults::pollCycle() {
    QFETCH(QString, command);
    SimPort sim;
    Program program(sim);
    test::RecordingView view;
    CountingSink sink;
    monitor::PollCycle cycle(sim.port, program.sleeper, sim.clock, program.settings, program.messages, view);
    cycle.setHistorySink(&sink);
    QSignalSpy boxes(&cycle, &monitor::PollCycle::tickFailed);
    auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i) {
            sim.clock.advanceSecs(1);
            cycle.tick();
        }
    };
    // A clean line first: readings shown, rows due, the link up.
    ticks(5);
    QCOMPARE(cycle.ConnectionIndicator(), monitor::kLinkedImage);
    QVERIFY(!view.panels.value("pnl11").isEmpty());
    QVERIFY(sink.rows > 0);

    program.line(command);
    ticks(1);  // the reply asked for before the fault came clean
    const int writes = view.log.size();
    const int rows = sink.rows;
    ticks(12);
    QCOMPARE(view.log.size(), writes);  // no panel, no lamp written
    QCOMPARE(sink.rows, rows);          // no history row, nothing for the alarms
    QCOMPARE(cycle.ConnectionIndicator(), monitor::kNotLinkedImage);
    QVERIFY(cycle.lastReplyVerdict() != link::ReplyVerdict::Ok);
    QVERIFY(boxes.isEmpty());  // the indicator says so; no box per bad reply

    program.line("line clean");
    ticks(3);
    QCOMPARE(cycle.ConnectionIndicator(), monitor::kLinkedImage);
    QVERIFY(view.log.size() > writes);
    QVERIFY(sink.rows > rows);
}

void TestReplyFaults::pages() {
    QFETCH(QString, command);
    for (const pages::Page* page :
         {&pages::delayPage(), &pages::curvePage(), &pages::systemPage(), &pages::controlBitsPage(),
          &pages::alarmLimitsPage(), &pages::smsPage()}) {
        SimPort sim;
        Program program(sim);
        test::FakePageView view(*page);
        pages::PageEngine engine(
            *page, view, {program.link, program.poll, program.config, program.messages, program.prompter});
        program.line(command);
        // Every block of the page, one after the other, as an operator would read them.
        for (int b = 0; b < page->blocks.size(); ++b) engine.read(b);
        QVERIFY2(view.texts.isEmpty() && view.checked.isEmpty(), qPrintable(page->blocks.first().request()));
        // No "read": one box per block saying that nothing was read.
        QCOMPARE(program.prompter.of("info"), QStringList());
        QCOMPARE(program.prompter.of("error").size(), page->blocks.size());
        program.prompter.shown.clear();

        program.line("line clean");
        engine.read(0);
        QVERIFY(!view.texts.isEmpty() || !view.checked.isEmpty());
        QCOMPARE(program.prompter.shown.size(), 1);
    }
}

void TestReplyFaults::alarmLog() {
    QFETCH(QString, command);
    SimPort sim;
    Program program(sim);
    reports::AlarmHistory log(program.link, program.poll, program.prompter,
                              [](const QString& key) { return key; });
    program.line(command);
    log.firstRead();
    QVERIFY(!log.logKnown());
    QVERIFY(log.state().rows.isEmpty());
    QVERIFY(log.state().totalText.isEmpty());

    program.line("line clean");
    log.firstRead();
    QCOMPARE(log.state().totalText, QStringLiteral("13"));
    QCOMPARE(log.state().rows.size(), 6);

    program.line(command);
    log.nextPage();
    QVERIFY(log.state().rows.isEmpty());
    QCOMPARE(log.state().pageText, QStringLiteral("1"));  // the page indicator keeps what it showed
    // The first read without a count said why once; the page read that failed says nothing.
    QCOMPARE(program.prompter.shown, QStringList{QStringLiteral("error:alnocount")});
}

void TestReplyFaults::report() {
    QFETCH(QString, command);
    SimPort sim;
    Program program(sim);
    reports::ReportReader reader(program.link, program.poll);
    RecordingSurface surface;
    program.line(command);
    reader.read(surface);
    QCOMPARE(surface.writes, 0);

    program.line("line clean");
    reader.read(surface);
    QCOMPARE(surface.writes, 22 + 32);
}

// Another address's bytes in a frame whose station, function, count and check are all right (a late
// reply, a wrong address): no frame check can see it, what it decodes to can. The live block reads a
// mains voltage of 37009 V, the delays a cranking time of 147 s, the alarm log a record of
// 2093-94-95 96:97:98: each is refused as a check error and nothing of it is shown, recorded or
// alarmed on.
void TestReplyFaults::foreignBytesInWholeFrames() {
    SimPort sim;
    Program program(sim);
    QVERIFY(program.useShippedCatalogue());
    link::LinkMeter meter(sim.port, sim.clock);
    link::ControllerLink line(meter, program.sleeper);
    test::RecordingView view;
    CountingSink sink;
    monitor::PollCycle cycle(meter, program.sleeper, sim.clock, program.settings, program.messages, view);
    cycle.setHistorySink(&sink);
    auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i) {
            sim.clock.advanceSecs(1);
            cycle.tick();
        }
    };
    ticks(5);
    QCOMPARE(cycle.ConnectionIndicator(), monitor::kLinkedImage);
    QCOMPARE(meter.sinceStart("COM1").checkErrors, 0);

    program.line("line foreign on");
    ticks(1);
    const int writes = view.log.size();
    const int rows = sink.rows;
    const qint64 replies = meter.sinceStart("COM1").replies;
    ticks(6);
    QCOMPARE(view.log.size(), writes);  // the main window shows none of it
    QCOMPARE(sink.rows, rows);          // no history row, nothing for the alarms
    QCOMPARE(cycle.ConnectionIndicator(), monitor::kNotLinkedImage);
    QCOMPARE(cycle.lastReplyVerdict(), link::ReplyVerdict::OutOfRange);
    QCOMPARE(meter.sinceStart("COM1").checkErrors, 6);  // every one of them a check error
    QCOMPARE(meter.sinceStart("COM1").replies, replies);

    // The delay page: both blocks refused, saying which value is out of its range; nothing shown.
    test::FakePageView page(pages::delayPage());
    pages::PageEngine engine(pages::delayPage(), page,
                             {line, program.poll, program.config, program.messages, program.prompter});
    engine.read(0);
    engine.read(1);
    QVERIFY(page.texts.isEmpty());
    const QStringList errors = program.prompter.of("error");
    QCOMPARE(errors.size(), 2);
    QVERIFY2(errors.at(0).contains("147") && errors.at(0).contains("0 to 60") &&
                 errors.at(0).contains("Nothing was read"),
             qPrintable(errors.at(0)));
    QVERIFY2(errors.at(1).contains("144") && errors.at(1).contains("0 to 60"), qPrintable(errors.at(1)));
    QCOMPARE(program.prompter.of("info"), QStringList());  // never "Read from the controller."
    QCOMPARE(meter.sinceStart("COM1").checkErrors, 8);
    program.prompter.shown.clear();

    // The alarm log: count 144 and a record dated 2093-94-95 96:97:98 are refused together.
    reports::AlarmHistory log(line, program.poll, program.prompter, [](const QString& key) { return key; });
    log.firstRead();
    QVERIFY(!log.logKnown());
    QVERIFY(log.state().totalText.isEmpty());
    QVERIFY(log.state().rows.isEmpty());
    QCOMPARE(meter.sinceStart("COM1").checkErrors, 9);
    QVERIFY(log.readWholeLog({}).rows.isEmpty());

    // The printed report keeps its delays at "0" (its bit bytes can hold anything).
    reports::ReportReader reader(line, program.poll);
    RecordingSurface surface;
    reader.read(surface);
    QCOMPARE(surface.writes, 32);

    program.line("line clean");
    ticks(3);
    QCOMPARE(cycle.ConnectionIndicator(), monitor::kLinkedImage);
    QVERIFY(sink.rows > rows);
    engine.read(0);
    QCOMPARE(program.prompter.of("info").size(), 1);
    log.firstRead();
    QCOMPARE(log.state().totalText, QStringLiteral("13"));
}

// The console commands switch each fault on and off and say what is on; a wrong one says why.
void TestReplyFaults::consoleCommands() {
    sim::FaultOptions faults;
    QString said;
    QVERIFY(sim::FaultCommand("line noise 3", faults, &said));
    QVERIFY(sim::FaultCommand("LINE digit on", faults, &said));
    QCOMPARE(said, QStringLiteral("line faults: noise 3, digit"));
    QVERIFY(sim::FaultCommand("line short 20", faults, &said));
    QVERIFY(sim::FaultCommand("line short off", faults, &said));
    QCOMPARE(faults.shortLength, -1);
    QVERIFY(sim::FaultCommand("line noise -1", faults, &said));
    QVERIFY(said.contains("0-1000"));
    QCOMPARE(faults.noise, 3);
    QVERIFY(sim::FaultCommand("line wobble on", faults, &said));
    QVERIFY(said.contains("wobble"));
    QVERIFY(sim::FaultCommand("line foreign on", faults, &said));
    QVERIFY(faults.foreignData);
    QVERIFY(said.contains("foreign"));
    QVERIFY(sim::FaultCommand("line clean", faults, &said));
    QVERIFY(faults.clean());
    QCOMPARE(said, QStringLiteral("line faults: clean"));
    QVERIFY(!sim::FaultCommand("alarm on", faults, &said));
}

QTEST_GUILESS_MAIN(TestReplyFaults)
#include "tst_replyFaults.moc"
