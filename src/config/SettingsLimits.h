#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace tarsyn::config {

class Config;

/// Bounds of the numbers of section Set that keep polling and recording going. A refresh of 0 would
/// move on before any reply; the hour table keeps one hour and the day table one day, so a longer
/// interval leaves them empty; a port count is a list the operator can read.
inline constexpr qint64 kMinRefreshSeconds = 1;
inline constexpr qint64 kMaxRefreshSeconds = 3600;
inline constexpr qint64 kMaxHourIntervalSeconds = 3600;  ///< "save1", table "nls"
inline constexpr qint64 kMaxDayIntervalMinutes = 1440;   ///< "save2", table "24xs"
inline constexpr qint64 kMaxPorts = 64;
/// Longest password, in characters; the hash is taken over its code-page bytes.
inline constexpr int kMaxPasswordLength = 30;

/// Whole non-negative decimal number that fits in 32 bits; nullopt for anything else ("", "1.5", "-3").
std::optional<qint64> WholeNumber(const QString& text);

/// True when `text` is a whole number from `min` to `max`.
bool WholeNumberWithin(const QString& text, qint64 min, qint64 max);

/// The start check of the numbers of section Set, after the check value has passed: empty when
/// "flash", "save1", "save2" and "ports" are whole numbers within their bounds; otherwise the file,
/// the key, its value, the allowed range and what to do.
QString SettingsRangeProblem(const Config& config);

}  // namespace tarsyn::config
