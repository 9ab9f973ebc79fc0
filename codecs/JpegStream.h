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
    // Sampling factors of the first four components, and their largest.
    std::uint8_t horizontal[4] = {};  // NOLINT(modernize-avoid-c-arrays): four bytes
    std::uint8_t vertical[4] = {};    // NOLINT(modernize-avoid-c-arrays): four bytes
    std::uint8_t maxHorizontal = 1;
    std::uint8_t maxVertical = 1;
    // Components coded in the first scan; 0 when no scan header follows the frame's.
    std::uint8_t firstScanComponents = 0;

    bool Lossless() const { return marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF; }
    bool Progressive() const { return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE; }
    // What libjpeg-turbo decodes: 8 bits or fewer, any process but lossless.
    bool EightBitLossy() const { return precision <= 8 && !Lossless(); }
    // The decoder keeps every coefficient of the frame until the last scan: a
    // progressive frame, or one whose components come in scans of their own.
    bool HoldsWholeFrame() const { return Progressive() || firstScanComponents < components; }
    // Bytes of those coefficients (two per coefficient, blocks padded to whole MCUs).
    std::uint64_t CoefficientBytes() const;
};

// Walks the segments from the start-of-image marker to the first frame header,
// then on to the first scan header. False when the stream does not start with one
// or ends before a frame header.
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
