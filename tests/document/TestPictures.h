// Small picture files of every kind the document opens, built byte by byte for the
// document's tests and the command-line tool's end-to-end tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/dicomstream/DicomStreamBuilder.h"

namespace test_pictures {

using Bytes = std::vector<std::uint8_t>;

inline void PutU16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutU32(Bytes& b, std::uint32_t v) {
    PutU16(b, v & 0xFFFF);
    PutU16(b, v >> 16);
}

// A bottom-up .bmp file: 8-bit with a grey table (pixel (x, y) = value(x, y)), or
// 24-bit with every pixel blue, green, red = (b, g, r).
inline Bytes Bmp(std::uint16_t width, std::uint16_t height, int bitCount, std::uint8_t b = 0, std::uint8_t g = 0,
                 std::uint8_t r = 0) {
    std::uint32_t stride = ((width * static_cast<std::uint32_t>(bitCount) + 31) / 32) * 4;
    std::uint32_t table = bitCount == 8 ? 1024 : 0;
    std::uint32_t offset = 14 + 40 + table;
    Bytes out = {'B', 'M'};
    PutU32(out, offset + stride * height);
    PutU32(out, 0);
    PutU32(out, offset);
    PutU32(out, 40);
    PutU32(out, width);
    PutU32(out, height);
    PutU16(out, 1);
    PutU16(out, static_cast<std::uint32_t>(bitCount));
    for (int i = 0; i < 6; ++i) PutU32(out, 0);
    for (std::uint32_t i = 0; i < table / 4; ++i) {
        auto v = static_cast<std::uint8_t>(i);
        out.insert(out.end(), {v, v, v, 0});
    }
    for (std::uint32_t row = 0; row < height; ++row) {
        // Stored rows run bottom-up: stored row 0 is picture row height - 1.
        std::uint32_t pictureRow = height - 1 - row;
        for (std::uint32_t x = 0; x < stride; ++x) {
            if (bitCount == 8) {
                out.push_back(x < width ? static_cast<std::uint8_t>(x + 10 * pictureRow) : 0);
            } else {
                std::uint32_t channel = x % 3;
                out.push_back(x >= 3u * width ? 0 : channel == 0 ? b : channel == 1 ? g : r);
            }
        }
    }
    return out;
}

// A PCX picture of `height` lines of `bytesPerLine` bytes, every byte `value`,
// encoded as one run per line.
inline Bytes Pcx(std::uint16_t bytesPerLine, std::uint16_t height, std::uint8_t value) {
    Bytes out(128, 0);
    out[0] = 10;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    out[10] = static_cast<std::uint8_t>(height - 1);
    out[11] = static_cast<std::uint8_t>((height - 1) >> 8);
    out[65] = 1;
    out[66] = static_cast<std::uint8_t>(bytesPerLine);
    out[67] = static_cast<std::uint8_t>(bytesPerLine >> 8);
    for (std::uint32_t line = 0; line < height; ++line) {
        std::uint32_t left = bytesPerLine;
        while (left > 0) {
            std::uint32_t run = left < 63 ? left : 63;
            out.push_back(static_cast<std::uint8_t>(0xC0 + run));
            out.push_back(value);
            left -= run;
        }
    }
    return out;
}

// An 8-bit grey DICOM study whose frame f has every pixel 10 * f + 5.
inline DicomStreamBuilder Dicom8(std::uint16_t rows, std::uint16_t columns, int frames) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(rows, columns, 8);
    b.ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames));
    Bytes pixels;
    for (int f = 0; f < frames; ++f) pixels.insert(pixels.end(), std::size_t(rows) * columns, std::uint8_t(10 * f + 5));
    b.PixelData8(pixels);
    return b;
}

// A 16-bit signed DICOM study with window 400/40; frame f has every sample 100 * f.
inline DicomStreamBuilder Dicom16(std::uint16_t rows, std::uint16_t columns, int frames) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(rows, columns, 16);
    b.ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames))
        .ExplicitUS(0x0028, 0x0101, 16)
        .ExplicitUS(0x0028, 0x0102, 15)
        .ExplicitUS(0x0028, 0x0103, 1)
        .ExplicitText(0x0028, 0x1050, "DS", "40")
        .ExplicitText(0x0028, 0x1051, "DS", "400");
    std::vector<std::int16_t> samples;
    for (int f = 0; f < frames; ++f) samples.insert(samples.end(), std::size_t(rows) * columns, std::int16_t(100 * f));
    b.PixelData16(samples);
    return b;
}

// An RGB DICOM image, 8 bits per sample, every pixel (r, g, b) = (200, 100, 50).
inline DicomStreamBuilder DicomRgb(std::uint16_t rows, std::uint16_t columns) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(rows, columns, 8, 3, "RGB");
    Bytes pixels;
    for (std::size_t i = 0; i < std::size_t(rows) * columns; ++i) pixels.insert(pixels.end(), {200, 100, 50});
    b.PixelData8(pixels);
    return b;
}

// Image attributes but no pixel data element.
inline DicomStreamBuilder DicomWithoutPixels() {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(4, 4, 16);
    b.ExplicitText(0x0010, 0x0010, "PN", "NO^PIXELS");
    return b;
}

}  // namespace test_pictures
