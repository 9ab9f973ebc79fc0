// What a CDicomFile keeps besides its public fields: the file buffer that the
// buffer and pixel-data pointers refer into, and the per-file caches that let one
// frame cost one frame.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dicom/EncapsulatedPixelData.h"
#include "dicom/TransferSyntax.h"

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

    // Set by the header decoder when the current element has an undefined length,
    // with where its value (or first item) starts.
    bool undefinedLength = false;
    std::uint32_t valueStart = 0;

    // The transfer syntax named by the file meta group in the last walk; null when
    // there was none or the UID is not in the table (the walk then guesses the
    // VR element by element, little-endian).
    std::string syntaxUid;
    const TransferSyntax* syntax = nullptr;
    // The walk has passed the meta group of a big-endian file.
    bool bigEndian = false;
    // (0028,0006) Planar Configuration: 1 when colour is stored plane by plane.
    std::uint16_t planarConfiguration = 0;
    // The captured Pixel Data was read in a big-endian data set.
    bool bigEndianPixels = false;
    // The buffer's data set was inflated by a walk: later walks read it as it is.
    bool inflated = false;
    // Why the data set after the meta group could not be read (a deflate that failed).
    Reason dataSetProblem;

    // Encapsulated pixel data: the items and where each fragment lies, and the
    // extended offset table when the file has one.
    std::span<const std::uint8_t> items;
    EncapsulatedPixelData fragments;
    ExtendedOffsets extended;
    Reason itemsProblem;

    // Where the conversion reads its samples (see DicomFrameSource.cpp): the pixel
    // data itself, or `converted`, which holds every frame rearranged (frame -1) or
    // one decoded frame.
    const std::uint8_t* source = nullptr;
    std::uint32_t sourceLength = 0;
    std::int32_t sourceFirstFrame = 0;
    Reason sourceReason;
    std::vector<std::uint8_t> converted;
    std::uint64_t convertedGeneration = 0;
    std::int32_t convertedFrame = -1;
    const std::uint8_t* convertedData = nullptr;
    std::uint64_t sourceSerial = 0;  // changes whenever `converted` does
    // The captured Pixel Data had an undefined length (encapsulated fragments).
    bool encapsulated = false;

    // Range of the whole pixel data after the rescale, computed once per file.
    bool rangeKnown = false;
    std::uint64_t rangeGeneration = 0;
    const std::uint8_t* rangeData = nullptr;
    std::uint64_t rangeSerial = 0;
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
