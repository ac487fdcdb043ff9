#pragma once

#include <QImage>
#include <QSize>

#include "history/CurveData.h"

namespace tarsyn::history {

/// The size of both charts of the curves window.
inline constexpr QSize kChartSize{627, 133};

/// Chart colours: background, grid and axes, curve and markers.
inline constexpr QRgb kChartBackground = 0xffcccccc;  // (204, 204, 204)
inline constexpr QRgb kChartAxis = 0xff6600ff;        // (102, 0, 255)
inline constexpr QRgb kChartCurve = 0xffff0000;       // (255, 0, 0)

/// Draws `chart` into a new image of `size` (W × H): grey background; axes, grid and ticks; the red
/// curve with x → W·x / xRange and y → H − H·y / top − 2 (the hour chart moves every point after the
/// first 2 pixels left while that stays right of column 0); then the maximum and minimum markers with
/// their times, the texts kept between column 8 and W − 48 (hour chart W − 56). The day chart draws
/// markers only when it has points; the hour chart always does. No antialiasing, so every line lands
/// on whole pixels.
QImage drawChart(const ChartData& chart, QSize size = kChartSize);

}  // namespace tarsyn::history
