#include "dicom/HeaderListing.h"

#include <cstdio>
#include <cstring>

#include "dicom/DicomFile.h"

namespace {

const char* const kHeadings[HeaderRow::ColumnCount] = {"Group", "Element", "Tag Name", "VR", "VL", "Value"};

std::string Hex4(std::uint16_t number) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(number));
    return text;
}

}  // namespace

std::string HeaderRow::Cell(int column) const {
    switch (column) {
    case Group: return Hex4(group);
    case Element: return Hex4(element);
    case TagName: return name;
    case VR: return vr;
    case VL: return std::to_string(static_cast<std::int32_t>(length));
    case Value: return value;
    default: return {};
    }
}

const char* HeaderRow::Heading(int column) { return column >= 0 && column < ColumnCount ? kHeadings[column] : ""; }

HeaderRow HeaderRowOf(const CDicomFile& reader) {
    HeaderRow row;
    row.group = reader.m_nGroup;
    row.element = reader.m_nElement;
    row.name = reader.m_pszName != nullptr ? reader.m_pszName : "";
    row.vr = reader.m_pszVR != nullptr ? reader.m_pszVR : "";
    row.length = reader.m_nLength;
    // The text ends at its terminator, or at the end of the field should it have none.
    const char* text = reader.m_szValueText;
    const void* end = std::memchr(text, 0, sizeof reader.m_szValueText);
    row.value.assign(text, end ? static_cast<const char*>(end) : text + sizeof reader.m_szValueText);
    return row;
}

HeaderListing ReadHeaderListing(const std::string& path) {
    HeaderListing listing;
    if (path.empty()) {
        return listing;
    }
    // A reader of our own: the file as it is on disk now, not as the document read it.
    CDicomFile reader;
    if (reader.LoadFile(path) != 0) {
        return listing;
    }
    listing.readable = true;
    reader.ListElements(reader.DetectLayout(),
                        [&listing](const CDicomFile& at) { listing.rows.push_back(HeaderRowOf(at)); });
    listing.note = reader.WalkStop().Text();
    return listing;
}
