// Which decoder module decodes a frame. Each module wraps one library, so that a
// frame maps only the library its codec needs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/FrameDecoder.h"

struct DecoderTable;

enum class DecoderLibrary : std::uint8_t {
    LibjpegTurbo,  // 8-bit JPEG that is not lossless
    Dcmtk,         // JPEG of 12 and 16 bits and lossless JPEG (DCMTK's IJG copies), RLE
    CharLs,        // JPEG-LS
    OpenJpeg,      // JPEG 2000 and High-Throughput JPEG 2000
    Libjxl,        // JPEG XL
};
inline constexpr std::size_t kDecoderLibraries = 5;

// One table per library, or null where a library's decoders are not at hand.
using DecoderTables = std::array<const DecoderTable*, kDecoderLibraries>;

// The library for a frame of `codec`. A JPEG stream goes to libjpeg-turbo when its
// frame header gives 8 bits or fewer and a process that is not lossless, or when it
// has no frame header to read (that decoder then says so); to DCMTK otherwise.
DecoderLibrary DecoderLibraryFor(FrameCodec codec, std::span<const std::uint8_t> stream);

// The module's file name ("dorvanelle-codecs-openjpeg.so") and its entry symbol.
const char* DecoderModuleFile(DecoderLibrary library);
const char* DecoderModuleEntry(DecoderLibrary library);
