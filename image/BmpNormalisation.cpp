#include "image/BmpNormalisation.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "image/BmpRle.h"
#include "io/ByteOrder.h"

namespace {

constexpr std::uint32_t kUncompressed = 0;    // BI_RGB
constexpr std::uint32_t kBitFields = 3;       // BI_BITFIELDS: three colour masks give the channels
constexpr std::uint32_t kOs2HeaderSize = 64;  // its compression 3 means Huffman coding, not masks
constexpr std::int64_t kLargestSide = 65535;  // the program handles sizes as 16-bit numbers

struct BmpGeometry {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // its magnitude; topDown tells the sign
    bool topDown = false;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
};

// One colour channel of a 16- or 32-bit pixel, scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t top = 0;  // the largest value the mask can give

    explicit Channel(std::uint32_t m) : mask(m), shift(m == 0 ? 0 : std::countr_zero(m)), top(m >> shift) {}

    std::uint8_t Extract(std::uint32_t pixel) const {
        if (top == 0) {
            return 0;
        }
        const std::uint64_t value = (pixel & mask) >> shift;
        return static_cast<std::uint8_t>((value * 255 + top / 2) / top);
    }
};

Reason ReadGeometry(const PackedDib& block, BmpGeometry& g) {
    const std::uint8_t* p = block.Bytes();
    g.headerSize = ReadLE32(p);
    g.width = static_cast<std::int32_t>(ReadLE32(p + 4));
    const std::int64_t height = static_cast<std::int32_t>(ReadLE32(p + 8));
    g.topDown = height < 0;
    g.height = g.topDown ? -height : height;
    g.bitCount = ReadLE16(p + 14);
    g.compression = g.headerSize >= 20 ? ReadLE32(p + 16) : kUncompressed;
    g.colorsUsed = g.headerSize >= 36 ? ReadLE32(p + 32) : 0;
    if (g.width < 0) {
        return BmpFailure::NegativeWidth;
    }
    if (g.width > kLargestSide || g.height > kLargestSide) {
        return Reason(BmpFailure::TooLarge).Numbers(g.width, g.height);
    }
    return {};
}

// Masks of a 16- or 32-bit bitmap: those of the file for bit fields, else the standard
// ones (5-5-5 for 16 bits, 8-8-8 for 32). They lie right after a 40-byte header, or
// inside the longer headers at the same offset.
bool ReadMasks(const PackedDib& block, const BmpGeometry& g, std::uint32_t masks[3]) {
    if (g.compression == kUncompressed) {
        masks[0] = g.bitCount == 16 ? 0x7C00u : 0x00FF0000u;
        masks[1] = g.bitCount == 16 ? 0x03E0u : 0x0000FF00u;
        masks[2] = g.bitCount == 16 ? 0x001Fu : 0x000000FFu;
        return true;
    }
    const bool masksPresent = g.headerSize == 40 || (g.headerSize >= 52 && g.headerSize != kOs2HeaderSize);
    if (!masksPresent || block.Length() < 52) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        masks[i] = ReadLE32(block.Bytes() + 40 + 4 * i);
    }
    return true;
}

PackedDibPtr ConvertDeepPixels(const PackedDib& block, const BmpGeometry& g, Reason* why) {
    if (g.compression != kUncompressed && g.compression != kBitFields) {
        SetReason(why, BmpFailure::Compressed);
        return nullptr;
    }
    std::uint32_t masks[3];
    if (!ReadMasks(block, g, masks)) {
        SetReason(why, BmpFailure::MasksMissing);
        return nullptr;
    }
    const std::uint64_t masksAfterHeader = (g.compression == kBitFields && g.headerSize == 40) ? 12 : 0;
    const std::uint64_t rowsAt = std::uint64_t{g.headerSize} + masksAfterHeader + std::uint64_t{g.colorsUsed} * 4;
    const std::uint64_t stride = (static_cast<std::uint64_t>(g.width) * g.bitCount + 31) / 32 * 4;
    const auto width = static_cast<std::uint16_t>(g.width);
    const auto height = static_cast<std::uint16_t>(g.height);
    if (rowsAt > block.Length() || stride * height > block.Length() - rowsAt) {
        SetReason(why, BmpFailure::RowsCutShort);
        return nullptr;
    }
    PackedDibPtr out = CreateRgbDib(width, height);
    if (!out) {
        SetReason(why, BmpFailure::OutOfMemory);
        return nullptr;
    }
    if (g.headerSize >= 32) {
        std::memcpy(out->Bytes() + 24, block.Bytes() + 24, 8);  // keep the resolution
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    const std::uint64_t outStride = DibRowStride(out.get());
    const std::uint8_t* source = block.Bytes() + rowsAt;
    std::uint8_t* bits = DibBits(out.get());
    const std::size_t bytesPerPixel = g.bitCount / 8u;
    for (std::uint32_t k = 0; k < height; ++k) {
        const std::uint32_t stored = g.topDown ? height - 1 - k : k;
        const std::uint8_t* in = source + k * stride;
        std::uint8_t* dst = bits + stored * outStride;
        for (std::uint32_t j = 0; j < width; ++j, in += bytesPerPixel, dst += 3) {
            const std::uint32_t pixel = bytesPerPixel == 2 ? ReadLE16(in) : ReadLE32(in);
            dst[0] = blue.Extract(pixel);
            dst[1] = green.Extract(pixel);
            dst[2] = red.Extract(pixel);
        }
    }
    return out;
}

void FlipRows(PackedDib& block) {
    const std::uint64_t stride = DibRowStride(&block);
    const std::uint16_t height = DibHeight(&block);
    std::uint8_t* bits = DibBits(&block);
    for (std::uint32_t low = 0, high = height; low + 1 < high; ++low, --high) {
        std::swap_ranges(bits + low * stride, bits + (low + 1) * stride, bits + (high - 1) * stride);
    }
}

}  // namespace

PackedDibPtr NormaliseBmpBlock(PackedDibPtr block, Reason* why) {
    Reason problem = DibLayoutProblem(block.get());
    // Only the header's own size is needed to read the geometry; the rest is checked below.
    const bool headerReadable = block && block->Length() >= 16 && DibHeaderSize(block.get()) >= 16 &&
                                DibHeaderSize(block.get()) <= block->Length();
    if (!headerReadable) {
        // Either the header itself is broken, or it is a core header, which cannot say top-down.
        if (problem) {
            SetReason(why, std::move(problem));
            return nullptr;
        }
        return block;
    }
    BmpGeometry g;
    if (Reason bad = ReadGeometry(*block, g)) {
        SetReason(why, std::move(bad));
        return nullptr;
    }
    if (g.bitCount == 16 || g.bitCount == 32) {
        return ConvertDeepPixels(*block, g, why);
    }
    if ((g.compression == kRle8 && g.bitCount == 8) || (g.compression == kRle4 && g.bitCount == 4)) {
        block = DecodeBmpRle(*block, static_cast<std::uint16_t>(g.width), static_cast<std::uint16_t>(g.height),
                             g.bitCount, why);
        if (!block) {
            return nullptr;
        }
    }
    if (g.topDown) {
        WriteLE32(block->Bytes() + 8, static_cast<std::uint32_t>(g.height));
    }
    if ((problem = DibLayoutProblem(block.get()))) {
        SetReason(why, std::move(problem));
        return nullptr;
    }
    if (g.topDown) {
        FlipRows(*block);
    }
    return block;
}
