#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include "history/HistoryColumns.h"

namespace tarsyn::history {

class CurveQuery;

/// The CSV text of one channel's rows: UTF-8 with a byte-order mark (so that spreadsheet programs
/// read remarks in any script), CRLF line ends, a header row "chart,time,value,port", then the hour
/// rows ("hour") and the day rows ("day") in time order. Times are the stored local-time texts;
/// values are written in the shortest form that reads back the same; a field with a comma, quote or
/// line break is quoted.
QByteArray curveCsv(const QVector<HistoryPoint>& hourRows, const QVector<HistoryPoint>& dayRows,
                    const QString& port);

/// Reads the hour and day rows of `channel` for `port` inside each chart's window (nothing is purged)
/// and writes them to `path`, replacing it only once complete. False with `error` set on a database
/// or file failure; raises nothing.
bool exportCurveCsv(CurveQuery& query, const QString& port, int channel, const QString& path, QString* error);

}  // namespace tarsyn::history
