#pragma once

namespace tarsyn::cli {

class Session;

/// One poll of the live block (the 21 readings and the 32 indicators) and the delay block, as the
/// main window's cycle makes it, printed as a table with units or, with `json`, as one JSON object.
/// With `watch` it polls again every `intervalSeconds` and prints each poll as it comes (one JSON
/// object a line), until the tool is stopped; a poll without an answer is printed as not linked.
/// With `stats` each poll is followed by the line's counters since the tool started and for the last
/// hour.
int Live(Session& session, bool json, bool watch, int intervalSeconds, bool stats);

}  // namespace tarsyn::cli
