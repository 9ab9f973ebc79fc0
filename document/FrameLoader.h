// Reads and draws a document's frames off the thread that paints: the frame the
// user steps to first, then the frames ahead of it in the direction of travel, each
// read (FrameSource) and drawn (the render function) by a worker, and kept in a cache
// of a bounded number of bytes (FrameCache.h).
//
// The document asks for "the frame to show": the loader gives it at once when the
// cache holds it drawn under the display of the moment, and otherwise hands it to
// Deliver when a worker has it. It may hand over one frame more than once, a
// reduced picture first and the full one after (LoadedFrame::level), so that a
// decoder able to give reduced resolutions can show something sooner; the full
// picture is always the last.
//
// Workers are shared by every loader of the process. A loader that goes never waits
// for them: a frame being read or decoded then is finished and dropped.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "dicom/FrameRender.h"
#include "document/FrameCache.h"
#include "document/FrameStack.h"

struct FrameLoaderOptions {
    std::size_t cacheBytes = DefaultFrameCacheBytes();
    // Frames read ahead in the direction of travel (fewer when half the budget holds
    // fewer), and behind it.
    std::int32_t ahead = 48;
    std::int32_t behind = 2;
    // The area a frame is fitted into, in view pixels, until a view says the scale it
    // shows frames at (SetShownScale); 0 x 0 when not known.
    std::uint32_t fitWidth = 0;
    std::uint32_t fitHeight = 0;
    // Whether frames are read ahead from the start. A viewer holds the read-ahead
    // until its first frame has painted, so that nothing competes with that paint.
    bool readAhead = true;
};

class FrameLoader {
public:
    using Options = FrameLoaderOptions;
    // Called on a worker thread with the frame last asked for by Show (never with a
    // frame read ahead): a reduced picture of it first (level > 0) when one can be
    // had sooner, then the frame itself. Keep it short: hand the frame to the thread
    // that shows it, and never destroy the loader from it.
    using Deliver = std::function<void(const LoadedFrame&)>;

    struct Counters {
        std::uint64_t shown = 0;      // calls of Show
        std::uint64_t hits = 0;       // of them, answered from the cache
        std::uint64_t read = 0;       // frames read (and decoded) by the workers
        std::uint64_t drawn = 0;      // pictures drawn by the workers
        std::uint64_t delivered = 0;  // frames handed to Deliver
        std::uint64_t previews = 0;   // reduced pictures handed to Deliver before their frame
        std::size_t cachedBytes = 0;
        std::size_t cachedFrames = 0;
    };

    FrameLoader(std::shared_ptr<const FrameStack> stack, DisplayState display, Deliver deliver,
                Options options = Options());
    // Returns at once, whatever the workers are doing.
    ~FrameLoader();
    // At the end of the program: the workers of every loader leave once the frame
    // each reads is done, and no loader reads again. Waits up to `grace` for them;
    // true when none is left reading.
    static bool StopReading(std::chrono::milliseconds grace);
    FrameLoader(const FrameLoader&) = delete;
    FrameLoader& operator=(const FrameLoader&) = delete;

    const FrameStack& Stack() const { return *m_stack; }
    std::int32_t Count() const { return m_stack->Count(); }

    // Frame `index` is the one to show. Returned when the cache holds it drawn under
    // the display (or knows that it gives no image), or when a worker brings it
    // within `wait`; otherwise none, and Deliver brings it. Either way the frames
    // around it are read ahead in the direction of travel: the direction from the
    // frame shown before, wrapping at the ends as cine does.
    std::optional<LoadedFrame> Show(std::int32_t index, std::chrono::milliseconds wait = {});
    // The frame Show was last asked for, while Deliver has not brought it yet.
    std::optional<std::int32_t> Awaited() const;

    // Frames are drawn under `display` from now on: the frame shown is drawn again
    // from its samples at once, the others kept when the frames around the one
    // shown next are read ahead, without reading them again. Nothing is delivered:
    // whoever shows the frame draws it itself or asks Show again.
    void SetDisplay(const DisplayState& display);
    // The same when the caller has drawn the frame shown under `display` itself:
    // `drawn` (its index, the samples this loader gave for it, the picture and its
    // window) is kept as that frame's picture instead of being drawn again. Given
    // another frame, or samples not the ones kept, the workers draw it as above.
    void SetDisplay(const DisplayState& display, const LoadedFrame& drawn);
    // The scale frames are shown at: view pixels per image pixel, 0 when not known.
    // At 1/2 or less, a frame awaited whose codec decodes its lower resolutions for
    // less than the whole (JPEG 2000) is first drawn and delivered at the lowest
    // resolution that still has a pixel for each view pixel, then read whole. Only
    // the whole frame is kept and given by Show.
    void SetShownScale(double scale);
    // Starts or holds the read-ahead. While it is held only the frame awaited is
    // read (a frame shown and drawn under an earlier display waits as well); once
    // started, the frames around the one shown are read as Show plans them.
    void SetReadAhead(bool on);

    // A generation number that grows with each SetDisplay: a frame drawn under an
    // earlier display carries an earlier one.
    std::uint64_t Generation() const;

    Counters Stats() const;
    // Waits until no frame is queued or being read for this loader; false when that
    // takes longer than `most`. For tests and benchmarks.
    bool WaitIdle(std::chrono::milliseconds most) const;

    struct State;  // shared with the workers, known to the source file only

private:
    std::shared_ptr<const FrameStack> m_stack;
    std::shared_ptr<State> m_state;
};

// Draws frame `frame.frameInFile` of `frame.samples` under `display` into
// frame.image (and frame.window), or says why not in frame.noImage. A grey frame that
// takes the default window when the display knows no range of all frames takes it
// from the range of its own values.
void DrawLoadedFrame(LoadedFrame& frame, const DisplayState& display);
