// One frame of the pixel data as a displayable bitmap: 8-bit grey for one or two
// samples per pixel (16-bit samples through the grey window, 12-bit packed samples
// by a fixed weighting of their nibbles), 24-bit colour for three.
//
// The samples are read where SelectSamples puts them (the frame read from the
// file, or a rearranged or decoded copy) and never changed. Only the rows of the
// frame asked for are mapped, through a table of the current window. The range of
// the whole data after the rescale is computed once per file (per decoded frame for
// compressed data); for samples read from the file, only when the default window
// needs it or someone settles it (see SampleRangePending).
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "dicom/DicomFile.h"
#include "dicom/DicomFileImpl.h"
#include "io/ByteOrder.h"
#include "io/ImageMemoryLimit.h"

namespace {

// The 12-bit reduction: the nibbles of two packed samples weighted into two bytes,
// summed in double precision in this order and truncated toward zero.
std::uint8_t TwelveBitFirst(std::uint8_t d0, std::uint8_t d1) {
    return static_cast<std::uint8_t>(((d1 & 0x0F) * 16) * 0.11 + (d0 & 0x0F) * 0.29 + (d0 >> 4) * 0.6);
}

std::uint8_t TwelveBitSecond(std::uint8_t d1, std::uint8_t d2) {
    return static_cast<std::uint8_t>((d1 >> 4) * 0.29 + (d2 >> 4) * 0.11 + ((d2 & 0x0F) * 16) * 0.6);
}

// Frames kept after they are read: stepping back and forth, and a window change,
// cost no read. At most this many, and beyond the newest at most kCacheBytes.
constexpr std::size_t kCachedFrames = 3;
constexpr std::uint64_t kCacheBytes = std::uint64_t{32} << 20;
// Bytes of one 12-bit frame: two samples in three bytes, a last odd sample in two.
std::uint64_t TwelveBitFrameBytes(std::uint16_t rows, std::uint16_t columns) {
    return (std::uint64_t{rows} * columns * 3 + 1) / 2;
}

// Whether the bitmap of one frame stays within the limit on the size of an image.
bool FrameFitsInMemory(std::uint16_t rows, std::uint16_t columns, std::uint16_t samplesPerPixel) {
    const std::uint64_t bytesPerPixel = samplesPerPixel == 3 ? 3 : 1;
    return ImageFitsInMemory(std::uint64_t{BuiltWidth(columns)} * rows * bytesPerPixel);
}

}  // namespace

bool CDicomFile::HasPixelData() const { return m_impl->pixelFile != nullptr; }

SourceRead CDicomFile::ReadPixels(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
    const Impl& d = *m_impl;
    if (!HasPixelData() || offset > m_nPixelDataLength || size > m_nPixelDataLength - offset) {
        return SourceRead::Failed;
    }
    return d.pixelFile->ReadAt(m_nPixelDataOffset + offset, out, size);
}

Reason CDicomFile::ReadFailure(SourceRead read) const {
    if (read == SourceRead::Changed) {
        return Reason(FileReadFailure::ChangedOnDisk).About(m_impl->path);
    }
    return Reason(FileReadFailure::CannotRead).About(m_impl->path).Errno(EIO);
}

const std::uint8_t* CDicomFile::PixelBytes(std::uint64_t offset, std::uint64_t size) const {
    Impl& d = *m_impl;
    d.lastRead = SourceRead::Failed;
    if (!HasPixelData() || offset > m_nPixelDataLength || size > m_nPixelDataLength - offset) {
        return nullptr;
    }
    const ByteSource& file = *d.pixelFile;
    const std::uint64_t at = m_nPixelDataOffset + offset;
    if (const std::uint8_t* memory = file.Memory()) {
        d.lastRead = SourceRead::Done;
        return at <= file.Size() && size <= file.Size() - at ? memory + at : nullptr;
    }
    for (auto it = d.frames.begin(); it != d.frames.end(); ++it) {
        if (it->offset == at && it->size == size) {
            // Kept bytes are shown only while the file is still the one they came from.
            if (!file.Unchanged()) {
                d.frames.clear();
                d.lastRead = SourceRead::Changed;
                return nullptr;
            }
            std::rotate(d.frames.begin(), it, it + 1);
            d.lastRead = SourceRead::Done;
            return d.frames.front().bytes.get();
        }
    }
    Impl::CachedBytes entry;
    if (d.frames.size() >= kCachedFrames) {
        entry = std::move(d.frames.back());
        d.frames.pop_back();
    }
    if (entry.bytes == nullptr || entry.size < size) {
        entry.bytes.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
        if (entry.bytes == nullptr) {
            return nullptr;
        }
    }
    d.lastRead = file.ReadAt(at, entry.bytes.get(), static_cast<std::size_t>(size));
    if (d.lastRead != SourceRead::Done) {
        return nullptr;
    }
    entry.offset = at;
    entry.size = size;
    d.frames.push_front(std::move(entry));
    std::uint64_t kept = d.frames.front().size;
    for (std::size_t i = 1; i < d.frames.size(); ++i) {
        kept += d.frames[i].size;
        if (kept > kCacheBytes) {
            d.frames.resize(i);
            break;
        }
    }
    return d.frames.front().bytes.get();
}

SampleRangeRequest CDicomFile::WholeRangeRequest() const {
    const Impl& d = *m_impl;
    if (!HasPixelData()) {
        return {};
    }
    SampleRangeRequest request(d.pixelFile, m_nPixelDataOffset, m_nPixelDataLength, m_nRescaleIntercept);
    request.bigEndian = d.bigEndianPixels && !d.encapsulated;
    if (SignExtended()) {
        request.signBit = HighBit();
    }
    if (d.encapsulated) {
        Reason why;
        request.compressed = CompressedPlan(0, why);
        if (request.compressed == nullptr) {
            request.source = nullptr;  // no frame decodes: the range of no samples
        }
    }
    return request;
}

bool CDicomFile::RangeCached() const {
    const Impl& d = *m_impl;
    return d.rangeKnown && d.rangeOf.SameAs(WholeRangeRequest());
}

void CDicomFile::SetRangeFields(SampleRange range) {
    m_nMaxSample = range.max;
    m_nMinSample = range.min;
    m_impl->rangePending = false;
}

bool CDicomFile::SampleRangePending() const { return m_impl->rangePending; }

SampleRangeRequest CDicomFile::PendingSampleRange() const {
    if (!m_impl->rangePending) {
        return {};
    }
    return WholeRangeRequest();
}

bool CDicomFile::AdoptSampleRange(const SampleRangeRequest& request, SampleRange range) {
    Impl& d = *m_impl;
    if (!request.SameAs(WholeRangeRequest())) {
        return false;
    }
    d.rangeKnown = true;
    d.rangeOf = request;
    d.range = range;
    if (d.rangePending) {
        SetRangeFields(range);
    }
    return true;
}

bool CDicomFile::ResolveSampleRange() {
    Impl& d = *m_impl;
    if (!d.rangePending) {
        return true;
    }
    if (!RangeCached()) {
        const SampleRangeRequest request = WholeRangeRequest();
        const SampleRangeOutcome outcome = ScanSampleRange(request);
        if (!outcome.Complete()) {
            d.sourceReason = ReadFailure(outcome.read);
            return false;
        }
        AdoptSampleRange(request, outcome.range);
    }
    SetRangeFields(d.range);
    return true;
}

bool CDicomFile::FrameInside(std::int32_t frame, std::uint64_t bytesPerFrame) const {
    const Impl& d = *m_impl;
    if (frame < d.sourceFirstFrame || d.source == nullptr) {
        return false;
    }
    // Divided rather than multiplied: frame x 3 x rows x columns can pass 2^64.
    return bytesPerFrame == 0 ||
           static_cast<std::uint64_t>(frame - d.sourceFirstFrame) < d.sourceLength / bytesPerFrame;
}

bool CDicomFile::PrepareGreyFrame(std::uint16_t bitsAllocated, std::int32_t frame) {
    const std::uint64_t samples = std::uint64_t{m_nRows} * m_nColumns;
    switch (bitsAllocated) {
    case 8: return FrameInside(frame, samples);
    // Read from the start of the samples whatever the frame: one frame's bytes must be there.
    case 12: return FrameInside(m_impl->sourceFirstFrame, TwelveBitFrameBytes(m_nRows, m_nColumns));
    case 16: {
        Impl& d = *m_impl;
        // The range and the default window come from all samples of every frame
        // (decoded, for compressed data), and are set before the frame itself is
        // looked for. Without a window in the file the range is needed now;
        // otherwise it waits until someone settles it.
        d.rangePending = true;
        if (m_nWindowWidth == 0 && !ResolveSampleRange()) {
            return false;
        }
        if (RangeCached()) {
            SetRangeFields(d.range);
        }
        if (m_nWindowWidth == 0) {
            DefaultWindow(d.range, m_nWindowWidth, m_nWindowCenter);
        }
        return FrameInside(frame, samples * 2);
    }
    default: return false;
    }
}

void CDicomFile::WriteGreyRows(std::uint16_t bitsAllocated, std::int32_t frame, std::uint8_t* rows,
                               std::size_t stride) {
    const std::size_t columns = m_nColumns;
    if (bitsAllocated == 8) {
        const std::uint8_t* source = SourceFrame(frame, std::size_t{m_nRows} * columns);
        for (std::size_t i = 0; i < m_nRows; ++i) {
            std::memcpy(rows + i * stride, source + (m_nRows - 1 - i) * columns, columns);
        }
    } else if (bitsAllocated == 12) {
        Write12BitRows(rows, stride);
    } else if (bitsAllocated == 16) {
        Write16BitRows(frame, rows, stride);
    }
}

void CDicomFile::Write12BitRows(std::uint8_t* rows, std::size_t stride) const {
    const std::size_t columns = m_nColumns;
    const std::size_t total = std::size_t{m_nRows} * columns;
    const std::uint8_t* data = m_impl->source;
    const std::size_t groups = data != nullptr ? m_impl->sourceLength / 3 : 0;
    // Output byte o goes to row o / columns, kept in the file's order (top row first).
    const auto put = [&](std::size_t o, std::uint8_t value) { rows[o / columns * stride + o % columns] = value; };
    std::size_t o = 0;
    for (std::size_t g = 0; g < groups && o < total; ++g) {
        const std::uint8_t* d = data + 3 * g;
        put(o++, TwelveBitFirst(d[0], d[1]));
        if (o < total) {
            put(o++, TwelveBitSecond(d[1], d[2]));
        }
    }
}

void CDicomFile::Write16BitRows(std::int32_t frame, std::uint8_t* rows, std::size_t stride) {
    Impl& d = *m_impl;
    const bool invert = IsMonochrome1(m_szPhotometric);
    if (!d.tableKnown || d.tableWidth != m_nWindowWidth || d.tableCentre != m_nWindowCenter ||
        d.tableIntercept != m_nRescaleIntercept || d.tableInverted != invert) {
        BuildGreyTable(d.table, m_nWindowWidth, m_nWindowCenter, m_nRescaleIntercept, invert);
        d.tableKnown = true;
        d.tableWidth = m_nWindowWidth;
        d.tableCentre = m_nWindowCenter;
        d.tableIntercept = m_nRescaleIntercept;
        d.tableInverted = invert;
    }
    const std::uint8_t* table = d.table.data();
    const std::size_t columns = m_nColumns;
    const std::uint8_t* source = SourceFrame(frame, std::size_t{m_nRows} * columns * 2);
    for (std::size_t i = 0; i < m_nRows; ++i) {
        const std::uint8_t* in = source + (m_nRows - 1 - i) * columns * 2;
        std::uint8_t* out = rows + i * stride;
        for (std::size_t c = 0; c < columns; ++c) {
            out[c] = table[ReadLE16(in + 2 * c)];
        }
    }
}

void CDicomFile::WriteRgbRows(std::int32_t frame, std::uint8_t* rows, std::size_t stride) const {
    const std::size_t rowBytes = std::size_t{3} * m_nColumns;
    const std::uint8_t* source = SourceFrame(frame, std::size_t{m_nRows} * rowBytes);
    for (std::size_t k = 0; k < m_nRows; ++k) {
        const std::uint8_t* in = source + (m_nRows - 1 - k) * rowBytes;
        std::uint8_t* out = rows + k * stride;
        for (std::size_t p = 0; p < rowBytes; p += 3) {
            out[p] = in[p + 2];  // R, G, B in the file; B, G, R in the bitmap
            out[p + 1] = in[p + 1];
            out[p + 2] = in[p];
        }
    }
}

std::unique_ptr<std::uint8_t[]> CDicomFile::ExtractFrame(std::uint16_t bitsAllocated, std::int32_t frame) {
    if (!SelectSamples(frame) || !PrepareGreyFrame(bitsAllocated, frame) ||
        !FrameFitsInMemory(m_nRows, m_nColumns, 1)) {
        return nullptr;
    }
    const std::size_t size = std::size_t{m_nRows} * m_nColumns;
    std::unique_ptr<std::uint8_t[]> rows(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]());
    if (rows && size != 0) {
        WriteGreyRows(bitsAllocated, frame, rows.get(), m_nColumns);
    }
    return rows;
}

PackedDibPtr CDicomFile::MakeFrameDib(std::int32_t frame) {
    if (m_nRows == 0 || m_nColumns == 0 || m_nSamplesPerPixel > 3) {
        return nullptr;
    }
    if (!SelectSamples(frame)) {
        return nullptr;
    }
    const std::uint16_t width = BuiltWidth(m_nColumns);
    if (m_nSamplesPerPixel == 3) {
        // Frame f of interleaved colour starts at byte f x 3 x rows x columns.
        if (!FrameInside(frame, std::uint64_t{3} * m_nRows * m_nColumns) ||
            !FrameFitsInMemory(m_nRows, m_nColumns, 3)) {
            return nullptr;
        }
        PackedDibPtr dib = CreateRgbDib(width, m_nRows);
        if (dib) {
            WriteRgbRows(frame, DibBits(dib.get()), DibRowStride(dib.get()));
        }
        return dib;
    }
    if (!PrepareGreyFrame(m_nBitsAllocated, frame) || !FrameFitsInMemory(m_nRows, m_nColumns, 1)) {
        return nullptr;
    }
    PackedDibPtr dib = CreateGreyDib(width, m_nRows);
    if (dib) {
        WriteGreyRows(m_nBitsAllocated, frame, DibBits(dib.get()), DibRowStride(dib.get()));
    }
    return dib;
}

std::span<const std::uint8_t> CDicomFile::FrameSamples(std::int32_t frame) const {
    if (m_nRows == 0 || m_nColumns == 0 || m_nSamplesPerPixel >= 3 ||
        (m_nBitsAllocated != 8 && m_nBitsAllocated != 16)) {
        return {};
    }
    if (!SelectSamples(frame)) {
        return {};
    }
    const std::uint64_t bytes = std::uint64_t{m_nRows} * m_nColumns * (m_nBitsAllocated / 8);
    if (!FrameInside(frame, bytes)) {
        return {};
    }
    return {SourceFrame(frame, static_cast<std::size_t>(bytes)), static_cast<std::size_t>(bytes)};
}

void CDicomFile::MapSamplesToGrey(std::int16_t* samples, std::size_t count) {
    SampleRange range;
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::int16_t>(samples[i] + m_nRescaleIntercept);
        range.max = samples[i] > range.max ? samples[i] : range.max;
        range.min = samples[i] < range.min ? samples[i] : range.min;
    }
    m_nMaxSample = range.max;
    m_nMinSample = range.min;
    if (m_nWindowWidth == 0) {
        DefaultWindow(range, m_nWindowWidth, m_nWindowCenter);
    }
    const bool invert = IsMonochrome1(m_szPhotometric);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t grey = WindowGrey(samples[i], m_nWindowWidth, m_nWindowCenter);
        samples[i] = invert ? static_cast<std::int16_t>(255 - grey) : grey;
    }
}

Reason CDicomFile::NoImageReason(std::int32_t frame) const {
    if (m_impl->loadFailure) {
        return m_impl->loadFailure;
    }
    if (m_impl->dataSetProblem) {
        return m_impl->dataSetProblem;
    }
    if (m_nRows == 0 || m_nColumns == 0) {
        return DicomNoImage::NoRowsOrColumns;
    }
    if (m_nSamplesPerPixel > 3) {
        return Reason(DicomNoImage::TooManySamples).Numbers(m_nSamplesPerPixel);
    }
    std::uint64_t bytesPerFrame = std::uint64_t{m_nRows} * m_nColumns;
    std::int32_t frameRead = frame;
    if (m_nSamplesPerPixel == 3) {
        bytesPerFrame *= 3;
    } else if (m_nBitsAllocated == 16) {
        bytesPerFrame *= 2;
    } else if (m_nBitsAllocated != 8 && m_nBitsAllocated != 12) {
        return Reason(DicomNoImage::UnsupportedBitsAllocated).Numbers(m_nBitsAllocated);
    }
    if (!SelectSamples(frame)) {
        return m_impl->sourceReason;
    }
    if (m_nSamplesPerPixel < 3 && m_nBitsAllocated == 12) {
        // Read from the start of the samples whatever the frame: one frame's bytes must be there.
        bytesPerFrame = TwelveBitFrameBytes(m_nRows, m_nColumns);
        frameRead = m_impl->sourceFirstFrame;
    }
    if (m_impl->source == nullptr) {
        return DicomNoImage::NoPixelData;
    }
    if (!FrameInside(frameRead, bytesPerFrame)) {
        return Reason(DicomNoImage::FrameOutside).Numbers(frame);
    }
    if (!FrameFitsInMemory(m_nRows, m_nColumns, m_nSamplesPerPixel)) {
        return Reason(DicomNoImage::TooLargeToShow).Numbers(m_nColumns, m_nRows);
    }
    return {};
}

bool CDicomFile::FrameShows(std::int32_t frame) const {
    const bool grey = m_nSamplesPerPixel < 3 && (m_nBitsAllocated == 8 || m_nBitsAllocated == 16);
    const bool colour = m_nSamplesPerPixel == 3 && m_nBitsAllocated == 8;
    if (!m_impl->loadFailure && m_impl->encapsulated) {
        return CompressedFrameShows(frame) && FrameFitsInMemory(m_nRows, m_nColumns, m_nSamplesPerPixel);
    }
    if (m_impl->loadFailure || !HasPixelData() || m_nRows == 0 || m_nColumns == 0 || !(grey || colour) ||
        !ReadWhereStored()) {
        return !NoImageReason(frame);
    }
    const std::uint64_t bytesPerFrame = std::uint64_t{m_nRows} * m_nColumns * (colour ? 3 : m_nBitsAllocated / 8);
    return frame >= 0 && static_cast<std::uint64_t>(frame) < m_nPixelDataLength / bytesPerFrame &&
           FrameFitsInMemory(m_nRows, m_nColumns, m_nSamplesPerPixel);
}
