// Points and rectangles in image coordinates: 32-bit signed, y downwards,
// the image's top-left pixel at (0, 0). Right and bottom are exclusive.
#pragma once

#include <cstdint>

struct DibPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct DibRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    friend bool operator==(const DibRect&, const DibRect&) = default;
};

// The rectangle spanned by the two corners of a drag: left/top from the first point,
// right/bottom from the second, each pair swapped if it is the wrong way round.
DibRect NormalizedRectFromPoints(DibPoint first, DibPoint second);

// Each coordinate of the normalised rectangle clamped to 0..width and 0..height, so
// that a rectangle wholly outside becomes an empty one on the image's edge.
DibRect ClipRectToImage(DibRect rect, std::uint16_t width, std::uint16_t height);
