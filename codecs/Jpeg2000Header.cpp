#include "codecs/Jpeg2000Header.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr std::uint8_t kStart[] = {0xFF, 0x4F, 0xFF, 0x51};  // SOC, then SIZ

std::uint32_t Be16(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }
std::uint32_t Be32(const std::uint8_t* p) { return (Be16(p) << 16) | Be16(p + 2); }

// Reads SIZ, whose segment starts at `siz` (its length field) and holds `length` bytes.
bool ReadSize(const std::uint8_t* siz, std::size_t length, Jpeg2000Header& header) {
    if (length < 41) {
        return false;
    }
    const std::uint32_t capabilities = Be16(siz + 2);
    const std::uint32_t x1 = Be32(siz + 4), y1 = Be32(siz + 8), x0 = Be32(siz + 12), y0 = Be32(siz + 16);
    const std::uint32_t tileWidth = Be32(siz + 20), tileHeight = Be32(siz + 24);
    const std::uint32_t tileX0 = Be32(siz + 28), tileY0 = Be32(siz + 32);
    if (x1 <= x0 || y1 <= y0 || tileWidth == 0 || tileHeight == 0 || tileX0 > x0 || tileY0 > y0) {
        return false;
    }
    header.width = x1 - x0;
    header.height = y1 - y0;
    header.components = static_cast<std::uint16_t>(Be16(siz + 36));
    header.precision = static_cast<std::uint8_t>((siz[38] & 0x7F) + 1);
    header.isSigned = (siz[38] & 0x80) != 0;
    header.tileWidth = tileWidth;
    header.tileHeight = tileHeight;
    header.tiles = ((std::uint64_t{x1} - tileX0 + tileWidth - 1) / tileWidth) *
                   ((std::uint64_t{y1} - tileY0 + tileHeight - 1) / tileHeight);
    header.highThroughput = (capabilities & 0x4000) != 0;
    // Each component: Ssiz, XRsiz, YRsiz.
    for (std::size_t c = 0; c < header.components && 38 + 3 * c + 2 < length; ++c) {
        header.subsampled = header.subsampled || siz[38 + 3 * c + 1] != 1 || siz[38 + 3 * c + 2] != 1;
    }
    return true;
}

// The code-block style of a COD or COC segment (after its levels and the
// code-block sizes) says whether its blocks are High-Throughput coded.
bool StyleIsHighThroughput(const std::uint8_t* segment, std::size_t length, std::size_t levelsAt) {
    constexpr std::uint8_t kHighThroughput = 0x40;
    return levelsAt + 3 < length && (segment[levelsAt + 3] & kHighThroughput) != 0;
}

}  // namespace

bool ReadJpeg2000Header(std::span<const std::uint8_t> stream, Jpeg2000Header& header) {
    header = Jpeg2000Header{};
    const auto start = std::search(stream.begin(), stream.end(), std::begin(kStart), std::end(kStart));
    if (stream.end() - start < 6) {
        return false;
    }
    std::size_t at = static_cast<std::size_t>(start - stream.begin()) + 2;
    const std::uint8_t* p = stream.data();
    bool levelsSeen = false;
    bool sizeSeen = false;
    bool inTile = false;  // between a tile-part's SOT and its SOD
    std::size_t tilePartEnd = 0;
    while (at + 4 <= stream.size() && p[at] == 0xFF) {
        const std::uint8_t marker = p[at + 1];
        if (marker == 0x93 && inTile) {
            // The tile-part's data: skip to the next tile-part, if its length is known.
            if (tilePartEnd <= at) {
                break;
            }
            at = tilePartEnd;
            inTile = false;
            continue;
        }
        const std::size_t length = Be16(p + at + 2);
        if (marker == 0x93 || length < 2 || at + 2 + length > stream.size()) {
            break;  // the end of what can be read
        }
        const std::uint8_t* segment = p + at + 2;
        if (marker == 0x90) {
            // SOT: Lsot, Isot, Psot (the tile-part's bytes from SOT on; 0 to the end).
            if (!sizeSeen || length < 10) {
                break;
            }
            const std::uint32_t bytes = Be32(segment + 4);
            tilePartEnd = bytes == 0 ? 0 : at + bytes;
            inTile = true;
        } else if (marker == 0x51) {
            // A second SIZ is no codestream: a decoder would take the first, a check the last.
            if (sizeSeen || inTile || !ReadSize(segment, length, header)) {
                return false;
            }
            sizeSeen = true;
        } else if (marker == 0x50) {
            header.highThroughput = true;  // CAP
        } else if (marker == 0x52 || marker == 0x53) {
            // COD: Scod, progression, layers (2), transform, then the levels. COC: the
            // component (one byte, two beyond 256 components), Scoc, then the levels.
            // Those of a tile-part apply to its tile only; the style counts anywhere.
            const std::size_t levelsAt = marker == 0x52 ? 7 : (header.components > 256 ? 5 : 4);
            header.highThroughput = header.highThroughput || StyleIsHighThroughput(segment, length, levelsAt);
            if (levelsAt < length && !inTile) {
                const std::uint8_t levels = segment[levelsAt];
                header.decompositionLevels = levelsSeen ? std::min(header.decompositionLevels, levels) : levels;
                levelsSeen = true;
            }
        }
        at += 2 + length;
    }
    return sizeSeen;
}
