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
    row.group = reader.Group();
    row.element = reader.Element();
    row.name = reader.Name() != nullptr ? reader.Name() : "";
    row.vr = reader.Vr() != nullptr ? reader.Vr() : "";
    row.length = reader.Length();
    // The text ends at its terminator, or at the end of the field should it have none.
    const char* text = reader.ValueText();
    const void* end = std::memchr(text, 0, CDicomFile::kValueTextSize);
    row.value.assign(text, end ? static_cast<const char*>(end) : text + CDicomFile::kValueTextSize);
    return row;
}

namespace {

// The listing pass over what `reader` has loaded.
void ListLoaded(CDicomFile& reader, HeaderListing& listing, const std::atomic<bool>* cancel) {
    listing.readable = true;
    reader.ListElements(
        reader.DetectLayout(), [&listing](const CDicomFile& at) { listing.rows.push_back(HeaderRowOf(at)); }, cancel);
    listing.cancelled = cancel != nullptr && cancel->load();
    listing.note = reader.WalkStop().Text();
}

}  // namespace

HeaderListing ReadHeaderListing(const std::string& path, const std::atomic<bool>* cancel) {
    HeaderListing listing;
    if (path.empty()) {
        return listing;
    }
    // A reader of our own: the file as it is on disk now.
    CDicomFile reader;
    if (reader.LoadFile(path) != 0) {
        listing.failure = reader.LoadFailure();
        return listing;
    }
    ListLoaded(reader, listing, cancel);
    return listing;
}

HeaderListing ListSharedBytes(const CDicomFile::SharedBytes& bytes, const std::atomic<bool>* cancel) {
    HeaderListing listing;
    CDicomFile reader;
    if (bytes.source == nullptr || reader.LoadShared(bytes) != 0) {
        listing.failure = reader.LoadFailure();
        return listing;
    }
    ListLoaded(reader, listing, cancel);
    // The file that was opened is read, not the one there now: a change since ends
    // the walk where it was found, and is said.
    if (listing.note.empty() && !bytes.source->Unchanged()) {
        listing.note = Reason(FileReadFailure::ChangedOnDisk).About(bytes.path).Text();
    }
    return listing;
}
