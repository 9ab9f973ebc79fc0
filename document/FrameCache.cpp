#include "document/FrameCache.h"

#include <algorithm>

#include "io/ImageMemoryLimit.h"

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kMostCacheBytes = 256 * kMiB;
constexpr std::size_t kLeastCacheBytes = 32 * kMiB;
// What a frame without samples or picture is counted as: its attributes and path.
constexpr std::size_t kFrameOverhead = 512;

}  // namespace

std::size_t LoadedFrame::Bytes() const {
    std::size_t bytes = kFrameOverhead;
    if (samples) bytes += samples->bytes.size();
    if (image) bytes += image->Length();
    return bytes;
}

std::size_t DefaultFrameCacheBytes() {
    const std::uint64_t physical = PhysicalMemoryBytes();
    if (physical == 0) return kMostCacheBytes;
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(physical / 16, kLeastCacheBytes, kMostCacheBytes));
}

const LoadedFrame* FrameCache::Find(std::int32_t index) {
    const auto found = m_where.find(index);
    if (found == m_where.end()) return nullptr;
    m_order.splice(m_order.begin(), m_order, found->second);
    return &*found->second;
}

void FrameCache::Put(LoadedFrame frame) {
    const auto found = m_where.find(frame.index);
    if (found != m_where.end()) {
        m_bytes -= found->second->Bytes();
        m_order.erase(found->second);
        m_where.erase(found);
    }
    m_bytes += frame.Bytes();
    const std::int32_t index = frame.index;
    m_order.push_front(std::move(frame));
    m_where[index] = m_order.begin();
    Shrink();
}

void FrameCache::DropImages() {
    for (LoadedFrame& frame : m_order) {
        if (frame.image) m_bytes -= frame.image->Length();
        frame.image.reset();
        frame.window.reset();
        // A frame that was read is drawn again; one that could not be read stays so.
        if (frame.samples) frame.noImage = Reason();
    }
}

void FrameCache::Clear() {
    m_order.clear();
    m_where.clear();
    m_bytes = 0;
}

void FrameCache::Shrink() {
    while (m_bytes > m_budget && m_order.size() > 1) {
        m_bytes -= m_order.back().Bytes();
        m_where.erase(m_order.back().index);
        m_order.pop_back();
    }
}
