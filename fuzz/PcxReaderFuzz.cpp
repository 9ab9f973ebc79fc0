// Feeds arbitrary bytes to the PCX reader and, separately, to the run-length decoder
// with an output length taken from the input, then checks and measures the picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "image/CropDib.h"
#include "image/Histogram.h"
#include "image/PcxFile.h"
#include "io/ByteOrder.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reason why;
    PackedDibPtr dib = ReadPcxBytes(data, size, &why);
    if (!dib) {
        Require(static_cast<bool>(why) && !why.Text().empty());
    } else {
        Require(DibIsComplete(dib.get()) && DibBitCount(dib.get()) == 8);
        Require(DibHeight(dib.get()) == ReadLE16(data + 10) + 1u);
        Require(DibWidth(dib.get()) == RoundUpToFour(ReadLE16(data + 66)));
        Histogram bins;
        ComputeHistogram(dib.get(), bins);
        PackedDibPtr crop = CropDib({1, 1, DibWidth(dib.get()) - 1, DibHeight(dib.get()) + 3}, dib.get());
        Require(crop != nullptr);
    }
    if (size >= 2) {
        // The decoder on its own, with any output length up to 64 KiB.
        const std::size_t outSize = ReadLE16(data);
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[outSize + 1]);
        DecodePcxRle(data + 2, size - 2, out.get(), outSize);
    }
    return 0;
}
