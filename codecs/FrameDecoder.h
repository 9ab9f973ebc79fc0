// Decoders for compressed frames and deflated data sets, built on the field's own
// libraries (libjpeg-turbo, DCMTK's JPEG and RLE decoders, CharLS, OpenJPEG,
// libjxl, zlib). The reader calls nothing else from this folder. Inflation is
// linked in; the frame decoders live in one module per library, loaded when the
// first frame needs it (codecs/DecoderModule.h), so that a program maps no
// decoder library for uncompressed files and only libjpeg-turbo for 8-bit JPEG.
//
// A decoded frame is laid out as uncompressed pixel data would hold it: rows top
// first, samples of a pixel interleaved, each sample in Bits Allocated / 8 bytes,
// little-endian. Bad input gives false and a reason (codes in codecs/DecodeFailure.h),
// never a crash, an abort or output on the terminal.
//
// Every decode first probes the stream's header for the memory it will take (the
// frame plus the library's own working memory) and refuses, before anything is
// allocated, a frame whose need exceeds the memory budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "io/Reason.h"
#include "io/ZeroedMemory.h"

enum class FrameCodec : std::uint8_t {
    Jpeg,        // JPEG baseline, extended and lossless, any precision
    JpegLs,      // JPEG-LS, lossless and near-lossless
    Jpeg2000,    // JPEG 2000 codestream or JP2 file
    Rle,         // the DICOM run-length scheme
    HtJpeg2000,  // High-Throughput JPEG 2000 codestream or JPH file
    JpegXl,      // JPEG XL codestream or container
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

// How a frame is decoded. The defaults give the full frame on every core within
// the process-wide budget.
struct DecodeOptions {
    // Resolution levels to drop: 0 the full frame, 1 half its width and height
    // (rounded up), 2 a quarter, and so on. A codec decodes at most
    // FrameProbe::resolutionLevels - 1 of them and gives the nearest it can.
    std::uint8_t reduce = 0;
    // Threads the decoder may use; 0 for one per core.
    std::uint16_t threads = 0;
    // Bytes the decode may take, the decoded frame included; 0 for DecodeMemoryBudget().
    std::uint64_t memoryBudget = 0;
};

// What the header of a frame's stream tells before anything is decoded.
struct FrameProbe {
    std::uint32_t columns = 0;  // the full frame's
    std::uint32_t rows = 0;
    std::uint16_t components = 0;
    std::uint8_t precision = 0;  // bits per sample in the stream
    // 1 + the reductions the codec can decode (JPEG 2000: its decomposition levels + 1).
    std::uint8_t resolutionLevels = 1;
    // The reduction the decode will give for the options asked, and its size.
    std::uint8_t reduce = 0;
    std::uint32_t decodedColumns = 0;
    std::uint32_t decodedRows = 0;
    // Peak memory of that decode: the decoded frame plus the library's working memory.
    std::uint64_t bytesNeeded = 0;
};

struct DecodedFrame {
    ZeroedBytes samples;
    // The size decoded: the geometry's, or smaller when a reduction was asked for.
    std::uint32_t columns = 0;
    std::uint32_t rows = 0;
    std::uint8_t reduce = 0;
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

// Decodes one frame's compressed bytes (all its fragments joined), in full, on
// every core, within the process-wide budget. On failure `out` is left empty and
// `why` says what is wrong with the stream, that it needs more memory than the
// budget (DecodeFailure::OverMemoryBudget), or that the decoder module could not be
// loaded (DecodeFailure::DecodersNotLoaded).
bool DecodeFrame(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                 DecodedFrame& out, Reason* why);
// The same with options: a reduced resolution, a thread count, a budget of its own.
bool DecodeFrame(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                 const DecodeOptions& options, DecodedFrame& out, Reason* why);

// Reads the stream's header: its size, its resolution levels and the memory a
// decode with `options` needs. Cheap (no sample is decoded); refuses what
// DecodeFrame would refuse before decoding, the budget included.
bool ProbeFrame(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                const DecodeOptions& options, FrameProbe& probe, Reason* why);

// DecodeFrame and ProbeFrame with the decoders of `decoders` (one table per library,
// in DecoderLibrary's order) instead of the loaded modules': for programs that link
// the decoders in (the fuzz target).
struct DecoderTable;
bool DecodeFrameWith(std::span<const DecoderTable* const> decoders, FrameCodec codec,
                     std::span<const std::uint8_t> stream, const FrameGeometry& geometry, const DecodeOptions& options,
                     DecodedFrame& out, Reason* why);
bool ProbeFrameWith(std::span<const DecoderTable* const> decoders, FrameCodec codec,
                    std::span<const std::uint8_t> stream, const FrameGeometry& geometry, const DecodeOptions& options,
                    FrameProbe& probe, Reason* why);

// The memory a decode may take when its options name none. It starts at a quarter
// of the machine's memory, at most 1 GiB; the command line's --memory-limit and the
// viewer's setting change it. 0 restores the default. Safe from any thread.
std::uint64_t DecodeMemoryBudget();
void SetDecodeMemoryBudget(std::uint64_t bytes);
// The default for a machine of `physicalBytes` (0: unknown, then 1 GiB).
std::uint64_t DefaultDecodeMemoryBudget(std::uint64_t physicalBytes);

// Inflates a raw deflate stream (no zlib or gzip wrapper). Refuses, with a reason,
// output larger than `cap` bytes, so that a small file cannot fill the memory.
bool InflateDataSet(std::span<const std::uint8_t> deflated, std::size_t cap, std::vector<std::uint8_t>& out,
                    Reason* why);

// The cap for a deflated data set of `inputSize` bytes inflated whole: 64 times
// the input, at most 2 GiB.
std::size_t InflateCap(std::size_t inputSize);
// The cap for one read by position (codecs/InflatingSource.h), whose memory does
// not grow with the data set: 256 times the input, which leaves room for frames
// of one value, at most 4 GiB. It bounds the time of the pass that opens it.
std::uint64_t InflateByPositionCap(std::uint64_t inputSize);
