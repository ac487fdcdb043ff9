#pragma once

#include <QStringList>
#include <memory>

#include "SimProcess.h"
#include "link/Clock.h"
#include "link/ControllerLink.h"
#include "link/QtSerialPort.h"

namespace tarsyn::test {

/// A virtual controller on a pseudo-terminal with the program's own port and link open on it: the
/// end-to-end fixture of every suite that talks to `tarsyn-sim`.
///
///     SimLink sim;
///     QVERIFY(sim.start({"--alarm"}));
///     sim.link().Transaction("000400060030", 106, 250);
class SimLink {
public:
    /// Starts the simulator with `args` and opens the port on its device. False (with a warning)
    /// when the simulator does not start or the port does not open.
    bool start(const QStringList& args = {}) {
        if (!m_sim.start(args)) return false;
        m_port.setPortName(m_sim.devicePath());
        try {
            m_port.OpenPort();
        } catch (const std::exception& e) {
            qWarning("SimLink: cannot open %s: %s", qPrintable(m_sim.devicePath()), e.what());
            return false;
        }
        return m_port.Connected();
    }

    SimProcess& sim() { return m_sim; }
    link::QtSerialPort& port() { return m_port; }
    link::ControllerLink& link() { return m_link; }
    /// Real waits: the pseudo-terminal needs the time a controller would.
    link::ThreadSleeper& sleeper() { return m_sleeper; }

private:
    SimProcess m_sim;
    link::QtSerialPort m_port;
    link::ThreadSleeper m_sleeper;
    link::ControllerLink m_link{m_port, m_sleeper};
};

}  // namespace tarsyn::test
