// Compressed streams that claim far more than they hold, made as an attacker
// would make them: a few hundred kilobytes whose headers claim frames of a
// gigabyte and more. Each header is valid, so that only a budget known before
// decoding stops a decoder from allocating what the header claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A JPEG 2000 codestream of width x height with `components` components of `bits`
// bits, cut into 1024 x 1024 tiles of which only the first few are present and
// empty, padded with comments to `size` bytes.
std::vector<std::uint8_t> HugeJpeg2000Codestream(std::uint32_t width, std::uint32_t height, std::uint16_t components,
                                                 std::uint8_t bits, std::size_t size);

// A progressive JPEG (SOF2) of width x height, grey, 8 bits, with one scan of a
// few bytes, padded with comments to `size` bytes.
std::vector<std::uint8_t> HugeProgressiveJpeg(std::uint16_t width, std::uint16_t height, std::size_t size);
