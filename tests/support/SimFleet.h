#pragma once

#include <QDebug>
#include <memory>
#include <vector>

#include "Console.h"
#include "ControllerMemory.h"
#include "EngineModel.h"
#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "ReplyShaper.h"
#include "RequestHandler.h"
#include "config/LiveSettings.h"

namespace tarsyn::test {

/// Several virtual controllers in-process, each on a port of its own ("sim0", "sim1"…) behind one
/// FakeSerialPort: a line written while the port bears a controller's name is served by that
/// controller's request handler, shaped by its line faults. The rotation of the poll cycle walks from
/// one to the next; no real time passes. Link the test with tarsyn_simcore.
///
///     SimFleet fleet(3);                  // running, steady readings
///     fleet.command(1, "alarm on");       // the second controller's console
///     fleet.silence(2);                   // the third no longer answers
class SimFleet {
public:
    /// How each controller starts, as SimPort::Start.
    enum Start { Stopped = 0, Running = 1, Steady = 2 };

    explicit SimFleet(int count, int start = Running | Steady) {
        for (int i = 0; i < count; ++i) {
            auto c = std::make_unique<Controller>(clock, quint32(i + 1));
            c->memory.loadFactoryImage();
            c->engine.setSteady(start & Steady);
            if (start & Running) c->engine.startRunning();
            c->engine.refresh();
            m_controllers.push_back(std::move(c));
        }
        port.canOpen = [this](const QString& name) { return index(name) >= 0; };
        port.onWrite = [this](const QString& frame) {
            const int i = index(port.portName());
            if (i < 0) return;
            Controller& c = *m_controllers[size_t(i)];
            for (const QByteArray& line : c.lines.feed(frame.toLatin1())) {
                const sim::Reply reply = c.handler.handle(c.shaper.redirect(line));
                if (reply.answered) port.arrive(QString::fromLatin1(c.shaper.shape(reply.text)));
            }
        };
    }

    static QString portName(int i) { return QStringLiteral("sim%1").arg(i); }
    /// The port list of the settings window: one entry per controller, remark "Set N" (from 1).
    QVector<config::PortEntry> portList() const {
        QVector<config::PortEntry> list;
        for (int i = 0; i < int(m_controllers.size()); ++i)
            list.append({portName(i), QStringLiteral("Set %1").arg(i + 1), QString()});
        return list;
    }

    /// A line typed on controller `i`'s console ("alarm on", "line silent on"), in force at once.
    bool command(int i, const QString& line) {
        Controller& c = *m_controllers[size_t(i)];
        QString said;
        const auto outcome = c.console.run(line.toLocal8Bit(), clock.now(), &said);
        if (outcome == sim::Console::Outcome::Unknown) qWarning() << "SimFleet: unknown command" << line;
        return outcome == sim::Console::Outcome::Done;
    }
    /// Controller `i` stops answering (its line stays, as a set whose controller hangs).
    void silence(int i) { command(i, QStringLiteral("line silent on")); }

    sim::EngineModel& engine(int i) { return m_controllers[size_t(i)]->engine; }

    FakeClock clock;
    FakeSerialPort port;

private:
    struct Controller {
        Controller(FakeClock& clock, quint32 seed) : engine(memory, clock, seed), shaper(faults, seed) {}
        sim::ControllerMemory memory;
        sim::EngineModel engine;
        sim::RequestHandler handler{memory, engine};
        sim::FaultOptions faults;
        sim::ReplyShaper shaper;
        sim::LineBuffer lines;
        sim::Console console{memory, engine, faults, shaper};
    };
    int index(const QString& name) const {
        for (int i = 0; i < int(m_controllers.size()); ++i)
            if (portName(i) == name) return i;
        return -1;
    }
    std::vector<std::unique_ptr<Controller>> m_controllers;
};

}  // namespace tarsyn::test
