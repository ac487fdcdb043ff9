#pragma once

#include <QString>

namespace tarsyn::monitor {

/// How the table of the live fields is written: a Markdown table (the README) or an scdoc table
/// (the man page).
enum class FieldTableFormat { Markdown, Scdoc };

/// The table of every key a reading's JSON (and the broker's state message) carries, from the
/// live-field table itself: the member it sits in (`values` or `delays`), the key, the panel that
/// shows it, the unit, the scale of the controller's number (1, 0.1, 0.01) and the physical range
/// outside which a reply is refused. The README and the man page hold this text; a test compares them.
QString FieldTable(FieldTableFormat format);

}  // namespace tarsyn::monitor
