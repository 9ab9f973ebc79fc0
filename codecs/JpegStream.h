// The headers of JPEG and JPEG-LS streams, found by walking their marker segments.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

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

// The layout of one JPEG-LS scan: how many components it codes and how they are
// interleaved (0 none, 1 line, 2 sample).
struct JpegLsScan {
    std::uint8_t components = 0;
    std::uint8_t interleave = 0;
};

// The scan headers of a JPEG-LS stream in stream order, at most `limit` of them.
// Each scan's coded data is skipped up to the next marker (0xFF followed by a byte
// with its high bit set, restart markers excepted). The walk ends quietly at the
// end of the image or at bytes that are not a marker segment, where a decoder
// stops with an error too.
std::vector<JpegLsScan> ReadJpegLsScans(std::span<const std::uint8_t> stream, std::size_t limit);
