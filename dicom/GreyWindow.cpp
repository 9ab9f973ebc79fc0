#include "dicom/GreyWindow.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <thread>

static_assert(std::endian::native == std::endian::little, "samples are read as native 16-bit numbers");

namespace {

SampleRange RangeOfPart(const std::uint8_t* bytes, std::size_t count, std::int16_t intercept) {
    // A plain loop over a contiguous array: the compiler turns it into vector
    // min/max, which matters on files of hundreds of megabytes.
    const auto offset = static_cast<std::uint16_t>(intercept);
    std::int16_t low = 32767;
    std::int16_t high = -32768;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t raw;
        std::memcpy(&raw, bytes + 2 * i, sizeof raw);
        const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(raw + offset));
        low = v < low ? v : low;
        high = v > high ? v : high;
    }
    return {low, high};
}

// From this many samples on (8 MB), the two halves are scanned on two cores.
constexpr std::size_t kParallelRangeThreshold = std::size_t{4} << 20;

}  // namespace

SampleRange RescaledSampleRange(const std::uint8_t* bytes, std::size_t count, std::int16_t intercept) {
    if (count < kParallelRangeThreshold || std::thread::hardware_concurrency() < 2) {
        return RangeOfPart(bytes, count, intercept);
    }
    const std::size_t half = count / 2;
    SampleRange second;
    std::jthread worker([&] { second = RangeOfPart(bytes + 2 * half, count - half, intercept); });
    const SampleRange first = RangeOfPart(bytes, half, intercept);
    worker.join();
    return {std::min(first.min, second.min), std::max(first.max, second.max)};
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
