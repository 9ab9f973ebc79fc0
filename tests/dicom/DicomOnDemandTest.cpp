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
    EXPECT_EQ(reader.m_pBuffer, nullptr);
    reader.ParseElements(reader.DetectLayout());
    EXPECT_EQ(reader.m_nWindowCenter, 40);  // captured after the pixel data
    EXPECT_EQ(reader.m_nPixelDataLength, 60 * kFrameBytes);
    const std::uint64_t opening = source->BytesRead();
    EXPECT_LT(opening, reader.m_nPixelDataLength / 4);

    std::uint64_t before = source->BytesRead();
    PackedDibPtr last = reader.MakeFrameDib(59);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(source->BytesRead() - before, kFrameBytes);
    // The same frame under a new window, and the frame before it, from the cache.
    before = source->BytesRead();
    reader.m_nWindowWidth = 100;
    ASSERT_NE(reader.MakeFrameDib(59), nullptr);
    EXPECT_EQ(source->BytesRead(), before);
    // Whether another frame shows (the title's depth) is told without reading it.
    EXPECT_TRUE(reader.FrameShows(0));
    EXPECT_FALSE(reader.FrameShows(60));
    EXPECT_EQ(source->BytesRead(), before);
    EXPECT_TRUE(reader.SampleRangePending());
    ASSERT_TRUE(reader.ResolveSampleRange());
    EXPECT_EQ(reader.m_nMinSample, 0);
    EXPECT_EQ(reader.m_nMaxSample, 595);

    auto listed = std::make_shared<PositionedSource>(study.Bytes());
    CDicomFile listing;
    ASSERT_EQ(listing.LoadSource(listed), 0);
    int rows = 0;
    listing.ListElements(listing.DetectLayout(), [&rows](const CDicomFile&) { ++rows; });
    EXPECT_EQ(rows, 7 + 8 + 1);  // meta group, attributes and pixel data, the centre after it
    EXPECT_LT(listed->BytesRead(), reader.m_nPixelDataLength / 4);
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
            rows.push_back(std::to_string(e.m_nGroup) + "," + std::to_string(e.m_nElement) + "," +
                           std::to_string(e.m_nLength) + "," + e.m_szValueText);
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
        PackedDibPtr a = fromFile.MakeFrameDib(frame);
        PackedDibPtr b = fromMemory.MakeFrameDib(frame);
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
    EXPECT_EQ(reader.m_nWindowCenter, 40);  // captured after the items
    EXPECT_LT(source->BytesRead(), study.Size() / 4);

    CDicomFile plain;
    ASSERT_EQ(plain.LoadBuffer(Study(60).Bytes().data(), Study(60).Size()), 0);
    plain.ParseElements(plain.DetectLayout());
    const std::size_t rle = RleFrame(std::vector<std::int16_t>(kSide * kSide).data(), kSide * kSide).size();
    for (const std::int32_t frame : {59, 0, 31}) {
        const std::uint64_t before = source->BytesRead();
        PackedDibPtr ours = reader.MakeFrameDib(frame);
        ASSERT_NE(ours, nullptr) << reader.NoImageReason(frame).Text();
        EXPECT_EQ(source->BytesRead() - before, rle) << frame;  // that frame's fragment, nothing else
        PackedDibPtr theirs = plain.MakeFrameDib(frame);
        ASSERT_NE(theirs, nullptr);
        EXPECT_EQ(std::memcmp(DibBits(ours.get()), DibBits(theirs.get()), DibRowStride(ours.get()) * kSide), 0)
            << frame;
    }
    ASSERT_TRUE(reader.ResolveSampleRange());  // every frame decoded
    EXPECT_EQ(reader.m_nMinSample, 0);
    EXPECT_EQ(reader.m_nMaxSample, 595);

    source->Truncate(source->Size() / 2);
    EXPECT_EQ(reader.MakeFrameDib(50), nullptr);
    EXPECT_EQ(reader.NoImageReason(50).Text(), "the file changed on disk");
    // The frame decoded last is not shown from what was kept either.
    EXPECT_EQ(reader.MakeFrameDib(31), nullptr);
    EXPECT_TRUE(reader.NoImageReason(31).Is(FileReadFailure::ChangedOnDisk));
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
    ASSERT_NE(reader.MakeFrameDib(59), nullptr);
    const std::uint64_t before = source->BytesRead();
    EXPECT_TRUE(reader.FrameShows(0));
    EXPECT_FALSE(reader.FrameShows(60));
    EXPECT_EQ(source->BytesRead(), before);
    EXPECT_EQ(reader.MakeFrameDib(0), nullptr);
    EXPECT_NE(reader.NoImageReason(0).Text().find("segments"), std::string::npos) << reader.NoImageReason(0).Text();
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
    EXPECT_EQ(reader.MakeFrameDib(0), nullptr);
    const Reason why = reader.NoImageReason(0);
    EXPECT_TRUE(why.Is(FragmentFailure::DelimiterInside)) << why.Text();
    EXPECT_EQ(why.Text(), "the compressed frame holds a sequence delimiter (FFFE,E0DD) at byte 2 of its data, "
                          "so its data is damaged");
    EXPECT_NE(reader.MakeFrameDib(1), nullptr);

    // pydicom's sample of the fault, when it is installed.
    const char* const kSample =
        "/usr/lib/python3/dist-packages/pydicom/data/test_files/JPEG2000-embedded-sequence-delimiter.dcm";
    CDicomFile sample;
    if (sample.LoadFile(kSample) == 0) {
        sample.ParseElements(sample.DetectLayout());
        EXPECT_EQ(sample.MakeFrameDib(0), nullptr);
        EXPECT_EQ(sample.NoImageReason(0).Text(), "the compressed frame holds a sequence delimiter (FFFE,E0DD) at "
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
    PackedDibPtr last = reader.MakeFrameDib(39);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(source->BytesRead() - before, 3u * kSide * kSide);
    const std::uint8_t* bgr = DibBits(last.get());
    EXPECT_EQ(bgr[0], 39 * 3 + 2);
    EXPECT_EQ(bgr[2], 39 * 3);
    EXPECT_EQ(reader.MakeFrameDib(40), nullptr);

    source->Truncate(source->Size() / 2);
    EXPECT_EQ(reader.MakeFrameDib(30), nullptr);
    EXPECT_EQ(reader.NoImageReason(30).Text(), "the file changed on disk");
    EXPECT_EQ(reader.MakeFrameDib(39), nullptr);
}

TEST(DicomOnDemand, AFrameThatCanNoLongerBeReadGivesNoImageAndSaysWhy) {
    auto source = std::make_shared<PositionedSource>(Study(10).Bytes());
    CDicomFile reader;
    ASSERT_EQ(reader.LoadSource(source), 0);
    reader.ParseElements(reader.DetectLayout());
    ASSERT_NE(reader.MakeFrameDib(0), nullptr);
    EXPECT_FALSE(reader.NoImageReason(0));

    source->Truncate(source->Size() / 2);
    EXPECT_EQ(reader.MakeFrameDib(9), nullptr);
    EXPECT_TRUE(reader.NoImageReason(9).Is(FileReadFailure::ChangedOnDisk));
    EXPECT_EQ(reader.NoImageReason(9).Text(), "the file changed on disk");
    // A frame read before the change is not shown from the cache either.
    EXPECT_EQ(reader.MakeFrameDib(0), nullptr);
    EXPECT_TRUE(reader.NoImageReason(0).Is(FileReadFailure::ChangedOnDisk));
    EXPECT_FALSE(reader.ResolveSampleRange());
    EXPECT_TRUE(reader.NoImageReason(12).Is(DicomNoImage::FrameOutside));

    // Without a window in the file the first frame needs the range, which cannot be read.
    auto noWindow = std::make_shared<PositionedSource>(Study(10).Bytes());
    CDicomFile other;
    ASSERT_EQ(other.LoadSource(noWindow), 0);
    other.ParseElements(other.DetectLayout());
    other.m_nWindowWidth = 0;
    noWindow->Truncate(1000);
    EXPECT_EQ(other.MakeFrameDib(0), nullptr);
    EXPECT_TRUE(other.NoImageReason(0).Is(FileReadFailure::ChangedOnDisk));
}

// A frame read from the file is all the conversion holds: asking for other bits
// allocated than the file's never reads past it.
TEST(DicomOnDemand, ConversionsStayInsideTheBytesReadForAFrame) {
    for (const std::uint16_t bits : {std::uint16_t{8}, std::uint16_t{12}, std::uint16_t{16}}) {
        DicomStreamBuilder b;
        b.ImageAttributes(5, 5, bits).ExplicitText(0x0028, 0x1051, "DS", "100");
        b.PixelData8(std::vector<std::uint8_t>(5 * 5 * 2 * 3, 0x5A));
        CDicomFile reader;
        ASSERT_EQ(reader.LoadSource(std::make_shared<PositionedSource>(b.Bytes())), 0);
        reader.ParseElements(reader.DetectLayout());
        ASSERT_NE(reader.MakeFrameDib(0), nullptr) << bits;
        for (const std::uint16_t asked : {std::uint16_t{8}, std::uint16_t{12}, std::uint16_t{16}}) {
            for (const std::int32_t frame : {0, 1, 2, 5}) {
                reader.ExtractFrame(asked, frame);  // memory checkers see any read past the frame
            }
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
    EXPECT_EQ(reader.m_nSize, tailAt + tail.Size());
    reader.ParseElements(reader.DetectLayout());
    EXPECT_EQ(reader.m_nPixelDataOffset, pixels);
    EXPECT_EQ(reader.m_nWindowCenter, 77);  // the element past 4 GiB
    PackedDibPtr dib = reader.MakeFrameDib(kFrames - 1);
    ASSERT_NE(dib, nullptr);
    const std::uint8_t* top = DibBits(dib.get()) + std::size_t{DibRowStride(dib.get())} * (kRows - 1);
    EXPECT_EQ(top[0], 128);  // the window's centre
    EXPECT_EQ(top[1], 78);   // 0 in a window of 400 around 77
    EXPECT_EQ(reader.MakeFrameDib(kFrames), nullptr);
}

}  // namespace
