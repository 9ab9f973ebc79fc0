#include "views/WindowDrag.h"

#include <algorithm>
#include <cmath>

double WindowDragStep(const WindowLimits& limits) {
    const double step = limits.widthMax / 512;
    return limits.whole ? std::max(1.0, std::floor(step)) : (step > 0 ? step : 1.0);
}

WindowLevel DraggedWindow(WindowLevel start, int dx, int dy, const WindowLimits& limits) {
    const double step = WindowDragStep(limits);
    const double width = start.width + step * dx;
    const double centre = start.centre + step * dy;
    WindowLevel result;
    // Never 0 by dragging: a width of 0 makes the document fall back to its default window.
    const double least = limits.whole ? 1.0 : std::min(step, 1.0);
    result.width = std::clamp(width, least, std::max(least, limits.widthMax));
    // Without a known range (min > max) the centre stays put.
    result.centre =
        limits.centreMin <= limits.centreMax ? std::clamp(centre, limits.centreMin, limits.centreMax) : start.centre;
    return result;
}
