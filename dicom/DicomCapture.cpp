// The element steps of the walk: the capture of what describes the pixels (top-level
// elements only, and the pixel data's place), and naming an element from the
// dictionary for the header listing.
#include <algorithm>
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

// An extended offset table of more than 2^24 frames is cut there.
constexpr std::uint32_t kExtendedTableBytes = std::uint32_t{8} << 24;

// The 64-bit numbers of an extended offset table or its lengths (little-endian:
// only little-endian files hold compressed frames).
std::vector<std::uint64_t> Numbers64(const std::uint8_t* value, std::uint32_t length) {
    std::vector<std::uint64_t> numbers;
    for (std::uint32_t i = 0; i + 8 <= length; i += 8) {
        numbers.push_back(ReadLE32(value + i) | (std::uint64_t{ReadLE32(value + i + 4)} << 32));
    }
    return numbers;
}

}  // namespace

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
    if (tag == 0x7FE00001 || tag == 0x7FE00002) {
        // Where each compressed frame lies, all of the table (up to one entry per frame
        // of the largest study a 32-bit length allows).
        const std::uint32_t n = std::min(m_nLength, kExtendedTableBytes);
        if (const std::uint8_t* value = d.undefinedLength ? nullptr : CurrentValue(n)) {
            (tag == 0x7FE00001 ? d.extended.offsets : d.extended.lengths) = Numbers64(value, n);
        }
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
