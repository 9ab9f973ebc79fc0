#include "image/GreyConversion.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/support/PictureBytes.h"

namespace {

// The grey of one pixel given as red, green, blue.
int GreyOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    PackedDibPtr rgb = CreateRgbDib(4, 1);
    std::uint8_t* p = DibBits(rgb.get());
    p[0] = blue;
    p[1] = green;
    p[2] = red;
    PackedDibPtr grey = ConvertDibTo8Bpp(std::move(rgb));
    return grey ? DibBits(grey.get())[0] : -1;
}

}  // namespace

TEST(GreyConversion, WeighsTheColoursInTheOrderThatDecidesTruncation) {
    EXPECT_EQ(GreyOf(255, 255, 255), 255);
    EXPECT_EQ(GreyOf(0, 0, 0), 0);
    EXPECT_EQ(GreyOf(255, 0, 0), 73);
    EXPECT_EQ(GreyOf(0, 255, 0), 153);
    EXPECT_EQ(GreyOf(0, 0, 255), 28);
    EXPECT_EQ(GreyOf(255, 255, 0), 226);

    const std::set<int> oneLower = {57, 114, 119, 228, 233, 237, 238, 253};
    for (int v = 0; v < 256; ++v) {
        const auto level = static_cast<std::uint8_t>(v);
        EXPECT_EQ(GreyOf(level, level, level), oneLower.count(v) ? v - 1 : v) << v;
    }
}

TEST(GreyConversion, RoundsTheWidthUpAndKeepsTheRowOrder) {
    // 5 x 2 source, stride 16 with padding bytes that must not be read as pixels.
    Bytes block = InfoHeader(40, 5, 2, 24);
    for (int row = 0; row < 2; ++row) {
        for (int j = 0; j < 5; ++j) {
            const auto v = static_cast<std::uint8_t>(10 * row + j);
            block.insert(block.end(), {v, v, v});
        }
        block.push_back(0xEE);
    }
    PackedDibPtr grey = ConvertDibTo8Bpp(BlockFrom(block));
    ASSERT_TRUE(grey);
    EXPECT_EQ(DibWidth(grey.get()), 8);
    EXPECT_EQ(DibHeight(grey.get()), 2);
    EXPECT_EQ(grey->Length(), 1064u + 16u);
    EXPECT_EQ(Bytes(DibBits(grey.get()), DibBits(grey.get()) + 16),
              (Bytes{0, 1, 2, 3, 4, 0, 0, 0, 10, 11, 12, 13, 14, 0, 0, 0}));
    EXPECT_EQ(grey->Bytes()[40 + 4 * 200], 200);  // grey ramp

    PackedDibPtr four = ConvertDibTo8Bpp(CreateRgbDib(4, 1));
    ASSERT_TRUE(four);
    EXPECT_EQ(DibWidth(four.get()), 4);
}

TEST(GreyConversion, GivesNullForWhatIsNotAWholeTwentyFourBitBitmap) {
    EXPECT_FALSE(ConvertDibTo8Bpp(nullptr));
    EXPECT_FALSE(ConvertDibTo8Bpp(CreateGreyDib(4, 4)));
    Bytes cut = InfoHeader(40, 4, 4, 24);
    Append(cut, Bytes(12, 0));
    EXPECT_FALSE(ConvertDibTo8Bpp(BlockFrom(cut)));
}
