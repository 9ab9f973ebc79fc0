// Frames in fragments: which way of finding a frame's fragments wins, and that no
// item length is trusted past the end of the bytes.
#include <gtest/gtest.h>

#include "dicom/EncapsulatedPixelData.h"
#include "tools/dicomstream/DicomStreamBuilder.h"

namespace {

// Items after the Pixel Data header: the offset table, then the fragments, then
// the sequence delimiter.
DicomStreamBuilder Items(const std::vector<std::uint32_t>& offsets,
                         const std::vector<std::vector<std::uint8_t>>& fragments, bool delimiter = true) {
    DicomStreamBuilder b;
    b.U16(0xFFFE).U16(0xE000).U32(static_cast<std::uint32_t>(4 * offsets.size()));
    for (std::uint32_t o : offsets) {
        b.U32(o);
    }
    for (const auto& f : fragments) {
        b.U16(0xFFFE).U16(0xE000).U32(static_cast<std::uint32_t>(f.size())).Raw(f);
    }
    if (delimiter) {
        b.U16(0xFFFE).U16(0xE0DD).U32(0);
    }
    return b;
}

const std::vector<std::uint8_t> kJpegStart = {0xFF, 0xD8, 1, 2};
const std::vector<std::uint8_t> kJpegMore = {7, 7, 7, 7, 7, 7};
const std::vector<std::uint8_t> kJ2kStart = {0xFF, 0x4F, 0xFF, 0x51};

std::vector<std::size_t> Frame(const DicomStreamBuilder& items, std::uint32_t frames, std::uint32_t frame,
                               FrameCodec codec = FrameCodec::Jpeg, const ExtendedOffsets& extended = {},
                               Reason* why = nullptr) {
    EncapsulatedPixelData pixels;
    std::vector<std::size_t> indices;
    if (!ParseFragments(items.Bytes(), pixels, why) ||
        !FrameFragments(pixels, extended, frames, frame, codec, indices, why)) {
        return {99};
    }
    return indices;
}

using Indices = std::vector<std::size_t>;

}  // namespace

TEST(EncapsulatedPixelData, OffsetTablesWinOverCountsAndMarkers) {
    // Three fragments, two frames: the basic offset table says the first frame has two.
    const std::uint32_t second = 8 + 4 + 8 + 6;
    const auto items = Items({0, second}, {kJpegStart, kJpegMore, kJpegStart});
    EXPECT_EQ(Frame(items, 2, 0), (Indices{0, 1}));
    EXPECT_EQ(Frame(items, 2, 1), (Indices{2}));

    // The extended table names each frame's single fragment, and is used first.
    ExtendedOffsets extended{{0, second}, {4, 4}};
    const auto three = Items({}, {kJpegStart, kJpegMore, kJpegStart, kJpegStart});
    EXPECT_EQ(Frame(three, 2, 1, FrameCodec::Jpeg, extended), (Indices{2}));

    // An offset table that points between fragments is ignored for the next way.
    const auto bogus = Items({0, 5}, {kJpegStart, kJpegMore, kJpegStart});
    EXPECT_EQ(Frame(bogus, 2, 1), (Indices{2}));
}

TEST(EncapsulatedPixelData, WithoutOffsetsFramesAreFoundByCountOrByStartMarkers) {
    const auto perFrame = Items({}, {kJpegMore, kJpegMore, kJpegMore});
    EXPECT_EQ(Frame(perFrame, 3, 2, FrameCodec::Rle), (Indices{2}));

    const auto jpeg = Items({}, {kJpegStart, kJpegMore, kJpegMore, kJpegStart, kJpegMore});
    EXPECT_EQ(Frame(jpeg, 2, 0), (Indices{0, 1, 2}));
    EXPECT_EQ(Frame(jpeg, 2, 1), (Indices{3, 4}));

    const auto j2k = Items({}, {kJ2kStart, kJpegMore, kJ2kStart});
    EXPECT_EQ(Frame(j2k, 2, 1, FrameCodec::Jpeg2000), (Indices{2}));
    // A JPEG start marker means nothing in a JPEG 2000 file.
    Reason why;
    EXPECT_EQ(Frame(jpeg, 2, 1, FrameCodec::Jpeg2000, {}, &why), (Indices{99}));
    EXPECT_TRUE(why.Is(FragmentFailure::FramesNotTold)) << why;

    // One frame takes every fragment, whatever they start with.
    EXPECT_EQ(Frame(jpeg, 1, 0), (Indices{0, 1, 2, 3, 4}));
    EXPECT_EQ(Frame(jpeg, 1, 1, FrameCodec::Jpeg, {}, &why), (Indices{99}));
    EXPECT_TRUE(why.Is(FragmentFailure::FrameOutside)) << why;
    EXPECT_EQ(why.Text(), "frame 1 lies outside the pixel data");
}

TEST(EncapsulatedPixelData, LengthsAreCheckedAgainstTheBytesThere) {
    Reason why;
    // No delimiter: the fragments up to the end of the file still count.
    EXPECT_EQ(Frame(Items({}, {kJpegStart, kJpegStart}, false), 2, 1), (Indices{1}));

    DicomStreamBuilder past = Items({}, {kJpegStart}, false);
    past.U16(0xFFFE).U16(0xE000).U32(0xFFFFFFF0u).Raw(kJpegStart);
    EXPECT_EQ(Frame(past, 2, 1, FrameCodec::Jpeg, {}, &why), (Indices{99}));
    EXPECT_TRUE(why.Is(FragmentFailure::ItemPastEnd)) << why;

    DicomStreamBuilder notItems;
    notItems.U16(0x0028).U16(0x0010).U32(2).U16(5);
    EXPECT_EQ(Frame(notItems, 1, 0, FrameCodec::Jpeg, {}, &why), (Indices{99}));
    EXPECT_TRUE(why.Is(FragmentFailure::NotItems)) << why;

    EXPECT_EQ(Frame(Items({}, {}), 1, 0, FrameCodec::Jpeg, {}, &why), (Indices{99}));
    EXPECT_TRUE(why.Is(FragmentFailure::NoFragments)) << why;

    DicomStreamBuilder oddTable;
    oddTable.U16(0xFFFE).U16(0xE000).U32(3).Raw(std::vector<std::uint8_t>{0, 0, 0});
    EXPECT_EQ(Frame(oddTable, 1, 0, FrameCodec::Jpeg, {}, &why), (Indices{99}));
    EXPECT_TRUE(why.Is(FragmentFailure::OffsetTableLength)) << why;
}

TEST(EncapsulatedPixelData, FrameStreamJoinsFragmentsOnlyWhenThereAreSeveral) {
    const auto items = Items({}, {kJpegStart, kJpegMore});
    EncapsulatedPixelData pixels;
    ASSERT_TRUE(ParseFragments(items.Bytes(), pixels, nullptr));
    std::vector<std::uint8_t> joined;
    const auto one = FrameStream(items.Bytes(), pixels, {1}, joined);
    EXPECT_TRUE(joined.empty());
    EXPECT_EQ(std::vector<std::uint8_t>(one.begin(), one.end()), kJpegMore);
    const auto both = FrameStream(items.Bytes(), pixels, {0, 1}, joined);
    std::vector<std::uint8_t> expected = kJpegStart;
    expected.insert(expected.end(), kJpegMore.begin(), kJpegMore.end());
    EXPECT_EQ(std::vector<std::uint8_t>(both.begin(), both.end()), expected);
}
