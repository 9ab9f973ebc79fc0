#include "dicom/SampleLayout.h"

#include <algorithm>
#include <array>

#include "io/ByteOrder.h"

namespace {

// The JFIF conversion in 16-bit fixed point, rounded as common JPEG decoders
// round it, so that YBR colour gives the same RGB whether it was compressed or not.
constexpr int kScaleBits = 16;
constexpr int kHalf = 1 << (kScaleBits - 1);
// Every factor is positive, so adding one half rounds to nearest (std::lround is not constexpr).
constexpr int Fix(double x) {
    return static_cast<int>(x * (1 << kScaleBits) + 0.5);  // NOLINT(bugprone-incorrect-roundings)
}

struct YbrTables {
    std::array<int, 256> crToR{};
    std::array<int, 256> cbToB{};
    std::array<int, 256> crToG{};
    std::array<int, 256> cbToG{};
};

const YbrTables& Tables() {
    static const YbrTables tables = [] {
        YbrTables t;
        for (int i = 0; i < 256; ++i) {
            const int x = i - 128;
            // Arithmetic shifts of negative numbers round toward minus infinity.
            t.crToR[i] = (Fix(1.40200) * x + kHalf) >> kScaleBits;
            t.cbToB[i] = (Fix(1.77200) * x + kHalf) >> kScaleBits;
            t.crToG[i] = -Fix(0.71414) * x;
            t.cbToG[i] = -Fix(0.34414) * x + kHalf;
        }
        return t;
    }();
    return tables;
}

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

void ToRgb(const YbrTables& t, int y, int cb, int cr, std::uint8_t* out) {
    out[0] = Clamp(y + t.crToR[cr]);
    out[1] = Clamp(y + ((t.cbToG[cb] + t.crToG[cr]) >> kScaleBits));
    out[2] = Clamp(y + t.cbToB[cb]);
}

}  // namespace

void SwapSampleBytes(std::uint8_t* data, std::size_t size, std::uint16_t bitsAllocated) {
    if (bitsAllocated != 16 && bitsAllocated != 32 && bitsAllocated != 64) {
        return;
    }
    const std::size_t bytes = bitsAllocated / 8u;
    for (std::size_t i = 0; i + bytes <= size; i += bytes) {
        std::reverse(data + i, data + i + bytes);
    }
}

void PlanarToInterleaved(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels, std::size_t samples,
                         std::size_t bytesPerSample) {
    for (std::size_t s = 0; s < samples; ++s) {
        const std::uint8_t* plane = in + s * pixels * bytesPerSample;
        for (std::size_t p = 0; p < pixels; ++p) {
            std::copy_n(plane + p * bytesPerSample, bytesPerSample, out + (p * samples + s) * bytesPerSample);
        }
    }
}

void YbrFullToRgb(std::uint8_t* data, std::size_t pixels) {
    const YbrTables& t = Tables();
    for (std::size_t p = 0; p < pixels; ++p) {
        std::uint8_t* px = data + 3 * p;
        ToRgb(t, px[0], px[1], px[2], px);
    }
}

void Ybr422ToRgb(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels) {
    const YbrTables& t = Tables();
    for (std::size_t p = 0; p < pixels; p += 2) {
        const std::uint8_t* pair = in + 2 * p;
        ToRgb(t, pair[0], pair[2], pair[3], out + 3 * p);
        if (p + 1 < pixels) {
            ToRgb(t, pair[1], pair[2], pair[3], out + 3 * (p + 1));
        }
    }
}

void SignExtendSamples(std::uint8_t* data, std::size_t size, int highBit) {
    const int shift = 15 - highBit;
    for (std::size_t i = 0; i + 2 <= size; i += 2) {
        const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(ReadLE16(data + i) << shift));
        WriteLE16(data + i, static_cast<std::uint16_t>(v >> shift));
    }
}

void UnpackBits(const std::uint8_t* data, std::size_t size, std::size_t skipBits, std::size_t count, int bits,
                std::uint8_t* out) {
    const auto byteAt = [data, size](std::size_t i) -> std::uint32_t { return i < size ? data[i] : 0u; };
    const std::uint32_t mask = (1u << bits) - 1u;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t bit = skipBits + i * static_cast<std::size_t>(bits);
        const std::size_t at = bit / 8;
        const std::uint32_t word = byteAt(at) | byteAt(at + 1) << 8 | byteAt(at + 2) << 16;
        const std::uint32_t value = (word >> (bit % 8)) & mask;
        if (bits <= 8) {
            out[i] = static_cast<std::uint8_t>(value);
        } else {
            WriteLE16(out + 2 * i, static_cast<std::uint16_t>(value));
        }
    }
}
