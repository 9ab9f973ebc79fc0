// Small helpers shared by the reader's tests: a reader loaded from built bytes,
// and the rows of its header listing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dicom/DicomFile.h"
#include "tools/dicomstream/DicomStreamBuilder.h"

struct ListedElement {
    std::uint16_t group;
    std::uint16_t element;
    std::string name;
    std::string vr;
    std::uint32_t length;
    std::string text;
};

inline std::unique_ptr<CDicomFile> LoadedReader(const std::vector<std::uint8_t>& bytes) {
    auto reader = std::make_unique<CDicomFile>();
    reader->Reset();
    reader->LoadBuffer(bytes.data(), bytes.size());
    return reader;
}

// The capture pass as the document runs it.
inline std::unique_ptr<CDicomFile> Captured(const DicomStreamBuilder& b) {
    auto reader = LoadedReader(b.Bytes());
    reader->ParseElements(reader->DetectLayout());
    return reader;
}

inline std::vector<ListedElement> Listed(const std::vector<std::uint8_t>& bytes) {
    auto reader = LoadedReader(bytes);
    std::vector<ListedElement> rows;
    reader->ListElements(reader->DetectLayout(), [&rows](const CDicomFile& e) {
        rows.push_back({e.m_nGroup, e.m_nElement, e.m_pszName, e.m_pszVR, e.m_nLength, e.m_szValueText});
    });
    return rows;
}

inline std::vector<std::uint32_t> ListedTags(const DicomStreamBuilder& b) {
    std::vector<std::uint32_t> tags;
    for (const ListedElement& row : Listed(b.Bytes())) {
        tags.push_back((std::uint32_t{row.group} << 16) | row.element);
    }
    return tags;
}
