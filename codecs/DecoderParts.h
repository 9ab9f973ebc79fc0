// The decoders inside the decoder modules, one module per library. Each has a probe,
// which reads the stream's header and states the memory a decode will take, and a
// decoder. The decoder is given a geometry that DecodeFrame has checked (rows,
// columns and samples non-zero, bits allocated 8, 16 or 32), the probe's findings,
// and an output of the probe's decoded size, zero-filled.
#pragma once

#include <algorithm>

#include "codecs/DecodeFailure.h"
#include "codecs/FrameDecoder.h"

// Where a decoder writes the frame: the caller's buffer, laid out as DecodedFrame's.
struct FrameOutput {
    std::uint8_t* samples = nullptr;
    std::size_t size = 0;
    // The decoder turned YBR colour into RGB.
    bool convertedToRgb = false;
};

// What a decoder is asked to do.
struct FrameJob {
    const FrameGeometry& geometry;
    const FrameProbe& probe;     // reduce, decodedColumns and decodedRows say what to give
    std::uint16_t threads;       // 0: one per core
    std::uint64_t memoryBudget;  // for libraries that can be held to a limit of their own
};

// Each probe fills `probe` from the header for a decode at `reduce` (which it
// lowers to what the codec can give) or gives false and a reason.
bool ProbeJpeg(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
               FrameProbe& probe, Reason* why);
bool ProbeJpegLs(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
                 FrameProbe& probe, Reason* why);
bool ProbeJpeg2000(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
                   FrameProbe& probe, Reason* why);
bool ProbeRle(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
              FrameProbe& probe, Reason* why);
bool ProbeHtJpeg2000(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
                     FrameProbe& probe, Reason* why);
bool ProbeJpegXl(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
                 FrameProbe& probe, Reason* why);

bool DecodeJpegLs(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why);
bool DecodeJpeg2000(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why);
bool DecodeRle(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why);
bool DecodeHtJpeg2000(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why);
bool DecodeJpegXl(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why);

// JPEG in two modules: 8 bits or fewer and not lossless through libjpeg-turbo, the
// rest through DCMTK's IJG copies (codecs/DecoderLibrary.h chooses). Both read the
// stream's frame header and check it against the geometry as the probe does.
bool DecodeJpegTurbo(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why);
bool DecodeJpegDcmtk(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why);
struct JpegFrameHeader;
bool ReadCheckedJpegHeader(std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                           JpegFrameHeader& header, Reason* why);

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

// What the libraries take beyond what is counted: their tables, a few rows, the stack
// of their threads.
inline constexpr std::uint64_t kLibraryBytes = std::uint64_t{4} << 20;

// The size of `full` pixels with `reduce` resolution levels dropped, rounded up.
inline std::uint32_t ReducedSize(std::uint32_t full, std::uint8_t reduce) {
    if (reduce >= 32) {
        return full == 0 ? 0 : 1;
    }
    return static_cast<std::uint32_t>((std::uint64_t{full} + (std::uint64_t{1} << reduce) - 1) >> reduce);
}

// Fills the probe's reduction and decoded size for a codec of `levels` resolution
// levels, and counts the decoded frame in the memory it needs.
inline void SetDecodedSize(FrameProbe& probe, const FrameGeometry& geometry, std::uint8_t reduce, std::uint8_t levels) {
    probe.resolutionLevels = std::max<std::uint8_t>(levels, 1);
    probe.reduce = std::min<std::uint8_t>(reduce, static_cast<std::uint8_t>(probe.resolutionLevels - 1));
    probe.decodedColumns = ReducedSize(probe.columns, probe.reduce);
    probe.decodedRows = ReducedSize(probe.rows, probe.reduce);
    probe.bytesNeeded = std::uint64_t{probe.decodedColumns} * probe.decodedRows * geometry.samplesPerPixel *
                            (geometry.bitsAllocated / 8u) +
                        kLibraryBytes;
}

// Whether the stream's size and samples are those the file describes.
inline bool ProbeFitsGeometry(const char* kind, const FrameProbe& probe, const FrameGeometry& geometry, Reason* why) {
    if (probe.columns != geometry.columns || probe.rows != geometry.rows ||
        probe.components != geometry.samplesPerPixel) {
        return Fail(why, GeometryMismatch(kind, probe.columns, probe.rows, probe.components, geometry));
    }
    return true;
}
