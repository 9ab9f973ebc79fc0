#include "image/CropDib.h"

#include <gtest/gtest.h>

#include "tests/support/PictureBytes.h"

namespace {

// An 8-bit system block whose picture byte at (row r, column c) is (r x 7 + c) mod 251.
PackedDibPtr Numbered(std::uint16_t width, std::uint16_t height) {
    PackedDibPtr dib = CreateGreyDib(width, height);
    for (std::uint32_t r = 0; r < height; ++r) {
        for (std::uint32_t c = 0; c < width; ++c) {
            DibBits(dib.get())[(height - 1u - r) * DibRowStride(dib.get()) + c] =
                static_cast<std::uint8_t>((r * 7 + c) % 251);
        }
    }
    return dib;
}

std::uint8_t Number(std::uint32_t r, std::uint32_t c) { return static_cast<std::uint8_t>((r * 7 + c) % 251); }

}  // namespace

TEST(CropDib, CopiesTheRectangleRoundedUpToFourColumns) {
    auto source = Numbered(100, 50);
    auto crop = CropDib({10, 20, 15, 30}, source.get());
    ASSERT_TRUE(crop);
    EXPECT_EQ(DibWidth(crop.get()), 8);
    EXPECT_EQ(DibHeight(crop.get()), 10);
    EXPECT_EQ(crop->Length(), 1064u + 80u);
    for (std::uint32_t i = 0; i < 10; ++i) {
        for (std::uint32_t j = 0; j < 8; ++j) {
            ASSERT_EQ(PictureByte(crop.get(), i, j), Number(20 + i, 10 + j)) << i << "," << j;
        }
    }
}

TEST(CropDib, ClipsToTheImageAndZeroesColumnsBeyondIt) {
    auto source = Numbered(100, 50);
    // Partly outside on every side, and given the wrong way round.
    auto crop = CropDib({120, 60, -5, -7}, source.get());
    ASSERT_TRUE(crop);
    EXPECT_EQ(DibWidth(crop.get()), 100);
    EXPECT_EQ(DibHeight(crop.get()), 50);
    EXPECT_EQ(PictureByte(crop.get(), 49, 99), Number(49, 99));

    // The three columns added to a one-column crop at the right edge are not in the source.
    crop = CropDib({99, 0, 100, 2}, source.get());
    ASSERT_TRUE(crop);
    EXPECT_EQ(DibWidth(crop.get()), 4);
    EXPECT_EQ(PictureByte(crop.get(), 1, 0), Number(1, 99));
    EXPECT_EQ(PictureByte(crop.get(), 1, 1), 0);
    EXPECT_EQ(PictureByte(crop.get(), 1, 3), 0);

    // Wholly outside: an empty rectangle on the edge.
    crop = CropDib({200, 10, 300, 20}, source.get());
    ASSERT_TRUE(crop);
    EXPECT_EQ(DibWidth(crop.get()), 0);
    EXPECT_EQ(DibHeight(crop.get()), 10);
}

TEST(CropDib, PaddingOfAFileBitmapIsNotTakenForPixels) {
    Bytes block = InfoHeader(40, 6, 1, 8);
    Append(block, GreyColourTable(256));
    Append(block, {1, 2, 3, 4, 5, 6, 0xAA, 0xAA});
    auto source = BlockFrom(block);
    auto crop = CropDib({4, 0, 6, 1}, source.get());
    ASSERT_TRUE(crop);
    EXPECT_EQ(Bytes(DibBits(crop.get()), DibBits(crop.get()) + 4), (Bytes{5, 6, 0, 0}));
}

TEST(CropDib, EmptyRectanglesGiveEmptyBitmaps) {
    auto source = Numbered(8, 8);
    auto flat = CropDib({2, 3, 6, 3}, source.get());
    ASSERT_TRUE(flat);
    EXPECT_EQ(DibHeight(flat.get()), 0);
    EXPECT_EQ(flat->Length(), 1064u);
    auto thin = CropDib({2, 3, 2, 6}, source.get());
    ASSERT_TRUE(thin);
    EXPECT_EQ(DibWidth(thin.get()), 0);
    EXPECT_EQ(thin->Length(), 1064u);
}

TEST(CropDib, RefusesWhatIsNeitherGreyNorColour) {
    auto rgb = CreateRgbDib(8, 8);
    EXPECT_TRUE(CropDib({0, 0, 4, 4}, rgb.get()));
    auto nibbles = PackedDib::Allocate(40 + 64 + 8 * 4);
    Bytes header = InfoHeader(40, 8, 8, 4);
    std::copy(header.begin(), header.end(), nibbles->Bytes());
    EXPECT_FALSE(CropDib({0, 0, 4, 4}, nibbles.get()));
    EXPECT_FALSE(CropDib({0, 0, 4, 4}, nullptr));
    // A block that does not hold its rows is never trusted.
    Bytes block = InfoHeader(40, 8, 8, 8);
    Append(block, GreyColourTable(256));
    PackedDibPtr cut = PackedDib::Allocate(block.size());
    std::copy(block.begin(), block.end(), cut->Bytes());
    EXPECT_FALSE(CropDib({0, 0, 4, 4}, cut.get()));
}

TEST(CropDib, KeepsTheSourceColours) {
    auto source = Numbered(8, 2);
    for (int i = 0; i < 256; ++i) {
        std::uint8_t* entry = source->Bytes() + 40 + 4 * i;
        entry[0] = static_cast<std::uint8_t>(255 - i);
        entry[1] = static_cast<std::uint8_t>(i / 2);
        entry[2] = 17;
        entry[3] = 99;
    }
    auto crop = CropDib({0, 0, 4, 1}, source.get());
    ASSERT_TRUE(crop);
    EXPECT_TRUE(std::equal(crop->Bytes() + 40, crop->Bytes() + 1064, source->Bytes() + 40));

    // Sixteen colours from a file: they are kept, the entries beyond stay grey.
    Bytes block = InfoHeader(40, 4, 1, 8, 0, 16);
    for (int i = 0; i < 16; ++i) {
        block.insert(block.end(), {0, 0, 200, 0});
    }
    Append(block, {15, 16, 1, 2});
    auto small = BlockFrom(block);
    crop = CropDib({0, 0, 4, 1}, small.get());
    ASSERT_TRUE(crop);
    EXPECT_EQ(crop->Bytes()[40 + 4 * 15 + 2], 200);
    EXPECT_EQ(crop->Bytes()[40 + 4 * 16 + 2], 16);
    EXPECT_EQ(Bytes(DibBits(crop.get()), DibBits(crop.get()) + 4), (Bytes{15, 16, 1, 2}));
}
