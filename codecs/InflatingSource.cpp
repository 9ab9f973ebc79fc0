#include "codecs/InflatingSource.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "codecs/DecodeFailure.h"

namespace {

constexpr std::size_t kInputBytes = std::size_t{64} << 10;

// Hands zlib the next bytes of the stream when it has none left. False when it has
// none and the file has nothing more (`read` stays Done) or cannot be read (`read`
// says why).
bool Feed(const ByteSource& file, std::uint64_t start, z_stream& z, std::uint64_t& in, std::vector<std::uint8_t>& input,
          SourceRead& read) {
    if (z.avail_in != 0) {
        return true;
    }
    const std::uint64_t at = start + in;
    const std::uint64_t left = file.Size() > at ? file.Size() - at : 0;
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, input.size()));
    if (chunk == 0) {
        return false;
    }
    read = file.ReadAt(at, input.data(), chunk);
    if (read != SourceRead::Done) {
        return false;
    }
    z.next_in = input.data();
    z.avail_in = static_cast<uInt>(chunk);
    in += chunk;
    return true;
}

}  // namespace

struct InflatingSource::Stream {
    z_stream z{};
    bool ready = false;
    bool positioned = false;  // `in` and `out` are where the live stream stands
    bool ended = false;       // the stream's last block is done
    std::uint64_t in = 0;     // stream bytes handed to zlib (some may wait in avail_in)
    std::uint64_t out = 0;    // inflated bytes made
    std::vector<std::uint8_t> input;

    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream() {
        if (ready) {
            inflateEnd(&z);
        }
    }
};

InflatingSource::InflatingSource(std::shared_ptr<const ByteSource> file, std::uint64_t start,
                                 std::unique_ptr<Stream> stream)
    : m_file(std::move(file)), m_start(start), m_stream(std::move(stream)) {}

InflatingSource::~InflatingSource() = default;

std::shared_ptr<InflatingSource> InflatingSource::Open(std::shared_ptr<const ByteSource> file, std::uint64_t start,
                                                       std::uint64_t cap, Reason* why, std::uint64_t firstSpacing) {
    if (file == nullptr || start > file->Size()) {
        SetReason(why, InflateFailure::Truncated);
        return nullptr;
    }
    try {
        auto stream = std::make_unique<Stream>();
        if (inflateInit2(&stream->z, -MAX_WBITS) != Z_OK) {
            SetReason(why, InflateFailure::NotSetUp);
            return nullptr;
        }
        stream->ready = true;
        stream->input.resize(kInputBytes);
        std::shared_ptr<InflatingSource> source(new InflatingSource(std::move(file), start, std::move(stream)));
        if (!source->Index(cap, std::max<std::uint64_t>(firstSpacing, kWindowBytes), why)) {
            return nullptr;
        }
        return source;
    } catch (const std::bad_alloc&) {
        SetReason(why, InflateFailure::OutOfMemory);
        return nullptr;
    }
}

std::uint64_t InflatingSource::BytesInflatedByReads() const {
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_inflatedByReads;
}

bool InflatingSource::Index(std::uint64_t cap, std::uint64_t spacing, Reason* why) {
    Stream& s = *m_stream;
    // Output goes round a window of 32 KiB: all a restart point keeps of it.
    std::vector<std::uint8_t> window(kWindowBytes);
    m_points.push_back(RestartPoint{});  // the start needs no window
    std::uint64_t last = 0;
    for (;;) {
        SourceRead read = SourceRead::Done;
        const bool more = Feed(*m_file, m_start, s.z, s.in, s.input, read);
        if (read != SourceRead::Done) {
            SetReason(why, InflateFailure::Unreadable);
            return false;
        }
        if (s.z.avail_out == 0) {
            s.z.next_out = window.data();
            s.z.avail_out = static_cast<uInt>(window.size());
        }
        const uInt before = s.z.avail_out;
        const int status = inflate(&s.z, Z_BLOCK);
        s.out += before - s.z.avail_out;
        if (s.out > cap) {
            SetReason(why, Reason(InflateFailure::TooLarge).Numbers(static_cast<std::int64_t>(cap)));
            return false;
        }
        if (status == Z_STREAM_END) {
            break;
        }
        if (status == Z_MEM_ERROR) {
            SetReason(why, InflateFailure::OutOfMemory);
            return false;
        }
        if (status == Z_BUF_ERROR && !more) {
            SetReason(why, InflateFailure::Truncated);  // zlib wants bytes the file does not have
            return false;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            SetReason(why, InflateFailure::Corrupt);
            return false;
        }
        const bool blockBoundary = (s.z.data_type & 128) != 0 && (s.z.data_type & 64) == 0;
        if (blockBoundary && s.out - last >= spacing) {
            RestartPoint point;
            point.in = s.in - s.z.avail_in;
            point.out = s.out;
            point.bits = s.z.data_type & 7;
            // The window's bytes in order: from where output goes next, round to it.
            const std::size_t next = window.size() - s.z.avail_out;
            if (s.out >= window.size()) {
                point.window.assign(window.begin() + static_cast<std::ptrdiff_t>(next), window.end());
            }
            point.window.insert(point.window.end(), window.begin(), window.begin() + static_cast<std::ptrdiff_t>(next));
            m_points.push_back(std::move(point));
            last = s.out;
            if (m_points.size() > kMostRestartPoints) {
                // Every other point goes, and the spacing doubles.
                std::size_t kept = 0;
                for (std::size_t i = 0; i < m_points.size(); i += 2) {
                    m_points[kept++] = std::move(m_points[i]);
                }
                m_points.resize(kept);
                last = m_points.back().out;
                spacing *= 2;
            }
        }
    }
    m_inflatedSize = s.out;
    s.positioned = false;
    return true;
}

bool InflatingSource::Restart(const RestartPoint& point) const {
    Stream& s = *m_stream;
    if (inflateReset(&s.z) != Z_OK) {
        return false;
    }
    s.z.avail_in = 0;
    s.in = point.in;
    s.out = point.out;
    s.ended = false;
    if (point.bits != 0) {
        std::uint8_t byte = 0;
        if (point.in == 0 || m_file->ReadAt(m_start + point.in - 1, &byte, 1) != SourceRead::Done ||
            inflatePrime(&s.z, point.bits, byte >> (8 - point.bits)) != Z_OK) {
            return false;
        }
    }
    if (!point.window.empty() &&
        inflateSetDictionary(&s.z, point.window.data(), static_cast<uInt>(point.window.size())) != Z_OK) {
        return false;
    }
    s.positioned = true;
    return true;
}

bool InflatingSource::Inflate(std::uint8_t* into, std::size_t size, std::size_t& produced, SourceRead& read) const {
    Stream& s = *m_stream;
    produced = 0;
    while (produced < size && !s.ended) {
        const bool more = Feed(*m_file, m_start, s.z, s.in, s.input, read);
        if (read != SourceRead::Done) {
            return false;
        }
        s.z.next_out = into + produced;
        s.z.avail_out = static_cast<uInt>(std::min<std::size_t>(size - produced, UINT_MAX));
        const uInt before = s.z.avail_out;
        const int status = inflate(&s.z, Z_NO_FLUSH);
        produced += before - s.z.avail_out;
        s.out += before - s.z.avail_out;
        if (status == Z_STREAM_END) {
            s.ended = true;
        } else if ((status != Z_OK && status != Z_BUF_ERROR) || (status == Z_BUF_ERROR && !more)) {
            // The stream inflated whole when it was opened: if it fails now, the file changed.
            read = SourceRead::Changed;
            return false;
        }
    }
    return true;
}

SourceRead InflatingSource::ReadInflated(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
    Stream& s = *m_stream;
    while (size > 0) {
        if (!m_block.empty() && offset >= m_blockStart && offset < m_blockStart + m_block.size()) {
            const auto at = static_cast<std::size_t>(offset - m_blockStart);
            const std::size_t n = std::min(size, m_block.size() - at);
            std::memcpy(out, m_block.data() + at, n);
            out += n;
            offset += n;
            size -= n;
            continue;
        }
        // The nearest restart point at or before the offset, unless the live stream
        // stands between it and the offset already.
        const auto after = std::upper_bound(m_points.begin(), m_points.end(), offset,
                                            [](std::uint64_t o, const RestartPoint& p) { return o < p.out; });
        const RestartPoint& nearest = *(after - 1);
        if (!s.positioned || s.out > offset || s.out < nearest.out) {
            if (!Restart(nearest)) {
                s.positioned = false;
                return SourceRead::Failed;
            }
        }
        m_block.resize(kBlockBytes);
        m_blockStart = s.out;
        std::size_t produced = 0;
        SourceRead read = SourceRead::Done;
        const bool inflated = Inflate(m_block.data(), m_block.size(), produced, read);
        m_block.resize(produced);
        m_inflatedByReads += produced;
        if (!inflated || produced == 0) {
            s.positioned = false;
            m_block.clear();
            return inflated ? SourceRead::Changed : read;
        }
    }
    return SourceRead::Done;
}

SourceRead InflatingSource::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
    if (offset > Size() || size > Size() - offset) {
        return SourceRead::Failed;
    }
    if (offset < m_start) {
        const auto head = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_start - offset));
        const SourceRead read = m_file->ReadAt(offset, out, head);
        if (read != SourceRead::Done) {
            return read;
        }
        offset += head;
        out += head;
        size -= head;
    }
    if (size == 0) {
        return SourceRead::Done;
    }
    const std::lock_guard<std::mutex> hold(m_lock);
    return ReadInflated(offset - m_start, out, size);
}
