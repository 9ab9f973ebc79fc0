#include "dicom/FrameSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "dicom/SampleLayout.h"
#include "dicom/TransferSyntax.h"
#include "image/PackedDib.h"
#include "io/ByteOrder.h"
#include "io/FileBuffer.h"
#include "io/ImageMemoryLimit.h"

namespace {

// Frames kept after they are read: stepping back and forth, and a window change,
// cost no read. At most this many, and beyond the newest at most kCacheBytes.
constexpr std::size_t kCachedFrames = 4;
constexpr std::uint64_t kCacheBytes = std::uint64_t{64} << 20;

// Whether the bitmap of one frame stays within the limit on the size of an image.
bool FrameFitsInMemory(std::uint16_t rows, std::uint16_t columns, bool colour) {
    return ImageFitsInMemory(std::uint64_t{BuiltWidth(columns)} * rows * (colour ? 3 : 1));
}

bool ShownAsColour(const ImageAttributes& a) { return a.IsColour() || (a.IsPaletteColour() && a.palette); }

SampleLayout GreyLayout(const ImageAttributes& a) {
    if (a.format == SampleFormat::Float) return a.bitsAllocated == 64 ? SampleLayout::Float64 : SampleLayout::Float32;
    if (a.bitsAllocated <= 8) return SampleLayout::Grey8;
    if (a.bitsAllocated <= 16) return SampleLayout::Grey16;
    return SampleLayout::Grey32;
}

// Bytes one stored colour frame takes before it is rearranged.
std::uint64_t StoredColourFrameBytes(std::uint64_t pixels, bool ybr422, std::uint16_t bitsAllocated) {
    return ybr422 ? (pixels + 1) / 2 * 4 : pixels * 3 * (bitsAllocated / 8u);
}

// Samples of a decoded frame of `columns` x `rows` (smaller than the attributes say
// when decoded at a reduced resolution).
std::shared_ptr<const FrameSamples> MakeDecodedSamples(std::int32_t frame, SampleLayout layout,
                                                       ZeroedBytes data, std::uint32_t columns, std::uint32_t rows) {
    auto owned = std::make_shared<ZeroedBytes>(std::move(data));
    auto samples = std::make_shared<FrameSamples>();
    samples->frame = frame;
    samples->rows = static_cast<std::uint16_t>(rows);
    samples->columns = static_cast<std::uint16_t>(columns);
    samples->layout = layout;
    samples->bytes = std::span<const std::uint8_t>(owned->data(), owned->size());
    samples->owner = std::move(owned);
    return samples;
}

std::shared_ptr<const FrameSamples> MakeSamples(std::int32_t frame, const ImageAttributes& a, SampleLayout layout,
                                                ZeroedBytes data, std::int32_t count = 1,
                                                std::uint16_t rows = 0) {
    auto owned = std::make_shared<ZeroedBytes>(std::move(data));
    auto samples = std::make_shared<FrameSamples>();
    samples->frame = frame;
    samples->rows = rows != 0 ? rows : a.rows;
    samples->columns = a.columns;
    samples->frames = static_cast<std::uint32_t>(count);
    samples->layout = layout;
    samples->bytes = std::span<const std::uint8_t>(owned->data(), owned->size());
    samples->owner = std::move(owned);
    return samples;
}

}  // namespace

// Where each compressed frame lies in the source, and how to decode it.
struct CompressedFrames {
    FrameCodec codec = FrameCodec::Jpeg;
    FrameGeometry geometry;
    EncapsulatedPixelData fragments;
    std::vector<FragmentSpan> frames;
};

std::size_t SampleBytes(SampleLayout layout) {
    switch (layout) {
    case SampleLayout::Grey8: return 1;
    case SampleLayout::Grey16: return 2;
    case SampleLayout::Grey32:
    case SampleLayout::Float32: return 4;
    case SampleLayout::Float64: return 8;
    case SampleLayout::Rgb8: return 3;
    }
    return 1;
}

std::uint32_t FrameSamples::Raw(std::size_t index) const {
    switch (layout) {
    case SampleLayout::Grey8: return bytes[index];
    case SampleLayout::Grey16: return ReadLE16(bytes.data() + 2 * index);
    case SampleLayout::Grey32: return ReadLE32(bytes.data() + 4 * index);
    default: return 0;
    }
}

StoredValueReader::StoredValueReader(const ImageAttributes& a) {
    const int stored = std::clamp<int>(a.bitsStored, 1, 32);
    m_shift = std::clamp<int>(a.highBit + 1 - stored, 0, 31);
    m_mask = stored >= 32 ? 0xFFFFFFFFu : (std::uint64_t{1} << stored) - 1;
    m_sign = a.IsSigned() ? std::uint64_t{1} << (stored - 1) : 0;
    m_wrap = std::int64_t{1} << stored;
}

std::int64_t StoredValueOf(std::uint32_t raw, const ImageAttributes& a) { return StoredValueReader(a).Of(raw); }

double StoredValueAt(const FrameSamples& samples, const ImageAttributes& a, std::size_t index) {
    switch (samples.layout) {
    case SampleLayout::Float32: {
        float f;
        const std::uint32_t raw = ReadLE32(samples.bytes.data() + 4 * index);
        std::memcpy(&f, &raw, sizeof f);
        return f;
    }
    case SampleLayout::Float64: {
        double d;
        const std::uint64_t raw = ReadLE32(samples.bytes.data() + 8 * index) |
                                  std::uint64_t{ReadLE32(samples.bytes.data() + 8 * index + 4)} << 32;
        std::memcpy(&d, &raw, sizeof d);
        return d;
    }
    default: return static_cast<double>(StoredValueOf(samples.Raw(index), a));
    }
}

std::string ReasonText(DicomNoImage code, const Reason& reason) {
    switch (code) {
    case DicomNoImage::NoRowsOrColumns: return "the file gives no rows or columns";
    case DicomNoImage::TooManySamples: return "more than 3 samples per pixel (" + std::to_string(reason.First()) + ")";
    case DicomNoImage::UnsupportedBitsAllocated:
        return "unsupported bits allocated (" + std::to_string(reason.First()) +
               "; grey is shown for 1, 8, 12, 16 and 32, float for 32 and 64, palette colour for 8 and 16)";
    case DicomNoImage::NoPixelData: return "no pixel data";
    case DicomNoImage::Encapsulated: return "encapsulated (compressed) pixel data";
    case DicomNoImage::TooLargeToShow:
        return "too large to show (" + std::to_string(reason.First()) + " x " + std::to_string(reason.Second()) + ")";
    case DicomNoImage::FrameOutside: break;
    case DicomNoImage::DataSetUnreadable:
    case DicomNoImage::FrameNotDecoded: return reason.Subject();
    case DicomNoImage::SyntaxNotShown: return "compressed as " + reason.Subject() + ", which is not shown";
    case DicomNoImage::SyntaxUnknown:
        return "compressed with transfer syntax " + reason.Subject() + ", which is not known";
    case DicomNoImage::PaletteColour:
        return "palette colour (PALETTE COLOR) without a complete palette (its three descriptors and tables)";
    case DicomNoImage::PhotometricNotShown: {
        // A photometric interpretation shown for other samples says what does not fit.
        const std::string named = "photometric interpretation " + reason.Subject();
        if (reason.First() != 0) return named + " holds one sample per pixel, not " + std::to_string(reason.First());
        if (reason.Second() != 0) {
            return named + " is shown for 8-bit samples, not " + std::to_string(reason.Second()) + "-bit ones";
        }
        return named + " is not shown";
    }
    case DicomNoImage::ColourBitsAllocated:
        return "unsupported bits allocated (" + std::to_string(reason.First()) + "; colour is shown for 8, 16 and 32)";
    case DicomNoImage::PixelDataCutShort:
        return "the pixel data is cut short: " + std::to_string(reason.First()) + " of its " +
               std::to_string(reason.Second()) + " bytes are in the file";
    }
    return "frame " + std::to_string(reason.First()) + " lies outside the pixel data";
}

const char* ReasonName(DicomNoImage code) {
    switch (code) {
    case DicomNoImage::NoRowsOrColumns: return "no_rows_or_columns";
    case DicomNoImage::TooManySamples: return "too_many_samples";
    case DicomNoImage::UnsupportedBitsAllocated: return "unsupported_bits_allocated";
    case DicomNoImage::NoPixelData: return "no_pixel_data";
    case DicomNoImage::Encapsulated: return "encapsulated";
    case DicomNoImage::FrameOutside: return "frame_outside";
    case DicomNoImage::DataSetUnreadable: return "data_set_unreadable";
    case DicomNoImage::SyntaxNotShown: return "syntax_not_shown";
    case DicomNoImage::SyntaxUnknown: return "syntax_unknown";
    case DicomNoImage::FrameNotDecoded: return "frame_not_decoded";
    case DicomNoImage::PaletteColour: return "palette_incomplete";
    case DicomNoImage::PhotometricNotShown: return "photometric_not_shown";
    case DicomNoImage::ColourBitsAllocated: return "colour_bits_allocated";
    case DicomNoImage::TooLargeToShow: return "too_large_to_show";
    case DicomNoImage::PixelDataCutShort: return "pixel_data_cut_short";
    }
    return "unknown";
}

Reason ImageProblem(const ImageAttributes& a) {
    if (a.rows == 0 || a.columns == 0) return DicomNoImage::NoRowsOrColumns;
    if (a.samplesPerPixel > 3) return Reason(DicomNoImage::TooManySamples).Numbers(a.samplesPerPixel);
    if (a.IsColour()) {
        if (a.bitsAllocated != 8 && a.bitsAllocated != 16 && a.bitsAllocated != 32) {
            return Reason(DicomNoImage::ColourBitsAllocated).Numbers(a.bitsAllocated);
        }
    } else if (a.format == SampleFormat::Float) {
        if (a.bitsAllocated != 32 && a.bitsAllocated != 64) {
            return Reason(DicomNoImage::UnsupportedBitsAllocated).Numbers(a.bitsAllocated);
        }
    } else {
        const std::uint16_t bits = a.bitsAllocated;
        const bool shown = bits == 1 || bits == 8 || bits == 12 || bits == 16 || bits == 32;
        if (!shown || (a.IsPaletteColour() && bits != 8 && bits != 16)) {
            return Reason(DicomNoImage::UnsupportedBitsAllocated).Numbers(bits);
        }
        if (a.IsPaletteColour() && !a.palette) return DicomNoImage::PaletteColour;
    }
    return {};
}

// How the stored colour must change before the render function reads it.
struct FrameSource::ColourPlan {
    bool ybrFull = false;
    bool ybr422 = false;
    bool planar = false;
    bool narrow = false;  // 16- or 32-bit colour samples reduced to their top 8 stored bits
};

FrameSource::FrameSource(Parts parts) : m_parts(std::move(parts)) {
    if (m_parts.attributes == nullptr) m_parts.attributes = std::make_shared<const ImageAttributes>();
}

FrameSource::~FrameSource() = default;

Reason FrameSource::ReadFailure(SourceRead read) const {
    if (read == SourceRead::Changed) return Reason(FileReadFailure::ChangedOnDisk).About(m_parts.path);
    return Reason(FileReadFailure::CannotRead).About(m_parts.path).Errno(EIO);
}

bool FrameSource::PlanColour(ColourPlan& plan, bool decodedToRgb, Reason& why) const {
    const ImageAttributes& a = Attributes();
    if (!a.IsColour()) return true;
    plan.narrow = a.bitsAllocated > 8;
    plan.planar = a.planarConfiguration == 1 && !a.pixelData.encapsulated;
    const std::string& photometric = a.photometric;
    if (decodedToRgb || photometric.empty() || photometric == "RGB" || photometric == "YBR_ICT" ||
        photometric == "YBR_RCT") {
        // A JPEG 2000 decoder undoes the ICT and RCT colour transforms itself.
        return true;
    }
    if (photometric == "YBR_FULL") {
        plan.ybrFull = true;
    } else if (photometric == "YBR_FULL_422" && a.bitsAllocated == 8) {
        // Decoded JPEG comes out at full resolution; stored data keeps its 4:2:2 sampling.
        (a.pixelData.encapsulated ? plan.ybrFull : plan.ybr422) = true;
        plan.planar = false;
    } else {
        Reason unshown = Reason(DicomNoImage::PhotometricNotShown).About(photometric);
        if (photometric == "YBR_FULL_422") {
            unshown = std::move(unshown).Numbers(0, a.bitsAllocated);
        } else if (photometric.rfind("MONOCHROME", 0) == 0 || photometric == "PALETTE COLOR") {
            unshown = std::move(unshown).Numbers(a.samplesPerPixel);
        }
        why = std::move(unshown);
        return false;
    }
    return true;
}

void FrameSource::ArrangeColour(const ColourPlan& plan, ZeroedBytes& data, std::size_t bytesPerSample) const {
    const ImageAttributes& a = Attributes();
    const std::size_t pixels = std::size_t{a.rows} * a.columns;
    if (pixels == 0) return;
    if (plan.narrow) {
        // The top 8 of the stored bits of each sample.
        const int bits = static_cast<int>(bytesPerSample * 8);
        const int shift = a.bitsStored > 8 && a.bitsStored <= bits ? a.bitsStored - 8 : bits - 8;
        for (std::size_t i = 0; i + bytesPerSample <= data.size(); i += bytesPerSample) {
            const std::uint32_t v = bytesPerSample == 2 ? ReadLE16(data.data() + i) : ReadLE32(data.data() + i);
            data[i / bytesPerSample] = static_cast<std::uint8_t>(v >> shift);
        }
        data.resize(data.size() / bytesPerSample);
    }
    const std::size_t frameBytes = pixels * 3;
    if (plan.planar) {
        std::vector<std::uint8_t> frame(frameBytes);
        for (std::size_t at = 0; at + frameBytes <= data.size(); at += frameBytes) {
            PlanarToInterleaved(data.data() + at, frame.data(), pixels, 3, 1);
            std::memcpy(data.data() + at, frame.data(), frameBytes);
        }
    }
    if (plan.ybrFull) YbrFullToRgb(data.data(), data.size() / 3);
    if (plan.ybr422) {
        const std::size_t inFrame = (pixels + 1) / 2 * 4;
        ZeroedBytes rgb(frameBytes);
        if (data.size() >= inFrame) Ybr422ToRgb(data.data(), rgb.data(), pixels);
        data = std::move(rgb);
    }
}

std::uint64_t FrameSource::StoredFrameBits() const {
    const ImageAttributes& a = Attributes();
    const std::uint64_t pixels = std::uint64_t{a.rows} * a.columns;
    if (a.IsColour()) {
        ColourPlan plan;
        Reason why;
        PlanColour(plan, false, why);
        return StoredColourFrameBytes(pixels, plan.ybr422, a.bitsAllocated) * 8;
    }
    return pixels * a.bitsAllocated;
}

std::int32_t FrameSource::FramesHeld() const {
    const ImageAttributes& a = Attributes();
    if (!a.pixelData.present || ImageProblem(a)) return 0;
    if (a.pixelData.encapsulated) return a.FrameCount();
    const std::uint64_t bits = StoredFrameBits();
    const std::uint64_t held = bits == 0 ? 0 : std::uint64_t{a.pixelData.length} * 8 / bits;
    return static_cast<std::int32_t>(std::min<std::uint64_t>(held, static_cast<std::uint64_t>(a.FrameCount())));
}

Reason FrameSource::Check(std::int32_t frame) const {
    const ImageAttributes& a = Attributes();
    if (m_parts.dataSetProblem) return m_parts.dataSetProblem;
    if (Reason problem = ImageProblem(a)) return problem;
    ColourPlan plan;
    Reason why;
    const bool colourShown = PlanColour(plan, false, why);
    if (!a.pixelData.present) return DicomNoImage::NoPixelData;
    if (a.pixelData.encapsulated) {
        const std::shared_ptr<const CompressedFrames> compressed = CompressedPlan(frame, why);
        if (compressed == nullptr) return why;
        if (DecodedFrameSize(compressed->geometry) == 0) {
            return Reason(DicomNoImage::UnsupportedBitsAllocated).Numbers(a.bitsAllocated);
        }
        if (!ImageFitsInMemory(std::uint64_t{a.rows} * a.columns * compressed->geometry.samplesPerPixel *
                               ((a.bitsAllocated + 7u) / 8u)) ||
            !FrameFitsInMemory(a.rows, a.columns, ShownAsColour(a))) {
            return Reason(DicomNoImage::TooLargeToShow).Numbers(a.columns, a.rows);
        }
        // A colour space shown only once the JPEG decoder has turned it into RGB:
        // whether it does depends on the stream, which only the decode tells.
        if (!colourShown && !(compressed->codec == FrameCodec::Jpeg && compressed->geometry.ybr)) return why;
        return {};
    }
    if (!colourShown) return why;
    const std::uint64_t bits = StoredFrameBits();
    // Divided rather than multiplied: frame x bits can pass 2^64.
    if (frame < 0 || bits == 0) return Reason(DicomNoImage::FrameOutside).Numbers(frame);
    const std::uint64_t held = std::uint64_t{a.pixelData.length} * 8 / bits;
    if (static_cast<std::uint64_t>(frame) >= held) {
        const std::uint64_t declaredHeld = std::uint64_t{a.pixelData.declared} * 8 / bits;
        if (a.pixelData.CutShort() && static_cast<std::uint64_t>(frame) < declaredHeld) {
            return Reason(DicomNoImage::PixelDataCutShort).Numbers(a.pixelData.length, a.pixelData.declared);
        }
        return Reason(DicomNoImage::FrameOutside).Numbers(frame);
    }
    if (!FrameFitsInMemory(a.rows, a.columns, ShownAsColour(a))) {
        return Reason(DicomNoImage::TooLargeToShow).Numbers(a.columns, a.rows);
    }
    return {};
}

Expected<std::shared_ptr<const FrameSamples>> FrameSource::Frame(std::int32_t frame) const {
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
            if (it->frame != frame) continue;
            // Kept samples are given only while the file is still the one they came from.
            if (m_parts.file != nullptr && !m_parts.file->Unchanged()) {
                m_cache.clear();
                return ReadFailure(SourceRead::Changed);
            }
            std::rotate(m_cache.begin(), it, it + 1);
            return m_cache.front().samples;
        }
    }
    Expected<std::shared_ptr<const FrameSamples>> read = Read(frame);
    if (!read) return read;
    std::lock_guard lock(m_mutex);
    const bool known =
        std::any_of(m_cache.begin(), m_cache.end(), [frame](const CachedFrame& c) { return c.frame == frame; });
    if (!known) m_cache.push_front({frame, *read});
    std::uint64_t kept = 0;
    for (std::size_t i = 0; i < m_cache.size(); ++i) {
        kept += i == 0 ? 0 : m_cache[i].samples->bytes.size();
        if (i >= kCachedFrames || kept > kCacheBytes) {
            m_cache.resize(i);
            break;
        }
    }
    return read;
}

Expected<std::shared_ptr<const FrameSamples>> FrameSource::FrameUncached(std::int32_t frame) const {
    {
        std::lock_guard lock(m_mutex);
        for (const CachedFrame& kept : m_cache) {
            if (kept.frame == frame && (m_parts.file == nullptr || m_parts.file->Unchanged())) return kept.samples;
        }
    }
    return Read(frame);
}

bool FrameSource::DecodesReduced() const {
    const TransferSyntax* syntax = m_parts.syntax;
    return Attributes().pixelData.encapsulated && syntax != nullptr && syntax->kind == SyntaxKind::Encapsulated &&
           (syntax->codec == FrameCodec::Jpeg2000 || syntax->codec == FrameCodec::HtJpeg2000);
}

Expected<std::shared_ptr<const FrameSamples>> FrameSource::FrameReduced(std::int32_t frame,
                                                                        std::uint8_t reduce) const {
    if (reduce == 0 || !DecodesReduced()) return FrameUncached(frame);
    {
        std::lock_guard lock(m_mutex);
        for (const CachedFrame& kept : m_cache) {
            if (kept.frame == frame && (m_parts.file == nullptr || m_parts.file->Unchanged())) return kept.samples;
        }
    }
    if (Reason problem = Check(frame)) return problem;
    try {
        return Decode(frame, reduce);
    } catch (const std::bad_alloc&) {
        return Reason(DicomNoImage::FrameNotDecoded).About("not enough memory for the frame");
    }
}

Expected<std::shared_ptr<const FrameSamples>> FrameSource::Read(std::int32_t frame) const {
    if (Reason problem = Check(frame)) return problem;
    try {
        return Attributes().pixelData.encapsulated ? Decode(frame) : ReadStored(frame, 1);
    } catch (const std::bad_alloc&) {
        return Reason(DicomNoImage::FrameNotDecoded).About("not enough memory for the frame");
    }
}

Expected<std::shared_ptr<const FrameSamples>> FrameSource::FramesUncached(std::int32_t first,
                                                                          std::int32_t count) const {
    if (count <= 1 || Attributes().pixelData.encapsulated || Attributes().IsColour()) return FrameUncached(first);
    if (Reason problem = Check(first)) return problem;
    if (Reason problem = Check(first + count - 1)) return problem;
    try {
        return ReadStored(first, count);
    } catch (const std::bad_alloc&) {
        return Reason(DicomNoImage::FrameNotDecoded).About("not enough memory for the frames");
    }
}

Expected<std::shared_ptr<const FrameSamples>> FrameSource::FrameRowsUncached(std::int32_t frame, std::uint16_t firstRow,
                                                                             std::uint16_t rowCount) const {
    const ImageAttributes& a = Attributes();
    if (a.pixelData.encapsulated || a.IsColour() || firstRow >= a.rows || rowCount == 0) return FrameUncached(frame);
    rowCount = std::min<std::uint16_t>(rowCount, static_cast<std::uint16_t>(a.rows - firstRow));
    {
        std::lock_guard lock(m_mutex);
        for (const CachedFrame& kept : m_cache) {
            if (kept.frame != frame || (m_parts.file != nullptr && !m_parts.file->Unchanged())) continue;
            const FrameSamples& whole = *kept.samples;
            const std::size_t rowBytes = std::size_t{whole.columns} * SampleBytes(whole.layout);
            if (whole.rows != a.rows || whole.bytes.size() < (std::size_t{firstRow} + rowCount) * rowBytes) break;
            auto part = std::make_shared<FrameSamples>(whole);
            part->rows = rowCount;
            part->bytes = whole.bytes.subspan(std::size_t{firstRow} * rowBytes, std::size_t{rowCount} * rowBytes);
            part->owner = kept.samples;
            return std::shared_ptr<const FrameSamples>(std::move(part));
        }
    }
    if (Reason problem = Check(frame)) return problem;
    try {
        return ReadStored(frame, 1, firstRow, rowCount);
    } catch (const std::bad_alloc&) {
        return Reason(DicomNoImage::FrameNotDecoded).About("not enough memory for the frame");
    }
}

Expected<std::shared_ptr<const FrameSamples>> FrameSource::ReadStored(std::int32_t frame, std::int32_t count,
                                                                      std::uint16_t firstRow,
                                                                      std::uint16_t rowCount) const {
    const ImageAttributes& a = Attributes();
    const PixelDataInfo& pixels = a.pixelData;
    const ByteSource& file = *m_parts.file;
    const bool part = rowCount != 0 && !a.IsColour();
    const std::uint64_t rowBits = std::uint64_t{a.columns} * a.bitsAllocated;
    const std::uint64_t frameBits = part ? rowBits * rowCount : StoredFrameBits() * static_cast<std::uint64_t>(count);
    const std::uint64_t firstBit =
        static_cast<std::uint64_t>(frame) * StoredFrameBits() + (part ? rowBits * firstRow : 0);
    const std::uint16_t rows = part ? rowCount : a.rows;
    std::uint64_t start = firstBit / 8;
    std::uint64_t end = (firstBit + frameBits + 7) / 8;
    // OW values of a big-endian data set are 16-bit words with their bytes swapped:
    // samples narrower than a word are read in whole words, then swapped back.
    const bool byteSamples = a.bitsAllocated < 16 && !a.IsColour();
    const bool swapWords = pixels.bigEndian && pixels.words && (byteSamples || (a.IsColour() && a.bitsAllocated == 8));
    if (swapWords) {
        start &= ~std::uint64_t{1};
        end = std::min<std::uint64_t>(pixels.length, (end + 1) & ~std::uint64_t{1});
    }
    const std::uint64_t pixelCount = std::uint64_t{rows} * a.columns * static_cast<std::uint64_t>(count);
    const SampleLayout layout = a.IsColour() ? SampleLayout::Rgb8 : GreyLayout(a);
    const bool asStored = !pixels.bigEndian && !a.IsColour() && (a.bitsAllocated % 8 == 0) && firstBit % 8 == 0;
    const std::uint8_t* memory = file.Memory();
    if (asStored && memory != nullptr) {
        // In memory and as the render function reads them: no copy.
        auto samples = std::make_shared<FrameSamples>();
        samples->frame = frame;
        samples->rows = rows;
        samples->columns = a.columns;
        samples->frames = static_cast<std::uint32_t>(count);
        samples->layout = layout;
        samples->bytes =
            std::span<const std::uint8_t>(memory + pixels.offset + start, static_cast<std::size_t>(end - start));
        samples->owner = m_parts.file;
        return std::shared_ptr<const FrameSamples>(std::move(samples));
    }
    ZeroedBytes stored(static_cast<std::size_t>(end - start));
    if (const SourceRead read = file.ReadAt(pixels.offset + start, stored.data(), stored.size());
        read != SourceRead::Done) {
        return ReadFailure(read);
    }
    if (swapWords) SwapSampleBytes(stored.data(), stored.size() & ~std::size_t{1}, 16);
    if (a.IsColour()) {
        if (pixels.bigEndian && !swapWords) SwapSampleBytes(stored.data(), stored.size(), a.bitsAllocated);
        ColourPlan plan;
        Reason why;
        PlanColour(plan, false, why);
        ArrangeColour(plan, stored, a.bitsAllocated / 8u);
        return MakeSamples(frame, a, layout, std::move(stored), count);
    }
    const std::size_t skipBits = static_cast<std::size_t>(firstBit - start * 8);
    if (a.bitsAllocated == 1 || a.bitsAllocated == 12) {
        ZeroedBytes unpacked(static_cast<std::size_t>(pixelCount) * (a.bitsAllocated == 1 ? 1 : 2));
        UnpackBits(stored.data(), stored.size(), skipBits, static_cast<std::size_t>(pixelCount), a.bitsAllocated,
                   unpacked.data());
        return MakeSamples(frame, a, layout, std::move(unpacked), count, rows);
    }
    if (pixels.bigEndian && !swapWords) SwapSampleBytes(stored.data(), stored.size(), a.bitsAllocated);
    return MakeSamples(frame, a, layout, std::move(stored), count, rows);
}

std::shared_ptr<const CompressedFrames> FrameSource::CompressedPlan(std::int32_t frame, Reason& why) const {
    const ImageAttributes& a = Attributes();
    const TransferSyntax* syntax = m_parts.syntax;
    if (syntax == nullptr) {
        why = !m_parts.syntaxUid.empty() ? Reason(DicomNoImage::SyntaxUnknown).About(m_parts.syntaxUid)
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
    const std::uint32_t frames = static_cast<std::uint32_t>(a.FrameCount());
    std::lock_guard lock(m_mutex);
    if (m_compressed == nullptr) {
        auto plan = std::make_shared<CompressedFrames>();
        plan->codec = syntax->codec;
        plan->geometry.rows = a.rows;
        plan->geometry.columns = a.columns;
        plan->geometry.samplesPerPixel = a.IsColour() ? 3 : 1;
        plan->geometry.bitsAllocated = a.bitsAllocated;
        plan->geometry.isSigned = a.pixelRepresentation == 1;
        plan->geometry.ybr = a.photometric.rfind("YBR", 0) == 0;
        if (m_parts.itemsProblem) {
            why = m_parts.itemsProblem;
            return nullptr;
        }
        if (m_parts.itemsWalked) {
            plan->fragments = m_parts.fragments;
        } else {
            // The walk stopped at the pixel data: its items are found now, once.
            SourceRead read = SourceRead::Done;
            if (!WalkFragments(*m_parts.file, m_parts.itemsStart, plan->fragments, read, &why)) {
                if (read != SourceRead::Done) why = ReadFailure(read);
                return nullptr;
            }
        }
        if (!FrameSpans(plan->fragments, m_parts.extended, frames, syntax->codec, plan->frames, &why)) return nullptr;
        m_compressed = std::move(plan);
    }
    if (frame < 0 || static_cast<std::uint32_t>(frame) >= frames) {
        why = Reason(DicomNoImage::FrameOutside).Numbers(frame);
        return nullptr;
    }
    return m_compressed;
}

Expected<std::shared_ptr<const FrameSamples>> FrameSource::Decode(std::int32_t frame, std::uint8_t reduce) const {
    const ImageAttributes& a = Attributes();
    Reason why;
    const std::shared_ptr<const CompressedFrames> plan = CompressedPlan(frame, why);
    if (plan == nullptr) return why;
    std::vector<std::uint8_t> joined;
    SourceRead read = SourceRead::Done;
    const auto stream =
        ReadFrameStream(*m_parts.file, plan->fragments, plan->frames[static_cast<std::size_t>(frame)], joined, read);
    if (read != SourceRead::Done) return ReadFailure(read);
    DecodedFrame decoded;
    DecodeOptions options;
    options.reduce = reduce;
    if (!DecodeFrame(plan->codec, stream, plan->geometry, options, decoded, &why)) {
        // What the decoder makes of a damaged stream says less than the damage itself.
        if (const std::int64_t at = SequenceDelimiterIn(stream); at >= 0) {
            return Reason(FragmentFailure::DelimiterInside).Numbers(at);
        }
        return why;
    }
    const SampleLayout layout = a.IsColour() ? SampleLayout::Rgb8 : GreyLayout(a);
    if (a.IsColour()) {
        ColourPlan colour;
        if (!PlanColour(colour, decoded.convertedToRgb, why)) return why;
        ArrangeColour(colour, decoded.samples, a.bitsAllocated / 8u);
    }
    if (decoded.reduce == 0) return MakeSamples(frame, a, layout, std::move(decoded.samples));
    return MakeDecodedSamples(frame, layout, std::move(decoded.samples), decoded.columns, decoded.rows);
}

const char* ReasonSummary(DicomNoImage code) {
    switch (code) {
    case DicomNoImage::TooManySamples: return "more than 3 samples per pixel";
    case DicomNoImage::UnsupportedBitsAllocated: return "unsupported bits allocated";
    case DicomNoImage::FrameOutside: return "the frame lies outside the pixel data";
    case DicomNoImage::DataSetUnreadable: return "the data set cannot be read";
    case DicomNoImage::SyntaxNotShown: return "compressed in a way that is not shown";
    case DicomNoImage::SyntaxUnknown: return "compressed with a transfer syntax that is not known";
    case DicomNoImage::FrameNotDecoded: return "a frame could not be decoded";
    case DicomNoImage::PhotometricNotShown: return "a photometric interpretation that is not shown";
    case DicomNoImage::ColourBitsAllocated: return "unsupported bits allocated for colour";
    case DicomNoImage::TooLargeToShow: return "too large to show";
    case DicomNoImage::PixelDataCutShort: return "the pixel data is cut short";
    default: return nullptr;
    }
}
