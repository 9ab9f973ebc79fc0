// Pixel data stored otherwise than as interleaved little-endian grey or RGB: the
// reader brings it into that layout, or says why it shows nothing.
#include <gtest/gtest.h>

#include "codecs/DecodeFailure.h"
#include "tests/dicom/DicomTestHelpers.h"

namespace {

std::vector<std::uint8_t> Bits(const CDicomFile& reader, std::int32_t frame = 0) {
    return BitmapBytes(Rendered(reader, frame).get());
}

DicomStreamBuilder Colour(const char* photometric, std::uint16_t planar, const std::vector<std::uint8_t>& bytes,
                          std::uint16_t columns = 2) {
    DicomStreamBuilder b;
    b.ExplicitUS(0x0028, 0x0002, 3)
        .ExplicitText(0x0028, 0x0004, "CS", photometric)
        .ExplicitUS(0x0028, 0x0006, planar)
        .ExplicitUS(0x0028, 0x0010, 1)
        .ExplicitUS(0x0028, 0x0011, columns)
        .ExplicitUS(0x0028, 0x0100, 8);
    return b.PixelData8(bytes);
}

}  // namespace

TEST(DicomStoredLayout, PlanesAndYbrBecomeTheRgbOfTheInterleavedFile) {
    const auto interleaved = Captured(Colour("RGB", 0, {10, 20, 30, 40, 50, 60}));
    const auto expected = Bits(*interleaved);
    ASSERT_FALSE(expected.empty());
    const auto planar = Captured(Colour("RGB", 1, {10, 40, 20, 50, 30, 60}));
    EXPECT_EQ(Bits(*planar), expected);

    // Grey in YBR stays grey; 4:2:2 pairs share their chroma.
    const auto ybr = Captured(Colour("YBR_FULL", 0, {90, 128, 128, 200, 128, 128}));
    EXPECT_EQ(Bits(*ybr), (std::vector<std::uint8_t>{90, 90, 90, 200, 200, 200, 0, 0, 0, 0, 0, 0}));
    const auto ybr422 = Captured(Colour("YBR_FULL_422", 0, {90, 200, 128, 128}));
    EXPECT_EQ(Bits(*ybr422), (std::vector<std::uint8_t>{90, 90, 90, 200, 200, 200, 0, 0, 0, 0, 0, 0}));
}

TEST(DicomStoredLayout, UnshownPhotometricsGiveAReasonNotGarbage) {
    DicomStreamBuilder palette;
    palette.ImageAttributes(1, 4, 8, 1, "PALETTE COLOR").PixelData8({1, 2, 3, 4});
    auto reader = Captured(palette);
    EXPECT_EQ(Rendered(*reader), nullptr);
    EXPECT_TRUE(NoImage(*reader).Is(DicomNoImage::PaletteColour));  // no palette tables

    auto cmyk = Captured(Colour("YBR_PARTIAL_420", 0, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Rendered(*cmyk), nullptr);
    EXPECT_TRUE(NoImage(*cmyk).Is(DicomNoImage::PhotometricNotShown));
    EXPECT_EQ(NoImage(*cmyk).Subject(), "YBR_PARTIAL_420");
    EXPECT_EQ(NoImage(*cmyk).Text(), "photometric interpretation YBR_PARTIAL_420 is not shown");

    // Grey with three samples a pixel, and 4:2:2 colour of 16 bits: the words say what
    // does not fit instead of calling a photometric interpretation shown elsewhere unshown.
    auto grey = Captured(Colour("MONOCHROME2", 0, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Rendered(*grey), nullptr);
    EXPECT_EQ(NoImage(*grey).Text(), "photometric interpretation MONOCHROME2 holds one sample per pixel, not 3");
    DicomStreamBuilder wide;
    wide.ExplicitUS(0x0028, 0x0002, 3)
        .ExplicitText(0x0028, 0x0004, "CS", "YBR_FULL_422")
        .ExplicitUS(0x0028, 0x0010, 1)
        .ExplicitUS(0x0028, 0x0011, 2)
        .ExplicitUS(0x0028, 0x0100, 16)
        .PixelData8(std::vector<std::uint8_t>(12, 9));
    auto ybr16 = Captured(wide);
    EXPECT_EQ(NoImage(*ybr16).Text(),
              "photometric interpretation YBR_FULL_422 is shown for 8-bit samples, not 16-bit ones");
}

TEST(DicomStoredLayout, SignedSamplesOfFewerBitsAreSignExtendedFromTheHighBit) {
    const auto build = [](std::uint16_t bitsStored, const std::vector<std::int16_t>& samples, bool highBit = true) {
        DicomStreamBuilder b;
        b.ImageAttributes(1, 4, 16).ExplicitUS(0x0028, 0x0101, bitsStored);
        if (highBit) {
            b.ExplicitUS(0x0028, 0x0102, static_cast<std::uint16_t>(bitsStored - 1));
        }
        b.ExplicitUS(0x0028, 0x0103, 1)
            .ExplicitText(0x0028, 0x1050, "DS", "0")
            .ExplicitText(0x0028, 0x1051, "DS", "200");
        return b.PixelData16(samples);
    };
    // 12 stored bits: 0x0FFF is -1 and 0x0800 is -2048.
    auto twelve = Captured(build(12, {0x0FFF, 0x0800, 0x07FF, 50}));
    auto sixteen = Captured(build(16, {-1, -2048, 2047, 50}));
    EXPECT_EQ(Bits(*twelve), Bits(*sixteen));
    // Without High Bit the sign bit is the top one of the bits stored.
    EXPECT_EQ(Bits(*Captured(build(12, {0x0FFF, 0x0800, 0x07FF, 50}, false))), Bits(*sixteen));
    EXPECT_EQ(RangeOf(*twelve), (ValueRange{-2048, 2047}));

    // Unsigned samples keep only their stored bits: an overlay in the bits above them
    // does not show, and does not count in the range.
    DicomStreamBuilder overlay;
    overlay.ImageAttributes(1, 2, 16).ExplicitUS(0x0028, 0x0101, 12).ExplicitUS(0x0028, 0x0103, 0);
    overlay.ExplicitText(0x0028, 0x1050, "DS", "100").ExplicitText(0x0028, 0x1051, "DS", "200");
    auto masked = Captured(DicomStreamBuilder(overlay).PixelData16({static_cast<std::int16_t>(0xF000 | 150), 30}));
    auto plain = Captured(DicomStreamBuilder(overlay).PixelData16({150, 30}));
    EXPECT_EQ(Bits(*masked), Bits(*plain));
    EXPECT_EQ(RangeOf(*masked), (ValueRange{30, 150}));
}

TEST(DicomStoredLayout, ADeflatedDataSetThatCannotBeInflatedSaysWhy) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup("1.2.840.10008.1.2.1.99").Raw(std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x01, 0x02});
    auto reader = Captured(b);
    EXPECT_EQ(Rendered(*reader), nullptr);
    // The inflater's own reason reaches the reader's caller.
    EXPECT_TRUE(NoImage(*reader).Is(InflateFailure::Corrupt) || NoImage(*reader).Is(InflateFailure::Truncated))
        << NoImage(*reader);
    EXPECT_EQ(reader->TransferSyntaxUid(), "1.2.840.10008.1.2.1.99");
    EXPECT_EQ(reader->TransferSyntaxName(), "Deflated Explicit VR Little Endian");

    // Compressed as video: the reason names it.
    DicomStreamBuilder video;
    video.Preamble().MetaGroup("1.2.840.10008.1.2.4.102").ImageAttributes(2, 2, 8);
    video.ExplicitHeader(0x7FE0, 0x0010, "OB", 0xFFFFFFFFu).U16(0xFFFE).U16(0xE000).U32(0);
    video.U16(0xFFFE).U16(0xE000).U32(4).U32(0).U16(0xFFFE).U16(0xE0DD).U32(0);
    auto h264 = Captured(video);
    EXPECT_EQ(NoImage(*h264).Text(), "compressed as MPEG-4 AVC/H.264 video, which is not shown");
}
