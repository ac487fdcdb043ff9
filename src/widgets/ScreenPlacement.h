#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace tarsyn::widgets {

/// Room a window manager's frame takes where the window system has not said yet: borders and a
/// title bar.
inline const QMargins kAssumedFrame{4, 30, 4, 4};

/// Where a window goes so that it is whole on the screen: `client` is its geometry without the frame,
/// `frame` the frame around it (kAssumedFrame when none is known), `available` the screen less its
/// task bars. A window larger than that is made smaller, never below `minimum`; then it is moved
/// the least that puts its frame inside, the top left corner winning when it cannot fit at all.
QRect FittedGeometry(const QRect& client, QMargins frame, const QRect& available, const QSize& minimum);

/// Keeps `window` whole on its screen each time it opens: its size and place are fitted
/// (FittedGeometry) as it is shown and again once the window manager has framed it. The operator may
/// move it anywhere afterwards.
void KeepOnScreen(QWidget* window);

}  // namespace tarsyn::widgets
