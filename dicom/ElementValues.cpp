#include "dicom/ElementValues.h"

#include "dicom/InstanceHeader.h"

std::string ValueText(std::span<const std::uint8_t> value) {
    std::size_t begin = 0;
    std::size_t end = value.size();
    const auto blank = [](std::uint8_t c) { return c == ' ' || c == '\0'; };
    while (end > begin && blank(value[end - 1])) {
        --end;
    }
    while (begin < end && blank(value[begin])) {
        ++begin;
    }
    return std::string(reinterpret_cast<const char*>(value.data()) + begin, end - begin);
}

std::optional<std::int32_t> ValueInteger(std::span<const std::uint8_t> value) {
    const auto numbers = ValueNumbers<std::int32_t, 1>(value);
    return numbers ? std::optional<std::int32_t>((*numbers)[0]) : std::nullopt;
}

bool CaptureSeriesKey(std::uint32_t tag, std::span<const std::uint8_t> value, SeriesLevel& level) {
    const std::span<const std::uint8_t> v = value;
    SeriesLevel& s = level;
    switch (tag) {
    case 0x00080005: s.specificCharacterSet = ValueText(v); return true;
    case 0x00080020: s.studyDate = ValueText(v); return true;
    case 0x00080030: s.studyTime = ValueText(v); return true;
    case 0x00080050: s.accessionNumber = ValueText(v); return true;
    case 0x00080060: s.modality = ValueText(v); return true;
    case 0x00081030: s.studyDescription = ValueText(v); return true;
    case 0x0008103E: s.seriesDescription = ValueText(v); return true;
    case 0x00100010: s.patientName = ValueText(v); return true;
    case 0x00100020: s.patientId = ValueText(v); return true;
    case 0x00100030: s.patientBirthDate = ValueText(v); return true;
    case 0x00100040: s.patientSex = ValueText(v); return true;
    case 0x0020000D: s.studyUid = ValueText(v); return true;
    case 0x0020000E: s.seriesUid = ValueText(v); return true;
    case 0x00200010: s.studyId = ValueText(v); return true;
    case 0x00200011: s.seriesNumber = ValueInteger(v); return true;
    default: return false;
    }
}
