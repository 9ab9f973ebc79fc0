// The range of modality values of a file's frames, and the window a frame is drawn
// with when the file gives none. The document needs the range for that default
// window; the viewer runs the pass on a worker thread for the window sliders'
// ranges. The pass reads every frame through the frame source without keeping them,
// so it may run on any thread while the same source goes on giving frames to show.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>

#include "dicom/FrameRender.h"
#include "dicom/FrameSource.h"
#include "dicom/ImageAttributes.h"

struct ValueRange {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();

    bool Empty() const { return !(min <= max); }
    void Widen(const ValueRange& other) {
        if (other.min < min) min = other.min;
        if (other.max > max) max = other.max;
    }
    bool operator==(const ValueRange&) const = default;
};

// The modality values of one frame's grey samples (NaN and infinite float samples
// left out); empty for colour.
ValueRange FrameValueRange(const FrameSamples& samples, const ImageAttributes& attributes);

struct RangeOutcome {
    ValueRange range;
    Reason failure;  // a frame could no longer be read (the file changed or failed)
    bool cancelled = false;
    // The pass ran out of time before the last frame: the range is that of the
    // frames it read, `framesRead` of `frames`.
    bool stoppedEarly = false;
    std::int32_t framesRead = 0;
    std::int32_t frames = 0;
    bool Complete() const { return !failure && !cancelled; }
};

// How long a pass may go on decoding compressed frames, which may take seconds each:
// past `at`, no further compressed frame is decoded once one has been (a range needs
// at least one). Uncompressed frames are read whatever the time: they cost a read.
// Shared by the passes over the files of a stack.
struct RangeDeadline {
    std::chrono::steady_clock::time_point at;
    bool decodedOne = false;
};

// The range over every frame the pixel data holds; frames that give no samples add
// nothing. `cancel`, when given, is looked at between frames; so is `deadline`.
RangeOutcome ScanModalityRange(const FrameSource& source, const std::atomic<bool>* cancel = nullptr,
                               RangeDeadline* deadline = nullptr);

// The window of a frame with no window of its own: for samples of 8 bits or fewer,
// unsigned, the whole range they can take (8-bit data shows as it is stored); for
// the others, from `range` (the values of every frame): centre (max + min) / 2,
// rounded half up for whole numbers, width |max| + |min|, the sum of the magnitudes
// (so that data starting at 100 shows 100 as a dark grey, not as black). An empty
// range gives width 0; an unknown one (null) the range the stored samples can take.
DisplayWindow DefaultDisplayWindow(const ImageAttributes& attributes, std::int32_t frame, const ValueRange* range);
// Whether that default depends on the range: samples wider than 8 bits, or signed.
bool DefaultWindowNeedsRange(const ImageAttributes& attributes);
