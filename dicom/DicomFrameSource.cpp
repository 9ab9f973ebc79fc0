// Where the frame conversion reads its samples. Grey or RGB samples stored
// little-endian and interleaved are read where they lie in the file, one frame at a
// time; any other pixel data is first brought into that layout, so that one
// conversion path serves every file. Either way only the frame asked for is read:
//   - uncompressed data that is big-endian, planar, YBR, 16-bit colour or signed
//     with fewer than 16 bits stored is read by position and rearranged;
//   - compressed data has its fragments read by position and decoded.
#include <algorithm>
#include <cstring>
#include <new>

#include "dicom/DicomFile.h"
#include "dicom/DicomFileImpl.h"
#include "dicom/EncapsulatedPixelData.h"
#include "dicom/SampleLayout.h"
#include "dicom/TransferSyntax.h"
#include "io/ByteOrder.h"
#include "io/ImageMemoryLimit.h"

namespace {

bool StartsWith(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        const char c = (*text >= 'a' && *text <= 'z') ? static_cast<char>(*text - 'a' + 'A') : *text;
        if (c != *prefix) {
            return false;
        }
    }
    return true;
}

// The photometric text without its padding, for messages.
std::string Photometric(const char* field, std::size_t size) {
    std::string text(field, strnlen(field, size));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

// Bytes one stored frame of colour takes before it is rearranged.
std::uint64_t StoredColourFrameBytes(std::uint64_t pixels, bool ybr422, bool wide) {
    return ybr422 ? (pixels + 1) / 2 * 4 : pixels * 3 * (wide ? 2 : 1);
}

}  // namespace

// How the stored colour must change before the conversion reads it.
struct CDicomFile::ColourPlan {
    bool ybrFull = false;
    bool ybr422 = false;
    bool planar = false;
    bool narrow16 = false;  // 16-bit colour samples reduced to their top 8 stored bits
};

bool CDicomFile::PlanColour(ColourPlan& plan, bool decodedToRgb, Reason& why) const {
    if (m_nSamplesPerPixel == 1 || m_nSamplesPerPixel == 2 || m_nSamplesPerPixel == 0) {
        if (StartsWith(m_szPhotometric, "PALETTE COLOR")) {
            why = DicomNoImage::PaletteColour;
            return false;
        }
        return true;
    }
    if (m_nBitsAllocated != 8 && m_nBitsAllocated != 16 && m_nBitsAllocated != 0) {
        why = Reason(DicomNoImage::ColourBitsAllocated).Numbers(m_nBitsAllocated);
        return false;
    }
    plan.narrow16 = m_nBitsAllocated == 16;
    plan.planar = m_impl->planarConfiguration == 1 && !m_impl->encapsulated;
    const std::string photometric = Photometric(m_szPhotometric, sizeof m_szPhotometric);
    if (decodedToRgb || photometric.empty() || photometric == "RGB" || photometric == "YBR_ICT" ||
        photometric == "YBR_RCT") {
        // A JPEG 2000 decoder undoes the ICT and RCT colour transforms itself.
        return true;
    }
    if (photometric == "YBR_FULL") {
        plan.ybrFull = true;
    } else if (photometric == "YBR_FULL_422" && m_nBitsAllocated != 16) {
        // Decoded JPEG comes out at full resolution; stored data keeps its 4:2:2 sampling.
        (m_impl->encapsulated ? plan.ybrFull : plan.ybr422) = true;
        plan.planar = false;
    } else {
        why = Reason(DicomNoImage::PhotometricNotShown).About(photometric);
        return false;
    }
    return true;
}

bool CDicomFile::SelectSamples(std::int32_t frame) const {
    Impl& d = *m_impl;
    d.sourceReason = Reason();
    d.source = nullptr;
    d.sourceLength = 0;
    d.sourceFirstFrame = 0;
    if (d.dataSetProblem) {
        d.sourceReason = d.dataSetProblem;
        return false;
    }
    ColourPlan plan;
    if (!d.encapsulated) {
        if (!PlanColour(plan, false, d.sourceReason)) {
            return false;
        }
        if (!NeedsRearranging(plan)) {
            return SelectStoredFrame(frame);  // read where the file holds them
        }
        return RearrangeStored(plan, SignExtended(), frame);
    }
    return DecodeStoredFrame(frame);
}

bool CDicomFile::SignExtended() const {
    const std::int16_t highBit = HighBit();
    return m_nSamplesPerPixel < 3 && m_nBitsAllocated == 16 && m_nPixelRepresentation == 1 && highBit >= 0 &&
           highBit < 15;
}

bool CDicomFile::NeedsRearranging(const ColourPlan& plan) const {
    // Byte order means nothing to 8- and 12-bit grey samples.
    const bool swap = m_impl->bigEndianPixels && (m_nSamplesPerPixel == 3 || m_nBitsAllocated == 16);
    return swap || SignExtended() || plan.planar || plan.ybrFull || plan.ybr422 || plan.narrow16;
}

bool CDicomFile::ReadWhereStored() const {
    const Impl& d = *m_impl;
    ColourPlan plan;
    Reason why;
    return !d.dataSetProblem && !d.encapsulated && PlanColour(plan, false, why) && !NeedsRearranging(plan);
}

bool CDicomFile::SelectStoredFrame(std::int32_t frame) const {
    Impl& d = *m_impl;
    if (!HasPixelData()) {
        return true;  // NoImageReason then says there is no pixel data
    }
    const std::uint64_t samples = std::uint64_t{m_nRows} * m_nColumns;
    std::uint64_t bytesPerFrame = samples;
    if (m_nSamplesPerPixel == 3) {
        bytesPerFrame *= 3;
    } else if (m_nBitsAllocated == 16) {
        bytesPerFrame *= 2;
    } else if (m_nBitsAllocated == 12) {
        // Packed 12-bit samples are read from the start whatever the frame: the bytes
        // of one frame, and the whole groups of three that its rows are made from.
        const std::uint64_t needed = std::max<std::uint64_t>((samples * 3 + 1) / 2, (samples + 1) / 2 * 3);
        const std::uint64_t bytes = std::min<std::uint64_t>(m_nPixelDataLength, needed);
        static const std::uint8_t kNothing = 0;
        d.source = bytes == 0 ? &kNothing : PixelBytes(0, bytes);
        // Only what was read: every conversion stays inside it, whatever bits it is asked for.
        d.sourceLength = bytes;
        if (d.source == nullptr) {
            d.sourceReason = ReadFailure(d.lastRead);
            return false;
        }
        return true;
    } else if (m_nBitsAllocated != 8) {
        return true;  // no conversion reads these
    }
    // A frame outside the pixel data reads nothing; FrameInside refuses it.
    static const std::uint8_t kOutside = 0;
    if (frame < 0 || bytesPerFrame == 0 || static_cast<std::uint64_t>(frame) >= m_nPixelDataLength / bytesPerFrame) {
        d.source = &kOutside;
        return true;
    }
    d.source = PixelBytes(static_cast<std::uint64_t>(frame) * bytesPerFrame, bytesPerFrame);
    if (d.source == nullptr) {
        d.sourceReason = ReadFailure(d.lastRead);
        return false;
    }
    d.sourceLength = bytesPerFrame;
    d.sourceFirstFrame = frame;
    return true;
}

bool CDicomFile::ConvertedFrameKept(std::int32_t frame) const {
    Impl& d = *m_impl;
    if (d.convertedGeneration != d.generation || d.convertedFrame != frame || d.convertedPixels != d.pixelSerial) {
        return false;
    }
    // Kept samples are shown only while the file is still the one they came from.
    if (!d.pixelFile->Unchanged()) {
        d.convertedFrame = -1;
        d.sourceReason = ReadFailure(SourceRead::Changed);
        return false;
    }
    d.source = d.converted.data();
    d.sourceLength = d.converted.size();
    d.sourceFirstFrame = frame;
    return true;
}

void CDicomFile::KeepConvertedFrame(std::int32_t frame, std::vector<std::uint8_t> samples) const {
    Impl& d = *m_impl;
    d.converted = std::move(samples);
    d.convertedGeneration = d.generation;
    d.convertedFrame = frame;
    d.convertedPixels = d.pixelSerial;
    d.source = d.converted.data();
    d.sourceLength = d.converted.size();
    d.sourceFirstFrame = frame;
}

bool CDicomFile::RearrangeStored(const ColourPlan& plan, bool signExtend, std::int32_t frame) const {
    Impl& d = *m_impl;
    if (!HasPixelData()) {
        return true;  // NoImageReason then says there is no pixel data
    }
    if (ConvertedFrameKept(frame)) {
        return true;
    }
    if (d.sourceReason) {
        return false;
    }
    const std::uint64_t pixels = std::uint64_t{m_nRows} * m_nColumns;
    std::uint64_t storedBytes = 0;
    if (m_nSamplesPerPixel == 3) {
        storedBytes = StoredColourFrameBytes(pixels, plan.ybr422, plan.narrow16);
    } else if (m_nBitsAllocated == 16) {
        storedBytes = pixels * 2;
    } else if (m_nBitsAllocated == 8) {
        storedBytes = pixels;
    } else {
        return true;  // no conversion reads these
    }
    // Only whole frames are shown: one that the pixel data does not hold reads nothing.
    static const std::uint8_t kOutside = 0;
    if (frame < 0 || storedBytes == 0 || static_cast<std::uint64_t>(frame) >= m_nPixelDataLength / storedBytes) {
        d.source = &kOutside;
        return true;
    }
    std::vector<std::uint8_t> out;
    try {
        out.resize(static_cast<std::size_t>(storedBytes));
        const SourceRead read = ReadPixels(static_cast<std::uint64_t>(frame) * storedBytes, out.data(), out.size());
        if (read != SourceRead::Done) {
            d.sourceReason = ReadFailure(read);
            return false;
        }
        if (d.bigEndianPixels) {
            SwapSampleBytes(out.data(), out.size(), m_nBitsAllocated);
        }
        if (signExtend) {
            SignExtendSamples(out.data(), out.size(), HighBit());
        }
        ArrangeColour(plan, out);
    } catch (const std::bad_alloc&) {
        d.sourceReason = Reason(DicomNoImage::FrameNotDecoded).About("not enough memory to rearrange the pixel data");
        return false;
    }
    KeepConvertedFrame(frame, std::move(out));
    return true;
}

void CDicomFile::ArrangeColour(const ColourPlan& plan, std::vector<std::uint8_t>& data) const {
    const std::size_t pixels = std::size_t{m_nRows} * m_nColumns;
    if (pixels == 0) {
        return;
    }
    if (plan.narrow16) {
        // The top 8 of the stored bits of each 16-bit sample.
        const int shift = m_nBitsStored > 8 && m_nBitsStored <= 16 ? m_nBitsStored - 8 : 8;
        for (std::size_t i = 0; i + 2 <= data.size(); i += 2) {
            data[i / 2] = static_cast<std::uint8_t>(ReadLE16(data.data() + i) >> shift);
        }
        data.resize(data.size() / 2);
    }
    const std::size_t frameBytes = pixels * 3;
    if (plan.planar) {
        std::vector<std::uint8_t> frame(frameBytes);
        for (std::size_t at = 0; at + frameBytes <= data.size(); at += frameBytes) {
            PlanarToInterleaved(data.data() + at, frame.data(), pixels, 3, 1);
            std::memcpy(data.data() + at, frame.data(), frameBytes);
        }
    }
    if (plan.ybrFull) {
        YbrFullToRgb(data.data(), data.size() / 3);
    }
    if (plan.ybr422) {
        // Two bytes a pixel in, three out, frame by frame; whole pairs only.
        const std::size_t inFrame = (pixels + 1) / 2 * 4;
        const std::size_t frames = data.size() / inFrame;
        std::vector<std::uint8_t> rgb(frames * frameBytes);
        for (std::size_t f = 0; f < frames; ++f) {
            Ybr422ToRgb(data.data() + f * inFrame, rgb.data() + f * frameBytes, pixels);
        }
        data = std::move(rgb);
    }
}

FrameGeometry CDicomFile::DecodedGeometry() const {
    FrameGeometry geometry;
    geometry.rows = m_nRows;
    geometry.columns = m_nColumns;
    geometry.samplesPerPixel = m_nSamplesPerPixel == 3 ? 3 : 1;
    geometry.bitsAllocated = m_nBitsAllocated;
    geometry.isSigned = m_nPixelRepresentation == 1;
    geometry.ybr = StartsWith(m_szPhotometric, "YBR");
    return geometry;
}

std::shared_ptr<const CompressedFrames> CDicomFile::CompressedPlan(std::int32_t frame, Reason& why) const {
    Impl& d = *m_impl;
    const TransferSyntax* syntax = d.syntax;
    if (d.itemsProblem) {
        why = d.itemsProblem;
        return nullptr;
    }
    if (syntax == nullptr || !d.itemsWalked || !HasPixelData()) {
        why = syntax == nullptr && !d.syntaxUid.empty() ? Reason(DicomNoImage::SyntaxUnknown).About(d.syntaxUid)
                                                        : Reason(DicomNoImage::Encapsulated);
        return nullptr;
    }
    if (syntax->kind == SyntaxKind::NotShown) {
        why = Reason(DicomNoImage::SyntaxNotShown).About(syntax->notShownAs);
        return nullptr;
    }
    if (syntax->kind != SyntaxKind::Encapsulated) {
        why = DicomNoImage::Encapsulated;
        return nullptr;
    }
    const std::uint32_t frames = m_nFrames > 0 ? static_cast<std::uint32_t>(m_nFrames) : 1;
    if (frame < 0 || static_cast<std::uint32_t>(frame) >= frames) {
        why = Reason(DicomNoImage::FrameOutside).Numbers(frame);
        return nullptr;
    }
    const FrameGeometry geometry = DecodedGeometry();
    const CompressedFrames* kept = d.compressed.get();
    const bool same = d.compressedSerial == d.pixelSerial && kept != nullptr && kept->codec == syntax->codec &&
                      kept->frames.size() == frames && kept->geometry.rows == geometry.rows &&
                      kept->geometry.columns == geometry.columns &&
                      kept->geometry.samplesPerPixel == geometry.samplesPerPixel &&
                      kept->geometry.bitsAllocated == geometry.bitsAllocated &&
                      kept->geometry.isSigned == geometry.isSigned && kept->geometry.ybr == geometry.ybr;
    if (!same) {
        auto plan = std::make_shared<CompressedFrames>();
        plan->codec = syntax->codec;
        plan->geometry = geometry;
        plan->fragments = d.fragments;
        if (!FrameSpans(plan->fragments, d.extended, frames, syntax->codec, plan->frames, &why)) {
            return nullptr;
        }
        d.compressed = std::move(plan);
        d.compressedSerial = d.pixelSerial;
    }
    return d.compressed;
}

bool CDicomFile::DecodeStoredFrame(std::int32_t frame) const {
    Impl& d = *m_impl;
    if (ConvertedFrameKept(frame)) {
        return true;
    }
    if (d.sourceReason) {
        return false;
    }
    const std::shared_ptr<const CompressedFrames> plan = CompressedPlan(frame, d.sourceReason);
    if (plan == nullptr) {
        return false;
    }
    // The decoder allocates the whole frame before it reads a byte of it, and the
    // frame is shown as a bitmap of rows padded to four bytes: both are checked
    // before anything is decoded.
    const std::uint64_t shownBytes =
        ((std::uint64_t{m_nColumns} + 3) / 4 * 4) * m_nRows * (plan->geometry.samplesPerPixel == 3 ? 3 : 1);
    if (!ImageFitsInMemory(std::uint64_t{m_nRows} * m_nColumns * plan->geometry.samplesPerPixel *
                           ((m_nBitsAllocated + 7u) / 8u)) ||
        !ImageFitsInMemory(shownBytes)) {
        d.sourceReason = Reason(DicomNoImage::TooLargeToShow).Numbers(m_nColumns, m_nRows);
        return false;
    }
    std::vector<std::uint8_t> joined;
    SourceRead read = SourceRead::Done;
    const auto stream =
        ReadFrameStream(*d.pixelFile, plan->fragments, plan->frames[static_cast<std::size_t>(frame)], joined, read);
    if (read != SourceRead::Done) {
        d.sourceReason = ReadFailure(read);
        return false;
    }
    DecodedFrame decoded;
    if (!DecodeFrame(plan->codec, stream, plan->geometry, decoded, &d.sourceReason)) {
        // What the decoder makes of a damaged stream says less than the damage itself.
        if (const std::int64_t at = SequenceDelimiterIn(stream); at >= 0) {
            d.sourceReason = Reason(FragmentFailure::DelimiterInside).Numbers(at);
        }
        return false;
    }
    ColourPlan colour;
    if (!PlanColour(colour, decoded.convertedToRgb, d.sourceReason)) {
        return false;
    }
    if (plan->geometry.samplesPerPixel == 1 && SignExtended()) {
        SignExtendSamples(decoded.samples.data(), decoded.samples.size(), HighBit());
    }
    try {
        ArrangeColour(colour, decoded.samples);
    } catch (const std::bad_alloc&) {
        d.sourceReason = Reason(DicomNoImage::FrameNotDecoded).About("not enough memory for the decoded frame");
        return false;
    }
    KeepConvertedFrame(frame, std::move(decoded.samples));
    return true;
}

bool CDicomFile::CompressedFrameShows(std::int32_t frame) const {
    const Impl& d = *m_impl;
    // The checks NoImageReason makes before and while the frame is decoded, less
    // the decode itself.
    if (d.dataSetProblem || !HasPixelData() || m_nRows == 0 || m_nColumns == 0 || m_nSamplesPerPixel > 3) {
        return false;
    }
    if (m_nSamplesPerPixel < 3 && m_nBitsAllocated != 8 && m_nBitsAllocated != 12 && m_nBitsAllocated != 16) {
        return false;
    }
    Reason why;
    const std::shared_ptr<const CompressedFrames> plan = CompressedPlan(frame, why);
    if (plan == nullptr || DecodedFrameSize(plan->geometry) == 0 ||
        !ImageFitsInMemory(std::uint64_t{m_nRows} * m_nColumns * plan->geometry.samplesPerPixel *
                           ((m_nBitsAllocated + 7u) / 8u))) {
        return false;
    }
    ColourPlan colour;
    if (PlanColour(colour, false, why)) {
        return true;
    }
    // A colour space shown only once the JPEG decoder has turned it into RGB: whether
    // it does so depends on the stream (its markers and component ids), which only
    // decoding the frame tells.
    if (plan->codec == FrameCodec::Jpeg && plan->geometry.ybr && PlanColour(colour, true, why)) {
        return !NoImageReason(frame);
    }
    return false;
}

const std::uint8_t* CDicomFile::SourceFrame(std::int32_t frame, std::size_t bytesPerFrame) const {
    return m_impl->source + static_cast<std::size_t>(frame - m_impl->sourceFirstFrame) * bytesPerFrame;
}
