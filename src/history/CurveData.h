#pragma once

#include <QDateTime>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

#include "history/HistoryColumns.h"

namespace tarsyn::history {

/// The two charts of the curves window: the last 24 hours from "24xs" in minutes, the last hour from
/// "nls" in seconds.
enum class ChartKind { Day, Hour };

/// One selectable channel: the catalogue key of the main window's label that names it, and the unit
/// shown beside both charts (empty for the oil level reading and the power factor).
struct CurveChannel {
    const char* key;
    const char* unit;
};

inline constexpr int kChannelCount = 20;

/// Channel i is plotted from column "sj" + (i + 1).
const std::array<CurveChannel, kChannelCount>& curveChannels();

/// "sj1"…"sj20" for 0…19; empty for anything else.
QString channelColumn(int channel);

/// The unit of channel 0…19; empty outside that range.
QString channelUnit(int channel);

/// The channel an editable channel box stands for: `currentIndex` when its entry is what the box shows,
/// else the first entry equal to `text`, else -1 (typed text that names no channel).
int matchChannel(const QStringList& entries, int currentIndex, const QString& text);

/// round(v): to the nearest integer, halves to the even neighbour.
int roundHalfEven(double v);

/// The top of the y axis for a maximum: the larger of round(1.2 · max) and round(max) + 2.
int axisTop(double maximum);

/// The table a chart reads, its span and its unit of x.
HistoryTable chartTable(ChartKind kind);
/// 23:59:59 for the day chart, 01:00:00 for the hour chart.
qint64 chartSpanSeconds(ChartKind kind);
/// 60 (minutes) or 1 (seconds).
qint64 chartUnitSeconds(ChartKind kind);

/// Seconds of a wall-clock date and time on one continuous count (days × 86400 + seconds of the
/// day), so that differences are plain subtractions without a time zone.
qint64 wallSeconds(const QDate& date, const QTime& time);

/// Reads "yyyy-MM-dd HH:mm:ss" as wallSeconds; false when the text is not such a time.
bool stampSeconds(const QString& text, qint64* seconds);

/// Everything one chart shows, as the query leaves it for the labels and the drawing: the points
/// (x in whole time units from the start, y the value) and the summary of the rows read.
struct ChartData {
    ChartKind kind = ChartKind::Day;
    QDateTime now;    ///< the query's now, whole seconds
    QDateTime start;  ///< now − the chart's span
    QVector<QPointF> points;
    int maximum = 0;  ///< rounded; 0 without rows
    int minimum = 0;  ///< rounded; 0 without rows
    int maximumX = 0;
    int minimumX = 0;
    QString maximumTime;  ///< "HH:mm:ss" of the earliest row with the maximum, else of the start
    QString minimumTime;
    int top = 2;     ///< axis top
    int xRange = 0;  ///< whole time units from start to now
};

/// The chart of `rows` (in "sj" order) read at `now`: points and summary. The maximum starts at
/// −0.0001 and the minimum at one million, each replaced only by a strictly greater or smaller value
/// (so the earliest of equal extremes wins); a minimum still at one million becomes 0. Raises
/// HistoryError when a row's "sj" is not a time.
ChartData buildChart(ChartKind kind, const QDateTime& now, const QVector<HistoryPoint>& rows);

/// The texts around a chart: y labels (top, half the top with one decimal, "0"), the five x labels
/// (start, quarters, now) and the rounded minimum and maximum.
struct ChartLabels {
    QString top;
    QString middle;
    QString bottom;
    std::array<QString, 5> x;
    QString minimum;
    QString maximum;
};
ChartLabels chartLabels(const ChartData& chart);

}  // namespace tarsyn::history
