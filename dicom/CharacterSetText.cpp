#include "dicom/CharacterSetText.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <vector>

#include "dicom/Windows1252.h"

namespace {

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool ValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t c = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            c = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (next & 0x3Fu);
        }
        if ((extra == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF))) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

bool Ascii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\x1B') {
            return false;
        }
    }
    return true;
}

// What the program shows for bytes of no known character set.
std::string Undeclared(std::string_view bytes) {
    if (ValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        AppendUtf8(out, Windows1252CodePoint(static_cast<std::uint8_t>(c)));
    }
    return out;
}

struct IconvCloser {
    explicit IconvCloser(iconv_t converter) : handle(converter) {}
    ~IconvCloser() { iconv_close(handle); }
    iconv_t handle;
    IconvCloser(const IconvCloser&) = delete;
    IconvCloser& operator=(const IconvCloser&) = delete;
};

// `bytes` converted from the system converter's `encoding` into UTF-8, appended to
// `out`; false when the converter does not know the encoding or the bytes are not
// in it.
bool Convert(const char* encoding, std::string_view bytes, std::string& out) {
    const iconv_t handle = iconv_open("UTF-8", encoding);
    if (reinterpret_cast<std::intptr_t>(handle) == -1) {  // iconv_open fails with (iconv_t)-1
        return false;
    }
    const IconvCloser closer(handle);
    std::vector<char> input(bytes.begin(), bytes.end());
    char* in = input.data();
    std::size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* to = buffer;
        std::size_t toLeft = sizeof buffer;
        const std::size_t done = iconv(handle, &in, &inLeft, &to, &toLeft);
        out.append(buffer, static_cast<std::size_t>(to - buffer));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            return false;
        }
    }
    return true;
}

// The system converter's name for a single-byte or multi-byte set named by one
// value of Specific Character Set without code extensions.
const char* SingleSetEncoding(std::string_view term) {
    struct Known {
        std::string_view term;
        const char* encoding;
    };
    static constexpr Known kSets[] = {
        {"ISO_IR 101", "ISO-8859-2"}, {"ISO_IR 109", "ISO-8859-3"}, {"ISO_IR 110", "ISO-8859-4"},
        {"ISO_IR 144", "ISO-8859-5"}, {"ISO_IR 127", "ISO-8859-6"}, {"ISO_IR 126", "ISO-8859-7"},
        {"ISO_IR 138", "ISO-8859-8"}, {"ISO_IR 148", "ISO-8859-9"}, {"ISO_IR 203", "ISO-8859-15"},
        {"ISO_IR 166", "TIS-620"},    {"GB18030", "GB18030"},       {"GBK", "GBK"},
    };
    for (const Known& known : kSets) {
        if (known.term == term) {
            return known.encoding;
        }
    }
    return nullptr;
}

// The ISO 8859 set that an escape sequence "ESC - F" or a code extension term puts
// in G1, by its final byte.
const char* UpperHalfByFinal(char final) {
    switch (final) {
    case 'A': return "ISO-8859-1";
    case 'B': return "ISO-8859-2";
    case 'C': return "ISO-8859-3";
    case 'D': return "ISO-8859-4";
    case 'L': return "ISO-8859-5";
    case 'G': return "ISO-8859-6";
    case 'F': return "ISO-8859-7";
    case 'H': return "ISO-8859-8";
    case 'M': return "ISO-8859-9";
    case 'b': return "ISO-8859-15";
    case 'T': return "TIS-620";
    default: return nullptr;
    }
}

std::vector<std::string_view> Terms(std::string_view value) {
    std::vector<std::string_view> terms;
    for (;;) {
        const std::size_t slash = value.find('\\');
        std::string_view term = value.substr(0, slash);
        while (!term.empty() && (term.front() == ' ' || term.front() == '\0')) {
            term.remove_prefix(1);
        }
        while (!term.empty() && (term.back() == ' ' || term.back() == '\0')) {
            term.remove_suffix(1);
        }
        terms.push_back(term);
        if (slash == std::string_view::npos) {
            return terms;
        }
        value.remove_prefix(slash + 1);
    }
}

// The ISO 2022 decoder: the sets in G0 (bytes below 0x80) and G1 (bytes from 0xA0),
// switched by escape sequences.
class Iso2022Text {
public:
    enum class Low : std::uint8_t { Ascii, Jis0208, Jis0212 };
    enum class High : std::uint8_t { None, Single, Katakana, Ksx1001, Gb2312 };

    explicit Iso2022Text(std::string_view firstTerm) {
        if (firstTerm == "ISO 2022 IR 13") {
            m_initialHigh = High::Katakana;
        } else if (firstTerm == "ISO 2022 IR 149") {
            m_initialHigh = High::Ksx1001;
        } else if (firstTerm == "ISO 2022 IR 58") {
            m_initialHigh = High::Gb2312;
        } else if (firstTerm == "ISO 2022 IR 87") {
            m_initialLow = Low::Jis0208;
        } else if (firstTerm == "ISO 2022 IR 159") {
            m_initialLow = Low::Jis0212;
        } else {
            const char* const ir[][2] = {{"ISO 2022 IR 100", "A"}, {"ISO 2022 IR 101", "B"}, {"ISO 2022 IR 109", "C"},
                                         {"ISO 2022 IR 110", "D"}, {"ISO 2022 IR 144", "L"}, {"ISO 2022 IR 127", "G"},
                                         {"ISO 2022 IR 126", "F"}, {"ISO 2022 IR 138", "H"}, {"ISO 2022 IR 148", "M"},
                                         {"ISO 2022 IR 203", "b"}, {"ISO 2022 IR 166", "T"}};
            for (const auto& entry : ir) {
                if (firstTerm == entry[0]) {
                    m_initialHigh = High::Single;
                    m_initialSingle = UpperHalfByFinal(entry[1][0]);
                }
            }
        }
        Reset();
    }

    std::optional<std::string> Decode(std::string_view bytes) {
        std::string out;
        for (std::size_t i = 0; i < bytes.size();) {
            const auto b = static_cast<std::uint8_t>(bytes[i]);
            if (b == 0x1B) {
                const std::size_t used = Escape(bytes.substr(i + 1));
                if (used == 0 || !Flush(out)) {
                    return std::nullopt;
                }
                i += 1 + used;
                continue;
            }
            if (b < 0x80) {
                if (m_low == Low::Ascii || b < 0x21 || b == 0x7F) {
                    if (!Flush(out)) {
                        return std::nullopt;
                    }
                    out += static_cast<char>(b);
                    if (b == '^' || b == '=' || b == '\\' || b == '\r' || b == '\n' || b == '\t' || b == '\f') {
                        Reset();
                    }
                    ++i;
                    continue;
                }
                // Two 7-bit bytes of JIS X 0208 or 0212: as EUC-JP writes them.
                if (i + 1 >= bytes.size()) {
                    return std::nullopt;
                }
                if (!Pending("EUC-JP", out)) {
                    return std::nullopt;
                }
                if (m_low == Low::Jis0212) {
                    m_pending += '\x8F';
                }
                m_pending += static_cast<char>(b | 0x80);
                m_pending += static_cast<char>(static_cast<std::uint8_t>(bytes[i + 1]) | 0x80);
                i += 2;
                continue;
            }
            switch (m_high) {
            case High::None: return std::nullopt;
            case High::Katakana:
                if (b < 0xA1 || b > 0xDF || !Flush(out)) {
                    return std::nullopt;
                }
                AppendUtf8(out, 0xFF61u + (b - 0xA1u));
                ++i;
                break;
            case High::Single:
                if (!Pending(m_single, out)) {
                    return std::nullopt;
                }
                m_pending += static_cast<char>(b);
                ++i;
                break;
            case High::Ksx1001:
            case High::Gb2312:
                if (i + 1 >= bytes.size() || !Pending(m_high == High::Ksx1001 ? "EUC-KR" : "GB2312", out)) {
                    return std::nullopt;
                }
                m_pending.append(bytes.substr(i, 2));
                i += 2;
                break;
            }
        }
        if (!Flush(out)) {
            return std::nullopt;
        }
        return out;
    }

private:
    void Reset() {
        m_low = m_initialLow;
        m_high = m_initialHigh;
        m_single = m_initialSingle;
    }

    // The bytes of one escape sequence after the ESC; 0 for one no set answers to.
    std::size_t Escape(std::string_view rest) {
        const auto starts = [&](std::string_view s) { return rest.substr(0, s.size()) == s; };
        if (starts("(B") || starts("(J")) {
            m_low = Low::Ascii;
            return 2;
        }
        if (starts("$B") || starts("$@")) {
            m_low = Low::Jis0208;
            return 2;
        }
        if (starts("$(D")) {
            m_low = Low::Jis0212;
            return 3;
        }
        if (starts(")I")) {
            m_high = High::Katakana;
            return 2;
        }
        if (starts("$)C")) {
            m_high = High::Ksx1001;
            return 3;
        }
        if (starts("$)A")) {
            m_high = High::Gb2312;
            return 3;
        }
        if (rest.size() >= 2 && rest[0] == '-') {
            if (const char* set = UpperHalfByFinal(rest[1])) {
                m_high = High::Single;
                m_single = set;
                return 2;
            }
        }
        return 0;
    }

    // Starts or continues a run of bytes for the converter of `encoding`.
    bool Pending(const char* encoding, std::string& out) {
        if (m_pendingEncoding != nullptr && std::string_view(m_pendingEncoding) != encoding && !Flush(out)) {
            return false;
        }
        m_pendingEncoding = encoding;
        return true;
    }

    bool Flush(std::string& out) {
        if (m_pending.empty()) {
            m_pendingEncoding = nullptr;
            return true;
        }
        const bool converted = Convert(m_pendingEncoding, m_pending, out);
        m_pending.clear();
        m_pendingEncoding = nullptr;
        return converted;
    }

    Low m_initialLow = Low::Ascii;
    High m_initialHigh = High::None;
    const char* m_initialSingle = nullptr;
    Low m_low = Low::Ascii;
    High m_high = High::None;
    const char* m_single = nullptr;
    std::string m_pending;
    const char* m_pendingEncoding = nullptr;
};

}  // namespace

std::string TextInUtf8(std::string_view bytes, std::string_view specificCharacterSet) {
    if (Ascii(bytes)) {
        return std::string(bytes);
    }
    const std::vector<std::string_view> terms = Terms(specificCharacterSet);
    bool extensions = false;
    for (const std::string_view term : terms) {
        extensions = extensions || term.substr(0, 8) == "ISO 2022";
    }
    if (extensions) {
        if (std::optional<std::string> text = Iso2022Text(terms.front()).Decode(bytes)) {
            return *std::move(text);
        }
        return Undeclared(bytes);
    }
    const std::string_view term = terms.front();
    if (term == "ISO_IR 100") {
        std::string out;
        out.reserve(bytes.size() * 2);
        for (const char c : bytes) {
            AppendUtf8(out, Windows1252CodePoint(static_cast<std::uint8_t>(c)));
        }
        return out;
    }
    if (term == "ISO_IR 13") {
        std::string out;
        for (const char c : bytes) {
            const auto b = static_cast<std::uint8_t>(c);
            if (b >= 0x80 && (b < 0xA1 || b > 0xDF)) {
                return Undeclared(bytes);
            }
            AppendUtf8(out, b < 0x80 ? b : 0xFF61u + (b - 0xA1u));
        }
        return out;
    }
    if (const char* encoding = SingleSetEncoding(term)) {
        std::string out;
        if (Convert(encoding, bytes, out)) {
            return out;
        }
    }
    return Undeclared(bytes);
}
