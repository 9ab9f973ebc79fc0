#include "image/Histogram.h"

#include <algorithm>

void ComputeHistogram(const PackedDib* dib, Histogram& bins) {
    bins.fill(0);
    if (dib == nullptr || !DibIsComplete(dib)) {
        return;
    }
    // Stored rows lie end to end, so counting every byte of every row, padding
    // included, is one pass over stride x height bytes. Four sets of counters keep
    // runs of equal bytes from waiting on the same counter.
    const std::uint64_t total = DibRowStride(dib) * DibHeight(dib);
    const std::uint8_t* bytes = DibBits(dib);
    std::uint64_t counts[4][256] = {};
    std::uint64_t i = 0;
    for (; i + 4 <= total; i += 4) {
        ++counts[0][bytes[i]];
        ++counts[1][bytes[i + 1]];
        ++counts[2][bytes[i + 2]];
        ++counts[3][bytes[i + 3]];
    }
    for (; i < total; ++i) {
        ++counts[0][bytes[i]];
    }
    std::uint64_t merged[256];
    std::uint64_t fullest = 0;
    for (int b = 0; b < 256; ++b) {
        merged[b] = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
        fullest = std::max(fullest, merged[b]);
    }
    fullest = std::max<std::uint64_t>(fullest, 1);
    // A bin of a huge bitmap times 100 passes 32 bits; the product is taken in 64.
    for (int b = 0; b < 256; ++b) {
        bins[b] = static_cast<std::int32_t>(merged[b] * 100 / fullest);
    }
}
