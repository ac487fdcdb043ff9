#pragma once

#include "ControllerMemory.h"
#include "EngineModel.h"
#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "ReplyShaper.h"
#include "RequestHandler.h"

namespace tarsyn::test {

/// The virtual controller in-process behind a FakeSerialPort: every line the program writes is
/// served by the simulator's own request handler, and the reply, shaped by the simulator's line
/// faults, "arrives" at once. No pseudo-terminal, no real time: the program's sleeper and clock stay
/// fake. Link the test with tarsyn_simcore.
///
///     SimPort sim;                       // factory memory, engine running, steady readings
///     sim.faults.changedDigit = true;    // then sim.applyFaults()
class SimPort {
public:
    SimPort() {
        memory.loadFactoryImage();
        engine.setSteady(true);
        engine.startRunning();
        engine.refresh();
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

    FakeClock clock;
    FakeSerialPort port;
    sim::ControllerMemory memory;
    sim::EngineModel engine{memory, clock, 7};
    sim::RequestHandler handler{memory, engine};
    sim::FaultOptions faults;
    sim::ReplyShaper shaper{faults, 5};

private:
    sim::LineBuffer m_lines;
};

}  // namespace tarsyn::test
