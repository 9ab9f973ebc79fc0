// Hands arbitrary bytes to the DICOM reader: the capture pass (attributes, palettes,
// functional groups), the listing pass, and the first, second and last frame read and
// drawn under each display state, checking that a frame Check passes gives samples
// and that samples always draw. The same bytes are then read by position, as a file
// is read, and must give the same elements, attributes, images and range.
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
        rows += std::to_string(e.Group()) + ' ' + std::to_string(e.Element()) + ' ' + std::to_string(e.Length()) +
                e.Name() + e.Vr() + e.ValueText() + '\n';
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
    const ImageAttributes& a = *reader.Attributes();
    const ImageAttributes& p = *positioned.Attributes();
    Require(a.rows == p.rows && a.columns == p.columns && a.frames == p.frames &&
            a.pixelData.offset == p.pixelData.offset && a.pixelData.length == p.pixelData.length &&
            a.shared.windows.size() == p.shared.windows.size() && a.photometric == p.photometric &&
            a.palette.has_value() == p.palette.has_value() && a.perFrame.size() == p.perFrame.size());
    const std::shared_ptr<const FrameSource> source = reader.Frames();
    const std::shared_ptr<const FrameSource> positionedSource = positioned.Frames();
    const std::int32_t claimed = source->Attributes().FrameCount();
    for (const std::int32_t frame : {0, 1, claimed - 1}) {
        PackedDibPtr fromMemory = CheckSource(*source, frame);
        PackedDibPtr byPosition = CheckSource(*positionedSource, frame);
        Require(SameImage(fromMemory.get(), byPosition.get()));
    }
    Require(ScanModalityRange(*source).range == ScanModalityRange(*positionedSource).range);

    CDicomFile listing;
    listing.LoadBuffer(data, size);
    CDicomFile listingByPosition;
    listingByPosition.LoadSource(std::make_shared<PositionedSource>(std::vector<std::uint8_t>(data, data + size)));
    Require(Listing(listing) == Listing(listingByPosition));
    return 0;
}
