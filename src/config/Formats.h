#pragma once

#include <QString>

namespace tarsyn::config {

/// The date and time formats the program shows and prints with. The program uses them itself; it
/// never changes the user's regional settings.
inline const QString kShortDateFormat = QStringLiteral("yyyy-MM-dd");
inline const QString kLongDateFormat = QStringLiteral("yyyy'年'M'月'd'日'");
inline const QString kTimeFormat = QStringLiteral("HH:mm:ss");

}  // namespace tarsyn::config
