// What crosses between the core and the decoder modules, one per library
// (dorvanelle-codecs-libjpeg-turbo.so, -dcmtk, -charls, -openjpeg, -libjxl), each
// loaded the first time a frame needs it: a JPEG frame maps libjpeg-turbo alone,
// not DCMTK with ICU and libxml2. Only plain structs and C entry points cross: the
// two sides may be built apart, and no exception or library type passes here. A
// change to any of these structs raises kDecoderTableVersion.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/FrameDecoder.h"

extern "C" {

// Why the module could not decode a frame: a DecodeFailure code and its details.
struct DecodeFailureRecord {
    std::int32_t code;
    std::int64_t numbers[6];  // NOLINT(modernize-avoid-c-arrays): a plain struct across the boundary
    char subject[256];        // NOLINT(modernize-avoid-c-arrays): NUL-terminated, cut to fit
};

// What to decode: a FrameCodec, the reduction and threads of DecodeOptions, and
// the budget the library may be held to on its own.
struct DecodeRequest {
    std::uint8_t codec;
    std::uint8_t reduce;
    std::uint16_t threads;  // 0: one per core
    std::uint64_t memoryBudget;
};

// Reads the header of `stream` into *probe for `request` (which reduction it
// gives, its size, the memory it needs). Gives 1, or 0 and fills *failure.
using ProbeFrameFunction = int (*)(const DecodeRequest* request, const std::uint8_t* stream, std::size_t streamSize,
                                   const FrameGeometry* geometry, FrameProbe* probe, DecodeFailureRecord* failure);

// Decodes `stream` (one frame's fragments joined) into `samples`, which holds the
// probe's decodedColumns x decodedRows pixels of the geometry's samples, at the
// probe's reduction. Gives 1 and sets *convertedToRgb, or 0 and fills *failure.
// Never throws.
using DecodeFrameFunction = int (*)(const DecodeRequest* request, const std::uint8_t* stream, std::size_t streamSize,
                                    const FrameGeometry* geometry, const FrameProbe* probe, std::uint8_t* samples,
                                    std::size_t samplesSize, std::uint8_t* convertedToRgb,
                                    DecodeFailureRecord* failure);

struct DecoderTable {
    std::uint32_t version;  // kDecoderTableVersion of the module's build
    std::uint32_t size;     // sizeof(DecoderTable) in the module's build
    ProbeFrameFunction probeFrame;
    DecodeFrameFunction decodeFrame;
};

// Each module's one exported symbol. They are named apart so that a program may
// link every decoder in (the fuzz target).
using DecoderTableEntry = const DecoderTable* (*)();
const DecoderTable* dorvanelle_decoders_libjpeg_turbo();
const DecoderTable* dorvanelle_decoders_dcmtk();
const DecoderTable* dorvanelle_decoders_charls();
const DecoderTable* dorvanelle_decoders_openjpeg();
const DecoderTable* dorvanelle_decoders_libjxl();

}  // extern "C"

inline constexpr std::uint32_t kDecoderTableVersion = 3;
