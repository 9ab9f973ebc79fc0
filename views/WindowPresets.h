// The Window Level submenu: the file's own window, the default window from the data
// range, and for CT the usual brain, soft tissue, lung and bone windows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "views/WindowDrag.h"

struct WindowPreset {
    std::string name;  // menu text
    WindowLevel window;
};

// What the presets depend on. Window values are in the reader's window units: the
// stored value plus the (whole-number) rescale intercept.
struct WindowPresetSource {
    std::optional<WindowLevel> fileWindow;  // as the file gave it, if it did
    int minSample = 32767;                  // range of the samples in window units;
    int maxSample = -32768;                 // min > max when unknown
    std::string modality;
    double rescaleSlope = 1.0;
    int rescaleIntercept = 0;
};

// Presets in menu order. The CT windows are given in Hounsfield units and brought
// into window units, so that a slope other than 1 still shows the tissue named.
std::vector<WindowPreset> WindowPresetsFor(const WindowPresetSource& source);
