// The table path of the render function (one table of every stored pattern, the
// range of all frames once) against a plain transcription of the arithmetic on
// random data: every sample rescaled, the range, the default window, then
// y = trunc((v - low) x 255 / w + 0.5), clamped, inverted for MONOCHROME1.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "tests/dicom/DicomTestHelpers.h"

namespace {

struct Expected {
    std::vector<std::uint8_t> bits;  // bottom-up rows padded to a multiple of 4
    std::int64_t max;
    std::int64_t min;
    std::int64_t width;
    std::int64_t centre;
};

std::uint8_t ReferenceGrey(std::int64_t v, std::int64_t width, std::int64_t centre) {
    if (width == 0) {
        return 0;
    }
    const auto half = static_cast<std::int64_t>(std::trunc(static_cast<double>(width) * 0.5 + 0.5));
    const std::int64_t low = centre - half;
    // Long double holds these quotients closely enough that no exact half is lost.
    const long double y = std::trunc(static_cast<long double>(v - low) * 255.0L / width + 0.5L);
    return y >= 255 ? 255 : (y > 0 ? static_cast<std::uint8_t>(y) : 0);
}

// `width` 0: the default window from the range.
Expected Reference(std::vector<std::int16_t> samples, int rows, int columns, int frame, int intercept,
                   std::int64_t width, std::int64_t centre, bool monochrome1) {
    Expected e{{}, INT64_MIN, INT64_MAX, width, centre};
    std::vector<std::int64_t> values;
    for (std::int16_t s : samples) {
        const std::int64_t v = s + intercept;
        values.push_back(v);
        e.max = std::max(e.max, v);
        e.min = std::min(e.min, v);
    }
    if (e.width == 0) {
        e.centre = static_cast<std::int64_t>(std::trunc(static_cast<double>(e.max + e.min) * 0.5 + 0.5));
        e.width = std::abs(e.max) + std::abs(e.min);
    }
    const int stride = (columns + 3) / 4 * 4;
    e.bits.assign(static_cast<std::size_t>(stride * rows), 0);
    for (int i = 0; i < rows; ++i) {
        for (int c = 0; c < columns; ++c) {
            const std::int64_t v =
                values[static_cast<std::size_t>(frame * rows * columns + (rows - 1 - i) * columns + c)];
            const std::uint8_t g = ReferenceGrey(v, e.width, e.centre);
            e.bits[static_cast<std::size_t>(i * stride + c)] = monochrome1 ? static_cast<std::uint8_t>(255 - g) : g;
        }
    }
    return e;
}

TEST(DicomWindowReference, TablePathMatchesThePlainArithmeticOnRandomData) {
    std::mt19937 random(20261207);
    const auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const char* const photometrics[] = {"MONOCHROME2", "MONOCHROME1", "monochrome1 ", "MONOCHROME"};
    for (int round = 0; round < 300; ++round) {
        const int rows = pick(1, 7);
        const int columns = pick(1, 9);
        const int frames = pick(1, 4);
        const int spread = pick(0, 2) == 0 ? 32767 : pick(0, 3000);
        const int base = pick(-2000, 2000);
        std::vector<std::int16_t> samples(static_cast<std::size_t>(rows * columns * frames));
        for (std::int16_t& s : samples) {
            s = static_cast<std::int16_t>(std::clamp(base + pick(-spread, spread), -32768, 32767));
        }
        const int intercept = pick(0, 2) == 0 ? -1024 : pick(-40000, 40000);
        const char* photometric = photometrics[pick(0, 3)];
        const bool monochrome1 = std::string(photometric).rfind("MONOCHROME1", 0) == 0 ||
                                 std::string(photometric).rfind("monochrome1", 0) == 0;

        DicomStreamBuilder b;
        b.ImageAttributes(static_cast<std::uint16_t>(rows), static_cast<std::uint16_t>(columns), 16, 1, photometric)
            .ExplicitUS(0x0028, 0x0103, 1)
            .ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames))
            .ExplicitText(0x0028, 0x1052, "DS", std::to_string(intercept))
            .PixelData16(samples);
        auto reader = Captured(b);
        // Several windows on one file, as the sliders change them.
        for (int call = 0; call < 3; ++call) {
            DisplayState state;
            std::int64_t width = 0;
            std::int64_t centre = 0;
            if (call > 0 || pick(0, 1) == 0) {
                width = pick(0, 3) == 0 ? pick(-300, 300) : pick(1, 70000);
                centre = pick(-40000, 40000);
                if (width != 0) state.window = DisplayWindow{static_cast<double>(width), static_cast<double>(centre)};
            }
            const int frame = pick(0, frames - 1);
            const Expected expected = Reference(samples, rows, columns, frame, intercept, width, centre, monochrome1);
            PackedDibPtr dib = Rendered(*reader, frame, state);
            ASSERT_NE(dib, nullptr);
            ASSERT_EQ(BitmapBytes(dib.get()), expected.bits) << "round " << round << " call " << call;
            const ValueRange range = RangeOf(*reader);
            EXPECT_EQ(range.max, static_cast<double>(expected.max));
            EXPECT_EQ(range.min, static_cast<double>(expected.min));
        }
    }
}

}  // namespace
