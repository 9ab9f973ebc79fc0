// The arithmetic that turns 16-bit samples into grey levels: the rescale, the range
// of the rescaled samples, the default window and the exact window mapping.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct SampleRange {
    std::int16_t min = 32767;
    std::int16_t max = -32768;
};

// Range of `count` little-endian samples at `bytes` after the rescale (stored
// value + intercept, wrapped to 16 bits). No samples give min 32767, max -32768.
SampleRange RescaledSampleRange(const std::uint8_t* bytes, std::size_t count, std::int16_t intercept);

// The window used when the file gives none: centre = (max + min) / 2 rounded half
// up, width = |max| + |min| (the sum of the magnitudes), both kept as 16-bit values.
void DefaultWindow(SampleRange range, std::int16_t& width, std::int16_t& centre);

// Grey level 0..255 of a rescaled sample: y = (v - low) x 255 / width + 0.5,
// truncated toward zero and clamped, with low = centre - (width + 1) / 2. Computed
// in integers, so that exact halves land as they should (width 400, centre 40 maps
// 40 to 128). A width of 0 maps everything to 0.
std::uint8_t WindowGrey(std::int16_t value, std::int16_t width, std::int16_t centre);

// Grey level of every raw 16-bit stored pattern, rescale and window applied, and
// inverted (255 - g) for MONOCHROME1: mapping a sample is then one table load.
using GreyTable = std::array<std::uint8_t, 65536>;
void BuildGreyTable(GreyTable& table, std::int16_t width, std::int16_t centre, std::int16_t intercept, bool invert);

// Whether the photometric interpretation (64 raw bytes, not always terminated)
// starts with MONOCHROME1, ignoring ASCII letter case.
bool IsMonochrome1(const char (&photometric)[64]);
