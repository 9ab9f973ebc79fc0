// The bytes of the DICOM writer, checked without the reader.
#include "dicom/DicomWriter.h"
#include "dicom/VrCodes.h"

#include <gtest/gtest.h>

#include "tests/support/PictureBytes.h"

namespace {

Bytes Encode(const PackedDib* dib) {
    std::string out;
    Reason why;
    EXPECT_TRUE(EncodeDicomStream(dib, out, &why)) << why;
    return Bytes(out.begin(), out.end());
}

// The value of the element with this tag, found by walking the implicit-VR stream.
Bytes ValueOf(const Bytes& stream, std::uint16_t group, std::uint16_t element) {
    std::size_t at = 0;
    while (at + 8 <= stream.size()) {
        const std::uint32_t length = ReadLE32(stream.data() + at + 4);
        if (ReadLE16(stream.data() + at) == group && ReadLE16(stream.data() + at + 2) == element) {
            return Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at + 8),
                         stream.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        }
        at += 8 + length;
    }
    ADD_FAILURE() << "no element " << group << "," << element;
    return {};
}

}  // namespace

TEST(DicomWriterBytes, FourteenElementsWithTheirExactLengths) {
    auto grey = CreateGreyDib(4, 1);
    std::copy_n(Bytes{1, 2, 3, 4}.begin(), 4, DibBits(grey.get()));
    const Bytes file = Encode(grey.get());
    ASSERT_EQ(file.size(), 148u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 10), (Bytes{0x28, 0, 0x02, 0, 0x02, 0, 0, 0, 0x01, 0}));
    EXPECT_EQ(Bytes(file.end() - 12, file.end()), (Bytes{0xE0, 0x7F, 0x10, 0, 4, 0, 0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(ValueOf(file, 0x0028, 0x0004), (Bytes{'M', 'O', 'N', 'O', 'C', 'H', 'R', 'O', 'M', 'E', '2', ' '}));

    const std::pair<std::uint16_t, Bytes> expected[] = {
        {0x0008, {'1'}},  {0x0010, {1, 0}}, {0x0011, {4, 0}}, {0x0012, {1, 0}}, {0x0100, {8, 0}}, {0x0101, {8, 0}},
        {0x0102, {7, 0}}, {0x0103, {1, 0}}, {0x1050, {'0'}},  {0x1051, {'0'}},  {0x1052, {'1'}}};
    for (const auto& [element, value] : expected) {
        EXPECT_EQ(ValueOf(file, 0x0028, element), value) << element;
    }
    EXPECT_EQ(Encode(CreateGreyDib(4, 2).get()).size(), 152u);

    const Bytes colour = Encode(CreateRgbDib(4, 2).get());
    EXPECT_EQ(colour.size(), 159u);
    EXPECT_EQ(colour[8], 3);
    EXPECT_EQ(ValueOf(colour, 0x0028, 0x0004), (Bytes{'R', 'G', 'B'}));
    EXPECT_EQ(Bytes(colour.begin() + 18, colour.begin() + 25), (Bytes{'R', 'G', 'B', 0x28, 0, 0x08, 0}));
}

TEST(DicomWriterBytes, RowsGoTopFirstWithoutPaddingAndColoursAsRedGreenBlue) {
    // A file bitmap 5 x 2 (stride 8): Columns 5 and 5 bytes a row, top row first.
    Bytes block = InfoHeader(40, 5, 2, 8);
    Append(block, GreyColourTable(256));
    Append(block, {1, 2, 3, 4, 5, 0xAA, 0xAA, 0xAA, 6, 7, 8, 9, 10, 0xBB, 0xBB, 0xBB});
    const Bytes file = Encode(BlockFrom(block).get());
    EXPECT_EQ(ValueOf(file, 0x0028, 0x0011), (Bytes{5, 0}));
    EXPECT_EQ(ValueOf(file, 0x7FE0, 0x0010), (Bytes{6, 7, 8, 9, 10, 1, 2, 3, 4, 5}));

    auto rgb = CreateRgbDib(4, 2);
    std::uint8_t* bits = DibBits(rgb.get());
    bits[12 + 0] = 10;  // top-left pixel: blue 10, green 20, red 30
    bits[12 + 1] = 20;
    bits[12 + 2] = 30;
    bits[0] = 1;  // bottom-left pixel: blue 1
    const Bytes pixels = ValueOf(Encode(rgb.get()), 0x7FE0, 0x0010);
    ASSERT_EQ(pixels.size(), 24u);
    EXPECT_EQ(Bytes(pixels.begin(), pixels.begin() + 3), (Bytes{30, 20, 10}));
    EXPECT_EQ(Bytes(pixels.begin() + 12, pixels.begin() + 15), (Bytes{0, 0, 1}));
}

TEST(DicomWriterBytes, PixelLengthsThatSpellAVrCodeArePadded) {
    // 4 x 4177 8-bit pixels: 16,708 bytes, whose low bytes 44 41 read "DA".
    auto tall = CreateGreyDib(4, 4177);
    const Bytes file = Encode(tall.get());
    const std::size_t pixelTag = 144 - 8 + 0;  // the pixel element's header starts after the 13 others
    ASSERT_EQ(ReadLE16(file.data() + pixelTag), 0x7FE0);
    const std::uint32_t length = ReadLE32(file.data() + pixelTag + 4);
    EXPECT_EQ(length, 16709u);
    EXPECT_EQ(file.size(), pixelTag + 8 + length);
    EXPECT_EQ(file.back(), 0);

    for (std::uint32_t p = 0; p < 0x10000; ++p) {
        const std::uint32_t padding = PixelDataPadding(p);
        ASSERT_LE(padding, 2u) << p;  // "CS" + 1 is "DS"
        ASSERT_FALSE(
            IsKnownVrCode(static_cast<std::uint8_t>(p + padding), static_cast<std::uint8_t>((p + padding) >> 8)))
            << p;
        ASSERT_EQ(padding != 0, IsKnownVrCode(static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p >> 8)));
    }
    EXPECT_TRUE(IsKnownVrCode('o', 'b'));
    EXPECT_TRUE(IsKnownVrCode('U', 's'));
    EXPECT_FALSE(IsKnownVrCode('X', 'X'));
}

TEST(DicomWriterBytes, RefusesWhatItCannotDescribe) {
    std::string out;
    Reason why;
    EXPECT_FALSE(EncodeDicomStream(nullptr, out, &why));
    EXPECT_TRUE(why.Is(DicomWriteFailure::NothingToSave)) << why;

    Bytes oneBit = InfoHeader(40, 32, 1, 1);
    Append(oneBit, {0, 0, 0, 0, 255, 255, 255, 0, 1, 2, 3, 4});
    EXPECT_FALSE(EncodeDicomStream(BlockFrom(oneBit).get(), out, &why));
    EXPECT_TRUE(why.Is(DicomWriteFailure::UnsupportedDepth)) << why;
    EXPECT_EQ(why.First(), 1);
    EXPECT_TRUE(out.empty());
}
