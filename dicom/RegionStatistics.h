// Statistics of a region of one frame: the number of pixels, mean, standard deviation,
// minimum and maximum of their modality values (stored value x Rescale Slope +
// Intercept, or the Modality LUT: Hounsfield units for CT), and the area they cover.
// The viewer's panel and `dorvanelle-cli stats` both compute them here.
//
// A region is a rectangle of pixels, or the ellipse inscribed in one: a pixel belongs
// to it when its centre lies inside. The standard deviation is that of the pixels
// themselves (divided by n, as numpy's std), computed in two passes for accuracy.
#pragma once

#include <cstdint>
#include <string>

#include "dicom/FrameSource.h"
#include "dicom/ImageAttributes.h"
#include "dicom/MeasuringSpacing.h"
#include "image/Geometry.h"
#include "image/PackedDib.h"
#include "io/Expected.h"

enum class RegionShape { Rectangle, Ellipse };

struct Region {
    RegionShape shape = RegionShape::Rectangle;
    DibRect rect;  // normalised; may reach past the image (only what lies on it counts)
};

// Whether pixel (x, y) belongs to `region`.
bool InRegion(const Region& region, int x, int y);

struct RegionStatistics {
    std::uint64_t pixels = 0;
    double mean = 0;
    double standardDeviation = 0;
    double minimum = 0;
    double maximum = 0;
    double area = 0;  // pixels x row spacing x column spacing: mm² with a spacing, else px²
    MeasuringSpacing spacing;
    std::string units;  // of the values: "HU", "GY"..., or empty when not known
    DibRect bounds;     // the region's rectangle as clipped to the image
};

enum class RegionFailure {
    NoPixels,  // the region holds no pixel of the image
    Colour,    // a colour image has no single value a pixel
};
std::string ReasonText(RegionFailure code, const Reason& reason);

// Over the modality values of a grey frame's samples.
Expected<RegionStatistics> FrameRegionStatistics(const FrameSamples& samples, const ImageAttributes& attributes,
                                                 const Region& region, const MeasuringSpacing& spacing);
// Over the grey levels of an 8-bit picture (a bitmap or PCX picture, which has no
// modality values).
Expected<RegionStatistics> PictureRegionStatistics(const PackedDib* picture, const Region& region,
                                                   const MeasuringSpacing& spacing);

// The length in mm (or pixels, without a spacing) between the centres of pixels
// `from` and `to`.
double MeasuredLength(DibPoint from, DibPoint to, const MeasuringSpacing& spacing);
