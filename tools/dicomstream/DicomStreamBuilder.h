// Builds DICOM byte streams for tests, benchmarks and the study generator:
// elements in the implicit or explicit VR little-endian forms, with or without the
// 128-byte preamble, the DICM prefix and a file meta group, sequences and items of
// defined or undefined length, and arbitrary raw bytes for malformed input.
//
//   DicomStreamBuilder b;
//   b.Preamble().MetaGroup().ExplicitUS(0x0028, 0x0010, 512).ImplicitText(0x0028, 0x1050, "40");
//   std::vector<std::uint8_t> bytes = b.Bytes();
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kExplicitVrLittleEndian = "1.2.840.10008.1.2.1";
inline constexpr const char* kImplicitVrLittleEndian = "1.2.840.10008.1.2";
inline constexpr const char* kCtImageStorage = "1.2.840.10008.5.1.4.1.1.2";

class DicomStreamBuilder {
public:
    // 128 bytes of `fill` followed by "DICM".
    DicomStreamBuilder& Preamble(std::uint8_t fill = 0);
    // The file meta group in explicit VR, (0002,0000) holding its length.
    DicomStreamBuilder& MetaGroup(std::string_view transferSyntax = kExplicitVrLittleEndian,
                                  std::string_view sopClass = kCtImageStorage,
                                  std::string_view sopInstance = "2.25.2718281828459045235360287471352662497.1.1");

    // Explicit VR: OB, OW, OF, OD, SQ, UN and UT take the 12-byte long form, every other
    // VR the 8-byte short form (whose length must fit 16 bits).
    DicomStreamBuilder& Explicit(std::uint16_t group, std::uint16_t element, std::string_view vr,
                                 const std::vector<std::uint8_t>& value);
    // Text padded to an even length: UI with a zero byte, other VRs with a blank.
    DicomStreamBuilder& ExplicitText(std::uint16_t group, std::uint16_t element, std::string_view vr,
                                     std::string_view text);
    DicomStreamBuilder& ExplicitUS(std::uint16_t group, std::uint16_t element, std::uint16_t value);
    DicomStreamBuilder& ExplicitUL(std::uint16_t group, std::uint16_t element, std::uint32_t value);
    // Only the header, with any length (0xFFFFFFFF for undefined); the value follows
    // through later calls or is missing on purpose.
    DicomStreamBuilder& ExplicitHeader(std::uint16_t group, std::uint16_t element, std::string_view vr,
                                       std::uint32_t length);

    // Implicit VR: tag and 32-bit length, then the value as it is.
    DicomStreamBuilder& Implicit(std::uint16_t group, std::uint16_t element, const std::vector<std::uint8_t>& value);
    DicomStreamBuilder& ImplicitText(std::uint16_t group, std::uint16_t element, std::string_view text);
    DicomStreamBuilder& ImplicitUS(std::uint16_t group, std::uint16_t element, std::uint16_t value);
    DicomStreamBuilder& ImplicitUL(std::uint16_t group, std::uint16_t element, std::uint32_t value);
    DicomStreamBuilder& ImplicitHeader(std::uint16_t group, std::uint16_t element, std::uint32_t length);

    // Sequences of undefined length: the SQ header (explicit or implicit form), then
    // items opened and closed by the caller, then the sequence delimiter.
    DicomStreamBuilder& BeginSequence(std::uint16_t group, std::uint16_t element, bool explicitVr = true);
    DicomStreamBuilder& BeginItem();    // (FFFE,E000) of undefined length
    DicomStreamBuilder& EndItem();      // (FFFE,E00D)
    DicomStreamBuilder& EndSequence();  // (FFFE,E0DD)
    // A sequence of defined length holding `items` (already built, e.g. with Item()).
    DicomStreamBuilder& DefinedSequence(std::uint16_t group, std::uint16_t element, const DicomStreamBuilder& items,
                                        bool explicitVr = true);
    // An item of defined length holding the elements of `content`.
    DicomStreamBuilder& Item(const DicomStreamBuilder& content);

    // The image attributes most tests need, in explicit VR.
    DicomStreamBuilder& ImageAttributes(std::uint16_t rows, std::uint16_t columns, std::uint16_t bitsAllocated,
                                        std::uint16_t samplesPerPixel = 1,
                                        std::string_view photometric = "MONOCHROME2");
    // (7FE0,0010) OW with the samples little-endian, or OB with bytes.
    DicomStreamBuilder& PixelData16(const std::vector<std::int16_t>& samples, bool explicitVr = true);
    DicomStreamBuilder& PixelData8(const std::vector<std::uint8_t>& bytes, bool explicitVr = true);
    // Encapsulated (7FE0,0010) OB of undefined length: an empty offset table, then
    // each frame's compressed stream as one fragment, padded to an even length.
    DicomStreamBuilder& EncapsulatedFrames(const std::vector<std::vector<std::uint8_t>>& frames);

    // From here on tags, lengths and US/UL numbers are written big-endian (the data
    // set of Explicit VR Big Endian; the meta group stays little-endian). Values
    // given as bytes are written as they are.
    DicomStreamBuilder& BigEndian(bool on = true);

    DicomStreamBuilder& Raw(const std::vector<std::uint8_t>& bytes);
    DicomStreamBuilder& Raw(std::string_view text);
    DicomStreamBuilder& U16(std::uint16_t value);
    DicomStreamBuilder& U32(std::uint32_t value);

    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
    std::size_t Size() const { return m_bytes.size(); }
    // Writes the bytes to `path`, replacing the file; false if that fails.
    bool WriteTo(const std::string& path) const;

private:
    void Tag(std::uint16_t group, std::uint16_t element);

    std::vector<std::uint8_t> m_bytes;
    bool m_big = false;
};

// Little-endian bytes of 16-bit samples.
std::vector<std::uint8_t> SampleBytes(const std::vector<std::int16_t>& samples);
