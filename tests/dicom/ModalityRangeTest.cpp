// The range pass: the same range as a plain loop over every stored value through
// the modality transform, for every way stored bits are laid out, across the eight-at-
// a-time scan's boundaries and the blocks of many small frames, from a file and from
// memory; cancelled and changed files.
#include "dicom/ModalityRange.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <random>

#include "tests/dicom/DicomTestHelpers.h"
#include "tests/support/TempFiles.h"

namespace {

struct Layout {
    std::uint16_t bitsStored;
    std::uint16_t highBit;
    std::uint16_t pixelRepresentation;
    const char* slope;
    const char* intercept;
};

DicomStreamBuilder Study(const Layout& l, int rows, int columns, int frames, const std::vector<std::uint8_t>& bytes,
                         std::uint16_t bitsAllocated = 16) {
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup()
        .ImageAttributes(static_cast<std::uint16_t>(rows), static_cast<std::uint16_t>(columns), bitsAllocated)
        .ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames))
        .ExplicitUS(0x0028, 0x0101, l.bitsStored)
        .ExplicitUS(0x0028, 0x0102, l.highBit)
        .ExplicitUS(0x0028, 0x0103, l.pixelRepresentation)
        .ExplicitText(0x0028, 0x1053, "DS", l.slope)
        .ExplicitText(0x0028, 0x1052, "DS", l.intercept)
        .Explicit(0x7FE0, 0x0010, "OW", bytes);
    return b;
}

TEST(ModalityRange, MatchesEveryStoredValueThroughTheModalityTransform) {
    std::mt19937 random(11);
    const Layout layouts[] = {
        {16, 15, 1, "1", "-1024"},  // signed CT
        {16, 15, 0, "1", "0"},      // unsigned, above 32767
        {12, 11, 0, "2.5", "-7"},   // unsigned 12 bits, overlays above them
        {12, 15, 1, "-1", "100"},   // signed, stored in the top bits, a negative slope
        {10, 11, 1, "1", "0"},      // signed 10 bits below one spare bit
    };
    TempFolder folder;
    for (const Layout& l : layouts) {
        // One frame of 700,007 samples (past every run of eight), and 3,000 frames of 3
        // (many to one block).
        for (const auto [rows, columns, frames] : {std::array<int, 3>{11, 63637, 1}, std::array<int, 3>{1, 3, 3000}}) {
            const std::size_t count = static_cast<std::size_t>(rows) * columns * frames;
            std::vector<std::uint8_t> bytes(2 * count + 2 * (count % 2));
            for (std::uint8_t& byte : bytes)
                byte = static_cast<std::uint8_t>(random());
            DicomStreamBuilder b = Study(l, rows, columns, frames, bytes);
            auto reader = Captured(b);
            const ImageAttributes& a = *reader->Attributes();
            ValueRange expected;
            for (std::size_t i = 0; i < count; ++i) {
                const auto raw = static_cast<std::uint32_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
                const double v = a.shared.modality.Apply(static_cast<double>(StoredValueOf(raw, a)));
                expected.Widen({v, v});
            }
            const std::string path = folder.File("study.dcm");
            ASSERT_TRUE(b.WriteTo(path));
            CDicomFile onDisk;
            ASSERT_EQ(onDisk.LoadFile(path), 0);
            onDisk.ParseElements(onDisk.DetectLayout());
            for (const CDicomFile* from : std::array<const CDicomFile*, 2>{reader.get(), &onDisk}) {
                const RangeOutcome outcome = ScanModalityRange(*from->Frames());
                ASSERT_TRUE(outcome.Complete());
                EXPECT_EQ(outcome.range, expected) << l.bitsStored << " " << l.highBit << " " << frames;
            }
        }
    }
}

// Frames of over 4 MiB are read a block of rows at a time (or cut from the frame
// the cache holds): the extremes sit in one sample each, at the end of the data and
// just past the first block of rows, and must still be found. 8-bit samples whose
// patterns map to values in order are scanned sixteen at a time, the others
// through the patterns seen; both must agree with every sample's stored value.
TEST(ModalityRange, FramesLargerThanABlockGiveTheRangeOfEveryRow) {
    struct Case {
        std::uint16_t bitsAllocated;
        Layout layout;
    };
    const Case cases[] = {
        {8, {8, 7, 0, "1", "0"}},     // as stored
        {8, {8, 7, 1, "1", "-5"}},    // signed: in order once the top bit flips
        {8, {6, 6, 0, "1", "0"}},     // an overlay bit above: not in order
        {8, {5, 7, 1, "-2", "3"}},    // signed, in the top bits, a negative slope
        {16, {16, 15, 1, "1", "0"}},  // signed 16 bits
        {12, {12, 11, 0, "1", "0"}},  // packed: rows start mid-byte (odd columns)
    };
    constexpr int kRows = 700;
    constexpr int kColumns = 6001;
    constexpr int kFrames = 2;
    TempFolder folder;
    for (const Case& c : cases) {
        const std::size_t count = std::size_t{kRows} * kColumns * kFrames;
        const std::size_t frameBytes = std::size_t{kRows} * kColumns * c.bitsAllocated / 8;
        std::vector<std::uint8_t> bytes(count * c.bitsAllocated / 8, 0x55);
        bytes.back() = 0;
        bytes[bytes.size() - 2] = 0xC3;                    // the last sample
        bytes[frameBytes + (frameBytes / 3 & ~std::size_t{1})] = 0x3C;  // past a block of the second frame
        bytes[(std::size_t{4} << 20) + 2] = 0x81;          // past the first block of the first frame
        DicomStreamBuilder b = Study(c.layout, kRows, kColumns, kFrames, bytes, c.bitsAllocated);
        const std::string path = folder.File("large.dcm");
        ASSERT_TRUE(b.WriteTo(path));
        CDicomFile onDisk;
        ASSERT_EQ(onDisk.LoadFile(path), 0);
        onDisk.ParseElements(onDisk.DetectLayout());
        auto inMemory = Captured(b);
        const ImageAttributes& a = *inMemory->Attributes();

        // Whole frames, one at a time, give the range to match.
        ValueRange expected;
        for (std::int32_t f = 0; f < kFrames; ++f) {
            const auto frame = inMemory->Frames()->FrameUncached(f);
            ASSERT_TRUE(frame);
            expected.Widen(FrameValueRange(**frame, a));
        }
        if (c.bitsAllocated == 8) {
            ValueRange each;
            for (std::size_t i = 0; i < count; ++i) {
                const double v = a.shared.modality.Apply(static_cast<double>(StoredValueOf(bytes[i], a)));
                each.Widen({v, v});
            }
            EXPECT_EQ(expected, each) << c.layout.bitsStored << " " << c.layout.highBit;
        }
        for (const CDicomFile* from : std::array<const CDicomFile*, 2>{inMemory.get(), &onDisk}) {
            EXPECT_EQ(ScanModalityRange(*from->Frames()).range, expected) << c.bitsAllocated << " " << c.layout.bitsStored;
        }
        // With the second frame held in the cache, its rows are cut from it.
        ASSERT_TRUE(onDisk.Frames()->Frame(1));
        EXPECT_EQ(ScanModalityRange(*onDisk.Frames()).range, expected) << c.bitsAllocated << " cached";
    }
}

TEST(ModalityRange, CancelledOrChangedPassesGiveNoRange) {
    DicomStreamBuilder b = Study({16, 15, 1, "1", "0"}, 512, 512, 8, std::vector<std::uint8_t>(512 * 512 * 16, 1));
    TempFolder folder;
    const std::string path = folder.File("study.dcm");
    ASSERT_TRUE(b.WriteTo(path));
    CDicomFile reader;
    ASSERT_EQ(reader.LoadFile(path), 0);
    reader.ParseElements(reader.DetectLayout());

    std::atomic<bool> cancel{true};
    EXPECT_TRUE(ScanModalityRange(*reader.Frames(), &cancel).cancelled);
    EXPECT_FALSE(ScanModalityRange(*reader.Frames(), &cancel).Complete());
    ASSERT_EQ(::truncate(path.c_str(), 1 << 20), 0);
    EXPECT_TRUE(ScanModalityRange(*reader.Frames()).failure.Is(FileReadFailure::ChangedOnDisk));

    // No samples at all: the empty range, and a default window of width 0.
    DicomStreamBuilder empty;
    empty.ImageAttributes(1, 1, 16).ExplicitUS(0x0028, 0x0103, 1);
    auto none = Captured(empty);
    const RangeOutcome outcome = ScanModalityRange(*none->Frames());
    EXPECT_TRUE(outcome.Complete());
    EXPECT_TRUE(outcome.range.Empty());
    EXPECT_EQ(DefaultDisplayWindow(*none->Attributes(), 0, &outcome.range).width, 0);
}

// A pass given a deadline decodes compressed frames until it passes, and always one:
// the range is then that of the frames it read, and it says how many. Uncompressed
// frames cost a read only and are read whatever the time. One deadline holds for
// every file of a stack.
TEST(ModalityRange, ADeadlineStopsDecodingAfterTheFramesRead) {
    // Four RLE frames of 4 x 4 bytes, frame k holding 10k .. 10k + 15.
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::uint8_t k = 0; k < 4; ++k) {
        std::vector<std::uint8_t> rle(64, 0);
        rle[0] = 1;   // one segment
        rle[4] = 64;  // starting after the header
        rle.push_back(15);  // a literal run of 16 bytes
        for (std::uint8_t i = 0; i < 16; ++i)
            rle.push_back(static_cast<std::uint8_t>(10 * k + i));
        frames.push_back(rle);
    }
    DicomStreamBuilder compressed;
    compressed.Preamble()
        .MetaGroup("1.2.840.10008.1.2.5")
        .ImageAttributes(4, 4, 8)
        .ExplicitText(0x0028, 0x0008, "IS", "4")
        .EncapsulatedFrames(frames);
    auto reader = Captured(compressed);
    ASSERT_NE(reader->Frames(), nullptr);

    const auto past = std::chrono::steady_clock::now();
    RangeDeadline over{past};
    const RangeOutcome first = ScanModalityRange(*reader->Frames(), nullptr, &over);
    EXPECT_TRUE(first.Complete());
    EXPECT_TRUE(first.stoppedEarly);
    EXPECT_EQ(first.framesRead, 1);
    EXPECT_EQ(first.frames, 4);
    EXPECT_EQ(first.range, (ValueRange{0, 15}));
    // The deadline has passed and a frame was decoded: the next file decodes none.
    const RangeOutcome next = ScanModalityRange(*reader->Frames(), nullptr, &over);
    EXPECT_TRUE(next.stoppedEarly);
    EXPECT_EQ(next.framesRead, 0);
    EXPECT_TRUE(next.range.Empty());

    RangeDeadline ahead{past + std::chrono::hours(1)};
    const RangeOutcome all = ScanModalityRange(*reader->Frames(), nullptr, &ahead);
    EXPECT_FALSE(all.stoppedEarly);
    EXPECT_EQ(all.framesRead, 4);
    EXPECT_EQ(all.range, (ValueRange{0, 45}));

    DicomStreamBuilder plain = Study({16, 15, 1, "1", "0"}, 2, 2, 3, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0,
                                                                      9, 0, 10, 0, 11, 0, 12, 0});
    RangeDeadline gone{past};
    const RangeOutcome read = ScanModalityRange(*Captured(plain)->Frames(), nullptr, &gone);
    EXPECT_FALSE(read.stoppedEarly);
    EXPECT_EQ(read.range, (ValueRange{1, 12}));
}

}  // namespace
