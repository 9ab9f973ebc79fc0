#include "views/WindowPresets.h"

#include <cmath>

#include "dicom/GreyWindow.h"

namespace {

struct HounsfieldWindow {
    const char* name;
    int width;
    int centre;
};

constexpr HounsfieldWindow kCtWindows[] = {
    {"Brain (80 / 40)", 80, 40},
    {"Soft Tissue (400 / 40)", 400, 40},
    {"Lung (1500 / -600)", 1500, -600},
    {"Bone (2000 / 400)", 2000, 400},
};

// Window values are 16-bit in the reader.
int Clamp16(double value) { return static_cast<int>(std::lround(std::fmin(32767.0, std::fmax(-32768.0, value)))); }

}  // namespace

std::vector<WindowPreset> WindowPresetsFor(const WindowPresetSource& source) {
    std::vector<WindowPreset> presets;
    if (source.fileWindow) presets.push_back({"File's Window", *source.fileWindow});
    if (source.minSample <= source.maxSample) {
        SampleRange range;
        range.min = static_cast<std::int16_t>(source.minSample);
        range.max = static_cast<std::int16_t>(source.maxSample);
        std::int16_t width = 0;
        std::int16_t centre = 0;
        DefaultWindow(range, width, centre);
        presets.push_back({"Default Window (Data Range)", {width, centre}});
    }
    if (source.modality == "CT") {
        // HU = stored x slope + intercept, window units = stored + intercept.
        const double slope = source.rescaleSlope != 0 ? source.rescaleSlope : 1.0;
        const double intercept = source.rescaleIntercept;
        for (const HounsfieldWindow& w : kCtWindows) {
            const int width = Clamp16(std::fabs(w.width / slope));
            const int centre = Clamp16((w.centre - intercept) / slope + intercept);
            presets.push_back({w.name, {width, centre}});
        }
    }
    return presets;
}
