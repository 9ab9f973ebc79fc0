// A reduced decode (JPEG 2000's lower resolution levels, JPEG's scaled inverse
// transform) must show the same picture as the full decode made smaller: each
// reduced sample is compared with the mean of the full samples it stands for.
// The codecs' own filters are not box filters, so the comparison allows what
// their low-pass filters differ by on a picture with smooth parts and hard edges.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "codecs/FrameDecoder.h"
#include "tests/codecs/CodecTestSupport.h"
#include "tests/support/TempFiles.h"

namespace {

std::uint32_t SampleAt(const DecodedFrame& frame, std::size_t index, std::size_t bytes) {
    return bytes == 2 ? std::uint32_t{frame.samples[2 * index]} | (std::uint32_t{frame.samples[2 * index + 1]} << 8)
                      : frame.samples[index];
}

struct Difference {
    double mean = 0;  // mean absolute difference, as a share of the full decode's range
    double worst = 0;
};

// `reduced` against the full frame averaged over blocks of 2^reduce x 2^reduce: the
// block a reduced sample covers (JPEG's scaled transform), or the block centred on
// its position (a wavelet's low band, whose sample n stands at 2^reduce x n).
Difference CompareWithBlockMeans(const DecodedFrame& full, const DecodedFrame& reduced, std::size_t bytes,
                                 bool centred) {
    const std::uint32_t block = 1u << reduced.reduce;
    const std::uint32_t back = centred ? block / 2 : 0;
    std::uint32_t low = UINT32_MAX;
    std::uint32_t high = 0;
    for (std::size_t i = 0; i < std::size_t{full.columns} * full.rows; ++i) {
        low = std::min(low, SampleAt(full, i, bytes));
        high = std::max(high, SampleAt(full, i, bytes));
    }
    const double range = std::max(1u, high - low);
    Difference d;
    for (std::uint32_t r = 0; r < reduced.rows; ++r) {
        for (std::uint32_t c = 0; c < reduced.columns; ++c) {
            double sum = 0;
            int count = 0;
            for (std::uint32_t y = r * block > back ? r * block - back : 0;
                 y < std::min(full.rows, (r + 1) * block - back); ++y) {
                for (std::uint32_t x = c * block > back ? c * block - back : 0;
                     x < std::min(full.columns, (c + 1) * block - back); ++x) {
                    sum += SampleAt(full, std::size_t{y} * full.columns + x, bytes);
                    ++count;
                }
            }
            const double diff =
                std::fabs(sum / count - SampleAt(reduced, std::size_t{r} * reduced.columns + c, bytes)) / range;
            d.mean += diff;
            d.worst = std::max(d.worst, diff);
        }
    }
    d.mean /= static_cast<double>(reduced.columns) * reduced.rows;
    return d;
}

}  // namespace

TEST(ReducedResolution, Jpeg2000LevelsMatchTheFullFrameMadeSmaller) {
    if (!HaveTool("opj_compress")) {
        GTEST_SKIP() << "opj_compress is not installed (scripts/install-deps)";
    }
    constexpr std::uint16_t kColumns = 301;  // odd: the reduced sizes round up
    constexpr std::uint16_t kRows = 203;
    TempFolder folder;
    {
        // Long waves, which every level keeps, and a bright disc with a hard edge.
        std::ofstream pgm(folder.File("frame.pgm"), std::ios::binary);
        pgm << "P5\n" << kColumns << " " << kRows << "\n65535\n";
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < kColumns; ++c) {
                const bool disc = (r - 100) * (r - 100) + (c - 140) * (c - 140) < 60 * 60;
                const double wave = 900 * std::sin(c / 35.0) * std::cos(r / 27.0) + 300 * std::sin((c + r) / 40.0);
                const auto v = static_cast<std::uint16_t>(2000 + wave + (disc ? 1500 : 0));
                pgm.put(static_cast<char>(v >> 8)).put(static_cast<char>(v));
            }
        }
    }
    ASSERT_TRUE(RunQuietly("opj_compress -n 5 -i " + folder.File("frame.pgm") + " -o " + folder.File("frame.j2k")));
    const auto stream = ReadBytes(folder.File("frame.j2k"));
    FrameGeometry g;
    g.columns = kColumns;
    g.rows = kRows;
    g.bitsAllocated = 16;
    DecodedFrame full;
    Reason why;
    ASSERT_TRUE(DecodeFrame(FrameCodec::Jpeg2000, stream, g, full, &why)) << why;
    for (std::uint8_t reduce = 1; reduce <= 5; ++reduce) {
        SCOPED_TRACE(static_cast<int>(reduce));
        DecodeOptions options;
        options.reduce = reduce;
        DecodedFrame reduced;
        ASSERT_TRUE(DecodeFrame(FrameCodec::Jpeg2000, stream, g, options, reduced, &why)) << why;
        // Five levels give four reductions; a fifth is not there and gives the fourth.
        const std::uint8_t given = std::min<std::uint8_t>(reduce, 4);
        EXPECT_EQ(reduced.reduce, given);
        EXPECT_EQ(reduced.columns, (301u + (1u << given) - 1) >> given);
        EXPECT_EQ(reduced.rows, (203u + (1u << given) - 1) >> given);
        const Difference d = CompareWithBlockMeans(full, reduced, 2, true);
        // The low band is a longer filter than the block's mean, more so at every level:
        // they differ most at the disc's edge and the frame's border (a quarter of the
        // disc's step there), and by about 2 % of the range on average at the fourth.
        EXPECT_LT(d.mean, 0.025) << d.worst;
        EXPECT_LT(d.worst, 0.3);
    }
}

TEST(ReducedResolution, EightBitJpegScalesMatchTheFullFrameMadeSmaller) {
    if (!HaveTool("cjpeg")) {
        GTEST_SKIP() << "cjpeg is not installed (scripts/install-deps)";
    }
    constexpr std::uint16_t kColumns = 203;
    constexpr std::uint16_t kRows = 150;
    TempFolder folder;
    {
        std::ofstream ppm(folder.File("frame.ppm"), std::ios::binary);
        ppm << "P6\n" << kColumns << " " << kRows << "\n255\n";
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < kColumns; ++c) {
                const bool disc = (r - 75) * (r - 75) + (c - 100) * (c - 100) < 50 * 50;
                ppm.put(static_cast<char>(disc ? 200 : c)).put(static_cast<char>(r)).put(static_cast<char>(90));
            }
        }
    }
    ASSERT_TRUE(RunQuietly("cjpeg -quality 95 -outfile " + folder.File("frame.jpg") + " " + folder.File("frame.ppm")));
    const auto stream = ReadBytes(folder.File("frame.jpg"));
    FrameGeometry g;
    g.columns = kColumns;
    g.rows = kRows;
    g.samplesPerPixel = 3;
    g.ybr = true;
    FrameProbe probe;
    Reason why;
    ASSERT_TRUE(ProbeFrame(FrameCodec::Jpeg, stream, g, {}, probe, &why)) << why;
    EXPECT_EQ(probe.resolutionLevels, 4);  // 1, 1/2, 1/4, 1/8
    DecodedFrame full;
    ASSERT_TRUE(DecodeFrame(FrameCodec::Jpeg, stream, g, full, &why)) << why;
    for (std::uint8_t reduce = 1; reduce <= 3; ++reduce) {
        SCOPED_TRACE(static_cast<int>(reduce));
        DecodeOptions options;
        options.reduce = reduce;
        DecodedFrame reduced;
        ASSERT_TRUE(DecodeFrame(FrameCodec::Jpeg, stream, g, options, reduced, &why)) << why;
        EXPECT_EQ(reduced.columns, (203u + (1u << reduce) - 1) >> reduce);
        EXPECT_EQ(reduced.rows, (150u + (1u << reduce) - 1) >> reduce);
        EXPECT_TRUE(reduced.convertedToRgb);
        // Each of the three samples of a pixel compared as a grey picture of its own.
        for (std::size_t s = 0; s < 3; ++s) {
            DecodedFrame fullPlane{{}, full.columns, full.rows, 0, false};
            DecodedFrame reducedPlane{{}, reduced.columns, reduced.rows, reduce, false};
            for (std::size_t i = s; i < full.samples.size(); i += 3) {
                fullPlane.samples.push_back(full.samples[i]);
            }
            for (std::size_t i = s; i < reduced.samples.size(); i += 3) {
                reducedPlane.samples.push_back(reduced.samples[i]);
            }
            const Difference d = CompareWithBlockMeans(fullPlane, reducedPlane, 1, false);
            EXPECT_LT(d.mean, 0.02) << "sample " << s;
            EXPECT_LT(d.worst, 0.25) << "sample " << s;
        }
    }
}
