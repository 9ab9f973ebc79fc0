#include "io/ImageMemoryLimit.h"

#include <gtest/gtest.h>

TEST(ImageMemoryLimit, AtMostAGigasampleAndAQuarterOfPhysicalMemory) {
    constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
    EXPECT_TRUE(ImageFitsInMemory(kGiB, 64 * kGiB));
    EXPECT_FALSE(ImageFitsInMemory(kGiB + 1, 64 * kGiB));
    EXPECT_TRUE(ImageFitsInMemory(kGiB / 2, 2 * kGiB));
    EXPECT_FALSE(ImageFitsInMemory(kGiB / 2 + 1, 2 * kGiB));
    EXPECT_TRUE(ImageFitsInMemory(kGiB, 0));  // physical memory unknown: the fixed limit only
    EXPECT_GT(PhysicalMemoryBytes(), 0u);
}
