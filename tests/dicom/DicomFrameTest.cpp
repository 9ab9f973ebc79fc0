// Frames to bitmaps: the grey window, colour, 12-bit packing, row order, padding,
// and frames that the pixel data does not hold.
#include <gtest/gtest.h>
#include <cstring>
#include <optional>

#include "io/FileBuffer.h"
#include "tests/dicom/DicomTestHelpers.h"

namespace {

// A one-row 16-bit image of `samples`, with a window when width is not 0.
DicomStreamBuilder Row16(const std::vector<std::int16_t>& samples, int width = 0, int centre = 0,
                         const char* photometric = "MONOCHROME2", int intercept = 0) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, static_cast<std::uint16_t>(samples.size()), 16, 1, photometric);
    if (width != 0) {
        b.ExplicitText(0x0028, 0x1050, "DS", std::to_string(centre))
            .ExplicitText(0x0028, 0x1051, "DS", std::to_string(width));
    }
    if (intercept != 0) {
        b.ExplicitText(0x0028, 0x1052, "DS", std::to_string(intercept));
    }
    return b.PixelData16(samples);
}

std::vector<std::uint8_t> Greys(CDicomFile& reader, std::int32_t frame = 0) {
    PackedDibPtr dib = reader.MakeFrameDib(frame);
    if (!dib) {
        return {};
    }
    const std::uint8_t* bits = DibBits(dib.get());
    return {bits, bits + static_cast<std::size_t>(DibRowStride(dib.get())) * DibHeight(dib.get())};
}

TEST(DicomWindow, FileWindowMapsExactHalvesUp) {
    auto reader = Captured(Row16({-160, 40, 240, 32767, -32768, -161, 239, 0}, 400, 40));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{0, 128, 255, 255, 0, 0, 254, 102}));
    // The file's window needs no range: it waits, untouched, until someone settles it.
    EXPECT_TRUE(reader->SampleRangePending());
    EXPECT_EQ(reader->m_nMaxSample, -32768);
    ASSERT_TRUE(reader->ResolveSampleRange());
    EXPECT_FALSE(reader->SampleRangePending());
    EXPECT_EQ(reader->m_nMaxSample, 32767);
    EXPECT_EQ(reader->m_nMinSample, -32768);
    EXPECT_EQ(reader->m_nWindowWidth, 400);
}

TEST(DicomWindow, DefaultWindowIsTheSumOfMagnitudesAndIsKept) {
    auto reader = Captured(Row16({-1024, 0, 3071, 1000}));
    ASSERT_FALSE(Greys(*reader).empty());
    EXPECT_EQ(reader->m_nWindowCenter, 1024);
    EXPECT_EQ(reader->m_nWindowWidth, 4095);

    reader = Captured(Row16({100, 4000, 2050, 2100}));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{6, 249, 128, 131}));
    EXPECT_EQ(reader->m_nWindowCenter, 2050);
    EXPECT_EQ(reader->m_nWindowWidth, 4100);

    // A window set afterwards (by the sliders) is used and kept.
    reader->m_nWindowWidth = 100;
    reader->m_nWindowCenter = 2050;
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{0, 255, 128, 255}));
    EXPECT_EQ(reader->m_nWindowWidth, 100);
}

TEST(DicomWindow, RescaleInterceptWrapsAndShiftsTheRange) {
    auto reader = Captured(Row16({0, 1064, 32767, 2000}, 400, 40, "MONOCHROME2", -1024));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{0, 128, 255, 255}));
    ASSERT_TRUE(reader->ResolveSampleRange());
    EXPECT_EQ(reader->m_nMaxSample, 31743);
    EXPECT_EQ(reader->m_nMinSample, -1024);

    reader = Captured(Row16({32767, 0}, 0, 0, "MONOCHROME2", 1));  // 32767 + 1 wraps to -32768
    ASSERT_FALSE(Greys(*reader).empty());
    EXPECT_EQ(reader->m_nMinSample, -32768);
    EXPECT_EQ(reader->m_nMaxSample, 1);
}

TEST(DicomWindow, Monochrome1InvertsGreyLevelsNotSamples) {
    auto reader = Captured(Row16({0, 1000, 500, 250}, 0, 0, "monochrome1 "));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{255, 0, 127, 191}));
    EXPECT_EQ(reader->m_nMinSample, 0);
    EXPECT_EQ(reader->m_nMaxSample, 1000);
    EXPECT_EQ(reader->m_nWindowCenter, 500);
    EXPECT_EQ(reader->m_nWindowWidth, 1000);

    // A window from the file applies to the stored values as they are.
    reader = Captured(Row16({-160, 40, 240, 1000}, 400, 40, "MONOCHROME1"));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{255, 127, 0, 0}));
}

TEST(DicomWindow, NarrowZeroAndNegativeWidths) {
    auto reader = Captured(Row16({-32768, 32767, 0, 1}, 1, 0));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{0, 255, 255, 255}));

    reader = Captured(Row16({0, 0, 0, 0}));
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(reader->m_nWindowWidth, 0);

    reader = Captured(Row16({-32768, 32767, 0, 0}));  // |max| + |min| does not fit 16 bits
    ASSERT_FALSE(Greys(*reader).empty());
    EXPECT_EQ(reader->m_nWindowWidth, -1);
    EXPECT_EQ(reader->m_nWindowCenter, 0);

    reader = Captured(Row16({-300, 300, 0, 0}));
    reader->m_nWindowWidth = -200;
    reader->m_nWindowCenter = 0;
    EXPECT_EQ(Greys(*reader), (std::vector<std::uint8_t>{255, 0, 126, 126}));
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
    PackedDibPtr dib = reader->MakeFrameDib(2);
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
    EXPECT_EQ(reader->MakeFrameDib(3), nullptr);

    const auto extracted = reader->ExtractFrame(8, 1);
    ASSERT_NE(extracted, nullptr);
    EXPECT_EQ(extracted[0], 110);
    EXPECT_EQ(extracted[5], 100);
    EXPECT_EQ(reader->ExtractFrame(10, 0), nullptr);
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
    PackedDibPtr dib = reader->MakeFrameDib(0);
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibWidth(dib.get()), 65535);
    EXPECT_TRUE(DibIsComplete(dib.get()));
    EXPECT_EQ(DibBits(dib.get())[65534], 7);
}

TEST(DicomFrames, ColourPixelsAreStoredBlueGreenRedAndFramesStep) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, 2, 8, 3, "RGB").PixelData8({10, 20, 30, 40, 50, 60, 1, 2, 3, 4, 5, 6});
    auto reader = Captured(b);
    PackedDibPtr dib = reader->MakeFrameDib(0);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(DibBitCount(dib.get()), 24);
    EXPECT_EQ(DibWidth(dib.get()), 4);
    EXPECT_EQ(dib->Length(), 40u + 12u);
    EXPECT_EQ(Greys(*reader, 0), (std::vector<std::uint8_t>{30, 20, 10, 60, 50, 40, 0, 0, 0, 0, 0, 0}));
    // Frame 1 of a colour cine is the second frame, not the first again.
    EXPECT_EQ(Greys(*reader, 1), (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(reader->MakeFrameDib(2), nullptr);
}

TEST(DicomFrames, TwelveBitSamplesAreWeightedFromTheStartOfTheData) {
    DicomStreamBuilder b;
    b.ImageAttributes(2, 2, 12).PixelData8({0xFF, 0xFF, 0xFF, 0x21, 0x43, 0x65, 0x77});
    auto reader = Captured(b);
    // first = 0x3*16*0.11 + 1*0.29 + 2*0.6 = 6.77; second = 4*0.29 + 6*0.11 + 5*16*0.6 = 49.82.
    const std::vector<std::uint8_t> expected{39, 150, 0, 0, 6, 49, 0, 0};  // file's first row at the bottom
    EXPECT_EQ(Greys(*reader, 0), expected);
    EXPECT_EQ(Greys(*reader, 5), expected);  // the frame number makes no difference
    EXPECT_FALSE(reader->NoImageReason(5));
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
    const Reason reason = reader->NoImageReason(GetParam().frame);
    EXPECT_EQ(!reason, reader->MakeFrameDib(GetParam().frame) != nullptr) << reason;
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
                      NoImageCase{"Bits32",
                                  [](DicomStreamBuilder& b) {
                                      b.ImageAttributes(1, 1, 32).PixelData8({1, 2, 3, 4});
                                  },
                                  0, DicomNoImage::UnsupportedBitsAllocated},
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
    EXPECT_EQ(reader->NoImageReason(2).First(), 2);
    EXPECT_NE(reader->NoImageReason(2).Text().find("frame 2"), std::string::npos);

    CDicomFile missing;
    EXPECT_EQ(missing.LoadFile("/nonexistent/study.dcm"), -1);
    EXPECT_TRUE(missing.LoadFailure().Is(FileReadFailure::CannotOpen));
    EXPECT_TRUE(missing.NoImageReason(0).Is(FileReadFailure::CannotOpen));
    missing.Reset();
    EXPECT_FALSE(missing.LoadFailure());
}

TEST(DicomFrames, SixteenBitRangeAndWindowAreSetEvenForAFrameOutsideTheData) {
    auto reader = Captured(Row16({-5, 9}));
    EXPECT_EQ(reader->MakeFrameDib(7), nullptr);
    EXPECT_EQ(reader->m_nMaxSample, 9);
    EXPECT_EQ(reader->m_nMinSample, -5);
    EXPECT_EQ(reader->m_nWindowWidth, 14);
    EXPECT_EQ(reader->m_nWindowCenter, 2);
}

}  // namespace
