// Grey-level histogram of a bitmap, scaled so that the fullest bin is 100.
#pragma once

#include <array>
#include <cstdint>

#include "image/PackedDib.h"

using Histogram = std::array<std::int32_t, 256>;

// Counts every byte of every stored row (padding included), then scales each bin to
// its share of the fullest bin in per cent. A null bitmap gives 256 zeros.
void ComputeHistogram(const PackedDib* dib, Histogram& bins);
