// PCX pictures (.pcx), read only: one plane of 8-bit values, run-length encoded,
// shown through a grey colour table (the picture's own palette is not used).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/PackedDib.h"
#include "io/Reason.h"

enum class PcxFailure {
    FileTooShort,    // shorter than the 128-byte header
    TooLarge,        // First x Second: the width (bytes per line) and height
    DataTooShort,    // far too few bytes for the size the header announces
    DataRunsOut,     // First: the line (from the top) in which the run-length data ends
    TooLargeToShow,  // First x Second: the width (bytes per line) and height
    OutOfMemory,
};
std::string ReasonText(PcxFailure code, const Reason& reason);
const char* ReasonSummary(PcxFailure code);
const char* ReasonName(PcxFailure code);

// Reads the header, then the run-length bytes a chunk at a time only until the
// picture is complete: a file of any length costs the picture and one chunk. Only an
// ordinary file is read. Null on any failure, with the reason in `why` when it is
// given (a FileReadFailure or a PcxFailure).
PackedDibPtr ReadPcxFile(const std::string& path, Reason* why = nullptr);
PackedDibPtr ReadPcxBytes(const std::uint8_t* bytes, std::size_t size, Reason* why = nullptr);

// Decodes the run-length bytes `in` into exactly `outSize` bytes of `out`. Never reads
// past `inSize` or writes past `outSize`; false, with the rest of `out` 0, when the
// input ends first.
bool DecodePcxRle(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outSize);
