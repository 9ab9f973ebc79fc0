#include "dicom/MeasuringSpacing.h"

#include <cmath>

#include "dicom/InstanceHeader.h"

namespace {

bool Usable(const std::optional<std::array<double, 2>>& spacing) {
    return spacing && std::isfinite((*spacing)[0]) && std::isfinite((*spacing)[1]) && (*spacing)[0] > 0 &&
           (*spacing)[1] > 0;
}

}  // namespace

std::string MeasuringSpacing::SourceName() const {
    switch (source) {
    case SpacingSource::PixelSpacing: return "Pixel Spacing";
    case SpacingSource::ImagerPixelSpacing: return "Imager Pixel Spacing";
    case SpacingSource::None: break;
    }
    return "none";
}

MeasuringSpacing SpacingForMeasuring(const InstanceLevel* instance) {
    MeasuringSpacing spacing;
    if (instance == nullptr) return spacing;
    if (Usable(instance->pixelSpacing)) {
        spacing = {(*instance->pixelSpacing)[0], (*instance->pixelSpacing)[1], SpacingSource::PixelSpacing};
    } else if (Usable(instance->imagerPixelSpacing)) {
        spacing = {(*instance->imagerPixelSpacing)[0], (*instance->imagerPixelSpacing)[1],
                   SpacingSource::ImagerPixelSpacing};
    }
    return spacing;
}
