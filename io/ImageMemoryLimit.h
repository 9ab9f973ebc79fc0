// How large a picture the readers are willing to build. A file of a few bytes can
// claim 65,535 x 65,535 pixels; whatever the file holds, no reader allocates an image
// beyond this limit, and says "too large to show (W x H)" instead.
#pragma once

#include <cstdint>

// 2^30 samples: a gigabyte of 8-bit pixels, far beyond any scanner's frame.
inline constexpr std::uint64_t kMostImageSamples = std::uint64_t{1} << 30;

// The machine's physical memory in bytes, or 0 when it cannot be told.
std::uint64_t PhysicalMemoryBytes();

// Whether an image of `samples` one-byte samples stays within kMostImageSamples and
// within a quarter of `physicalBytes` (no limit of that kind when 0).
bool ImageFitsInMemory(std::uint64_t samples, std::uint64_t physicalBytes);
// The same for this machine.
bool ImageFitsInMemory(std::uint64_t samples);
