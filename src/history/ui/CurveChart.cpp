#include "history/ui/CurveChart.h"

#include <QFont>
#include <QPainter>
#include <QPen>
#include <algorithm>

namespace tarsyn::history {

namespace {

class Canvas {
public:
    explicit Canvas(QImage& image) : m_painter(&image) {
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        m_painter.setRenderHint(QPainter::TextAntialiasing, false);
    }
    void pen(QRgb colour, int width) {
        QPen p{QColor::fromRgb(colour)};
        p.setWidth(width);
        // Wide pens end round, as the lines of a desktop canvas do; a 1-pixel pen covers its end points.
        p.setCapStyle(width > 1 ? Qt::RoundCap : Qt::SquareCap);
        p.setJoinStyle(Qt::RoundJoin);
        m_painter.setPen(p);
    }
    void line(int x1, int y1, int x2, int y2) { m_painter.drawLine(x1, y1, x2, y2); }
    QPainter& painter() { return m_painter; }

private:
    QPainter m_painter;
};

void drawGrid(Canvas& c, int W, int H) {
    const QRgb axis = kChartAxis;
    c.pen(axis, 6);  // left and bottom axes
    c.line(0, 0, 0, H);
    c.line(0, H, W, H);

    const int mid = roundHalfEven(H / 2.0);
    c.pen(axis, 3);
    c.line(0, mid, 6, mid);
    c.pen(axis, 1);
    c.line(6, mid, W, mid);
    c.line(0, roundHalfEven(H / 4.0), W, roundHalfEven(H / 4.0));
    c.line(0, roundHalfEven(3.0 * H / 4.0), W, roundHalfEven(3.0 * H / 4.0));

    c.pen(axis, 3);  // tick at the top of the y axis
    c.line(0, 1, 6, 1);

    for (double fraction : {0.25, 0.5, 0.75}) {
        const int x = roundHalfEven(W * fraction);
        c.pen(axis, 3);
        c.line(x, H, x, H - 6);
        c.pen(axis, 1);
        c.line(x, H - 6, x, 0);
    }
    c.pen(axis, 3);  // tick at the right end
    c.line(W - 2, H, W - 2, H - 6);

    c.pen(axis, 1);
    for (int k : {1, 2, 4, 5, 7, 8, 10, 11}) {
        const int x = roundHalfEven(k * W / 12.0);
        c.line(x, 0, x, H);
    }
    c.line(W - 2, 0, W - 2, H);
}

void drawCurve(Canvas& c, const ChartData& chart, int W, int H, int xRange) {
    c.pen(kChartCurve, 1);
    const bool hour = chart.kind == ChartKind::Hour;
    QPoint previous;
    for (int i = 0; i < chart.points.size(); ++i) {
        const QPointF& p = chart.points.at(i);
        int column = roundHalfEven(W * p.x() / xRange);
        const int row = roundHalfEven(H - H * p.y() / chart.top - 2);
        if (hour && i > 0 && column - 2 > 0) column -= 2;
        const QPoint here(column, row);
        if (i > 0) c.line(previous.x(), previous.y(), here.x(), here.y());
        previous = here;
    }
}

void drawMarker(Canvas& c, const ChartData& chart, int W, int H, int xRange, int value, int x,
                const QString& time) {
    const bool hour = chart.kind == ChartKind::Hour;
    const double level = H - double(H * value) / chart.top;  // H·M as a whole product first
    const int column = roundHalfEven(double(W) * x / xRange);
    const int markerX = hour ? column - 1 : column;
    c.pen(kChartCurve, 6);
    c.line(markerX, roundHalfEven(level - 2), markerX, roundHalfEven(level - 3));

    int textX = column - 20;
    if (textX < 8) textX = 8;
    // Never past the chart's right edge, whatever the font makes of "12:35:58".
    const int rightmost =
        std::min(W - (hour ? 56 : 48), W - 2 - c.painter().fontMetrics().horizontalAdvance(time));
    if (textX > rightmost) textX = rightmost;
    const int textY = roundHalfEven(level - 20);
    // The text's top-left corner sits at (textX, textY), as a canvas writes text.
    c.painter().setPen(Qt::black);
    c.painter().drawText(QRect(textX, textY, W, H), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, time);
}

}  // namespace

QImage drawChart(const ChartData& chart, QSize size) {
    const int W = size.width();
    const int H = size.height();
    QImage image(size, QImage::Format_RGB32);
    image.fill(kChartBackground);
    Canvas c(image);
    QFont font = c.painter().font();
    font.setPointSize(9);
    font.setStyleStrategy(QFont::NoAntialias);
    c.painter().setFont(font);

    // A query at the very start of its window has no range yet; one unit keeps the mapping finite.
    const int xRange = chart.xRange > 0 ? chart.xRange : 1;
    drawGrid(c, W, H);
    drawCurve(c, chart, W, H, xRange);
    if (chart.kind == ChartKind::Hour || !chart.points.isEmpty()) {
        drawMarker(c, chart, W, H, xRange, chart.maximum, chart.maximumX, chart.maximumTime);
        drawMarker(c, chart, W, H, xRange, chart.minimum, chart.minimumX, chart.minimumTime);
    }
    return image;
}

}  // namespace tarsyn::history
