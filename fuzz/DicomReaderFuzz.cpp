// Hands arbitrary bytes to the DICOM reader: the capture pass, the listing pass,
// and the first, second and last frame, checking that a frame is refused exactly
// when a reason is given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dicom/DicomFile.h"

namespace {

void CheckFrame(CDicomFile& reader, std::int32_t frame) {
    const bool refused = static_cast<bool>(reader.NoImageReason(frame));
    PackedDibPtr dib = reader.MakeFrameDib(frame);
    if (refused != (dib == nullptr)) {
        std::abort();
    }
    if (dib && !DibIsComplete(dib.get())) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CDicomFile reader;
    reader.Reset();
    if (reader.LoadBuffer(data, size) != 0) {
        return 0;
    }
    reader.ParseElements(reader.DetectLayout());
    const std::int32_t last = reader.m_nFrames > 0 ? reader.m_nFrames - 1 : 0;
    for (const std::int32_t frame : {0, 1, last}) {
        CheckFrame(reader, frame);
    }

    CDicomFile listing;
    listing.LoadBuffer(data, size);
    std::size_t rows = 0;
    listing.ListElements(listing.DetectLayout(), [&rows](const CDicomFile& e) {
        rows += std::strlen(e.m_szValueText) + std::strlen(e.m_pszName) + std::strlen(e.m_pszVR);
    });
    return 0;
}
