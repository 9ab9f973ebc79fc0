// Hands arbitrary streams to each frame decoder and to the inflaters. The first
// eight bytes choose the decoder, the geometry the file would claim (up to
// 65536 x 65536, as a real file may claim) and a reduced resolution; the rest is
// the stream, also read as the items of encapsulated pixel data. Decodes run under
// a budget of 64 MiB, well below the run's allocation limit: a stream whose header
// claims a large frame must be refused by the budget before its library allocates,
// so an allocation beyond the limit is a budget that misjudged a library. A
// decoder must give samples of the size it reported or a reason, never crash, hang
// or abort.
// DORVANELLE_FUZZ_DECODER=0..6 (JPEG, JPEG-LS, JPEG 2000, RLE, inflate, HTJ2K,
// JPEG XL) holds the choice on one of them, for runs that fuzz each decoder in turn.
// The decoders are linked in, not loaded from their modules.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "codecs/DecoderLibrary.h"
#include "codecs/DecoderTable.h"
#include "codecs/FrameDecoder.h"
#include "codecs/InflatingSource.h"
#include "dicom/EncapsulatedPixelData.h"
#include "io/ByteSource.h"
#include "io/FileBuffer.h"

namespace {

constexpr std::size_t kHeader = 8;
constexpr std::uint64_t kBudget = std::uint64_t{64} << 20;

void DecodeOne(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& g, std::uint8_t reduce) {
    DecodeOptions options;
    options.reduce = reduce;
    options.threads = 1;
    options.memoryBudget = kBudget;
    DecodedFrame out;
    Reason why;
    // In DecoderLibrary's order.
    static const DecoderTables tables{dorvanelle_decoders_libjpeg_turbo(), dorvanelle_decoders_dcmtk(),
                                      dorvanelle_decoders_charls(), dorvanelle_decoders_openjpeg(),
                                      dorvanelle_decoders_libjxl()};
    const bool decoded = DecodeFrameWith(tables, codec, stream, g, options, out, &why);
    if (!decoded) {
        if (why.Text().empty() || !out.samples.empty()) {
            std::abort();
        }
        return;
    }
    FrameGeometry shown = g;
    shown.columns = static_cast<std::uint16_t>(out.columns);
    shown.rows = static_cast<std::uint16_t>(out.rows);
    if (out.columns == 0 || out.columns > g.columns || out.rows > g.rows ||
        out.samples.size() != DecodedFrameSize(shown) || (reduce == 0 && out.samples.size() != DecodedFrameSize(g))) {
        std::abort();
    }
}

// The whole inflate and the inflate by position agree on what they accept and give.
void InflateBoth(std::span<const std::uint8_t> stream) {
    constexpr std::size_t kCap = std::size_t{1} << 20;
    std::vector<std::uint8_t> inflated;
    Reason why;
    const bool whole = InflateDataSet(stream, kCap, inflated, &why);
    if (whole ? inflated.size() > kCap : why.Text().empty()) {
        std::abort();
    }
    FileBuffer bytes = FileBuffer::Allocate(stream.size());
    std::copy(stream.begin(), stream.end(), bytes.Data());
    Reason sourceWhy;
    const auto source =
        InflatingSource::Open(std::make_shared<MemorySource>(std::move(bytes)), 0, kCap, &sourceWhy, 4096);
    if ((source != nullptr) != whole) {
        std::abort();
    }
    if (source == nullptr) {
        return;
    }
    // Backwards, so that restart points are used.
    std::vector<std::uint8_t> part(1000);
    for (std::uint64_t at = inflated.size(); at > 0;) {
        at = at > part.size() * 5 ? at - part.size() * 5 : 0;
        const std::size_t n = std::min<std::size_t>(part.size(), inflated.size() - at);
        if (source->ReadAt(at, part.data(), n) != SourceRead::Done ||
            !std::equal(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(n),
                        inflated.begin() + static_cast<std::ptrdiff_t>(at))) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeader) {
        return 0;
    }
    static const char* const held = std::getenv("DORVANELLE_FUZZ_DECODER");
    const std::uint8_t choice = (held != nullptr ? static_cast<std::uint8_t>(std::atoi(held)) : data[0]) % 7;
    FrameGeometry g;
    g.rows = static_cast<std::uint16_t>(1 + (data[1] << 8 | data[2]) % 65535);
    g.columns = static_cast<std::uint16_t>(1 + (data[3] << 8 | data[4]) % 65535);
    g.samplesPerPixel = (data[5] & 1) != 0 ? 3 : 1;
    g.bitsAllocated = (data[5] & 2) != 0 ? 16 : 8;
    g.isSigned = (data[5] & 4) != 0;
    g.ybr = (data[5] & 8) != 0;
    const auto reduce = static_cast<std::uint8_t>(data[6] % 8);
    const std::span<const std::uint8_t> stream(data + kHeader, size - kHeader);

    const FrameCodec codecs[] = {FrameCodec::Jpeg,     FrameCodec::JpegLs,     FrameCodec::Jpeg2000, FrameCodec::Rle,
                                 FrameCodec::Jpeg2000, FrameCodec::HtJpeg2000, FrameCodec::JpegXl};
    if (choice == 4) {
        InflateBoth(stream);
    } else {
        DecodeOne(codecs[choice], stream, g, reduce);
    }

    EncapsulatedPixelData pixels;
    if (ParseFragments(stream, pixels, nullptr)) {
        const std::uint32_t frames = 1 + data[7] % 4;
        std::vector<std::size_t> indices;
        std::vector<std::uint8_t> joined;
        for (std::uint32_t f = 0; f < frames; ++f) {
            if (FrameFragments(pixels, {}, frames, f, codecs[choice], indices, nullptr)) {
                const auto frame = FrameStream(stream, pixels, indices, joined);
                if (frame.data() == nullptr && !frame.empty()) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
