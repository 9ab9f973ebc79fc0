// Decoders for compressed frames and deflated data sets, built on the field's own
// libraries (DCMTK's JPEG and RLE decoders, CharLS, OpenJPEG, zlib). The reader
// calls nothing else from this folder. Inflation is linked in; the frame decoders
// live in a module that the first compressed frame loads (codecs/DecoderModule.h),
// so that a program reading uncompressed files never maps their libraries.
//
// A decoded frame is laid out as uncompressed pixel data would hold it: rows top
// first, samples of a pixel interleaved, each sample in Bits Allocated / 8 bytes,
// little-endian. Bad input gives false and a reason (codes in codecs/DecodeFailure.h),
// never a crash, an abort or output on the terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "io/Reason.h"

enum class FrameCodec : std::uint8_t {
    Jpeg,      // JPEG baseline, extended and lossless, any precision
    JpegLs,    // JPEG-LS, lossless and near-lossless
    Jpeg2000,  // JPEG 2000 codestream or JP2 file
    Rle,       // the DICOM run-length scheme
};

// What the data set says a frame holds.
struct FrameGeometry {
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
    std::uint16_t samplesPerPixel = 1;
    std::uint16_t bitsAllocated = 8;
    bool isSigned = false;
    // The photometric interpretation names a YBR colour space: a JPEG decoder
    // then turns the colour into RGB, as the stream's encoder intended.
    bool ybr = false;
};

struct DecodedFrame {
    std::vector<std::uint8_t> samples;
    // The decoder turned YBR colour into RGB: the samples are RGB whatever the
    // photometric interpretation says.
    bool convertedToRgb = false;
};

// Bytes a decoded frame of `geometry` holds, or 0 when the geometry cannot be
// decoded (no rows, bits allocated not a multiple of 8, more than 4 GiB).
inline std::size_t DecodedFrameSize(const FrameGeometry& geometry) {
    const std::uint16_t bits = geometry.bitsAllocated;
    if (geometry.rows == 0 || geometry.columns == 0 || geometry.samplesPerPixel == 0 || bits == 0 || bits % 8 != 0 ||
        bits > 32) {
        return 0;
    }
    const std::uint64_t size = std::uint64_t{geometry.rows} * geometry.columns * geometry.samplesPerPixel * (bits / 8u);
    return size >= (std::uint64_t{1} << 32) ? 0 : static_cast<std::size_t>(size);
}

// Decodes one frame's compressed bytes (all its fragments joined). On failure
// `out` is left empty and `why` says what is wrong with the stream, or that the
// decoder module could not be loaded (DecodeFailure::DecodersNotLoaded).
bool DecodeFrame(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                 DecodedFrame& out, Reason* why);

// DecodeFrame with the decoders of `decoders` instead of the loaded module's: for
// programs that link the decoders in (the fuzz target).
struct DecoderTable;
bool DecodeFrameWith(const DecoderTable& decoders, FrameCodec codec, std::span<const std::uint8_t> stream,
                     const FrameGeometry& geometry, DecodedFrame& out, Reason* why);

// Inflates a raw deflate stream (no zlib or gzip wrapper). Refuses, with a reason,
// output larger than `cap` bytes, so that a small file cannot fill the memory.
bool InflateDataSet(std::span<const std::uint8_t> deflated, std::size_t cap, std::vector<std::uint8_t>& out,
                    Reason* why);

// The cap for a deflated data set of `inputSize` bytes: 64 times the input, at
// most 2 GiB.
std::size_t InflateCap(std::size_t inputSize);
