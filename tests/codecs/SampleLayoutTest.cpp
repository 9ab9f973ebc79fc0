// Colour conversion and sample rearrangement.
#include <gtest/gtest.h>

#include <vector>

#include "dicom/SampleLayout.h"

using Bytes = std::vector<std::uint8_t>;

TEST(SampleLayout, YbrBecomesRgbAsJpegDecodersMakeIt) {
    // Neutral chroma keeps the grey; full-range extremes clamp; primaries come back.
    Bytes px = {0, 128, 128, 255, 128, 128, 76, 85, 255, 29, 255, 107, 255, 0, 255};
    YbrFullToRgb(px.data(), 5);
    EXPECT_EQ(px, (Bytes{0, 0, 0, 255, 255, 255, 254, 0, 0, 0, 0, 254, 255, 208, 28}));

    // 4:2:2: both pixels of a pair share the chroma; an odd last pixel uses its pair's.
    const Bytes pairs = {10, 200, 128, 128, 50, 60, 128, 255};
    Bytes rgb(9, 0);
    Ybr422ToRgb(pairs.data(), rgb.data(), 3);
    EXPECT_EQ(rgb, (Bytes{10, 10, 10, 200, 200, 200, 228, 0, 50}));
}

TEST(SampleLayout, PlanesBecomePixelsAndBigEndianSamplesAreSwappedByTheirSize) {
    const Bytes planes = {1, 2, 3, 10, 20, 30, 100, 200, 250};
    Bytes pixels(9, 0);
    PlanarToInterleaved(planes.data(), pixels.data(), 3, 3, 1);
    EXPECT_EQ(pixels, (Bytes{1, 10, 100, 2, 20, 200, 3, 30, 250}));

    const Bytes planes16 = {1, 0, 2, 0, 9, 1, 8, 1};
    Bytes pixels16(8, 0);
    PlanarToInterleaved(planes16.data(), pixels16.data(), 2, 2, 2);
    EXPECT_EQ(pixels16, (Bytes{1, 0, 9, 1, 2, 0, 8, 1}));

    Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    SwapSampleBytes(data.data(), data.size(), 8);
    EXPECT_EQ(data, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    SwapSampleBytes(data.data(), data.size(), 16);
    EXPECT_EQ(data, (Bytes{2, 1, 4, 3, 6, 5, 8, 7, 9}));  // a lone last byte stays
    SwapSampleBytes(data.data(), 8, 32);
    EXPECT_EQ(data, (Bytes{3, 4, 1, 2, 7, 8, 5, 6, 9}));
}
