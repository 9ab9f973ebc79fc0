#include "io/ZeroedMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

bool AllZero(const std::uint8_t* bytes, std::size_t length) {
    return std::all_of(bytes, bytes + length, [](std::uint8_t b) { return b == 0; });
}

}  // namespace

// Sizes on both sides of where blocks start to be mapped, and the bitmap of a
// 2048 x 2048 frame; each block is written in full and given back, so that the next
// of its size can reuse what the first one dirtied.
TEST(ZeroedMemory, EveryBlockIsZeroWhenHandedOutEvenAfterAnEarlierOneWasWritten) {
    for (const std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{4097}, 2 * kMiB - 1, 2 * kMiB,
                                     4 * kMiB + 1078, 9 * kMiB + 5}) {
        SCOPED_TRACE(length);
        for (int round = 0; round < 2; ++round) {
            auto* block = static_cast<std::uint8_t*>(AllocateZeroed(length));
            ASSERT_NE(block, nullptr);
            EXPECT_TRUE(AllZero(block, length));
            if (length != 0) std::memset(block, 0xA5, length);
            ReleaseZeroed(block, length);
        }
    }
}

TEST(ZeroedMemory, AVectorIsZeroWhenMadeAndWhereItGrowsPastItsCapacity) {
    ZeroedBytes bytes(3 * kMiB);
    EXPECT_TRUE(AllZero(bytes.data(), bytes.size()));
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{7});
    bytes.resize(bytes.capacity() + 100);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.begin() + 3 * kMiB, [](std::uint8_t b) { return b == 7; }));
    EXPECT_TRUE(AllZero(bytes.data() + 3 * kMiB, bytes.size() - 3 * kMiB));
    // Filling with a value still writes it.
    bytes.assign(5, 9);
    EXPECT_EQ(bytes, ZeroedBytes(5, 9));
}
