#include "dicom/EncapsulatedPixelData.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "io/ByteOrder.h"

namespace {

constexpr std::uint16_t kItemGroup = 0xFFFE;
constexpr std::uint16_t kItem = 0xE000;
constexpr std::uint16_t kSequenceEnd = 0xE0DD;

bool Fail(Reason* why, Reason reason) {
    SetReason(why, std::move(reason));
    return false;
}

// The fragment whose item starts at `offset`, or fragments.size().
std::size_t FragmentAt(const EncapsulatedPixelData& pixels, std::uint64_t offset) {
    const auto& f = pixels.fragments;
    const auto it = std::lower_bound(f.begin(), f.end(), offset,
                                     [](const PixelFragment& a, std::uint64_t o) { return a.itemOffset < o; });
    return it != f.end() && it->itemOffset == offset ? static_cast<std::size_t>(it - f.begin()) : f.size();
}

bool StartsFromOffsets(const EncapsulatedPixelData& pixels, const std::vector<std::uint64_t>& offsets,
                       std::vector<std::size_t>& starts) {
    starts.clear();
    for (std::uint64_t offset : offsets) {
        const std::size_t index = FragmentAt(pixels, offset);
        if (index == pixels.fragments.size() || (!starts.empty() && index <= starts.back())) {
            return false;
        }
        starts.push_back(index);
    }
    return !starts.empty() && starts.front() == 0;
}

bool StartsCodestream(const PixelFragment& fragment, FrameCodec codec) {
    static const std::uint8_t kJp2[] = {0, 0, 0, 12, 'j', 'P', ' ', ' '};
    static const std::uint8_t kJxl[] = {0, 0, 0, 12, 'J', 'X', 'L', ' '};
    const std::size_t size = std::min<std::size_t>(fragment.length, fragment.head.size());
    const std::uint8_t* head = fragment.head.data();
    const bool jpeg2000 = codec == FrameCodec::Jpeg2000 || codec == FrameCodec::HtJpeg2000;
    if (size < 2 || head[0] != 0xFF) {
        // A JP2 or JPH file, or a JPEG XL container, begins with its signature box.
        const std::uint8_t* box = jpeg2000 ? kJp2 : codec == FrameCodec::JpegXl ? kJxl : nullptr;
        return box != nullptr && size >= sizeof kJp2 && std::memcmp(head, box, sizeof kJp2) == 0;
    }
    switch (codec) {
    case FrameCodec::Jpeg:
    case FrameCodec::JpegLs: return head[1] == 0xD8;
    case FrameCodec::Jpeg2000:
    case FrameCodec::HtJpeg2000: return head[1] == 0x4F;
    case FrameCodec::JpegXl: return head[1] == 0x0A;
    case FrameCodec::Rle: return false;
    }
    return false;
}

// Bytes in memory seen as a source, for the items of a value given as a span.
class SpanSource final : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    SourceRead ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override {
        if (offset > m_bytes.size() || size > m_bytes.size() - offset) {
            return SourceRead::Failed;
        }
        if (size != 0) {
            std::memcpy(out, m_bytes.data() + offset, size);
        }
        return SourceRead::Done;
    }
    const std::uint8_t* Memory() const override { return m_bytes.data(); }

private:
    std::span<const std::uint8_t> m_bytes;
};

// Reads item headers by position, the few bytes asked for each time, so that a
// fragment's value is stepped over unread.
class ItemReader {
public:
    static constexpr std::size_t kMost = 4096;
    explicit ItemReader(const ByteSource& source) : m_source(source), m_memory(source.Memory()) {}
    // `size` bytes (at most kMost) at `at`, inside the source; null when they
    // cannot be read (`read` says how the read ended).
    const std::uint8_t* At(std::uint64_t at, std::size_t size, SourceRead& read) {
        const std::uint64_t total = m_source.Size();
        if (at > total || size > total - at || size > sizeof m_block) {
            read = SourceRead::Failed;
            return nullptr;
        }
        if (m_memory != nullptr) {
            return m_memory + at;
        }
        read = m_source.ReadAt(at, m_block, size);
        return read == SourceRead::Done ? m_block : nullptr;
    }

private:
    const ByteSource& m_source;
    const std::uint8_t* m_memory;
    std::uint8_t m_block[kMost];
};

}  // namespace

std::string ReasonText(FragmentFailure code, const Reason& reason) {
    switch (code) {
    case FragmentFailure::Unreadable: return "the compressed pixel data could not be read";
    case FragmentFailure::NotItems: return "the compressed pixel data holds something other than items";
    case FragmentFailure::ItemPastEnd: return "an item of the compressed pixel data runs past the end of the file";
    case FragmentFailure::OffsetTableLength: return "the basic offset table's length is not a multiple of 4";
    case FragmentFailure::NoOffsetTable: return "the compressed pixel data has no offset table item";
    case FragmentFailure::NoFragments: return "the compressed pixel data holds no fragments";
    case FragmentFailure::FrameOutside: break;
    case FragmentFailure::FramesNotTold: return "the frames cannot be told apart in the compressed pixel data";
    case FragmentFailure::DelimiterInside:
        return "the compressed frame holds a sequence delimiter (FFFE,E0DD) at byte " + std::to_string(reason.First()) +
               " of its data, so its data is damaged";
    }
    return "frame " + std::to_string(reason.First()) + " lies outside the pixel data";
}

const char* ReasonName(FragmentFailure code) {
    switch (code) {
    case FragmentFailure::Unreadable: return "fragments_unreadable";
    case FragmentFailure::NotItems: return "fragments_not_items";
    case FragmentFailure::ItemPastEnd: return "item_past_end";
    case FragmentFailure::OffsetTableLength: return "offset_table_length";
    case FragmentFailure::NoOffsetTable: return "no_offset_table";
    case FragmentFailure::NoFragments: return "no_fragments";
    case FragmentFailure::FrameOutside: return "frame_outside";
    case FragmentFailure::FramesNotTold: return "frames_not_told";
    case FragmentFailure::DelimiterInside: return "delimiter_inside_frame";
    }
    return "unknown";
}

bool WalkFragments(const ByteSource& source, std::uint64_t start, EncapsulatedPixelData& out, SourceRead& read,
                   Reason* why) {
    out = EncapsulatedPixelData();
    read = SourceRead::Done;
    const std::uint64_t size = source.Size();
    ItemReader reader(source);
    const auto unreadable = [&] { return Fail(why, FragmentFailure::Unreadable); };
    std::uint64_t at = start;
    bool first = true;
    std::uint64_t firstFragment = 0;
    while (at <= size && size - at >= 8) {
        // The header, and the first bytes of the value where a codestream starts.
        const auto ahead = static_cast<std::size_t>(std::min<std::uint64_t>(16, size - at));
        const std::uint8_t* p = reader.At(at, ahead, read);
        if (p == nullptr) {
            return unreadable();
        }
        const std::uint16_t group = ReadLE16(p);
        const std::uint16_t element = ReadLE16(p + 2);
        const std::uint32_t length = ReadLE32(p + 4);
        if (group != kItemGroup || (element != kItem && element != kSequenceEnd)) {
            if (first) {
                return Fail(why, FragmentFailure::NotItems);
            }
            break;  // the delimiter is missing: the items end where something else starts
        }
        if (element == kSequenceEnd) {
            out.end = at + 8 - start;
            break;
        }
        if (length > size - at - 8) {
            return Fail(why, FragmentFailure::ItemPastEnd);
        }
        if (first) {
            if (length % 4 != 0) {
                return Fail(why, FragmentFailure::OffsetTableLength);
            }
            for (std::uint32_t i = 0; i < length; i += ItemReader::kMost) {
                const auto part = static_cast<std::size_t>(std::min<std::uint32_t>(ItemReader::kMost, length - i));
                const std::uint8_t* offsets = reader.At(at + 8 + i, part, read);
                if (offsets == nullptr) {
                    return unreadable();
                }
                for (std::size_t k = 0; k < part; k += 4) {
                    out.basicOffsets.push_back(ReadLE32(offsets + k));
                }
            }
            first = false;
            firstFragment = at + 8 + length;
        } else {
            PixelFragment fragment{at - firstFragment, at + 8, length, {}};
            std::memcpy(fragment.head.data(), p + 8, std::min<std::size_t>(length, ahead - 8));
            out.fragments.push_back(fragment);
        }
        at += 8 + std::uint64_t{length};
        out.end = at - start;
    }
    if (first) {
        return Fail(why, FragmentFailure::NoOffsetTable);
    }
    return true;
}

std::int64_t SequenceDelimiterIn(std::span<const std::uint8_t> stream) {
    static const std::uint8_t kDelimiter[] = {0xFE, 0xFF, 0xDD, 0xE0};
    const auto at = std::search(stream.begin(), stream.end(), std::begin(kDelimiter), std::end(kDelimiter));
    return at == stream.end() ? -1 : static_cast<std::int64_t>(at - stream.begin());
}

bool ParseFragments(std::span<const std::uint8_t> value, EncapsulatedPixelData& out, Reason* why) {
    SourceRead read = SourceRead::Done;
    return WalkFragments(SpanSource(value), 0, out, read, why);
}

bool FrameSpans(const EncapsulatedPixelData& pixels, const ExtendedOffsets& extended, std::uint32_t frames,
                FrameCodec codec, std::vector<FragmentSpan>& spans, Reason* why) {
    spans.clear();
    const std::size_t total = pixels.fragments.size();
    if (frames == 0) {
        frames = 1;
    }
    if (total == 0) {
        return Fail(why, FragmentFailure::NoFragments);
    }
    // Frames that start at `starts`, each running to the next start (or, with
    // `single`, one fragment each).
    const auto take = [&](const std::vector<std::size_t>& starts, bool single) {
        for (std::size_t f = 0; f < starts.size(); ++f) {
            const std::size_t next = f + 1 < starts.size() ? starts[f + 1] : total;
            spans.push_back({starts[f], single ? starts[f] + 1 : next});
        }
        return true;
    };
    std::vector<std::size_t> starts;
    // Extended offsets point at each frame's single fragment.
    if (extended.offsets.size() == frames && StartsFromOffsets(pixels, extended.offsets, starts)) {
        return take(starts, true);
    }
    std::vector<std::uint64_t> basic(pixels.basicOffsets.begin(), pixels.basicOffsets.end());
    if (basic.size() == frames && StartsFromOffsets(pixels, basic, starts)) {
        return take(starts, false);
    }
    if (total == frames || frames == 1) {
        starts.resize(frames);
        for (std::size_t f = 0; f < frames; ++f) {
            starts[f] = f;
        }
        return take(starts, false);
    }
    starts.clear();
    for (std::size_t i = 0; i < total; ++i) {
        if (StartsCodestream(pixels.fragments[i], codec)) {
            starts.push_back(i);
        }
    }
    if (starts.size() == frames && starts.front() == 0) {
        return take(starts, false);
    }
    return Fail(why, FragmentFailure::FramesNotTold);
}

bool FrameFragments(const EncapsulatedPixelData& pixels, const ExtendedOffsets& extended, std::uint32_t frames,
                    std::uint32_t frame, FrameCodec codec, std::vector<std::size_t>& indices, Reason* why) {
    indices.clear();
    if (frame >= std::max<std::uint32_t>(frames, 1)) {
        return Fail(why, Reason(FragmentFailure::FrameOutside).Numbers(frame));
    }
    std::vector<FragmentSpan> spans;
    if (!FrameSpans(pixels, extended, frames, codec, spans, why)) {
        return false;
    }
    for (std::size_t i = spans[frame].first; i < spans[frame].last; ++i) {
        indices.push_back(i);
    }
    return true;
}

std::span<const std::uint8_t> FrameStream(std::span<const std::uint8_t> value, const EncapsulatedPixelData& pixels,
                                          const std::vector<std::size_t>& indices, std::vector<std::uint8_t>& joined) {
    joined.clear();
    if (indices.size() == 1) {
        const PixelFragment& f = pixels.fragments[indices.front()];
        return value.subspan(f.valueStart, f.length);
    }
    for (std::size_t i : indices) {
        const PixelFragment& f = pixels.fragments[i];
        joined.insert(joined.end(), value.begin() + static_cast<std::ptrdiff_t>(f.valueStart),
                      value.begin() + static_cast<std::ptrdiff_t>(f.valueStart + f.length));
    }
    return joined;
}

std::span<const std::uint8_t> ReadFrameStream(const ByteSource& source, const EncapsulatedPixelData& pixels,
                                              FragmentSpan span, std::vector<std::uint8_t>& out, SourceRead& read) {
    out.clear();
    read = SourceRead::Failed;
    if (span.first >= span.last || span.last > pixels.fragments.size()) {
        return {};
    }
    std::uint64_t total = 0;
    for (std::size_t i = span.first; i < span.last; ++i) {
        const PixelFragment& f = pixels.fragments[i];
        if (f.valueStart > source.Size() || f.length > source.Size() - f.valueStart) {
            return {};
        }
        total += f.length;
    }
    const std::uint8_t* memory = source.Memory();
    if (memory != nullptr && span.last - span.first == 1) {
        read = SourceRead::Done;
        const PixelFragment& f = pixels.fragments[span.first];
        return {memory + f.valueStart, f.length};
    }
    try {
        out.resize(static_cast<std::size_t>(total));
    } catch (const std::bad_alloc&) {
        return {};
    }
    std::size_t at = 0;
    for (std::size_t i = span.first; i < span.last; ++i) {
        const PixelFragment& f = pixels.fragments[i];
        read = source.ReadAt(f.valueStart, out.data() + at, f.length);
        if (read != SourceRead::Done) {
            out.clear();
            return {};
        }
        at += f.length;
    }
    return out;
}

const char* ReasonSummary(FragmentFailure code) {
    switch (code) {
    case FragmentFailure::FrameOutside: return "the frame lies outside the pixel data";
    case FragmentFailure::DelimiterInside: return "a compressed frame holds a sequence delimiter, so its data is damaged";
    default: return nullptr;
    }
}
