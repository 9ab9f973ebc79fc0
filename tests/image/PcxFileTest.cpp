#include "image/PcxFile.h"

#include <gtest/gtest.h>

#include "io/FileBuffer.h"
#include "tests/support/PictureBytes.h"
#include "tests/support/TempFiles.h"

namespace {

PackedDibPtr Read(const Bytes& file, Reason* why = nullptr) { return ReadPcxBytes(file.data(), file.size(), why); }

Bytes Decode(const Bytes& in, std::size_t outSize) {
    Bytes out(outSize, 0xEE);
    DecodePcxRle(in.data(), in.size(), out.data(), out.size());
    return out;
}

}  // namespace

TEST(PcxDecode, RunsAndLiteralsFlowAcrossLines) {
    EXPECT_EQ(Decode({0xC4, 0x05, 0xC1, 0xC1, 0x07, 0x08, 0x09}, 8), (Bytes{5, 5, 5, 5, 0xC1, 7, 8, 9}));
    EXPECT_EQ(Decode({0xC0, 0x01}, 2), (Bytes{0xC0, 0x01}));  // 0xC0 itself is a literal
    EXPECT_EQ(Decode({0xFF, 0x09}, 63), Bytes(63, 9));
    // A run that would pass the end stops there; the input after it is not read.
    EXPECT_EQ(Decode({0xC5, 0x03, 0x44}, 3), (Bytes{3, 3, 3}));
}

TEST(PcxDecode, ShortInputLeavesTheRestZeroAndSaysSo) {
    EXPECT_EQ(Decode({7, 8}, 5), (Bytes{7, 8, 0, 0, 0}));
    EXPECT_EQ(Decode({7, 0xC3}, 4), (Bytes{7, 0, 0, 0}));  // a run marker with nothing to repeat
    EXPECT_EQ(Decode({}, 3), (Bytes{0, 0, 0}));
    Bytes out(4);
    const Bytes runs = {0xC3, 1, 2};
    Bytes longer(5);
    EXPECT_FALSE(DecodePcxRle(runs.data(), runs.size(), longer.data(), longer.size()));
    EXPECT_TRUE(DecodePcxRle(runs.data(), runs.size(), out.data(), 4));
    EXPECT_EQ(out, (Bytes{1, 1, 1, 2}));
}

TEST(PcxRead, BuildsAGreyBitmapTopLineStoredLast) {
    auto dib = Read(PcxFile(0, 1, 4, {0xC4, 0x05, 0xC1, 0xC1, 0x07, 0x08, 0x09}));
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibWidth(dib.get()), 4);
    EXPECT_EQ(DibHeight(dib.get()), 2);
    EXPECT_EQ(DibBitCount(dib.get()), 8);
    EXPECT_EQ(ReadLE32(dib->Bytes() + 32), 256u);
    EXPECT_EQ(dib->Length(), 1064u + 8u);
    const std::uint8_t* bits = DibBits(dib.get());
    ASSERT_EQ(bits, dib->Bytes() + 1064);
    EXPECT_EQ(Bytes(bits, bits + 8), (Bytes{0xC1, 7, 8, 9, 5, 5, 5, 5}));
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t* entry = dib->Bytes() + 40 + 4 * i;
        ASSERT_EQ(Bytes(entry, entry + 4),
                  (Bytes{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), 0}));
    }
}

TEST(PcxRead, SizeComesFromYmaxAndBytesPerLineOnly) {
    auto dib = Read(PcxFile(10, 19, 640, Bytes(410, 0xFF)));
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibHeight(dib.get()), 20);  // Ymin is taken as 0
    EXPECT_EQ(DibWidth(dib.get()), 640);

    // Six bytes a line: the two columns added to reach 8 are 0.
    dib = Read(PcxFile(0, 0, 6, {0xC6, 0x09}, 0x77));
    ASSERT_TRUE(dib);
    EXPECT_EQ(DibWidth(dib.get()), 8);
    EXPECT_EQ(Bytes(DibBits(dib.get()), DibBits(dib.get()) + 8), (Bytes{9, 9, 9, 9, 9, 9, 0, 0}));
    EXPECT_EQ(dib->Bytes()[40 + 3], 0x77);  // the reserved header byte fills every entry's fourth byte
    EXPECT_EQ(dib->Bytes()[40 + 4 * 255 + 3], 0x77);
}

TEST(PcxRead, RefusesHeadersItCannotHonour) {
    Reason why;
    EXPECT_FALSE(Read(Bytes(127, 0), &why));
    EXPECT_TRUE(why.Is(PcxFailure::FileTooShort)) << why;

    // 10 data bytes decode to at most 5 runs of 63: a header asking for more is refused
    // up front, and 11 bytes add one literal at most.
    EXPECT_TRUE(Read(PcxFile(0, 0, 315, Bytes(10, 0xFF))));
    EXPECT_FALSE(Read(PcxFile(0, 0, 316, Bytes(10, 0xFF)), &why));
    EXPECT_TRUE(why.Is(PcxFailure::DataTooShort)) << why;
    Bytes runsAndALiteral(10, 0xFF);
    runsAndALiteral.push_back(4);
    EXPECT_TRUE(Read(PcxFile(0, 0, 316, runsAndALiteral)));
    EXPECT_FALSE(Read(PcxFile(0, 0, 317, runsAndALiteral), &why));
    EXPECT_TRUE(why.Is(PcxFailure::DataTooShort)) << why;
    EXPECT_FALSE(Read(PcxFile(0, 65534, 65532, Bytes(4, 0)), &why));
    EXPECT_TRUE(why.Is(PcxFailure::DataTooShort)) << why;

    // Sizes that would not fit the bitmap's 16-bit width and height.
    EXPECT_FALSE(Read(PcxFile(0, 65535, 1, Bytes(2000, 0xFF)), &why));
    EXPECT_TRUE(why.Is(PcxFailure::TooLarge)) << why;
    EXPECT_EQ(why.Second(), 65536);
    EXPECT_FALSE(Read(PcxFile(0, 0, 65533, Bytes(2000, 0xFF)), &why));
    EXPECT_TRUE(why.Is(PcxFailure::TooLarge)) << why;
    EXPECT_EQ(why.First(), 65533);
}

// The data must fill the picture: a file cut short gives no picture, with the line
// where its data ended, rather than one with rows that it never held.
TEST(PcxRead, DataThatRunsOutGivesNoPicture) {
    Reason why;
    EXPECT_FALSE(Read(PcxFile(0, 2, 4, {1, 2, 3, 4, 5}), &why));
    EXPECT_TRUE(why.Is(PcxFailure::DataRunsOut)) << why;
    EXPECT_EQ(why.First(), 1);
    EXPECT_FALSE(Read(PcxFile(0, 1, 4, {0xC4, 9, 0xC3, 8, 0xC2}), &why));  // the last run has no byte
    EXPECT_TRUE(why.Is(PcxFailure::DataRunsOut)) << why;
    // A run that goes on into the next line counts for both.
    auto dib = Read(PcxFile(0, 1, 3, {0xC5, 6, 7}));
    ASSERT_TRUE(dib);
    EXPECT_EQ(PictureByte(dib.get(), 1, 1), 6);
    EXPECT_EQ(PictureByte(dib.get(), 1, 2), 7);
}

// 2^30 samples is the most any picture may have, however well its data is packed.
TEST(PcxRead, APictureBeyondTheSampleLimitIsTooLargeToShow) {
    constexpr std::uint16_t kWidth = 65520, kLines = 16400;  // 1,074,528,000 samples
    Bytes runs;
    runs.reserve(std::size_t{kWidth} / 63 * kLines * 2 + 2);
    for (std::size_t i = 0; i < std::size_t{kWidth} / 63 * kLines + 1; ++i)
        runs.insert(runs.end(), {0xFF, 0x01});
    Reason why;
    EXPECT_FALSE(Read(PcxFile(0, kLines - 1, kWidth, runs), &why));
    EXPECT_TRUE(why.Is(PcxFailure::TooLargeToShow)) << why;
    EXPECT_EQ(why.Text(), "too large to show (65520 x 16400)");
}

TEST(PcxRead, ReadsFromAFile) {
    TempFolder folder;
    WriteFileBytes(folder.Path() / "p.pcx", PcxFile(0, 0, 4, {1, 2, 3, 4}));
    auto dib = ReadPcxFile((folder.Path() / "p.pcx").string());
    ASSERT_TRUE(dib);
    EXPECT_EQ(PictureByte(dib.get(), 0, 2), 3);

    // A file is read a chunk of 1 MiB at a time: a run whose marker ends one chunk
    // and whose value starts the next reads as one run, and the picture is the one
    // read from memory.
    constexpr std::size_t kChunk = 1 << 20;
    Bytes data(kChunk - 1, 0x11);
    Append(data, {0xC5, 0x07});
    data.resize(1024 * 1025 - 3, 0x22);  // 1025 lines of 1024 in all
    const Bytes file = PcxFile(0, 1024, 1024, data);
    WriteFileBytes(folder.Path() / "chunks.pcx", file);
    dib = ReadPcxFile((folder.Path() / "chunks.pcx").string());
    ASSERT_TRUE(dib);
    const PackedDibPtr fromMemory = Read(file);
    ASSERT_TRUE(fromMemory);
    ASSERT_EQ(dib->Length(), fromMemory->Length());
    EXPECT_TRUE(std::equal(dib->Bytes(), dib->Bytes() + dib->Length(), fromMemory->Bytes()));
    EXPECT_EQ(PictureByte(dib.get(), 1023, 1022), 0x11);
    EXPECT_EQ(PictureByte(dib.get(), 1023, 1023), 7);
    EXPECT_EQ(PictureByte(dib.get(), 1024, 3), 7);
    EXPECT_EQ(PictureByte(dib.get(), 1024, 4), 0x22);
    Reason why;
    EXPECT_FALSE(ReadPcxFile((folder.Path() / "none.pcx").string(), &why));
    EXPECT_TRUE(why.Is(FileReadFailure::CannotOpen)) << why;
    EXPECT_EQ(why.Subject(), (folder.Path() / "none.pcx").string());
}
