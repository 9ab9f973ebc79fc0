#include "codecs/JpegStream.h"

#include <algorithm>
#include <iterator>

namespace {

bool IsFrameMarker(std::uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// Markers that stand alone, without a length: TEM, RST0..7, SOI, EOI.
bool IsStandalone(std::uint8_t m) { return m == 0x01 || (m >= 0xD0 && m <= 0xD9); }

bool IsRestart(std::uint8_t m) { return m >= 0xD0 && m <= 0xD7; }

}  // namespace

std::uint64_t JpegFrameHeader::CoefficientBytes() const {
    std::uint64_t bytes = 0;
    for (std::size_t c = 0; c < components && c < std::size(horizontal); ++c) {
        const std::uint64_t h = std::max<std::uint8_t>(horizontal[c], 1);
        const std::uint64_t v = std::max<std::uint8_t>(vertical[c], 1);
        const std::uint64_t across = (std::uint64_t{columns} * h + 8u * maxHorizontal - 1) / (8u * maxHorizontal);
        const std::uint64_t down = (std::uint64_t{rows} * v + 8u * maxVertical - 1) / (8u * maxVertical);
        bytes += (across + h - 1) / h * h * ((down + v - 1) / v * v) * 64 * 2;
    }
    // Components beyond the fourth cost as much as the first.
    if (components > std::size(horizontal)) {
        bytes += bytes / std::size(horizontal) * (components - std::size(horizontal));
    }
    return bytes;
}

bool ReadJpegFrameHeader(std::span<const std::uint8_t> stream, JpegFrameHeader& header) {
    header = JpegFrameHeader{};
    bool frameSeen = false;
    const std::size_t size = stream.size();
    const std::uint8_t* p = stream.data();
    if (size < 4 || p[0] != 0xFF || p[1] != 0xD8) {
        return false;
    }
    std::size_t at = 2;
    while (at + 1 < size) {
        if (p[at] != 0xFF) {
            return frameSeen;
        }
        const std::uint8_t marker = p[at + 1];
        if (marker == 0xFF) {
            ++at;  // fill byte
            continue;
        }
        at += 2;
        if (IsStandalone(marker)) {
            if (marker == 0xD9) {
                return frameSeen;
            }
            continue;
        }
        if (at + 2 > size) {
            return frameSeen;
        }
        const std::size_t length = std::size_t{p[at]} << 8 | p[at + 1];
        if (length < 2 || at + length > size) {
            return frameSeen;
        }
        if (IsFrameMarker(marker) && !frameSeen) {
            if (length < 8) {
                return false;
            }
            header.marker = marker;
            header.precision = p[at + 2];
            header.rows = static_cast<std::uint16_t>(p[at + 3] << 8 | p[at + 4]);
            header.columns = static_cast<std::uint16_t>(p[at + 5] << 8 | p[at + 6]);
            header.components = p[at + 7];
            // Component specifications: id, sampling factors (H << 4 | V), table.
            for (std::size_t c = 0; c < std::size(header.horizontal) && 8 + 3 * c + 2 < length; ++c) {
                const std::uint8_t factors = p[at + 8 + 3 * c + 1];
                header.horizontal[c] = static_cast<std::uint8_t>(factors >> 4);
                header.vertical[c] = static_cast<std::uint8_t>(factors & 0x0F);
                header.maxHorizontal = std::max(header.maxHorizontal, header.horizontal[c]);
                header.maxVertical = std::max(header.maxVertical, header.vertical[c]);
            }
            frameSeen = true;
        } else if (marker == 0xDA) {
            // A scan before any frame header is no stream; after one, it ends the walk.
            if (frameSeen && length > 2) {
                header.firstScanComponents = p[at + 2];
            }
            return frameSeen;
        }
        at += length;
    }
    return frameSeen;
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
