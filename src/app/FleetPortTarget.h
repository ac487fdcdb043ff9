#pragma once

#include "app/core/PortSelection.h"
#include "fleet/FleetModel.h"
#include "monitor/PollCycle.h"

namespace tarsyn::app {

/// Where a double-click in the fleet window takes the line: the port dialog's own "指定" on the
/// entry, and not while another exchange has stopped the poll to use the line (the state in which
/// the port dialog cannot be reached either, its modal window being open).
class FleetPortTarget : public fleet::FleetTarget {
public:
    FleetPortTarget(monitor::PollCycle& poll, PortSelection& selection)
        : m_poll(poll), m_selection(selection) {}
    bool lineBusy() const override { return !m_poll.timer().isActive(); }
    void selectEntry(int entry, const QString& port) override { m_selection.apply(entry, port); }

private:
    monitor::PollCycle& m_poll;
    PortSelection& m_selection;
};

}  // namespace tarsyn::app
