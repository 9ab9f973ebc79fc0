// Hands arbitrary streams to each frame decoder and to the inflater. The first
// four bytes choose the decoder and the geometry the file would claim; the rest is
// the stream, also read as the items of encapsulated pixel data. A decoder must
// give samples of the claimed size or a reason, never crash, hang or abort.
// DORVANELLE_FUZZ_DECODER=0..4 (JPEG, JPEG-LS, JPEG 2000, RLE, inflate) holds the
// choice on one of them, for runs that fuzz each decoder in turn. The decoders are
// linked in, not loaded from their module.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "codecs/DecoderTable.h"
#include "codecs/FrameDecoder.h"
#include "dicom/EncapsulatedPixelData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    static const char* const held = std::getenv("DORVANELLE_FUZZ_DECODER");
    const std::uint8_t choice = held != nullptr ? static_cast<std::uint8_t>(std::atoi(held)) : data[0];
    FrameGeometry g;
    g.rows = static_cast<std::uint16_t>(1 + data[1] % 64);
    g.columns = static_cast<std::uint16_t>(1 + data[2] % 64);
    g.samplesPerPixel = (data[3] & 1) != 0 ? 3 : 1;
    g.bitsAllocated = (data[3] & 2) != 0 ? 16 : 8;
    g.isSigned = (data[3] & 4) != 0;
    g.ybr = (data[3] & 8) != 0;
    const std::span<const std::uint8_t> stream(data + 4, size - 4);

    const FrameCodec codecs[] = {FrameCodec::Jpeg, FrameCodec::JpegLs, FrameCodec::Jpeg2000, FrameCodec::Rle};
    if (choice % 5 < 4) {
        DecodedFrame out;
        Reason why;
        const bool decoded = DecodeFrameWith(*dorvanelle_decoder_table(), codecs[choice % 5], stream, g, {}, out, &why);
        if (decoded ? out.samples.size() != DecodedFrameSize(g) : why.Text().empty() || !out.samples.empty()) {
            std::abort();
        }
    } else {
        std::vector<std::uint8_t> inflated;
        Reason why;
        const std::size_t cap = 1 << 20;
        if (InflateDataSet(stream, cap, inflated, &why) ? inflated.size() > cap : why.Text().empty()) {
            std::abort();
        }
    }

    EncapsulatedPixelData pixels;
    if (ParseFragments(stream, pixels, nullptr)) {
        const std::uint32_t frames = 1 + data[1] % 4;
        std::vector<std::size_t> indices;
        std::vector<std::uint8_t> joined;
        for (std::uint32_t f = 0; f < frames; ++f) {
            if (FrameFragments(pixels, {}, frames, f, codecs[choice % 4], indices, nullptr)) {
                const auto frame = FrameStream(stream, pixels, indices, joined);
                if (frame.data() == nullptr && !frame.empty()) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
