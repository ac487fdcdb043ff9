// A station polls the simulated controller with nothing but a QCoreApplication: the simulator's request
// handler answers in-process behind the fake port, the clock and sleeper are fake, and every tick is
// called by hand. The typed readings are compared with the simulator's memory at the moment it answered.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "SimPort.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/Codec.h"
#include "station/Station.h"

using namespace tarsyn;
using monitor::Quantity;

namespace {

const QString kLiveFrame = link::BuildFrame("000400060030");

// Records what it hears, in order, into a log shared with other subscribers.
class Recorder : public monitor::ReadingSubscriber {
public:
    Recorder(QString name, QStringList& log) : m_name(std::move(name)), m_log(log) {}
    void readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                        const QString& reply) override {
        m_log << m_name + (block == monitor::ReplyBlock::Live ? ":live" : ":delay");
        last = reading;
        lastReply = reply;
    }
    void linkChanged(const monitor::LinkChange& change) override {
        m_log << m_name + (change.linked ? ":up" : ":down");
        changes << change;
    }
    void tickEnded(const monitor::TickEnd& end) override {
        m_log << m_name + ":tick";
        ends << end;
    }
    monitor::LiveReading last;
    QString lastReply;
    QList<monitor::LinkChange> changes;
    QList<monitor::TickEnd> ends;

private:
    QString m_name;
    QStringList& m_log;
};

// One line to the simulator, polled by a station.
struct Rig {
    Rig() {
        settings.setLanguage("English");
        settings.setRefreshText("6");
        settings.setPorts({{QStringLiteral("sim0"), QStringLiteral(" Sim set "), QStringLiteral("yard")}});
        // The live block as the simulator's memory held it when it answered the live request.
        const auto answer = sim.port.onWrite;
        sim.port.onWrite = [this, answer](const QString& frame) {
            answer(frame);
            if (frame == kLiveFrame) answered = sim.memory.bytes(0x0006, 48);
        };
        sim.port.setPortName("sim0");
    }
    void tick() {
        sim.clock.advanceSecs(1);
        station.poll().tick();
    }
    // Bytes of the answered live block by controller address.
    quint32 word(int address) const {
        return quint8(answered.at(address - 6)) << 8 | quint8(answered.at(address - 5));
    }
    quint32 byte(int address) const { return quint8(answered.at(address - 6)); }

    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::SimPort sim;
    test::FakeSleeper sleeper{&sim.clock};
    station::Station station{sim.port, sleeper, sim.clock, settings, messages};
    QByteArray answered;
};

}  // namespace

class TestStation : public QObject {
    Q_OBJECT
private slots:
    void noGuiInTheProcess() {
        // The station library links Qt Core (and SerialPort) only: neither Qt Gui nor Widgets is loaded.
        QCOMPARE(QCoreApplication::instance()->metaObject()->className(), "QCoreApplication");
        QFile maps("/proc/self/maps");
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray loaded = maps.readAll();
        QVERIFY(loaded.contains("libQt6Core"));
        QVERIFY2(!loaded.contains("libQt6Gui"), "Qt Gui is loaded");
        QVERIFY2(!loaded.contains("libQt6Widgets"), "Qt Widgets is loaded");
    }

    void typedReadingsMatchTheSimulator() {
        Rig rig;
        rig.station.start(true);
        QCOMPARE(rig.station.poll().timer().thread(), QThread::currentThread());
        rig.station.stop();                      // ticks by hand from here
        for (int i = 0; i < 3; ++i) rig.tick();  // delay request; delay reply, live request; live reply
        QVERIFY(!rig.answered.isEmpty());
        QVERIFY(rig.station.poll().linked());

        const std::optional<monitor::LiveReading> latest = rig.station.latest("Sim set");
        QVERIFY(latest);
        const monitor::LiveReading& r = *latest;
        QVERIFY(r.liveComplete());
        QCOMPARE(r.remark, QStringLiteral(" Sim set "));
        QCOMPARE(r.port, QStringLiteral("sim0"));
        QVERIFY(r.linked);
        // Addresses and scalings of the live block: words from 0x0006, the running time three bytes at
        // 0x0016 in tenths of an hour, the power factor one byte at 0x0019 in hundredths.
        const struct {
            Quantity q;
            int address;
            int width;  // bytes
            double divisor;
        } fields[] = {
            {Quantity::MainsVoltageA, 0x0006, 2, 1},
            {Quantity::MainsVoltageB, 0x0008, 2, 1},
            {Quantity::MainsVoltageC, 0x000A, 2, 1},
            {Quantity::MainsFrequency, 0x000C, 2, 10},
            {Quantity::WaterTemperature2, 0x0010, 2, 1},
            {Quantity::OilPressure2, 0x0012, 2, 1},
            {Quantity::Power, 0x0014, 2, 10},
            {Quantity::RunningTime, 0x0016, 3, 10},
            {Quantity::PowerFactor, 0x0019, 1, 100},
            {Quantity::CurrentA, 0x001E, 2, 1},
            {Quantity::CurrentB, 0x0020, 2, 1},
            {Quantity::CurrentC, 0x0022, 2, 1},
            {Quantity::GeneratorVoltageA, 0x0024, 2, 1},
            {Quantity::GeneratorVoltageB, 0x0026, 2, 1},
            {Quantity::GeneratorVoltageC, 0x0028, 2, 1},
            {Quantity::WaterTemperature, 0x002A, 2, 1},
            {Quantity::OilPressure, 0x002C, 2, 1},
            {Quantity::OilLevel, 0x002E, 2, 1},
            {Quantity::BatteryVoltage, 0x0030, 2, 10},
            {Quantity::GeneratorFrequency, 0x0032, 2, 10},
            {Quantity::EngineSpeed, 0x0034, 2, 1},
        };
        for (const auto& f : fields) {
            const quint32 raw = f.width == 1   ? rig.byte(f.address)
                                : f.width == 2 ? rig.word(f.address)
                                               : rig.byte(f.address) << 16 | rig.word(f.address + 1);
            const monitor::FieldValue& v = r.value(f.q);
            QVERIFY2(v.valid && v.raw == raw && v.value == raw / f.divisor,
                     qPrintable(QStringLiteral("0x%1: %2 read, %3 in memory")
                                    .arg(f.address, 4, 16, QChar('0'))
                                    .arg(v.value)
                                    .arg(raw / f.divisor)));
        }
        // A running set: every scaled value is non-zero, so a wrong divisor shows.
        for (Quantity q : {Quantity::MainsFrequency, Quantity::Power, Quantity::RunningTime,
                           Quantity::PowerFactor, Quantity::BatteryVoltage, Quantity::GeneratorFrequency})
            QVERIFY(r.value(q).raw > 0);
        QCOMPARE(r.indicator("zs9"), std::optional<bool>(false));
        // The 22 delays in force, one byte each from 0x0036.
        for (int k = 0; k < monitor::kDelayCount; ++k) {
            QVERIFY(r.delays[size_t(k)].valid);
            QCOMPARE(r.delays[size_t(k)].raw, quint32(rig.sim.memory.byte(0x0036 + k)));
        }
        QCOMPARE(rig.station.controllers(), QStringList{"Sim set"});

        // An emergency stop in the simulator: alarm bits 7 and 0 at 0x001A.
        rig.sim.engine.setAlarm(true, false);
        rig.tick();  // the delay reply; the live request is answered with the alarm
        rig.tick();  // its reply
        const monitor::LiveReading alarmed = *rig.station.latest("Sim set");
        QCOMPARE(rig.byte(0x001A), 0x81u);
        QCOMPARE(alarmed.bitBytes[0].raw, 0x81u);
        QCOMPARE(alarmed.indicator("zs9"), std::optional<bool>(true));
        QCOMPARE(alarmed.indicator("zs1"), std::optional<bool>(true));
        QCOMPARE(alarmed.indicator("zs6"), std::optional<bool>(false));
        QCOMPARE(rig.station.view().portText(), QStringLiteral("sim0"));
        QCOMPARE(rig.station.view().notesText(), QStringLiteral("yard"));
    }

    void subscribersHearInTheOrderTheyWereAdded() {
        Rig rig;
        QStringList log;
        Recorder first("A", log), second("B", log);
        rig.station.subscribe(&first);
        rig.station.subscribe(&second);
        rig.station.poll().initialise(true);
        rig.tick();                                     // opens, writes the delay request
        rig.tick();                                     // delay reply (link up), writes the live request
        rig.tick();                                     // live reply, writes the delay request
        QCOMPARE(log, (QStringList{"A:tick", "B:tick",  //
                                   "A:up", "B:up", "A:delay", "B:delay", "A:tick", "B:tick",  //
                                   "A:live", "B:live", "A:tick", "B:tick"}));
        QVERIFY(first.lastReply.startsWith("000430"));
        QCOMPARE(first.last.remark, QStringLiteral(" Sim set "));
        QVERIFY(first.ends.at(0).connectionStepRan);
        QVERIFY(!first.ends.at(1).connectionStepRan);

        // The controller falls silent: the next reply is missing, the link goes down at that tick's time.
        log.clear();
        rig.sim.port.onWrite = nullptr;
        rig.sim.port.incoming.clear();  // the delay request written in the last tick goes unanswered
        rig.tick();                     // the delay reply is missing, no request answered from here on
        QCOMPARE(log, (QStringList{"A:down", "B:down", "A:tick", "B:tick"}));
        QCOMPARE(first.changes.last().time, rig.sim.clock.now());
        QCOMPARE(first.changes.last().remark, QStringLiteral(" Sim set "));
        QVERIFY(!rig.station.latest("Sim set")->linked);
        QCOMPARE(rig.station.latest("Sim set")->linkChangedAt, rig.sim.clock.now());
        // What was read stays known per controller; the current reading says nothing is linked now.
        QVERIFY(rig.station.latest("Sim set")->liveComplete());
        QVERIFY(!rig.station.current().linked);

        rig.station.unsubscribe(&second);
        log.clear();
        rig.tick();
        QCOMPARE(log, QStringList{"A:tick"});
    }

    void aStationOnAThreadOfItsOwn() {
        // Made on a worker thread, ticked there: its deliveries run on that thread.
        QTemporaryDir dir;
        config::Config config(dir.path());
        config::LiveSettings settings;
        settings.setRefreshText("6");
        settings.setPorts({{QStringLiteral("sim0"), QStringLiteral("Line 2"), QString()}});
        config::Messages messages(config, settings);
        QThread worker;
        worker.start();
        std::unique_ptr<test::SimPort> sim;
        std::unique_ptr<test::FakeSleeper> sleeper;
        std::unique_ptr<station::Station> station;
        QStringList log;
        Recorder seen("W", log);
        QThread* deliveredOn = nullptr;
        QObject context;
        context.moveToThread(&worker);
        auto run = [&](auto&& f) { QMetaObject::invokeMethod(&context, f, Qt::BlockingQueuedConnection); };
        run([&] {
            sim = std::make_unique<test::SimPort>();
            sleeper = std::make_unique<test::FakeSleeper>(&sim->clock);
            station = std::make_unique<station::Station>(sim->port, *sleeper, sim->clock, settings, messages);
            station->subscribe(&seen);
            station->poll().initialise(true);
        });
        QCOMPARE(station->thread(), &worker);
        for (int i = 0; i < 3; ++i)
            run([&] {
                sim->clock.advanceSecs(1);
                station->poll().tick();
                deliveredOn = QThread::currentThread();
            });
        QCOMPARE(deliveredOn, &worker);
        QVERIFY(log.contains("W:live"));
        QVERIFY(station->latest("Line 2"));
        run([&] {
            station.reset();
            sleeper.reset();
            sim.reset();
        });
        worker.quit();
        worker.wait();
    }
};

QTEST_GUILESS_MAIN(TestStation)
#include "tst_station.moc"
