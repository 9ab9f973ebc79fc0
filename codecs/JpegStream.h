// The frame header of a JPEG stream, found by walking its marker segments.
#pragma once

#include <cstdint>
#include <span>

struct JpegFrameHeader {
    std::uint8_t marker = 0;     // SOF0..SOF15 (0xC0..0xCF, not DHT, JPG or DAC)
    std::uint8_t precision = 0;  // bits per sample
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
    std::uint8_t components = 0;
};

// Walks the segments from the start-of-image marker to the first frame header.
// False when the stream does not start with one or ends before a frame header.
bool ReadJpegFrameHeader(std::span<const std::uint8_t> stream, JpegFrameHeader& header);
