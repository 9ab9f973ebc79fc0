// Checks common to every decoder, and the choice of decoder.
#include "codecs/FrameDecoder.h"

#include <exception>

#include "codecs/DecoderParts.h"

namespace {

constexpr std::size_t kFreeBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxRatio = 4096;

}  // namespace

std::size_t DecodedFrameSize(const FrameGeometry& geometry) {
    const std::uint16_t bits = geometry.bitsAllocated;
    if (geometry.rows == 0 || geometry.columns == 0 || geometry.samplesPerPixel == 0 || bits == 0 || bits % 8 != 0 ||
        bits > 32) {
        return 0;
    }
    const std::uint64_t size = std::uint64_t{geometry.rows} * geometry.columns * geometry.samplesPerPixel * (bits / 8u);
    return size >= (std::uint64_t{1} << 32) ? 0 : static_cast<std::size_t>(size);
}

Reason GeometryMismatch(const char* kind, std::uint32_t columns, std::uint32_t rows, std::uint32_t samples,
                        const FrameGeometry& geometry) {
    return Reason(DecodeFailure::GeometryMismatch)
        .About(kind)
        .Numbers(columns, rows, samples, geometry.columns, geometry.rows, geometry.samplesPerPixel);
}

bool DecodeFrame(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                 DecodedFrame& out, Reason* why) {
    out.samples.clear();
    out.convertedToRgb = false;
    const std::size_t size = DecodedFrameSize(geometry);
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
    bool done = false;
    // The libraries report memory exhaustion by throwing; nothing else crosses here.
    try {
        out.samples.assign(size, 0);
        switch (codec) {
        case FrameCodec::Jpeg: done = DecodeJpeg(stream, geometry, out, why); break;
        case FrameCodec::JpegLs: done = DecodeJpegLs(stream, geometry, out, why); break;
        case FrameCodec::Jpeg2000: done = DecodeJpeg2000(stream, geometry, out, why); break;
        case FrameCodec::Rle: done = DecodeRle(stream, geometry, out, why); break;
        }
    } catch (const std::exception&) {
        done = Fail(why, DecodeFailure::OutOfMemory);
    }
    if (!done) {
        out.samples.clear();
        out.samples.shrink_to_fit();
        out.convertedToRgb = false;
    }
    return done;
}
