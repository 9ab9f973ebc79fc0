// The two element steps of the walk: capturing the image attributes, and naming
// an element from the dictionary for the header listing.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "dicom/DicomFile.h"
#include "dicom/DicomFileImpl.h"
#include "dicom/NestedSequence.h"
#include "dicom/TransferSyntax.h"
#include "io/ByteOrder.h"

namespace {

// Numeric texts convert their first 31 bytes, as the C library sees them.
constexpr std::size_t kNumberText = 31;

struct NumberText {
    char text[kNumberText + 1] = {};
};

NumberText ScratchText(const std::uint8_t* value, std::uint32_t length) {
    NumberText scratch;
    const std::size_t n = length < kNumberText ? length : kNumberText;
    if (n != 0) {
        std::memcpy(scratch.text, value, n);
    }
    return scratch;
}

// atoi without its undefined overflow: the C library's long, then the low bits.
std::int32_t TextToInt(const std::uint8_t* value, std::uint32_t length) {
    const NumberText scratch = ScratchText(value, length);
    return static_cast<std::int32_t>(std::strtol(scratch.text, nullptr, 10));
}

// atof truncated toward zero; a value that no 32-bit integer holds gives 0.
std::int32_t TextToTruncatedInt(const std::uint8_t* value, std::uint32_t length) {
    const NumberText scratch = ScratchText(value, length);
    const double d = std::trunc(std::strtod(scratch.text, nullptr));
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) {
        return 0;
    }
    return static_cast<std::int32_t>(d);
}

// Numbers of a value shorter than the number read the missing bytes as zero.
std::uint16_t First16(const std::uint8_t* value, std::uint32_t length, bool bigEndian) {
    std::uint8_t bytes[2] = {};
    std::memcpy(bytes, value, length < 2 ? length : 2);
    return Read16(bytes, bigEndian);
}

std::uint32_t First32(const std::uint8_t* value, std::uint32_t length, bool bigEndian) {
    std::uint8_t bytes[4] = {};
    std::memcpy(bytes, value, length < 4 ? length : 4);
    return Read32(bytes, bigEndian);
}

// The 64-bit numbers of an extended offset table or its lengths (little-endian:
// only little-endian files hold compressed frames).
std::vector<std::uint64_t> Numbers64(const std::uint8_t* value, std::uint32_t length) {
    std::vector<std::uint64_t> numbers;
    for (std::uint32_t i = 0; i + 8 <= length; i += 8) {
        numbers.push_back(ReadLE32(value + i) | (std::uint64_t{ReadLE32(value + i + 4)} << 32));
    }
    return numbers;
}

// strtod of the first value; `fallback` when the text holds no finite number.
double TextToDouble(const std::uint8_t* value, std::uint32_t length, double fallback) {
    const NumberText scratch = ScratchText(value, length);
    char* end = nullptr;
    const double d = std::strtod(scratch.text, &end);
    return end != scratch.text && std::isfinite(d) ? d : fallback;
}

// A short text value without its padding (blanks and NULs) at either end, at most
// 64 bytes: names, ids, dates and codes are never longer.
std::string PaddedText(const std::uint8_t* value, std::uint32_t length) {
    constexpr std::uint32_t kLongest = 64;
    std::string text(reinterpret_cast<const char*>(value), length < kLongest ? length : kLongest);
    const auto blank = [](char c) { return c == ' ' || c == '\0'; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(text[start]))
        ++start;
    return text.substr(start);
}

// No captured value uses more than its first 64 bytes (the photometric text).
constexpr std::uint32_t kCapturedBytes = 64;
// An extended offset table of more than 2^24 frames is cut there.
constexpr std::uint32_t kExtendedTableBytes = std::uint32_t{8} << 24;

bool IsCapturedImageAttribute(std::uint16_t element) {
    switch (element) {
    case 0x0002:
    case 0x0004:
    case 0x0006:
    case 0x0008:
    case 0x0010:
    case 0x0011:
    case 0x0012:
    case 0x0100:
    case 0x0101:
    case 0x0102:
    case 0x0103:
    case 0x1050:
    case 0x1051:
    case 0x1052: return true;
    default: return false;
    }
}

// The texts and numbers kept for the viewer's readout, corner texts and cine.
bool IsViewerAttribute(std::uint32_t tag) {
    switch (tag) {
    case 0x00080020:
    case 0x00080060:
    case 0x00100010:
    case 0x00100020:
    case 0x00180040:
    case 0x00181063:
    case 0x00281053: return true;
    default: return false;
    }
}

}  // namespace

void CDicomFile::CaptureAttribute() {
    Impl& d = *m_impl;
    if (d.file == nullptr || m_nCursor > m_nSize || m_nLength > m_nCursor) {
        return;
    }
    if (m_nGroup == 0x7FE0 && m_nElement == 0x0010) {
        // Where the value lies, not its bytes: frames are read from there when shown.
        d.frames.clear();
        d.pixelFile = d.file;
        ++d.pixelSerial;
        m_nPixelDataOffset = m_nCursor - m_nLength;
        m_nPixelDataLength = m_nLength;
        d.encapsulated = d.undefinedLength;
        d.bigEndianPixels = d.bigEndian;
        return;
    }
    const bool extendedTable = m_nGroup == 0x7FE0 && (m_nElement == 0x0001 || m_nElement == 0x0002);
    const std::uint32_t tag = std::uint32_t{m_nGroup} << 16 | m_nElement;
    if (!(m_nGroup == 0x0028 && IsCapturedImageAttribute(m_nElement)) &&
        !(m_nGroup == 0x7FE0 && m_nElement == 0x0000) && !extendedTable && !IsViewerAttribute(tag)) {
        return;
    }
    // Only the bytes a field takes are read (all of an extended offset table, up to
    // one entry per frame of the largest study a 32-bit length allows).
    const std::uint32_t limit = extendedTable ? kExtendedTableBytes : kCapturedBytes;
    const std::uint32_t n = m_nLength < limit ? m_nLength : limit;
    const std::uint8_t* value = CurrentValue(n);
    if (value == nullptr) {
        return;
    }
    switch (tag) {
    case 0x00080020: m_strStudyDate = PaddedText(value, n); return;
    case 0x00080060: m_strModality = PaddedText(value, n); return;
    case 0x00100010: m_strPatientName = PaddedText(value, n); return;
    case 0x00100020: m_strPatientId = PaddedText(value, n); return;
    case 0x00180040: m_nCineRate = TextToInt(value, n); return;
    case 0x00181063: m_dFrameTime = TextToDouble(value, n, 0.0); return;
    case 0x00281052: m_dRescaleIntercept = TextToDouble(value, n, 0.0); break;
    case 0x00281053: m_dRescaleSlope = TextToDouble(value, n, 1.0); return;
    default: break;
    }
    const bool big = m_impl->bigEndian;
    const auto First16 = [big](const std::uint8_t* v, std::uint32_t length) { return ::First16(v, length, big); };
    const auto First32 = [big](const std::uint8_t* v, std::uint32_t length) { return ::First32(v, length, big); };
    if (m_nGroup == 0x0028) {
        switch (m_nElement) {
        case 0x0002: m_nSamplesPerPixel = First16(value, n); break;
        case 0x0004:
            std::memset(m_szPhotometric, 0, sizeof m_szPhotometric);
            std::memcpy(m_szPhotometric, value, n < sizeof m_szPhotometric ? n : sizeof m_szPhotometric);
            break;
        case 0x0006: m_impl->planarConfiguration = First16(value, n); break;
        case 0x0008: m_nFrames = TextToInt(value, n); break;
        case 0x0010: m_nRows = First16(value, n); break;
        case 0x0011: m_nColumns = First16(value, n); break;
        case 0x0012: m_nPlanes = static_cast<std::int16_t>(First16(value, n)); break;
        case 0x0100: m_nBitsAllocated = First16(value, n); break;
        case 0x0101:
            m_nBitsStored = static_cast<std::int16_t>(First16(value, n));
            m_impl->bitsStoredGiven = n != 0;
            break;
        case 0x0102:
            m_nHighBit = static_cast<std::int16_t>(First16(value, n));
            m_impl->highBitGiven = n != 0;
            break;
        case 0x0103: m_nPixelRepresentation = static_cast<std::int16_t>(First16(value, n)); break;
        case 0x1050:
            m_nWindowCenter = static_cast<std::int16_t>(TextToInt(value, n));
            m_nFileWindowCenter = m_nWindowCenter;
            break;
        case 0x1051:
            m_nWindowWidth = static_cast<std::int16_t>(TextToInt(value, n));
            m_nFileWindowWidth = m_nWindowWidth;
            break;
        case 0x1052: m_nRescaleIntercept = static_cast<std::int16_t>(TextToTruncatedInt(value, n)); break;
        default: break;
        }
    } else if (m_nGroup == 0x7FE0) {
        if (m_nElement == 0x0000) {
            m_nPixelGroupLength = First32(value, n);
        } else if (m_nElement == 0x0001) {
            m_impl->extended.offsets = Numbers64(value, n);
        } else if (m_nElement == 0x0002) {
            m_impl->extended.lengths = Numbers64(value, n);
        }
    }
}

void CDicomFile::DescribeElement() {
    if (const DicomDictionaryEntry* entry = FindDictionaryEntry(m_nGroup, m_nElement)) {
        m_pszName = entry->name;
        m_pszVR = entry->vr;
    } else {
        m_pszName = "";
        m_pszVR = "";
    }
    FormatValue();
}

void CDicomFile::CaptureTopLevel() {
    Impl& d = *m_impl;
    if (d.file == nullptr || m_nCursor > m_nSize || m_nLength > m_nCursor) {
        return;
    }
    const std::uint32_t tag = std::uint32_t{m_nGroup} << 16 | m_nElement;
    const bool floats = tag == 0x7FE00008 || tag == 0x7FE00009;
    if (tag == 0x7FE00010 || floats) {
        // Where the value lies, not its bytes: frames are read from there when shown.
        PixelDataInfo& p = d.topPixels;
        const std::uint32_t groupLength = p.groupLength;
        p = PixelDataInfo();
        p.groupLength = groupLength;
        p.present = true;
        p.encapsulated = d.undefinedLength;
        p.offset = d.undefinedLength ? d.valueStart : m_nCursor - m_nLength;
        p.length = d.undefinedLength ? 0 : m_nLength;
        p.declared = p.length;
        p.bigEndian = d.bigEndian;
        p.words = !(d.vr[0] == 'O' && d.vr[1] == 'B');
        d.topPixelFile = d.file;
        d.floatPixels = floats;
        d.floatBits = tag == 0x7FE00009 ? 64 : 32;
        d.topItemsStart = d.valueStart;
        d.topItemsWalked = false;
        d.topItemsProblem = Reason();
        return;
    }
    if (AttributeCapture::WantsSequence(tag)) {
        const std::optional<std::uint32_t> length =
            d.undefinedLength ? std::nullopt : std::optional<std::uint32_t>(m_nLength);
        const std::uint64_t start = d.undefinedLength ? d.valueStart : m_nCursor - m_nLength;
        d.capture.Sequence(tag, ReadNestedSequence(*d.file, start, length, d.bigEndian), d.bigEndian);
        return;
    }
    const std::uint32_t wanted = AttributeCapture::BytesWanted(tag);
    if (wanted == 0 || d.undefinedLength) {
        return;
    }
    const std::uint32_t n = m_nLength < wanted ? m_nLength : wanted;
    if (const std::uint8_t* value = CurrentValue(n)) {
        d.capture.Value(tag, value, n, d.bigEndian);
    }
}

void CDicomFile::FinishCapture() {
    Impl& d = *m_impl;
    const Impl::CutShort& cut = d.cutShort;
    if (cut.found && cut.depth == 0 && cut.group == 0x7FE0 &&
        (cut.element == 0x0010 || cut.element == 0x0008 || cut.element == 0x0009) && cut.valueStart <= m_nSize &&
        d.file != nullptr) {
        // Pixel data cut short: what there is of it, and what it should have been.
        PixelDataInfo& p = d.topPixels;
        const std::uint32_t groupLength = p.groupLength;
        p = PixelDataInfo();
        p.groupLength = groupLength;
        p.present = true;
        p.offset = cut.valueStart;
        p.length = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_nSize - cut.valueStart, cut.declared));
        p.declared = cut.declared;
        p.bigEndian = d.bigEndian;
        p.words = !(d.vr[0] == 'O' && d.vr[1] == 'B');
        d.topPixelFile = d.file;
        d.floatPixels = cut.element != 0x0010;
        d.floatBits = cut.element == 0x0009 ? 64 : 32;
    }
    ImageAttributes attributes = d.capture.Finish(d.topPixels, d.floatPixels, d.floatBits);
    attributes.transferSyntaxUid = d.syntaxUid;
    attributes.transferSyntaxName = d.syntax != nullptr ? d.syntax->name : "";
    d.attributes = std::make_shared<const ImageAttributes>(std::move(attributes));
    FrameSource::Parts parts;
    parts.attributes = d.attributes;
    parts.file = d.topPixelFile;
    parts.path = d.path;
    parts.syntax = d.syntax;
    parts.syntaxUid = d.syntaxUid;
    parts.dataSetProblem = d.dataSetProblem;
    parts.itemsWalked = d.topItemsWalked;
    parts.fragments = d.topFragments;
    parts.itemsProblem = d.topItemsProblem;
    parts.itemsStart = d.topItemsStart;
    parts.extended = d.extended;
    d.frameSource = std::make_shared<const FrameSource>(std::move(parts));
}

std::shared_ptr<const ImageAttributes> CDicomFile::Attributes() const { return m_impl->attributes; }

std::shared_ptr<const FrameSource> CDicomFile::Frames() const { return m_impl->frameSource; }
