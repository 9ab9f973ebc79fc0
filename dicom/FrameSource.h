// The stored samples of frame N of one file: read by position, swapped to
// little-endian, unpacked (1- and 12-bit samples), rearranged (planes, YBR) or
// decoded (compressed transfer syntaxes), and kept in a small cache of the frames
// asked for last. Also the one place that decides whether a frame gives an image
// at all (Check), without reading it where the attributes tell.
//
// Thread-safe and meant to be shared (std::shared_ptr): the viewer's range pass,
// the readout, a prefetch and a series of many files all read through it at once.
// Every call into the frame decoders is made here, in Decode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "dicom/EncapsulatedPixelData.h"
#include "dicom/ImageAttributes.h"
#include "io/ByteSource.h"
#include "io/ZeroedMemory.h"
#include "io/Expected.h"
#include "io/Reason.h"

struct CompressedFrames;
struct TransferSyntax;

// How the samples of a frame are laid out for the render function: rows top first,
// little-endian, `rows` x `columns` of them.
enum class SampleLayout : std::uint8_t {
    Grey8,    // stored bit patterns in one byte (1- and 8-bit samples; palette indices)
    Grey16,   // in two bytes (12- and 16-bit samples; palette indices)
    Grey32,   // in four bytes
    Float32,  // IEEE numbers
    Float64,
    Rgb8,  // three bytes a pixel, R G B
};

// Bytes one sample of `layout` takes (three for a pixel of Rgb8).
std::size_t SampleBytes(SampleLayout layout);

struct FrameSamples {
    std::int32_t frame = 0;
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
    // More than 1 only for the blocks of consecutive frames a range pass reads.
    std::uint32_t frames = 1;
    SampleLayout layout = SampleLayout::Grey8;
    std::span<const std::uint8_t> bytes;  // Pixels() x SampleBytes(layout)
    std::shared_ptr<const void> owner;    // keeps `bytes` alive

    std::size_t Pixels() const { return std::size_t{rows} * columns * frames; }
    // The raw pattern of grey sample `index` (Grey8, Grey16, Grey32).
    std::uint32_t Raw(std::size_t index) const;
};

// The stored value of grey sample `index`: its stored bits (Bits Stored below High
// Bit), signed by the pixel representation; the number itself for float samples.
double StoredValueAt(const FrameSamples& samples, const ImageAttributes& attributes, std::size_t index);
// The stored value of a raw integer pattern.
std::int64_t StoredValueOf(std::uint32_t raw, const ImageAttributes& attributes);

// StoredValueOf with the shift, mask and sign of one set of attributes worked out
// once: loops over every pattern or every sample call Of inline.
class StoredValueReader {
public:
    explicit StoredValueReader(const ImageAttributes& attributes);
    std::int64_t Of(std::uint32_t raw) const {
        const std::uint64_t bits = (std::uint64_t{raw} >> m_shift) & m_mask;
        return (bits & m_sign) != 0 ? static_cast<std::int64_t>(bits) - m_wrap : static_cast<std::int64_t>(bits);
    }

private:
    int m_shift = 0;
    std::uint64_t m_mask = 0;
    std::uint64_t m_sign = 0;  // the sign bit of signed samples; 0 for unsigned ones
    std::int64_t m_wrap = 0;   // 2^bits stored
};

// Why a frame gives no image.
enum class DicomNoImage {
    NoRowsOrColumns,
    TooManySamples,            // First: the samples per pixel
    UnsupportedBitsAllocated,  // First: the bits allocated
    NoPixelData,
    Encapsulated,         // compressed fragments, which the reader does not decode
    FrameOutside,         // First: the frame asked for
    DataSetUnreadable,    // Subject: why the data set after the meta group cannot be read (an
                          // inflation that fails gives the inflater's own reason)
    SyntaxNotShown,       // Subject: what the frames are compressed as (e.g. "JPEG XL")
    SyntaxUnknown,        // Subject: the transfer syntax UID
    FrameNotDecoded,      // Subject: what kept the frame from being decoded (a decoder, or the
                          // search for the frame's fragments, gives its own reason)
    PaletteColour,        // PALETTE COLOR without a complete palette
    PhotometricNotShown,  // Subject: the photometric interpretation; First: the samples per pixel of
                          // a grey or palette one, Second: the bits allocated of YBR_FULL_422
    ColourBitsAllocated,  // First: the bits allocated of a colour image
    TooLargeToShow,       // First x Second: the columns and rows
    PixelDataCutShort,    // First: the bytes there are, Second: the bytes the file declares
};
std::string ReasonText(DicomNoImage code, const Reason& reason);
const char* ReasonName(DicomNoImage code);
const char* ReasonSummary(DicomNoImage code);

// Why no frame of a file with these attributes can give an image, whatever its
// bytes; empty when frames can.
Reason ImageProblem(const ImageAttributes& attributes);

class FrameSource {
public:
    // What the reader hands over once its walk has found the pixel data.
    struct Parts {
        std::shared_ptr<const ImageAttributes> attributes;
        std::shared_ptr<const ByteSource> file;  // where the pixel data lies; null without pixel data
        std::string path;                        // for the words of a failed read
        const TransferSyntax* syntax = nullptr;  // of the file meta group; null when none or unknown
        std::string syntaxUid;
        Reason dataSetProblem;  // the data set could not be read (a deflate that failed)
        // Encapsulated pixel data: the items as the walk found them, when it walked
        // them (otherwise they are walked with the first compressed frame).
        bool itemsWalked = false;
        EncapsulatedPixelData fragments;
        Reason itemsProblem;
        std::uint64_t itemsStart = 0;  // where the first item starts in `file`
        ExtendedOffsets extended;
    };

    explicit FrameSource(Parts parts);
    ~FrameSource();
    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;

    const ImageAttributes& Attributes() const { return *m_parts.attributes; }
    const std::shared_ptr<const ImageAttributes>& SharedAttributes() const { return m_parts.attributes; }

    // Why frame `frame` (from 0) gives no image, decided from the attributes and
    // where its bytes lie, without reading or decoding them; empty when it gives
    // one. A compressed frame whose bytes are corrupt is said to give one: only the
    // decode tells, and Frame then says why it did not.
    Reason Check(std::int32_t frame) const;
    // The stored samples of frame `frame`; the cache keeps the last few frames asked for.
    Expected<std::shared_ptr<const FrameSamples>> Frame(std::int32_t frame) const;
    // The same without keeping them, for passes over every frame: the frames the
    // viewer shows stay in the cache.
    Expected<std::shared_ptr<const FrameSamples>> FrameUncached(std::int32_t frame) const;

    // Frame `frame` at a lower resolution, for a quick picture only (never for
    // values): each side 2^reduce times smaller, rounded up, or as near as the
    // frame's codec gives; not kept. A frame the cache holds, and frames whose codec
    // gives no cheaper reduced decode, come whole: the samples' rows and columns say
    // which.
    Expected<std::shared_ptr<const FrameSamples>> FrameReduced(std::int32_t frame, std::uint8_t reduce) const;
    // Whether frames decode at reduced resolutions for a fraction of a full decode
    // (JPEG 2000 and High-Throughput JPEG 2000, whose resolution levels are stored
    // apart).
    bool DecodesReduced() const;

    // Frames [first, first + count) as one block, without keeping them: a pass over
    // many small frames then costs a few reads, not one per frame. Uncompressed
    // frames only (compressed ones come one at a time: count is then 1); every
    // frame of the block must pass Check.
    Expected<std::shared_ptr<const FrameSamples>> FramesUncached(std::int32_t first, std::int32_t count) const;
    // Rows [firstRow, firstRow + rowCount) of frame `frame` as samples of that many
    // rows, without keeping them: a pass over frames too large to hold twice reads
    // them in parts. Uncompressed grey frames only (others come whole, as
    // FrameUncached gives them); a frame the cache holds is not read again.
    Expected<std::shared_ptr<const FrameSamples>> FrameRowsUncached(std::int32_t frame, std::uint16_t firstRow,
                                                                    std::uint16_t rowCount) const;

    // Frames the pixel data holds whole: the frames claimed, or fewer when the
    // uncompressed data is shorter.
    std::int32_t FramesHeld() const;
    // Whether the file is still the one opened (its size and modification time);
    // bytes in memory always are.
    bool Unchanged() const { return m_parts.file == nullptr || m_parts.file->Unchanged(); }

private:
    struct CachedFrame {
        std::int32_t frame = 0;
        std::shared_ptr<const FrameSamples> samples;
    };
    struct ColourPlan;

    Expected<std::shared_ptr<const FrameSamples>> Read(std::int32_t frame) const;
    // Frames [frame, frame + count), or with `rowCount` rows [firstRow, firstRow +
    // rowCount) of one grey frame.
    Expected<std::shared_ptr<const FrameSamples>> ReadStored(std::int32_t frame, std::int32_t count,
                                                             std::uint16_t firstRow = 0,
                                                             std::uint16_t rowCount = 0) const;
    Expected<std::shared_ptr<const FrameSamples>> Decode(std::int32_t frame, std::uint8_t reduce = 0) const;
    // Bits one stored frame takes, before any rearranging.
    std::uint64_t StoredFrameBits() const;
    bool PlanColour(ColourPlan& plan, bool decodedToRgb, Reason& why) const;
    void ArrangeColour(const ColourPlan& plan, ZeroedBytes& data, std::size_t bytesPerSample) const;
    // Where the compressed frames lie and how they decode, made with the first one.
    std::shared_ptr<const CompressedFrames> CompressedPlan(std::int32_t frame, Reason& why) const;
    Reason ReadFailure(SourceRead read) const;

    Parts m_parts;
    mutable std::mutex m_mutex;               // guards everything below
    mutable std::deque<CachedFrame> m_cache;  // most recent first
    mutable std::shared_ptr<const CompressedFrames> m_compressed;
};
