// The header listing of a DICOM file: one row per element in file order, each with
// six columns (group, element, tag name, VR, length, value). The header details
// dialog and `dorvanelle-cli dump` both show these rows and cells, so a file reads
// the same in either.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "dicom/DicomFile.h"
#include "io/Reason.h"

struct HeaderRow {
    // The columns, in the order they are shown.
    enum Column { Group, Element, TagName, VR, VL, Value, ColumnCount };

    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::string name;  // dictionary name, Windows-1252; empty when unknown
    std::string vr;    // dictionary VR; empty when unknown
    std::uint32_t length = 0;
    std::string value;  // the value text, Windows-1252

    // The text of one cell, in Windows-1252 bytes: "0x%04X" for group and element,
    // the length as a signed decimal (an undefined length is already 0), the texts
    // as they are. Empty for a column out of range.
    std::string Cell(int column) const;
    // The heading of one column: "Group", "Element", "Tag Name", "VR", "VL", "Value".
    static const char* Heading(int column);
};

// The row of the element the reader stands on (during a listing pass).
HeaderRow HeaderRowOf(const CDicomFile& reader);

// The listing of one file.
struct HeaderListing {
    bool readable = false;  // false: the file could not be read and nothing was walked
    Reason failure;         // why it could not be read (the open's own reason)
    std::vector<HeaderRow> rows;
    // Why the listing stops before the end of the file (the rest is not read as
    // DICOM, or the file changed since it was opened), in plain words; empty when it
    // lists the file to its end.
    std::string note;
    bool cancelled = false;  // the walk was stopped: the rows are the first ones only
};

// Reads `path` into a reader of its own and walks it with the listing pass.
// `cancel`, when given, is looked at between elements.
HeaderListing ReadHeaderListing(const std::string& path, const std::atomic<bool>* cancel = nullptr);
// Walks the bytes another reader has open (a document's) with the listing pass,
// through a reader of its own: nothing is opened or inflated again, so a deflated data
// set costs no second inflation, and the listing shows the file as that reader read it.
HeaderListing ListSharedBytes(const CDicomFile::SharedBytes& bytes, const std::atomic<bool>* cancel = nullptr);
