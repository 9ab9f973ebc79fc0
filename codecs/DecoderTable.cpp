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

bool Probe(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
           FrameProbe& probe, Reason* why) {
    switch (codec) {
    case FrameCodec::Jpeg: return ProbeJpeg(stream, geometry, reduce, probe, why);
    case FrameCodec::JpegLs: return ProbeJpegLs(stream, geometry, reduce, probe, why);
    case FrameCodec::Jpeg2000: return ProbeJpeg2000(stream, geometry, reduce, probe, why);
    case FrameCodec::Rle: return ProbeRle(stream, geometry, reduce, probe, why);
    case FrameCodec::HtJpeg2000: return ProbeHtJpeg2000(stream, geometry, reduce, probe, why);
    case FrameCodec::JpegXl: return ProbeJpegXl(stream, geometry, reduce, probe, why);
    }
    return Fail(why, DecodeFailure::NoCompressedData);
}

bool Decode(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out,
            Reason* why) {
    switch (codec) {
    case FrameCodec::Jpeg: return DecodeJpeg(stream, job, out, why);
    case FrameCodec::JpegLs: return DecodeJpegLs(stream, job, out, why);
    case FrameCodec::Jpeg2000: return DecodeJpeg2000(stream, job, out, why);
    case FrameCodec::Rle: return DecodeRle(stream, job, out, why);
    case FrameCodec::HtJpeg2000: return DecodeHtJpeg2000(stream, job, out, why);
    case FrameCodec::JpegXl: return DecodeJpegXl(stream, job, out, why);
    }
    return Fail(why, DecodeFailure::NoCompressedData);
}

// The bytes of `columns` x `rows` pixels of the geometry's samples, or 0.
std::size_t OutputSize(const FrameGeometry& geometry, std::uint32_t columns, std::uint32_t rows) {
    if (columns == 0 || rows == 0 || columns > geometry.columns || rows > geometry.rows) {
        return 0;
    }
    FrameGeometry decoded = geometry;
    decoded.columns = static_cast<std::uint16_t>(columns);
    decoded.rows = static_cast<std::uint16_t>(rows);
    return DecodedFrameSize(decoded);
}

int ProbeFrameInModule(const DecodeRequest* request, const std::uint8_t* stream, std::size_t streamSize,
                       const FrameGeometry* geometry, FrameProbe* probe, DecodeFailureRecord* failure) noexcept {
    Reason why;
    bool done = false;
    try {
        if (request == nullptr || geometry == nullptr || stream == nullptr || streamSize == 0 || probe == nullptr) {
            why = DecodeFailure::NoCompressedData;
        } else if (DecodedFrameSize(*geometry) == 0) {
            why = Reason(DecodeFailure::FrameNotDecodable)
                      .Numbers(geometry->rows, geometry->columns, geometry->bitsAllocated);
        } else {
            *probe = FrameProbe{};
            done = Probe(static_cast<FrameCodec>(request->codec), {stream, streamSize}, *geometry, request->reduce,
                         *probe, &why);
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

int DecodeFrameInModule(const DecodeRequest* request, const std::uint8_t* stream, std::size_t streamSize,
                        const FrameGeometry* geometry, const FrameProbe* probe,
                        std::uint8_t* samples,  // NOLINT(readability-non-const-parameter): written through FrameOutput
                        std::size_t samplesSize, std::uint8_t* convertedToRgb, DecodeFailureRecord* failure) noexcept {
    Reason why;
    bool done = false;
    try {
        // The core checks these; the module does not rely on it.
        if (request == nullptr || geometry == nullptr || probe == nullptr || stream == nullptr || streamSize == 0) {
            why = DecodeFailure::NoCompressedData;
        } else if (samples == nullptr || samplesSize == 0 || DecodedFrameSize(*geometry) == 0 ||
                   samplesSize != OutputSize(*geometry, probe->decodedColumns, probe->decodedRows)) {
            why = Reason(DecodeFailure::FrameNotDecodable)
                      .Numbers(geometry->rows, geometry->columns, geometry->bitsAllocated);
        } else {
            FrameOutput out{samples, samplesSize, false};
            const FrameJob job{*geometry, *probe, request->threads, request->memoryBudget};
            done = Decode(static_cast<FrameCodec>(request->codec), {stream, streamSize}, job, out, &why);
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

constexpr DecoderTable kTable{kDecoderTableVersion, sizeof(DecoderTable), &ProbeFrameInModule, &DecodeFrameInModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DecoderTable* dorvanelle_decoder_table() { return &kTable; }
