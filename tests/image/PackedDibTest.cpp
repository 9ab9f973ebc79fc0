#include "image/PackedDib.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "io/ByteOrder.h"
#include "tests/support/PictureBytes.h"

namespace {

// Blocks with an info or core header and the given fields, followed by `extra` zero
// bytes (colour table and rows).
PackedDibPtr InfoBlock(std::uint32_t headerSize, std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                       std::uint32_t colorsUsed, std::size_t extra) {
    Bytes block = InfoHeader(headerSize, width, height, bitCount, 0, colorsUsed);
    block.resize(block.size() + extra);
    return BlockFrom(block);
}

PackedDibPtr CoreBlock(std::uint16_t width, std::uint16_t height, std::uint16_t bitCount, std::size_t extra) {
    Bytes block = CoreHeader(width, height, bitCount);
    block.resize(block.size() + extra);
    return BlockFrom(block);
}

std::ptrdiff_t BitsOffset(const PackedDib* dib) { return DibBits(dib) - dib->Bytes(); }

}  // namespace

TEST(PackedDib, RowsStartAfterHeaderAndColourTable) {
    auto grey = CreateGreyDib(8, 2);
    EXPECT_EQ(BitsOffset(grey.get()), 1064);
    auto rgb = CreateRgbDib(4, 1);
    EXPECT_EQ(BitsOffset(rgb.get()), 40);

    EXPECT_EQ(BitsOffset(InfoBlock(40, 4, 1, 8, 16, 64 + 4).get()), 40 + 64);
    EXPECT_EQ(BitsOffset(InfoBlock(40, 32, 1, 1, 0, 8 + 4).get()), 48);
    EXPECT_EQ(BitsOffset(InfoBlock(40, 8, 1, 4, 0, 64 + 4).get()), 104);
    // A 32-byte header cannot hold biClrUsed: the table is a full one whatever follows.
    EXPECT_EQ(BitsOffset(InfoBlock(32, 4, 1, 8, 0, 1024 + 4).get()), 32 + 1024);

    auto core8 = CoreBlock(4, 3, 8, 768 + 12);
    EXPECT_EQ(BitsOffset(core8.get()), 12 + 768);
    EXPECT_EQ(DibHeight(core8.get()), 3);
    EXPECT_EQ(DibBitCount(core8.get()), 8);
    EXPECT_EQ(BitsOffset(CoreBlock(4, 1, 24, 12).get()), 12);
}

TEST(PackedDib, AccessorsReadTheLowSixteenBitsAndAcceptNull) {
    EXPECT_EQ(DibWidth(nullptr), 0);
    EXPECT_EQ(DibHeight(nullptr), 0);
    auto dib = InfoBlock(40, 0x10005, 0x20003, 8, 0, 1024);
    EXPECT_EQ(DibWidth(dib.get()), 5);
    EXPECT_EQ(DibHeight(dib.get()), 3);
}

TEST(PackedDib, StrideRoundsRowsToFourBytes) {
    EXPECT_EQ(DibRowStride(InfoBlock(40, 5, 1, 8, 0, 0).get()), 8u);
    EXPECT_EQ(DibRowStride(InfoBlock(40, 8, 1, 8, 0, 0).get()), 8u);
    EXPECT_EQ(DibRowStride(InfoBlock(40, 5, 1, 24, 0, 0).get()), 16u);
    EXPECT_EQ(DibRowStride(InfoBlock(40, 9, 1, 1, 0, 0).get()), 4u);
}

TEST(PackedDib, BuildersFillHeaderAndGreyRamp) {
    auto grey = CreateGreyDib(8, 2);
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->Length(), 1064u + 16u);
    const std::uint8_t* p = grey->Bytes();
    EXPECT_EQ(ReadLE32(p + 20), 16u);  // image size
    EXPECT_EQ(ReadLE32(p + 16), 0u);   // uncompressed
    EXPECT_EQ(ReadLE32(p + 32), 0u);   // full table
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(p[40 + 4 * i], i);
        EXPECT_EQ(p[40 + 4 * i + 1], i);
        EXPECT_EQ(p[40 + 4 * i + 2], i);
        EXPECT_EQ(p[40 + 4 * i + 3], 0);
    }
    EXPECT_TRUE(DibIsComplete(grey.get()));
    auto rgb = CreateRgbDib(4, 3);
    EXPECT_EQ(rgb->Length(), 40u + 36u);
    EXPECT_TRUE(DibIsComplete(rgb.get()));
    auto empty = CreateGreyDib(0, 0);
    EXPECT_EQ(empty->Length(), 1064u);
    EXPECT_TRUE(DibIsComplete(empty.get()));
}

TEST(PackedDib, LayoutCheckRefusesBlocksThatDoNotHoldWhatTheyAnnounce) {
    EXPECT_FALSE(DibIsComplete(nullptr));
    EXPECT_FALSE(DibIsComplete(PackedDib::Allocate(3).get()));
    EXPECT_FALSE(DibIsComplete(InfoBlock(13, 4, 1, 8, 0, 1024 + 4).get()));  // unknown header size
    EXPECT_FALSE(DibIsComplete(InfoBlock(124, 4, 1, 8, 0, 0).get()));        // table missing
    EXPECT_FALSE(DibIsComplete(InfoBlock(40, 4, 2, 8, 0, 1024 + 7).get()));  // last row short
    EXPECT_TRUE(DibIsComplete(InfoBlock(40, 4, 2, 8, 0, 1024 + 8).get()));
    EXPECT_FALSE(DibIsComplete(InfoBlock(40, 4, 1, 8, 0xFFFFFFFFu, 1024 + 4).get()));  // absurd table
    EXPECT_FALSE(DibIsComplete(InfoBlock(40, 4, 1, 16, 0, 8).get()));                  // not a kind we show
    auto compressed = InfoBlock(40, 4, 1, 8, 0, 1024 + 4);
    WriteLE32(compressed->Bytes() + 16, 1);
    EXPECT_FALSE(DibIsComplete(compressed.get()));
    EXPECT_TRUE(DibIsComplete(CoreBlock(4, 1, 8, 768 + 4).get()));
    EXPECT_FALSE(DibIsComplete(CoreBlock(4, 1, 8, 767 + 4).get()));
}
