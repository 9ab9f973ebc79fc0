// Run-length compressed bitmaps (8 bits per pixel with compression 1, 4 bits with
// compression 2), decoded into the ordinary uncompressed rows the program knows.
#pragma once

#include <cstdint>

#include "image/PackedDib.h"

inline constexpr std::uint32_t kRle8 = 1;
inline constexpr std::uint32_t kRle4 = 2;

// A new block with the same header (compression 0, image size set) and colour table
// as `block`, and the rows its compressed data describe, stored in the order the
// commands give them. Pixels no command reaches are 0. Null, with the reason, when
// a run, an absolute run or a delta passes the edge of the bitmap, when the data ends
// inside a command, or when the bitmap is far larger than its data could describe.
// `width` and `height` are the header's (height without its sign), `bitCount` 4 or 8.
PackedDibPtr DecodeBmpRle(const PackedDib& block, std::uint16_t width, std::uint16_t height, std::uint16_t bitCount,
                          Reason* why);
