// The packed device-independent bitmap that every part of the program exchanges:
// one block holding a bitmap header, its colour table and the pixel rows,
// bottom-up, each row padded to a multiple of 4 bytes. The same bytes are painted,
// cropped, histogrammed and written after a 14-byte file header as a .bmp file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/BmpFailure.h"

// One block of known length with one owner. It never shares its bytes.
class PackedDib {
public:
    // A block of `length` bytes, all zero. Null if the memory cannot be had.
    static std::unique_ptr<PackedDib> Allocate(std::size_t length);

    PackedDib(const PackedDib&) = delete;
    PackedDib& operator=(const PackedDib&) = delete;

    std::uint8_t* Bytes() { return m_bytes.get(); }
    const std::uint8_t* Bytes() const { return m_bytes.get(); }
    std::size_t Length() const { return m_length; }

private:
    // Gives the block back to the allocator it came from, which needs its length.
    struct Release {
        std::size_t length = 0;
        void operator()(std::uint8_t* bytes) const noexcept;
    };

    explicit PackedDib(std::unique_ptr<std::uint8_t, Release> bytes)
        : m_bytes(std::move(bytes)), m_length(m_bytes.get_deleter().length) {}

    std::unique_ptr<std::uint8_t, Release> m_bytes;
    std::size_t m_length;
};

using PackedDibPtr = std::unique_ptr<PackedDib>;

// Size of the header that the program's own builders write.
inline constexpr std::uint32_t kInfoHeaderSize = 40;
// Size of the old core header (BITMAPCOREHEADER) that some files carry.
inline constexpr std::uint32_t kCoreHeaderSize = 12;
// Colour-table bytes of an 8-bit block built by the program: 256 entries of 4 bytes.
inline constexpr std::uint32_t kGreyTableSize = 1024;

// Accessors. DibWidth and DibHeight accept null (0); the others expect a block
// that holds at least its header (see DibLayoutProblem for blocks from files).
std::uint32_t DibHeaderSize(const PackedDib* dib);
std::uint16_t DibWidth(const PackedDib* dib);
std::uint16_t DibHeight(const PackedDib* dib);
std::uint16_t DibBitCount(const PackedDib* dib);
// Bytes of the colour table that follows the header.
std::uint64_t DibColorTableSize(const PackedDib* dib);
// The colour table as the block stores it: at most 256 entries, fewer when the
// header's colour count (biClrUsed) says so. A core header's entries are 3 bytes
// (blue, green, red) and read with `reserved` 0. Expects a complete block (DibIsComplete).
struct DibColour {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;
};
struct DibColourTable {
    std::array<DibColour, 256> entries{};
    std::size_t count = 0;
};
DibColourTable ReadDibColourTable(const PackedDib* dib);
// Bytes of one stored row: ((width x bitcount + 31) div 32) x 4.
std::uint64_t DibRowStride(const PackedDib* dib);
// Address of the first stored row (the bottom row of the picture).
std::uint8_t* DibBits(PackedDib* dib);
const std::uint8_t* DibBits(const PackedDib* dib);

// Empty when the block really holds the header, colour table and rows that it
// announces and its pixels are of a kind the program can show (1, 4, 8 or 24 bits,
// uncompressed); otherwise the reason. Every consumer of a block that came from a
// file asks this before it trusts the accessors.
Reason DibLayoutProblem(const PackedDib* dib);
inline bool DibIsComplete(const PackedDib* dib) { return !DibLayoutProblem(dib); }

// Blocks the program builds itself: 40-byte header, bottom-up rows, every pixel 0.
// An 8-bit block carries the grey ramp (entry i = i, i, i, 0); a 24-bit block has no
// table. The width is taken as given (the callers round it up to a multiple of 4).
// Null if the memory cannot be had or the rows would pass 4 GiB (biSizeImage is 32-bit).
PackedDibPtr CreateGreyDib(std::uint16_t width, std::uint16_t height);
PackedDibPtr CreateRgbDib(std::uint16_t width, std::uint16_t height);

// The width rounded up to a multiple of 4, the rule for every block the program builds.
inline std::uint32_t RoundUpToFour(std::uint32_t width) { return (width + 3u) & ~3u; }

// The width a builder gives a block made from `width` source columns: rounded up to a
// multiple of 4 while that is still a 16-bit number; the widest widths (65,533 to
// 65,535) are kept and their rows padded instead.
inline std::uint16_t BuiltWidth(std::uint16_t width) {
    return width > 65532 ? width : static_cast<std::uint16_t>(RoundUpToFour(width));
}
