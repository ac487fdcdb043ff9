#include "history/CurveData.h"

#include <cmath>

#include "history/HistoryStore.h"

namespace tarsyn::history {

namespace {

const QString kClockFormat = QStringLiteral("HH:mm:ss");

constexpr double kInitialMaximum = -0.0001;
constexpr double kInitialMinimum = 1000000.0;

}  // namespace

const std::array<CurveChannel, kChannelCount>& curveChannels() {
    // The names are the main window's live-value labels in the current catalogue.
    static const std::array<CurveChannel, kChannelCount> kChannels = {{
        {"lbl11.Caption", "V"},    // generator voltage A
        {"lbl12.Caption", "V"},    // generator voltage B
        {"lbl13.Caption", "V"},    // generator voltage C
        {"lbl14.Caption", "A"},    // current A
        {"lbl15.Caption", "A"},    // current B
        {"lbl16.Caption", "A"},    // current C
        {"lbl17.Caption", "V"},    // battery voltage
        {"lbl21.Caption", "HZ"},   // mains frequency
        {"lbl22.Caption", "HZ"},   // generator frequency
        {"lbl23.Caption", "PRM"},  // engine speed
        {"lbl24.Caption", "C"},    // water temperature
        {"lbl25.Caption", "C"},    // water temperature 2
        {"lbl26.Caption", "Kpa"},  // oil pressure
        {"lbl27.Caption", "Kpa"},  // oil pressure 2
        {"lbl31.Caption", "KW"},   // power
        {"lbl32.Caption", ""},     // oil temperature / oil level reading
        {"lbl33.Caption", ""},     // power factor
        {"lbl34.Caption", "V"},    // mains voltage A
        {"lbl35.Caption", "V"},    // mains voltage B
        {"lbl36.Caption", "V"},    // mains voltage C
    }};
    return kChannels;
}

QString channelColumn(int channel) {
    if (channel < 0 || channel >= kChannelCount) return QString();
    return QStringLiteral("sj%1").arg(channel + 1);
}

QString channelUnit(int channel) {
    if (channel < 0 || channel >= kChannelCount) return QString();
    return QString::fromLatin1(curveChannels()[size_t(channel)].unit);
}

int matchChannel(const QStringList& entries, int currentIndex, const QString& text) {
    if (currentIndex >= 0 && currentIndex < entries.size() && entries.at(currentIndex) == text)
        return currentIndex;
    return int(entries.indexOf(text));
}

int roundHalfEven(double v) {
    const double r = std::round(v);
    // std::round takes halves away from zero; step back to the even neighbour.
    if (std::fabs(v - std::trunc(v)) == 0.5 && std::fmod(r, 2.0) != 0.0)
        return int(r - std::copysign(1.0, v));
    return int(r);
}

int axisTop(double maximum) { return qMax(roundHalfEven(1.2 * maximum), roundHalfEven(maximum) + 2); }

HistoryTable chartTable(ChartKind kind) {
    return kind == ChartKind::Day ? HistoryTable::Day : HistoryTable::Hour;
}

qint64 chartSpanSeconds(ChartKind kind) { return kind == ChartKind::Day ? 86399 : 3600; }

qint64 chartUnitSeconds(ChartKind kind) { return kind == ChartKind::Day ? 60 : 1; }

qint64 wallSeconds(const QDate& date, const QTime& time) {
    return date.toJulianDay() * 86400 + time.msecsSinceStartOfDay() / 1000;
}

bool stampSeconds(const QString& text, qint64* seconds) {
    // Hand-read, and without the time zone: a query converts thousands of these, and a local-time
    // QDateTime would consult the zone files for every one of them.
    if (text.size() != 19) return false;
    const QChar* c = text.constData();
    auto number = [c](int from, int length, int* value) {
        int v = 0;
        for (int i = from; i < from + length; ++i) {
            const char16_t d = c[i].unicode();
            if (d < u'0' || d > u'9') return false;
            v = v * 10 + int(d - u'0');
        }
        *value = v;
        return true;
    };
    int y, mo, d, h, mi, s;
    if (!number(0, 4, &y) || c[4] != u'-' || !number(5, 2, &mo) || c[7] != u'-' || !number(8, 2, &d) ||
        c[10] != u' ' || !number(11, 2, &h) || c[13] != u':' || !number(14, 2, &mi) || c[16] != u':' ||
        !number(17, 2, &s))
        return false;
    const QDate date(y, mo, d);
    const QTime time(h, mi, s);
    if (!date.isValid() || !time.isValid()) return false;
    *seconds = wallSeconds(date, time);
    return true;
}

ChartData buildChart(ChartKind kind, const QDateTime& now, const QVector<HistoryPoint>& rows) {
    ChartData chart;
    chart.kind = kind;
    chart.now = now;
    chart.start = now.addSecs(-chartSpanSeconds(kind));
    const qint64 unit = chartUnitSeconds(kind);
    // Offsets from the start as differences of wall-clock times, as the texts hold them.
    const qint64 startSecs = wallSeconds(chart.start.date(), chart.start.time());
    const QString startText = chart.start.toString(kClockFormat);

    double maximum = kInitialMaximum;
    double minimum = kInitialMinimum;
    const QString* maximumTime = &startText;  // the row's own text, cut to "HH:mm:ss" at the end
    const QString* minimumTime = &startText;
    double maximumX = 0;
    double minimumX = 0;
    chart.points.reserve(rows.size());
    for (const HistoryPoint& row : rows) {
        qint64 t = 0;
        if (!stampSeconds(row.sj, &t))
            throw HistoryError(QStringLiteral("History table \"%1\": \"%2\" is not a valid time")
                                   .arg(tableName(chartTable(kind)), row.sj));
        const double x = double((t - startSecs) / unit);  // truncated
        const double y = row.value;
        chart.points.append(QPointF(x, y));
        if (y > maximum) {
            maximum = y;
            maximumTime = &row.sj;
            maximumX = x;
        }
        if (y < minimum) {
            minimum = y;
            minimumTime = &row.sj;
            minimumX = x;
        }
    }
    if (minimum == kInitialMinimum) minimum = 0;

    chart.maximum = roundHalfEven(maximum);
    chart.minimum = roundHalfEven(minimum);
    chart.maximumX = int(maximumX);
    chart.minimumX = int(minimumX);
    chart.maximumTime = maximumTime == &startText ? startText : maximumTime->mid(11, 8);
    chart.minimumTime = minimumTime == &startText ? startText : minimumTime->mid(11, 8);
    chart.top = axisTop(maximum);
    chart.xRange = int((wallSeconds(now.date(), now.time()) - startSecs) / unit);
    return chart;
}

ChartLabels chartLabels(const ChartData& chart) {
    ChartLabels labels;
    labels.top = QString::number(chart.top);
    labels.middle = QString::number(chart.top / 2.0, 'f', 1);
    labels.bottom = QStringLiteral("0");
    // Back from now: the start, the three quarters, now.
    static const qint64 kDayBack[5] = {86399, 64799, 43199, 21599, 0};
    static const qint64 kHourBack[5] = {3600, 2700, 1800, 900, 0};
    const qint64* back = chart.kind == ChartKind::Day ? kDayBack : kHourBack;
    for (int i = 0; i < 5; ++i) labels.x[size_t(i)] = chart.now.addSecs(-back[i]).toString(kClockFormat);
    labels.minimum = QString::number(chart.minimum);
    labels.maximum = QString::number(chart.maximum);
    return labels;
}

}  // namespace tarsyn::history
