#pragma once

#include <QDebug>

#include "Console.h"
#include "ControllerMemory.h"
#include "EngineModel.h"
#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "ReplyShaper.h"
#include "RequestHandler.h"

namespace tarsyn::test {

/// The virtual controller in-process behind a FakeSerialPort: every line the program writes is
/// served by the simulator's own request handler, and the reply, shaped by the simulator's line
/// faults, "arrives" at once. No pseudo-terminal, no real time: the program takes `clock` (the
/// controller's time too) and a FakeSleeper on it, and a test moves the time on. Link the test with
/// tarsyn_simcore.
///
///     SimPort sim;                                // factory memory, engine running, steady readings
///     SimPort sim(SimPort::Alarm);                // as `tarsyn-sim --alarm`: stopped, jittering, alarm
///     sim.command("line digit on");               // the simulator's console, in force at once
class SimPort {
public:
    /// How the controller starts, as the simulator's options --running, --steady and --alarm.
    enum Start { Stopped = 0, Running = 1, Steady = 2, Alarm = 4 };

    explicit SimPort(int start = Running | Steady) {
        memory.loadFactoryImage();
        engine.setSteady(start & Steady);
        if (start & Running) engine.startRunning();
        if (start & Alarm) engine.setAlarm(true, true);
        engine.refresh();
        port.canOpen = [this](const QString&) { return m_plugged; };
        port.OpenPort();
        port.onWrite = [this](const QString& frame) {
            for (const QByteArray& line : m_lines.feed(frame.toLatin1())) {
                const sim::Reply reply = handler.handle(shaper.redirect(line));
                if (reply.answered) port.arrive(QString::fromLatin1(shaper.shape(reply.text)));
            }
        };
    }

    /// Puts `faults` (the line faults of the simulator's console) into force for the next replies.
    void applyFaults() { shaper.setFaults(faults); }

    /// A line typed on the simulator's console ("alarm on", "fault 1A", "line silent on"): in force
    /// for the next request. False (with a warning) for a command the console does not know.
    bool command(const QString& line) {
        QString said;
        const auto outcome = m_console.run(line.toLocal8Bit(), clock.now(), &said);
        if (outcome == sim::Console::Outcome::Unknown)
            qWarning() << "SimPort: unknown console command" << line;
        return outcome == sim::Console::Outcome::Done;
    }

    /// The controller is pulled: the open port is lost and cannot be opened again until plugIn().
    void unplug() {
        m_plugged = false;
        port.lose();
    }
    /// The controller is back on the line (memory and engine as they were).
    void plugIn() { m_plugged = true; }

    FakeClock clock;
    FakeSerialPort port;
    sim::ControllerMemory memory;
    sim::EngineModel engine{memory, clock, 7};
    sim::RequestHandler handler{memory, engine};
    sim::FaultOptions faults;
    sim::ReplyShaper shaper{faults, 5};

private:
    sim::LineBuffer m_lines;
    sim::Console m_console{memory, engine, faults, shaper};
    bool m_plugged = true;
};

}  // namespace tarsyn::test
