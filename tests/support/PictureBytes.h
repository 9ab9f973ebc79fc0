// Bitmap and PCX bytes built field by field for the tests: bitmap headers with
// chosen fields, colour tables, whole .bmp and .pcx files, and blocks holding given
// bytes as if read from a file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/PackedDib.h"
#include "io/ByteOrder.h"

using Bytes = std::vector<std::uint8_t>;

inline void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

inline void AppendLE32(Bytes& to, std::uint32_t value) {
    std::uint8_t field[4];
    WriteLE32(field, value);
    to.insert(to.end(), field, field + 4);
}

// An info header of `headerSize` bytes (at least the 16 the fields below need) with
// the given fields, the others 0.
inline Bytes InfoHeader(std::uint32_t headerSize, std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                        std::uint32_t compression = 0, std::uint32_t colorsUsed = 0) {
    Bytes b(std::max<std::uint32_t>(headerSize, 16), 0);
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

// The 12-byte core header of old bitmaps: 16-bit width and height, 3-byte colour entries.
inline Bytes CoreHeader(std::uint16_t width, std::uint16_t height, std::uint16_t bitCount) {
    Bytes b(12, 0);
    WriteLE32(b.data(), 12);
    WriteLE16(b.data() + 4, width);
    WriteLE16(b.data() + 6, height);
    WriteLE16(b.data() + 8, 1);
    WriteLE16(b.data() + 10, bitCount);
    return b;
}

// A grey table of `entries` four-byte entries.
inline Bytes GreyColourTable(int entries) {
    Bytes t;
    for (int i = 0; i < entries; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        t.insert(t.end(), {v, v, v, 0});
    }
    return t;
}

// The .bmp file for a block: "BM", then size and offset fields that readers must not trust.
inline Bytes BmpFileBytes(const Bytes& block) {
    Bytes file = {'B', 'M', 0xEE, 0xEE, 0xEE, 0xEE, 0x12, 0x34, 0x56, 0x78, 0x99, 0x99, 0x00, 0x00};
    Append(file, block);
    return file;
}

// A bottom-up .bmp file with true size and offset fields, as writers make them:
// 8-bit with a grey table and pixel (x, y) = x + 10 y, or 24-bit with every pixel
// blue, green, red = (b, g, r).
inline Bytes BmpFile(std::uint16_t width, std::uint16_t height, int bitCount, std::uint8_t b = 0, std::uint8_t g = 0,
                     std::uint8_t r = 0) {
    const std::uint32_t stride = (width * static_cast<std::uint32_t>(bitCount) + 31) / 32 * 4;
    Bytes block = InfoHeader(40, width, height, static_cast<std::uint16_t>(bitCount));
    if (bitCount == 8) Append(block, GreyColourTable(256));
    const auto rowsAt = static_cast<std::uint32_t>(14 + block.size());
    for (std::uint32_t row = 0; row < height; ++row) {
        // Stored rows run bottom-up: stored row 0 is picture row height - 1.
        const std::uint32_t pictureRow = height - 1 - row;
        for (std::uint32_t x = 0; x < stride; ++x) {
            if (bitCount == 8) {
                block.push_back(x < width ? static_cast<std::uint8_t>(x + 10 * pictureRow) : 0);
            } else {
                const std::uint32_t channel = x % 3;
                block.push_back(x >= 3u * width ? 0 : channel == 0 ? b : channel == 1 ? g : r);
            }
        }
    }
    Bytes file = {'B', 'M'};
    AppendLE32(file, rowsAt + stride * height);
    AppendLE32(file, 0);
    AppendLE32(file, rowsAt);
    Append(file, block);
    return file;
}

// A PCX file: the 128-byte header for lines `ymin` .. `ymax` of `bytesPerLine`
// bytes, then `data` (the encoded lines) as given.
inline Bytes PcxFile(std::uint16_t ymin, std::uint16_t ymax, std::uint16_t bytesPerLine, const Bytes& data,
                     std::uint8_t reserved = 0) {
    Bytes file(128 + data.size(), 0);
    std::copy(data.begin(), data.end(), file.begin() + 128);
    file[0] = 10;  // manufacturer, version, encoding, bits per pixel: not consulted
    file[1] = 5;
    file[2] = 1;
    file[3] = 8;
    WriteLE16(file.data() + 6, ymin);
    WriteLE16(file.data() + 8, 1);  // Xmax says 2 pixels wide; BytesPerLine decides
    WriteLE16(file.data() + 10, ymax);
    file[64] = reserved;
    file[65] = 1;
    WriteLE16(file.data() + 66, bytesPerLine);
    return file;
}

// A PCX picture of `height` lines of `bytesPerLine` bytes, every byte `value`, each
// line encoded as runs of at most 63.
inline Bytes PcxFilled(std::uint16_t bytesPerLine, std::uint16_t height, std::uint8_t value) {
    Bytes runs;
    for (std::uint32_t line = 0; line < height; ++line) {
        for (std::uint32_t left = bytesPerLine; left > 0;) {
            const std::uint32_t run = std::min<std::uint32_t>(left, 63);
            runs.push_back(static_cast<std::uint8_t>(0xC0 + run));
            runs.push_back(value);
            left -= run;
        }
    }
    return PcxFile(0, static_cast<std::uint16_t>(height - 1), bytesPerLine, runs);
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
