// Windowing with the mouse: a right-button drag over the image widens or narrows
// the window (horizontal) and moves its centre (vertical), within the ranges the
// control panel's sliders offer.
#pragma once

struct WindowLevel {
    int width = 0;
    int centre = 0;
    bool operator==(const WindowLevel&) const = default;
};

// The sliders' ranges: width 0 .. widthMax, centre centreMin .. centreMax.
struct WindowLimits {
    int widthMax = 0;
    int centreMin = 0;
    int centreMax = 0;
};

// Window units per pixel of drag that started at `start`. Proportional to the
// window's own width, so that a narrow window (a brain window on CT) moves as finely
// as a wide one moves coarsely: 256 pixels right double the width. Never below a
// 4096th of the data range nor a quarter unit; `fine` (Shift held) is 8 times finer.
double WindowDragStep(WindowLevel start, const WindowLimits& limits, bool fine);

// The window after a drag of (dx, dy) view pixels that started at `start`: right
// widens, down raises the centre; each clamped to its slider's range, the width to
// at least 1.
WindowLevel DraggedWindow(WindowLevel start, int dx, int dy, const WindowLimits& limits, bool fine = false);
