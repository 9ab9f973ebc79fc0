#include "tests/codecs/CodecTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

bool HaveTool(const std::string& tool) { return RunQuietly("command -v " + tool); }

bool RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::span<const std::uint8_t> PixelDataValue(const std::vector<std::uint8_t>& file, bool* encapsulated) {
    const std::uint8_t tag[] = {0xE0, 0x7F, 0x10, 0x00};
    for (std::size_t at = file.size() >= 12 ? file.size() - 12 : 0; at-- > 0;) {
        if (!std::equal(tag, tag + 4, file.begin() + static_cast<std::ptrdiff_t>(at))) {
            continue;
        }
        const std::uint8_t* p = file.data() + at;
        const std::uint32_t length = p[8] | (p[9] << 8) | (p[10] << 16) | (std::uint32_t{p[11]} << 24);
        *encapsulated = length == 0xFFFFFFFFu;
        const std::size_t start = at + 12;
        if (*encapsulated) {
            return std::span<const std::uint8_t>(file).subspan(start);
        }
        if (length <= file.size() - start) {
            return std::span<const std::uint8_t>(file).subspan(start, length);
        }
        return {};
    }
    return {};
}
