#include "views/WindowDrag.h"

#include <algorithm>
#include <cmath>

double WindowDragStep(WindowLevel start, const WindowLimits& limits, bool fine) {
    double coarse = std::max({start.width / 256.0, limits.widthMax / 4096.0, limits.whole ? 0.25 : 0.0});
    if (!(coarse > 0)) coarse = 1.0;  // float data with no range known yet
    return fine ? coarse / 8 : coarse;
}

WindowLevel DraggedWindow(WindowLevel start, int dx, int dy, const WindowLimits& limits, bool fine) {
    const double step = WindowDragStep(start, limits, fine);
    // Whole-number values move by whole steps, so that the window stays whole.
    const auto moved = [&](double from, int pixels) {
        const double by = step * pixels;
        return from + (limits.whole ? std::round(by) : by);
    };
    const double width = moved(start.width, dx);
    const double centre = moved(start.centre, dy);
    WindowLevel result;
    // Never 0 by dragging: a width of 0 makes the document fall back to its default window.
    const double least = limits.whole ? 1.0 : std::min(step, 1.0);
    result.width = std::clamp(width, least, std::max(least, limits.widthMax));
    // Without a known range (min > max) the centre stays put.
    result.centre =
        limits.centreMin <= limits.centreMax ? std::clamp(centre, limits.centreMin, limits.centreMax) : start.centre;
    return result;
}
