// The character set of the header texts the program shows (element values and the
// dictionary's names): Windows-1252, Latin-1 with typographic characters in place of
// most of the controls 0x80..0x9F. The five bytes the code page leaves unassigned
// keep their control code points, as the system's own conversion and web browsers
// decode them.
#pragma once

#include <cstdint>

inline constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  //
};

// The Unicode code point of one Windows-1252 byte.
constexpr char16_t Windows1252CodePoint(std::uint8_t byte) {
    return byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : char16_t{byte};
}
