#include "image/BmpFile.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "io/AtomicFileWriter.h"
#include "io/FileBuffer.h"

#include "tests/support/PictureBytes.h"
#include "tests/support/TempFiles.h"

namespace {

// An 8-bit block 5 x 2 (stride 8) with a full grey table; padding bytes are non-zero
// so that tests notice when padding is taken for pixels or dropped.
Bytes Grey5x2Block() {
    Bytes block = InfoHeader(40, 5, 2, 8);
    Append(block, GreyColourTable(256));
    Append(block, {1, 2, 3, 4, 5, 0xAA, 0xAA, 0xAA, 6, 7, 8, 9, 10, 0xBB, 0xBB, 0xBB});
    return block;
}

PackedDibPtr Read(const Bytes& file, Reason* why = nullptr) { return ReadBmpBytes(file.data(), file.size(), why); }

}  // namespace

TEST(BmpRead, RefusesWhatIsNotABitmap) {
    Reason why;
    Bytes notBm = BmpFileBytes(Grey5x2Block());
    notBm[1] = 0x41;  // "BA"
    EXPECT_FALSE(Read(notBm, &why));
    EXPECT_TRUE(why.Is(BmpFailure::NotBitmap)) << why;

    const Bytes thirteen(13, 'B');
    EXPECT_FALSE(Read(thirteen, &why));
    EXPECT_TRUE(why.Is(BmpFailure::FileTooShort)) << why;
    EXPECT_FALSE(ReadBmpBytes(nullptr, 0, &why));

    // A file of 14 to 17 bytes cannot hold even the header size it announces.
    for (std::size_t extra = 0; extra < 4; ++extra) {
        Bytes file = BmpFileBytes(Bytes(extra, 40));
        EXPECT_FALSE(Read(file, &why)) << extra;
        EXPECT_TRUE(why.Is(BmpFailure::HeaderCutShort) || why.Is(BmpFailure::HeaderMissing)) << why;
    }
}

TEST(BmpRead, AcceptsCoreAndInfoHeadersOfSixteenBytesOrMore) {
    for (std::uint32_t size : {0u, 4u, 11u, 13u, 14u, 15u}) {
        Bytes block(1100, 0);
        WriteLE32(block.data(), size);
        EXPECT_FALSE(Read(BmpFileBytes(block))) << size;
    }
    for (std::uint32_t size : {16u, 40u, 108u, 124u}) {
        Bytes block = InfoHeader(size, 4, 1, 8);
        Append(block, GreyColourTable(256));
        Append(block, {1, 2, 3, 4});
        auto dib = Read(BmpFileBytes(block));
        ASSERT_TRUE(dib) << size;
        EXPECT_EQ(BlockBytes(dib.get()), block);
    }
    Bytes core = CoreHeader(2, 1, 24);
    Append(core, {1, 2, 3, 4, 5, 6, 0, 0});
    auto dib = Read(BmpFileBytes(core));
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibWidth(dib.get()), 2);
    EXPECT_EQ(DibBits(dib.get()), dib->Bytes() + 12);
}

TEST(BmpRead, RefusesBlocksThatDoNotHoldWhatTheirHeaderAnnounces) {
    Reason why;
    Bytes block = Grey5x2Block();
    block.pop_back();  // the last row is one byte short
    EXPECT_FALSE(Read(BmpFileBytes(block), &why));
    EXPECT_TRUE(why.Is(BmpFailure::RowsCutShort)) << why;

    Bytes shortTable = InfoHeader(40, 4, 1, 8);
    Append(shortTable, GreyColourTable(100));
    EXPECT_FALSE(Read(BmpFileBytes(shortTable), &why));
    EXPECT_TRUE(why.Is(BmpFailure::ColourTableCutShort)) << why;

    Bytes hugeHeader = InfoHeader(40, 4, 1, 8);
    WriteLE32(hugeHeader.data(), 0xFFFFFFF0u);
    EXPECT_FALSE(Read(BmpFileBytes(hugeHeader), &why));
    EXPECT_TRUE(why.Is(BmpFailure::HeaderCutShort)) << why;
}

TEST(BmpRead, RefusesCompressedBitmapsAndSizesBeyondSixteenBits) {
    Reason why;
    // Run-length coding belongs to 8 bits (1) and 4 bits (2); JPEG (4) is not decoded.
    for (const auto& [bitCount, compression] : {std::pair{8, 4}, std::pair{4, 1}, std::pair{8, 2}}) {
        Bytes other = InfoHeader(40, 4, 1, static_cast<std::uint16_t>(bitCount), compression);
        Append(other, GreyColourTable(1 << bitCount));
        Append(other, {4, 7, 0, 1});
        EXPECT_FALSE(Read(BmpFileBytes(other), &why));
        EXPECT_TRUE(why.Is(BmpFailure::Compressed)) << why;
    }

    Bytes wide = InfoHeader(40, 0x10004, 1, 24);
    Append(wide, Bytes(12, 0));
    EXPECT_FALSE(Read(BmpFileBytes(wide), &why));
    EXPECT_TRUE(why.Is(BmpFailure::TooLarge)) << why;
    EXPECT_EQ(why.First(), 0x10004);
    Bytes tall = InfoHeader(40, 4, -70000, 24);
    Append(tall, Bytes(12, 0));
    EXPECT_FALSE(Read(BmpFileBytes(tall), &why));
    EXPECT_TRUE(why.Is(BmpFailure::TooLarge)) << why;
    EXPECT_EQ(why.Second(), 70000);
    Bytes negativeWidth = InfoHeader(40, -4, 1, 24);
    Append(negativeWidth, Bytes(12, 0));
    EXPECT_FALSE(Read(BmpFileBytes(negativeWidth), &why));
    EXPECT_TRUE(why.Is(BmpFailure::NegativeWidth)) << why;
}

TEST(BmpRead, TurnsTopDownRowsBottomUp) {
    Bytes block = InfoHeader(40, 5, -2, 8);
    Append(block, GreyColourTable(256));
    // Stored top row first: 1..5, then 6..10.
    Append(block, {1, 2, 3, 4, 5, 0, 0, 0, 6, 7, 8, 9, 10, 0, 0, 0});
    auto dib = Read(BmpFileBytes(block));
    ASSERT_TRUE(dib);
    EXPECT_EQ(ReadLE32(dib->Bytes() + 8), 2u);
    EXPECT_EQ(PictureByte(dib.get(), 0, 0), 1);
    EXPECT_EQ(PictureByte(dib.get(), 1, 4), 10);

    Bytes rgb = InfoHeader(40, 1, -3, 24);
    Append(rgb, {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0});
    dib = Read(BmpFileBytes(rgb));
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibBits(dib.get())[0], 3);
    EXPECT_EQ(DibBits(dib.get())[8], 1);
}

TEST(BmpRead, TurnsSixteenBitPixelsIntoTwentyFourBit) {
    // Plain 16-bit pixels are 5-5-5; a 5-bit value v becomes round(v x 255 / 31).
    Bytes plain = InfoHeader(40, 2, 1, 16);
    Append(plain, {0xFF, 0x7F, 0x00, 0x7C});  // white, pure red
    auto dib = Read(BmpFileBytes(plain));
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibBitCount(dib.get()), 24);
    EXPECT_EQ(DibHeaderSize(dib.get()), 40u);
    const Bytes expected = {255, 255, 255, 0, 0, 255, 0, 0};
    EXPECT_EQ(Bytes(DibBits(dib.get()), DibBits(dib.get()) + 8), expected);

    // 5-6-5 masks after a 40-byte header, rows after the masks, stored top-down.
    Bytes fields = InfoHeader(40, 1, -2, 16, 3);
    Bytes masks(12, 0);
    WriteLE32(masks.data(), 0xF800);
    WriteLE32(masks.data() + 4, 0x07E0);
    WriteLE32(masks.data() + 8, 0x001F);
    Append(fields, masks);
    Append(fields, {0x20, 0x00, 0, 0,    // top: green 1 of 63
                    0x10, 0x80, 0, 0});  // bottom: red 16 of 31, blue 16 of 31
    dib = Read(BmpFileBytes(fields));
    ASSERT_TRUE(dib);
    const Bytes bottomThenTop = {132, 0, 132, 0, 0, 4, 0, 0};
    EXPECT_EQ(Bytes(DibBits(dib.get()), DibBits(dib.get()) + 8), bottomThenTop);
}

TEST(BmpRead, TurnsThirtyTwoBitPixelsIntoTwentyFourBit) {
    Bytes plain = InfoHeader(40, 1, 1, 32);
    Append(plain, {10, 20, 30, 99});  // blue, green, red, unused
    auto dib = Read(BmpFileBytes(plain));
    ASSERT_TRUE(dib);
    EXPECT_EQ(Bytes(DibBits(dib.get()), DibBits(dib.get()) + 3), (Bytes{10, 20, 30}));

    // A 124-byte header holds the masks itself; here red is the low byte.
    Bytes v5 = InfoHeader(124, 1, 1, 32, 3);
    WriteLE32(v5.data() + 40, 0x000000FF);
    WriteLE32(v5.data() + 44, 0x0000FF00);
    WriteLE32(v5.data() + 48, 0x00FF0000);
    Append(v5, {10, 20, 30, 99});
    dib = Read(BmpFileBytes(v5));
    ASSERT_TRUE(dib);
    EXPECT_EQ(Bytes(DibBits(dib.get()), DibBits(dib.get()) + 3), (Bytes{30, 20, 10}));

    Reason why;
    Bytes noMasks = InfoHeader(40, 1, 1, 32, 3);
    EXPECT_FALSE(Read(BmpFileBytes(noMasks), &why));
    EXPECT_TRUE(why.Is(BmpFailure::MasksMissing)) << why;
    Bytes cut = InfoHeader(40, 2, 1, 32);
    Append(cut, {1, 2, 3, 4});
    EXPECT_FALSE(Read(BmpFileBytes(cut), &why));
    EXPECT_TRUE(why.Is(BmpFailure::RowsCutShort)) << why;
}

// A header can claim more than any image the program holds; such a file is refused
// from its first bytes, before a block for it is allocated or the rest is read.
TEST(BmpRead, PicturesBeyondTheImageSizeLimitAreTooLargeToShow) {
    TempFolder folder;
    struct Claim {
        std::int32_t width, height;
        std::uint16_t bitCount;
        bool tooLarge;
    };
    for (const Claim& claim : {Claim{65535, 65535, 8, true}, Claim{65535, -65535, 1, false},
                               Claim{20000, 20000, 16, true}, Claim{32768, 32768, 8, false}}) {
        Bytes block = InfoHeader(40, claim.width, claim.height, claim.bitCount);
        Append(block, Bytes(64, 0x7F));
        WriteFileBytes(folder.Path() / "claim.bmp", BmpFileBytes(block));
        for (const bool fromFile : {true, false}) {
            Reason why;
            EXPECT_FALSE(fromFile ? ReadBmpFile(folder.File("claim.bmp"), &why) : Read(BmpFileBytes(block), &why));
            EXPECT_EQ(why.Is(BmpFailure::TooLargeToShow), claim.tooLarge) << why << " " << claim.width;
            if (claim.tooLarge) {
                EXPECT_EQ(why.Text(), "too large to show (" + std::to_string(claim.width) + " x " +
                                          std::to_string(claim.height) + ")");
            }
        }
    }
}

TEST(BmpRead, ReportsAMissingFileWithItsPath) {
    Reason why;
    EXPECT_FALSE(ReadBmpFile("/nonexistent/picture.bmp", &why));
    EXPECT_TRUE(why.Is(FileReadFailure::CannotOpen)) << why;
    EXPECT_EQ(why.ErrorNumber(), ENOENT);
    EXPECT_EQ(why.Subject(), "/nonexistent/picture.bmp");
    EXPECT_NE(why.Text().find("/nonexistent/picture.bmp"), std::string::npos);
}

// The block holds what the header declares and at most 64 KiB after it: a small
// picture at the head of a huge file costs the picture, not the file.
TEST(BmpRead, TakesWhatTheHeaderDeclaresAndAShortTail) {
    constexpr std::size_t kTail = 64 << 10;
    const Bytes picture = Grey5x2Block();
    Bytes block = picture;
    block.resize(picture.size() + 3 * kTail, 0xEE);
    PackedDibPtr dib = Read(BmpFileBytes(block));
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->Length(), picture.size() + kTail);
    EXPECT_TRUE(std::equal(picture.begin(), picture.end(), dib->Bytes()));

    // Rows after a gap: the gap is taken as the first pixel bytes, so the picture's
    // rows end inside what was read and the gap costs nothing more.
    block = InfoHeader(40, 4, 2, 8);
    Append(block, GreyColourTable(256));
    Append(block, {9, 9, 9, 9, 1, 2, 3, 4, 5, 6, 7, 8});
    dib = Read(BmpFileBytes(block));
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibBits(dib.get())[0], 9);

    // Run-length rows: as many bytes as any encoder needs for the size (two per
    // pixel, two per line end, two for the end), then the tail.
    block = InfoHeader(40, 4, 2, 8, 1, 2);
    Append(block, {0, 0, 0, 0, 50, 50, 50, 0});
    const std::size_t rleAt = block.size();
    Append(block, {4, 1, 0, 0, 4, 2, 0, 1});
    block.resize(rleAt + 2 * 8 + 2 * 2 + 2 + 2 * kTail, 0);
    dib = Read(BmpFileBytes(block));
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibBits(dib.get())[4], 2);

    // An embedded colour profile after the rows (a V5 header) is kept whole, even
    // beyond the tail.
    block = InfoHeader(124, 4, 1, 8);
    WriteLE32(block.data() + 56, 0x4D424544);  // "MBED"
    const std::uint32_t profileAt = 124 + 1024 + 4 + 2 * kTail;
    WriteLE32(block.data() + 112, profileAt);
    WriteLE32(block.data() + 116, 1000);
    Append(block, GreyColourTable(256));
    Append(block, {1, 2, 3, 4});
    block.resize(profileAt, 0);
    block.resize(profileAt + 1000 + 3 * kTail, 0x55);
    dib = Read(BmpFileBytes(block));
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->Length(), profileAt + 1000 + kTail);
}

TEST(BmpWrite, RoundTripKeepsEveryByteAfterTheFileHeader) {
    TempFolder folder;
    Bytes block = Grey5x2Block();
    Append(block, {0xDE, 0xAD, 0xBE});  // trailing bytes survive
    const Bytes input = BmpFileBytes(block);
    WriteFileBytes(folder.Path() / "in.bmp", input);

    auto dib = ReadBmpFile((folder.Path() / "in.bmp").string());
    ASSERT_TRUE(dib);
    ASSERT_TRUE(WriteBmpFile(dib.get(), (folder.Path() / "out.bmp").string()).written);
    const Bytes output = ReadFileBytes(folder.Path() / "out.bmp");
    ASSERT_EQ(output.size(), input.size());
    EXPECT_TRUE(std::equal(output.begin() + 14, output.end(), input.begin() + 14));
    EXPECT_EQ(ReadLE32(output.data() + 2), input.size());
    EXPECT_EQ(ReadLE16(output.data() + 6), 0);
    EXPECT_EQ(ReadLE16(output.data() + 8), 0);
    EXPECT_EQ(ReadLE32(output.data() + 10), 1078u);
}

TEST(BmpWrite, WritesTheSystemsOwnBlocks) {
    TempFolder folder;
    auto grey = CreateGreyDib(8, 2);
    ASSERT_TRUE(WriteBmpFile(grey.get(), (folder.Path() / "g.bmp").string()).written);
    Bytes file = ReadFileBytes(folder.Path() / "g.bmp");
    EXPECT_EQ(file.size(), 1094u);
    EXPECT_EQ(ReadLE32(file.data() + 2), 1094u);
    EXPECT_EQ(ReadLE32(file.data() + 10), 1078u);

    auto rgb = CreateRgbDib(4, 1);
    ASSERT_TRUE(WriteBmpFile(rgb.get(), (folder.Path() / "c.bmp").string()).written);
    file = ReadFileBytes(folder.Path() / "c.bmp");
    EXPECT_EQ(file.size(), 66u);
    EXPECT_EQ(ReadLE32(file.data() + 10), 54u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
}

TEST(BmpWrite, RefusesNoImageAndKeepsTheOldFileOnFailure) {
    TempFolder folder;
    const auto target = folder.Path() / "keep.bmp";
    WriteFileBytes(target, {1, 2, 3});
    const WriteOutcome none = WriteBmpFile(nullptr, target.string());
    EXPECT_FALSE(none.written);
    EXPECT_TRUE(none.reason.Is(BmpFailure::NothingToSave)) << none.reason;
    EXPECT_EQ(ReadFileBytes(target), (Bytes{1, 2, 3}));

    auto dib = CreateGreyDib(4, 4);
    const WriteOutcome missing = WriteBmpFile(dib.get(), (folder.Path() / "no/such/folder.bmp").string());
    EXPECT_FALSE(missing.written);
    EXPECT_TRUE(missing.reason.Is(WriteFailure::CannotWrite)) << missing.reason;
    EXPECT_NE(missing.reason.Text().find("folder.bmp"), std::string::npos);
    EXPECT_EQ(folder.FileCount(), 1u);
}
