// The toolbar's button images, drawn by our own code: 15 cells of 22 x 21 pixels
// on a transparent ground, one per button in the toolbar's button order.
#pragma once

#include <QIcon>
#include <QImage>

inline constexpr int kToolbarIconWidth = 22;
inline constexpr int kToolbarIconHeight = 21;
inline constexpr int kToolbarIconCount = 15;

// The whole strip, kToolbarIconCount cells side by side (330 x 21, ARGB32).
QImage ToolbarImageStrip();
// Cell `index` (0 .. kToolbarIconCount - 1, counting buttons only); a null image otherwise.
QImage ToolbarCellImage(int index);
// The icon of a toolbar command, found through the toolbar layout; null for a
// command that has no button.
QIcon ToolbarIcon(int commandId);
