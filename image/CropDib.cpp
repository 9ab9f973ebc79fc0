#include "image/CropDib.h"

#include <algorithm>
#include <cstring>

namespace {

// The crop keeps the source's colours; entries the source does not have (a table
// shorter than 256) keep the grey ramp.
void CopyColourTable(const PackedDib* source, PackedDib* target) {
    const DibColourTable table = ReadDibColourTable(source);
    std::uint8_t* to = target->Bytes() + kInfoHeaderSize;
    for (std::size_t i = 0; i < table.count; ++i, to += 4) {
        const DibColour& c = table.entries[i];
        to[0] = c.blue;
        to[1] = c.green;
        to[2] = c.red;
        to[3] = c.reserved;
    }
}

// A colour crop keeps its exact width: its rows are padded by their stride.
PackedDibPtr CropColour(const DibRect& clip, const PackedDib* source) {
    const auto columns = static_cast<std::uint16_t>(clip.right - clip.left);
    const auto height = static_cast<std::uint16_t>(clip.bottom - clip.top);
    PackedDibPtr crop = CreateRgbDib(columns, height);
    if (!crop) {
        return nullptr;
    }
    const std::uint16_t sourceHeight = DibHeight(source);
    const std::uint64_t sourceStride = DibRowStride(source);
    const std::uint64_t cropStride = DibRowStride(crop.get());
    const std::uint8_t* from = DibBits(source) + 3ull * static_cast<std::uint32_t>(clip.left);
    std::uint8_t* to = DibBits(crop.get());
    for (std::uint32_t i = 0; i < height; ++i) {
        const std::uint32_t sourceRow = sourceHeight - 1u - static_cast<std::uint32_t>(clip.top) - i;
        std::memcpy(to + (height - 1u - i) * cropStride, from + sourceRow * sourceStride, 3ull * columns);
    }
    return crop;
}

}  // namespace

PackedDibPtr CropDib(DibRect rect, const PackedDib* source) {
    if (source == nullptr || !DibIsComplete(source)) {
        return nullptr;
    }
    if (DibBitCount(source) == 24) {
        return CropColour(ClipRectToImage(rect, DibWidth(source), DibHeight(source)), source);
    }
    if (DibBitCount(source) != 8) {
        return nullptr;
    }
    const std::uint16_t sourceWidth = DibWidth(source);
    const std::uint16_t sourceHeight = DibHeight(source);
    const DibRect clip = ClipRectToImage(rect, sourceWidth, sourceHeight);
    const auto columns = static_cast<std::uint16_t>(clip.right - clip.left);
    const auto height = static_cast<std::uint16_t>(clip.bottom - clip.top);
    PackedDibPtr crop = CreateGreyDib(BuiltWidth(columns), height);
    if (!crop) {
        return nullptr;
    }
    CopyColourTable(source, crop.get());

    // Columns added by the rounding that fall beyond the source picture stay 0.
    const std::size_t copied = std::min<std::size_t>(BuiltWidth(columns), sourceWidth - clip.left);
    const std::uint64_t sourceStride = DibRowStride(source);
    const std::uint64_t cropStride = DibRowStride(crop.get());
    const std::uint8_t* from = DibBits(source);
    std::uint8_t* to = DibBits(crop.get());
    for (std::uint32_t i = 0; i < height; ++i) {
        const std::uint32_t sourceRow = sourceHeight - 1u - static_cast<std::uint32_t>(clip.top) - i;
        std::memcpy(to + (height - 1u - i) * cropStride, from + sourceRow * sourceStride + clip.left, copied);
    }
    return crop;
}
