#include "views/WindowRanges.h"

#include <cmath>

#include "document/DorvanelleDoc.h"

namespace {

// Whether every modality value of the file is a whole number.
bool WholeValues(const ImageAttributes& a) {
    if (a.format == SampleFormat::Float || !a.shared.modality.KeepsWholeNumbers()) return false;
    for (const FrameValues& frame : a.perFrame) {
        if (!frame.modality.KeepsWholeNumbers()) return false;
    }
    return true;
}

}  // namespace

WindowLimits WindowLimitsOf(const CDorvanelleDoc& doc) {
    WindowLimits limits;
    const ImageAttributes* a = doc.Attributes();
    limits.whole = a == nullptr || WholeValues(*a);
    const std::optional<ValueRange>& range = doc.Range();
    if (range && !range->Empty()) {
        limits.widthMax = std::fabs(range->max) + std::fabs(range->min);
        limits.centreMin = range->min;
        limits.centreMax = range->max;
    } else if (const std::optional<DisplayWindow> window = doc.CurrentWindow()) {
        // Until the range arrives: twice the window wide, the centre within a width of it.
        const double width = std::fabs(window->width);
        limits.widthMax = 2 * width;
        limits.centreMin = window->centre - width;
        limits.centreMax = window->centre + width;
    } else {
        limits.widthMax = 65535;
        limits.centreMin = 1;
        limits.centreMax = 0;
    }
    return limits;
}

SliderScale WidthScaleOf(const WindowLimits& limits) { return SliderScale::Over(0, limits.widthMax, limits.whole); }

SliderScale CentreScaleOf(const WindowLimits& limits) {
    if (limits.centreMin > limits.centreMax) return SliderScale::Over(0, 0, true);
    return SliderScale::Over(limits.centreMin, limits.centreMax, limits.whole);
}
