// Loading, layout detection and the element walk of the DICOM reader.
#include "dicom/DicomFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "codecs/InflatingSource.h"
#include "dicom/DicomFileImpl.h"
#include "dicom/EncapsulatedPixelData.h"
#include "dicom/TransferSyntax.h"
#include "dicom/VrCodes.h"
#include "io/ByteOrder.h"
#include "io/RandomAccessFile.h"

namespace {

// Offset of the first element after the 128-byte preamble and "DICM".
constexpr std::uint32_t kPreambleEnd = 132;
// Bytes looked at to decide whether a preamble precedes the elements.
constexpr std::uint32_t kPreambleProbe = 100;
constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFFu;
// Bytes the walk reads from the file at a time: many small elements per read, and
// a value listed as text (at most 1499 bytes) always fits.
constexpr std::size_t kWalkWindow = std::size_t{64} << 10;

bool IsLongFormVR(const std::uint8_t* vr) { return IsLongFormVrCode(vr[0], vr[1]); }

}  // namespace

CDicomFile::CDicomFile() : m_impl(std::make_unique<Impl>()) {}

CDicomFile::~CDicomFile() = default;

void CDicomFile::Reset() {
    Impl& d = *m_impl;
    d.file.reset();
    d.loadFailure = Reason();
    d.path.clear();
    d.windowLength = 0;
    d.headLength = 0;
    d.capture = AttributeCapture();
    d.topPixels = PixelDataInfo();
    d.topPixelFile.reset();
    d.topFragments = EncapsulatedPixelData();
    d.extended = ExtendedOffsets();
    d.attributes.reset();
    d.frameSource.reset();
    m_nSize = 0;
    m_nCursor = 0;
    ClearElement();
}

Reason CDicomFile::ReadFailure(SourceRead read) const {
    if (read == SourceRead::Changed) {
        return Reason(FileReadFailure::ChangedOnDisk).About(m_impl->path);
    }
    return Reason(FileReadFailure::CannotRead).About(m_impl->path).Errno(EIO);
}

void CDicomFile::ClearElement() {
    m_nGroup = 0;
    m_nElement = 0;
    m_pszName = "";
    m_pszVR = "";
    m_nLength = 0;
}

int CDicomFile::LoadSource(std::shared_ptr<const ByteSource> source) {
    if (source == nullptr) {
        return -1;
    }
    // The layout is decided from the first bytes: read them now, while the file is
    // known to be there, so that DetectLayout reads nothing.
    Impl& d = *m_impl;
    std::uint8_t head[sizeof d.head];
    const auto headLength = static_cast<std::size_t>(std::min<std::uint64_t>(source->Size(), sizeof head));
    if (source->ReadAt(0, head, headLength) != SourceRead::Done) {
        return -1;
    }
    // Pixel data captured from the source being replaced (a load without a Reset
    // first) stays readable: it keeps its own reference to that source.
    d.file = std::move(source);
    d.windowLength = 0;
    d.inflated = false;
    d.inflateFailure = Reason();
    std::memcpy(d.head, head, headLength);
    d.headLength = headLength;
    m_nSize = d.file->Size();
    return 0;
}

int CDicomFile::LoadFile(const std::string& path) {
    m_impl->loadFailure = Reason();
    std::shared_ptr<RandomAccessFile> file = RandomAccessFile::Open(path, &m_impl->loadFailure);
    if (file == nullptr) {
        return -1;
    }
    if (LoadSource(std::move(file)) != 0) {
        m_impl->loadFailure = Reason(FileReadFailure::CannotRead).About(path).Errno(EIO);
        return -1;
    }
    m_impl->path = path;
    return 0;
}

const Reason& CDicomFile::LoadFailure() const { return m_impl->loadFailure; }

CDicomFile::SharedBytes CDicomFile::ShareBytes() const {
    const Impl& d = *m_impl;
    return {d.file, d.path, d.inflated, d.inflateFailure};
}

int CDicomFile::LoadShared(const SharedBytes& bytes) {
    m_impl->loadFailure = Reason();
    if (LoadSource(bytes.source) != 0) {
        const bool changed = bytes.source != nullptr && !bytes.source->Unchanged();
        m_impl->loadFailure = changed ? Reason(FileReadFailure::ChangedOnDisk).About(bytes.path)
                                      : Reason(FileReadFailure::CannotRead).About(bytes.path).Errno(EIO);
        return -1;
    }
    m_impl->path = bytes.path;
    m_impl->inflated = bytes.inflated;
    m_impl->inflateFailure = bytes.inflateFailure;
    return 0;
}

int CDicomFile::LoadBuffer(const std::uint8_t* bytes, std::size_t size) {
    m_impl->loadFailure = Reason();
    if (bytes == nullptr && size != 0) {
        return -1;
    }
    FileBuffer buffer = FileBuffer::Allocate(size);
    if (!buffer) {
        m_impl->loadFailure = Reason(FileReadFailure::OutOfMemory).About("the bytes given");
        return -1;
    }
    if (size != 0) {
        std::memcpy(buffer.Data(), bytes, size);
    }
    return LoadSource(std::make_shared<MemorySource>(std::move(buffer)));
}

int CDicomFile::DetectLayout() const {
    if (m_impl->file == nullptr) {
        return 2;  // nothing loaded: the walk of layout 2 reads nothing
    }
    const std::uint8_t* head = m_impl->head;
    const std::size_t length = m_impl->headLength;
    // The standard allows any preamble; the prefix is what marks the file format.
    if (length >= kPreambleEnd && std::memcmp(head + 128, "DICM", 4) == 0) {
        return 2;
    }
    const std::size_t probe = length < kPreambleProbe ? length : kPreambleProbe;
    for (std::size_t i = 0; i < probe; ++i) {
        if (head[i] != 0) {
            return 3;
        }
    }
    return 2;
}

const std::uint8_t* CDicomFile::WalkBytes(std::uint64_t offset, std::size_t size) {
    Impl& d = *m_impl;
    if (d.file == nullptr || offset > m_nSize || size > m_nSize - offset) {
        return nullptr;
    }
    if (const std::uint8_t* memory = d.file->Memory()) {
        return offset + size <= d.file->Size() ? memory + offset : nullptr;
    }
    if (offset >= d.windowStart && offset - d.windowStart <= d.windowLength &&
        size <= d.windowLength - (offset - d.windowStart)) {
        return d.window.data() + (offset - d.windowStart);
    }
    const std::size_t length =
        std::max(size, static_cast<std::size_t>(std::min<std::uint64_t>(kWalkWindow, m_nSize - offset)));
    if (d.window.size() < std::max<std::size_t>(length, 1)) {
        d.window.resize(std::max<std::size_t>(length, 1));
    }
    d.windowLength = 0;
    if (d.file->ReadAt(offset, d.window.data(), length) != SourceRead::Done) {
        return nullptr;  // the file changed or failed since it was opened: the walk ends here
    }
    d.windowStart = offset;
    d.windowLength = length;
    return d.window.data();
}

bool CDicomFile::IsExplicitVR(const std::uint8_t* twoBytes) { return IsKnownVrCode(twoBytes[0], twoBytes[1]); }

bool CDicomFile::ReadElementHeader() {
    ClearElement();
    m_impl->undefinedLength = false;
    m_impl->vr[0] = m_impl->vr[1] = 0;
    const std::uint64_t start = m_nCursor;
    const std::uint64_t size = m_nSize;
    const auto endWalk = [this] {
        m_nCursor = m_nSize;
        return false;
    };
    if (start > size || size - start < 8) {
        return endWalk();
    }
    const std::uint8_t* p = WalkBytes(start, size - start < 12 ? 8 : 12);
    if (p == nullptr) {
        return endWalk();
    }
    const bool big = m_impl->bigEndian;
    m_nGroup = Read16(p, big);
    m_nElement = Read16(p + 2, big);

    std::uint64_t valueStart = start + 8;
    std::uint32_t length = 0;
    std::uint64_t continueAt = 0;  // where the walk goes on after an undefined length
    if (IsExplicitVR(p + 4)) {
        m_impl->vr[0] = static_cast<char>(p[4]);
        m_impl->vr[1] = static_cast<char>(p[5]);
    }
    if (!IsExplicitVR(p + 4)) {
        length = Read32(p + 4, big);
        continueAt = start + 8;
    } else if (IsLongFormVR(p + 4)) {
        if (size - start < 12) {
            return endWalk();
        }
        length = Read32(p + 8, big);
        valueStart = start + 12;
        // Steps over the header and the tag and length of the first item (or of the
        // offset table of encapsulated pixel data), into the item's elements.
        continueAt = start + 20;
    } else {
        length = Read16(p + 6, big);
    }

    if (length == kUndefinedLength) {
        if (continueAt > size) {
            return endWalk();
        }
        m_impl->undefinedLength = true;
        m_impl->valueStart = valueStart;
        m_nCursor = continueAt;
        return true;
    }
    if (valueStart + length > size) {
        // Kept for the capture: pixel data cut short still says how much is missing.
        m_impl->cutShort = {true, m_nGroup, m_nElement, valueStart, length, m_impl->depth};
        return endWalk();
    }
    m_nLength = length;
    m_nCursor = valueStart + length;
    return true;
}

const std::uint8_t* CDicomFile::CurrentValue(std::uint32_t limit) {
    if (m_impl->file == nullptr || m_nCursor > m_nSize || m_nLength > m_nCursor) {
        return nullptr;
    }
    return WalkBytes(m_nCursor - m_nLength, std::min(m_nLength, limit));
}

template <typename Step>
void CDicomFile::WalkElements(int layout, Step step) {
    if (layout == 2) {
        m_nCursor = kPreambleEnd;
    } else if (layout != 3) {
        return;
    }
    Impl& d = *m_impl;
    d.bigEndian = false;
    d.syntax = nullptr;
    d.syntaxUid.clear();
    d.dataSetProblem = Reason();
    d.walkStop = Reason();
    d.nesting.clear();
    d.depth = 0;
    d.cutShort = {};
    d.stopWalk = false;
    // Every element moves the cursor forward by at least 8 bytes, so this ends.
    while (m_nCursor < m_nSize) {
        const std::uint64_t start = m_nCursor;
        while (!d.nesting.empty() && d.nesting.back().end <= start) {
            d.nesting.pop_back();
        }
        d.depth = d.nesting.size();
        if (!ReadElementHeader()) {
            break;
        }
        if (const int run = RepeatedRunAt(start); run != 0) {
            if (run > 0) {
                d.walkStop =
                    Reason(DicomWalkStop::RepeatedElement).Numbers(start, m_nSize - start, m_nGroup, m_nElement);
            }
            m_nCursor = m_nSize;
            break;
        }
        const bool meta = m_nGroup == 0x0002 && !d.bigEndian;
        if (meta && m_nElement == 0x0010) {
            NoteTransferSyntax();
        }
        d.elementStart = start;
        step();
        if (d.stopWalk) {
            break;
        }
        const std::uint64_t beforeItems = m_nCursor;
        if (m_nGroup == 0x7FE0 && m_nElement == 0x0010 && d.undefinedLength) {
            SkipPixelItems();
        }
        TrackNesting(start, m_nCursor != beforeItems);
        // The meta group ends where the next element is not in group 2.
        const std::uint8_t* next = m_nCursor + 2 <= m_nSize ? WalkBytes(m_nCursor, 2) : nullptr;
        if (meta && !(next != nullptr && ReadLE16(next) == 0x0002) && !EnterDataSet()) {
            m_nCursor = m_nSize;
        }
    }
}

int CDicomFile::RepeatedRunAt(std::uint64_t start) {
    Impl& d = *m_impl;
    // Items and delimiters follow one another by nature (the fragments of pixel data
    // the walk goes into, the items of a sequence); the items of compressed pixel
    // data are not looked into.
    if (m_nGroup == 0xFFFE || (m_nGroup == 0x7FE0 && m_nElement == 0x0010 && d.undefinedLength)) {
        return 0;
    }
    // Cheap for every element: only a next element with the same tag is looked at further.
    const std::uint8_t* next = m_nCursor <= m_nSize && m_nSize - m_nCursor >= 8 ? WalkBytes(m_nCursor, 4) : nullptr;
    if (next == nullptr || Read16(next, d.bigEndian) != m_nGroup || Read16(next + 2, d.bigEndian) != m_nElement) {
        return 0;
    }
    const std::uint16_t group = m_nGroup;
    const std::uint16_t element = m_nElement;
    bool run = true;
    for (int i = 1; i < kRepeatedRun && run; ++i) {
        run = m_nCursor < m_nSize && ReadElementHeader() && m_nGroup == group && m_nElement == element;
    }
    m_nCursor = start;
    return !ReadElementHeader() ? -1 : run ? 1 : 0;
}

const Reason& CDicomFile::WalkStop() const { return m_impl->walkStop; }

Reason CDicomFile::ValueCutShort() const {
    const Impl::CutShort& cut = m_impl->cutShort;
    if (!cut.found) return {};
    const std::uint64_t there = cut.valueStart < m_nSize ? m_nSize - cut.valueStart : 0;
    return Reason(DicomWalkStop::ValueCutShort)
        .Numbers(static_cast<std::int64_t>(cut.valueStart), std::int64_t{cut.declared}, cut.group, cut.element,
                 static_cast<std::int64_t>(there));
}

std::string ReasonText(DicomWalkStop code, const Reason& reason) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "(%04X,%04X)", static_cast<unsigned>(reason.Number(2)),
                  static_cast<unsigned>(reason.Number(3)));
    if (code == DicomWalkStop::ValueCutShort) {
        return "the file ends inside element " + std::string(tag) + ": its value declares " +
               std::to_string(reason.Second()) + " bytes from byte " + std::to_string(reason.First()) + " on, " +
               std::to_string(reason.Number(4)) + " of them are there";
    }
    return "the last " + std::to_string(reason.Second()) + " bytes, from byte " + std::to_string(reason.First()) +
           " on, repeat element " + tag + " and are not read as DICOM";
}

void CDicomFile::NoteTransferSyntax() {
    Impl& d = *m_impl;
    // A UID has at most 64 characters; more is not a UID the table knows.
    const std::uint32_t shown = std::min<std::uint32_t>(m_nLength, 256);
    const std::uint8_t* value = CurrentValue(shown);
    if (value == nullptr) {
        return;
    }
    std::string uid(reinterpret_cast<const char*>(value), shown);
    while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) {
        uid.pop_back();
    }
    d.syntaxUid = uid;
    d.syntax = FindTransferSyntax(uid);
}

bool CDicomFile::EnterDataSet() {
    Impl& d = *m_impl;
    if (d.syntax == nullptr) {
        return true;
    }
    if (d.syntax->kind == SyntaxKind::ExplicitBig) {
        d.bigEndian = true;
        return true;
    }
    if (d.syntax->kind != SyntaxKind::DeflatedLittle || d.inflated) {
        return true;
    }
    if (d.inflateFailure) {
        d.dataSetProblem = d.inflateFailure;
        return false;
    }
    // The meta group stays as it is; the data set after it is read through its
    // inflated bytes, by this walk and every later one. They are inflated on demand
    // from restart points found in one pass now, never held whole.
    if (m_nSize - m_nCursor > kMaxFileSize) {
        d.dataSetProblem = Reason(DicomNoImage::DataSetUnreadable).About("the deflated data set is 4 GiB or larger");
        return false;
    }
    const std::uint64_t deflatedSize = m_nSize - m_nCursor;
    const std::uint64_t limit = m_nCursor < kMaxFileSize ? kMaxFileSize - m_nCursor : 0;
    const std::uint64_t cap = std::min<std::uint64_t>(InflateByPositionCap(deflatedSize), limit);
    std::shared_ptr<InflatingSource> inflated = InflatingSource::Open(d.file, m_nCursor, cap, &d.dataSetProblem);
    if (inflated == nullptr) {
        d.inflateFailure = d.dataSetProblem;
        return false;
    }
    const std::uint64_t cursor = m_nCursor;
    LoadSource(std::move(inflated));
    m_nCursor = cursor;
    d.inflated = true;
    return true;
}

void CDicomFile::SkipPixelItems() {
    Impl& d = *m_impl;
    if (d.syntax == nullptr || (d.syntax->kind != SyntaxKind::Encapsulated && d.syntax->kind != SyntaxKind::NotShown)) {
        return;  // without a compressed transfer syntax the walk goes on inside, as it always has
    }
    // Only the item headers are read: a frame's fragments are read when it is decoded.
    // Those of the image's own pixel data (at the top level) are kept.
    Reason why;
    SourceRead read = SourceRead::Done;
    EncapsulatedPixelData fragments;
    if (!WalkFragments(*d.file, d.valueStart, fragments, read, &why)) {
        if (d.depth == 0) {
            d.topItemsProblem = read == SourceRead::Done ? why : ReadFailure(read);
            d.topItemsWalked = false;
        }
        m_nCursor = m_nSize;
        return;
    }
    m_nCursor = d.valueStart + fragments.end;
    if (d.depth == 0) {
        d.topItemsProblem = Reason();
        d.topItemsWalked = true;
        d.topFragments = std::move(fragments);
    }
}

void CDicomFile::TrackNesting(std::uint64_t start, bool skippedPixelItems) {
    Impl& d = *m_impl;
    if (m_nGroup == 0xFFFE) {
        if (m_nElement == 0xE000 && d.undefinedLength) {
            d.nesting.push_back({true, Impl::kOpenEnded});
        } else if (m_nElement == 0xE00D || m_nElement == 0xE0DD) {
            // An item delimiter closes the innermost item, a sequence delimiter the
            // innermost sequence (and an item left open inside it).
            const bool item = m_nElement == 0xE00D;
            while (!d.nesting.empty()) {
                const bool closed = d.nesting.back().item == item;
                d.nesting.pop_back();
                if (closed) break;
            }
        }
        return;
    }
    if (!d.undefinedLength || skippedPixelItems) {
        return;
    }
    d.nesting.push_back({false, Impl::kOpenEnded});
    // The explicit long form steps over the first item's header into its elements.
    if (m_nCursor == d.valueStart + 8 && m_nCursor > start + 8) {
        const std::uint8_t* item = WalkBytes(d.valueStart, 8);
        const std::uint32_t length = item != nullptr ? Read32(item + 4, d.bigEndian) : kUndefinedLength;
        d.nesting.push_back({true, length == kUndefinedLength ? Impl::kOpenEnded : d.valueStart + 8 + length});
    }
}

std::string CDicomFile::TransferSyntaxUid() const { return m_impl->syntaxUid; }

std::string CDicomFile::TransferSyntaxName() const { return m_impl->syntax != nullptr ? m_impl->syntax->name : ""; }

void CDicomFile::ParseElements(int layout, bool stopAtPixelData) {
    Impl& d = *m_impl;
    d.capture = AttributeCapture();
    d.topPixels = PixelDataInfo();
    d.topPixelFile.reset();
    d.floatPixels = false;
    d.floatBits = 0;
    d.topItemsWalked = false;
    d.topFragments = EncapsulatedPixelData();
    d.topItemsProblem = Reason();
    d.topItemsStart = 0;
    d.extended = ExtendedOffsets();
    WalkElements(layout, [this, stopAtPixelData] {
        if (m_impl->depth == 0) {
            CaptureTopLevel();
            // A header walk ends at the image's pixel data, before its fragments.
            m_impl->stopWalk = stopAtPixelData && m_nGroup == 0x7FE0 &&
                               (m_nElement == 0x0010 || m_nElement == 0x0008 || m_nElement == 0x0009);
        }
    });
    FinishCapture();
}

void CDicomFile::VisitElements(int layout, std::uint32_t valueLimit,
                               const std::function<bool(const DicomElementVisit&)>& visit) {
    if (layout == 3) {
        m_nCursor = 0;
    }
    WalkElements(layout, [&] {
        Impl& d = *m_impl;
        DicomElementVisit e;
        e.group = m_nGroup;
        e.element = m_nElement;
        e.length = m_nLength;
        e.undefinedLength = d.undefinedLength;
        e.bigEndian = d.bigEndian;
        e.start = d.elementStart;
        e.next = m_nCursor;
        if (d.undefinedLength) {
            const std::uint64_t at = d.valueStart;
            const std::size_t n =
                at <= m_nSize ? static_cast<std::size_t>(std::min<std::uint64_t>(8, m_nSize - at)) : 0;
            if (const std::uint8_t* p = n != 0 ? WalkBytes(at, n) : nullptr) {
                e.value = {p, n};
            }
        } else if (const std::uint8_t* p = CurrentValue(valueLimit)) {
            e.value = {p, std::min(m_nLength, valueLimit)};
        }
        d.stopWalk = !visit(e);
    });
}

void CDicomFile::ListElements(int layout, const std::function<void(const CDicomFile&)>& row,
                              const std::atomic<bool>* cancel) {
    if (layout == 3) {
        m_nCursor = 0;  // a listing always shows the file from its first element
    }
    WalkElements(layout, [this, &row, cancel] {
        DescribeElement();
        if (row) {
            row(*this);
        }
        m_impl->stopWalk = cancel != nullptr && cancel->load(std::memory_order_relaxed);
    });
}
