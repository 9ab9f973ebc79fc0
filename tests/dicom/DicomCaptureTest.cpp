// The capture pass: which attributes it keeps and how their values are taken.
#include <gtest/gtest.h>
#include <cstring>

#include "tests/dicom/DicomTestHelpers.h"

namespace {

std::shared_ptr<const ImageAttributes> CaptureText(std::uint16_t element, const std::string& text) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0028, element, "DS", text);
    return Captured(b)->Attributes();
}

// The first window of a file that gives `centre` and `width`.
std::optional<WindowSetting> WindowOf(const std::string& centre, const std::string& width) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0028, 0x1050, "DS", centre).ExplicitText(0x0028, 0x1051, "DS", width);
    auto a = Captured(b)->Attributes();
    if (a->shared.windows.empty()) return std::nullopt;
    return a->shared.windows.front();
}

TEST(DicomCapture, NumbersAreTakenAsTheFileWritesThem) {
    EXPECT_EQ(CaptureText(0x0008, "3 ")->frames, 3);
    EXPECT_EQ(Captured(DicomStreamBuilder().ExplicitUS(0x0028, 0x0010, 1))->Attributes()->frames, 0);

    // Windows and the rescale keep their decimals, as DICOM's DS values mean them.
    EXPECT_EQ(WindowOf("40\\400", "400\\2000")->centre, 40);
    EXPECT_DOUBLE_EQ(WindowOf("40.7", "400")->centre, 40.7);
    EXPECT_EQ(WindowOf("-600", " 1500")->centre, -600);
    EXPECT_EQ(WindowOf("-600", " 1500")->width, 1500);
    EXPECT_FALSE(WindowOf("40", "wide"));  // no width, no window
    EXPECT_FALSE(WindowOf("40", "0"));

    EXPECT_EQ(CaptureText(0x1052, "-1024")->shared.modality.intercept, -1024);
    EXPECT_DOUBLE_EQ(CaptureText(0x1052, "-1024.7")->shared.modality.intercept, -1024.7);
    EXPECT_DOUBLE_EQ(CaptureText(0x1052, "0.5")->shared.modality.intercept, 0.5);
    EXPECT_EQ(CaptureText(0x1052, "40000")->shared.modality.intercept, 40000);
}

TEST(DicomCapture, LongAndMeaninglessNumericTexts) {
    // Only the first 31 bytes of Number of Frames are converted.
    EXPECT_EQ(CaptureText(0x0008, std::string(30, '0') + "45")->frames, 4);
    // A text that holds no number leaves the value as if it were absent.
    EXPECT_EQ(CaptureText(0x1052, "nan")->shared.modality.intercept, 0);
    EXPECT_EQ(CaptureText(0x1053, "nan")->shared.modality.slope, 1);
    EXPECT_EQ(CaptureText(0x1053, "0")->shared.modality.slope, 1);  // a zero slope would erase the image
    EXPECT_FALSE(WindowOf("99999999999999999999999", "1e999"));
    // A value without bytes converts nothing.
    DicomStreamBuilder empty;
    empty.ExplicitHeader(0x0028, 0x1051, "DS", 0);
    EXPECT_TRUE(Captured(empty)->Attributes()->shared.windows.empty());
}

TEST(DicomCapture, PhotometricKeepsItsBytesAndNeverAStaleTail) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0028, 0x0004, "CS", "monochrome1");
    auto reader = Captured(b);
    EXPECT_EQ(reader->Attributes()->photometricText, "monochrome1 ");
    EXPECT_EQ(reader->Attributes()->photometric, "MONOCHROME1");
    EXPECT_TRUE(reader->Attributes()->IsMonochrome1());

    // A shorter second value in the same file.
    b.ExplicitText(0x0028, 0x0004, "CS", "RGB");
    EXPECT_EQ(Captured(b)->Attributes()->photometricText, "RGB ");

    // Longer values keep their first 64 bytes.
    DicomStreamBuilder longValue;
    longValue.ExplicitText(0x0028, 0x0004, "CS", std::string(80, 'M'));
    EXPECT_EQ(Captured(longValue)->Attributes()->photometricText, std::string(64, 'M'));
}

TEST(DicomCapture, NumbersAndPixelData) {
    DicomStreamBuilder b;
    b.ImageAttributes(2, 3, 16, 1)
        .ExplicitUS(0x0028, 0x0012, 1)
        .ExplicitUS(0x0028, 0x0101, 12)
        .ExplicitUS(0x0028, 0x0102, 11)
        .ExplicitUS(0x0028, 0x0103, 1)
        .ExplicitUL(0x7FE0, 0x0000, 20)
        .PixelData16({1, 2, 3, 4, 5, 6});
    auto reader = Captured(b);
    const ImageAttributes& a = *reader->Attributes();
    EXPECT_EQ(a.samplesPerPixel, 1);
    EXPECT_EQ(a.rows, 2);
    EXPECT_EQ(a.columns, 3);
    EXPECT_EQ(a.bitsAllocated, 16);
    EXPECT_EQ(a.planes, 1);
    EXPECT_EQ(a.bitsStored, 12);
    EXPECT_EQ(a.highBit, 11);
    EXPECT_EQ(a.pixelRepresentation, 1);
    EXPECT_EQ(a.pixelData.groupLength, 20u);
    ASSERT_EQ(a.pixelData.length, 12u);
    // Where the value lies, read only when a frame is asked for.
    EXPECT_EQ(a.pixelData.offset, reader->Size() - 12);
    auto frame = reader->Frames()->Frame(0);
    ASSERT_TRUE(frame);
    EXPECT_EQ((*frame)->Raw(1), 2u);
}

TEST(DicomCapture, HighBitAndBitsStoredAreTakenWhereTheyMakeSense) {
    const auto bits = [](std::optional<std::uint16_t> stored, std::optional<std::uint16_t> high) {
        DicomStreamBuilder b;
        b.ImageAttributes(1, 1, 16);
        if (stored) b.ExplicitUS(0x0028, 0x0101, *stored);
        if (high) b.ExplicitUS(0x0028, 0x0102, *high);
        auto a = Captured(b)->Attributes();
        return std::pair<int, int>(a->bitsStored, a->highBit);
    };
    EXPECT_EQ(bits(std::nullopt, std::nullopt), (std::pair<int, int>(16, 15)));
    EXPECT_EQ(bits(12, std::nullopt), (std::pair<int, int>(12, 11)));
    EXPECT_EQ(bits(12, 15), (std::pair<int, int>(12, 15)));  // stored in the top bits
    EXPECT_EQ(bits(20, 3), (std::pair<int, int>(16, 15)));   // neither fits 16 bits allocated
}

TEST(DicomCapture, LastOccurrenceWinsAndShortNumbersReadMissingBytesAsZero) {
    DicomStreamBuilder b;
    b.ExplicitUS(0x0028, 0x0010, 100)
        .PixelData8({1, 2, 3, 4})
        .ExplicitUS(0x0028, 0x0010, 200)
        .Explicit(0x0028, 0x0011, "US", {0x34})  // one byte of two
        .PixelData8({9, 8});
    auto a = Captured(b)->Attributes();
    EXPECT_EQ(a->rows, 200);
    EXPECT_EQ(a->columns, 0x34);
    EXPECT_EQ(a->pixelData.length, 2u);
}

TEST(DicomCapture, ResetForgetsTheFileButWhatWasHandedOutStays) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, 2, 16).ExplicitText(0x0028, 0x1051, "DS", "10").PixelData16({5, 7});
    auto reader = Captured(b);
    const auto attributes = reader->Attributes();
    const auto frames = reader->Frames();
    reader->DescribeElement();
    const std::string text = reader->ValueText();
    reader->Reset();
    EXPECT_EQ(reader->Size(), 0u);
    EXPECT_EQ(reader->Attributes(), nullptr);
    EXPECT_EQ(reader->Frames(), nullptr);
    EXPECT_EQ(std::string(reader->ValueText()), text);
    // The frame source keeps the bytes it reads from.
    EXPECT_EQ(attributes->rows, 1);
    auto frame = frames->Frame(0);
    ASSERT_TRUE(frame);
    EXPECT_EQ((*frame)->Raw(1), 7u);
}

TEST(DicomCapture, TextsAndTimingForTheViewer) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0008, 0x0020, "DA", "20240131")
        .ExplicitText(0x0008, 0x0060, "CS", "CT")
        .ExplicitText(0x0010, 0x0010, "PN", " DOE^JANE ")
        .ExplicitText(0x0010, 0x0020, "LO", std::string(80, 'I'))
        .ExplicitText(0x0018, 0x0040, "IS", "30")
        .ExplicitText(0x0018, 0x1063, "DS", "33.3\\40")
        .ImageAttributes(1, 3, 16)
        .PixelData16({0, 3, 6});
    auto a = Captured(b)->Attributes();
    EXPECT_EQ(a->studyDate, "20240131");
    EXPECT_EQ(a->modality, "CT");
    EXPECT_EQ(a->patientName, "DOE^JANE");
    EXPECT_EQ(a->patientId, std::string(64, 'I'));  // never longer than 64
    EXPECT_EQ(a->cineRate, 30);
    EXPECT_DOUBLE_EQ(a->frameTime, 33.3);
    EXPECT_EQ(a->units, "HU");  // CT without a Rescale Type
}

}  // namespace
