// The pixel kinds the pipeline shows, each against DCMTK's dcm2pnm on the same file:
// dorvanelle-cli convert with --width and --center against dcm2pnm +Ww (or without
// a window against +Wm), within 2 grey levels per pixel. The files are built here,
// one for each kind: unsigned 16-bit samples above 32767, an image followed by an
// icon, 8-bit OW of a big-endian file, 8-bit MONOCHROME1, palette colour, 32-bit dose
// grids, 1-bit segmentations and packed 12-bit frames.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "image/BmpFile.h"
#include "tests/dicom/DicomTestHelpers.h"
#include "tests/support/PictureBytes.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliRunner.h"

namespace {

bool HaveDcm2pnm() { return std::system("command -v dcm2pnm >/dev/null 2>&1") == 0; }

std::vector<std::uint8_t> Words(const std::vector<std::uint16_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t w : words) {
        bytes.push_back(static_cast<std::uint8_t>(w));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return bytes;
}

DicomStreamBuilder Head(std::uint16_t rows, std::uint16_t columns, std::uint16_t bits, const char* photometric,
                        std::uint16_t stored, std::uint16_t pixelRepresentation = 0) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(rows, columns, bits, 1, photometric);
    b.ExplicitUS(0x0028, 0x0101, stored)
        .ExplicitUS(0x0028, 0x0102, static_cast<std::uint16_t>(stored - 1))
        .ExplicitUS(0x0028, 0x0103, pixelRepresentation);
    return b;
}

// A test image: value(x, y) over rows x columns samples of one frame.
template <typename T>
std::vector<T> Image(int rows, int columns, const std::function<T(int, int)>& value) {
    std::vector<T> samples;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x)
            samples.push_back(value(x, y));
    }
    return samples;
}

class PixelPipelinePeer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveDcm2pnm()) GTEST_SKIP() << "DCMTK's dcm2pnm is not installed (scripts/install-deps)";
    }

    // Converts `file` both ways and returns the largest difference of any pixel's
    // grey level (or colour component); -1 when either gives no picture.
    int LargestDifference(const DicomStreamBuilder& file, const std::string& ours, const std::string& theirs,
                          int frame = 0) {
        const std::string path = folder.File("study.dcm");
        EXPECT_TRUE(file.WriteTo(path));
        const std::string mine = folder.File("ours.bmp");
        const std::string peer = folder.File("dcmtk.bmp");
        std::vector<std::string> args = {"convert", path, mine, "--frame", std::to_string(frame)};
        if (!ours.empty()) {
            const std::size_t space = ours.find(' ');
            args.insert(args.end(), {"--width", ours.substr(0, space), "--center", ours.substr(space + 1)});
        }
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string command =
            "dcm2pnm +ob +F " + std::to_string(frame + 1) + " " + theirs + " " + path + " " + peer + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        PackedDibPtr a = ReadBmpFile(mine);
        PackedDibPtr b = ReadBmpFile(peer);
        if (!a || !b || DibHeight(a.get()) != DibHeight(b.get())) return -1;
        const int bytes = DibBitCount(b.get()) / 8;
        int largest = 0;
        for (std::uint32_t r = 0; r < DibHeight(b.get()); ++r) {
            for (std::uint64_t c = 0; c < std::uint64_t{DibWidth(b.get())} * bytes; ++c) {
                largest = std::max(largest, std::abs(PictureByte(a.get(), r, c) - PictureByte(b.get(), r, c)));
            }
        }
        return largest;
    }

    TempFolder folder;
};

TEST_F(PixelPipelinePeer, UnsignedSixteenBitSamplesAboveHalfTheirRange) {
    DicomStreamBuilder b = Head(16, 256, 16, "MONOCHROME2", 16);
    b.Explicit(
        0x7FE0, 0x0010, "OW",
        Words(Image<std::uint16_t>(16, 256, [](int x, int y) { return static_cast<std::uint16_t>(x * 257 - y); })));
    EXPECT_LE(LargestDifference(b, "", "+Wm"), 2);
    EXPECT_LE(LargestDifference(b, "20000 40000", "+Ww 40000 20000"), 2);
}

TEST_F(PixelPipelinePeer, AnImageFollowedByAnIcon) {
    DicomStreamBuilder b = Head(48, 64, 16, "MONOCHROME2", 12);
    DicomStreamBuilder icon;
    icon.ImageAttributes(8, 8, 8, 1, "PALETTE COLOR").PixelData8(std::vector<std::uint8_t>(64, 3));
    b.BeginSequence(0x0088, 0x0200).BeginItem().Raw(icon.Bytes()).EndItem().EndSequence();
    b.Explicit(
        0x7FE0, 0x0010, "OW",
        Words(Image<std::uint16_t>(48, 64, [](int x, int y) { return static_cast<std::uint16_t>(x * 60 + y * 7); })));
    EXPECT_LE(LargestDifference(b, "3000 1800", "+Ww 1800 3000"), 2);
}

TEST_F(PixelPipelinePeer, EightBitOwOfABigEndianFileAndEightBitMonochromeOne) {
    const auto ramp = Image<std::uint8_t>(8, 33, [](int x, int y) { return static_cast<std::uint8_t>(x * 7 + y); });
    std::vector<std::uint8_t> swapped = ramp;
    swapped.push_back(0);
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2)
        std::swap(swapped[i], swapped[i + 1]);
    DicomStreamBuilder big;
    big.Preamble().MetaGroup("1.2.840.10008.1.2.2").BigEndian().ImageAttributes(8, 33, 8);
    big.ExplicitUS(0x0028, 0x0101, 8).ExplicitUS(0x0028, 0x0102, 7).ExplicitUS(0x0028, 0x0103, 0);
    big.Explicit(0x7FE0, 0x0010, "OW", swapped);
    EXPECT_LE(LargestDifference(big, "256 128", "+Ww 128 256"), 2);

    DicomStreamBuilder mono1 = Head(8, 33, 8, "MONOCHROME1", 8);
    std::vector<std::uint8_t> padded = ramp;
    padded.push_back(0);
    mono1.PixelData8(padded);
    EXPECT_LE(LargestDifference(mono1, "256 128", "+Ww 128 256"), 2);
}

TEST_F(PixelPipelinePeer, PaletteColourWithSixteenBitEntries) {
    DicomStreamBuilder b = Head(4, 64, 8, "PALETTE COLOR", 8);
    std::vector<std::uint16_t> red;
    std::vector<std::uint16_t> green;
    std::vector<std::uint16_t> blue;
    for (int i = 0; i < 256; ++i) {
        red.push_back(static_cast<std::uint16_t>(i * 257));
        green.push_back(static_cast<std::uint16_t>((255 - i) * 257));
        blue.push_back(static_cast<std::uint16_t>((i * 3 % 256) * 257));
    }
    b.Explicit(0x0028, 0x1101, "US", Words({256, 0, 16}))
        .Explicit(0x0028, 0x1102, "US", Words({256, 0, 16}))
        .Explicit(0x0028, 0x1103, "US", Words({256, 0, 16}))
        .Explicit(0x0028, 0x1201, "OW", Words(red))
        .Explicit(0x0028, 0x1202, "OW", Words(green))
        .Explicit(0x0028, 0x1203, "OW", Words(blue))
        .PixelData8(Image<std::uint8_t>(4, 64, [](int x, int y) { return static_cast<std::uint8_t>(x * 4 + y); }));
    EXPECT_EQ(LargestDifference(b, "", ""), 0);
}

TEST_F(PixelPipelinePeer, ThirtyTwoBitDoseGridsInGray) {
    DicomStreamBuilder b = Head(20, 30, 32, "MONOCHROME2", 32);
    b.ExplicitText(0x3004, 0x0002, "CS", "GY").ExplicitText(0x3004, 0x000E, "DS", "0.00001");
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t v :
         Image<std::uint32_t>(20, 30, [](int x, int y) { return std::uint32_t(x * 9000 + y * 4000); })) {
        for (int k = 0; k < 4; ++k)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    }
    b.Explicit(0x7FE0, 0x0010, "OW", bytes);
    EXPECT_LE(LargestDifference(b, "", "+Wm"), 2);
    // Our window is in Gy; DCMTK leaves the dose grid scaling out, so its is in stored units.
    EXPECT_LE(LargestDifference(b, "2 1.5", "+Ww 150000 200000"), 2);
}

TEST_F(PixelPipelinePeer, OneBitFramesThatStartInsideAByte) {
    DicomStreamBuilder b = Head(17, 33, 1, "MONOCHROME2", 1);
    b.ExplicitText(0x0028, 0x0008, "IS", "2");
    std::vector<std::uint8_t> packed((17 * 33 * 2 + 7) / 8 + 1, 0);
    for (int i = 0; i < 17 * 33 * 2; ++i) {
        if ((i * 7 / 3) % 5 < 2) packed[static_cast<std::size_t>(i / 8)] |= static_cast<std::uint8_t>(1 << (i % 8));
    }
    packed.resize(packed.size() + packed.size() % 2);
    b.PixelData8(packed);
    EXPECT_LE(LargestDifference(b, "1 1", "+Ww 1 1", 0), 0);
    EXPECT_LE(LargestDifference(b, "1 1", "+Ww 1 1", 1), 0);
}

TEST_F(PixelPipelinePeer, PackedTwelveBitFramesEachAtItsOwnOffset) {
    constexpr int kRows = 21;
    constexpr int kColumns = 31;
    std::vector<std::uint16_t> samples;
    for (int f = 0; f < 3; ++f) {
        const auto frame = Image<std::uint16_t>(kRows, kColumns, [f](int x, int y) {
            return static_cast<std::uint16_t>((x * 100 + y * 40 + f * 700) % 4096);
        });
        samples.insert(samples.end(), frame.begin(), frame.end());
    }
    samples.push_back(0);
    std::vector<std::uint8_t> packed;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
        packed.push_back(static_cast<std::uint8_t>(samples[i]));
        packed.push_back(static_cast<std::uint8_t>((samples[i] >> 8) | ((samples[i + 1] & 0x0F) << 4)));
        packed.push_back(static_cast<std::uint8_t>(samples[i + 1] >> 4));
    }
    packed.resize(packed.size() + packed.size() % 2);
    DicomStreamBuilder b = Head(kRows, kColumns, 12, "MONOCHROME2", 12);
    b.ExplicitText(0x0028, 0x0008, "IS", "3").Explicit(0x7FE0, 0x0010, "OW", packed);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_LE(LargestDifference(b, "4096 2048", "+Ww 2048 4096", frame), 2) << frame;
    }
}

}  // namespace
