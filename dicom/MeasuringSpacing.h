// The distance between pixel centres that lengths and areas are measured in: Pixel
// Spacing (in the patient) when the file gives it, else Imager Pixel Spacing (at the
// detector, which for a projection radiograph is not the size in the patient), else
// none, and measurements stay in pixels. Which one was used is always said with
// the result.
#pragma once

#include <string>

struct InstanceLevel;

enum class SpacingSource { None, PixelSpacing, ImagerPixelSpacing };

struct MeasuringSpacing {
    double row = 1.0;     // mm between adjacent rows (the vertical step), or 1 pixel
    double column = 1.0;  // mm between adjacent columns (the horizontal step), or 1 pixel
    SpacingSource source = SpacingSource::None;

    bool InMillimetres() const { return source != SpacingSource::None; }
    // "mm" or "px", and for areas "mm²" or "px²".
    const char* LengthUnit() const { return InMillimetres() ? "mm" : "px"; }
    const char* AreaUnit() const { return InMillimetres() ? "mm\u00b2" : "px\u00b2"; }
    // "Pixel Spacing", "Imager Pixel Spacing" or "none".
    std::string SourceName() const;
};

// The spacing to measure with, from an instance's header (null: none). Spacings that
// are not positive finite numbers are not used.
MeasuringSpacing SpacingForMeasuring(const InstanceLevel* instance);
