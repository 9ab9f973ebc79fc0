#include "dicom/SecondaryCapture.h"

#include <array>
#include <cstdint>
#include <random>
#include <span>

#include "dicom/DicomWriter.h"
#include "io/ByteOrder.h"

namespace {

// The longest Derivation Description a file may hold (an ST value).
constexpr std::size_t kLongestDerivation = 1024;

// One implicit-VR element. Texts are padded with a blank and UIDs with a zero byte to
// an even length; every length stays below 0x100, or at the derivation's 1024, so its
// two low bytes never read as an explicit VR code.
void AppendElement(std::string& out, std::uint16_t group, std::uint16_t element, std::string value, char pad = ' ') {
    if (value.size() % 2 != 0) value.push_back(pad);
    std::uint8_t header[8];
    WriteLE16(header, group);
    WriteLE16(header + 2, element);
    WriteLE32(header + 4, static_cast<std::uint32_t>(value.size()));
    out.append(reinterpret_cast<const char*>(header), sizeof header);
    out.append(value);
}

void AppendUid(std::string& out, std::uint16_t group, std::uint16_t element, const std::string& uid) {
    AppendElement(out, group, element, uid, '\0');
}

// The decimal digits of a 128-bit number held as four 32-bit words, most significant
// first, by long division by ten.
std::string Decimal(std::array<std::uint32_t, 4> words) {
    std::string digits;
    auto isZero = [&words] { return words[0] == 0 && words[1] == 0 && words[2] == 0 && words[3] == 0; };
    do {
        std::uint64_t remainder = 0;
        for (std::uint32_t& word : words) {
            const std::uint64_t value = (remainder << 32) | word;
            word = static_cast<std::uint32_t>(value / 10);
            remainder = value % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
    } while (!isZero());
    return digits;
}

}  // namespace

std::string NewUid() {
    std::random_device device;
    std::array<std::uint32_t, 4> words{};
    for (std::uint32_t& word : words)
        word = device();
    return "2.25." + Decimal(words);
}

SecondaryCaptureIdentity IdentityFrom(const SeriesLevel& source, std::string derivation) {
    SecondaryCaptureIdentity identity;
    identity.source = source;
    identity.studyUid = source.studyUid.empty() ? NewUid() : source.studyUid;
    identity.seriesUid = NewUid();
    identity.instanceUid = NewUid();
    if (derivation.size() > kLongestDerivation) derivation.resize(kLongestDerivation);
    identity.derivation = std::move(derivation);
    return identity;
}

void EncodeSecondaryCaptureIdentity(const SecondaryCaptureIdentity& identity, std::string& out) {
    const SeriesLevel& s = identity.source;
    if (!s.specificCharacterSet.empty()) AppendElement(out, 0x0008, 0x0005, s.specificCharacterSet);
    AppendElement(out, 0x0008, 0x0008, "DERIVED\\SECONDARY");  // Image Type
    AppendUid(out, 0x0008, 0x0016, kSecondaryCaptureClassUid);
    AppendUid(out, 0x0008, 0x0018, identity.instanceUid);
    AppendElement(out, 0x0008, 0x0020, s.studyDate);
    AppendElement(out, 0x0008, 0x0030, s.studyTime);
    AppendElement(out, 0x0008, 0x0050, s.accessionNumber);
    AppendElement(out, 0x0008, 0x0060, "OT");   // Modality: other, as for any capture
    AppendElement(out, 0x0008, 0x0064, "WSD");  // Conversion Type: workstation
    AppendElement(out, 0x0008, 0x1030, s.studyDescription);
    AppendElement(out, 0x0008, 0x2111, identity.derivation);
    AppendElement(out, 0x0010, 0x0010, s.patientName);
    AppendElement(out, 0x0010, 0x0020, s.patientId);
    AppendElement(out, 0x0010, 0x0030, s.patientBirthDate);
    AppendElement(out, 0x0010, 0x0040, s.patientSex);
    AppendUid(out, 0x0020, 0x000D, identity.studyUid);
    AppendUid(out, 0x0020, 0x000E, identity.seriesUid);
    AppendElement(out, 0x0020, 0x0010, s.studyId);
    AppendElement(out, 0x0020, 0x0011, "");   // Series Number: none given
    AppendElement(out, 0x0020, 0x0013, "1");  // Instance Number
}

WriteOutcome WriteSecondaryCaptureFile(const PackedDib* dib, const SecondaryCaptureIdentity& identity,
                                       const std::string& path, Placement placement) {
    std::string bytes;
    EncodeSecondaryCaptureIdentity(identity, bytes);
    Reason why;
    if (!EncodeDicomStream(dib, bytes, &why)) return WriteOutcome::Failed(why);
    const std::span<const std::uint8_t> pieces[] = {
        {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}};
    return WriteFileAtomically(path, pieces, placement);
}
