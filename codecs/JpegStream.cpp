#include "codecs/JpegStream.h"

namespace {

bool IsFrameMarker(std::uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// Markers that stand alone, without a length: TEM, RST0..7, SOI, EOI.
bool IsStandalone(std::uint8_t m) { return m == 0x01 || (m >= 0xD0 && m <= 0xD9); }

bool IsRestart(std::uint8_t m) { return m >= 0xD0 && m <= 0xD7; }

}  // namespace

bool ReadJpegFrameHeader(std::span<const std::uint8_t> stream, JpegFrameHeader& header) {
    const std::size_t size = stream.size();
    const std::uint8_t* p = stream.data();
    if (size < 4 || p[0] != 0xFF || p[1] != 0xD8) {
        return false;
    }
    std::size_t at = 2;
    while (at + 1 < size) {
        if (p[at] != 0xFF) {
            return false;
        }
        const std::uint8_t marker = p[at + 1];
        if (marker == 0xFF) {
            ++at;  // fill byte
            continue;
        }
        at += 2;
        if (IsStandalone(marker)) {
            if (marker == 0xD9) {
                return false;
            }
            continue;
        }
        if (at + 2 > size) {
            return false;
        }
        const std::size_t length = std::size_t{p[at]} << 8 | p[at + 1];
        if (length < 2 || at + length > size) {
            return false;
        }
        if (IsFrameMarker(marker)) {
            if (length < 8) {
                return false;
            }
            header.marker = marker;
            header.precision = p[at + 2];
            header.rows = static_cast<std::uint16_t>(p[at + 3] << 8 | p[at + 4]);
            header.columns = static_cast<std::uint16_t>(p[at + 5] << 8 | p[at + 6]);
            header.components = p[at + 7];
            return true;
        }
        if (marker == 0xDA) {
            return false;  // a scan before any frame header
        }
        at += length;
    }
    return false;
}

std::vector<JpegLsScan> ReadJpegLsScans(std::span<const std::uint8_t> stream, std::size_t limit) {
    std::vector<JpegLsScan> scans;
    const std::size_t size = stream.size();
    const std::uint8_t* p = stream.data();
    if (size < 2 || p[0] != 0xFF || p[1] != 0xD8) {
        return scans;
    }
    std::size_t at = 2;
    while (scans.size() < limit && at + 1 < size && p[at] == 0xFF) {
        const std::uint8_t marker = p[at + 1];
        if (marker == 0xFF) {
            ++at;  // fill byte
            continue;
        }
        at += 2;
        if (marker == 0xD9) {
            break;
        }
        if (IsStandalone(marker)) {
            continue;
        }
        if (at + 2 > size) {
            break;
        }
        const std::size_t length = std::size_t{p[at]} << 8 | p[at + 1];
        if (length < 2 || at + length > size) {
            break;
        }
        if (marker == 0xDA) {
            // Length, Ns, Ns pairs of component and mapping table, NEAR, ILV, point transform.
            const std::size_t components = length > 2 ? p[at + 2] : 0;
            const std::size_t interleaveAt = 4 + 2 * components;
            if (interleaveAt >= length) {
                break;
            }
            scans.push_back({static_cast<std::uint8_t>(components), p[at + interleaveAt]});
            at += length;
            while (at + 1 < size && !(p[at] == 0xFF && p[at + 1] >= 0x80 && !IsRestart(p[at + 1]))) {
                ++at;
            }
            continue;
        }
        at += length;
    }
    return scans;
}
