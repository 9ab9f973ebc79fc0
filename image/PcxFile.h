// PCX pictures (.pcx), read only: one plane of 8-bit values, run-length encoded,
// shown through a grey colour table (the picture's own palette is not used).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/PackedDib.h"

PackedDibPtr ReadPcxFile(const std::string& path, std::string* why = nullptr);
PackedDibPtr ReadPcxBytes(const std::uint8_t* bytes, std::size_t size, std::string* why = nullptr);

// Decodes the run-length bytes `in` into exactly `outSize` bytes of `out`; a short
// input leaves the rest 0. Never reads past `inSize` or writes past `outSize`.
void DecodePcxRle(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outSize);

// Builds the 8-bit block from the decoded scan lines (top line first).
PackedDibPtr BuildPcxDib(const std::uint8_t* decoded, std::uint16_t bytesPerLine, std::uint32_t rows,
                         std::uint8_t reservedByte);
