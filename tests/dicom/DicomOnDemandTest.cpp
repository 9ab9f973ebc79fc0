// Opening costs the headers, a frame costs a frame: what the reader reads from a
// file, files that change on disk while open, and studies of 4 GiB and more.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dicom/EncapsulatedPixelData.h"
#include "tests/dicom/DicomTestHelpers.h"
#include "tests/support/PositionedSource.h"
#include "tests/support/TempFiles.h"
#include "tools/generator/PhantomStudy.h"

namespace {

constexpr std::uint16_t kSide = 64;
constexpr std::uint32_t kFrameBytes = kSide * kSide * 2;

// A 16-bit study of `frames` frames whose window centre comes after the pixel data;
// frame f holds the samples f and 10 * f + 5.
DicomStreamBuilder Study(int frames) {
    std::vector<std::int16_t> samples;
    for (int f = 0; f < frames; ++f) {
        std::vector<std::int16_t> frame(kSide * kSide, static_cast<std::int16_t>(f));
        frame[7] = static_cast<std::int16_t>(10 * f + 5);
        samples.insert(samples.end(), frame.begin(), frame.end());
    }
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup()
        .ImageAttributes(kSide, kSide, 16)
        .ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames))
        .ExplicitText(0x0028, 0x1051, "DS", "400")
        .PixelData16(samples)
        .ExplicitText(0x0028, 0x1050, "DS", "40");
    return b;
}

TEST(DicomOnDemand, OpeningAndListingReadTheHeadersAndAFrameCostsOneFrame) {
    const DicomStreamBuilder study = Study(60);  // 480 KiB of pixel data
    auto source = std::make_shared<PositionedSource>(study.Bytes());
    CDicomFile reader;
    ASSERT_EQ(reader.LoadSource(source), 0);
    reader.ParseElements(reader.DetectLayout());
    const ImageAttributes& a = *reader.Attributes();
    ASSERT_EQ(a.shared.windows.size(), 1u);
    EXPECT_EQ(a.shared.windows[0].centre, 40);  // captured after the pixel data
    EXPECT_EQ(a.pixelData.length, 60 * kFrameBytes);
    const std::uint64_t opening = source->BytesRead();
    EXPECT_LT(opening, a.pixelData.length / 4);

    const FrameSource& frames = *reader.Frames();
    std::uint64_t before = source->BytesRead();
    auto last = frames.Frame(59);
    ASSERT_TRUE(last);
    EXPECT_EQ(source->BytesRead() - before, kFrameBytes);
    // The same frame drawn under a new window: from the cache.
    before = source->BytesRead();
    DisplayState narrow;
    narrow.window = DisplayWindow{100, 40};
    auto again = frames.Frame(59);
    ASSERT_TRUE(again && RenderFrame(**again, a, narrow));
    EXPECT_EQ(source->BytesRead(), before);
    // Whether another frame shows (the title's depth) is told without reading it.
    EXPECT_FALSE(frames.Check(0));
    EXPECT_TRUE(frames.Check(60));
    EXPECT_EQ(source->BytesRead(), before);
    EXPECT_EQ(ScanModalityRange(frames).range, (ValueRange{0, 595}));

    auto listed = std::make_shared<PositionedSource>(study.Bytes());
    CDicomFile listing;
    ASSERT_EQ(listing.LoadSource(listed), 0);
    int rows = 0;
    listing.ListElements(listing.DetectLayout(), [&rows](const CDicomFile&) { ++rows; });
    EXPECT_EQ(rows, 7 + 8 + 1);  // meta group, attributes and pixel data, the centre after it
    EXPECT_LT(listed->BytesRead(), a.pixelData.length / 4);
}

TEST(DicomOnDemand, ReadingByPositionGivesWhatReadingFromMemoryGives) {
    TempFolder folder;
    PhantomOptions options;
    options.rows = 40;
    options.columns = 30;
    options.frames = 3;
    options.extraElements = 6000;  // many windows of the walk
    const std::string path = folder.File("phantom.dcm");
    ASSERT_EQ(WriteCtPhantom(path, options), "");
    std::vector<std::uint8_t> bytes;
    {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        std::uint8_t chunk[65536];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        std::fclose(file);
    }
    const auto rowsOf = [](CDicomFile& reader) {
        std::vector<std::string> rows;
        reader.ListElements(reader.DetectLayout(), [&rows](const CDicomFile& e) {
            rows.push_back(std::to_string(e.Group()) + "," + std::to_string(e.Element()) + "," +
                           std::to_string(e.Length()) + "," + e.ValueText());
        });
        return rows;
    };
    CDicomFile fromFile;
    CDicomFile fromMemory;
    ASSERT_EQ(fromFile.LoadFile(path), 0);
    ASSERT_EQ(fromMemory.LoadBuffer(bytes.data(), bytes.size()), 0);
    const auto listedFromFile = rowsOf(fromFile);
    EXPECT_EQ(listedFromFile.size(), 7u + 25u + 1u + 6000u + 1u);
    EXPECT_EQ(listedFromFile, rowsOf(fromMemory));

    fromFile.Reset();
    ASSERT_EQ(fromFile.LoadFile(path), 0);
    fromFile.ParseElements(fromFile.DetectLayout());
    fromMemory.ParseElements(fromMemory.DetectLayout());
    for (std::int32_t frame : {2, 0, 1}) {
        PackedDibPtr a = Rendered(fromFile, frame);
        PackedDibPtr b = Rendered(fromMemory, frame);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        const std::size_t size = DibRowStride(a.get()) * DibHeight(a.get());
        ASSERT_EQ(DibRowStride(b.get()) * DibHeight(b.get()), size);
        EXPECT_EQ(std::memcmp(DibBits(a.get()), DibBits(b.get()), size), 0) << frame;
    }
}

// One frame of 16-bit samples as the run-length scheme stores it: a segment of
// high bytes and one of low bytes, each in literal runs of at most 128 bytes.
std::vector<std::uint8_t> RleFrame(const std::int16_t* samples, std::size_t count) {
    std::vector<std::uint8_t> segments[2];
    for (int s = 0; s < 2; ++s) {
        for (std::size_t at = 0; at < count; at += 128) {
            const std::size_t run = std::min<std::size_t>(128, count - at);
            segments[s].push_back(static_cast<std::uint8_t>(run - 1));
            for (std::size_t i = at; i < at + run; ++i) {
                const auto v = static_cast<std::uint16_t>(samples[i]);
                segments[s].push_back(static_cast<std::uint8_t>(s == 0 ? v >> 8 : v & 0xFF));
            }
        }
        if (segments[s].size() % 2 != 0) {
            segments[s].push_back(0);
        }
    }
    DicomStreamBuilder b;
    b.U32(2).U32(64).U32(static_cast<std::uint32_t>(64 + segments[0].size()));
    b.Raw(std::vector<std::uint8_t>(64 - 12, 0)).Raw(segments[0]).Raw(segments[1]);
    return b.Bytes();
}

// Study(frames) with its frames compressed, one fragment each, without an offset table.
DicomStreamBuilder CompressedStudy(int frames) {
    std::vector<std::int16_t> frame(kSide * kSide);
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup("1.2.840.10008.1.2.5")
        .ImageAttributes(kSide, kSide, 16)
        .ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames))
        .ExplicitText(0x0028, 0x1051, "DS", "400")
        .ExplicitHeader(0x7FE0, 0x0010, "OB", 0xFFFFFFFFu)
        .U16(0xFFFE)
        .U16(0xE000)
        .U32(0);
    for (int f = 0; f < frames; ++f) {
        std::fill(frame.begin(), frame.end(), static_cast<std::int16_t>(f));
        frame[7] = static_cast<std::int16_t>(10 * f + 5);
        const auto rle = RleFrame(frame.data(), frame.size());
        b.U16(0xFFFE).U16(0xE000).U32(static_cast<std::uint32_t>(rle.size())).Raw(rle);
    }
    b.U16(0xFFFE).U16(0xE0DD).U32(0).ExplicitText(0x0028, 0x1050, "DS", "40");
    return b;
}

// Study(frames) as RGB stored plane by plane, 8 bits: rearranged before it is shown.
DicomStreamBuilder PlanarStudy(int frames) {
    std::vector<std::uint8_t> bytes;
    for (int f = 0; f < frames; ++f) {
        for (int plane = 0; plane < 3; ++plane) {
            bytes.insert(bytes.end(), kSide * kSide, static_cast<std::uint8_t>(f * 3 + plane));
        }
    }
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup()
        .ImageAttributes(kSide, kSide, 8, 3, "RGB")
        .ExplicitUS(0x0028, 0x0006, 1)
        .ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames))
        .PixelData8(bytes);
    return b;
}

TEST(DicomOnDemand, CompressedFramesAreReadByPositionWhenTheyAreDecoded) {
    const DicomStreamBuilder study = CompressedStudy(60);
    auto source = std::make_shared<PositionedSource>(study.Bytes());
    CDicomFile reader;
    ASSERT_EQ(reader.LoadSource(source), 0);
    reader.ParseElements(reader.DetectLayout());
    EXPECT_EQ(reader.Attributes()->shared.windows.at(0).centre, 40);  // captured after the items
    EXPECT_LT(source->BytesRead(), study.Size() / 4);

    CDicomFile plain;
    ASSERT_EQ(plain.LoadBuffer(Study(60).Bytes().data(), Study(60).Size()), 0);
    plain.ParseElements(plain.DetectLayout());
    const std::size_t rle = RleFrame(std::vector<std::int16_t>(kSide * kSide).data(), kSide * kSide).size();
    for (const std::int32_t frame : {59, 0, 31}) {
        const std::uint64_t before = source->BytesRead();
        auto ours = reader.Frames()->Frame(frame);
        ASSERT_TRUE(ours) << ours.Why();
        EXPECT_EQ(source->BytesRead() - before, rle) << frame;  // that frame's fragment, nothing else
        auto theirs = plain.Frames()->Frame(frame);
        ASSERT_TRUE(theirs);
        EXPECT_TRUE(
            std::equal((*ours)->bytes.begin(), (*ours)->bytes.end(), (*theirs)->bytes.begin(), (*theirs)->bytes.end()))
            << frame;
    }
    EXPECT_EQ(RangeOf(reader), (ValueRange{0, 595}));  // every frame decoded

    source->Truncate(source->Size() / 2);
    EXPECT_EQ(NoImage(reader, 50).Text(), "the file changed on disk");
    // The frame decoded last is not given from the cache either.
    EXPECT_TRUE(NoImage(reader, 31).Is(FileReadFailure::ChangedOnDisk));
}

// A header walk (a study index reading thousands of files) ends at the pixel data,
// before the fragments' headers, and the frames still decode from there.
TEST(DicomOnDemand, AHeaderWalkStopsAtThePixelDataAndItsFramesStillDecode) {
    const DicomStreamBuilder study = CompressedStudy(60);
    auto source = std::make_shared<PositionedSource>(study.Bytes());
    CDicomFile reader;
    ASSERT_EQ(reader.LoadSource(source), 0);
    reader.ParseElements(reader.DetectLayout(), true);
    const auto attributes = reader.Attributes();
    EXPECT_EQ(attributes->FrameCount(), 60);
    ASSERT_EQ(attributes->shared.windows.size(), 1u);
    EXPECT_EQ(attributes->shared.windows[0].centre, 0);  // the centre after the items is not read
    auto frame = reader.Frames()->Frame(59);
    ASSERT_TRUE(frame) << frame.Why();
    EXPECT_EQ((*frame)->Raw(7), 595u);
}

// Whether frame 0 shows (the depth in the title) is told from the attributes and the
// fragments: after the last frame is shown, asking reads and decodes nothing, and
// frame 0's corrupt bytes do not take the depth away; its own conversion says why.
TEST(DicomOnDemand, WhetherACompressedFrameShowsIsToldWithoutDecodingIt) {
    std::vector<std::uint8_t> bytes = CompressedStudy(60).Bytes();
    const std::uint8_t pixelHeader[] = {0xE0, 0x7F, 0x10, 0x00, 'O', 'B'};
    const auto pixels = std::search(bytes.begin(), bytes.end(), std::begin(pixelHeader), std::end(pixelHeader));
    ASSERT_NE(pixels, bytes.end());
    // Past the header, the empty offset table and frame 0's item header: its RLE
    // header's segment count, one where 16-bit samples take two.
    pixels[12 + 8 + 8] = 1;
    auto source = std::make_shared<PositionedSource>(bytes);
    CDicomFile reader;
    ASSERT_EQ(reader.LoadSource(source), 0);
    reader.ParseElements(reader.DetectLayout());
    ASSERT_TRUE(reader.Frames()->Frame(59));
    const std::uint64_t before = source->BytesRead();
    EXPECT_FALSE(reader.Frames()->Check(0));
    EXPECT_TRUE(reader.Frames()->Check(60));
    EXPECT_EQ(source->BytesRead(), before);
    EXPECT_NE(NoImage(reader, 0).Text().find("segments"), std::string::npos) << NoImage(reader, 0);
}

// A fragment that holds the bytes of a sequence delimiter (a writer that cut or
// patched the stream) is damaged: that is what its reason says, not what the decoder
// then makes of the damaged header.
TEST(DicomOnDemand, ADelimiterInsideAFragmentThatDoesNotDecodeIsSaid) {
    DicomStreamBuilder study = CompressedStudy(2);
    std::vector<std::uint8_t> bytes = study.Bytes();
    const std::uint8_t rleHeader[] = {2, 0, 0, 0, 64, 0, 0, 0};
    const auto header = std::search(bytes.begin(), bytes.end(), std::begin(rleHeader), std::end(rleHeader));
    ASSERT_NE(header, bytes.end());
    const std::uint8_t delimiter[] = {0xFE, 0xFF, 0xDD, 0xE0};
    std::copy(std::begin(delimiter), std::end(delimiter), header + 2);
    CDicomFile reader;
    ASSERT_EQ(reader.LoadBuffer(bytes.data(), bytes.size()), 0);
    reader.ParseElements(reader.DetectLayout());
    const auto damaged = reader.Frames()->Frame(0);
    ASSERT_FALSE(damaged);
    const Reason why = damaged.Why();
    EXPECT_TRUE(why.Is(FragmentFailure::DelimiterInside)) << why.Text();
    EXPECT_EQ(why.Text(), "the compressed frame holds a sequence delimiter (FFFE,E0DD) at byte 2 of its data, "
                          "so its data is damaged");
    EXPECT_TRUE(reader.Frames()->Frame(1));

    // pydicom's sample of the fault, when it is installed.
    const char* const kSample =
        "/usr/lib/python3/dist-packages/pydicom/data/test_files/JPEG2000-embedded-sequence-delimiter.dcm";
    CDicomFile sample;
    if (sample.LoadFile(kSample) == 0) {
        sample.ParseElements(sample.DetectLayout());
        const auto shown = sample.Frames()->Frame(0);
        ASSERT_FALSE(shown);
        EXPECT_EQ(shown.Why().Text(), "the compressed frame holds a sequence delimiter (FFFE,E0DD) at "
                                                  "byte 6 of its data, so its data is damaged");
    }
}

TEST(DicomOnDemand, RearrangedFramesAreReadOneAtATime) {
    const DicomStreamBuilder study = PlanarStudy(40);
    auto source = std::make_shared<PositionedSource>(study.Bytes());
    CDicomFile reader;
    ASSERT_EQ(reader.LoadSource(source), 0);
    reader.ParseElements(reader.DetectLayout());
    EXPECT_LT(source->BytesRead(), study.Size() / 4);
    const std::uint64_t before = source->BytesRead();
    ASSERT_TRUE(reader.Frames()->Frame(39));
    EXPECT_EQ(source->BytesRead() - before, 3u * kSide * kSide);
    PackedDibPtr last = Rendered(reader, 39);
    ASSERT_NE(last, nullptr);
    const std::uint8_t* bgr = DibBits(last.get());
    EXPECT_EQ(bgr[0], 39 * 3 + 2);
    EXPECT_EQ(bgr[2], 39 * 3);
    EXPECT_EQ(Rendered(reader, 40), nullptr);

    source->Truncate(source->Size() / 2);
    EXPECT_EQ(NoImage(reader, 30).Text(), "the file changed on disk");
    EXPECT_TRUE(NoImage(reader, 39).Is(FileReadFailure::ChangedOnDisk));
}

TEST(DicomOnDemand, AFrameThatCanNoLongerBeReadGivesNoImageAndSaysWhy) {
    auto source = std::make_shared<PositionedSource>(Study(10).Bytes());
    CDicomFile reader;
    ASSERT_EQ(reader.LoadSource(source), 0);
    reader.ParseElements(reader.DetectLayout());
    ASSERT_TRUE(reader.Frames()->Frame(0));

    source->Truncate(source->Size() / 2);
    EXPECT_TRUE(NoImage(reader, 9).Is(FileReadFailure::ChangedOnDisk));
    EXPECT_EQ(NoImage(reader, 9).Text(), "the file changed on disk");
    // A frame read before the change is not given from the cache either.
    EXPECT_TRUE(NoImage(reader, 0).Is(FileReadFailure::ChangedOnDisk));
    // The range of every frame can no longer be found, and says why.
    EXPECT_TRUE(ScanModalityRange(*reader.Frames()).failure.Is(FileReadFailure::ChangedOnDisk));
    EXPECT_TRUE(reader.Frames()->Check(12).Is(DicomNoImage::FrameOutside));
}

// A frame read from the file is all a render holds: every depth, every frame the
// data holds and beyond, drawn by the whole and in parts, never reads past it
// (memory checkers see any read that does).
TEST(DicomOnDemand, RendersStayInsideTheBytesReadForAFrame) {
    for (const std::uint16_t bits :
         {std::uint16_t{1}, std::uint16_t{8}, std::uint16_t{12}, std::uint16_t{16}, std::uint16_t{32}}) {
        DicomStreamBuilder b;
        b.ImageAttributes(5, 5, bits).ExplicitText(0x0028, 0x1051, "DS", "100");
        b.PixelData8(std::vector<std::uint8_t>(5 * 5 * 2 * 3, 0x5A));
        CDicomFile reader;
        ASSERT_EQ(reader.LoadSource(std::make_shared<PositionedSource>(b.Bytes())), 0);
        reader.ParseElements(reader.DetectLayout());
        ASSERT_NE(Rendered(reader, 0), nullptr) << bits;
        for (const std::int32_t frame : {0, 1, 2, 5, 40}) {
            auto samples = reader.Frames()->Frame(frame);
            if (!samples) continue;
            const FrameRenderer render(*reader.Attributes(), frame, DisplayState());
            std::uint8_t part[5 * 5];
            render.RenderPart(**samples, 0, 0, 5, 5, part, 5);
            EXPECT_EQ(render.GreyAt(**samples, 24), part[24]);
        }
    }
}

// Offsets are 64-bit and element lengths 32-bit: a study whose pixel data ends past
// 4 GiB opens, its last frame shows, and the elements after it are captured. A
// sparse file costs no disk.
TEST(DicomOnDemand, StudiesOfFourGibibytesAndMoreOpen) {
    constexpr std::uint16_t kRows = 256;
    constexpr std::uint64_t kFrame = std::uint64_t{kRows} * kRows * 2;
    constexpr std::uint32_t kFrames = 32767;  // 0xFFFE0000 bytes of pixel data
    DicomStreamBuilder head;
    head.Preamble()
        .ImageAttributes(kRows, kRows, 16)
        .ExplicitText(0x0028, 0x1051, "DS", "400")
        .ExplicitText(0x0028, 0x1050, "DS", "0")
        .ExplicitHeader(0x0009, 0x1010, "OB", 1 << 20)  // a private megabyte first
        .Raw(std::vector<std::uint8_t>(1 << 20, 0))
        .ExplicitHeader(0x7FE0, 0x0010, "OW", static_cast<std::uint32_t>(kFrame * kFrames));
    DicomStreamBuilder tail;
    tail.ExplicitText(0x0028, 0x1050, "DS", "77");
    const std::uint64_t pixels = head.Size();
    const std::uint64_t tailAt = pixels + kFrame * kFrames;
    ASSERT_GT(tailAt, std::uint64_t{1} << 32);

    TempFolder folder;
    const std::string path = folder.File("huge.dcm");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    const std::uint8_t sample[2] = {77, 0};  // the top-left sample of the last frame
    const bool written =
        ::pwrite(fd, head.Bytes().data(), head.Size(), 0) == static_cast<ssize_t>(head.Size()) &&
        ::pwrite(fd, sample, 2, static_cast<off_t>(pixels + kFrame * (kFrames - 1))) == 2 &&
        ::pwrite(fd, tail.Bytes().data(), tail.Size(), static_cast<off_t>(tailAt)) == static_cast<ssize_t>(tail.Size());
    ::close(fd);
    if (!written) {
        GTEST_SKIP() << "this file system cannot hold a sparse file of 4 GiB";
    }

    CDicomFile reader;
    ASSERT_EQ(reader.LoadFile(path), 0);
    EXPECT_EQ(reader.Size(), tailAt + tail.Size());
    reader.ParseElements(reader.DetectLayout());
    EXPECT_EQ(reader.Attributes()->pixelData.offset, pixels);
    EXPECT_EQ(reader.Attributes()->shared.windows.at(0).centre, 77);  // the element past 4 GiB
    PackedDibPtr dib = Rendered(reader, kFrames - 1);
    ASSERT_NE(dib, nullptr);
    const std::uint8_t* top = DibBits(dib.get()) + std::size_t{DibRowStride(dib.get())} * (kRows - 1);
    EXPECT_EQ(top[0], 128);  // the window's centre
    EXPECT_EQ(top[1], 78);   // 0 in a window of 400 around 77
    EXPECT_EQ(Rendered(reader, kFrames), nullptr);
}

}  // namespace
