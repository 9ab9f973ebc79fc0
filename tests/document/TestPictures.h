// Small DICOM studies built element by element for the document's tests and the
// command-line tool's end-to-end tests (bitmaps and PCX pictures come from
// tests/support/PictureBytes.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/PictureBytes.h"
#include "tools/dicomstream/DicomStreamBuilder.h"

namespace test_pictures {

// An 8-bit grey DICOM study whose frame f has every pixel 10 * f + 5.
inline DicomStreamBuilder Dicom8(std::uint16_t rows, std::uint16_t columns, int frames) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(rows, columns, 8);
    b.ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames));
    Bytes pixels;
    for (int f = 0; f < frames; ++f)
        pixels.insert(pixels.end(), std::size_t(rows) * columns, std::uint8_t(10 * f + 5));
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
    for (int f = 0; f < frames; ++f)
        samples.insert(samples.end(), std::size_t(rows) * columns, std::int16_t(100 * f));
    b.PixelData16(samples);
    return b;
}

// An RGB DICOM image, 8 bits per sample, every pixel (r, g, b) = (200, 100, 50).
inline DicomStreamBuilder DicomRgb(std::uint16_t rows, std::uint16_t columns) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(rows, columns, 8, 3, "RGB");
    Bytes pixels;
    for (std::size_t i = 0; i < std::size_t(rows) * columns; ++i)
        pixels.insert(pixels.end(), {200, 100, 50});
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
