#pragma once

#include <QString>

namespace tarsyn::sim {

/// Whether a --link path is still served: the process id of another running tarsyn-sim that holds
/// the device the link points at, or 0 (no link, a dangling one, or a device nobody simulates).
/// A simulator keeps its own device open for its whole run, so its /proc fd list names it.
qint64 simulatorServingLink(const QString& linkPath);

}  // namespace tarsyn::sim
