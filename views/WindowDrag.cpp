#include "views/WindowDrag.h"

#include <algorithm>
#include <cstdint>

int WindowDragStep(const WindowLimits& limits) { return std::max(1, limits.widthMax / 512); }

WindowLevel DraggedWindow(WindowLevel start, int dx, int dy, const WindowLimits& limits) {
    const std::int64_t step = WindowDragStep(limits);
    const std::int64_t width = start.width + step * dx;
    const std::int64_t centre = start.centre + step * dy;
    WindowLevel result;
    // Never 0 by dragging: a width of 0 makes the reader fall back to its default window.
    result.width = static_cast<int>(std::clamp<std::int64_t>(width, 1, std::max(1, limits.widthMax)));
    // A reader that saw no 16-bit samples has min > max: the centre then stays put.
    result.centre = limits.centreMin <= limits.centreMax
                        ? static_cast<int>(std::clamp<std::int64_t>(centre, limits.centreMin, limits.centreMax))
                        : start.centre;
    return result;
}
