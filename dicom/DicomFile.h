// The DICOM reader: keeps one file open, walks its data elements, captures the
// attributes that describe the pixel data, turns one frame at a time into a
// displayable bitmap, and names and renders elements for the header listing.
//
// Opening costs the element headers and the few values that are captured or
// listed: uncompressed pixel data is never read whole. A frame's bytes are read by
// position when the frame is converted, and the range of all samples (for the
// window sliders and the default window) only when something asks for it.
//
// It is a tolerant walker, not a validating parser: it decides explicit or implicit
// VR element by element and never reads outside the file's bytes whatever their
// lengths claim. Numbers are little-endian unless the file meta group names the
// big-endian transfer syntax; a deflated data set is read through its inflated
// bytes, made on demand and never held whole, and compressed frames are decoded
// one at a time when they are shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dicom/DicomWriter.h"
#include "dicom/FrameSource.h"
#include "dicom/ImageAttributes.h"
#include "image/PackedDib.h"
#include "io/Reason.h"
#include "io/WriteOutcome.h"

struct CompressedFrames;
struct FrameGeometry;
struct SampleRange;
struct SampleRangeRequest;
class ByteSource;
enum class SourceRead;

// Why a frame gives no image (DicomNoImage) is declared with the frame source.

// Why a walk stopped before the end of the file's bytes, taking the rest for data
// that is not DICOM.
enum class DicomWalkStop {
    // First: where the run starts, Second: the bytes from there to the end, Third
    // and Fourth: the group and element repeated.
    RepeatedElement,
};
std::string ReasonText(DicomWalkStop code, const Reason& reason);

// One element as VisitElements hands it over.
struct DicomElementVisit {
    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::uint32_t length = 0;  // 0 for an undefined length
    bool undefinedLength = false;
    bool bigEndian = false;   // the value's numbers are big-endian
    std::uint64_t start = 0;  // offset of the element's first byte
    std::uint64_t next = 0;   // where the walk goes on
    // The first bytes of the value, at most the limit asked for; for an undefined
    // length, the 8 bytes where the value starts (the tag and length of a first item,
    // or a delimiter), which the walk may have stepped over. Shorter when the bytes
    // are not there.
    std::span<const std::uint8_t> value;
};

class CDicomFile {
public:
    CDicomFile();
    virtual ~CDicomFile();
    CDicomFile(const CDicomFile&) = delete;
    CDicomFile& operator=(const CDicomFile&) = delete;

    // Opens the file for positioned reads and keeps it open; reads nothing but its
    // first bytes. -1 if it cannot be opened or is a folder (nothing kept then, and
    // LoadFailure says why); 0 otherwise. Files of 4 GiB and more are taken: offsets
    // are 64-bit, and only element lengths are 32-bit. Callers Reset first.
    int LoadFile(const std::string& path);
    // Why the last load failed; empty after a successful load or a Reset.
    const Reason& LoadFailure() const;
    // The same for bytes already in memory (tests, fuzzing): copies them.
    int LoadBuffer(const std::uint8_t* bytes, std::size_t size);
    // The same for any source of bytes (null: -1). Sources without Memory() are read
    // by position, as a file is.
    int LoadSource(std::shared_ptr<const ByteSource> source);

    // 2: the elements follow a 128-byte preamble and "DICM" (the prefix is there, or
    // the first 100 bytes, all of a shorter file, are zero); 3: they start at 0.
    int DetectLayout() const;
    // The capture pass over the whole buffer. With `stopAtPixelData`, a header walk:
    // it ends at the top-level pixel data, which Frames() still reads (the fragments
    // of compressed data are then found with the first frame decoded).
    void ParseElements(int layout, bool stopAtPixelData = false);
    // The listing pass: after each element, DescribeElement, then `row` is called
    // with the reader holding the element's group, element, name, VR, length and text.
    // It always lists from the first element, whatever an earlier pass left.
    void ListElements(int layout, const std::function<void(const CDicomFile&)>& row);

    // Why the last walk stopped before the end of the bytes (the listing shows it as
    // a note); empty when it did not. A run of kRepeatedRun or more consecutive
    // elements with one tag (item and delimiter tags aside), which no real data set
    // holds, ends the walk where it starts: a file of zeros is hundreds of millions of
    // empty (0000,0000) elements that would otherwise all be walked and listed.
    const Reason& WalkStop() const;
    static constexpr int kRepeatedRun = 16;

    // The walk with neither capture nor listing: `visit` sees each element as the
    // walk reads it, with the first `valueLimit` bytes of its value, and ends the walk
    // by returning false, before anything after that element is read (the fragments
    // of compressed pixel data included). Layout 3 walks from the first element.
    void VisitElements(int layout, std::uint32_t valueLimit, const std::function<bool(const DicomElementVisit&)>& visit);

    // Decodes the element header at m_nCursor and moves the cursor past the value
    // (or, for an undefined length, to where the walk continues). False, with the
    // cursor at m_nSize, when the header or the value does not fit in the buffer:
    // such an element ends the walk and is neither captured nor listed.
    bool ReadElementHeader();
    static bool IsExplicitVR(const std::uint8_t* twoBytes);
    // Closes the file, clears the image fields, the current element and the
    // photometric text; keeps the sample range and the value text.
    void Reset();
    void ClearImageFields();
    void ClearElement();
    void CaptureAttribute();
    void DescribeElement();
    void FormatValue();

    // A new bitmap of frame `frame` (8-bit grey with a grey table, or 24-bit), or null.
    PackedDibPtr MakeFrameDib(std::int32_t frame);
    // The bit count of the bitmaps MakeFrameDib gives: 24 for three samples per pixel, else 8.
    std::uint16_t FrameBitCount() const { return m_nSamplesPerPixel == 3 ? 24 : 8; }
    // The frame's rows as 8-bit samples, bottom row first for 8 and 16 bits allocated.
    std::unique_ptr<std::uint8_t[]> ExtractFrame(std::uint16_t bitsAllocated, std::int32_t frame);
    // The grey samples (8 or 16 bits allocated, one per pixel) of frame `frame` as the
    // conversion reads them: little-endian, top row first, rows x columns of them,
    // signed samples narrower than 16 bits sign-extended. Compressed frames come from
    // the frame decoded last, so asking for the frame just converted decodes nothing.
    // Empty when the frame gives no such samples. Valid until the reader reads again.
    std::span<const std::uint8_t> FrameSamples(std::int32_t frame) const;
    // Maps `count` 16-bit samples in place to grey levels 0..255 through the window.
    void MapSamplesToGrey(std::int16_t* samples, std::size_t count);

    // The high bit samples are read with: (0028,0102) as the file gives it, or, when
    // the file leaves it out, one below Bits Stored (itself Bits Allocated when left
    // out), as other readers take it. m_nHighBit and m_nBitsStored keep what the file says.
    std::int16_t HighBit() const;

    // Whether the captured pixel data is a sequence of fragments rather than samples.
    bool PixelDataEncapsulated() const;
    // Whether the captured pixel data holds big-endian samples.
    bool PixelDataBigEndian() const;

    // Why MakeFrameDib(frame) gives no image (the load failure first); empty when it
    // gives one.
    Reason NoImageReason(std::int32_t frame) const;
    // Whether frame `frame` gives an image, as NoImageReason says, but without reading
    // the frame's bytes where the attributes can tell: for samples read where they lie
    // the attributes and the pixel data's length decide, for compressed frames the
    // attributes and the fragments found for the frame. (Reading or decoding a frame
    // that is not shown only to learn this costs a read from the disk and a decode.)
    // A compressed frame whose bytes are corrupt is said to show: its bitmap would
    // have the depth the attributes give, and the decode says why it has none.
    bool FrameShows(std::int32_t frame) const;

    // Bytes [offset, offset + size) of the pixel data value as stored, from memory,
    // from a small cache of recently read frames, or read from the file; null when
    // they lie outside the value or cannot be read. Valid until the reader reads again.
    const std::uint8_t* PixelBytes(std::uint64_t offset, std::uint64_t size) const;
    // Whether any pixel data was captured (possibly empty, or encapsulated).
    bool HasPixelData() const;

    // What the last capture pass found, taken from the top-level data set only (and
    // the functional groups of an enhanced multi-frame file): fixed for as long as
    // they are held, whatever the reader does next. Null before any capture pass.
    std::shared_ptr<const ImageAttributes> Attributes() const;
    // The frames of the pixel data that pass found, read through the file the reader
    // keeps open; shares that file, so it outlives the reader. Null before any capture pass.
    std::shared_ptr<const FrameSource> Frames() const;

    // The range of all 16-bit samples. A conversion of uncompressed 16-bit samples
    // that does not need it (the file gives a window) leaves it pending, with
    // m_nMinSample and m_nMaxSample as they were; whoever shows the range settles it,
    // here and now or on another thread.
    bool SampleRangePending() const;
    // Computes a pending range now and sets m_nMinSample and m_nMaxSample. False
    // when the pixel data could no longer be read (the fields then stay as they were).
    bool ResolveSampleRange();
    // What the pending range pass reads, for ScanSampleRange on another thread.
    SampleRangeRequest PendingSampleRange() const;
    // Takes the result of that pass, if the request is still that of the captured pixel
    // data: caches it and, while it is pending, sets m_nMinSample and m_nMaxSample.
    bool AdoptSampleRange(const SampleRangeRequest& request, SampleRange range);

    // The Transfer Syntax UID of the file meta group as the last walk found it
    // (without padding), and its name; both empty without a meta group, the name
    // empty for a UID that is not known.
    std::string TransferSyntaxUid() const;
    std::string TransferSyntaxName() const;

    // Writes `dib` (8- or 24-bit) as a bare implicit-VR stream of 14 elements.
    // Null writes nothing and creates no file. `placement` says whether a file at
    // the path is replaced.
    WriteOutcome WriteDicomFile(const PackedDib* dib, const std::string& path,
                                Placement placement = Placement::ReplaceExisting);
    // Appends one implicit-VR element to `out`: with `value`, `length` bytes from it;
    // without, the 16-bit `shortValue` (length 2).
    static void WriteElement(std::string& out, std::uint16_t group, std::uint16_t element, std::uint32_t length,
                             std::uint16_t shortValue, const std::uint8_t* value = nullptr);

    // Whole file.
    const std::uint8_t* m_pBuffer = nullptr;  // the bytes of a source in memory; null for a file
    std::uint64_t m_nCursor = 0;
    std::uint64_t m_nSize = 0;
    char m_szValueText[1500] = {};

    // Range of the 16-bit samples (after the rescale) of the last conversion, once settled.
    std::int16_t m_nMaxSample = -32768;
    std::int16_t m_nMinSample = 32767;

    // Captured attributes.
    std::uint16_t m_nSamplesPerPixel = 0;
    std::uint16_t m_nRows = 0;
    std::uint16_t m_nColumns = 0;
    std::uint16_t m_nBitsAllocated = 0;
    std::int16_t m_nBitsStored = 0;
    std::int16_t m_nHighBit = 0;
    std::int16_t m_nPixelRepresentation = 0;
    std::int16_t m_nPlanes = 0;
    std::uint32_t m_nPixelDataLength = 0;
    std::uint32_t m_nPixelGroupLength = 0;
    std::int16_t m_nWindowWidth = 0;
    std::int16_t m_nWindowCenter = 0;
    std::int16_t m_nRescaleIntercept = 0;
    char m_szPhotometric[64] = {};
    // Kept for the viewer's pixel readout, corner texts and cine; the conversion to
    // grey does not use them (it keeps its whole-number intercept and no slope).
    double m_dRescaleSlope = 1.0;          // 1 when absent or not a finite number
    double m_dRescaleIntercept = 0.0;      // the intercept without truncation
    std::int16_t m_nFileWindowWidth = 0;   // the window as the file gave it (width 0:
    std::int16_t m_nFileWindowCenter = 0;  // none); the sliders change only the two above
    double m_dFrameTime = 0.0;             // milliseconds per frame; 0 when absent
    std::int32_t m_nCineRate = 0;          // frames per second; 0 when absent
    std::string m_strModality;             // texts without their padding blanks
    std::string m_strPatientName;
    std::string m_strPatientId;
    std::string m_strStudyDate;
    std::int32_t m_nFrames = 0;
    std::uint64_t m_nPixelDataOffset = 0;  // where the Pixel Data value starts in the file

    // Current element of the walk.
    std::uint16_t m_nGroup = 0;
    std::uint16_t m_nElement = 0;
    const char* m_pszName = "";
    const char* m_pszVR = "";
    std::uint32_t m_nLength = 0;

private:
    // `size` bytes of the loaded source at `offset` for the walk (inside m_nSize), or
    // null when they cannot be read; valid until the next call.
    const std::uint8_t* WalkBytes(std::uint64_t offset, std::size_t size);
    // Runs `step` after each element header from where `layout` starts the walk.
    template <typename Step>
    void WalkElements(int layout, Step step);
    // The first min(m_nLength, limit) bytes of the current element's value (which ends
    // at m_nCursor), or null when the cursor does not stand just past a value inside
    // the file or the bytes cannot be read.
    const std::uint8_t* CurrentValue(std::uint32_t limit);
    // Reads `size` bytes of the pixel data value at `offset` into `out`.
    SourceRead ReadPixels(std::uint64_t offset, std::uint8_t* out, std::size_t size) const;
    // Why a read of the pixel data ended as `read`: the file changed, or failed.
    Reason ReadFailure(SourceRead read) const;
    // What a pass over the whole captured pixel data reads for its range, as the
    // conversion reads the samples (rearranged or decoded); no source when there is
    // nothing to scan.
    SampleRangeRequest WholeRangeRequest() const;
    // The range cache holds the range of the captured pixel data.
    bool RangeCached() const;
    void SetRangeFields(SampleRange range);
    // Uncompressed samples read where they lie: only frame `frame` (or, for 12
    // bits, the groups one frame takes from the start), from the file.
    bool SelectStoredFrame(std::int32_t frame) const;
    // Checks and side effects of the grey path before any row is written (for
    // 16 bits: the sample range and the default window); false when there is no image.
    bool PrepareGreyFrame(std::uint16_t bitsAllocated, std::int32_t frame);
    void WriteGreyRows(std::uint16_t bitsAllocated, std::int32_t frame, std::uint8_t* rows, std::size_t stride);
    void Write12BitRows(std::uint8_t* rows, std::size_t stride) const;
    void Write16BitRows(std::int32_t frame, std::uint8_t* rows, std::size_t stride);
    void WriteRgbRows(std::int32_t frame, std::uint8_t* rows, std::size_t stride) const;
    // Whether frame `frame` of `bytesPerFrame` bytes lies wholly inside the samples
    // SelectSamples chose.
    bool FrameInside(std::int32_t frame, std::uint64_t bytesPerFrame) const;

    // The walk's handling of the file meta group: notes the transfer syntax, and
    // where the group ends, prepares the data set (big-endian numbers, inflation).
    // False when the data set cannot be read.
    void NoteTransferSyntax();
    bool EnterDataSet();
    // Whether the element just read at `start` begins a run of kRepeatedRun elements
    // with its tag; the element's header is read again after looking ahead. -1 when
    // it can no longer be read.
    int RepeatedRunAt(std::uint64_t start);
    // Reads the items of encapsulated pixel data and moves the cursor past them.
    void SkipPixelItems();
    // Follows the nesting of sequences and items as the walk enters and leaves them,
    // so that the capture takes only top-level elements.
    void TrackNesting(std::uint64_t start, bool skippedPixelItems);
    // The top-level element just read for ImageAttributes: its value, the items of a
    // sequence, or where the pixel data lies.
    void CaptureTopLevel();
    // Makes the attributes and the frame source of what the capture pass found.
    void FinishCapture();

    // Chooses the samples the conversion reads for `frame`, rearranging or decoding
    // when the file does not store them as the conversion reads them; false, with
    // the reason kept for NoImageReason, when there are none.
    struct ColourPlan;
    bool SelectSamples(std::int32_t frame) const;
    // Whether the conversion reads the samples where the file holds them, and why not.
    bool ReadWhereStored() const;
    bool NeedsRearranging(const ColourPlan& plan) const;
    bool SignExtended() const;
    bool PlanColour(ColourPlan& plan, bool decodedToRgb, Reason& why) const;
    bool RearrangeStored(const ColourPlan& plan, bool signExtend, std::int32_t frame) const;
    void ArrangeColour(const ColourPlan& plan, std::vector<std::uint8_t>& data) const;
    bool DecodeStoredFrame(std::int32_t frame) const;
    // FrameShows for compressed pixel data: decided from the attributes and where the
    // fragments lie, without decoding, except where only the decoder can tell.
    bool CompressedFrameShows(std::int32_t frame) const;
    // Where the compressed frames lie and how they decode (made once, then kept);
    // null, with the reason, when frame `frame` cannot be decoded whatever its bytes.
    std::shared_ptr<const CompressedFrames> CompressedPlan(std::int32_t frame, Reason& why) const;
    FrameGeometry DecodedGeometry() const;
    // Frame `frame` rearranged or decoded earlier is still kept (and the file unchanged):
    // it becomes the source.
    bool ConvertedFrameKept(std::int32_t frame) const;
    void KeepConvertedFrame(std::int32_t frame, std::vector<std::uint8_t> samples) const;
    // The start of frame `frame` in the chosen samples.
    const std::uint8_t* SourceFrame(std::int32_t frame, std::size_t bytesPerFrame) const;

    struct Impl;
    std::unique_ptr<Impl> m_impl;  // the open file and per-file caches (frames, sample range)
};

// The dictionary entry of a tag, or null. Names and VRs are Windows-1252 texts with
// static lifetime.
struct DicomDictionaryEntry {
    std::uint16_t group;
    std::uint16_t element;
    const char* vr;
    const char* name;
};
const DicomDictionaryEntry* FindDictionaryEntry(std::uint16_t group, std::uint16_t element);
// All entries in tag order.
const DicomDictionaryEntry* DictionaryBegin();
const DicomDictionaryEntry* DictionaryEnd();
