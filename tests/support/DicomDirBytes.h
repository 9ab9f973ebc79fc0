// DICOMDIR files for tests: directory records laid out one after the other in an
// explicit VR little-endian Directory Record Sequence, each linked to its next
// sibling and first child by byte offsets, as dcmmkdir writes them. Offsets can be
// overridden to make loops and offsets that point nowhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct DirRecordSpec {
    DirRecordSpec(std::string type_, int parent_, std::string fileId_,
                  std::vector<std::pair<std::uint32_t, std::string>> keys_)
        : type(std::move(type_)), parent(parent_), fileId(std::move(fileId_)), keys(std::move(keys_)) {}

    std::string type;  // "PATIENT", "STUDY", "SERIES", "IMAGE"...
    int parent = -1;   // index of the record above, -1 at the root
    std::string fileId;  // "" for none; components separated by "\"
    // Other elements of the record, in tag order, as explicit VR texts.
    std::vector<std::pair<std::uint32_t, std::string>> keys;
    std::optional<std::uint32_t> next;   // overrides the offset of the next record
    std::optional<std::uint32_t> lower;  // overrides the offset of the first child
};

// The DICOMDIR's bytes; `root`, when given, overrides the offset of the first root record.
std::vector<std::uint8_t> DicomDirBytes(const std::vector<DirRecordSpec>& records,
                                        std::optional<std::uint32_t> root = std::nullopt);
// Where record `index` starts in DicomDirBytes(records).
std::uint32_t DicomDirRecordOffset(const std::vector<DirRecordSpec>& records, std::size_t index);
