// The Window Level submenu: every window the file gives, with its explanation; the
// file's VOI LUTs; the default window from the data range; and for CT the usual
// brain, soft tissue, lung and bone windows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dicom/ImageAttributes.h"
#include "views/WindowDrag.h"

struct WindowPreset {
    std::string name;  // menu text
    WindowLevel window;
    std::optional<int> voiLut;  // a VOI LUT of the frame instead of a window
};

// What the presets depend on. Windows are in modality values (HU for CT).
struct WindowPresetSource {
    std::vector<WindowSetting> fileWindows;    // the frame's, in the file's order
    std::vector<std::string> voiLuts;          // the explanations of the frame's VOI LUTs
    std::optional<WindowLevel> defaultWindow;  // from the data range, when known
    std::string modality;
};

// Presets in menu order.
std::vector<WindowPreset> WindowPresetsFor(const WindowPresetSource& source);
