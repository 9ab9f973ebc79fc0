// The frames a document has read and drawn lately, within a budget of bytes: for
// each, the stored samples (so that a new window draws it again without reading or
// decoding), the picture drawn under the display of the moment, or why it gives
// none. The least recently used go first. Not locked: its owner locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <unordered_map>

#include "dicom/FrameRender.h"
#include "dicom/FrameSource.h"
#include "dicom/ImageAttributes.h"
#include "image/PackedDib.h"
#include "io/Reason.h"

// What the viewer needs to show one frame of a stack.
struct LoadedFrame {
    std::int32_t index = 0;  // in the stack
    std::shared_ptr<const FrameSamples> samples;
    std::shared_ptr<const ImageAttributes> attributes;  // of the file the frame is in
    std::string path;                                   // that file
    std::int32_t frameInFile = 0;
    // Drawn under display generation `generation`; null when the frame gives no image.
    std::shared_ptr<const PackedDib> image;
    std::uint64_t generation = 0;
    // 0: full resolution; n: reduced by 2^n in each direction, to be replaced by a
    // later delivery of the same frame at a lower level.
    std::uint8_t level = 0;
    // The window the picture was drawn with; none for colour and VOI LUTs.
    std::optional<DisplayWindow> window;
    Reason noImage;  // why there is no picture

    // Bytes this frame holds: samples and picture.
    std::size_t Bytes() const;
};

// The budget of a document's frames: 256 MiB, or a sixteenth of a smaller machine's
// memory (at least 32 MiB).
std::size_t DefaultFrameCacheBytes();

class FrameCache {
public:
    explicit FrameCache(std::size_t budgetBytes) : m_budget(budgetBytes) {}

    std::size_t Budget() const { return m_budget; }
    std::size_t Bytes() const { return m_bytes; }
    std::size_t Size() const { return m_order.size(); }

    // The frame, made the most recently used; null when not held.
    const LoadedFrame* Find(std::int32_t index);
    // Keeps `frame` (replacing what was held for its index) as the most recently
    // used, then lets the least recently used go until the bytes fit the budget. The
    // frame just kept stays even when it alone is larger.
    void Put(LoadedFrame frame);
    // Drops every picture and keeps the samples: the display changed.
    void DropImages();
    void Clear();

private:
    void Shrink();

    std::size_t m_budget;
    std::size_t m_bytes = 0;
    std::list<LoadedFrame> m_order;  // most recently used first
    std::unordered_map<std::int32_t, std::list<LoadedFrame>::iterator> m_where;
};
