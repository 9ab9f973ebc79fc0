#include "net/FindMatch.h"

#include <cstdio>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcelem.h"
#include "dcmtk/dcmdata/dcitem.h"
#include "dcmtk/dcmdata/dcistrmb.h"
#include "dcmtk/dcmdata/dctag.h"
#include "dcmtk/dcmdata/dcxfer.h"
#include "dicom/CharacterSetText.h"
#include "net/BoundedDataSet.h"

namespace {

// A tag written "gggg,eeee", "(gggg,eeee)" or "ggggeeee".
bool ParseTagText(std::string_view text, std::uint16_t& group, std::uint16_t& element) {
    if (text.size() == 11 && text.front() == '(' && text.back() == ')') text = text.substr(1, 9);
    std::string digits;
    if (text.size() == 9 && text[4] == ',') {
        digits = std::string(text.substr(0, 4)) + std::string(text.substr(5));
    } else if (text.size() == 8) {
        digits = std::string(text);
    } else {
        return false;
    }
    unsigned value = 0;
    for (const char c : digits) {
        const int digit = (c >= '0' && c <= '9')   ? c - '0'
                          : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    group = static_cast<std::uint16_t>(value >> 16);
    element = static_cast<std::uint16_t>(value & 0xFFFF);
    return true;
}

bool IsStringVr(DcmEVR vr) {
    switch (vr) {
    case EVR_AE: case EVR_AS: case EVR_CS: case EVR_DA: case EVR_DS: case EVR_DT: case EVR_IS: case EVR_LO:
    case EVR_LT: case EVR_PN: case EVR_SH: case EVR_ST: case EVR_TM: case EVR_UC: case EVR_UI: case EVR_UR:
    case EVR_UT: case EVR_US: case EVR_SS: case EVR_UL: case EVR_SL: case EVR_FL: case EVR_FD: case EVR_AT:
        return true;
    default: return false;
    }
}

std::string TagName(DcmTag tag) {
    if (!tag.isPrivate()) {
        const char* name = tag.getTagName();
        if (name != nullptr && *name != '\0' && std::string_view(name) != DcmTag_ERROR_TagName) return name;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04X,%04X", tag.getGTag(), tag.getETag());
    return text;
}

}  // namespace

const char* QueryLevelName(QueryLevel level) {
    switch (level) {
    case QueryLevel::Study: return "STUDY";
    case QueryLevel::Series: return "SERIES";
    case QueryLevel::Image: return "IMAGE";
    }
    return "STUDY";
}

std::optional<QueryKey> ParseQueryKey(std::string_view text, std::string& error) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        error = "a query key is KEY=VALUE (PatientName=DOE*), not \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    const std::string_view name = text.substr(0, equals);
    QueryKey key;
    key.value = std::string(text.substr(equals + 1));
    if (!ParseTagText(name, key.group, key.element)) {
        DcmTag tag;
        if (DcmTag::findTagFromName(std::string(name).c_str(), tag).bad()) {
            error = "\"" + std::string(name) + "\" is not an attribute name or a tag (gggg,eeee)";
            return std::nullopt;
        }
        key.group = tag.getGTag();
        key.element = tag.getETag();
    }
    return key;
}

const std::string* FindMatch::Value(std::string_view name) const {
    for (const FoundValue& value : values) {
        if (value.name == name) return &value.text;
    }
    return nullptr;
}

FindMatch ReadFindMatch(DcmItem& identifier) {
    // Texts in other character sets become UTF-8: through DCMTK's converter, or where
    // it cannot open the set (the system's iconv has no ISO 2022 Japanese, which
    // archives send as they stored it) through the program's own decoding.
    OFString characterSet;
    if (identifier.findAndGetOFStringArray(DCM_SpecificCharacterSet, characterSet).bad()) characterSet.clear();
    const bool converted = identifier.convertToUTF8().good();
    FindMatch match;
    const unsigned long count = identifier.card();
    for (unsigned long i = 0; i < count && match.values.size() < kMaxValuesPerMatch; ++i) {
        DcmElement* element = identifier.getElement(i);
        if (element == nullptr) continue;
        const DcmTag tag = element->getTag();
        if (tag.getETag() == 0 || tag == DCM_SpecificCharacterSet || !IsStringVr(element->ident())) continue;
        OFString value;
        if (element->getOFStringArray(value).bad()) value.clear();
        FoundValue found;
        found.name = TagName(tag);
        found.group = tag.getGTag();
        found.element = tag.getETag();
        found.text.assign(value.c_str(), std::min<std::size_t>(value.length(), kMaxValueText));
        if (!converted) found.text = TextInUtf8(found.text, std::string_view(characterSet.c_str(), characterSet.length()));
        match.values.push_back(std::move(found));
    }
    return match;
}

std::optional<FindMatch> ReadFindMatchBytes(std::span<const std::uint8_t> bytes, const std::string& transferSyntaxUid) {
    const DcmXfer syntax(transferSyntaxUid.c_str());
    if (syntax.getXfer() == EXS_Unknown || syntax.isEncapsulated() || syntax.getStreamCompression() != ESC_none) return std::nullopt;
    if (bytes.empty()) return FindMatch{};
    if (!ElementLengthsFit(bytes, syntax.isExplicitVR(), syntax.isBigEndian())) return std::nullopt;
    DcmInputBufferStream stream;
    stream.setBuffer(bytes.data(), static_cast<offile_off_t>(bytes.size()));
    stream.setEos();
    DcmDataset identifier;
    identifier.transferInit();
    const OFCondition condition = identifier.read(stream, syntax.getXfer(), EGL_noChange);
    identifier.transferEnd();
    if (condition.bad()) return std::nullopt;
    return ReadFindMatch(identifier);
}
