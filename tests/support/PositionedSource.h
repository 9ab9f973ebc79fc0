// Bytes in memory that the reader must read by position, as it reads a file, and
// that count what was read: tests see what opening, listing and showing a frame
// cost, and can make the "file" shrink under the reader.
#pragma once

#include <atomic>
#include <cstring>
#include <vector>

#include "io/ByteSource.h"

class PositionedSource final : public ByteSource {
public:
    explicit PositionedSource(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)), m_size(m_bytes.size()) {}

    std::uint64_t Size() const override { return m_size; }
    SourceRead ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override {
        if (offset > m_bytes.size() || size > m_bytes.size() - offset) {
            return SourceRead::Changed;
        }
        if (size != 0) {
            std::memcpy(out, m_bytes.data() + offset, size);
        }
        m_read += size;
        return m_bytes.size() == m_size ? SourceRead::Done : SourceRead::Changed;
    }
    bool Unchanged() const override { return m_bytes.size() == m_size; }

    std::uint64_t BytesRead() const { return m_read; }
    // The file shrinks to `size` bytes, as if another program truncated it.
    void Truncate(std::size_t size) { m_bytes.resize(size); }

private:
    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_size;
    mutable std::atomic<std::uint64_t> m_read{0};
};
