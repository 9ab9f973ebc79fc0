#include "views/WindowPresets.h"

namespace {

struct HounsfieldWindow {
    const char* name;
    double width;
    double centre;
};

constexpr HounsfieldWindow kCtWindows[] = {
    {"Brain (80 / 40)", 80, 40},
    {"Soft Tissue (400 / 40)", 400, 40},
    {"Lung (1500 / -600)", 1500, -600},
    {"Bone (2000 / 400)", 2000, 400},
};

// "File's Window", numbered when there are several, with the file's explanation.
std::string Named(const char* base, std::size_t index, std::size_t count, const std::string& explanation) {
    std::string name = base;
    if (count > 1) name += " " + std::to_string(index + 1);
    if (!explanation.empty()) name += ": " + explanation;
    return name;
}

}  // namespace

std::vector<WindowPreset> WindowPresetsFor(const WindowPresetSource& source) {
    std::vector<WindowPreset> presets;
    const std::size_t windows = source.fileWindows.size();
    for (std::size_t i = 0; i < windows; ++i) {
        const WindowSetting& w = source.fileWindows[i];
        presets.push_back({Named("File's Window", i, windows, w.explanation), {w.width, w.centre}, std::nullopt});
    }
    for (std::size_t i = 0; i < source.voiLuts.size(); ++i) {
        presets.push_back(
            {Named("File's VOI LUT", i, source.voiLuts.size(), source.voiLuts[i]), {}, static_cast<int>(i)});
    }
    if (source.defaultWindow) presets.push_back({"Default Window (Data Range)", *source.defaultWindow, std::nullopt});
    if (source.modality == "CT") {
        // Modality values of CT are Hounsfield units: the windows apply as they are.
        for (const HounsfieldWindow& w : kCtWindows) {
            presets.push_back({w.name, {w.width, w.centre}, std::nullopt});
        }
    }
    return presets;
}
