// The main header of a JPEG 2000 codestream (or of the codestream inside a JP2 or
// JPH file), read by walking its marker segments, and the headers of its
// tile-parts: the image and tile sizes, the components, the decomposition levels,
// which tell the reduced resolutions a decoder can give, and whether any block is
// High-Throughput coded. Nothing is allocated.
#pragma once

#include <cstdint>
#include <span>

struct Jpeg2000Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t components = 0;
    std::uint8_t precision = 0;  // bits of the first component
    bool isSigned = false;       // the first component's samples are signed
    bool subsampled = false;     // a component is sampled more sparsely than the image grid
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;
    std::uint64_t tiles = 0;
    // The fewest decomposition levels any component has in the main header (COD and
    // COC); 0 when neither was found before the first tile.
    std::uint8_t decompositionLevels = 0;
    // Some code-blocks may be High-Throughput coded: the capabilities say so (a CAP
    // segment, Rsiz bit 14), or a COD or COC segment of the main header or of a
    // tile-part header sets the style.
    bool highThroughput = false;
};

// Reads the header of `stream`. False when it has no readable SIZ segment or the
// sizes in it are impossible (an empty image, tiles of no size, a tile grid that
// starts after the image).
bool ReadJpeg2000Header(std::span<const std::uint8_t> stream, Jpeg2000Header& header);
