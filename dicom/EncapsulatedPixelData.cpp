#include "dicom/EncapsulatedPixelData.h"

#include <algorithm>
#include <cstring>

#include "io/ByteOrder.h"

namespace {

constexpr std::uint16_t kItemGroup = 0xFFFE;
constexpr std::uint16_t kItem = 0xE000;
constexpr std::uint16_t kSequenceEnd = 0xE0DD;

bool Fail(std::string* why, const std::string& reason) {
    if (why != nullptr) {
        *why = reason;
    }
    return false;
}

// The fragment whose item starts at `offset`, or fragments.size().
std::size_t FragmentAt(const EncapsulatedPixelData& pixels, std::uint64_t offset) {
    const auto& f = pixels.fragments;
    const auto it = std::lower_bound(f.begin(), f.end(), offset,
                                     [](const PixelFragment& a, std::uint64_t o) { return a.itemOffset < o; });
    return it != f.end() && it->itemOffset == offset ? static_cast<std::size_t>(it - f.begin()) : f.size();
}

// First and one-past-last fragment of `frame` when frames start at `starts`
// (fragment indices, strictly increasing, the first 0).
void Range(const std::vector<std::size_t>& starts, std::size_t total, std::uint32_t frame,
           std::vector<std::size_t>& indices) {
    const std::size_t first = starts[frame];
    const std::size_t last = frame + 1 < starts.size() ? starts[frame + 1] : total;
    for (std::size_t i = first; i < last; ++i) {
        indices.push_back(i);
    }
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

bool StartsCodestream(std::span<const std::uint8_t> fragment, FrameCodec codec) {
    static const std::uint8_t kJp2[] = {0, 0, 0, 12, 'j', 'P', ' ', ' '};
    if (fragment.size() < 2 || fragment[0] != 0xFF) {
        return codec == FrameCodec::Jpeg2000 && fragment.size() >= sizeof kJp2 &&
               std::memcmp(fragment.data(), kJp2, sizeof kJp2) == 0;
    }
    switch (codec) {
    case FrameCodec::Jpeg:
    case FrameCodec::JpegLs: return fragment[1] == 0xD8;
    case FrameCodec::Jpeg2000: return fragment[1] == 0x4F;
    case FrameCodec::Rle: return false;
    }
    return false;
}

}  // namespace

bool ParseFragments(std::span<const std::uint8_t> value, EncapsulatedPixelData& out, std::string* why) {
    out = EncapsulatedPixelData();
    const std::size_t size = value.size();
    const std::uint8_t* p = value.data();
    std::size_t at = 0;
    bool first = true;
    std::size_t firstFragment = 0;
    while (at + 8 <= size) {
        const std::uint16_t group = ReadLE16(p + at);
        const std::uint16_t element = ReadLE16(p + at + 2);
        const std::uint32_t length = ReadLE32(p + at + 4);
        if (group != kItemGroup || (element != kItem && element != kSequenceEnd)) {
            if (first) {
                return Fail(why, "the compressed pixel data holds something other than items");
            }
            break;  // the delimiter is missing: the items end where something else starts
        }
        if (element == kSequenceEnd) {
            out.end = at + 8;
            break;
        }
        if (length > size - at - 8) {
            return Fail(why, "an item of the compressed pixel data runs past the end of the file");
        }
        if (first) {
            if (length % 4 != 0) {
                return Fail(why, "the basic offset table's length is not a multiple of 4");
            }
            for (std::size_t i = 0; i < length; i += 4) {
                out.basicOffsets.push_back(ReadLE32(p + at + 8 + i));
            }
            first = false;
            firstFragment = at + 8 + length;
        } else {
            out.fragments.push_back(PixelFragment{at - firstFragment, at + 8, length});
        }
        at += 8 + std::size_t{length};
        out.end = at;
    }
    if (first) {
        return Fail(why, "the compressed pixel data has no offset table item");
    }
    return true;
}

bool FrameFragments(std::span<const std::uint8_t> value, const EncapsulatedPixelData& pixels, const ExtendedOffsets& extended, std::uint32_t frames,
                    std::uint32_t frame, FrameCodec codec, std::vector<std::size_t>& indices, std::string* why) {
    indices.clear();
    const std::size_t total = pixels.fragments.size();
    if (frames == 0) {
        frames = 1;
    }
    if (frame >= frames) {
        return Fail(why, "frame " + std::to_string(frame) + " lies outside the pixel data");
    }
    if (total == 0) {
        return Fail(why, "the compressed pixel data holds no fragments");
    }
    std::vector<std::size_t> starts;
    // Extended offsets point at each frame's single fragment.
    if (extended.offsets.size() == frames && StartsFromOffsets(pixels, extended.offsets, starts)) {
        indices.push_back(starts[frame]);
        return true;
    }
    std::vector<std::uint64_t> basic(pixels.basicOffsets.begin(), pixels.basicOffsets.end());
    if (basic.size() == frames && StartsFromOffsets(pixels, basic, starts)) {
        Range(starts, total, frame, indices);
        return true;
    }
    if (total == frames) {
        indices.push_back(frame);
        return true;
    }
    if (frames == 1) {
        Range({0}, total, 0, indices);
        return true;
    }
    starts.clear();
    for (std::size_t i = 0; i < total; ++i) {
        const PixelFragment& f = pixels.fragments[i];
        if (StartsCodestream(value.subspan(f.valueStart, f.length), codec)) {
            starts.push_back(i);
        }
    }
    if (starts.size() == frames && starts.front() == 0) {
        Range(starts, total, frame, indices);
        return true;
    }
    return Fail(why, "the frames cannot be told apart in the compressed pixel data");
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
