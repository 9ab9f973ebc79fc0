// Generated CT-like studies: a 16-bit signed multi-frame phantom written as a real
// DICOM file (preamble, DICM, file meta group, explicit VR little endian). The build
// makes the bundled sample study with it; tests and benchmarks make their large
// studies with it, since nothing borrowed from elsewhere may serve as test data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PhantomOptions {
    std::uint16_t rows = 256;
    std::uint16_t columns = 256;
    std::uint32_t frames = 32;
    // Private text elements added before the pixel data (for listing workloads).
    std::uint32_t extraElements = 0;
    bool writeWindow = true;
    std::int16_t windowWidth = 400;
    std::int16_t windowCenter = 40;
    std::int16_t rescaleIntercept = -1024;
    // Hounsfield units = stored x slope + intercept; written as "1" when 1.
    double rescaleSlope = 1.0;
    // Written only when set: milliseconds between frames, the study's date, the
    // Image Orientation (Patient) (e.g. "1\\0\\0\\0\\1\\0", axial) and the
    // Imager Pixel Spacing of a projection image.
    double frameTimeMs = 0.0;
    std::string studyDate;
    std::string orientation;
    std::string imagerPixelSpacing;
    // Pixel Spacing, or none when empty.
    std::string pixelSpacing = "0.7\\0.7";
    // The UIDs: ROOT.2.1 for the study, ROOT.3.1 for the series, ROOT.1.1 for the
    // instance, or ROOT.1.N with Instance Number N written when `instanceNumber` is
    // set, so that several files make one series.
    std::string uidRoot = "2.25.2718281828459045235360287471352662497";
    std::uint32_t instanceNumber = 0;
};

// The stored value of pixel (row, column) of frame `frame`: Hounsfield units of the
// phantom minus the rescale intercept, divided by the slope and rounded.
std::int16_t PhantomSample(const PhantomOptions& options, std::uint32_t frame, std::uint16_t row, std::uint16_t column);

// Writes the study to `path` with the program's own file writer (a temporary file
// renamed over the target), creating the folder if needed. Empty on success,
// otherwise why it failed.
std::string WriteCtPhantom(const std::string& path, const PhantomOptions& options);

// Frame `frame` as a PGM picture, for an encoder's tool: with `bits` of 9 to 16 the
// stored samples (clamped to 2^bits - 1), with 8 the study through its window.
// Empty on success, otherwise why it failed.
std::string WritePhantomPgm(const std::string& path, const PhantomOptions& options, std::uint32_t frame, int bits);

// The study with every frame compressed as `stream` (one fragment a frame), in the
// transfer syntax `syntax`, `bits` allocated (8 or 16, unsigned samples).
std::string WriteEncapsulatedPhantom(const std::string& path, const PhantomOptions& options, const std::string& syntax,
                                     int bits, const std::vector<std::uint8_t>& stream);
