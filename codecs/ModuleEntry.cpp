#include "codecs/ModuleEntry.h"

#include <algorithm>
#include <iterator>
#include <span>

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

}  // namespace

bool NotServedHere(FrameCodec codec, Reason* why) {
    return Fail(why, Reason(DecodeFailure::DecoderNotSetUp).About("frame").Numbers(static_cast<std::int64_t>(codec)));
}

int ProbeInModule(ModuleProbe probe, const DecodeRequest* request, const std::uint8_t* stream,
                  std::size_t streamSize, const FrameGeometry* geometry, FrameProbe* result,
                  DecodeFailureRecord* failure) noexcept {
    Reason why;
    bool done = false;
    try {
        if (request == nullptr || geometry == nullptr || stream == nullptr || streamSize == 0 || result == nullptr) {
            why = DecodeFailure::NoCompressedData;
        } else if (DecodedFrameSize(*geometry) == 0) {
            why = Reason(DecodeFailure::FrameNotDecodable)
                      .Numbers(geometry->rows, geometry->columns, geometry->bitsAllocated);
        } else {
            *result = FrameProbe{};
            done = probe(static_cast<FrameCodec>(request->codec), {stream, streamSize}, *geometry, request->reduce,
                         *result, &why);
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

int DecodeInModule(ModuleDecode decode, const DecodeRequest* request, const std::uint8_t* stream,
                   std::size_t streamSize, const FrameGeometry* geometry, const FrameProbe* probe,
                   std::uint8_t* samples,  // NOLINT(readability-non-const-parameter): the decoder writes it
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
            done = decode(static_cast<FrameCodec>(request->codec), {stream, streamSize}, job, out, &why);
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
