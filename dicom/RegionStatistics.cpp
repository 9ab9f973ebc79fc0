#include "dicom/RegionStatistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Runs `visit(x, y)` over the pixels of `region` within a width x height image.
template <typename Visit>
void ForEachPixel(const Region& region, int width, int height, const Visit& visit) {
    const DibRect r = ClipRectToImage(region.rect, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (InRegion(region, x, y)) visit(x, y);
        }
    }
}

// Two passes over the values `valueAt(x, y)` gives: the mean first, then the
// squared deviations from it, so that large values with a small spread lose nothing.
template <typename ValueAt>
Expected<RegionStatistics> Accumulate(const Region& region, int width, int height, const ValueAt& valueAt,
                                      const MeasuringSpacing& spacing) {
    RegionStatistics s;
    s.spacing = spacing;
    s.bounds = ClipRectToImage(region.rect, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    s.minimum = std::numeric_limits<double>::infinity();
    s.maximum = -std::numeric_limits<double>::infinity();
    double sum = 0;
    ForEachPixel(region, width, height, [&](int x, int y) {
        const double v = valueAt(x, y);
        sum += v;
        s.minimum = std::min(s.minimum, v);
        s.maximum = std::max(s.maximum, v);
        ++s.pixels;
    });
    if (s.pixels == 0) return RegionFailure::NoPixels;
    s.mean = sum / static_cast<double>(s.pixels);
    double squares = 0;
    ForEachPixel(region, width, height, [&](int x, int y) {
        const double d = valueAt(x, y) - s.mean;
        squares += d * d;
    });
    s.standardDeviation = std::sqrt(squares / static_cast<double>(s.pixels));
    s.area = static_cast<double>(s.pixels) * spacing.row * spacing.column;
    return s;
}

}  // namespace

bool InRegion(const Region& region, int x, int y) {
    const DibRect& r = region.rect;
    if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return false;
    if (region.shape == RegionShape::Rectangle) return true;
    // The pixel's centre against the ellipse inscribed in the rectangle.
    const double a = (r.right - r.left) / 2.0;
    const double b = (r.bottom - r.top) / 2.0;
    const double dx = (x + 0.5 - (r.left + a)) / a;
    const double dy = (y + 0.5 - (r.top + b)) / b;
    return dx * dx + dy * dy <= 1.0;
}

std::string ReasonText(RegionFailure code, const Reason&) {
    switch (code) {
    case RegionFailure::NoPixels: return "the region holds no pixel of the image";
    case RegionFailure::Colour: break;
    }
    return "a colour image has no single value a pixel to measure";
}

Expected<RegionStatistics> FrameRegionStatistics(const FrameSamples& samples, const ImageAttributes& attributes,
                                                 const Region& region, const MeasuringSpacing& spacing) {
    if (samples.layout == SampleLayout::Rgb8 || attributes.IsColour()) return RegionFailure::Colour;
    const ModalityTransform& modality = attributes.Frame(samples.frame).modality;
    const std::size_t columns = samples.columns;
    Expected<RegionStatistics> s = Accumulate(
        region, samples.columns, samples.rows,
        [&](int x, int y) {
            return modality.Apply(StoredValueAt(samples, attributes, static_cast<std::size_t>(y) * columns + x));
        },
        spacing);
    if (s) s->units = attributes.units;
    return s;
}

Expected<RegionStatistics> PictureRegionStatistics(const PackedDib* picture, const Region& region,
                                                   const MeasuringSpacing& spacing) {
    if (picture == nullptr || !DibIsComplete(picture)) return RegionFailure::NoPixels;
    if (DibBitCount(picture) != 8) return RegionFailure::Colour;
    const int height = DibHeight(picture);
    const std::uint64_t stride = DibRowStride(picture);
    const std::uint8_t* bits = DibBits(picture);
    return Accumulate(
        region, DibWidth(picture), height,
        [&](int x, int y) {
            // Rows are stored bottom-up.
            return static_cast<double>(bits[static_cast<std::uint64_t>(height - 1 - y) * stride + x]);
        },
        spacing);
}

double MeasuredLength(DibPoint from, DibPoint to, const MeasuringSpacing& spacing) {
    const double dx = (to.x - from.x) * spacing.column;
    const double dy = (to.y - from.y) * spacing.row;
    return std::hypot(dx, dy);
}
