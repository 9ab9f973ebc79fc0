// Numbers in byte buffers. Bitmap and PCX files, and nearly every DICOM file, are
// little-endian; DICOM's explicit VR big-endian data sets are the exception.
// Reading byte by byte keeps the code independent of the host's order and of
// alignment.
#pragma once

#include <cstdint>

inline std::uint16_t ReadLE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t ReadLE32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

inline void WriteLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void WriteLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::uint16_t ReadBE16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

inline std::uint32_t ReadBE32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

// Either order, as a data set's transfer syntax says.
inline std::uint16_t Read16(const std::uint8_t* p, bool bigEndian) { return bigEndian ? ReadBE16(p) : ReadLE16(p); }

inline std::uint32_t Read32(const std::uint8_t* p, bool bigEndian) { return bigEndian ? ReadBE32(p) : ReadLE32(p); }
