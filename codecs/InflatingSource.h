// A deflated data set read as a file is read: by position, without ever holding
// the inflated data set. The bytes before the deflated stream (the preamble and
// the meta group) are the file's own; after them come the inflated bytes, made on
// demand by inflating forward from the nearest of a few restart points. The
// restart points are found in one pass when the source is opened, in the manner of
// zlib's zran example: at a deflate block boundary every few megabytes, the input
// position, the bits pending in its last byte and the 32 KiB of output before it,
// which is all inflate needs to go on from there. Memory stays bounded by those
// windows (at most kMostRestartPoints of them) and one block of output kept for
// the reads that follow each other, whatever the size of the data set.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "io/ByteSource.h"
#include "io/Reason.h"

class InflatingSource final : public ByteSource {
public:
    static constexpr std::size_t kMostRestartPoints = 256;
    static constexpr std::size_t kWindowBytes = 32768;
    // Output kept for reads that follow each other, and produced per step.
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

    // Opens the raw deflate stream that starts at `start` in `file` and runs to its
    // end. Null, with an InflateFailure or the file's read failure in `why`, when
    // the stream is corrupt, truncated, inflates to more than `cap` bytes or cannot
    // be read. `firstSpacing` is the output between restart points until the index
    // fills (then it doubles); tests set it small.
    static std::shared_ptr<InflatingSource> Open(std::shared_ptr<const ByteSource> file, std::uint64_t start,
                                                 std::uint64_t cap, Reason* why,
                                                 std::uint64_t firstSpacing = std::uint64_t{4} << 20);
    ~InflatingSource() override;
    InflatingSource(const InflatingSource&) = delete;
    InflatingSource& operator=(const InflatingSource&) = delete;

    std::uint64_t Size() const override { return m_start + m_inflatedSize; }
    SourceRead ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override;
    bool Unchanged() const override { return m_file->Unchanged(); }

    std::size_t RestartPoints() const { return m_points.size(); }
    // Inflated bytes made so far by reads (not by opening): for measuring.
    std::uint64_t BytesInflatedByReads() const;

    struct RestartPoint {
        std::uint64_t in = 0;   // bytes of the deflate stream before the point
        std::uint64_t out = 0;  // inflated bytes before the point
        int bits = 0;           // bits of the byte before `in` not yet consumed
        std::vector<std::uint8_t> window;
    };

private:
    // The live inflate (zlib's state, kept out of this header).
    struct Stream;
    InflatingSource(std::shared_ptr<const ByteSource> file, std::uint64_t start, std::unique_ptr<Stream> stream);
    bool Index(std::uint64_t cap, std::uint64_t spacing, Reason* why);
    bool Restart(const RestartPoint& point) const;
    bool Inflate(std::uint8_t* into, std::size_t size, std::size_t& produced, SourceRead& read) const;
    SourceRead ReadInflated(std::uint64_t offset, std::uint8_t* out, std::size_t size) const;

    std::shared_ptr<const ByteSource> m_file;
    std::uint64_t m_start;
    std::uint64_t m_inflatedSize = 0;
    std::vector<RestartPoint> m_points;
    mutable std::mutex m_lock;
    std::unique_ptr<Stream> m_stream;
    mutable std::vector<std::uint8_t> m_block;  // output at m_blockStart, for reads that follow
    mutable std::uint64_t m_blockStart = 0;
    mutable std::uint64_t m_inflatedByReads = 0;
};
