// Hands arbitrary bytes to the DICOM reader: the capture pass, the listing pass,
// and the first, second and last frame, checking that a frame is refused exactly
// when a reason is given. The same bytes are then read by position, as a file is
// read, and must give the same elements, attributes and images.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dicom/DicomFile.h"
#include "dicom/FrameRender.h"
#include "dicom/ModalityRange.h"
#include "tests/support/PositionedSource.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

PackedDibPtr CheckFrame(CDicomFile& reader, std::int32_t frame) {
    const bool refused = static_cast<bool>(reader.NoImageReason(frame));
    PackedDibPtr dib = reader.MakeFrameDib(frame);
    Require(refused == (dib == nullptr));
    Require(!dib || DibIsComplete(dib.get()));
    return dib;
}

bool SameImage(const PackedDib* a, const PackedDib* b) {
    if ((a == nullptr) != (b == nullptr)) {
        return false;
    }
    if (a == nullptr) {
        return true;
    }
    const std::uint64_t size = DibRowStride(a) * DibHeight(a);
    return DibBitCount(a) == DibBitCount(b) && DibWidth(a) == DibWidth(b) && DibHeight(a) == DibHeight(b) &&
           std::memcmp(DibBits(a), DibBits(b), size) == 0;
}

// The frame source and the render function: a frame that Check passes gives samples
// (or, compressed, a decoder's reason), and samples always render, whatever the
// display state, into a complete bitmap of the frame's size.
PackedDibPtr CheckSource(const FrameSource& source, std::int32_t frame) {
    const Reason refused = source.Check(frame);
    auto samples = source.Frame(frame);
    Require(!refused || !samples);
    if (!samples) {
        return nullptr;
    }
    const ImageAttributes& a = source.Attributes();
    Require((*samples)->rows == a.rows && (*samples)->columns == a.columns);
    const ValueRange range = FrameValueRange(**samples, a);
    DisplayState state;
    state.fallback = DefaultDisplayWindow(a, frame, &range);
    for (const bool palette : {false, true}) {
        state.palette = palette;
        auto dib = RenderFrame(**samples, a, state);
        Require(dib && DibIsComplete(dib->get()) && DibHeight(dib->get()) == a.rows);
        if (palette) {
            return std::move(dib).Take();
        }
    }
    return nullptr;
}

std::string Listing(CDicomFile& reader) {
    std::string rows;
    reader.ListElements(reader.DetectLayout(), [&rows](const CDicomFile& e) {
        rows += std::to_string(e.m_nGroup) + ' ' + std::to_string(e.m_nElement) + ' ' + std::to_string(e.m_nLength) +
                e.m_pszName + e.m_pszVR + e.m_szValueText + '\n';
    });
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CDicomFile reader;
    reader.Reset();
    if (reader.LoadBuffer(data, size) != 0) {
        return 0;
    }
    CDicomFile positioned;
    Require(positioned.LoadSource(std::make_shared<PositionedSource>(std::vector<std::uint8_t>(data, data + size))) ==
            0);
    reader.ParseElements(reader.DetectLayout());
    positioned.ParseElements(positioned.DetectLayout());
    Require(reader.m_nRows == positioned.m_nRows && reader.m_nColumns == positioned.m_nColumns &&
            reader.m_nFrames == positioned.m_nFrames && reader.m_nPixelDataOffset == positioned.m_nPixelDataOffset &&
            reader.m_nPixelDataLength == positioned.m_nPixelDataLength &&
            reader.m_nWindowWidth == positioned.m_nWindowWidth &&
            reader.m_nWindowCenter == positioned.m_nWindowCenter &&
            std::memcmp(reader.m_szPhotometric, positioned.m_szPhotometric, sizeof reader.m_szPhotometric) == 0);
    const std::int32_t last = reader.m_nFrames > 0 ? reader.m_nFrames - 1 : 0;
    for (const std::int32_t frame : {0, 1, last}) {
        PackedDibPtr fromMemory = CheckFrame(reader, frame);
        PackedDibPtr byPosition = CheckFrame(positioned, frame);
        Require(SameImage(fromMemory.get(), byPosition.get()));
    }
    const std::shared_ptr<const FrameSource> source = reader.Frames();
    const std::shared_ptr<const FrameSource> positionedSource = positioned.Frames();
    const std::int32_t claimed = source->Attributes().FrameCount();
    for (const std::int32_t frame : {0, 1, claimed - 1}) {
        PackedDibPtr fromMemory = CheckSource(*source, frame);
        PackedDibPtr byPosition = CheckSource(*positionedSource, frame);
        Require(SameImage(fromMemory.get(), byPosition.get()));
    }
    Require(ScanModalityRange(*source).range == ScanModalityRange(*positionedSource).range);
    Require(reader.ResolveSampleRange() && positioned.ResolveSampleRange());
    Require(reader.m_nMinSample == positioned.m_nMinSample && reader.m_nMaxSample == positioned.m_nMaxSample);

    CDicomFile listing;
    listing.LoadBuffer(data, size);
    CDicomFile listingByPosition;
    listingByPosition.LoadSource(std::make_shared<PositionedSource>(std::vector<std::uint8_t>(data, data + size)));
    Require(Listing(listing) == Listing(listingByPosition));
    return 0;
}
