#include "image/Histogram.h"

#include <gtest/gtest.h>

#include "image/Geometry.h"
#include "tests/support/PictureBytes.h"

namespace {

Histogram Of(const PackedDib* dib) {
    Histogram bins;
    bins.fill(-1);
    ComputeHistogram(dib, bins);
    return bins;
}

}  // namespace

TEST(Histogram, ScalesEachBinToTheFullestInPerCent) {
    auto sevens = CreateGreyDib(4, 4);
    std::fill(DibBits(sevens.get()), DibBits(sevens.get()) + 16, 7);
    Histogram bins = Of(sevens.get());
    EXPECT_EQ(bins[7], 100);
    EXPECT_EQ(std::count(bins.begin(), bins.end(), 0), 255);

    auto mixed = CreateGreyDib(4, 1);
    std::copy_n(Bytes{1, 1, 2, 3}.begin(), 4, DibBits(mixed.get()));
    bins = Of(mixed.get());
    EXPECT_EQ(bins[1], 100);
    EXPECT_EQ(bins[2], 50);
    EXPECT_EQ(bins[3], 50);
}

TEST(Histogram, CountsPaddingButNeverReadsPastTheRows) {
    Bytes block = InfoHeader(40, 3, 1, 8);
    Append(block, GreyColourTable(256));
    Append(block, {9, 9, 9, 0});
    Histogram bins = Of(BlockFrom(block).get());
    EXPECT_EQ(bins[9], 100);
    EXPECT_EQ(bins[0], 33);

    // A 24-bit file bitmap 5 wide has a stride of 16, not 3 x 8: the last row ends the block.
    Bytes rgb = InfoHeader(40, 5, 2, 24);
    Append(rgb, Bytes(15, 4));
    rgb.push_back(0);
    Append(rgb, Bytes(15, 4));
    rgb.push_back(0);
    bins = Of(BlockFrom(rgb).get());
    EXPECT_EQ(bins[4], 100);
    EXPECT_EQ(bins[0], 6);  // 2 of 30
}

TEST(Histogram, EmptyOrMissingImagesGiveZeros) {
    EXPECT_EQ(Of(CreateGreyDib(4, 0).get()), Histogram{});
    EXPECT_EQ(Of(nullptr), Histogram{});
}

TEST(Histogram, HugeBinsDoNotOverflow) {
    // 23,040,000 bytes: a bin that size times 100 passes the signed 32-bit range.
    auto big = CreateGreyDib(4800, 4800);
    ASSERT_TRUE(big);
    std::fill_n(DibBits(big.get()), 230400, 1);
    Histogram bins = Of(big.get());
    EXPECT_EQ(bins[0], 100);
    EXPECT_EQ(bins[1], 1);  // 230,400 x 100 / 22,809,600
}

TEST(Geometry, NormalisesDragCornersAndClipsToTheImage) {
    EXPECT_EQ(NormalizedRectFromPoints({30, 40}, {10, 50}), (DibRect{10, 40, 30, 50}));
    EXPECT_EQ(NormalizedRectFromPoints({5, 9}, {1, 2}), (DibRect{1, 2, 5, 9}));
    EXPECT_EQ(ClipRectToImage({-5, 3, 20, 8}, 10, 6), (DibRect{0, 3, 10, 6}));
    EXPECT_EQ(ClipRectToImage({30, 2, 12, 4}, 10, 6), (DibRect{10, 2, 10, 4}));
    EXPECT_EQ(ClipRectToImage({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 65535, 65535),
              (DibRect{0, 0, 65535, 65535}));
}
