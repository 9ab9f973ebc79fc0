// What a CDicomFile keeps besides its public fields: the file buffer that the
// buffer and pixel-data pointers refer into, and the per-file caches that let one
// frame cost one frame.
#pragma once

#include <cstdint>
#include <vector>

#include "dicom/DicomFile.h"
#include "io/FileBuffer.h"
#include "dicom/GreyWindow.h"

struct CDicomFile::Impl {
    FileBuffer buffer;
    Reason loadFailure;
    // Buffers replaced by a load without a Reset first: m_pPixelData may still
    // point into one of them, so they live until the next Reset.
    std::vector<FileBuffer> retired;
    // Changes with every load and Reset, so that no cache outlives its file.
    std::uint64_t generation = 0;

    // Set by the header decoder when the current element has an undefined length.
    bool undefinedLength = false;
    // The captured Pixel Data had an undefined length (encapsulated fragments).
    bool encapsulated = false;

    // Range of the whole pixel data after the rescale, computed once per file.
    bool rangeKnown = false;
    std::uint64_t rangeGeneration = 0;
    const std::uint8_t* rangeData = nullptr;
    std::uint32_t rangeLength = 0;
    std::int16_t rangeIntercept = 0;
    SampleRange range;

    // Grey table of the last window used.
    bool tableKnown = false;
    std::int16_t tableWidth = 0;
    std::int16_t tableCentre = 0;
    std::int16_t tableIntercept = 0;
    bool tableInverted = false;
    GreyTable table{};
};
