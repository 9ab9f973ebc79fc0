#include "image/BmpFile.h"

#include <gtest/gtest.h>

#include "image/BmpRle.h"
#include "tests/support/PictureBytes.h"

namespace {

// A .bmp file of a `width` x `height` bitmap whose rows are the run-length `data`.
Bytes RleFile(std::int32_t width, std::int32_t height, std::uint16_t bitCount, const Bytes& data) {
    Bytes block = InfoHeader(40, width, height, bitCount, bitCount == 8 ? kRle8 : kRle4);
    Append(block, GreyColourTable(bitCount == 8 ? 256 : 16));
    Append(block, data);
    return BmpFileBytes(block);
}

PackedDibPtr Read(const Bytes& file, Reason* why = nullptr) { return ReadBmpBytes(file.data(), file.size(), why); }

// The stored rows of an uncompressed block, bottom row first.
Bytes Rows(const PackedDib* dib) { return Bytes(DibBits(dib), DibBits(dib) + DibRowStride(dib) * DibHeight(dib)); }

}  // namespace

TEST(BmpRle, EightBitRunsAbsoluteRunsDeltasAndLineEnds) {
    const Bytes data = {
        3, 9,           // bottom row: 9 9 9
        0, 0,           // end of line
        0, 3, 1, 2, 3,  // absolute: 1 2 3, then a pad byte to keep commands on even offsets
        0,              // (pad)
        0, 2, 1, 1,     // delta: right 1, up 1, so the third row starts at column 4
        1, 5,           // 5
        0, 1,           // end of bitmap; what follows is not read
        7, 7,
    };
    Reason why;
    auto dib = Read(RleFile(5, 3, 8, data), &why);
    ASSERT_TRUE(dib) << why;
    ASSERT_TRUE(DibIsComplete(dib.get()));
    EXPECT_EQ(DibBitCount(dib.get()), 8);
    // Stride 8; pixels no command reached are 0.
    EXPECT_EQ(Rows(dib.get()), (Bytes{9, 9, 9, 0, 0, 0, 0, 0,  //
                                      1, 2, 3, 0, 0, 0, 0, 0,  //
                                      0, 0, 0, 0, 5, 0, 0, 0}));
    // The block says it is uncompressed now and writes out as an ordinary bitmap.
    EXPECT_EQ(ReadLE32(dib->Bytes() + 16), 0u);
    EXPECT_EQ(ReadLE32(dib->Bytes() + 20), 24u);
}

TEST(BmpRle, FourBitRunsAlternateTheirTwoNibbles) {
    const Bytes data = {
        5, 0x12,              // 1 2 1 2 1
        0, 0,                 // end of line
        0, 3,    0xAB, 0xC0,  // absolute: A B C, two bytes, already even
        0, 1,
    };
    Reason why;
    auto dib = Read(RleFile(6, 2, 4, data), &why);
    ASSERT_TRUE(dib) << why;
    EXPECT_EQ(DibBitCount(dib.get()), 4);
    EXPECT_EQ(Rows(dib.get()), (Bytes{0x12, 0x12, 0x10, 0, 0xAB, 0xC0, 0, 0}));
}

TEST(BmpRle, TopDownRowsAreTurnedBottomUp) {
    auto dib = Read(RleFile(1, -2, 8, {1, 4, 0, 0, 1, 6, 0, 1}));
    ASSERT_TRUE(dib);
    EXPECT_EQ(PictureByte(dib.get(), 0, 0), 4);
    EXPECT_EQ(PictureByte(dib.get(), 1, 0), 6);
}

// Commands that reach past the bitmap's edge or past the data's end.
struct RleRefusal {
    const char* name;
    std::uint16_t bitCount;
    Bytes data;
    BmpFailure code;
};

class BmpRleRefuses : public ::testing::TestWithParam<RleRefusal> {};

TEST_P(BmpRleRefuses, WithTheReason) {
    Reason why;
    EXPECT_FALSE(Read(RleFile(4, 2, GetParam().bitCount, GetParam().data), &why));
    EXPECT_TRUE(why.Is(GetParam().code)) << why;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BmpRleRefuses,
    ::testing::Values(RleRefusal{"RunPastTheRightEdge", 8, {5, 1, 0, 1}, BmpFailure::RunPastBounds},
                      RleRefusal{"RunAfterAnEarlierRun", 8, {3, 1, 2, 1}, BmpFailure::RunPastBounds},
                      RleRefusal{"AbsoluteRunPastTheEdge", 8, {0, 5, 1, 2, 3, 4, 5, 0}, BmpFailure::RunPastBounds},
                      RleRefusal{"NibbleRunPastThePaddedRow", 4, {9, 0x11, 0, 1}, BmpFailure::RunPastBounds},
                      RleRefusal{"RunAboveTheTopRow", 8, {0, 0, 0, 0, 1, 1}, BmpFailure::RunPastBounds},
                      RleRefusal{"DeltaPastTheTop", 8, {0, 2, 0, 3}, BmpFailure::RunPastBounds},
                      RleRefusal{"DeltaPastTheRightEdge", 8, {0, 2, 5, 0}, BmpFailure::RunPastBounds},
                      RleRefusal{"AbsoluteRunCutShort", 8, {0, 4, 1, 2}, BmpFailure::RunDataCutShort},
                      RleRefusal{"DeltaCutShort", 8, {0, 2, 1}, BmpFailure::RunDataCutShort},
                      RleRefusal{"HalfACommand", 8, {1, 1, 0}, BmpFailure::RunDataCutShort}),
    [](const ::testing::TestParamInfo<RleRefusal>& each) { return std::string(each.param.name); });

TEST(BmpRle, RunsEndingAtTheEdgesAndDataWithoutAnEndMarkAreTaken) {
    // A run to the last column, a delta to the very top (nothing drawn there), and data
    // that stops between commands: the rest stays 0.
    auto dib = Read(RleFile(4, 2, 8, {4, 3, 0, 2, 0, 2}));
    ASSERT_TRUE(dib);
    EXPECT_EQ(Rows(dib.get()), (Bytes{3, 3, 3, 3, 0, 0, 0, 0}));
}

// ImageMagick encodes each row to its padded width: runs that reach into the row's
// padding are taken and the padding stays 0; a run past the padded row still refuses.
TEST(BmpRle, RunsIntoTheRowsPaddingAreTakenAndThePaddingDropped) {
    auto dib = Read(RleFile(3, 2, 8, {4, 7, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1}));
    ASSERT_TRUE(dib);
    EXPECT_EQ(Rows(dib.get()), (Bytes{7, 7, 7, 0, 1, 2, 3, 0}));
    auto nibbles = Read(RleFile(3, 1, 4, {8, 0x12, 0, 1}));
    ASSERT_TRUE(nibbles);
    EXPECT_EQ(Rows(nibbles.get()), (Bytes{0x12, 0x10, 0, 0}));
    Reason why;
    EXPECT_FALSE(Read(RleFile(3, 2, 8, {5, 7, 0, 1}), &why));
    EXPECT_TRUE(why.Is(BmpFailure::RunPastBounds)) << why;
}

TEST(BmpRle, ABitmapFarLargerThanItsDataIsRefusedBeforeAnythingIsAllocated) {
    Reason why;
    // 30000 x 30000 is within the image size limit; only its data is far too short.
    EXPECT_FALSE(Read(RleFile(30000, 30000, 8, {0, 1}), &why));
    EXPECT_TRUE(why.Is(BmpFailure::CompressedTooLarge)) << why;
    EXPECT_EQ(why.First(), 30000);
    // One of a few hundred rows, all described by an end mark, is ordinary.
    EXPECT_TRUE(Read(RleFile(500, 500, 8, {0, 1})));
}
