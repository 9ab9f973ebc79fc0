// Loading, layout detection and the element walk of the DICOM reader.
#include "dicom/DicomFile.h"

#include <cstring>

#include "dicom/DicomFileImpl.h"
#include "dicom/EncapsulatedPixelData.h"
#include "dicom/TransferSyntax.h"
#include "io/ByteOrder.h"

namespace {

// Offset of the first element after the 128-byte preamble and "DICM".
constexpr std::uint32_t kPreambleEnd = 132;
// Bytes looked at to decide whether a preamble precedes the elements.
constexpr std::uint32_t kPreambleProbe = 100;
constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFFu;

char UpperAscii(std::uint8_t c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// VRs whose explicit form has two reserved bytes and a 32-bit length. OD, OF, OL,
// OV, SV, UC, UR and UV came later than the rest; without them an element of such
// a VR was read as implicit and the walk lost its way.
bool IsLongFormVR(const std::uint8_t* vr) {
    static const char* const kLong[] = {"OB", "OW", "SQ", "UN", "UT", "OD", "OF", "OL", "OV", "SV", "UC", "UR", "UV"};
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
    m_impl->buffer = FileBuffer();
    m_impl->retired.clear();
    m_impl->loadFailure = Reason();
    ++m_impl->generation;
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
    m_dRescaleSlope = 1.0;
    m_dRescaleIntercept = 0.0;
    m_nFileWindowWidth = 0;
    m_nFileWindowCenter = 0;
    m_dFrameTime = 0.0;
    m_nCineRate = 0;
    m_strModality.clear();
    m_strPatientName.clear();
    m_strPatientId.clear();
    m_strStudyDate.clear();
    m_nFrames = 0;
    m_pPixelData = nullptr;
    m_impl->encapsulated = false;
    m_impl->bigEndianPixels = false;
    m_impl->planarConfiguration = 0;
    m_impl->items = {};
    m_impl->fragments = EncapsulatedPixelData();
    m_impl->extended = ExtendedOffsets();
    m_impl->itemsProblem = Reason();
}

bool CDicomFile::PixelDataEncapsulated() const { return m_impl->encapsulated; }
bool CDicomFile::PixelDataBigEndian() const { return m_impl->bigEndianPixels; }

void CDicomFile::ClearElement() {
    m_nGroup = 0;
    m_nElement = 0;
    m_pszName = "";
    m_pszVR = "";
    m_nLength = 0;
}

void CDicomFile::AdoptBuffer(FileBuffer buffer) {
    // The pixel-data pointer may still point into the buffer being replaced (a load
    // without a Reset first): that buffer lives on until the next Reset.
    if (m_pPixelData != nullptr && m_impl->buffer) {
        m_impl->retired.push_back(std::move(m_impl->buffer));
    }
    m_impl->buffer = std::move(buffer);
    m_impl->inflated = false;
    ++m_impl->generation;
    m_pBuffer = m_impl->buffer.Data();
    m_nSize = static_cast<std::uint32_t>(m_impl->buffer.Size());
}

int CDicomFile::LoadFile(const std::string& path) {
    FileBuffer buffer;
    m_impl->loadFailure = ReadWholeFile(path, buffer);
    if (m_impl->loadFailure) {
        return -1;
    }
    AdoptBuffer(std::move(buffer));
    return 0;
}

const Reason& CDicomFile::LoadFailure() const {
    return m_impl->loadFailure;
}

int CDicomFile::LoadBuffer(const std::uint8_t* bytes, std::size_t size) {
    m_impl->loadFailure = Reason();
    if (size > kMaxFileSize || (bytes == nullptr && size != 0)) {
        m_impl->loadFailure = Reason(FileReadFailure::TooLarge).About("the bytes given");
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
    AdoptBuffer(std::move(buffer));
    return 0;
}

int CDicomFile::DetectLayout() const {
    if (m_pBuffer == nullptr) {
        return 2;  // nothing loaded: the walk of layout 2 reads nothing
    }
    // The standard allows any preamble; the prefix is what marks the file format.
    if (m_nSize >= kPreambleEnd && std::memcmp(m_pBuffer + 128, "DICM", 4) == 0) {
        return 2;
    }
    const std::uint32_t probe = m_nSize < kPreambleProbe ? m_nSize : kPreambleProbe;
    for (std::uint32_t i = 0; i < probe; ++i) {
        if (m_pBuffer[i] != 0) {
            return 3;
        }
    }
    return 2;
}

bool CDicomFile::IsExplicitVR(const std::uint8_t* twoBytes) {
    static const char* const kCodes[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS",
                                         "LO", "LT", "OB", "OW", "PN", "SH", "SL", "SQ", "SS", "ST",
                                         "TM", "UI", "UL", "UN", "US", "UT", "OD", "OF", "OL", "OV",
                                         "SV", "UC", "UR", "UV"};
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
    if (m_pBuffer == nullptr || start + 8 > size) {
        return endWalk();
    }
    const std::uint8_t* p = m_pBuffer + start;
    const bool big = m_impl->bigEndian;
    m_nGroup = Read16(p, big);
    m_nElement = Read16(p + 2, big);

    std::uint64_t valueStart = start + 8;
    std::uint32_t length = 0;
    std::uint64_t continueAt = 0;  // where the walk goes on after an undefined length
    if (!IsExplicitVR(p + 4)) {
        length = Read32(p + 4, big);
        continueAt = start + 8;
    } else if (IsLongFormVR(p + 4)) {
        if (start + 12 > size) {
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
        m_impl->valueStart = static_cast<std::uint32_t>(valueStart);
        m_nCursor = static_cast<std::uint32_t>(continueAt);
        return true;
    }
    if (valueStart + length > size) {
        return endWalk();
    }
    m_nLength = length;
    m_nCursor = static_cast<std::uint32_t>(valueStart + length);
    return true;
}

const std::uint8_t* CDicomFile::CurrentValue() const {
    if (m_pBuffer == nullptr || m_nCursor > m_nSize || m_nLength > m_nCursor) {
        return nullptr;
    }
    return m_pBuffer + (m_nCursor - m_nLength);
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
    // Every element moves the cursor forward by at least 8 bytes, so this ends.
    while (m_nCursor < m_nSize && ReadElementHeader()) {
        const bool meta = m_nGroup == 0x0002 && !d.bigEndian;
        if (meta && m_nElement == 0x0010) {
            NoteTransferSyntax();
        }
        step();
        if (m_nGroup == 0x7FE0 && m_nElement == 0x0010 && d.undefinedLength) {
            SkipPixelItems();
        }
        // The meta group ends where the next element is not in group 2.
        if (meta && !(m_nCursor + 2 <= m_nSize && ReadLE16(m_pBuffer + m_nCursor) == 0x0002) && !EnterDataSet()) {
            m_nCursor = m_nSize;
        }
    }
}

void CDicomFile::NoteTransferSyntax() {
    Impl& d = *m_impl;
    const std::uint8_t* value = CurrentValue();
    if (value == nullptr) {
        return;
    }
    std::string uid(reinterpret_cast<const char*>(value), m_nLength);
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
    // The meta group stays as it is; the data set after it is replaced by its
    // inflated bytes, which this walk and every later one read.
    const std::span<const std::uint8_t> deflated(m_pBuffer + m_nCursor, m_nSize - m_nCursor);
    std::vector<std::uint8_t> inflated;
    std::string why;
    const std::uint64_t limit = kMaxFileSize - m_nCursor;
    const std::size_t cap = InflateCap(deflated.size()) < limit ? InflateCap(deflated.size()) : limit;
    if (!InflateDataSet(deflated, cap, inflated, &why)) {
        d.dataSetProblem = Reason(DicomNoImage::DataSetUnreadable).About(why);
        return false;
    }
    FileBuffer buffer = FileBuffer::Allocate(m_nCursor + inflated.size());
    if (!buffer) {
        d.dataSetProblem = Reason(DicomNoImage::DataSetUnreadable).About("not enough memory for the inflated data set");
        return false;
    }
    std::memcpy(buffer.Data(), m_pBuffer, m_nCursor);
    if (!inflated.empty()) {
        std::memcpy(buffer.Data() + m_nCursor, inflated.data(), inflated.size());
    }
    AdoptBuffer(std::move(buffer));
    d.inflated = true;
    return true;
}

void CDicomFile::SkipPixelItems() {
    Impl& d = *m_impl;
    if (d.syntax == nullptr ||
        (d.syntax->kind != SyntaxKind::Encapsulated && d.syntax->kind != SyntaxKind::NotShown)) {
        return;  // without a compressed transfer syntax the walk goes on inside, as it always has
    }
    const std::span<const std::uint8_t> items(m_pBuffer + d.valueStart, m_nSize - d.valueStart);
    // The last pixel data in walking order is the one captured, so its items are kept.
    std::string why;
    if (!ParseFragments(items, d.fragments, &why)) {
        d.itemsProblem = Reason(DicomNoImage::FrameNotDecoded).About(why);
        d.items = {};
        m_nCursor = m_nSize;
        return;
    }
    d.itemsProblem = Reason();
    d.items = items.first(d.fragments.end);
    m_nCursor = static_cast<std::uint32_t>(d.valueStart + d.fragments.end);
}

std::string CDicomFile::TransferSyntaxUid() const {
    return m_impl->syntaxUid;
}

std::string CDicomFile::TransferSyntaxName() const {
    return m_impl->syntax != nullptr ? m_impl->syntax->name : "";
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
