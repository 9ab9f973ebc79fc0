// Decodes running at once share one memory budget: a need that does not fit beside
// the decodes running waits for them instead of adding a second budget's worth, the
// waiting ones enter in the order they came, and decodes on several threads under a
// budget that fits one at a time all succeed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "codecs/DecodeMemoryGate.h"
#include "codecs/FrameDecoder.h"
#include "tests/codecs/CodecTestSupport.h"
#include "tests/support/TempFiles.h"

namespace {

// Long enough for a thread that should not have entered to have done so.
constexpr std::chrono::milliseconds kSettle{50};

// Enters `gate` on a thread of its own and says when it is in; leaves when released.
class Entrant {
public:
    Entrant(DecodeMemoryGate& gate, std::uint64_t bytes, std::uint64_t budget)
        : m_thread([this, &gate, bytes, budget] {
              const DecodeMemoryGate::Hold hold = gate.Enter(bytes, budget);
              m_in = true;
              while (!m_release)
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }) {}
    ~Entrant() {
        m_release = true;
        m_thread.join();
    }
    Entrant(const Entrant&) = delete;
    Entrant& operator=(const Entrant&) = delete;
    bool In() const { return m_in; }
    void WaitIn() const {
        while (!m_in)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Release() { m_release = true; }

private:
    std::atomic<bool> m_in{false};
    std::atomic<bool> m_release{false};
    std::thread m_thread;
};

}  // namespace

TEST(DecodeMemoryGate, ANeedThatDoesNotFitWaitsAndWaitingOnesEnterInTheirOrder) {
    DecodeMemoryGate gate;
    std::optional<DecodeMemoryGate::Hold> first = gate.Enter(60, 100);
    {
        // Fits beside the first: enters at once.
        const DecodeMemoryGate::Hold small = gate.Enter(30, 100);
        EXPECT_EQ(gate.Held(), 90u);
    }
    Entrant large(gate, 60, 100);
    std::this_thread::sleep_for(kSettle);
    EXPECT_FALSE(large.In());
    // Would fit beside the first, but the large one asked before it.
    Entrant later(gate, 10, 100);
    std::this_thread::sleep_for(kSettle);
    EXPECT_FALSE(later.In());

    first.reset();
    large.WaitIn();
    later.WaitIn();
    EXPECT_EQ(gate.Held(), 70u);
    large.Release();
    later.Release();
}

TEST(DecodeMemoryGate, ANeedAsLargeAsTheBudgetRunsAloneAndNothingIsHeldAfter) {
    DecodeMemoryGate gate;
    {
        std::optional<DecodeMemoryGate::Hold> whole = gate.Enter(100, 100);
        Entrant tiny(gate, 1, 100);
        std::this_thread::sleep_for(kSettle);
        EXPECT_FALSE(tiny.In());
        whole.reset();
        tiny.WaitIn();
    }
    EXPECT_EQ(gate.Held(), 0u);
}

// A decode waits while others hold the budget; four threads decoding the same JPEG
// 2000 frame under a budget that fits one decode take turns instead of being
// refused, and each gets the whole frame.
TEST(DecodeMemoryGate, DecodesOnSeveralThreadsShareTheBudgetAndAllSucceed) {
    if (!HaveTool("opj_compress")) GTEST_SKIP() << "opj_compress is not installed (scripts/install-deps)";
    TempFolder folder;
    {
        std::ofstream pgm(folder.File("noise.pgm"), std::ios::binary);
        pgm << "P5\n640 480\n255\n";
        for (std::uint32_t i = 0; i < 640u * 480u; ++i)
            pgm.put(static_cast<char>((i * 7919u) >> 3));
    }
    ASSERT_TRUE(RunQuietly("opj_compress -i " + folder.File("noise.pgm") + " -o " + folder.File("noise.j2k")));
    const auto stream = ReadBytes(folder.File("noise.j2k"));
    FrameGeometry g;
    g.columns = 640;
    g.rows = 480;
    g.samplesPerPixel = 1;
    g.bitsAllocated = 8;
    FrameProbe probe;
    Reason why;
    ASSERT_TRUE(ProbeFrame(FrameCodec::Jpeg2000, stream, g, {}, probe, &why)) << why;
    DecodeOptions options;
    options.memoryBudget = probe.bytesNeeded + probe.bytesNeeded / 2;

    DecodedFrame alone;
    ASSERT_TRUE(DecodeFrame(FrameCodec::Jpeg2000, stream, g, options, alone, &why)) << why;

    // While another decode holds its need, a second one waits for it to end.
    {
        std::optional<DecodeMemoryGate::Hold> other =
            DecodeMemoryGate::Process().Enter(probe.bytesNeeded, options.memoryBudget);
        DecodedFrame waited;
        std::atomic<bool> done{false};
        std::thread second([&] {
            EXPECT_TRUE(DecodeFrame(FrameCodec::Jpeg2000, stream, g, options, waited, nullptr));
            done = true;
        });
        std::this_thread::sleep_for(kSettle);
        EXPECT_FALSE(done);
        other.reset();
        second.join();
        EXPECT_TRUE(waited.samples == alone.samples);
    }

    std::vector<DecodedFrame> frames(4);
    std::vector<int> decoded(frames.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        threads.emplace_back(
            [&, i] { decoded[i] = DecodeFrame(FrameCodec::Jpeg2000, stream, g, options, frames[i], nullptr) ? 1 : 0; });
    }
    for (std::thread& t : threads)
        t.join();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(decoded[i], 1) << i;
        EXPECT_TRUE(frames[i].samples == alone.samples) << i;
    }
    EXPECT_EQ(DecodeMemoryGate::Process().Held(), 0u);
}
