// What a CDicomFile keeps besides its public fields: the open file, the window of
// bytes the element walk reads from, the frames read recently, and the per-file
// caches that let one frame cost one frame.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "dicom/DicomFile.h"
#include "dicom/GreyWindow.h"
#include "dicom/SampleRangePass.h"
#include "io/ByteSource.h"

struct CDicomFile::Impl {
    // The loaded file (or bytes in memory).
    std::shared_ptr<const ByteSource> source;
    // Why the last load failed.
    Reason loadFailure;
    // The file's path, for the words of a failed read.
    std::string path;
    // The source the captured pixel data lies in: a load without a Reset first
    // replaces `source` but leaves the captured pixel data readable.
    std::shared_ptr<const ByteSource> pixelSource;

    // Bytes [windowStart, windowStart + windowLength) of `source`, read for the walk.
    std::vector<std::uint8_t> window;
    std::uint64_t windowStart = 0;
    std::size_t windowLength = 0;
    // The first bytes of the file, where the layout is decided.
    std::uint8_t head[132] = {};
    std::size_t headLength = 0;

    // Set by the header decoder when the current element has an undefined length.
    bool undefinedLength = false;
    // The captured Pixel Data had an undefined length (encapsulated fragments).
    bool encapsulated = false;

    // Frames read from the file, most recent first (the pixel data's own offsets).
    struct CachedBytes {
        std::uint64_t offset = 0;  // in the file
        std::uint64_t size = 0;
        std::unique_ptr<std::uint8_t[]> bytes;
    };
    std::deque<CachedBytes> frames;
    // How the last read of pixel bytes ended, and for which frame (-1: not a frame).
    SourceRead lastRead = SourceRead::Done;
    std::int32_t lastReadFrame = -1;

    // Range of the whole pixel data after the rescale, computed once per file.
    bool rangeKnown = false;
    SampleRangeRequest rangeOf;  // what the cached range was computed from
    SampleRange range;
    // A 16-bit conversion ran without needing the range; it is still to be settled.
    bool rangePending = false;

    // Grey table of the last window used.
    bool tableKnown = false;
    std::int16_t tableWidth = 0;
    std::int16_t tableCentre = 0;
    std::int16_t tableIntercept = 0;
    bool tableInverted = false;
    GreyTable table{};
};
