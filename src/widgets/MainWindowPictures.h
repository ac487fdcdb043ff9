#pragma once

#include <QIcon>
#include <QPixmap>

namespace tarsyn::widgets {

/// The main window's pictures, drawn in code so that they scale and need no files.
namespace MainWindowPictures {

/// Indicator square, 16x16: 0 white; 1 red for an alarm, green otherwise; 2 green.
QPixmap indicator(int image, bool alarmSet);
/// `dport1`: 7 a green plug with a tick (linked), anything else a red broken plug (not linked).
QIcon connection(int image);
/// `dport2`: 0 circular arrows (rotation), 1 a pin (fixed port).
QIcon mode(int image);

/// Pictures of the other tool buttons.
enum class Tool { Start, Auto, Reset, Test, Restore, Port, Settings, Exit };
QIcon tool(Tool which);

}  // namespace MainWindowPictures

}  // namespace tarsyn::widgets
