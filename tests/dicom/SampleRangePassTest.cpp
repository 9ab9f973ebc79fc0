// The block-wise range pass: the same range from a file and from memory as a plain
// loop over every sample, across block boundaries; cancelled and changed files.
#include "dicom/SampleRangePass.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <random>

#include "io/RandomAccessFile.h"
#include "tests/support/TempFiles.h"

namespace {

std::shared_ptr<const ByteSource> InMemory(const std::vector<std::uint8_t>& bytes) {
    FileBuffer buffer = FileBuffer::Allocate(bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer.Data());
    return std::make_shared<MemorySource>(std::move(buffer));
}

std::string OnDisk(const TempFolder& folder, const std::vector<std::uint8_t>& bytes) {
    const std::string path = folder.File("samples.bin");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
}

TEST(SampleRangePass, MatchesEverySampleRescaledAcrossBlocks) {
    std::mt19937 random(11);
    // 3 bytes of something else, then 700,001 samples (more than two blocks) and a lone byte.
    constexpr std::size_t kSamples = 700001;
    std::vector<std::uint8_t> bytes(3 + 2 * kSamples + 1);
    for (std::uint8_t& b : bytes) {
        b = static_cast<std::uint8_t>(random() % 64);  // small samples: the extremes below stand out
    }
    const auto put = [&bytes](std::size_t sample, std::uint16_t value) {
        bytes[3 + 2 * sample] = static_cast<std::uint8_t>(value);
        bytes[4 + 2 * sample] = static_cast<std::uint8_t>(value >> 8);
    };
    put(kSamples - 1, 0x7000);  // the last sample, outside any run of eight
    put(262144, 0x9000);        // the first sample of the second block: negative
    bytes.back() = 0xFF;        // no sample: must not count

    for (const std::int16_t intercept : {std::int16_t{0}, std::int16_t{-1024}, std::int16_t{30000}}) {
        SampleRange expected;
        for (std::size_t i = 0; i < kSamples; ++i) {
            const auto raw = static_cast<std::uint16_t>(bytes[3 + 2 * i] | (bytes[4 + 2 * i] << 8));
            const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(raw + intercept));
            expected.min = std::min(expected.min, v);
            expected.max = std::max(expected.max, v);
        }
        TempFolder folder;
        const std::shared_ptr<const ByteSource> sources[] = {InMemory(bytes),
                                                             RandomAccessFile::Open(OnDisk(folder, bytes))};
        for (const auto& source : sources) {
            ASSERT_NE(source, nullptr);
            const SampleRangeOutcome outcome = ScanSampleRange({source, 3, 2 * kSamples + 1, intercept});
            ASSERT_TRUE(outcome.Complete());
            EXPECT_EQ(outcome.range.min, expected.min) << intercept;
            EXPECT_EQ(outcome.range.max, expected.max) << intercept;
        }
    }
}

TEST(SampleRangePass, CancelledOrChangedPassesGiveNoRange) {
    const std::vector<std::uint8_t> bytes(4 << 20, 1);
    TempFolder folder;
    const std::string path = OnDisk(folder, bytes);
    auto file = RandomAccessFile::Open(path);
    ASSERT_NE(file, nullptr);

    std::atomic<bool> cancel{true};
    EXPECT_TRUE(ScanSampleRange({file, 0, bytes.size(), 0}, &cancel).cancelled);
    EXPECT_FALSE(ScanSampleRange({file, 0, bytes.size(), 0}, &cancel).Complete());

    EXPECT_EQ(ScanSampleRange({file, 2, bytes.size(), 0}).read, SourceRead::Changed);  // longer than the file
    ASSERT_EQ(::truncate(path.c_str(), 1 << 20), 0);
    EXPECT_EQ(ScanSampleRange({file, 0, bytes.size(), 0}).read, SourceRead::Changed);

    const SampleRangeOutcome none = ScanSampleRange({});
    EXPECT_TRUE(none.Complete());
    EXPECT_GT(none.range.min, none.range.max);  // no samples: the empty range
}

}  // namespace
