// The header scan: the reader's element walk with a visitor that keeps track of
// sequence nesting, so that only the top-level data set is captured, and that ends
// the walk at the Pixel Data.
#include "dicom/InstanceHeader.h"

#include <algorithm>
#include <cstring>

#include "dicom/DicomFile.h"
#include "dicom/ElementValues.h"
#include "dicom/NestedSequence.h"
#include "io/ByteOrder.h"
#include "io/ByteSource.h"
#include "io/FileBuffer.h"

namespace {

// Bytes read at once before the walk, in memory; a header that runs past them is
// read again from a larger head, and past the last one element by element from the
// file. Most headers take 1 to 4 KiB; some vendors' private groups take tens.
constexpr std::size_t kHeadSizes[] = {std::size_t{8} << 10, std::size_t{64} << 10};
// No value the scan keeps is longer (a person name of five component groups is).
constexpr std::uint32_t kValueLimit = 512;

constexpr std::uint32_t Tag(std::uint16_t group, std::uint16_t element) {
    return std::uint32_t{group} << 16 | element;
}

constexpr std::uint32_t kPerFrameGroups = Tag(0x5200, 0x9230);
constexpr std::uint32_t kSharedGroups = Tag(0x5200, 0x9229);
constexpr std::uint32_t kPlanePosition = Tag(0x0020, 0x9113);
constexpr std::uint32_t kPlaneOrientation = Tag(0x0020, 0x9116);
constexpr std::uint32_t kPixelMeasures = Tag(0x0028, 0x9110);
constexpr std::uint32_t kImagePosition = Tag(0x0020, 0x0032);
constexpr std::uint32_t kImageOrientation = Tag(0x0020, 0x0037);
constexpr std::uint32_t kPixelSpacing = Tag(0x0028, 0x0030);
// Pixel Data, Float Pixel Data, Double Float Pixel Data.
bool IsPixelData(std::uint32_t tag) {
    return tag == Tag(0x7FE0, 0x0010) || tag == Tag(0x7FE0, 0x0008) || tag == Tag(0x7FE0, 0x0009);
}

std::uint16_t US(std::span<const std::uint8_t> value, bool bigEndian) {
    return value.size() >= 2 ? Read16(value.data(), bigEndian) : 0;
}

// Follows the walk: what is nested in what, and what the top level says.
class HeaderVisitor {
public:
    HeaderVisitor(InstanceHeader& out, bool dicomPrefix) : m_out(out), m_prefix(dicomPrefix) {}

    bool Visit(const DicomElementVisit& e) {
        m_lastNext = e.next;
        m_lastBigEndian = e.bigEndian;
        const std::uint32_t tag = Tag(e.group, e.element);
        if (m_first) {
            m_first = false;
            // Without the prefix, a DICOM stream starts with the meta group or with
            // group 8, as ACR-NEMA files do: anything else is not read further.
            if (!m_prefix && e.group != 0x0002 && e.group != 0x0008) {
                m_notDicom = true;
                return false;
            }
        }
        if (!m_open.empty() && m_open.back().pixelData && e.group != 0xFFFE) {
            m_open.pop_back();  // the walk stepped over the fragments of nested pixel data
        }
        if (e.group == 0xFFFE) {
            if (e.element == 0xE0DD && !m_open.empty()) {
                m_open.pop_back();
            } else if (e.element == 0xE000 && !m_open.empty()) {
                ++m_open.back().item;
            }
            return true;
        }
        if (IsPixelData(tag) && m_open.empty()) {
            m_pixelReached = true;
            m_pixelStart = e.start;
            return false;
        }
        if (e.undefinedLength) {
            Opened(tag, e);
            return true;
        }
        if (m_open.empty()) {
            return TopLevel(tag, e);
        }
        Nested(tag, e);
        return true;
    }

    bool PixelReached() const { return m_pixelReached; }
    std::uint64_t PixelStart() const { return m_pixelStart; }
    bool NotDicom() const { return m_notDicom; }
    bool Directory() const { return m_directory; }
    bool Visited() const { return !m_first; }
    std::uint64_t LastNext() const { return m_lastNext; }
    // Whether the element header at `at` in `bytes` is the top-level Pixel Data.
    bool PixelDataAt(std::span<const std::uint8_t> bytes, std::uint64_t at) const {
        if (!m_open.empty() || at > bytes.size() || bytes.size() - at < 4) {
            return false;
        }
        const std::uint8_t* p = bytes.data() + at;
        return IsPixelData(Tag(Read16(p, m_lastBigEndian), Read16(p + 2, m_lastBigEndian)));
    }

    // Settles what the walk left open: the functional groups' geometry.
    void Finish(bool pixelData, std::uint64_t pixelStart, std::uint64_t fileSize) {
        InstanceLevel& i = m_out.instance;
        i.hasPixelData = pixelData;
        // Past the file's end only in an inflated data set, whose size is not the file's.
        i.pixelBytesAtMost = !pixelData ? 0 : pixelStart < fileSize ? fileSize - pixelStart : UINT64_MAX;
        if (!i.orientation) {
            i.orientation = m_sharedOrientation ? m_sharedOrientation : m_firstFrameOrientation;
        }
        if (!i.pixelSpacing) {
            i.pixelSpacing = m_sharedSpacing;
        }
        const auto frames = static_cast<std::size_t>(std::max(i.frames, 1));
        if (!m_framePositions.empty() && m_framePositions.size() == frames &&
            std::all_of(m_framePositions.begin(), m_framePositions.end(), [](const auto& p) { return p.has_value(); })) {
            for (const auto& p : m_framePositions) {
                i.framePositions.push_back(*p);
            }
            if (!i.position) {
                i.position = i.framePositions.front();
            }
        }
    }

    // Reads from `file` the functional groups of defined length that the walk stepped
    // over; false when there were none. Offsets of an inflated data set are not the
    // file's: its groups are not read.
    bool ReadDefinedGroups(const ByteSource& file) {
        if (m_definedGroups.empty() || m_out.instance.transferSyntaxUid == "1.2.840.10008.1.2.1.99") {
            return false;
        }
        const auto numbers = [](const NestedItem& item, std::uint32_t macro, std::uint32_t tag) -> const NestedElement* {
            const NestedItem* inner = item.FirstItemOf(macro);
            return inner != nullptr ? inner->Find(tag) : nullptr;
        };
        for (const DefinedGroups& g : m_definedGroups) {
            const NestedSequence groups = ReadNestedSequence(file, g.start, g.length, g.bigEndian);
            if (groups.items.empty()) {
                continue;
            }
            if (g.tag == kSharedGroups) {
                if (const NestedElement* o = numbers(groups.items.front(), kPlaneOrientation, kImageOrientation)) {
                    m_sharedOrientation = ValueNumbers<double, 6>(o->value);
                }
                if (const NestedElement* spacing = numbers(groups.items.front(), kPixelMeasures, kPixelSpacing)) {
                    m_sharedSpacing = ValueNumbers<double, 2>(spacing->value);
                }
                continue;
            }
            m_framePositions.clear();
            for (const NestedItem& frame : groups.items) {
                const NestedElement* position = numbers(frame, kPlanePosition, kImagePosition);
                m_framePositions.push_back(position != nullptr ? ValueNumbers<double, 3>(position->value)
                                                               : std::nullopt);
            }
            if (const NestedElement* o = numbers(groups.items.front(), kPlaneOrientation, kImageOrientation)) {
                m_firstFrameOrientation = ValueNumbers<double, 6>(o->value);
            }
        }
        return true;
    }

private:
    struct DefinedGroups {
        std::uint32_t tag;
        std::uint64_t start;  // of the value
        std::uint32_t length;
        bool bigEndian;
    };
    struct Open {
        std::uint32_t tag;
        int item;  // which item of the sequence the walk is in; -1 before the first
        bool pixelData;
    };

    // An element of undefined length: a sequence, whose items the walk goes into.
    void Opened(std::uint32_t tag, const DicomElementVisit& e) {
        // The explicit long form steps over the 8 bytes where the value starts (the
        // first item's header); the implicit form visits them.
        const bool steppedOver = e.next - e.start == 20;
        const bool emptySequence = steppedOver && e.value.size() >= 4 &&
                                   Tag(Read16(e.value.data(), e.bigEndian), Read16(e.value.data() + 2, e.bigEndian)) ==
                                       Tag(0xFFFE, 0xE0DD);
        if (!emptySequence) {
            m_open.push_back({tag, steppedOver ? 0 : -1, IsPixelData(tag)});
        }
    }

    bool TopLevel(std::uint32_t tag, const DicomElementVisit& e) {
        InstanceLevel& i = m_out.instance;
        const std::span<const std::uint8_t> v = e.value;
        if (CaptureSeriesKey(tag, v, m_out.series)) {
            return true;
        }
        switch (tag) {
        case Tag(0x0002, 0x0002):
            if (i.sopClassUid.empty()) {
                i.sopClassUid = ValueText(v);
            }
            break;
        case Tag(0x0002, 0x0010): i.transferSyntaxUid = ValueText(v); break;
        case Tag(0x0008, 0x0016): i.sopClassUid = ValueText(v); break;
        case Tag(0x0008, 0x0018): i.sopInstanceUid = ValueText(v); break;
        case Tag(0x0020, 0x0013): i.instanceNumber = ValueInteger(v); break;
        case kImagePosition: i.position = ValueNumbers<double, 3>(v); break;
        case kImageOrientation: i.orientation = ValueNumbers<double, 6>(v); break;
        case kPixelSpacing: i.pixelSpacing = ValueNumbers<double, 2>(v); break;
        case Tag(0x0018, 0x1164): i.imagerPixelSpacing = ValueNumbers<double, 2>(v); break;
        case Tag(0x0028, 0x0002): i.samplesPerPixel = US(v, e.bigEndian); break;
        case Tag(0x0028, 0x0004): i.photometric = ValueText(v); break;
        case Tag(0x0028, 0x0008): i.frames = ValueInteger(v).value_or(0); break;
        case Tag(0x0028, 0x0010): i.rows = US(v, e.bigEndian); break;
        case Tag(0x0028, 0x0011): i.columns = US(v, e.bigEndian); break;
        case Tag(0x0028, 0x0100): i.bitsAllocated = US(v, e.bigEndian); break;
        case Tag(0x0028, 0x0103): i.pixelRepresentation = US(v, e.bigEndian); break;
        case kPerFrameGroups:
        case kSharedGroups:
            // Functional groups of defined length, which the walk steps over whole:
            // read with their nesting once the walk is done.
            if (e.length != 0 && e.next >= e.start + 8 + std::uint64_t{e.length}) {
                m_definedGroups.push_back({tag, e.next - e.length, e.length, e.bigEndian});
            }
            break;
        default:
            // The directory records of a DICOMDIR: nothing of an instance follows.
            if (e.group == 0x0004) {
                m_directory = true;
                return false;
            }
            break;
        }
        return true;
    }

    // Geometry inside the functional groups of an enhanced multi-frame file.
    void Nested(std::uint32_t tag, const DicomElementVisit& e) {
        if (m_open.size() != 2) {
            return;
        }
        const Open& groups = m_open[0];
        const Open& macro = m_open[1];
        if (groups.tag == kPerFrameGroups && macro.tag == kPlanePosition && tag == kImagePosition && groups.item >= 0) {
            // At most one position per frame the file could hold: a frame count from
            // the file must not size this.
            const auto item = static_cast<std::size_t>(groups.item);
            if (item < (std::size_t{1} << 20)) {
                if (m_framePositions.size() <= item) {
                    m_framePositions.resize(item + 1);
                }
                m_framePositions[item] = ValueNumbers<double, 3>(e.value);
            }
        } else if (macro.tag == kPlaneOrientation && tag == kImageOrientation) {
            if (groups.tag == kSharedGroups) {
                m_sharedOrientation = ValueNumbers<double, 6>(e.value);
            } else if (groups.tag == kPerFrameGroups && groups.item == 0) {
                m_firstFrameOrientation = ValueNumbers<double, 6>(e.value);
            }
        } else if (groups.tag == kSharedGroups && macro.tag == kPixelMeasures && tag == kPixelSpacing) {
            m_sharedSpacing = ValueNumbers<double, 2>(e.value);
        }
    }

    InstanceHeader& m_out;
    bool m_prefix;
    bool m_first = true;
    bool m_notDicom = false;
    bool m_directory = false;
    bool m_pixelReached = false;
    std::uint64_t m_pixelStart = 0;
    std::uint64_t m_lastNext = 0;
    bool m_lastBigEndian = false;
    std::vector<Open> m_open;
    std::vector<DefinedGroups> m_definedGroups;
    std::vector<std::optional<Vector3>> m_framePositions;
    std::optional<std::array<double, 6>> m_sharedOrientation;
    std::optional<std::array<double, 6>> m_firstFrameOrientation;
    std::optional<std::array<double, 2>> m_sharedSpacing;
};

bool IdentifiesInstance(const InstanceHeader& h) {
    return !h.instance.sopInstanceUid.empty() || !h.series.seriesUid.empty() || !h.series.studyUid.empty() ||
           !h.instance.sopClassUid.empty();
}

}  // namespace

std::string ReasonText(HeaderScanFailure code, const Reason& reason) {
    switch (code) {
    case HeaderScanFailure::NotDicom: return reason.Subject() + " is not a DICOM file";
    case HeaderScanFailure::DirectoryFile: break;
    }
    return reason.Subject() + " is a DICOMDIR, a directory of other files";
}

InstanceHeaderScanner::InstanceHeaderScanner() : m_reader(std::make_unique<CDicomFile>()) {}

InstanceHeaderScanner::~InstanceHeaderScanner() = default;

Reason InstanceHeaderScanner::Scan(const std::shared_ptr<const ByteSource>& file, InstanceHeader& out) {
    const std::uint64_t size = file->Size();
    const auto readFailure = [](SourceRead read) {
        return read == SourceRead::Changed ? Reason(FileReadFailure::ChangedOnDisk) : Reason(FileReadFailure::CannotRead);
    };
    CDicomFile& reader = *m_reader;
    for (std::size_t attempt = 0; attempt <= std::size(kHeadSizes); ++attempt) {
        const bool whole = attempt == std::size(kHeadSizes);
        std::size_t length = 0;
        reader.Reset();
        if (whole) {
            reader.LoadSource(file);
        } else {
            length = static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadSizes[attempt]));
            if (m_head.size() < length) {
                m_head.resize(length);
            }
            if (const SourceRead read = file->ReadAt(0, m_head.data(), length); read != SourceRead::Done) {
                return readFailure(read);
            }
            reader.LoadSource(std::make_shared<BorrowedBytes>(m_head.data(), length));
        }
        out = InstanceHeader();
        const int layout = reader.DetectLayout();
        const std::uint8_t* head = whole ? nullptr : m_head.data();
        out.dicomPrefix = whole ? layout == 2 && size >= 132 : length >= 132 && std::memcmp(head + 128, "DICM", 4) == 0;
        if (whole && layout == 2 && size >= 132) {
            std::uint8_t prefix[4] = {};
            out.dicomPrefix = file->ReadAt(128, prefix, 4) == SourceRead::Done && std::memcmp(prefix, "DICM", 4) == 0;
        }
        HeaderVisitor visitor(out, out.dicomPrefix);
        reader.VisitElements(layout, kValueLimit, [&](const DicomElementVisit& e) { return visitor.Visit(e); });
        bool complete = whole || length == size || visitor.PixelReached() || visitor.NotDicom() ||
                        visitor.Directory() || reader.WalkStop();
        bool pixelData = visitor.PixelReached();
        std::uint64_t pixelStart = visitor.PixelStart();
        if (!complete) {
            // The walk ran into the end of the head: done if it stopped before the
            // Pixel Data's header, whose value the head does not hold.
            const std::uint64_t at = visitor.Visited() ? visitor.LastNext() : (layout == 2 ? 132 : 0);
            pixelData = visitor.PixelDataAt({m_head.data(), length}, at);
            pixelStart = at;
            complete = pixelData;
        }
        if (!complete) {
            continue;
        }
        // The head was checked for a change as it was read; a walk of the file may
        // have ended early at a read that found one.
        const bool groupsRead = visitor.ReadDefinedGroups(*file);
        reader.Reset();  // lets go of the file or the head
        if ((whole || groupsRead) && !file->Unchanged()) {
            return Reason(FileReadFailure::ChangedOnDisk);
        }
        if (visitor.Directory() || out.instance.sopClassUid == kMediaStorageDirectoryUid) {
            return HeaderScanFailure::DirectoryFile;
        }
        if (visitor.NotDicom() || !IdentifiesInstance(out) || !(out.dicomPrefix || visitor.Visited())) {
            return HeaderScanFailure::NotDicom;
        }
        visitor.Finish(pixelData, pixelStart, size);
        return {};
    }
    return HeaderScanFailure::NotDicom;  // not reached: the walk of the whole file is complete
}
