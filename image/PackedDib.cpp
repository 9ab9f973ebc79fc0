#include "image/PackedDib.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "io/ByteOrder.h"
#include "io/ZeroedMemory.h"

std::unique_ptr<PackedDib> PackedDib::Allocate(std::size_t length) {
    // Zeroed memory, which a zero-length block gets an address of too, for DibBits.
    std::unique_ptr<std::uint8_t, Release> bytes(static_cast<std::uint8_t*>(AllocateZeroed(length)), Release{length});
    if (!bytes) {
        return nullptr;
    }
    return std::unique_ptr<PackedDib>(new (std::nothrow) PackedDib(std::move(bytes)));
}

void PackedDib::Release::operator()(std::uint8_t* bytes) const noexcept { ReleaseZeroed(bytes, length); }

namespace {

bool IsCoreHeader(const PackedDib* dib) { return DibHeaderSize(dib) == kCoreHeaderSize; }

// Reads a 16-bit field at `offset`, or 0 when the block is too short to hold it.
std::uint16_t Field16(const PackedDib* dib, std::size_t offset) {
    if (dib == nullptr || offset + 2 > dib->Length()) {
        return 0;
    }
    return ReadLE16(dib->Bytes() + offset);
}

std::uint32_t Field32(const PackedDib* dib, std::size_t offset) {
    if (dib == nullptr || offset + 4 > dib->Length()) {
        return 0;
    }
    return ReadLE32(dib->Bytes() + offset);
}

// Entries of a full table for pixels of `bitCount` bits; bit counts above 8 have none.
std::uint64_t FullTableEntries(std::uint16_t bitCount) { return bitCount <= 8 ? (std::uint64_t{1} << bitCount) : 0; }

}  // namespace

std::uint32_t DibHeaderSize(const PackedDib* dib) { return Field32(dib, 0); }

std::uint16_t DibWidth(const PackedDib* dib) { return Field16(dib, 4); }

std::uint16_t DibHeight(const PackedDib* dib) { return Field16(dib, IsCoreHeader(dib) ? 6 : 8); }

std::uint16_t DibBitCount(const PackedDib* dib) { return Field16(dib, IsCoreHeader(dib) ? 10 : 14); }

std::uint64_t DibColorTableSize(const PackedDib* dib) {
    const std::uint16_t bitCount = DibBitCount(dib);
    if (IsCoreHeader(dib)) {
        return bitCount == 24 ? 0 : FullTableEntries(bitCount) * 3;
    }
    const std::uint32_t colorsUsed = DibHeaderSize(dib) >= 36 ? Field32(dib, 32) : 0;
    if (colorsUsed != 0) {
        return std::uint64_t{colorsUsed} * 4;
    }
    return bitCount == 24 ? 0 : FullTableEntries(bitCount) * 4;
}

DibColourTable ReadDibColourTable(const PackedDib* dib) {
    DibColourTable table;
    const std::uint64_t entrySize = IsCoreHeader(dib) ? 3 : 4;
    table.count = static_cast<std::size_t>(std::min<std::uint64_t>(DibColorTableSize(dib) / entrySize, 256));
    const std::uint8_t* from = dib->Bytes() + DibHeaderSize(dib);
    for (std::size_t i = 0; i < table.count; ++i, from += entrySize) {
        table.entries[i] = {from[0], from[1], from[2], entrySize == 4 ? from[3] : std::uint8_t{0}};
    }
    return table;
}

std::uint64_t DibRowStride(const PackedDib* dib) {
    return (std::uint64_t{DibWidth(dib)} * DibBitCount(dib) + 31) / 32 * 4;
}

const std::uint8_t* DibBits(const PackedDib* dib) { return dib->Bytes() + DibHeaderSize(dib) + DibColorTableSize(dib); }

std::uint8_t* DibBits(PackedDib* dib) { return dib->Bytes() + DibHeaderSize(dib) + DibColorTableSize(dib); }

Reason DibLayoutProblem(const PackedDib* dib) {
    if (dib == nullptr) {
        return BmpFailure::NoImage;
    }
    const std::uint64_t length = dib->Length();
    if (length < 4) {
        return BmpFailure::HeaderMissing;
    }
    const std::uint32_t headerSize = DibHeaderSize(dib);
    if (headerSize != kCoreHeaderSize && headerSize < 16) {
        return BmpFailure::UnknownHeaderSize;
    }
    if (headerSize > length) {
        return BmpFailure::HeaderCutShort;
    }
    if (!IsCoreHeader(dib)) {
        if (Field16(dib, 12) != 1 && Field16(dib, 12) != 0) {
            // Some writers leave biPlanes at 0; anything else is not a bitmap we know.
            return BmpFailure::MorePlanes;
        }
        if (headerSize >= 20 && Field32(dib, 16) != 0) {
            return BmpFailure::Compressed;
        }
    }
    const std::uint16_t bitCount = DibBitCount(dib);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) {
        return Reason(BmpFailure::UnsupportedBitCount).Numbers(bitCount);
    }
    const std::uint64_t bitsOffset = std::uint64_t{headerSize} + DibColorTableSize(dib);
    if (bitsOffset > length) {
        return BmpFailure::ColourTableCutShort;
    }
    if (DibRowStride(dib) * DibHeight(dib) > length - bitsOffset) {
        return BmpFailure::RowsCutShort;
    }
    return {};
}

namespace {

PackedDibPtr CreateDib(std::uint16_t width, std::uint16_t height, std::uint16_t bitCount) {
    const std::uint32_t tableSize = bitCount == 8 ? kGreyTableSize : 0;
    const std::uint64_t stride = (std::uint64_t{width} * bitCount + 31) / 32 * 4;
    const std::uint64_t imageSize = stride * height;
    // A 24-bit image can need up to 196,608 x 65,535 bytes, more than biSizeImage holds.
    if (imageSize > UINT32_MAX) {
        return nullptr;
    }
    PackedDibPtr dib = PackedDib::Allocate(static_cast<std::size_t>(kInfoHeaderSize + tableSize + imageSize));
    if (!dib) {
        return nullptr;
    }
    std::uint8_t* p = dib->Bytes();
    WriteLE32(p + 0, kInfoHeaderSize);
    WriteLE32(p + 4, width);
    WriteLE32(p + 8, height);
    WriteLE16(p + 12, 1);
    WriteLE16(p + 14, bitCount);
    WriteLE32(p + 20, static_cast<std::uint32_t>(imageSize));
    // Compression, resolutions and colour counts stay 0 from the zero fill.
    if (bitCount == 8) {
        std::uint8_t* table = p + kInfoHeaderSize;
        for (int i = 0; i < 256; ++i) {
            const auto level = static_cast<std::uint8_t>(i);
            table[4 * i + 0] = level;
            table[4 * i + 1] = level;
            table[4 * i + 2] = level;
        }
    }
    return dib;
}

}  // namespace

PackedDibPtr CreateGreyDib(std::uint16_t width, std::uint16_t height) { return CreateDib(width, height, 8); }

PackedDibPtr CreateRgbDib(std::uint16_t width, std::uint16_t height) { return CreateDib(width, height, 24); }
