// The fast 16-bit path (range once per file, one frame mapped through a table)
// against a plain transcription of the arithmetic on random data: every sample of
// every frame rescaled, the range, the default window, then
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
    std::int16_t max;
    std::int16_t min;
    std::int16_t width;
    std::int16_t centre;
};

std::uint8_t ReferenceGrey(int v, int width, int centre) {
    if (width == 0) {
        return 0;
    }
    const int half = static_cast<int>(std::trunc(width * 0.5 + 0.5));
    const int low = centre - half;
    // Long double holds these quotients closely enough that no exact half is lost.
    const long double y = std::trunc(static_cast<long double>(v - low) * 255.0L / width + 0.5L);
    return y >= 255 ? 255 : (y > 0 ? static_cast<std::uint8_t>(y) : 0);
}

Expected Reference(std::vector<std::int16_t> samples, int rows, int columns, int frame, std::int16_t intercept,
                   std::int16_t width, std::int16_t centre, bool monochrome1) {
    Expected e{{}, -32768, 32767, width, centre};
    for (std::int16_t& v : samples) {
        v = static_cast<std::int16_t>(v + intercept);
        e.max = std::max(e.max, v);
        e.min = std::min(e.min, v);
    }
    if (e.width == 0) {
        e.centre = static_cast<std::int16_t>(std::trunc((e.max + e.min) * 0.5 + 0.5));
        e.width = static_cast<std::int16_t>(std::abs(e.max) + std::abs(e.min));
    }
    const int stride = (columns + 3) / 4 * 4;
    e.bits.assign(static_cast<std::size_t>(stride * rows), 0);
    for (int i = 0; i < rows; ++i) {
        for (int c = 0; c < columns; ++c) {
            const int v = samples[static_cast<std::size_t>(frame * rows * columns + (rows - 1 - i) * columns + c)];
            const std::uint8_t g = ReferenceGrey(v, e.width, e.centre);
            e.bits[static_cast<std::size_t>(i * stride + c)] = monochrome1 ? static_cast<std::uint8_t>(255 - g) : g;
        }
    }
    return e;
}

std::vector<std::uint8_t> Bits(const PackedDib* dib) {
    const std::uint8_t* bits = DibBits(dib);
    return {bits, bits + static_cast<std::size_t>(DibRowStride(dib)) * DibHeight(dib)};
}

TEST(DicomWindowReference, FastPathMatchesThePlainArithmeticOnRandomData) {
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
        const auto intercept = static_cast<std::int16_t>(pick(0, 2) == 0 ? -1024 : pick(-40000, 40000));
        const char* photometric = photometrics[pick(0, 3)];
        const bool monochrome1 = std::string(photometric).rfind("MONOCHROME1", 0) == 0 ||
                                 std::string(photometric).rfind("monochrome1", 0) == 0;

        DicomStreamBuilder b;
        b.ImageAttributes(static_cast<std::uint16_t>(rows), static_cast<std::uint16_t>(columns), 16, 1, photometric)
            .ExplicitText(0x0028, 0x1052, "DS", std::to_string(intercept))
            .PixelData16(samples);
        auto reader = Captured(b);
        // Several calls on one reader: the window changes between them as the sliders change it.
        for (int call = 0; call < 3; ++call) {
            if (call > 0 || pick(0, 1) == 0) {
                reader->m_nWindowWidth = static_cast<std::int16_t>(pick(0, 3) == 0 ? pick(-300, 300) : pick(0, 70000));
                reader->m_nWindowCenter = static_cast<std::int16_t>(pick(-40000, 40000));
            }
            const int frame = pick(0, frames - 1);
            const Expected expected = Reference(samples, rows, columns, frame, intercept, reader->m_nWindowWidth,
                                                reader->m_nWindowCenter, monochrome1);
            PackedDibPtr dib = reader->MakeFrameDib(frame);
            ASSERT_NE(dib, nullptr);
            ASSERT_EQ(Bits(dib.get()), expected.bits) << "round " << round << " call " << call;
            ASSERT_TRUE(reader->ResolveSampleRange());
            EXPECT_EQ(reader->m_nMaxSample, expected.max);
            EXPECT_EQ(reader->m_nMinSample, expected.min);
            EXPECT_EQ(reader->m_nWindowWidth, expected.width);
            EXPECT_EQ(reader->m_nWindowCenter, expected.centre);
        }
    }
}

TEST(DicomWindowReference, MapSamplesToGreyMapsAWholeBufferInPlace) {
    std::mt19937 random(7);
    std::vector<std::int16_t> samples(5000);
    for (std::int16_t& s : samples) {
        s = static_cast<std::int16_t>(std::uniform_int_distribution<int>(-32768, 32767)(random));
    }
    CDicomFile reader;
    reader.m_nRescaleIntercept = 300;
    std::memcpy(reader.m_szPhotometric, "MONOCHROME1", 11);
    const Expected expected = Reference(samples, 1, static_cast<int>(samples.size()), 0, 300, 0, 0, true);
    std::vector<std::int16_t> mapped = samples;
    reader.MapSamplesToGrey(mapped.data(), mapped.size());
    EXPECT_EQ(reader.m_nMaxSample, expected.max);
    EXPECT_EQ(reader.m_nMinSample, expected.min);
    EXPECT_EQ(reader.m_nWindowWidth, expected.width);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(mapped[i], expected.bits[i]) << i;
    }
}

}  // namespace
