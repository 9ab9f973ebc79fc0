// Values of text and number elements as the header scan and the DICOMDIR reader
// take them: texts without their padding, decimal numbers (DS, IS) parsed strictly,
// and the keys a series shares.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <type_traits>

struct SeriesLevel;

// The value without its padding (blanks and NULs) at either end.
std::string ValueText(std::span<const std::uint8_t> value);

// The first `N` decimal numbers of a backslash-separated value; nothing when one of
// them is missing, malformed or not finite.
template <typename Number, std::size_t N>
std::optional<std::array<Number, N>> ValueNumbers(std::span<const std::uint8_t> value) {
    std::array<Number, N> out{};
    const char* p = reinterpret_cast<const char*>(value.data());
    const char* end = p + value.size();
    const auto skipBlanks = [&] {
        while (p < end && (*p == ' ' || *p == '\0')) {
            ++p;
        }
    };
    for (std::size_t i = 0; i < N; ++i) {
        skipBlanks();
        if (p < end && *p == '+') {
            ++p;
        }
        const std::from_chars_result result = std::from_chars(p, end, out[i]);
        if (result.ec != std::errc()) {
            return std::nullopt;
        }
        if constexpr (std::is_floating_point_v<Number>) {
            if (!std::isfinite(out[i])) {
                return std::nullopt;
            }
        }
        p = result.ptr;
        skipBlanks();
        if (i + 1 < N) {
            if (p >= end || *p != '\\') {
                return std::nullopt;
            }
            ++p;
        }
    }
    return out;
}

std::optional<std::int32_t> ValueInteger(std::span<const std::uint8_t> value);

// Stores the value of `tag` in `level` when it is one of the keys a series shares
// (patient, study and series attributes); false for any other tag.
bool CaptureSeriesKey(std::uint32_t tag, std::span<const std::uint8_t> value, SeriesLevel& level);
