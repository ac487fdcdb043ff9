#include <QtTest>

#include "history/ui/CurveChart.h"

using namespace tarsyn::history;

namespace {

// W = 627, H = 133. Rounded with halves to even: H/4 = 33, H/2 = 66, 3H/4 = 100; W/4 = 157,
// W/2 = 314, 3W/4 = 470; k·W/12 = 52, 104, 209, 261, 366, 418, 522, 575; W − 2 = 625.
constexpr int W = 627;
constexpr int H = 133;

const QRgb kBlack = 0xff000000;

QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xff000000; }

/// A chart summary made by hand, so that the drawing is checked on its own.
ChartData chart(ChartKind kind, QVector<QPointF> points, int maximum, int maximumX, int minimum,
                int minimumX) {
    ChartData c;
    c.kind = kind;
    c.now = QDateTime(QDate(2026, 3, 1), QTime(12, 0, 0));
    c.start = c.now.addSecs(kind == ChartKind::Day ? -86399 : -3600);
    c.points = std::move(points);
    c.maximum = maximum;
    c.maximumX = maximumX;
    c.minimum = minimum;
    c.minimumX = minimumX;
    c.maximumTime = QStringLiteral("10:20:30");
    c.minimumTime = QStringLiteral("01:02:03");
    c.top = axisTop(maximum);
    c.xRange = kind == ChartKind::Day ? 1439 : 3600;
    return c;
}

/// Leftmost and rightmost columns with a black (text) pixel in rows [top, bottom); -1 when none.
QPair<int, int> textColumns(const QImage& image, int top, int bottom) {
    int left = -1, right = -1;
    for (int y = qMax(0, top); y < qMin(image.height(), bottom); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (at(image, x, y) == kBlack) {
                if (left < 0 || x < left) left = x;
                right = qMax(right, x);
            }
    return {left, right};
}

int countColour(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += at(image, x, y) == colour;
    return n;
}

}  // namespace

/// Both charts drawn into images and read back pixel by pixel.
class TestCurveChart : public QObject {
    Q_OBJECT

private slots:
    void gridAxesAndTicks_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("day") << int(ChartKind::Day);
        QTest::newRow("hour") << int(ChartKind::Hour);
    }
    void gridAxesAndTicks() {
        QFETCH(int, kind);
        const QImage image = drawChart(chart(ChartKind(kind), {}, 0, 0, 0, 0));
        QCOMPARE(image.size(), QSize(W, H));
        const QRgb bg = kChartBackground, axis = kChartAxis;
        QCOMPARE(bg, qRgb(204, 204, 204));
        QCOMPARE(axis, qRgb(102, 0, 255));
        QCOMPARE(at(image, 300, 20), bg);
        QCOMPARE(at(image, 600, 120), bg);
        // Left axis (6 wide on x = 0) and bottom axis (6 wide on y = H).
        QCOMPARE(at(image, 0, 45), axis);
        QCOMPARE(at(image, 2, 45), axis);
        QCOMPARE(at(image, 4, 45), bg);
        QCOMPARE(at(image, 300, H - 1), axis);
        QCOMPARE(at(image, 300, H - 3), axis);
        QCOMPARE(at(image, 300, H - 5), bg);
        // Horizontal grid lines, one pixel high, full width.
        for (int y : {33, 66, 100}) {
            QCOMPARE(at(image, 300, y), axis);
            QCOMPARE(at(image, 300, y - 1), bg);
            QCOMPARE(at(image, 300, y + 1), bg);
            QCOMPARE(at(image, W - 1, y), axis);
        }
        // Vertical grid lines, one pixel wide, full height.
        for (int x : {52, 104, 157, 209, 261, 314, 366, 418, 470, 522, 575, 625}) {
            QCOMPARE(at(image, x, 20), axis);
            QCOMPARE(at(image, x - 1, 20), bg);
            QCOMPARE(at(image, x + 1, 20), bg);
            QCOMPARE(at(image, x, 0), axis);
        }
        QCOMPARE(at(image, 313, 20), bg);  // W/2 = 313.5 goes to the even 314
        // Ticks three pixels wide: at the top and middle of the y axis, at the quarters and the right end.
        QCOMPARE(at(image, 5, 2), axis);
        QCOMPARE(at(image, 5, 65), axis);
        QCOMPARE(at(image, 5, 67), axis);
        QCOMPARE(at(image, 10, 65), bg);  // the middle line goes on one pixel high
        for (int x : {157, 314, 470, 625}) {
            QCOMPARE(at(image, x - 1, H - 5), axis);
            QCOMPARE(at(image, x + 1, H - 5), axis);
            QCOMPARE(at(image, x - 1, H - 12), bg);
        }
    }

    void curveFollowsTheMapping() {
        // Day: x 700 → 627·700/1439 = 305.0, x 800 → 348.6 → 349; y 50 of top 120 → 133 − 55.4 − 2 → 76.
        const QImage day = drawChart(chart(ChartKind::Day, {{700, 50}, {800, 50}}, 100, 1439, 0, 0));
        QCOMPARE(at(day, 330, 76), kChartCurve);
        QCOMPARE(at(day, 349, 76), kChartCurve);
        QCOMPARE(at(day, 350, 76), kChartBackground);
        QCOMPARE(at(day, 330, 75), kChartBackground);
        QCOMPARE(at(day, 330, 77), kChartBackground);
        // Hour: x 1800 → 313.5 → 314, x 1900 → 330.9 → 331, moved 2 left to 329.
        const QImage hour = drawChart(chart(ChartKind::Hour, {{1800, 50}, {1900, 50}}, 100, 3600, 0, 3600));
        QCOMPARE(at(hour, 320, 76), kChartCurve);
        QCOMPARE(at(hour, 329, 76), kChartCurve);
        QCOMPARE(at(hour, 330, 76), kChartBackground);
        QCOMPARE(at(hour, 331, 76), kChartBackground);
    }

    void hourShiftKeepsColumnsRightOfZero() {
        // Points at x 0 (first, never moved), 12 (column 2: moving it would reach 0, so it stays) and
        // 3600 (column 627 → 625); values 100 of top 120 → row 20.
        const QImage hour =
            drawChart(chart(ChartKind::Hour, {{0, 100}, {12, 100}, {1200, 100}}, 100, 3600, 100, 3600));
        // 1200 → 209 → 207: the line runs from column 2 to 207 on row 20, ending before 208.
        QCOMPARE(at(hour, 2, 20), kChartCurve);
        QCOMPARE(at(hour, 100, 20), kChartCurve);
        QCOMPARE(at(hour, 207, 20), kChartCurve);
        QCOMPARE(at(hour, 208, 20), kChartBackground);
    }

    void valuesAboveTheTopAreClipped() {
        const QImage day = drawChart(chart(ChartKind::Day, {{0, 500}, {1439, 500}}, 10, 700, 10, 700));
        // Row 133 − 133·500/12 − 2 is far above the image: no curve pixel except the markers.
        for (int x = 20; x < 250; ++x)
            for (int y = 0; y < H; ++y) QVERIFY(at(day, x, y) != kChartCurve);
    }

    void markersAtMaximumAndMinimum() {
        // Day: maximum 100 (top 120) at x 700 → column 305, rows round(133 − 13300/120 − 2) = 20 and 19;
        // minimum 0 at x 1439 → column 627, rows 131 and 130.
        const QImage day = drawChart(chart(ChartKind::Day, {{700, 100}, {1439, 0}}, 100, 700, 0, 1439));
        for (QPoint p : {QPoint(305, 19), QPoint(305, 20), QPoint(303, 20), QPoint(307, 19)})
            QCOMPARE(at(day, p.x(), p.y()), kChartCurve);
        QCOMPARE(at(day, 305, 26), kChartBackground);
        QCOMPARE(at(day, 312, 20), kChartBackground);
        QCOMPARE(at(day, 625, 130), kChartCurve);
        // Hour: the marker stands one column further left (X − 1).
        const QImage hour = drawChart(chart(ChartKind::Hour, {{1800, 100}}, 100, 1800, 100, 1800));
        QCOMPARE(at(hour, 313, 19), kChartCurve);
        QCOMPARE(at(hour, 310, 20), kChartCurve);
        QCOMPARE(at(hour, 317, 20), kChartBackground);
        QCOMPARE(at(day, 302, 20), kChartCurve);
        QCOMPARE(at(day, 309, 20), kChartBackground);
    }

    void timeTextsStayInside_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("rightmostStart");
        QTest::newRow("day: W - 48") << int(ChartKind::Day) << W - 48;
        QTest::newRow("hour: W - 56") << int(ChartKind::Hour) << W - 56;
    }
    void timeTextsStayInside() {
        QFETCH(int, kind);
        QFETCH(int, rightmostStart);
        const int xRange = kind == int(ChartKind::Day) ? 1439 : 3600;
        // Maximum 100 at the right end (text from 627 − 20 = 607, pulled back), minimum 0 at the left
        // end (text from −20, pushed to 8). Text rows: round(133 − 110.8 − 20) = 2 and 113.
        const QImage image =
            drawChart(chart(ChartKind(kind), {{0, 0}, {double(xRange), 100}}, 100, xRange, 0, 0));
        const auto maxText = textColumns(image, 0, 30);
        // At the rule's column, or further left where the font makes the time wider than the room
        // the rule leaves: the whole time is inside the chart, its last column before the edge
        // ("12:35:5" was cut).
        QVERIFY2(maxText.first <= rightmostStart + 3 && maxText.first >= rightmostStart - 24,
                 qPrintable(QString::number(maxText.first)));
        QVERIFY2(maxText.second < W - 1, qPrintable(QString::number(maxText.second)));
        const auto minText = textColumns(image, 100, H);
        QVERIFY2(minText.first >= 8 && minText.first <= 11, qPrintable(QString::number(minText.first)));
        // Away from the ends the text starts 20 columns left of the marker: x 1800 of 3600 → 314 − 20.
        if (kind == int(ChartKind::Hour)) {
            const QImage mid = drawChart(chart(ChartKind::Hour, {{1800, 100}}, 100, 1800, 100, 1800));
            const auto t = textColumns(mid, 0, 30);
            QVERIFY2(t.first >= 294 && t.first <= 297, qPrintable(QString::number(t.first)));
        }
    }

    void emptyDayChartHasNoMarkersEmptyHourChartHas() {
        const QImage day = drawChart(chart(ChartKind::Day, {}, 0, 0, 0, 0));
        QCOMPARE(countColour(day, kChartCurve), 0);
        QCOMPARE(countColour(day, kBlack), 0);
        // The hour chart marks its start time near the lower left corner: row 133 − 0 − 20 = 113.
        ChartData empty = chart(ChartKind::Hour, {}, 0, 0, 0, 0);
        empty.maximumTime = empty.minimumTime = QStringLiteral("11:00:00");
        const QImage hour = drawChart(empty);
        QVERIFY(countColour(hour, kChartCurve) > 0);
        QCOMPARE(at(hour, 1, 129), kChartCurve);
        const auto t = textColumns(hour, 100, H);
        QVERIFY(t.first >= 8 && t.first <= 11);
        QCOMPARE(textColumns(hour, 0, 100).first, -1);
    }
};

QTEST_MAIN(TestCurveChart)
#include "tst_curveChart.moc"
