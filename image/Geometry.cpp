#include "image/Geometry.h"

#include <algorithm>
#include <utility>

DibRect NormalizedRectFromPoints(DibPoint first, DibPoint second) {
    DibRect rect{first.x, first.y, second.x, second.y};
    if (rect.left > rect.right) {
        std::swap(rect.left, rect.right);
    }
    if (rect.top > rect.bottom) {
        std::swap(rect.top, rect.bottom);
    }
    return rect;
}

DibRect ClipRectToImage(DibRect rect, std::uint16_t width, std::uint16_t height) {
    const DibRect sorted = NormalizedRectFromPoints({rect.left, rect.top}, {rect.right, rect.bottom});
    const std::int32_t w = width;
    const std::int32_t h = height;
    return DibRect{std::clamp(sorted.left, 0, w), std::clamp(sorted.top, 0, h), std::clamp(sorted.right, 0, w),
                   std::clamp(sorted.bottom, 0, h)};
}
