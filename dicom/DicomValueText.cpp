// The value of the current element as one line of text for the header listing,
// rendered by the dictionary's VR.
#include <cstdio>
#include <cstring>

#include "dicom/DicomFile.h"
#include "dicom/DicomFileImpl.h"
#include "io/ByteOrder.h"

namespace {

constexpr char kNoText[] = "===============";

enum class ValueKind { None, Unsigned16, Signed16, Int32, Float32, Float64, Sequence, Text };

ValueKind KindOf(const char* vr) {
    struct Rule {
        const char* vr;
        ValueKind kind;
    };
    static const Rule kRules[] = {
        {"US", ValueKind::Unsigned16}, {"AT", ValueKind::Unsigned16}, {"UL", ValueKind::Int32},
        {"SL", ValueKind::Int32},      {"SS", ValueKind::Signed16},   {"FL", ValueKind::Float32},
        {"FD", ValueKind::Float64},    {"OB", ValueKind::Sequence},   {"OW", ValueKind::Sequence},
        {"SQ", ValueKind::Sequence},   {"AE", ValueKind::Text},       {"AS", ValueKind::Text},
        {"CS", ValueKind::Text},       {"DA", ValueKind::Text},       {"DS", ValueKind::Text},
        {"DT", ValueKind::Text},       {"IS", ValueKind::Text},       {"LO", ValueKind::Text},
        {"LT", ValueKind::Text},       {"PN", ValueKind::Text},       {"SH", ValueKind::Text},
        {"ST", ValueKind::Text},       {"TM", ValueKind::Text},       {"UI", ValueKind::Text},
        {"UT", ValueKind::Text},
    };
    for (const Rule& rule : kRules) {
        if (std::strcmp(vr, rule.vr) == 0) {
            return rule.kind;
        }
    }
    return ValueKind::None;  // RET, UN and tags the dictionary does not know
}

// Bytes a numeric kind reads; a shorter value keeps the "no text" mark.
std::uint32_t NumberSize(ValueKind kind) {
    switch (kind) {
    case ValueKind::Unsigned16:
    case ValueKind::Signed16: return 2;
    case ValueKind::Int32:
    case ValueKind::Float32: return 4;
    case ValueKind::Float64: return 8;
    default: return 0;
    }
}

}  // namespace

void CDicomFile::FormatValue() {
    char* out = m_szValueText;
    const std::size_t room = sizeof m_szValueText;
    std::snprintf(out, room, "%s", kNoText);
    const ValueKind kind = KindOf(m_pszVR);
    if (kind == ValueKind::None) {
        return;
    }
    if (kind == ValueKind::Sequence) {
        std::snprintf(out, room, "Sequence Data");
        return;
    }
    // Only the bytes shown are read: a number's own, or as much text as fits.
    const std::uint32_t shown = kind == ValueKind::Text ? static_cast<std::uint32_t>(room - 1) : NumberSize(kind);
    const std::uint8_t* value = CurrentValue(shown);
    if (value == nullptr || m_nLength < NumberSize(kind)) {
        return;
    }
    // A big-endian data set shows the same text as a little-endian one.
    const bool big = m_impl->bigEndian;
    switch (kind) {
    case ValueKind::Unsigned16: std::snprintf(out, room, "%d", int{Read16(value, big)}); break;
    case ValueKind::Signed16: std::snprintf(out, room, "%d", int{static_cast<std::int16_t>(Read16(value, big))}); break;
    case ValueKind::Int32:
        std::snprintf(out, room, "%d", static_cast<int>(static_cast<std::int32_t>(Read32(value, big))));
        break;
    case ValueKind::Float32: {
        float f;
        const std::uint32_t bits = Read32(value, big);
        std::memcpy(&f, &bits, sizeof f);
        std::snprintf(out, room, "%f", static_cast<double>(f));
        break;
    }
    case ValueKind::Float64: {
        double d;
        const std::uint64_t bits = big ? (std::uint64_t{ReadBE32(value)} << 32) | ReadBE32(value + 4)
                                       : ReadLE32(value) | (std::uint64_t{ReadLE32(value + 4)} << 32);
        std::memcpy(&d, &bits, sizeof d);
        std::snprintf(out, room, "%f", d);
        break;
    }
    case ValueKind::Text: {
        // Up to the first zero byte or the end of the value, cut to fit the text.
        std::size_t n = 0;
        while (n < m_nLength && n < shown && value[n] != 0) {
            out[n] = static_cast<char>(value[n]);
            ++n;
        }
        out[n] = '\0';
        break;
    }
    default: break;
    }
}
