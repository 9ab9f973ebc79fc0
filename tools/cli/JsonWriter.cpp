#include "tools/cli/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "dicom/Windows1252.h"

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view utf8) {
    out += '"';
    for (char c : utf8) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20) {
                char code[8];
                std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(byte));
                out += code;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void AppendWindows1252AsUtf8(std::string& out, std::string_view text) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            AppendUtf8(out, Windows1252CodePoint(byte));
        }
    }
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        if (lead < 0x80) {
            extra = 0;
        } else if ((lead & 0xE0) == 0xC0 && lead >= 0xC2) {
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0 && lead <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        if (text.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are
        // not UTF-8 either: a JSON reader refuses them.
        const auto second = static_cast<unsigned char>(extra > 0 ? text[i + 1] : 0);
        if (lead == 0xE0 && second < 0xA0) return false;
        if (lead == 0xED && second >= 0xA0) return false;
        if (lead == 0xF0 && second < 0x90) return false;
        if (lead == 0xF4 && second >= 0x90) return false;
        i += extra + 1;
    }
    return true;
}

void JsonWriter::NewLine() {
    if (m_oneLine) return;
    m_out += '\n';
    m_out.append(2 * m_levels.size(), ' ');
}

void JsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_levels.empty()) return;
    Level& level = m_levels.back();
    if (!level.empty) m_out += level.isObject && !m_oneLine ? "," : ", ";
    if (level.isObject) NewLine();
    level.empty = false;
}

void JsonWriter::BeginObject() {
    BeforeValue();
    m_out += '{';
    m_levels.push_back({true, true});
}

void JsonWriter::EndObject() {
    bool empty = m_levels.back().empty;
    m_levels.pop_back();
    if (!empty) NewLine();
    m_out += '}';
    if (m_levels.empty()) m_out += '\n';
}

void JsonWriter::BeginArray() {
    BeforeValue();
    m_out += '[';
    m_levels.push_back({false, true});
}

void JsonWriter::EndArray() {
    m_levels.pop_back();
    m_out += ']';
    if (m_levels.empty()) m_out += '\n';
}

void JsonWriter::Key(std::string_view name) {
    BeforeValue();
    AppendJsonString(m_out, name);
    m_out += ": ";
    m_afterKey = true;
}

void JsonWriter::String(std::string_view utf8) {
    BeforeValue();
    AppendJsonString(m_out, utf8);
}

void JsonWriter::Windows1252String(std::string_view text) {
    std::string utf8;
    AppendWindows1252AsUtf8(utf8, text);
    String(utf8);
}

void JsonWriter::BytesString(std::string_view text) {
    if (IsValidUtf8(text)) {
        String(text);
    } else {
        Windows1252String(text);
    }
}

void JsonWriter::Int(std::int64_t value) {
    BeforeValue();
    m_out += std::to_string(value);
}

void JsonWriter::Double(double value) {
    if (!std::isfinite(value)) {
        Null();
        return;
    }
    BeforeValue();
    char text[32];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    m_out.append(text, result.ptr);
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    m_out += value ? "true" : "false";
}

void JsonWriter::Null() {
    BeforeValue();
    m_out += "null";
}
