// The DICOM reader: keeps one file open, walks its data elements, and either
// captures what describes the pixels (the ImageAttributes value and a FrameSource
// that reads the frames) or names and renders each element for the header listing.
//
// Opening costs the element headers and the few values that are captured or
// listed: pixel data is never read by the walk. Frames are read by position when
// they are shown, through the frame source.
//
// It is a tolerant walker, not a validating parser: it decides explicit or implicit
// VR element by element and never reads outside the file's bytes whatever their
// lengths claim. Numbers are little-endian unless the file meta group names the
// big-endian transfer syntax; a deflated data set is read through its inflated
// bytes, made on demand and never held whole, and compressed frames are decoded
// one at a time when they are shown.
#pragma once

#include <atomic>
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
#include "io/ByteSource.h"
#include "io/Reason.h"
#include "io/WriteOutcome.h"

// Why a frame gives no image (DicomNoImage) is declared with the frame source.

// Why a walk stopped before the end of the file's bytes, taking the rest for data
// that is not DICOM.
enum class DicomWalkStop {
    // First: where the run starts, Second: the bytes from there to the end, Third
    // and Fourth: the group and element repeated.
    RepeatedElement,
    // First: where the value starts, Second: the length its header declares, Third
    // and Fourth: the group and element, Fifth: the bytes there are from First on.
    ValueCutShort,
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

    // What another reader needs to walk the bytes this one has loaded without reading
    // or inflating anything again: the source (once a walk has entered a deflated data
    // set, its inflated bytes, whose restart points are already found), the path, and
    // whether that inflation was done or failed.
    struct SharedBytes {
        std::shared_ptr<const ByteSource> source;  // null when nothing is loaded
        std::string path;
        bool inflated = false;
        Reason inflateFailure;
    };
    SharedBytes ShareBytes() const;
    // Loads what another reader shared (-1 when it holds nothing). The two readers may
    // then walk on different threads: the source is thread-safe, the walks are not shared.
    int LoadShared(const SharedBytes& bytes);

    // 2: the elements follow a 128-byte preamble and "DICM" (the prefix is there, or
    // the first 100 bytes, all of a shorter file, are zero); 3: they start at 0.
    int DetectLayout() const;
    // The capture pass over the whole buffer. With `stopAtPixelData`, a header walk:
    // it ends at the top-level pixel data, which Frames() still reads (the fragments
    // of compressed data are then found with the first frame decoded).
    void ParseElements(int layout, bool stopAtPixelData = false);
    // The listing pass: after each element, DescribeElement, then `row` is called
    // with the reader holding the element's group, element, name, VR, length and
    // text (Group(), Element(), ...).
    // It always lists from the first element, whatever an earlier pass left.
    // `cancel`, when given, is looked at after each row and ends the walk when set.
    void ListElements(int layout, const std::function<void(const CDicomFile&)>& row,
                      const std::atomic<bool>* cancel = nullptr);

    // Why the last walk stopped before the end of the bytes (the listing shows it as
    // a note); empty when it did not. A run of kRepeatedRun or more consecutive
    // elements with one tag (item and delimiter tags aside), which no real data set
    // holds, ends the walk where it starts: a file of zeros is hundreds of millions of
    // empty (0000,0000) elements that would otherwise all be walked and listed.
    const Reason& WalkStop() const;
    // The element whose value runs past the end of the file, where the last walk
    // ended (ValueCutShort); none when every value the walk met was whole.
    Reason ValueCutShort() const;
    static constexpr int kRepeatedRun = 16;

    // The walk with neither capture nor listing: `visit` sees each element as the
    // walk reads it, with the first `valueLimit` bytes of its value, and ends the walk
    // by returning false, before anything after that element is read (the fragments
    // of compressed pixel data included). Layout 3 walks from the first element.
    void VisitElements(int layout, std::uint32_t valueLimit, const std::function<bool(const DicomElementVisit&)>& visit);

    // Decodes the element header at the cursor and moves the cursor past the value
    // (or, for an undefined length, to where the walk continues). False, with the
    // cursor at the end, when the header or the value does not fit in the bytes:
    // such an element ends the walk and is neither captured nor listed.
    bool ReadElementHeader();
    static bool IsExplicitVR(const std::uint8_t* twoBytes);
    // Closes the file and forgets what was captured and the current element; keeps
    // the value text. Attributes and frames already handed out stay valid.
    void Reset();
    void ClearElement();
    // The listing's element step: names the element from the dictionary and renders
    // its value as text.
    void DescribeElement();
    void FormatValue();
    // FormatValue as if the dictionary gave the current element the VR `vr`.
    void FormatValueAs(const char* vr) {
        m_pszVR = vr;
        FormatValue();
    }

    // The current element of a walk, as the listing shows it: group, element,
    // dictionary name and VR (the empty text when the dictionary has no entry),
    // value length (0 for an undefined length) and value text.
    std::uint16_t Group() const { return m_nGroup; }
    std::uint16_t Element() const { return m_nElement; }
    const char* Name() const { return m_pszName; }
    const char* Vr() const { return m_pszVR; }
    std::uint32_t Length() const { return m_nLength; }
    const char* ValueText() const { return m_szValueText; }
    static constexpr std::size_t kValueTextSize = 1500;
    // Where the walk stands, and the bytes it walks.
    std::uint64_t Cursor() const { return m_nCursor; }
    void SetCursor(std::uint64_t cursor) { m_nCursor = cursor; }
    std::uint64_t Size() const { return m_nSize; }

    // What the last capture pass found, taken from the top-level data set only (and
    // the functional groups of an enhanced multi-frame file): fixed for as long as
    // they are held, whatever the reader does next. Null before any capture pass.
    std::shared_ptr<const ImageAttributes> Attributes() const;
    // The frames of the pixel data that pass found, read through the file the reader
    // keeps open; shares that file, so it outlives the reader. Null before any capture pass.
    std::shared_ptr<const FrameSource> Frames() const;

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
    // Why a read of the file ended as `read`: the file changed, or failed.
    Reason ReadFailure(SourceRead read) const;

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

    // Whole file.
    std::uint64_t m_nCursor = 0;
    std::uint64_t m_nSize = 0;
    char m_szValueText[kValueTextSize] = {};

    // Current element of the walk.
    std::uint16_t m_nGroup = 0;
    std::uint16_t m_nElement = 0;
    const char* m_pszName = "";
    const char* m_pszVR = "";
    std::uint32_t m_nLength = 0;

    struct Impl;
    std::unique_ptr<Impl> m_impl;  // the open file, the walk's state and what the capture gathers
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
