// The range of the rescaled 16-bit samples of a whole pixel-data value, read from
// its source in large blocks and scanned eight samples at a time. The document
// needs it for the default window of a file that gives none; the viewer runs it on
// a worker thread for the window sliders' ranges. It touches nothing but the
// request, so it may run on any thread while the reader goes on showing frames.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "dicom/GreyWindow.h"
#include "io/ByteSource.h"

struct SampleRangeRequest {
    std::shared_ptr<const ByteSource> source;  // null: nothing to scan
    std::uint64_t offset = 0;                  // of the pixel data value in the source
    std::uint64_t length = 0;                  // bytes of the value; length / 2 samples
    std::int16_t intercept = 0;
    explicit operator bool() const { return source != nullptr; }
};

struct SampleRangeOutcome {
    SampleRange range;                  // valid only when read is Done and not cancelled
    SourceRead read = SourceRead::Done;
    bool cancelled = false;
    bool Complete() const { return read == SourceRead::Done && !cancelled; }
};

// Scans the request's samples. `cancel`, when given, is looked at between blocks.
SampleRangeOutcome ScanSampleRange(const SampleRangeRequest& request, const std::atomic<bool>* cancel = nullptr);
