#include "dicom/ModalityRange.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "io/ByteOrder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool Whole(double x) { return x == std::trunc(x) && std::fabs(x) < 1e12; }

// Bits of stored samples read at a time by the range pass (4 MiB).
constexpr std::uint64_t kBlockBits = std::uint64_t{32} << 20;

struct StoredRange {
    std::int64_t min = std::numeric_limits<std::int64_t>::max();
    std::int64_t max = std::numeric_limits<std::int64_t>::min();
};

// Stored values of 16-bit patterns: the stored bits shifted down, masked and, for
// signed data, sign-extended; eight at a time where SSE2 is there (every x86-64).
StoredRange Stored16Range(const std::uint8_t* bytes, std::size_t count, const ImageAttributes& a) {
    const int stored = std::clamp<int>(a.bitsStored, 1, 16);
    const int shift = std::clamp<int>(a.highBit + 1 - stored, 0, 15);
    const bool isSigned = a.IsSigned();
    StoredRange r;
    std::size_t i = 0;
#if defined(__SSE2__)
    if (count >= 8) {
        // Every value is brought into signed 16-bit lanes: unsigned 16-bit values by
        // flipping their top bit, which keeps their order.
        const bool flip = !isSigned && stored == 16;
        const __m128i mask = _mm_set1_epi16(static_cast<short>(stored == 16 ? 0xFFFF : (1 << stored) - 1));
        const __m128i top = _mm_set1_epi16(static_cast<short>(0x8000));
        const __m128i down = _mm_cvtsi32_si128(shift);
        const __m128i extend = _mm_cvtsi32_si128(16 - stored);
        __m128i lows = _mm_set1_epi16(32767);
        __m128i highs = _mm_set1_epi16(-32768);
        for (; i + 8 <= count; i += 8) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
            v = _mm_srl_epi16(v, down);
            if (isSigned) {
                v = _mm_sra_epi16(_mm_sll_epi16(v, extend), extend);
            } else {
                v = _mm_and_si128(v, mask);
                if (flip) v = _mm_xor_si128(v, top);
            }
            lows = _mm_min_epi16(lows, v);
            highs = _mm_max_epi16(highs, v);
        }
        alignas(16) std::int16_t l[8];
        alignas(16) std::int16_t h[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(l), lows);
        _mm_store_si128(reinterpret_cast<__m128i*>(h), highs);
        for (int k = 0; k < 8; ++k) {
            const std::int64_t low = flip ? l[k] + 32768 : l[k];
            const std::int64_t high = flip ? h[k] + 32768 : h[k];
            r.min = std::min(r.min, low);
            r.max = std::max(r.max, high);
        }
    }
#endif
    for (; i < count; ++i) {
        const std::int64_t v = StoredValueOf(ReadLE16(bytes + 2 * i), a);
        r.min = std::min(r.min, v);
        r.max = std::max(r.max, v);
    }
    return r;
}

// Stored values of 8-bit patterns. Where the patterns, perhaps with their top bit
// flipped (as signed bytes need), map to values in order, the extremes of the
// patterns give those of the values, found sixteen at a time; other mappings go
// through the set of patterns seen.
StoredRange Stored8Range(const std::uint8_t* bytes, std::size_t count, const ImageAttributes& a) {
    const StoredValueReader reader(a);
    StoredRange r;
    int flip = -1;
    for (const int x : {0x00, 0x80}) {
        bool ordered = true;
        for (std::uint32_t b = 1; b < 256 && ordered; ++b) {
            ordered = reader.Of(b ^ static_cast<std::uint32_t>(x)) >= reader.Of((b - 1) ^ static_cast<std::uint32_t>(x));
        }
        if (ordered) {
            flip = x;
            break;
        }
    }
    if (flip < 0) {
        std::array<bool, 256> seen{};
        for (std::size_t i = 0; i < count; ++i) seen[bytes[i]] = true;
        for (std::uint32_t b = 0; b < 256; ++b) {
            if (!seen[b]) continue;
            r.min = std::min(r.min, reader.Of(b));
            r.max = std::max(r.max, reader.Of(b));
        }
        return r;
    }
    if (count == 0) return r;
    const auto turn = static_cast<std::uint8_t>(flip);
    std::uint8_t low = 0xFF;
    std::uint8_t high = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    if (count >= 16) {
        const __m128i flipped = _mm_set1_epi8(static_cast<char>(turn));
        __m128i lows = _mm_set1_epi8(static_cast<char>(0xFF));
        __m128i highs = _mm_setzero_si128();
        for (; i + 16 <= count; i += 16) {
            const __m128i v = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)), flipped);
            lows = _mm_min_epu8(lows, v);
            highs = _mm_max_epu8(highs, v);
        }
        alignas(16) std::uint8_t l[16];
        alignas(16) std::uint8_t h[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(l), lows);
        _mm_store_si128(reinterpret_cast<__m128i*>(h), highs);
        for (int k = 0; k < 16; ++k) {
            low = std::min(low, l[k]);
            high = std::max(high, h[k]);
        }
    }
#endif
    for (; i < count; ++i) {
        const auto v = static_cast<std::uint8_t>(bytes[i] ^ turn);
        low = std::min(low, v);
        high = std::max(high, v);
    }
    r.min = reader.Of(static_cast<std::uint32_t>(low ^ turn));
    r.max = reader.Of(static_cast<std::uint32_t>(high ^ turn));
    return r;
}

// Modality values of stored values [low, high].
ValueRange ModalityOf(const StoredRange& stored, const ModalityTransform& m) {
    ValueRange range;
    if (stored.min > stored.max) return range;
    if (m.lut) {
        // Every stored value in the range, through the table (at most 2^16 of them
        // fall inside it; the rest map to its ends).
        const std::int64_t first = std::max<std::int64_t>(stored.min, m.lut->firstMapped);
        const std::int64_t last = std::min<std::int64_t>(
            stored.max, m.lut->firstMapped + static_cast<std::int64_t>(m.lut->entries.size()) - 1);
        range.Widen({m.Apply(static_cast<double>(stored.min)), m.Apply(static_cast<double>(stored.min))});
        range.Widen({m.Apply(static_cast<double>(stored.max)), m.Apply(static_cast<double>(stored.max))});
        for (std::int64_t v = first; v <= last; ++v) {
            const double value = m.Apply(static_cast<double>(v));
            range.Widen({value, value});
        }
        return range;
    }
    const double a = m.Apply(static_cast<double>(stored.min));
    const double b = m.Apply(static_cast<double>(stored.max));
    return {std::min(a, b), std::max(a, b)};
}

}  // namespace

ValueRange FrameValueRange(const FrameSamples& samples, const ImageAttributes& a) {
    const std::size_t count = samples.Pixels();
    if (samples.layout == SampleLayout::Rgb8 || samples.bytes.size() < count * SampleBytes(samples.layout)) return {};
    const ModalityTransform& modality = a.Frame(samples.frame).modality;
    switch (samples.layout) {
    case SampleLayout::Grey16: return ModalityOf(Stored16Range(samples.bytes.data(), count, a), modality);
    case SampleLayout::Grey8: return ModalityOf(Stored8Range(samples.bytes.data(), count, a), modality);
    case SampleLayout::Grey32: {
        StoredRange stored;
        const StoredValueReader reader(a);
        const std::uint8_t* bytes = samples.bytes.data();
        for (std::size_t i = 0; i < count; ++i) {
            const std::int64_t v = reader.Of(ReadLE32(bytes + 4 * i));
            stored.min = std::min(stored.min, v);
            stored.max = std::max(stored.max, v);
        }
        return ModalityOf(stored, modality);
    }
    default: break;
    }
    ValueRange range;
    for (std::size_t i = 0; i < count; ++i) {
        const double v = StoredValueAt(samples, a, i);
        if (std::isfinite(v)) range.Widen({v, v});
    }
    if (range.Empty() || modality.IsIdentity()) return range;
    const double low = modality.Apply(range.min);
    const double high = modality.Apply(range.max);
    return {std::min(low, high), std::max(low, high)};
}

RangeOutcome ScanModalityRange(const FrameSource& source, const std::atomic<bool>* cancel, RangeDeadline* deadline) {
    RangeOutcome outcome;
    const ImageAttributes& a = source.Attributes();
    if (a.IsColour()) return outcome;
    const std::int32_t frames = source.FramesHeld();
    outcome.frames = frames;
    const bool decoded = a.pixelData.encapsulated;
    // Uncompressed frames that share one modality transform are read many at a time:
    // a study of thousands of small frames costs a few reads.
    std::int32_t block = 1;
    const std::uint64_t frameBits = std::max<std::uint64_t>(std::uint64_t{a.rows} * a.columns * a.bitsAllocated, 1);
    if (!a.pixelData.encapsulated && a.perFrame.empty()) {
        block = static_cast<std::int32_t>(std::clamp<std::uint64_t>(kBlockBits / frameBits, 1, 1u << 30));
    }
    // Rows read at a time from a frame larger than a block; 0: frames are read whole.
    std::uint32_t rowsAtOnce = 0;
    if (!a.pixelData.encapsulated && frameBits > kBlockBits && a.rows > 1) {
        const std::uint64_t rowBits = std::max<std::uint64_t>(std::uint64_t{a.columns} * a.bitsAllocated, 1);
        rowsAtOnce = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(kBlockBits / rowBits, 1, a.rows));
    }
    for (std::int32_t frame = 0; frame < frames; frame += block) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            outcome.cancelled = true;
            return outcome;
        }
        if (decoded && deadline != nullptr) {
            if (deadline->decodedOne && std::chrono::steady_clock::now() >= deadline->at) {
                outcome.stoppedEarly = true;
                return outcome;
            }
            deadline->decodedOne = true;
        }
        const std::int32_t count = std::min(block, frames - frame);
        outcome.framesRead += count;
        // A frame larger than a block is read a block of rows at a time, so that the
        // pass never holds a second copy of a huge frame beside the one shown.
        const std::uint32_t rowsEnd = rowsAtOnce == 0 ? 1 : a.rows;
        for (std::uint32_t row = 0; row < rowsEnd; row += std::max<std::uint32_t>(rowsAtOnce, 1)) {
            if (row != 0 && cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
                outcome.cancelled = true;
                return outcome;
            }
            const auto samples =
                rowsAtOnce == 0 ? source.FramesUncached(frame, count)
                                : source.FrameRowsUncached(frame, static_cast<std::uint16_t>(row),
                                                           static_cast<std::uint16_t>(rowsAtOnce));
            if (!samples) {
                const Reason why = samples.Why();
                // A frame that does not decode shows its own reason; one that can no
                // longer be read makes the whole range unknown.
                if (why.Is(FileReadFailure::ChangedOnDisk) || why.Is(FileReadFailure::CannotRead)) {
                    outcome.failure = why;
                    return outcome;
                }
                break;
            }
            outcome.range.Widen(FrameValueRange(**samples, source.Attributes()));
        }
    }
    return outcome;
}

bool DefaultWindowNeedsRange(const ImageAttributes& a) {
    return !(a.format == SampleFormat::Integer && !a.IsSigned() && a.bitsStored <= 8);
}

DisplayWindow DefaultDisplayWindow(const ImageAttributes& a, std::int32_t frame, const ValueRange* range) {
    const FrameValues& values = a.Frame(frame);
    if (DefaultWindowNeedsRange(a) && range != nullptr) {
        if (range->Empty()) return {0, 0};
        const double width = std::fabs(range->max) + std::fabs(range->min);
        const double sum = range->max + range->min;
        return {width, Whole(range->min) && Whole(range->max) ? std::trunc(sum * 0.5 + 0.5) : sum / 2};
    }
    // The range the stored samples can take, through the modality transform.
    const int bits = std::clamp<int>(a.bitsStored, 1, 32);
    double low = a.IsSigned() ? -std::ldexp(1.0, bits - 1) : 0.0;
    double high = a.IsSigned() ? std::ldexp(1.0, bits - 1) - 1 : std::ldexp(1.0, bits) - 1;
    if (a.format == SampleFormat::Float) {
        low = 0;
        high = 1;
    }
    double from = values.modality.Apply(low);
    double to = values.modality.Apply(high);
    if (from > to) std::swap(from, to);
    const double width = to - from;
    return {width, Whole(from) && Whole(width) ? from + std::trunc(width * 0.5 + 0.5) : from + width / 2};
}
