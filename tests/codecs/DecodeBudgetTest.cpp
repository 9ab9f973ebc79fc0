// The memory budget of a decode, known from the stream's header before anything is
// allocated: streams of a few hundred kilobytes that claim frames of gigabytes are
// refused with the budget and the need in their words, and the probe tells the
// size, the resolution levels and the need of a stream without decoding it.
#include <gtest/gtest.h>

#include <fstream>

#include "codecs/DecodeFailure.h"
#include "codecs/FrameDecoder.h"
#include "tests/codecs/CodecTestSupport.h"
#include "tests/support/HostileStreams.h"
#include "tests/support/TempFiles.h"

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

FrameGeometry Geometry(std::uint16_t columns, std::uint16_t rows, std::uint16_t samples, std::uint16_t bits) {
    FrameGeometry g;
    g.columns = columns;
    g.rows = rows;
    g.samplesPerPixel = samples;
    g.bitsAllocated = bits;
    return g;
}

struct Hostile {
    const char* what;
    FrameCodec codec;
    FrameGeometry geometry;
    std::vector<std::uint8_t> stream;
    std::uint64_t leastNeed;  // what the library alone is known to take, beyond the frame
};

std::vector<Hostile> HostileStreams() {
    const std::uint64_t grey = std::uint64_t{32768} * 32768;
    const std::uint64_t colour = std::uint64_t{18918} * 18918 * 3;
    return {
        {"JPEG 2000, 32768 x 32768 grey", FrameCodec::Jpeg2000, Geometry(32768, 32768, 1, 8),
         HugeJpeg2000Codestream(32768, 32768, 1, 8, 410000), grey + 4 * grey},
        {"JPEG 2000, 18918 x 18918 colour", FrameCodec::Jpeg2000, Geometry(18918, 18918, 3, 8),
         HugeJpeg2000Codestream(18918, 18918, 3, 8, 410000), colour + 4 * colour},
        {"JPEG 2000, 32768 x 32768, 16 bits", FrameCodec::Jpeg2000, Geometry(32768, 32768, 1, 16),
         HugeJpeg2000Codestream(32768, 32768, 1, 16, 560000), 2 * grey + 4 * grey},
        // The progressive decoder keeps two bytes of coefficient per sample until its last scan.
        {"progressive JPEG, 32768 x 32768", FrameCodec::Jpeg, Geometry(32768, 32768, 1, 8),
         HugeProgressiveJpeg(32768, 32768, 413000), grey + 2 * grey},
    };
}

// An 8-bit grey ramp as a PGM file, for the tools.
void WritePgm(const std::string& path, std::uint16_t columns, std::uint16_t rows) {
    std::ofstream pgm(path, std::ios::binary);
    pgm << "P5\n" << columns << " " << rows << "\n255\n";
    for (std::uint16_t r = 0; r < rows; ++r) {
        for (std::uint16_t c = 0; c < columns; ++c) {
            pgm.put(static_cast<char>((r * 3 + c * 5) & 0xFF));
        }
    }
}

class DecodeBudget : public ::testing::Test {
protected:
    void TearDown() override { SetDecodeMemoryBudget(0); }
};

}  // namespace

// Each stream passes every check of its shape (its size is large enough for the
// frame it claims) and would make its library allocate gigabytes; the budget
// refuses it first, and says by how much.
TEST_F(DecodeBudget, StreamsClaimingHugeFramesAreRefusedWithTheBudgetAndTheNeed) {
    SetDecodeMemoryBudget(kGiB);
    for (Hostile& h : HostileStreams()) {
        SCOPED_TRACE(h.what);
        DecodedFrame decoded;
        Reason why;
        EXPECT_FALSE(DecodeFrame(h.codec, h.stream, h.geometry, decoded, &why));
        ASSERT_TRUE(why.Is(DecodeFailure::OverMemoryBudget)) << why;
        EXPECT_EQ(why.First(), 1024);
        EXPECT_GE(static_cast<std::uint64_t>(why.Second()) * kMiB, h.leastNeed);
        EXPECT_EQ(why.Text(), "too large to decode within 1024 MiB (needs " + std::to_string(why.Second()) + " MiB)");
        EXPECT_TRUE(decoded.samples.empty());

        // The probe states the same need under any budget, without decoding.
        FrameProbe probe;
        DecodeOptions generous;
        generous.memoryBudget = 64 * kGiB;
        ASSERT_TRUE(ProbeFrame(h.codec, h.stream, h.geometry, generous, probe, &why)) << why;
        EXPECT_EQ(probe.columns, h.geometry.columns);
        EXPECT_EQ(probe.rows, h.geometry.rows);
        EXPECT_EQ((probe.bytesNeeded + kMiB - 1) / kMiB, static_cast<std::uint64_t>(why.Second()));
    }
}

// The budget is the process's default, changed for the process, or given with one
// decode; a reduced decode needs less and may pass where the full one does not.
TEST_F(DecodeBudget, TheBudgetComesFromTheOptionsOrTheProcessAndCountsWhatIsDecoded) {
    EXPECT_EQ(DefaultDecodeMemoryBudget(24 * kGiB), kGiB);
    EXPECT_EQ(DefaultDecodeMemoryBudget(2 * kGiB), 512 * kMiB);
    EXPECT_EQ(DefaultDecodeMemoryBudget(0), kGiB);
    EXPECT_LE(DecodeMemoryBudget(), kGiB);
    if (!HaveTool("opj_compress")) {
        GTEST_SKIP() << "opj_compress is not installed (scripts/install-deps)";
    }
    TempFolder folder;
    WritePgm(folder.File("ramp.pgm"), 2000, 1500);
    ASSERT_TRUE(RunQuietly("opj_compress -n 4 -i " + folder.File("ramp.pgm") + " -o " + folder.File("ramp.j2k")));
    const auto stream = ReadBytes(folder.File("ramp.j2k"));
    const FrameGeometry g = Geometry(2000, 1500, 1, 8);

    FrameProbe full;
    Reason why;
    ASSERT_TRUE(ProbeFrame(FrameCodec::Jpeg2000, stream, g, {}, full, &why)) << why;
    EXPECT_EQ(full.resolutionLevels, 4);
    EXPECT_EQ(full.precision, 8);
    // The frame's bytes, and OpenJPEG's 32-bit copy of it.
    EXPECT_GE(full.bytesNeeded, 5u * 2000 * 1500);
    EXPECT_LE(full.bytesNeeded, 12u * 2000 * 1500 + 16 * kMiB);

    SetDecodeMemoryBudget(full.bytesNeeded - 1);
    DecodedFrame decoded;
    EXPECT_FALSE(DecodeFrame(FrameCodec::Jpeg2000, stream, g, decoded, &why));
    EXPECT_TRUE(why.Is(DecodeFailure::OverMemoryBudget)) << why;
    DecodeOptions own;
    own.memoryBudget = full.bytesNeeded;
    EXPECT_TRUE(DecodeFrame(FrameCodec::Jpeg2000, stream, g, own, decoded, &why)) << why;
    EXPECT_EQ(decoded.samples.size(), 2000u * 1500);

    DecodeOptions quarter;
    quarter.reduce = 2;
    FrameProbe reduced;
    ASSERT_TRUE(ProbeFrame(FrameCodec::Jpeg2000, stream, g, quarter, reduced, &why)) << why;
    EXPECT_LT(reduced.bytesNeeded, full.bytesNeeded / 4);
    ASSERT_TRUE(DecodeFrame(FrameCodec::Jpeg2000, stream, g, quarter, decoded, &why)) << why;
    EXPECT_EQ(decoded.columns, 500u);
    EXPECT_EQ(decoded.rows, 375u);
    EXPECT_EQ(decoded.reduce, 2);
    EXPECT_EQ(decoded.samples.size(), 500u * 375);

    SetDecodeMemoryBudget(0);
    EXPECT_LE(DecodeMemoryBudget(), kGiB);
}
