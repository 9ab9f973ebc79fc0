// PCX pictures (.pcx), read only: one plane of 8-bit values, run-length encoded,
// shown through a grey colour table (the picture's own palette is not used).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/PackedDib.h"
#include "io/Reason.h"

enum class PcxFailure {
    FileTooShort,  // shorter than the 128-byte header
    TooLarge,      // First x Second: the width (bytes per line) and height
    DataTooShort,  // far too few bytes for the size the header announces
    OutOfMemory,
};
std::string ReasonText(PcxFailure code, const Reason& reason);

// Null on any failure, with the reason in `why` when it is given (a FileReadFailure
// or a PcxFailure).
PackedDibPtr ReadPcxFile(const std::string& path, Reason* why = nullptr);
PackedDibPtr ReadPcxBytes(const std::uint8_t* bytes, std::size_t size, Reason* why = nullptr);

// Decodes the run-length bytes `in` into exactly `outSize` bytes of `out`; a short
// input leaves the rest 0. Never reads past `inSize` or writes past `outSize`.
void DecodePcxRle(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outSize);

// Builds the 8-bit block from the decoded scan lines (top line first).
PackedDibPtr BuildPcxDib(const std::uint8_t* decoded, std::uint16_t bytesPerLine, std::uint32_t rows,
                         std::uint8_t reservedByte);
