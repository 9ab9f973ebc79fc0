// Loading, layout detection and the element walk of the DICOM reader.
#include "dicom/DicomFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "dicom/DicomFileImpl.h"
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

char UpperAscii(std::uint8_t c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// VRs whose explicit form has two reserved bytes and a 32-bit length.
bool IsLongFormVR(const std::uint8_t* vr) {
    static const char* const kLong[] = {"OB", "OW", "SQ", "UN", "UT"};
    const char a = UpperAscii(vr[0]);
    const char b = UpperAscii(vr[1]);
    for (const char* code : kLong) {
        if (a == code[0] && b == code[1]) {
            return true;
        }
    }
    return false;
}

}  // namespace

CDicomFile::CDicomFile() : m_impl(std::make_unique<Impl>()) {}

CDicomFile::~CDicomFile() = default;

void CDicomFile::Reset() {
    Impl& d = *m_impl;
    d.source.reset();
    d.loadFailure = Reason();
    d.path.clear();
    d.windowLength = 0;
    d.headLength = 0;
    d.rangeKnown = false;
    d.rangeOf = {};
    d.rangePending = false;
    d.lastRead = SourceRead::Done;
    d.lastReadFrame = -1;
    m_pBuffer = nullptr;
    m_nSize = 0;
    m_nCursor = 0;
    ClearImageFields();
    ClearElement();
    // A short photometric value never inherits the tail of the previous file's.
    std::memset(m_szPhotometric, 0, sizeof m_szPhotometric);
}

void CDicomFile::ClearImageFields() {
    m_nSamplesPerPixel = 0;
    m_nRows = 0;
    m_nColumns = 0;
    m_nBitsAllocated = 0;
    m_nBitsStored = 0;
    m_nHighBit = 0;
    m_nPixelRepresentation = 0;
    m_nPlanes = 0;
    m_nPixelDataLength = 0;
    m_nPixelGroupLength = 0;
    m_nWindowWidth = 0;
    m_nWindowCenter = 0;
    m_nRescaleIntercept = 0;
    m_nFrames = 0;
    m_nPixelDataOffset = 0;
    m_impl->pixelSource.reset();
    m_impl->frames.clear();
    m_impl->encapsulated = false;
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
    d.source = std::move(source);
    d.windowLength = 0;
    std::memcpy(d.head, head, headLength);
    d.headLength = headLength;
    m_pBuffer = d.source->Memory();
    m_nSize = d.source->Size();
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
    if (m_impl->source == nullptr) {
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
    if (d.source == nullptr || offset > m_nSize || size > m_nSize - offset) {
        return nullptr;
    }
    if (const std::uint8_t* memory = d.source->Memory()) {
        return offset + size <= d.source->Size() ? memory + offset : nullptr;
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
    if (d.source->ReadAt(offset, d.window.data(), length) != SourceRead::Done) {
        return nullptr;  // the file changed or failed since it was opened: the walk ends here
    }
    d.windowStart = offset;
    d.windowLength = length;
    return d.window.data();
}

bool CDicomFile::IsExplicitVR(const std::uint8_t* twoBytes) {
    static const char* const kCodes[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL",
                                         "IS", "LO", "LT", "OB", "OW", "PN", "SH", "SL", "SQ",
                                         "SS", "ST", "TM", "UI", "UL", "UN", "US", "UT"};
    const char a = UpperAscii(twoBytes[0]);
    const char b = UpperAscii(twoBytes[1]);
    for (const char* code : kCodes) {
        if (a == code[0] && b == code[1]) {
            return true;
        }
    }
    return false;
}

bool CDicomFile::ReadElementHeader() {
    ClearElement();
    m_impl->undefinedLength = false;
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
    m_nGroup = ReadLE16(p);
    m_nElement = ReadLE16(p + 2);

    std::uint64_t valueStart = start + 8;
    std::uint32_t length = 0;
    std::uint64_t continueAt = 0;  // where the walk goes on after an undefined length
    if (!IsExplicitVR(p + 4)) {
        length = ReadLE32(p + 4);
        continueAt = start + 8;
    } else if (IsLongFormVR(p + 4)) {
        if (size - start < 12) {
            return endWalk();
        }
        length = ReadLE32(p + 8);
        valueStart = start + 12;
        // Steps over the header and the tag and length of the first item (or of the
        // offset table of encapsulated pixel data), into the item's elements.
        continueAt = start + 20;
    } else {
        length = ReadLE16(p + 6);
    }

    if (length == kUndefinedLength) {
        if (continueAt > size) {
            return endWalk();
        }
        m_impl->undefinedLength = true;
        m_nCursor = continueAt;
        return true;
    }
    if (valueStart + length > size) {
        return endWalk();
    }
    m_nLength = length;
    m_nCursor = valueStart + length;
    return true;
}

const std::uint8_t* CDicomFile::CurrentValue(std::uint32_t limit) {
    if (m_impl->source == nullptr || m_nCursor > m_nSize || m_nLength > m_nCursor) {
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
    // Every element moves the cursor forward by at least 8 bytes, so this ends.
    while (m_nCursor < m_nSize && ReadElementHeader()) {
        step();
    }
}

void CDicomFile::ParseElements(int layout) {
    WalkElements(layout, [this] { CaptureAttribute(); });
}

void CDicomFile::ListElements(int layout, const std::function<void(const CDicomFile&)>& row) {
    if (layout == 3) {
        m_nCursor = 0;  // a listing always shows the file from its first element
    }
    WalkElements(layout, [this, &row] {
        DescribeElement();
        if (row) {
            row(*this);
        }
    });
}
