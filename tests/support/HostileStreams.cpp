#include "tests/support/HostileStreams.h"

#include <algorithm>

namespace {

void Be16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void Be32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Be16(out, v >> 16);
    Be16(out, v & 0xFFFF);
}

// Comment segments (marker, length, then filler) until `out` is `size` bytes less
// `reserve`.
void PadWithComments(std::vector<std::uint8_t>& out, std::uint8_t marker, std::size_t size, std::size_t reserve) {
    while (out.size() + reserve + 4 < size) {
        const std::size_t length = std::min<std::size_t>(size - reserve - out.size() - 2, 0xFFFF);
        out.push_back(0xFF);
        out.push_back(marker);
        Be16(out, static_cast<std::uint32_t>(length));
        out.insert(out.end(), length - 2, 'x');
    }
}

}  // namespace

std::vector<std::uint8_t> HugeJpeg2000Codestream(std::uint32_t width, std::uint32_t height, std::uint16_t components,
                                                 std::uint8_t bits, std::size_t size) {
    constexpr std::uint32_t kTile = 1024;
    constexpr std::uint8_t kLevels = 5;
    constexpr std::uint16_t kTilesPresent = 4;
    std::vector<std::uint8_t> out = {0xFF, 0x4F, 0xFF, 0x51};  // SOC, SIZ
    Be16(out, 38 + 3u * components);
    Be16(out, 0);  // capabilities
    for (std::uint32_t v : {width, height, 0u, 0u, kTile, kTile, 0u, 0u}) {
        Be32(out, v);
    }
    Be16(out, components);
    for (std::uint16_t c = 0; c < components; ++c) {
        out.insert(out.end(), {static_cast<std::uint8_t>(bits - 1), 1, 1});
    }
    // COD: layer-resolution order, one layer, the colour transform for three
    // components, 64 x 64 code blocks, the reversible wavelet.
    out.insert(out.end(), {0xFF, 0x52, 0, 12, 0, 0, 0, 1, static_cast<std::uint8_t>(components == 3 ? 1 : 0), kLevels,
                           4, 4, 0, 1});
    // QCD: no quantisation, one exponent per subband.
    out.insert(out.end(), {0xFF, 0x5C, 0, 3 + 3 * kLevels + 1, 0x40});
    for (int band = 0; band < 1 + 3 * kLevels; ++band) {
        out.push_back(static_cast<std::uint8_t>((bits + 2) << 3));
    }
    // Each tile present: SOT, SOD, and one empty packet header a packet.
    const std::size_t packets = std::size_t{kLevels + 1} * components;
    const std::size_t tileBytes = 12 + 2 + packets;
    PadWithComments(out, 0x64, size, kTilesPresent * tileBytes + 2);
    for (std::uint16_t t = 0; t < kTilesPresent; ++t) {
        out.insert(out.end(), {0xFF, 0x90, 0, 10});
        Be16(out, t);
        Be32(out, static_cast<std::uint32_t>(tileBytes));
        out.insert(out.end(), {0, 1, 0xFF, 0x93});
        out.insert(out.end(), packets, 0);
    }
    out.insert(out.end(), {0xFF, 0xD9});  // EOC
    return out;
}

std::vector<std::uint8_t> HugeProgressiveJpeg(std::uint16_t width, std::uint16_t height, std::size_t size) {
    std::vector<std::uint8_t> out = {0xFF, 0xD8};
    // DQT: table 0, all ones.
    out.insert(out.end(), {0xFF, 0xDB, 0, 67, 0});
    out.insert(out.end(), 64, 1);
    PadWithComments(out, 0xFE, size, 2 + 11 + 2 + 2 + 19 + 2 + 14 + 2 + 8);
    // SOF2: 8 bits, the size, one component (id 1, 1 x 1 sampling, table 0).
    out.insert(out.end(), {0xFF, 0xC2, 0, 11, 8});
    Be16(out, height);
    Be16(out, width);
    out.insert(out.end(), {1, 1, 0x11, 0});
    // DHT: DC table 0 with one code of length 1, for category 0.
    out.insert(out.end(), {0xFF, 0xC4, 0, 20, 0x00, 1});
    out.insert(out.end(), 15, 0);
    out.push_back(0);
    // SOS: the first DC scan of component 1.
    out.insert(out.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 0, 0});
    out.insert(out.end(), 8, 0);  // a few blocks' worth of zero differences
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}
