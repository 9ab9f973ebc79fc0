// The range of the rescaled 16-bit samples of a whole pixel-data value, read from
// its source in large blocks and scanned eight samples at a time; samples stored
// big-endian or signed in fewer than 16 bits are brought into the conversion's
// layout block by block, and compressed frames are decoded one at a time. The
// document needs it for the default window of a file that gives none; the viewer
// runs it on a worker thread for the window sliders' ranges. It touches nothing
// but the request, so it may run on any thread while the reader goes on showing
// frames.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "codecs/FrameDecoder.h"
#include "dicom/EncapsulatedPixelData.h"
#include "dicom/GreyWindow.h"
#include "io/ByteSource.h"

// Where each compressed frame lies in the source, and how to decode it.
struct CompressedFrames {
    FrameCodec codec = FrameCodec::Jpeg;
    FrameGeometry geometry;
    EncapsulatedPixelData fragments;
    std::vector<FragmentSpan> frames;
};

struct SampleRangeRequest {
    SampleRangeRequest() = default;
    // Samples stored little-endian as they are read.
    SampleRangeRequest(std::shared_ptr<const ByteSource> from, std::uint64_t at, std::uint64_t bytes,
                       std::int16_t rescaleIntercept)
        : source(std::move(from)), offset(at), length(bytes), intercept(rescaleIntercept) {}

    std::shared_ptr<const ByteSource> source;  // null: nothing to scan
    std::uint64_t offset = 0;                  // of the pixel data value in the source
    std::uint64_t length = 0;                  // bytes of the value; length / 2 samples
    std::int16_t intercept = 0;
    bool bigEndian = false;  // the samples are stored big-endian
    int signBit = -1;        // 0..14: the samples are signed, with this sign bit
    // Set for compressed pixel data: every frame is decoded (offset and length then
    // only identify the value). A frame that does not decode adds nothing.
    std::shared_ptr<const CompressedFrames> compressed;
    explicit operator bool() const { return source != nullptr; }
    // Whether both ask for the range of the same samples.
    bool SameAs(const SampleRangeRequest& other) const {
        return source == other.source && offset == other.offset && length == other.length &&
               intercept == other.intercept && bigEndian == other.bigEndian && signBit == other.signBit &&
               compressed == other.compressed;
    }
};

struct SampleRangeOutcome {
    SampleRange range;  // valid only when read is Done and not cancelled
    SourceRead read = SourceRead::Done;
    bool cancelled = false;
    bool Complete() const { return read == SourceRead::Done && !cancelled; }
};

// Scans the request's samples. `cancel`, when given, is looked at between blocks
// (between frames for compressed data).
SampleRangeOutcome ScanSampleRange(const SampleRangeRequest& request, const std::atomic<bool>* cancel = nullptr);
