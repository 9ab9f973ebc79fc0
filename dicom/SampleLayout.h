// Rearrangements that bring decoded or stored samples into the one layout the
// frame conversion reads: samples of a pixel interleaved, little-endian, RGB.
#pragma once

#include <cstddef>
#include <cstdint>

// Reverses the bytes of every sample of `bitsAllocated` bits (16, 32 or 64; other
// sizes are left alone) in `size` bytes: big-endian samples become little-endian.
void SwapSampleBytes(std::uint8_t* data, std::size_t size, std::uint16_t bitsAllocated);

// Sign-extends the 16-bit little-endian samples in `size` bytes whose sign bit is
// `highBit` (0..14): signed data stored in fewer than 16 bits.
void SignExtendSamples(std::uint8_t* data, std::size_t size, int highBit);

// Colour by plane (all first samples, then all second, ...) to colour by pixel.
// `out` holds pixels x samples x bytesPerSample bytes and does not overlap `in`.
void PlanarToInterleaved(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels, std::size_t samples,
                         std::size_t bytesPerSample);

// 8-bit YCbCr (full range) to RGB, in place over `pixels` interleaved triples.
void YbrFullToRgb(std::uint8_t* data, std::size_t pixels);

// 8-bit YCbCr 4:2:2 (Y1 Y2 Cb Cr for each pair of pixels, running on over row
// ends) to RGB triples: `in` holds 2 x pixels bytes (rounded up to whole pairs),
// `out` 3 x pixels.
void Ybr422ToRgb(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels);

// Samples of `bits` bits (1 or 12) packed without gaps, least significant bit first
// (DICOM's packing: 12-bit pairs in three bytes), from bit `skipBits` of the `size`
// bytes at `data`: `count` of them into `out`, one byte each for 1 bit, a
// little-endian 16-bit word each for 12. Bits past `size` read as zero.
void UnpackBits(const std::uint8_t* data, std::size_t size, std::size_t skipBits, std::size_t count, int bits,
                std::uint8_t* out);
