// The capture pass: which attributes it keeps and how their values are taken.
#include <gtest/gtest.h>
#include <cstring>

#include "tests/dicom/DicomTestHelpers.h"

namespace {

std::unique_ptr<CDicomFile> CaptureText(std::uint16_t element, const std::string& text) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0028, element, "DS", text);
    return Captured(b);
}

TEST(DicomCapture, NumberOfFramesWindowAndInterceptFollowTheCLibrary) {
    EXPECT_EQ(CaptureText(0x0008, "3 ")->m_nFrames, 3);
    EXPECT_EQ(Captured(DicomStreamBuilder().ExplicitUS(0x0028, 0x0010, 1))->m_nFrames, 0);

    EXPECT_EQ(CaptureText(0x1050, "40\\400")->m_nWindowCenter, 40);
    EXPECT_EQ(CaptureText(0x1050, "40.7")->m_nWindowCenter, 40);
    EXPECT_EQ(CaptureText(0x1050, "-600")->m_nWindowCenter, -600);
    EXPECT_EQ(CaptureText(0x1051, " 400")->m_nWindowWidth, 400);
    EXPECT_EQ(CaptureText(0x1051, "wide")->m_nWindowWidth, 0);

    EXPECT_EQ(CaptureText(0x1052, "-1024")->m_nRescaleIntercept, -1024);
    EXPECT_EQ(CaptureText(0x1052, "-1024.7")->m_nRescaleIntercept, -1024);
    EXPECT_EQ(CaptureText(0x1052, "0.5")->m_nRescaleIntercept, 0);
}

TEST(DicomCapture, LongAndOutOfRangeNumericTexts) {
    // Only the first 31 bytes are converted.
    EXPECT_EQ(CaptureText(0x0008, std::string(30, '0') + "45")->m_nFrames, 4);
    // Numbers no integer holds give a defined result, not undefined behaviour.
    EXPECT_EQ(CaptureText(0x1052, "1e300")->m_nRescaleIntercept, 0);
    EXPECT_EQ(CaptureText(0x1052, "nan")->m_nRescaleIntercept, 0);
    EXPECT_EQ(CaptureText(0x1052, "40000")->m_nRescaleIntercept, static_cast<std::int16_t>(40000));
    CaptureText(0x1050, "99999999999999999999999");
    // A value without bytes converts nothing.
    DicomStreamBuilder empty;
    empty.ExplicitHeader(0x0028, 0x1051, "DS", 0);
    EXPECT_EQ(Captured(empty)->m_nWindowWidth, 0);
}

TEST(DicomCapture, PhotometricKeepsItsBytesAndNeverAStaleTail) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0028, 0x0004, "CS", "MONOCHROME1");
    auto reader = Captured(b);
    EXPECT_EQ(std::string(reader->m_szPhotometric), "MONOCHROME1 ");

    // A shorter second value in the same file, then a new file after Reset.
    b.ExplicitText(0x0028, 0x0004, "CS", "RGB");
    reader = Captured(b);
    EXPECT_EQ(std::string(reader->m_szPhotometric), "RGB ");
    reader->Reset();
    EXPECT_EQ(reader->m_szPhotometric[0], '\0');

    // Longer values keep their first 64 bytes.
    DicomStreamBuilder longValue;
    longValue.ExplicitText(0x0028, 0x0004, "CS", std::string(80, 'M'));
    reader = Captured(longValue);
    EXPECT_EQ(std::string(reader->m_szPhotometric, 64), std::string(64, 'M'));
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
    EXPECT_EQ(reader->m_nSamplesPerPixel, 1);
    EXPECT_EQ(reader->m_nRows, 2);
    EXPECT_EQ(reader->m_nColumns, 3);
    EXPECT_EQ(reader->m_nBitsAllocated, 16);
    EXPECT_EQ(reader->m_nPlanes, 1);
    EXPECT_EQ(reader->m_nBitsStored, 12);
    EXPECT_EQ(reader->m_nHighBit, 11);
    EXPECT_EQ(reader->m_nPixelRepresentation, 1);
    EXPECT_EQ(reader->m_nPixelGroupLength, 20u);
    ASSERT_EQ(reader->m_nPixelDataLength, 12u);
    // Where the value lies, read only when asked for.
    EXPECT_EQ(reader->m_nPixelDataOffset, reader->m_nSize - 12);
    ASSERT_NE(reader->PixelBytes(2, 2), nullptr);
    EXPECT_EQ(reader->PixelBytes(2, 2)[0], 2);
    EXPECT_EQ(reader->PixelBytes(2, 11), nullptr);  // past the value's end
}

TEST(DicomCapture, LastOccurrenceWinsAndShortNumbersReadMissingBytesAsZero) {
    DicomStreamBuilder b;
    b.ExplicitUS(0x0028, 0x0010, 100)
        .PixelData8({1, 2, 3, 4})
        .ExplicitUS(0x0028, 0x0010, 200)
        .Explicit(0x0028, 0x0011, "US", {0x34})  // one byte of two
        .PixelData8({9, 8});
    auto reader = Captured(b);
    EXPECT_EQ(reader->m_nRows, 200);
    EXPECT_EQ(reader->m_nColumns, 0x34);
    ASSERT_EQ(reader->m_nPixelDataLength, 2u);
    EXPECT_EQ(reader->PixelBytes(0, 2)[0], 9);
}

TEST(DicomCapture, ResetClearsTheFileButKeepsTheLastRangeAndText) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, 2, 16).ExplicitText(0x0028, 0x1051, "DS", "10").PixelData16({5, 7});
    auto reader = Captured(b);
    ASSERT_NE(reader->MakeFrameDib(0), nullptr);
    EXPECT_TRUE(reader->ResolveSampleRange());
    reader->DescribeElement();
    const std::string text = reader->m_szValueText;
    reader->Reset();
    EXPECT_EQ(reader->m_pBuffer, nullptr);
    EXPECT_FALSE(reader->HasPixelData());
    EXPECT_EQ(reader->m_nSize, 0u);
    EXPECT_EQ(reader->m_nRows, 0);
    EXPECT_EQ(reader->m_nWindowWidth, 0);
    EXPECT_EQ(reader->m_nMaxSample, 7);
    EXPECT_EQ(reader->m_nMinSample, 5);
    EXPECT_EQ(std::string(reader->m_szValueText), text);
}

}  // namespace

namespace {

TEST(DicomCapture, TextsAndTimingForTheViewerLeaveTheDisplayMappingAlone) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0008, 0x0020, "DA", "20240131")
        .ExplicitText(0x0008, 0x0060, "CS", "CT")
        .ExplicitText(0x0010, 0x0010, "PN", " DOE^JANE ")
        .ExplicitText(0x0010, 0x0020, "LO", std::string(80, 'I'))
        .ExplicitText(0x0018, 0x0040, "IS", "30")
        .ExplicitText(0x0018, 0x1063, "DS", "33.3\\40")
        .ImageAttributes(1, 3, 16)
        .ExplicitText(0x0028, 0x1050, "DS", "2")
        .ExplicitText(0x0028, 0x1051, "DS", "8")
        .ExplicitText(0x0028, 0x1052, "DS", "-1.5")
        .ExplicitText(0x0028, 0x1053, "DS", "2.5")
        .PixelData16({0, 3, 6});
    auto reader = Captured(b);
    EXPECT_EQ(reader->m_strStudyDate, "20240131");
    EXPECT_EQ(reader->m_strModality, "CT");
    EXPECT_EQ(reader->m_strPatientName, "DOE^JANE");
    EXPECT_EQ(reader->m_strPatientId, std::string(64, 'I'));  // never longer than 64
    EXPECT_EQ(reader->m_nCineRate, 30);
    EXPECT_DOUBLE_EQ(reader->m_dFrameTime, 33.3);
    EXPECT_DOUBLE_EQ(reader->m_dRescaleSlope, 2.5);
    EXPECT_DOUBLE_EQ(reader->m_dRescaleIntercept, -1.5);
    EXPECT_EQ(reader->m_nRescaleIntercept, -1);

    // The slope is only read: the grey levels are those of a slope of 1.
    const PackedDibPtr withSlope = reader->MakeFrameDib(0);
    reader->m_dRescaleSlope = 1.0;
    reader->m_nWindowWidth = 8;
    reader->m_nWindowCenter = 2;
    const PackedDibPtr withoutSlope = reader->MakeFrameDib(0);
    ASSERT_TRUE(withSlope && withoutSlope);
    EXPECT_EQ(0, std::memcmp(DibBits(withSlope.get()), DibBits(withoutSlope.get()), 3));

    // The file's window survives a slider change; a new file clears everything.
    reader->m_nWindowWidth = 100;
    EXPECT_EQ(reader->m_nFileWindowWidth, 8);
    EXPECT_EQ(reader->m_nFileWindowCenter, 2);
    reader->Reset();
    EXPECT_TRUE(reader->m_strModality.empty() && reader->m_strPatientName.empty());
    EXPECT_EQ(reader->m_dRescaleSlope, 1.0);
    EXPECT_EQ(reader->m_dFrameTime, 0.0);
    EXPECT_EQ(reader->m_nFileWindowWidth, 0);

    // A slope that is no number counts as 1.
    DicomStreamBuilder bad;
    bad.ExplicitText(0x0028, 0x1053, "DS", "nan");
    EXPECT_EQ(Captured(bad)->m_dRescaleSlope, 1.0);
}

}  // namespace
