// Bitmaps saved as .dcm open again through the reader with their size and pixels.
#include <gtest/gtest.h>

#include "tests/dicom/DicomTestHelpers.h"

#include "dicom/DicomFile.h"
#include "dicom/DicomWriter.h"
#include "dicom/VrCodes.h"
#include "tests/support/PictureBytes.h"
#include "tests/support/TempFiles.h"

namespace {

// Picture byte (r, c) of an 8-bit bitmap, or byte c of row r of a 24-bit one.
std::uint8_t Pattern(std::uint32_t r, std::uint32_t c) { return static_cast<std::uint8_t>(r * 13 + c * 7 + 1); }

PackedDibPtr Patterned(std::uint16_t width, std::uint16_t height, bool colour) {
    PackedDibPtr dib = colour ? CreateRgbDib(width, height) : CreateGreyDib(width, height);
    const std::uint64_t rowBytes = colour ? 3ull * width : width;
    for (std::uint32_t r = 0; r < height; ++r) {
        for (std::uint32_t c = 0; c < rowBytes; ++c) {
            DibBits(dib.get())[(height - 1u - r) * DibRowStride(dib.get()) + c] = Pattern(r, c);
        }
    }
    return dib;
}

PackedDibPtr SaveAndReopen(const PackedDib* dib, const TempFolder& folder) {
    const std::string path = (folder.Path() / "frame.dcm").string();
    CDicomFile writer;
    const WriteOutcome outcome = writer.WriteDicomFile(dib, path);
    EXPECT_TRUE(outcome.written) << outcome.reason;
    CDicomFile reader;
    EXPECT_EQ(reader.LoadFile(path), 0);
    reader.ParseElements(reader.DetectLayout());
    EXPECT_EQ(reader.Attributes()->rows, DibHeight(dib));
    EXPECT_EQ(reader.Attributes()->columns, DibWidth(dib));
    return Rendered(reader, 0);
}

void ExpectSamePicture(const PackedDib* written, const PackedDib* read) {
    ASSERT_TRUE(read);
    ASSERT_EQ(DibBitCount(read), DibBitCount(written));
    ASSERT_EQ(DibWidth(read), RoundUpToFour(DibWidth(written)));
    ASSERT_EQ(DibHeight(read), DibHeight(written));
    const std::uint64_t rowBytes = DibBitCount(written) == 24 ? 3ull * DibWidth(written) : DibWidth(written);
    for (std::uint32_t r = 0; r < DibHeight(written); ++r) {
        for (std::uint64_t c = 0; c < rowBytes; ++c) {
            ASSERT_EQ(PictureByte(read, r, c), PictureByte(written, r, c)) << r << "," << c;
        }
    }
}

}  // namespace

TEST(DicomWriteReadBack, GreyAndColourFramesReopen) {
    TempFolder folder;
    for (const bool colour : {false, true}) {
        PackedDibPtr dib = Patterned(8, 5, colour);
        ExpectSamePicture(dib.get(), SaveAndReopen(dib.get(), folder).get());
    }
}

TEST(DicomWriteReadBack, PixelLengthsThatSpellVrCodesReopen) {
    // Pixel lengths whose low bytes read "DA" (4 x 4177), "CS" (5 x 4263, padded twice:
    // "DS" follows it), "da" (4 x 6233), and for colour "dA" (3 x 4 x 1395) and "tm".
    struct Size {
        std::uint16_t width;
        std::uint16_t height;
        bool colour;
    };
    const Size sizes[] = {{4, 4177, false}, {5, 4263, false}, {4, 6233, false}, {4, 1395, true}, {4, 2335, true}};
    TempFolder folder;
    for (const Size& size : sizes) {
        PackedDibPtr dib = Patterned(size.width, size.height, size.colour);
        ExpectSamePicture(dib.get(), SaveAndReopen(dib.get(), folder).get());
    }
}

TEST(DicomWriteReadBack, NoImageCreatesNoFileAndOtherDepthsAreRefused) {
    TempFolder folder;
    CDicomFile writer;
    const WriteOutcome none = writer.WriteDicomFile(nullptr, (folder.Path() / "none.dcm").string());
    EXPECT_FALSE(none.written);
    EXPECT_TRUE(none.reason.Is(DicomWriteFailure::NothingToSave)) << none.reason;
    EXPECT_EQ(folder.FileCount(), 0u);

    Bytes oneBit = InfoHeader(40, 32, 1, 1);
    Append(oneBit, {0, 0, 0, 0, 255, 255, 255, 0, 1, 2, 3, 4});
    const WriteOutcome refused = writer.WriteDicomFile(BlockFrom(oneBit).get(), (folder.Path() / "one.dcm").string());
    EXPECT_FALSE(refused.written);
    EXPECT_TRUE(refused.reason.Is(DicomWriteFailure::UnsupportedDepth)) << refused.reason;
    EXPECT_EQ(folder.FileCount(), 0u);
}

TEST(DicomWriteReadBack, TheReaderTakesExactlyItsThirtyFourCodesInAnyCaseForVrs) {
    int known = 0;
    int longForm = 0;
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const std::uint8_t two[2] = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
            known += CDicomFile::IsExplicitVR(two) ? 1 : 0;
            longForm += IsLongFormVrCode(two[0], two[1]) ? 1 : 0;
        }
    }
    EXPECT_EQ(known, 34 * 4);  // upper and lower case for each letter
    EXPECT_EQ(longForm, 13 * 4);
}
