// The decoders behind DecodeFrame, one per library. Each is given a geometry that
// DecodeFrame has checked (rows, columns and samples non-zero, bits allocated 8, 16
// or 32) and an output vector already sized to DecodedFrameSize.
#pragma once

#include "codecs/DecodeFailure.h"
#include "codecs/FrameDecoder.h"

bool DecodeJpeg(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, DecodedFrame& out, Reason* why);
bool DecodeJpegLs(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, DecodedFrame& out, Reason* why);
bool DecodeJpeg2000(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, DecodedFrame& out,
                    Reason* why);
bool DecodeRle(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, DecodedFrame& out, Reason* why);

// The stream of `kind` holds columns x rows x samples where the file says otherwise.
Reason GeometryMismatch(const char* kind, std::uint32_t columns, std::uint32_t rows, std::uint32_t samples,
                        const FrameGeometry& geometry);

// Stores `reason` in `why` when asked for, and gives false.
inline bool Fail(Reason* why, Reason reason) {
    SetReason(why, std::move(reason));
    return false;
}

// Stores a sample of `bytes` bytes little-endian at `out`.
inline void StoreSample(std::uint8_t* out, std::uint32_t value, std::size_t bytes) {
    for (std::size_t b = 0; b < bytes; ++b) {
        out[b] = static_cast<std::uint8_t>(value >> (8 * b));
    }
}
