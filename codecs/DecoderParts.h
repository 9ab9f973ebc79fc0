// The decoders inside the decoder module, one per library. Each is given a
// geometry that DecodeFrame has checked (rows, columns and samples non-zero, bits
// allocated 8, 16 or 32) and an output of DecodedFrameSize bytes, zero-filled.
#pragma once

#include "codecs/DecodeFailure.h"
#include "codecs/FrameDecoder.h"

// Where a decoder writes the frame: the caller's buffer, laid out as DecodedFrame's.
struct FrameOutput {
    std::uint8_t* samples = nullptr;
    std::size_t size = 0;
    // The decoder turned YBR colour into RGB.
    bool convertedToRgb = false;
};

bool DecodeJpeg(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, FrameOutput& out, Reason* why);
bool DecodeJpegLs(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, FrameOutput& out, Reason* why);
bool DecodeJpeg2000(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, FrameOutput& out, Reason* why);
bool DecodeRle(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, FrameOutput& out, Reason* why);

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
