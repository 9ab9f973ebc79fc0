#include "tools/dicomstream/DicomStreamBuilder.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

bool IsLongFormVr(std::string_view vr) {
    return vr == "OB" || vr == "OW" || vr == "OF" || vr == "OD" || vr == "SQ" || vr == "UN" || vr == "UT";
}

std::vector<std::uint8_t> PaddedText(std::string_view vr, std::string_view text) {
    std::vector<std::uint8_t> value(text.begin(), text.end());
    if (value.size() % 2 != 0) {
        value.push_back(vr == "UI" ? 0 : ' ');
    }
    return value;
}

std::vector<std::uint8_t> Le16(std::uint16_t v, bool big = false) {
    if (big) return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
}

std::vector<std::uint8_t> Le32(std::uint32_t v, bool big = false) {
    if (big) {
        return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    }
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

}  // namespace

std::vector<std::uint8_t> SampleBytes(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(samples.size() * 2);
    for (std::int16_t s : samples) {
        const auto u = static_cast<std::uint16_t>(s);
        bytes.push_back(static_cast<std::uint8_t>(u));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return bytes;
}

DicomStreamBuilder& DicomStreamBuilder::Preamble(std::uint8_t fill) {
    m_bytes.insert(m_bytes.end(), 128, fill);
    return Raw(std::string_view("DICM"));
}

DicomStreamBuilder& DicomStreamBuilder::MetaGroup(std::string_view transferSyntax, std::string_view sopClass,
                                                  std::string_view sopInstance) {
    DicomStreamBuilder group;
    group.Explicit(0x0002, 0x0001, "OB", {0x00, 0x01})
        .ExplicitText(0x0002, 0x0002, "UI", sopClass)
        .ExplicitText(0x0002, 0x0003, "UI", sopInstance)
        .ExplicitText(0x0002, 0x0010, "UI", transferSyntax)
        .ExplicitText(0x0002, 0x0012, "UI", "2.25.2718281828459045235360287471352662497.0.1")
        .ExplicitText(0x0002, 0x0013, "SH", "DORVANELLE_GEN");
    ExplicitUL(0x0002, 0x0000, static_cast<std::uint32_t>(group.Size()));
    return Raw(group.Bytes());
}

void DicomStreamBuilder::Tag(std::uint16_t group, std::uint16_t element) {
    U16(group);
    U16(element);
}

DicomStreamBuilder& DicomStreamBuilder::ExplicitHeader(std::uint16_t group, std::uint16_t element, std::string_view vr,
                                                       std::uint32_t length) {
    if (vr.size() != 2) {
        throw std::invalid_argument("a VR has two characters");
    }
    Tag(group, element);
    Raw(vr);
    if (IsLongFormVr(vr)) {
        U16(0);
        return U32(length);
    }
    if (length > 0xFFFF) {
        throw std::invalid_argument("a short-form value holds at most 65535 bytes");
    }
    return U16(static_cast<std::uint16_t>(length));
}

DicomStreamBuilder& DicomStreamBuilder::Explicit(std::uint16_t group, std::uint16_t element, std::string_view vr,
                                                 const std::vector<std::uint8_t>& value) {
    ExplicitHeader(group, element, vr, static_cast<std::uint32_t>(value.size()));
    return Raw(value);
}

DicomStreamBuilder& DicomStreamBuilder::ExplicitText(std::uint16_t group, std::uint16_t element, std::string_view vr,
                                                     std::string_view text) {
    return Explicit(group, element, vr, PaddedText(vr, text));
}

DicomStreamBuilder& DicomStreamBuilder::ExplicitUS(std::uint16_t group, std::uint16_t element, std::uint16_t value) {
    return Explicit(group, element, "US", Le16(value, m_big));
}

DicomStreamBuilder& DicomStreamBuilder::ExplicitUL(std::uint16_t group, std::uint16_t element, std::uint32_t value) {
    return Explicit(group, element, "UL", Le32(value, m_big));
}

DicomStreamBuilder& DicomStreamBuilder::ImplicitHeader(std::uint16_t group, std::uint16_t element,
                                                       std::uint32_t length) {
    Tag(group, element);
    return U32(length);
}

DicomStreamBuilder& DicomStreamBuilder::Implicit(std::uint16_t group, std::uint16_t element,
                                                 const std::vector<std::uint8_t>& value) {
    ImplicitHeader(group, element, static_cast<std::uint32_t>(value.size()));
    return Raw(value);
}

DicomStreamBuilder& DicomStreamBuilder::ImplicitText(std::uint16_t group, std::uint16_t element,
                                                     std::string_view text) {
    return Implicit(group, element, PaddedText("", text));
}

DicomStreamBuilder& DicomStreamBuilder::ImplicitUS(std::uint16_t group, std::uint16_t element, std::uint16_t value) {
    return Implicit(group, element, Le16(value, m_big));
}

DicomStreamBuilder& DicomStreamBuilder::ImplicitUL(std::uint16_t group, std::uint16_t element, std::uint32_t value) {
    return Implicit(group, element, Le32(value, m_big));
}

DicomStreamBuilder& DicomStreamBuilder::BeginSequence(std::uint16_t group, std::uint16_t element, bool explicitVr) {
    return explicitVr ? ExplicitHeader(group, element, "SQ", 0xFFFFFFFF) : ImplicitHeader(group, element, 0xFFFFFFFF);
}

DicomStreamBuilder& DicomStreamBuilder::BeginItem() { return ImplicitHeader(0xFFFE, 0xE000, 0xFFFFFFFF); }

DicomStreamBuilder& DicomStreamBuilder::EndItem() { return ImplicitHeader(0xFFFE, 0xE00D, 0); }

DicomStreamBuilder& DicomStreamBuilder::EndSequence() { return ImplicitHeader(0xFFFE, 0xE0DD, 0); }

DicomStreamBuilder& DicomStreamBuilder::DefinedSequence(std::uint16_t group, std::uint16_t element,
                                                        const DicomStreamBuilder& items, bool explicitVr) {
    return explicitVr ? Explicit(group, element, "SQ", items.Bytes()) : Implicit(group, element, items.Bytes());
}

DicomStreamBuilder& DicomStreamBuilder::Item(const DicomStreamBuilder& content) {
    return Implicit(0xFFFE, 0xE000, content.Bytes());
}

DicomStreamBuilder& DicomStreamBuilder::ImageAttributes(std::uint16_t rows, std::uint16_t columns,
                                                        std::uint16_t bitsAllocated, std::uint16_t samplesPerPixel,
                                                        std::string_view photometric) {
    return ExplicitUS(0x0028, 0x0002, samplesPerPixel)
        .ExplicitText(0x0028, 0x0004, "CS", photometric)
        .ExplicitUS(0x0028, 0x0010, rows)
        .ExplicitUS(0x0028, 0x0011, columns)
        .ExplicitUS(0x0028, 0x0100, bitsAllocated);
}

DicomStreamBuilder& DicomStreamBuilder::PixelData16(const std::vector<std::int16_t>& samples, bool explicitVr) {
    return explicitVr ? Explicit(0x7FE0, 0x0010, "OW", SampleBytes(samples))
                      : Implicit(0x7FE0, 0x0010, SampleBytes(samples));
}

DicomStreamBuilder& DicomStreamBuilder::EncapsulatedFrames(const std::vector<std::vector<std::uint8_t>>& frames) {
    ExplicitHeader(0x7FE0, 0x0010, "OB", 0xFFFFFFFFu).U16(0xFFFE).U16(0xE000).U32(0);
    for (const std::vector<std::uint8_t>& frame : frames) {
        const std::size_t padded = frame.size() + frame.size() % 2;
        U16(0xFFFE).U16(0xE000).U32(static_cast<std::uint32_t>(padded)).Raw(frame);
        if (padded != frame.size()) {
            Raw(std::vector<std::uint8_t>{0});
        }
    }
    return U16(0xFFFE).U16(0xE0DD).U32(0);
}

DicomStreamBuilder& DicomStreamBuilder::PixelData8(const std::vector<std::uint8_t>& bytes, bool explicitVr) {
    return explicitVr ? Explicit(0x7FE0, 0x0010, "OB", bytes) : Implicit(0x7FE0, 0x0010, bytes);
}

DicomStreamBuilder& DicomStreamBuilder::Raw(const std::vector<std::uint8_t>& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

DicomStreamBuilder& DicomStreamBuilder::Raw(std::string_view text) {
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    return *this;
}

DicomStreamBuilder& DicomStreamBuilder::U16(std::uint16_t value) { return Raw(Le16(value, m_big)); }

DicomStreamBuilder& DicomStreamBuilder::U32(std::uint32_t value) { return Raw(Le32(value, m_big)); }

DicomStreamBuilder& DicomStreamBuilder::BigEndian(bool on) {
    m_big = on;
    return *this;
}

bool DicomStreamBuilder::WriteTo(const std::string& path) const {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) {
        return false;
    }
    const bool written =
        m_bytes.empty() || std::fwrite(m_bytes.data(), 1, m_bytes.size(), file.get()) == m_bytes.size();
    return std::fclose(file.release()) == 0 && written;
}
