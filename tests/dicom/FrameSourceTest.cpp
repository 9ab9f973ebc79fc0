// The stored samples of frame N: packed 1- and 12-bit frames at their own offsets,
// byte order of big-endian OW values, frames the data does not hold, data cut
// short, and several threads reading one source at once.
#include <gtest/gtest.h>

#include <thread>

#include "tests/dicom/DicomTestHelpers.h"

namespace {

std::shared_ptr<const FrameSource> SourceOf(const DicomStreamBuilder& b) { return Captured(b)->Frames(); }

std::vector<std::uint32_t> Raws(const FrameSamples& s) {
    std::vector<std::uint32_t> raws;
    for (std::size_t i = 0; i < s.Pixels(); ++i)
        raws.push_back(s.Raw(i));
    return raws;
}

// 12-bit samples packed two in three bytes, least significant bits first.
std::vector<std::uint8_t> Pack12(const std::vector<std::uint16_t>& samples) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < samples.size(); i += 2) {
        const std::uint16_t a = samples[i];
        const std::uint16_t b = i + 1 < samples.size() ? samples[i + 1] : 0;
        bytes.push_back(static_cast<std::uint8_t>(a));
        bytes.push_back(static_cast<std::uint8_t>((a >> 8) | ((b & 0x0F) << 4)));
        bytes.push_back(static_cast<std::uint8_t>(b >> 4));
    }
    return bytes;
}

TEST(FrameSource, TwelveBitFramesAreUnpackedEachAtItsOwnOffset) {
    // Three frames of 1 x 3: the second starts in the middle of a byte (4.5 bytes in).
    const std::vector<std::uint16_t> samples = {0x123, 0xFFF, 0x000, 0x800, 0x7FF, 0x001, 0xABC, 0x456, 0x789};
    DicomStreamBuilder b;
    b.ImageAttributes(1, 3, 12).ExplicitText(0x0028, 0x0008, "IS", "5").Explicit(0x7FE0, 0x0010, "OW", Pack12(samples));
    auto source = SourceOf(b);
    for (int f = 0; f < 3; ++f) {
        auto frame = source->Frame(f);
        ASSERT_TRUE(frame) << frame.Why();
        EXPECT_EQ((*frame)->layout, SampleLayout::Grey16);
        EXPECT_EQ(Raws(**frame), (std::vector<std::uint32_t>(samples.begin() + 3 * f, samples.begin() + 3 * f + 3)));
    }
    // Read as a block of frames 1 and 2, from the second frame's own offset.
    auto block = source->FramesUncached(1, 2);
    ASSERT_TRUE(block) << block.Why();
    EXPECT_EQ(Raws(**block), (std::vector<std::uint32_t>(samples.begin() + 3, samples.end())));
    // The file claims five frames; the fourth lies beyond the data and gives no image.
    EXPECT_TRUE(source->Check(3).Is(DicomNoImage::FrameOutside));
    EXPECT_FALSE(source->FramesUncached(2, 2));
    EXPECT_FALSE(source->Frame(3));
    EXPECT_EQ(source->FramesHeld(), 3);
}

TEST(FrameSource, OneBitFramesRunOnAcrossByteBoundaries) {
    // Two frames of 1 x 5 in 10 bits, least significant bit first.
    DicomStreamBuilder b;
    b.ImageAttributes(1, 5, 1).ExplicitText(0x0028, 0x0008, "IS", "2").PixelData8({0b11001101, 0b00000010});
    auto source = SourceOf(b);
    auto first = source->Frame(0);
    auto second = source->Frame(1);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(Raws(**first), (std::vector<std::uint32_t>{1, 0, 1, 1, 0}));
    EXPECT_EQ(Raws(**second), (std::vector<std::uint32_t>{0, 1, 1, 0, 1}));
}

TEST(FrameSource, BigEndianOwValuesOfBytesAreSwappedBack) {
    for (const char* vr : {"OW", "OB"}) {
        SCOPED_TRACE(vr);
        DicomStreamBuilder b;
        b.Preamble().MetaGroup("1.2.840.10008.1.2.2").BigEndian();
        b.ImageAttributes(1, 3, 8);
        // The samples 1 2 3 as a big-endian OW value holds them: words 0x0201, 0x0003.
        const bool words = std::string(vr) == "OW";
        b.Explicit(0x7FE0, 0x0010, vr,
                   words ? std::vector<std::uint8_t>{2, 1, 0, 3} : std::vector<std::uint8_t>{1, 2, 3, 0});
        auto frame = SourceOf(b)->Frame(0);
        ASSERT_TRUE(frame) << frame.Why();
        EXPECT_EQ(Raws(**frame), (std::vector<std::uint32_t>{1, 2, 3}));
    }
}

TEST(FrameSource, PixelDataCutShortSaysSoWithBothNumbers) {
    DicomStreamBuilder b;
    b.ImageAttributes(64, 64, 16).ExplicitText(0x0028, 0x0008, "IS", "2");
    b.ExplicitHeader(0x7FE0, 0x0010, "OW", 16384).Raw(std::vector<std::uint8_t>(8192 + 8130, 1));
    auto source = SourceOf(b);
    EXPECT_FALSE(source->Check(0));  // the first frame is whole
    const Reason why = source->Check(1);
    ASSERT_TRUE(why.Is(DicomNoImage::PixelDataCutShort)) << why;
    EXPECT_EQ(why.First(), 16322);
    EXPECT_EQ(why.Second(), 16384);
    EXPECT_NE(why.Text().find("16322"), std::string::npos);
    EXPECT_TRUE(source->Check(2).Is(DicomNoImage::FrameOutside));
}

TEST(FrameSource, ThreadsShareOneSourceAndTheCacheKeepsWhatIsShown) {
    constexpr int kFrames = 12;
    std::vector<std::int16_t> samples;
    for (int f = 0; f < kFrames; ++f) {
        for (int i = 0; i < 64 * 64; ++i)
            samples.push_back(static_cast<std::int16_t>(f * 100 + i % 7));
    }
    DicomStreamBuilder b;
    b.ImageAttributes(64, 64, 16).ExplicitText(0x0028, 0x0008, "IS", std::to_string(kFrames)).PixelData16(samples);
    auto source = SourceOf(b);
    auto shown = source->Frame(0);
    ASSERT_TRUE(shown);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&source, &wrong, t] {
            for (int round = 0; round < 20; ++round) {
                const int f = (round + t) % kFrames;
                auto frame = round % 2 == 0 ? source->Frame(f) : source->FrameUncached(f);
                if (!frame || (*frame)->frame != f || (*frame)->Raw(8) != static_cast<std::uint32_t>(f * 100 + 1)) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    // The samples handed out stay valid whatever the cache did since.
    EXPECT_EQ((*shown)->Raw(8), 1u);
    // A block of frames 5 to 8 starts at frame 5.
    auto block = source->FramesUncached(5, 4);
    ASSERT_TRUE(block) << block.Why();
    EXPECT_EQ((*block)->Raw(8), 501u);
    EXPECT_EQ((*block)->Raw(3 * 64 * 64 + 8), 801u);
}

}  // namespace
