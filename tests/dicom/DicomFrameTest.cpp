// Frames to bitmaps as the document draws them: the grey window, the default window,
// colour, 12-bit packing, row order, padding, and frames that give no image and why.
#include <gtest/gtest.h>
#include <cstring>
#include <optional>

#include "io/FileBuffer.h"
#include "tests/dicom/DicomTestHelpers.h"

namespace {

// A one-row image of signed 16-bit `samples`, with a window when width is not 0.
DicomStreamBuilder Row16(const std::vector<std::int16_t>& samples, int width = 0, int centre = 0,
                         const char* photometric = "MONOCHROME2", int intercept = 0) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, static_cast<std::uint16_t>(samples.size()), 16, 1, photometric).ExplicitUS(0x0028, 0x0103, 1);
    if (width != 0) {
        b.ExplicitText(0x0028, 0x1050, "DS", std::to_string(centre))
            .ExplicitText(0x0028, 0x1051, "DS", std::to_string(width));
    }
    if (intercept != 0) {
        b.ExplicitText(0x0028, 0x1052, "DS", std::to_string(intercept));
    }
    return b.PixelData16(samples);
}

std::vector<std::uint8_t> Greys(const CDicomFile& reader, std::int32_t frame = 0, DisplayState state = {}) {
    return BitmapBytes(Rendered(reader, frame, state).get());
}

DisplayState Window(double width, double centre) {
    DisplayState state;
    state.window = DisplayWindow{width, centre};
    return state;
}

// The window a frame without one of its own is drawn with.
DisplayWindow DefaultOf(const CDicomFile& reader) {
    const ValueRange range = RangeOf(reader);
    return DefaultDisplayWindow(*reader.Attributes(), 0, &range);
}

TEST(DicomWindow, FileWindowMapsExactHalvesUp) {
    auto reader = Captured(Row16({-160, 40, 240, 32767, -32768, -161, 239, 0}, 400, 40));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{0, 128, 255, 255, 0, 0, 254, 102}));
    const ValueRange range = RangeOf(*reader);
    EXPECT_EQ(range.max, 32767);
    EXPECT_EQ(range.min, -32768);
}

TEST(DicomWindow, DefaultWindowIsTheSumOfMagnitudes) {
    auto reader = Captured(Row16({-1024, 0, 3071, 1000}));
    EXPECT_EQ(DefaultOf(*reader), (DisplayWindow{4095, 1024}));

    reader = Captured(Row16({100, 4000, 2050, 2100}));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{6, 249, 128, 131}));
    EXPECT_EQ(DefaultOf(*reader), (DisplayWindow{4100, 2050}));

    // A window set afterwards (by the sliders) is used instead.
    EXPECT_EQ(Greys(*reader, 0, Window(100, 2050)), (std::vector<std::uint8_t>{0, 255, 128, 255}));
}

TEST(DicomWindow, RescaleInterceptShiftsTheRangeWithoutWrapping) {
    auto reader = Captured(Row16({0, 1064, 32767, 2000}, 400, 40, "MONOCHROME2", -1024));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{0, 128, 255, 255}));
    EXPECT_EQ(RangeOf(*reader), (ValueRange{-1024, 31743}));

    // 32767 + 1 is 32768, not -32768: modality values are not 16-bit numbers.
    reader = Captured(Row16({32767, 0}, 0, 0, "MONOCHROME2", 1));
    EXPECT_EQ(RangeOf(*reader), (ValueRange{1, 32768}));
}

TEST(DicomWindow, Monochrome1InvertsGreyLevelsNotSamples) {
    auto reader = Captured(Row16({0, 1000, 500, 250}, 0, 0, "monochrome1 "));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{255, 0, 127, 191}));
    EXPECT_EQ(RangeOf(*reader), (ValueRange{0, 1000}));
    EXPECT_EQ(DefaultOf(*reader), (DisplayWindow{1000, 500}));

    // A window from the file applies to the stored values as they are.
    reader = Captured(Row16({-160, 40, 240, 1000}, 400, 40, "MONOCHROME1"));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{255, 127, 0, 0}));
}

TEST(DicomWindow, NarrowZeroAndNegativeWidths) {
    auto reader = Captured(Row16({-32768, 32767, 0, 1}, 1, 0));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{0, 255, 255, 255}));

    reader = Captured(Row16({0, 0, 0, 0}));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(DefaultOf(*reader).width, 0);

    // |max| + |min| passes 16 bits; the width is what it is, not -1.
    reader = Captured(Row16({-32768, 32767, 0, 0}));
    EXPECT_EQ(DefaultOf(*reader), (DisplayWindow{65535, 0}));

    reader = Captured(Row16({-300, 300, 0, 0}));
    EXPECT_EQ(Greys(*reader, 0, Window(-200, 0)), (std::vector<std::uint8_t>{255, 0, 126, 126}));
}

TEST(DicomFrames, RowsAreBottomUpAndPaddedWithZeros) {
    DicomStreamBuilder b;
    std::vector<std::uint8_t> pixels;
    for (int f = 0; f < 3; ++f) {
        for (int r = 0; r < 2; ++r) {
            for (int c = 0; c < 5; ++c) {
                pixels.push_back(static_cast<std::uint8_t>(f * 100 + r * 10 + c));
            }
        }
    }
    b.ImageAttributes(2, 5, 8).ExplicitText(0x0028, 0x0008, "IS", "3").PixelData8(pixels);
    auto reader = Captured(b);
    PackedDibPtr dib = Rendered(*reader, 2);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(DibWidth(dib.get()), 8);
    EXPECT_EQ(DibHeight(dib.get()), 2);
    EXPECT_EQ(DibBitCount(dib.get()), 8);
    EXPECT_EQ(dib->Length(), 40u + 1024u + 16u);
    const std::uint8_t* table = dib->Bytes() + 40;
    EXPECT_EQ(table[4 * 200 + 0], 200);
    EXPECT_EQ(table[4 * 200 + 2], 200);
    EXPECT_EQ(table[4 * 200 + 3], 0);
    EXPECT_EQ(Greys(*reader, 2), (std::vector<std::uint8_t>{210, 211, 212, 213, 214, 0, 0, 0,  //
                                                            200, 201, 202, 203, 204, 0, 0, 0}));
    EXPECT_EQ(Rendered(*reader, 3), nullptr);
}

TEST(DicomFrames, ColumnsOf250GiveWidth252) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, 250, 8).PixelData8(std::vector<std::uint8_t>(250, 9));
    auto reader = Captured(b);
    const auto greys = Greys(*reader);
    ASSERT_EQ(greys.size(), 252u);
    EXPECT_EQ(greys[249], 9);
    EXPECT_EQ(greys[250], 0);
    EXPECT_EQ(greys[251], 0);
}

TEST(DicomFrames, WidestColumnsKeepTheirWidthInsteadOfWrappingToZero) {
    // 65,535 rounded up to a multiple of 4 is 65,536, which is 0 as a 16-bit width:
    // the rows must still land in a block wide enough for them.
    DicomStreamBuilder b;
    b.ImageAttributes(1, 65535, 8).PixelData8(std::vector<std::uint8_t>(65535, 7));
    auto reader = Captured(b);
    PackedDibPtr dib = Rendered(*reader, 0);
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibWidth(dib.get()), 65535);
    EXPECT_TRUE(DibIsComplete(dib.get()));
    EXPECT_EQ(DibBits(dib.get())[65534], 7);
}

TEST(DicomFrames, ColourPixelsAreStoredBlueGreenRedAndFramesStep) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, 2, 8, 3, "RGB").PixelData8({10, 20, 30, 40, 50, 60, 1, 2, 3, 4, 5, 6});
    auto reader = Captured(b);
    PackedDibPtr dib = Rendered(*reader, 0);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(DibBitCount(dib.get()), 24);
    EXPECT_EQ(DibWidth(dib.get()), 4);
    EXPECT_EQ(dib->Length(), 40u + 12u);
    EXPECT_EQ(Greys(*reader, 0), (std::vector<std::uint8_t>{30, 20, 10, 60, 50, 40, 0, 0, 0, 0, 0, 0}));
    // Frame 1 of a colour cine is the second frame, not the first again.
    EXPECT_EQ(Greys(*reader, 1), (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Rendered(*reader, 2), nullptr);
}

TEST(DicomFrames, TwelveBitSamplesAreUnpackedAndWindowedLikeSixteenBitOnes) {
    // Two pairs: 0xFFF 0xFFF, then 0x321 0x654; a second frame of 0x001 0x800 0x7FF 0x000.
    DicomStreamBuilder b;
    b.ImageAttributes(2, 2, 12).ExplicitText(0x0028, 0x0008, "IS", "3");
    b.PixelData8({0xFF, 0xFF, 0xFF, 0x21, 0x43, 0x65, 0x01, 0x00, 0x80, 0xFF, 0x07, 0x00});
    auto reader = Captured(b);
    const auto grey = [](int v) { return LinearGrey(v, 4096, 2048); };
    // The file's first row at the bottom.
    EXPECT_EQ(Greys(*reader, 0, Window(4096, 2048)),
              (std::vector<std::uint8_t>{grey(0x321), grey(0x654), 0, 0, grey(0xFFF), grey(0xFFF), 0, 0}));
    EXPECT_EQ(Greys(*reader, 1, Window(4096, 2048)),
              (std::vector<std::uint8_t>{grey(0x7FF), grey(0x000), 0, 0, grey(0x001), grey(0x800), 0, 0}));
    // The third frame the file claims lies beyond its data.
    EXPECT_TRUE(NoImage(*reader, 2).Is(DicomNoImage::FrameOutside));
}

// A file the reader loads, the frame asked for, and why it gives no image (or none:
// it gives one).
struct NoImageCase {
    const char* name;
    void (*build)(DicomStreamBuilder& b);
    std::int32_t frame;
    std::optional<DicomNoImage> code;
};

class DicomNoImageReason : public ::testing::TestWithParam<NoImageCase> {};

TEST_P(DicomNoImageReason, IsGivenExactlyWhenThereIsNoImage) {
    DicomStreamBuilder b;
    GetParam().build(b);
    auto reader = Captured(b);
    const Reason reason = NoImage(*reader, GetParam().frame);
    EXPECT_EQ(!reason, Rendered(*reader, GetParam().frame) != nullptr) << reason;
    // Whether the frame gives an image is told without reading it, and told alike.
    EXPECT_EQ(!reader->Frames()->Check(GetParam().frame), !reason);
    if (GetParam().code) {
        EXPECT_TRUE(reason.Is(*GetParam().code)) << reason;
        EXPECT_FALSE(reason.Text().empty());
    } else {
        EXPECT_FALSE(reason) << reason;
    }
}

void TwoFrames(DicomStreamBuilder& b) { b.ImageAttributes(1, 2, 16).PixelData16({1, 2, 3, 4}); }

INSTANTIATE_TEST_SUITE_P(
    Files, DicomNoImageReason,
    ::testing::Values(NoImageCase{"NoRows",
                                  [](DicomStreamBuilder& b) {
                                      b.ExplicitUS(0x0028, 0x0011, 4).PixelData8({1, 2, 3, 4});
                                  },
                                  0, DicomNoImage::NoRowsOrColumns},
                      NoImageCase{"FourSamples",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(1, 1, 8, 4).PixelData8({1, 2, 3, 4});
                                  },
                                  0, DicomNoImage::TooManySamples},
                      NoImageCase{"Bits24",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(1, 1, 24).PixelData8({1, 2, 3, 4});
                                  },
                                  0, DicomNoImage::UnsupportedBitsAllocated},
                      NoImageCase{"PaletteWithoutTables",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(1, 2, 8, 1, "PALETTE COLOR").PixelData8({1, 2});
                                  },
                                  0, DicomNoImage::PaletteColour},
                      NoImageCase{"CutShort",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(2, 2, 16).ExplicitHeader(0x7FE0, 0x0010, "OW", 8).U32(7);
                                  },
                                  0, DicomNoImage::PixelDataCutShort},
                      NoImageCase{"NoPixels", [](DicomStreamBuilder& b) { b.ImageAttributes(1, 1, 16); }, 0,
                                  DicomNoImage::NoPixelData},
                      NoImageCase{"Encapsulated",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(1, 1, 16)
                                          .ExplicitHeader(0x7FE0, 0x0010, "OB", 0xFFFFFFFF)
                                          .ImplicitHeader(0xFFFE, 0xE000, 0)
                                          .Implicit(0xFFFE, 0xE000, {1, 2, 3, 4})
                                          .ImplicitHeader(0xFFFE, 0xE0DD, 0);
                                  },
                                  0, DicomNoImage::Encapsulated},
                      NoImageCase{"LastFrame", TwoFrames, 1, std::nullopt},
                      NoImageCase{"FramePastTheEnd", TwoFrames, 2, DicomNoImage::FrameOutside},
                      NoImageCase{"NegativeFrame", TwoFrames, -1, DicomNoImage::FrameOutside},
                      // frame x 3 x rows x columns passes 2^64 here; the frame is still outside.
                      NoImageCase{"HugeColour",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(65535, 65535, 8, 3, "RGB").PixelData8({1, 2, 3});
                                  },
                                  2147483647, DicomNoImage::FrameOutside},
                      // Four 12-bit samples take six bytes; the 30-byte claim has no pixel data at all.
                      NoImageCase{"TwelveBitShortData",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(2, 2, 12).PixelData8({1, 2, 3, 4});
                                  },
                                  0, DicomNoImage::FrameOutside},
                      NoImageCase{"TwelveBitClaimWithoutData",
                                  [](DicomStreamBuilder& b) { b.ImageAttributes(65535, 65535, 12); }, 0,
                                  DicomNoImage::NoPixelData},
                      // Three 12-bit samples take five bytes (the last sample in two).
                      NoImageCase{"TwelveBitOddCount",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(1, 3, 12).PixelData8({1, 2, 3, 4, 5, 0});
                                  },
                                  0, std::nullopt},
                      // Three bytes hold one 16-bit sample.
                      NoImageCase{"OddLength",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(1, 2, 16).PixelData8({1, 2, 3});
                                  },
                                  0, DicomNoImage::FrameOutside}),
    [](const ::testing::TestParamInfo<NoImageCase>& each) { return std::string(each.param.name); });

TEST(DicomFrames, NoImageReasonCarriesTheFrameAndTheLoadFailure) {
    DicomStreamBuilder b;
    TwoFrames(b);
    auto reader = Captured(b);
    EXPECT_EQ(NoImage(*reader, 2).First(), 2);
    EXPECT_NE(NoImage(*reader, 2).Text().find("frame 2"), std::string::npos);

    CDicomFile missing;
    EXPECT_EQ(missing.LoadFile("/nonexistent/study.dcm"), -1);
    EXPECT_TRUE(missing.LoadFailure().Is(FileReadFailure::CannotOpen));
    missing.Reset();
    EXPECT_FALSE(missing.LoadFailure());
}

TEST(DicomFrames, TheRangeAndDefaultWindowComeFromTheDataWhateverFrameIsAskedFor) {
    auto reader = Captured(Row16({-5, 9}));
    EXPECT_EQ(Rendered(*reader, 7), nullptr);
    EXPECT_EQ(RangeOf(*reader), (ValueRange{-5, 9}));
    EXPECT_EQ(DefaultOf(*reader), (DisplayWindow{14, 2}));
}

}  // namespace
