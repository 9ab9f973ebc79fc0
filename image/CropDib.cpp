#include "image/CropDib.h"

#include <algorithm>
#include <cstring>

namespace {

// The crop keeps the source's colours. A table shorter than 256 entries (or the
// 3-byte entries of a core header) is copied entry by entry; entries the source does
// not have keep the grey ramp.
void CopyColourTable(const PackedDib* source, PackedDib* target) {
    const bool core = DibHeaderSize(source) == kCoreHeaderSize;
    const std::uint64_t entrySize = core ? 3 : 4;
    const std::uint64_t entries = std::min<std::uint64_t>(DibColorTableSize(source) / entrySize, 256);
    const std::uint8_t* from = source->Bytes() + DibHeaderSize(source);
    std::uint8_t* to = target->Bytes() + kInfoHeaderSize;
    for (std::uint64_t i = 0; i < entries; ++i) {
        std::memcpy(to + 4 * i, from + entrySize * i, entrySize);
        if (core) {
            to[4 * i + 3] = 0;
        }
    }
}

}  // namespace

PackedDibPtr CropDib(DibRect rect, const PackedDib* source) {
    if (source == nullptr || !DibIsComplete(source) || DibBitCount(source) != 8) {
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
