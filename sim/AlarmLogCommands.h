#pragma once

#include <QDateTime>
#include <QString>

#include "ControllerMemory.h"

namespace tarsyn::sim {

/// Replaces the alarm log with `count` records (0-255): codes 01 to 20 in turn, a little over five
/// days apart from 2009-01-01 08:00:00, so that every page of a full log can be checked by eye.
void SeedAlarmLog(ControllerMemory& memory, int count);

/// The console's alarm log commands; true when `line` was one of them (then `reply` may hold a
/// message for standard error):
///   fault XX    adds a record with the hexadecimal code XX (01-FF) and the time `now`
///   log N       replaces the log with N records (0-255), as --alarm-log does
bool AlarmLogCommand(const QString& line, ControllerMemory& memory, const QDateTime& now, QString* reply);

}  // namespace tarsyn::sim
