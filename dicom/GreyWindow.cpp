#include "dicom/GreyWindow.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static_assert(std::endian::native == std::endian::little, "samples are read as native 16-bit numbers");

SampleRange RescaledSampleRange(const std::uint8_t* bytes, std::size_t count, std::int16_t intercept) {
    const auto offset = static_cast<std::uint16_t>(intercept);
    std::int16_t low = 32767;
    std::int16_t high = -32768;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight samples at a time (SSE2 is part of every x86-64): the rescale is a
    // wrapping 16-bit add, min and max are signed 16-bit lane operations.
    if (count >= 8) {
        const __m128i add = _mm_set1_epi16(static_cast<short>(offset));
        __m128i lows = _mm_set1_epi16(32767);
        __m128i highs = _mm_set1_epi16(-32768);
        for (; i + 8 <= count; i += 8) {
            const __m128i v = _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i)), add);
            lows = _mm_min_epi16(lows, v);
            highs = _mm_max_epi16(highs, v);
        }
        alignas(16) std::int16_t l[8];
        alignas(16) std::int16_t h[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(l), lows);
        _mm_store_si128(reinterpret_cast<__m128i*>(h), highs);
        for (int k = 0; k < 8; ++k) {
            low = std::min(low, l[k]);
            high = std::max(high, h[k]);
        }
    }
#endif
    for (; i < count; ++i) {
        std::uint16_t raw;
        std::memcpy(&raw, bytes + 2 * i, sizeof raw);
        const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(raw + offset));
        low = v < low ? v : low;
        high = v > high ? v : high;
    }
    return {low, high};
}

void DefaultWindow(SampleRange range, std::int16_t& width, std::int16_t& centre) {
    const int sum = range.max + range.min;
    centre = static_cast<std::int16_t>((sum + 1) / 2);
    width = static_cast<std::int16_t>(std::abs(int{range.max}) + std::abs(int{range.min}));
}

std::uint8_t WindowGrey(std::int16_t value, std::int16_t width, std::int16_t centre) {
    if (width == 0) {
        return 0;
    }
    const std::int64_t half = (width + 1) / 2;
    const std::int64_t low = centre - half;
    // (v - low) x 255 / w + 0.5 as one exact fraction, truncated toward zero.
    const std::int64_t numerator = 510 * (value - low) + width;
    const std::int64_t y = numerator / (2 * std::int64_t{width});
    return static_cast<std::uint8_t>(y >= 255 ? 255 : (y > 0 ? y : 0));
}

void BuildGreyTable(GreyTable& table, std::int16_t width, std::int16_t centre, std::int16_t intercept, bool invert) {
    const auto offset = static_cast<std::uint16_t>(intercept);
    for (std::uint32_t raw = 0; raw < table.size(); ++raw) {
        const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(raw + offset));
        const std::uint8_t grey = WindowGrey(v, width, centre);
        table[raw] = invert ? static_cast<std::uint8_t>(255 - grey) : grey;
    }
}

bool IsMonochrome1(const char (&photometric)[64]) {
    static const char kName[] = "MONOCHROME1";
    for (std::size_t i = 0; i + 1 < sizeof kName; ++i) {
        char c = photometric[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != kName[i]) {
            return false;
        }
    }
    return true;
}
