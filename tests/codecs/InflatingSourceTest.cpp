// A deflated data set read by position must give the bytes a whole inflate gives,
// for reads forwards, backwards, across restart points and from two threads at
// once; broken streams are refused when opened, as the whole inflate refuses them.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <random>
#include <thread>

#include "codecs/DecodeFailure.h"
#include "codecs/FrameDecoder.h"
#include "codecs/InflatingSource.h"
#include "dicom/DicomFile.h"
#include "dicom/HeaderListing.h"
#include "io/FileBuffer.h"
#include "tests/dicom/DicomTestHelpers.h"
#include "tests/support/PositionedSource.h"
#include "tools/dicomstream/DicomStreamBuilder.h"

namespace {

// Raw deflate of `bytes`, flushed at every `blockEvery` bytes so that the stream
// has many block boundaries, as a real data set of many elements does.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& bytes, std::size_t blockEvery) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<std::uint8_t> out(deflateBound(&z, bytes.size()) + bytes.size() / blockEvery * 16 + 64);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    for (std::size_t at = 0; at < bytes.size(); at += blockEvery) {
        const std::size_t n = std::min(blockEvery, bytes.size() - at);
        z.next_in = const_cast<Bytef*>(bytes.data() + at);
        z.avail_in = static_cast<uInt>(n);
        EXPECT_EQ(deflate(&z, at + n == bytes.size() ? Z_FINISH : Z_BLOCK),
                  at + n == bytes.size() ? Z_STREAM_END : Z_OK);
    }
    if (bytes.empty()) {
        EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Bytes that compress about as a CT study does: smooth ramps with noise.
std::vector<std::uint8_t> DataSet(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::mt19937 random(7);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i / 512 + (i % 512) / 3) + (random() % 5));
    }
    return bytes;
}

std::shared_ptr<const ByteSource> InMemory(const std::vector<std::uint8_t>& bytes) {
    FileBuffer buffer = FileBuffer::Allocate(bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer.Data());
    return std::make_shared<MemorySource>(std::move(buffer));
}

constexpr std::size_t kPrefix = 132;

struct Deflated {
    std::vector<std::uint8_t> inflated;  // what the reader must see after the prefix
    std::vector<std::uint8_t> file;      // the prefix, then the deflate stream
};

Deflated MakeFile(std::size_t size, std::size_t blockEvery = 40000) {
    Deflated d;
    d.inflated = DataSet(size);
    d.file.assign(kPrefix, 'P');
    const auto stream = Deflate(d.inflated, blockEvery);
    d.file.insert(d.file.end(), stream.begin(), stream.end());
    return d;
}

bool SameAt(const InflatingSource& source, const Deflated& d, std::uint64_t offset, std::size_t size) {
    std::vector<std::uint8_t> got(size);
    if (source.ReadAt(offset, got.data(), size) != SourceRead::Done) {
        return false;
    }
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t at = offset + i;
        const std::uint8_t expected = at < kPrefix ? 'P' : d.inflated[at - kPrefix];
        if (got[i] != expected) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(InflatingSource, ReadsGiveTheWholeInflatesBytesInAnyOrder) {
    const Deflated d = MakeFile(6 << 20);
    Reason why;
    // Restart points every 256 KiB, so that reads land between many of them.
    const auto source = InflatingSource::Open(InMemory(d.file), kPrefix, InflateCap(d.file.size()), &why, 256 << 10);
    ASSERT_NE(source, nullptr) << why;
    EXPECT_EQ(source->Size(), kPrefix + d.inflated.size());
    EXPECT_GT(source->RestartPoints(), 10u);

    // Element headers read one after the other, then a frame across the prefix's end.
    for (std::uint64_t at = 0; at < 4096; at += 10) {
        ASSERT_TRUE(SameAt(*source, d, at, 10)) << at;
    }
    // The last bytes, then backwards in steps larger than the kept block.
    ASSERT_TRUE(SameAt(*source, d, source->Size() - 1000, 1000));
    for (std::uint64_t at = source->Size() - (1 << 20); at > (1 << 20); at -= (1 << 20) + 12345) {
        ASSERT_TRUE(SameAt(*source, d, at, 70000)) << at;
    }
    // One read of several megabytes across several restart points.
    ASSERT_TRUE(SameAt(*source, d, 1000, 3 << 20));
    std::vector<std::uint8_t> byte(2);
    EXPECT_EQ(source->ReadAt(source->Size() - 1, byte.data(), 2), SourceRead::Failed);

    // Two threads reading different places at once.
    bool same[2] = {true, true};
    std::thread other([&] {
        for (int i = 0; i < 40; ++i) {
            same[0] = same[0] && SameAt(*source, d, kPrefix + (5u << 20) - i * 9000u, 5000);
        }
    });
    for (int i = 0; i < 40; ++i) {
        same[1] = same[1] && SameAt(*source, d, kPrefix + 100000u + i * 7000u, 5000);
    }
    other.join();
    EXPECT_TRUE(same[0]);
    EXPECT_TRUE(same[1]);
}

// A frame anywhere costs inflating from the restart point before it, forwards or
// backwards: never the data set from its start.
TEST(InflatingSource, AFrameCostsTheDistanceFromTheRestartPointBeforeIt) {
    const Deflated d = MakeFile(10 << 20);
    Reason why;
    const auto source = InflatingSource::Open(InMemory(d.file), kPrefix, InflateCap(d.file.size()), &why);
    ASSERT_NE(source, nullptr) << why;
    constexpr std::size_t kFrame = 512 << 10;
    constexpr std::uint64_t kMost = (4u << 20) + kFrame + InflatingSource::kBlockBytes;
    const std::uint64_t last = source->Size() - kFrame;
    ASSERT_TRUE(SameAt(*source, d, last, kFrame));
    EXPECT_LE(source->BytesInflatedByReads(), kMost);
    for (int step = 1; step <= 8; ++step) {
        const std::uint64_t before = source->BytesInflatedByReads();
        ASSERT_TRUE(SameAt(*source, d, last - step * kFrame, kFrame));
        EXPECT_LE(source->BytesInflatedByReads() - before, kMost) << step;
    }
}

// However long the data set, the index keeps at most its number of windows.
TEST(InflatingSource, TheIndexStaysBoundedOnALongStream) {
    const Deflated d = MakeFile(12 << 20, 8192);
    Reason why;
    const auto source = InflatingSource::Open(InMemory(d.file), kPrefix, InflateCap(d.file.size()), &why, 32768);
    ASSERT_NE(source, nullptr) << why;
    EXPECT_LE(source->RestartPoints(), InflatingSource::kMostRestartPoints);
    EXPECT_GT(source->RestartPoints(), InflatingSource::kMostRestartPoints / 3);
    ASSERT_TRUE(SameAt(*source, d, kPrefix + (11u << 20) + 333, 100000));
    ASSERT_TRUE(SameAt(*source, d, kPrefix + (3u << 20) + 777, 100000));
}

TEST(InflatingSource, BrokenStreamsAreRefusedWhenOpened) {
    Deflated d = MakeFile(1 << 20);
    Reason why;
    std::vector<std::uint8_t> truncated(d.file.begin(),
                                        d.file.begin() + static_cast<std::ptrdiff_t>(d.file.size() / 2));
    EXPECT_EQ(InflatingSource::Open(InMemory(truncated), kPrefix, InflateCap(truncated.size()), &why), nullptr);
    EXPECT_TRUE(why.Is(InflateFailure::Truncated)) << why;

    std::vector<std::uint8_t> corrupt = d.file;
    corrupt[kPrefix] = 0xFF;  // a block of the reserved type
    EXPECT_EQ(InflatingSource::Open(InMemory(corrupt), kPrefix, InflateCap(corrupt.size()), &why), nullptr);
    EXPECT_TRUE(why.Is(InflateFailure::Corrupt)) << why;

    // 64 MiB of zeros deflate to far less than a 64th of that.
    Deflated bomb;
    bomb.file.assign(kPrefix, 'P');
    const auto zeros = Deflate(std::vector<std::uint8_t>(64 << 20), 1 << 20);
    bomb.file.insert(bomb.file.end(), zeros.begin(), zeros.end());
    EXPECT_EQ(InflatingSource::Open(InMemory(bomb.file), kPrefix, InflateCap(zeros.size()), &why), nullptr);
    EXPECT_TRUE(why.Is(InflateFailure::TooLarge)) << why;

    // An empty data set is a data set.
    Deflated empty;
    empty.file.assign(kPrefix, 'P');
    const auto nothing = Deflate({}, 1);
    empty.file.insert(empty.file.end(), nothing.begin(), nothing.end());
    const auto source = InflatingSource::Open(InMemory(empty.file), kPrefix, 1024, &why);
    ASSERT_NE(source, nullptr) << why;
    EXPECT_EQ(source->Size(), kPrefix);
}

// The header listing of an open document walks the bytes its reader holds: the
// deflated data set's restart points were found by the open, so the listing inflates
// only around the elements it lists, where a reader of its own would inflate the whole
// data set again. It lists the same rows either way, and stops when asked.
TEST(InflatingSource, AListingOfTheOpenReaderDoesNotInflateTheDataSetAgain) {
    DicomStreamBuilder set;
    set.ImageAttributes(2048, 3072, 16).Explicit(0x7FE0, 0x0010, "OW", DataSet(2048 * 3072 * 2));
    set.ExplicitText(0x0040, 0xA160, "UT", "after the pixels");
    DicomStreamBuilder file;
    file.Preamble().MetaGroup("1.2.840.10008.1.2.1.99").Raw(Deflate(set.Bytes(), 40000));
    const std::uint64_t fileSize = file.Size();

    auto opened = std::make_shared<PositionedSource>(file.Bytes());
    CDicomFile reader;
    ASSERT_EQ(reader.LoadSource(opened), 0);
    reader.ParseElements(reader.DetectLayout());
    ASSERT_NE(reader.Attributes(), nullptr);
    const std::uint64_t readByOpen = opened->BytesRead();
    ASSERT_GE(readByOpen, fileSize - 200);  // the open finds the restart points in one pass

    const HeaderListing shared = ListSharedBytes(reader.ShareBytes());
    // At most the distance from a restart point (4 MiB of the 12 inflated) is inflated again.
    EXPECT_LT(opened->BytesRead() - readByOpen, fileSize / 2);
    ASSERT_TRUE(shared.readable);
    EXPECT_TRUE(shared.note.empty()) << shared.note;
    ASSERT_FALSE(shared.rows.empty());
    EXPECT_EQ(shared.rows.back().group, 0x0040);
    EXPECT_EQ(shared.rows.back().value, "after the pixels");

    // A reader of its own: the same rows, for a second pass over the whole stream.
    auto again = std::make_shared<PositionedSource>(file.Bytes());
    CDicomFile own;
    ASSERT_EQ(own.LoadSource(again), 0);
    std::size_t rows = 0;
    own.ListElements(own.DetectLayout(), [&](const CDicomFile& at) {
        ASSERT_LT(rows, shared.rows.size());
        EXPECT_EQ(HeaderRowOf(at).value, shared.rows[rows].value) << rows;
        ++rows;
    });
    EXPECT_EQ(rows, shared.rows.size());
    EXPECT_GE(again->BytesRead(), fileSize - 200);

    const std::atomic<bool> stop{true};
    const HeaderListing stopped = ListSharedBytes(reader.ShareBytes(), &stop);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.rows.size(), 1u);
}

// A data set that cannot be inflated is not inflated again by a later walk of the
// same bytes, nor by a listing that shares them: each says why at once.
TEST(InflatingSource, ADataSetThatFailedToInflateIsNotTriedAgain) {
    DicomStreamBuilder set;
    set.ImageAttributes(2048, 2048, 16).Explicit(0x7FE0, 0x0010, "OW", DataSet(2048 * 2048 * 2));
    std::vector<std::uint8_t> stream = Deflate(set.Bytes(), 40000);
    stream.resize(stream.size() * 3 / 4);  // cut short
    DicomStreamBuilder file;
    file.Preamble().MetaGroup("1.2.840.10008.1.2.1.99").Raw(stream);
    auto source = std::make_shared<PositionedSource>(file.Bytes());
    CDicomFile reader;
    ASSERT_EQ(reader.LoadSource(source), 0);
    reader.ParseElements(reader.DetectLayout());
    const std::uint64_t readByOpen = source->BytesRead();
    reader.ParseElements(reader.DetectLayout());
    const HeaderListing listing = ListSharedBytes(reader.ShareBytes());
    // Each walk reads the meta group's window, and no more.
    EXPECT_LT(source->BytesRead() - readByOpen, 256u << 10);
    EXPECT_GT(file.Size(), 1u << 20);
    ASSERT_TRUE(listing.readable);
    ASSERT_FALSE(listing.rows.empty());
    EXPECT_EQ(listing.rows.back().group, 0x0002);  // the meta group, and nothing after it
    const Reason why = NoImage(reader);
    EXPECT_TRUE(why.Is(InflateFailure::Truncated) || why.Is(InflateFailure::Corrupt)) << why;
}
