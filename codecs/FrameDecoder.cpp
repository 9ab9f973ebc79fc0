// Checks common to every decoder; the decoding itself is the module's.
#include "codecs/FrameDecoder.h"

#include <algorithm>
#include <exception>
#include <iterator>

#include "codecs/DecodeFailure.h"
#include "codecs/DecoderModule.h"
#include "codecs/DecoderTable.h"

namespace {

constexpr std::size_t kFreeBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxRatio = 4096;

bool Fail(Reason* why, Reason reason) {
    SetReason(why, std::move(reason));
    return false;
}

// The module's record as a reason. Its subject is cut at the first NUL or at the
// end of the array, whichever comes first, so a record without a NUL is still safe.
Reason FromRecord(const DecodeFailureRecord& record) {
    const char* begin = std::begin(record.subject);
    const char* end = std::find(begin, std::end(record.subject), '\0');
    const auto* n = record.numbers;
    return Reason(static_cast<DecodeFailure>(record.code))
        .About(std::string(begin, end))
        .Numbers(n[0], n[1], n[2], n[3], n[4], n[5]);
}

// Refuses what no decoder could decode, before anything is allocated or loaded.
bool Decodable(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::size_t size,
               Reason* why) {
    if (size == 0) {
        return Fail(
            why,
            Reason(DecodeFailure::FrameNotDecodable).Numbers(geometry.rows, geometry.columns, geometry.bitsAllocated));
    }
    if (stream.empty()) {
        return Fail(why, DecodeFailure::NoCompressedData);
    }
    // No codec here packs a frame into a 4096th of its size beyond the first MiB:
    // a few bytes claiming gigabytes are refused before anything is allocated.
    if (size > kFreeBytes && (size - kFreeBytes) / kMaxRatio >= stream.size()) {
        return Fail(why, Reason(DecodeFailure::StreamTooSmall)
                             .Numbers(static_cast<std::int64_t>(stream.size()), static_cast<std::int64_t>(size)));
    }
    // Run-length data can be refused before the frame is allocated: two bytes make
    // the longest run, of 128 bytes.
    if (codec == FrameCodec::Rle && size / 64 > stream.size()) {
        return Fail(why, Reason(DecodeFailure::RleTooShort)
                             .Numbers(static_cast<std::int64_t>(stream.size()), static_cast<std::int64_t>(size)));
    }
    return true;
}

}  // namespace

bool DecodeFrameWith(const DecoderTable& decoders, FrameCodec codec, std::span<const std::uint8_t> stream,
                     const FrameGeometry& geometry, DecodedFrame& out, Reason* why) {
    out.samples.clear();
    out.convertedToRgb = false;
    const std::size_t size = DecodedFrameSize(geometry);
    if (!Decodable(codec, stream, geometry, size, why)) {
        return false;
    }
    try {
        out.samples.assign(size, 0);
    } catch (const std::exception&) {
        return Fail(why, DecodeFailure::OutOfMemory);
    }
    std::uint8_t converted = 0;
    DecodeFailureRecord failure{};
    if (decoders.decodeFrame(static_cast<std::uint8_t>(codec), stream.data(), stream.size(), &geometry,
                             out.samples.data(), out.samples.size(), &converted, &failure) == 0) {
        out.samples.clear();
        out.samples.shrink_to_fit();
        return Fail(why, FromRecord(failure));
    }
    out.convertedToRgb = converted != 0;
    return true;
}

bool DecodeFrame(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                 DecodedFrame& out, Reason* why) {
    out.samples.clear();
    out.convertedToRgb = false;
    // What can be refused without the decoders is refused before they are loaded.
    if (!Decodable(codec, stream, geometry, DecodedFrameSize(geometry), why)) {
        return false;
    }
    const DecoderTable* decoders = LoadedDecoders(why);
    return decoders != nullptr && DecodeFrameWith(*decoders, codec, stream, geometry, out, why);
}
