#include "dicom/VrCodes.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 34> kCodes = {
    "AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS", "LO", "LT", "OB", "OW", "PN", "SH", "SL",
    "SQ", "SS", "ST", "TM", "UI", "UL", "UN", "US", "UT", "OD", "OF", "OL", "OV", "SV", "UC", "UR", "UV"};
// OD, OF, OL, OV, SV, UC, UR and UV came later than the rest; without them an element
// of such a VR was read as implicit and the walk lost its way.
constexpr std::array<std::string_view, 13> kLongForm = {"OB", "OW", "SQ", "UN", "UT", "OD", "OF",
                                                        "OL", "OV", "SV", "UC", "UR", "UV"};

char UpperAscii(std::uint8_t c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); }

template <std::size_t N>
bool InList(const std::array<std::string_view, N>& list, std::uint8_t first, std::uint8_t second) {
    const char a = UpperAscii(first);
    const char b = UpperAscii(second);
    for (std::string_view code : list) {
        if (a == code[0] && b == code[1]) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsKnownVrCode(std::uint8_t first, std::uint8_t second) { return InList(kCodes, first, second); }

bool IsLongFormVrCode(std::uint8_t first, std::uint8_t second) { return InList(kLongForm, first, second); }
