// The directory records of a DICOMDIR: the index of a CD, DVD or USB stick written
// as DICOM media. Records form a tree (PATIENT > STUDY > SERIES > IMAGE, and other
// types such as RT STRUCTURE or SR DOCUMENT under a series) linked by byte offsets:
// each record gives the offset of its next sibling and of its first child. The tree
// is walked by those offsets, as the file means it to be, never trusting them: an
// offset outside the file, one reached twice (a loop) or more records than any
// medium holds end the walk with a reason, keeping the records read until then. A
// root offset of 0 (left so by some writers) starts the walk at the first record.
// Records that name a file but that no offset leads to (a wrong root offset, records
// moved without their offsets mended) are read after the walk, in the order the file
// stores them, without a parent.
//
// A record's Referenced File ID names a file relative to the DICOMDIR's folder, one
// component per value. An ID that is absolute or climbs out of that folder is
// refused for its record: FileIdProblem says so, and nothing is to be opened on its
// word.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dicom/InstanceHeader.h"
#include "io/Reason.h"

class ByteSource;

enum class DirectoryRecordKind : std::uint8_t { Patient, Study, Series, Image, Other };

struct DirectoryRecord {
    std::string type;  // (0004,1430) as the file writes it: "PATIENT", "IMAGE", "RT DOSE"...
    DirectoryRecordKind kind = DirectoryRecordKind::Other;
    std::int32_t parent = -1;  // index of the record above it; -1 at the root
    bool inUse = true;         // (0004,1410): 0 marks a record deleted in place
    std::vector<std::string> fileId;  // the Referenced File ID's components; empty when none
    Reason fileIdProblem;             // why the ID is refused (DirectoryFailure::FileIdRefused)
    // The keys the record carries for its level: patient keys in a PATIENT record,
    // study keys in a STUDY record, and so on.
    SeriesLevel keys;
    std::string sopClassUid;     // (0004,1510) Referenced SOP Class UID in File
    std::string sopInstanceUid;  // (0004,1511)
    std::optional<std::int32_t> instanceNumber;
};

enum class DirectoryFailure {
    NotADirectory,    // no Directory Record Sequence, or nothing readable as a DICOMDIR
    RecordOutside,    // First: an offset that points outside the file or not at an item
    RecordLoop,       // First: an offset reached a second time
    TooManyRecords,   // First: the limit
    RecordUnreadable, // First: the offset of a record whose elements cannot be read
    FileIdRefused,    // Subject: the ID as written; absolute, or with ".." or an empty component
};
std::string ReasonText(DirectoryFailure code, const Reason& reason);

struct DicomDirectory {
    std::vector<DirectoryRecord> records;  // depth first: each record before its children
    Reason stop;  // why the walk ended before the last record; empty when it did not
};

inline constexpr std::size_t kMaxDirectoryRecords = 500000;

// Reads the records of the DICOMDIR held by `source`. Records of a walk that
// stopped early are kept; a source that is no DICOMDIR gives no records and
// NotADirectory.
DicomDirectory ReadDicomDirectory(const std::shared_ptr<const ByteSource>& source);

// Whether `name` is "DICOMDIR" in any letter case.
bool IsDicomDirName(const std::string& name);
