#include "views/WindowDrag.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

double WindowDragStep(WindowLevel start, const WindowLimits& limits, bool fine) {
    const double coarse = std::max({start.width / 256.0, limits.widthMax / 4096.0, 0.25});
    return fine ? coarse / 8 : coarse;
}

WindowLevel DraggedWindow(WindowLevel start, int dx, int dy, const WindowLimits& limits, bool fine) {
    const double step = WindowDragStep(start, limits, fine);
    const auto width = static_cast<std::int64_t>(start.width + std::lround(step * dx));
    const auto centre = static_cast<std::int64_t>(start.centre + std::lround(step * dy));
    WindowLevel result;
    // Never 0 by dragging: a width of 0 makes the reader fall back to its default window.
    result.width = static_cast<int>(std::clamp<std::int64_t>(width, 1, std::max(1, limits.widthMax)));
    // A reader that saw no 16-bit samples has min > max: the centre then stays put.
    result.centre = limits.centreMin <= limits.centreMax
                        ? static_cast<int>(std::clamp<std::int64_t>(centre, limits.centreMin, limits.centreMax))
                        : start.centre;
    return result;
}
