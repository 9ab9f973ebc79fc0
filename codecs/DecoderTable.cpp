// The decoder module's entry point: the table the core loads, and the one function
// in it, which picks the decoder and turns its reason into plain data. Nothing is
// thrown across: the libraries report memory exhaustion by throwing, and anything
// thrown ends here.
#include "codecs/DecoderTable.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "codecs/DecoderParts.h"

namespace {

void Record(const Reason& reason, DecodeFailureRecord& failure) {
    failure.code = reason.CodeOf<DecodeFailure>();
    for (std::size_t i = 0; i < std::size(failure.numbers); ++i) {
        failure.numbers[i] = reason.Number(i);
    }
    const std::string& subject = reason.Subject();
    const std::size_t length = std::min(subject.size(), std::size(failure.subject) - 1);
    std::copy_n(subject.data(), length, std::begin(failure.subject));
    failure.subject[length] = '\0';
}

bool Decode(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry, FrameOutput& out,
            Reason* why) {
    switch (codec) {
    case FrameCodec::Jpeg: return DecodeJpeg(stream, geometry, out, why);
    case FrameCodec::JpegLs: return DecodeJpegLs(stream, geometry, out, why);
    case FrameCodec::Jpeg2000: return DecodeJpeg2000(stream, geometry, out, why);
    case FrameCodec::Rle: return DecodeRle(stream, geometry, out, why);
    }
    return Fail(why, DecodeFailure::NoCompressedData);
}

int DecodeFrameInModule(std::uint8_t codec, const std::uint8_t* stream, std::size_t streamSize,
                        const FrameGeometry* geometry,
                        std::uint8_t* samples,  // NOLINT(readability-non-const-parameter): written through FrameOutput
                        std::size_t samplesSize, std::uint8_t* convertedToRgb, DecodeFailureRecord* failure) noexcept {
    Reason why;
    bool done = false;
    try {
        // The core checks these; the module does not rely on it.
        if (geometry == nullptr || stream == nullptr || streamSize == 0) {
            why = DecodeFailure::NoCompressedData;
        } else if (samples == nullptr || samplesSize == 0 || samplesSize != DecodedFrameSize(*geometry)) {
            why = Reason(DecodeFailure::FrameNotDecodable)
                      .Numbers(geometry->rows, geometry->columns, geometry->bitsAllocated);
        } else {
            FrameOutput out{samples, samplesSize, false};
            done = Decode(static_cast<FrameCodec>(codec), {stream, streamSize}, *geometry, out, &why);
            *convertedToRgb = done && out.convertedToRgb ? 1 : 0;
        }
    } catch (...) {
        done = false;
        why = DecodeFailure::OutOfMemory;
    }
    if (!done) {
        Record(why, *failure);
    }
    return done ? 1 : 0;
}

constexpr DecoderTable kTable{kDecoderTableVersion, sizeof(DecoderTable), &DecodeFrameInModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DecoderTable* dorvanelle_decoder_table() { return &kTable; }
