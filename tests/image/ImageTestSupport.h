// Small builders shared by the image tests: bitmap blocks with chosen header fields,
// .bmp file bytes around a block, and files read and written whole.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/ByteOrder.h"
#include "image/PackedDib.h"
#include "tests/support/TempFiles.h"

using Bytes = std::vector<std::uint8_t>;

// An info-header block: `headerSize` header bytes with the given fields, then `tail`.
inline Bytes InfoHeader(std::uint32_t headerSize, std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                        std::uint32_t compression = 0, std::uint32_t colorsUsed = 0) {
    Bytes b(headerSize, 0);
    WriteLE32(b.data(), headerSize);
    WriteLE32(b.data() + 4, static_cast<std::uint32_t>(width));
    WriteLE32(b.data() + 8, static_cast<std::uint32_t>(height));
    WriteLE16(b.data() + 12, 1);
    WriteLE16(b.data() + 14, bitCount);
    if (headerSize >= 20) {
        WriteLE32(b.data() + 16, compression);
    }
    if (headerSize >= 36) {
        WriteLE32(b.data() + 32, colorsUsed);
    }
    return b;
}

inline void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

// A grey table of `entries` four-byte entries.
inline Bytes GreyTable(int entries) {
    Bytes t;
    for (int i = 0; i < entries; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        t.insert(t.end(), {v, v, v, 0});
    }
    return t;
}

// The .bmp file for a block: "BM", then header fields that readers must not trust.
inline Bytes BmpFileBytes(const Bytes& block) {
    Bytes file = {'B', 'M', 0xEE, 0xEE, 0xEE, 0xEE, 0x12, 0x34, 0x56, 0x78, 0x99, 0x99, 0x00, 0x00};
    Append(file, block);
    return file;
}

// A block holding exactly these bytes, as if read from a file.
inline PackedDibPtr BlockFrom(const Bytes& bytes) {
    PackedDibPtr dib = PackedDib::Allocate(bytes.size());
    std::copy(bytes.begin(), bytes.end(), dib->Bytes());
    return dib;
}

inline Bytes BlockBytes(const PackedDib* dib) { return Bytes(dib->Bytes(), dib->Bytes() + dib->Length()); }

// The byte at picture row `row` (from the top), byte `column` of that row.
inline std::uint8_t PictureByte(const PackedDib* dib, std::uint32_t row, std::uint64_t column) {
    return DibBits(dib)[(DibHeight(dib) - 1u - row) * DibRowStride(dib) + column];
}

inline Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
