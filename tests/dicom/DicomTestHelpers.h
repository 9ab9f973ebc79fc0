// Small helpers shared by the reader's tests: a reader loaded from built bytes,
// frames drawn as the document draws them, and the rows of its header listing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dicom/DicomFile.h"
#include "dicom/FrameRender.h"
#include "dicom/ModalityRange.h"
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
        rows.push_back({e.Group(), e.Element(), e.Name(), e.Vr(), e.Length(), e.ValueText()});
    });
    return rows;
}

// The range of the modality values of every frame of the captured file.
inline ValueRange RangeOf(const CDicomFile& reader) { return ScanModalityRange(*reader.Frames()).range; }

// Frame `frame` drawn as the document draws it: through `state`, a frame without a
// window of its own through the default window of the range of every frame. Null
// when the frame gives no image; NoImage says why.
inline PackedDibPtr Rendered(const CDicomFile& reader, std::int32_t frame = 0, DisplayState state = {}) {
    auto samples = reader.Frames()->Frame(frame);
    if (!samples) {
        return nullptr;
    }
    const ImageAttributes& a = *reader.Attributes();
    const ValueRange range = RangeOf(reader);
    state.fallback = DefaultDisplayWindow(a, frame, &range);
    auto dib = RenderFrame(**samples, a, state);
    return dib ? std::move(dib).Take() : nullptr;
}

inline Reason NoImage(const CDicomFile& reader, std::int32_t frame = 0) {
    auto samples = reader.Frames()->Frame(frame);
    return samples ? Reason() : samples.Why();
}

// The bitmap's rows, bottom row first, padding included.
inline std::vector<std::uint8_t> BitmapBytes(const PackedDib* dib) {
    if (dib == nullptr) {
        return {};
    }
    const std::uint8_t* bits = DibBits(dib);
    return {bits, bits + static_cast<std::size_t>(DibRowStride(dib)) * DibHeight(dib)};
}

inline std::vector<std::uint32_t> ListedTags(const DicomStreamBuilder& b) {
    std::vector<std::uint32_t> tags;
    for (const ListedElement& row : Listed(b.Bytes())) {
        tags.push_back((std::uint32_t{row.group} << 16) | row.element);
    }
    return tags;
}
