// Windowing with the mouse: a right-button drag over the image widens or narrows
// the window (horizontal) and moves its centre (vertical), within the ranges the
// control panel's sliders offer. Windows are in modality values.
#pragma once

struct WindowLevel {
    double width = 0;
    double centre = 0;
    bool operator==(const WindowLevel&) const = default;
};

// The sliders' ranges: width 0 .. widthMax, centre centreMin .. centreMax; `whole`
// when the values are whole numbers (the drag then moves by whole steps).
struct WindowLimits {
    double widthMax = 0;
    double centreMin = 0;
    double centreMax = 0;
    bool whole = true;
};

// Window units per pixel of drag that started at `start`. Proportional to the
// window's own width, so that a narrow window (a brain window on CT) moves as finely
// as a wide one moves coarsely: 256 pixels right double the width. Never below a
// 4096th of the data range (nor a quarter unit for whole-number values); `fine`
// (Shift held) is 8 times finer.
double WindowDragStep(WindowLevel start, const WindowLimits& limits, bool fine);

// The window after a drag of (dx, dy) view pixels that started at `start`: right
// widens, down raises the centre; each clamped to its slider's range, the width
// above 0 (at least 1 for whole numbers, which stay whole).
WindowLevel DraggedWindow(WindowLevel start, int dx, int dy, const WindowLimits& limits, bool fine = false);
