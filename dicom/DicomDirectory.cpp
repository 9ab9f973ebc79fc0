// The DICOMDIR reader: the file's own elements by the reader's walk, then the
// directory records one by one at the offsets that link them.
#include "dicom/DicomDirectory.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "dicom/DicomFile.h"
#include "dicom/ElementValues.h"
#include "dicom/VrCodes.h"
#include "io/ByteOrder.h"
#include "io/ByteSource.h"

namespace {

constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFFu;
constexpr std::uint32_t kValueLimit = 512;
// No record takes more: the keys of an image record and an icon make a few kilobytes.
constexpr std::uint64_t kMaxRecordBytes = std::uint64_t{1} << 20;
// Sequences nested in a record (icons, codes) are stepped over down to this depth.
constexpr int kMaxNesting = 8;
constexpr std::size_t kWindow = std::size_t{64} << 10;

constexpr std::uint32_t Tag(std::uint16_t group, std::uint16_t element) {
    return std::uint32_t{group} << 16 | element;
}

// Positioned reads through a window, so that records close together cost one read.
class Bytes {
public:
    explicit Bytes(const ByteSource& source) : m_source(source), m_size(source.Size()) {}
    std::uint64_t Size() const { return m_size; }
    // `size` bytes at `offset`, valid until the next call; null when they are not all there.
    const std::uint8_t* At(std::uint64_t offset, std::size_t size) {
        if (offset > m_size || size > m_size - offset) {
            return nullptr;
        }
        if (const std::uint8_t* memory = m_source.Memory()) {
            return memory + offset;
        }
        if (offset >= m_start && offset - m_start + size <= m_length) {
            return m_window.data() + (offset - m_start);
        }
        const std::size_t length =
            std::max(size, static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, m_size - offset)));
        m_window.resize(std::max(m_window.size(), length));
        m_length = 0;
        if (m_source.ReadAt(offset, m_window.data(), length) != SourceRead::Done) {
            return nullptr;
        }
        m_start = offset;
        m_length = length;
        return m_window.data();
    }

private:
    const ByteSource& m_source;
    std::uint64_t m_size;
    std::vector<std::uint8_t> m_window;
    std::uint64_t m_start = 0;
    std::size_t m_length = 0;
};

struct ElementHeader {
    std::uint32_t tag = 0;
    std::uint32_t length = 0;
    std::uint64_t valueStart = 0;
};

class RecordReader {
public:
    // Records may overlap (offsets are the file's word): the element headers read in
    // all are bounded by twice what the file could hold, plus room for small files.
    RecordReader(Bytes& bytes, bool bigEndian)
        : m_bytes(bytes), m_big(bigEndian), m_budget(bytes.Size() / 4 + (std::uint64_t{1} << 20)) {}

    // The element header at `at`, decided explicit or implicit as the reader's walk
    // decides it; false when it is not all in the file or the budget is spent.
    bool Header(std::uint64_t at, ElementHeader& h) {
        if (m_budget == 0) {
            return false;
        }
        --m_budget;
        const std::uint8_t* p = m_bytes.At(at, 8);
        if (p == nullptr) {
            return false;
        }
        h.tag = Tag(Read16(p, m_big), Read16(p + 2, m_big));
        if ((h.tag >> 16) == 0xFFFE || !IsKnownVrCode(p[4], p[5])) {
            h.length = Read32(p + 4, m_big);
            h.valueStart = at + 8;
            return true;
        }
        if (IsLongFormVrCode(p[4], p[5])) {
            const std::uint8_t* q = m_bytes.At(at, 12);
            if (q == nullptr) {
                return false;
            }
            h.length = Read32(q + 8, m_big);
            h.valueStart = at + 12;
            return true;
        }
        h.length = Read16(p + 6, m_big);
        h.valueStart = at + 8;
        return true;
    }

    // Where the items of an undefined-length value that starts at `at` end (after
    // the sequence delimiter); 0 when they cannot be read within `limit`.
    std::uint64_t ItemsEnd(std::uint64_t at, std::uint64_t limit, int depth) {
        if (depth > kMaxNesting) {
            return 0;
        }
        while (at < limit) {
            ElementHeader h;
            if (!Header(at, h)) {
                return 0;
            }
            if (h.tag == Tag(0xFFFE, 0xE0DD)) {
                return h.valueStart;
            }
            at = h.tag == Tag(0xFFFE, 0xE000) && h.length == kUndefinedLength ? ItemEnd(h.valueStart, limit, depth + 1)
                                                                               : End(h, limit, depth);
            if (at == 0) {
                return 0;
            }
        }
        return 0;
    }

    // Where an item of undefined length whose elements start at `at` ends.
    std::uint64_t ItemEnd(std::uint64_t at, std::uint64_t limit, int depth) {
        if (depth > kMaxNesting) {
            return 0;
        }
        while (at < limit) {
            ElementHeader h;
            if (!Header(at, h)) {
                return 0;
            }
            if (h.tag == Tag(0xFFFE, 0xE00D)) {
                return h.valueStart;
            }
            at = End(h, limit, depth);
            if (at == 0) {
                return 0;
            }
        }
        return 0;
    }

    // Where the element `h` ends, nested items and all; 0 when that is not within `limit`.
    std::uint64_t End(const ElementHeader& h, std::uint64_t limit, int depth) {
        if (h.length == kUndefinedLength) {
            return ItemsEnd(h.valueStart, limit, depth + 1);
        }
        const std::uint64_t end = h.valueStart + h.length;
        return end <= limit ? end : 0;
    }

    std::span<const std::uint8_t> Value(const ElementHeader& h) {
        const auto n = static_cast<std::size_t>(std::min(h.length, kValueLimit));
        const std::uint8_t* p = m_bytes.At(h.valueStart, n);
        return p != nullptr ? std::span<const std::uint8_t>(p, n) : std::span<const std::uint8_t>();
    }

    std::uint32_t Offset(const ElementHeader& h) {
        const std::span<const std::uint8_t> v = Value(h);
        return v.size() >= 4 ? Read32(v.data(), m_big) : 0;
    }

    std::uint16_t Short(const ElementHeader& h) {
        const std::span<const std::uint8_t> v = Value(h);
        return v.size() >= 2 ? Read16(v.data(), m_big) : 0;
    }

private:
    Bytes& m_bytes;
    bool m_big;
    std::uint64_t m_budget;
};

DirectoryRecordKind KindOf(const std::string& type) {
    if (type == "PATIENT") {
        return DirectoryRecordKind::Patient;
    }
    if (type == "STUDY") {
        return DirectoryRecordKind::Study;
    }
    if (type == "SERIES") {
        return DirectoryRecordKind::Series;
    }
    if (type == "IMAGE") {
        return DirectoryRecordKind::Image;
    }
    return DirectoryRecordKind::Other;
}

// The components of a Referenced File ID, or why they are refused: a component that
// is empty (a leading "\" makes the ID absolute), "." or "..", or holds "/" (which
// would name folders of its own), a NUL or a drive's ":". A record that holds the
// element twice keeps the last, whole: the components of one ID never join another's,
// and a refused ID never stands beside components.
void SplitFileId(const std::string& text, DirectoryRecord& record) {
    record.fileId.clear();
    record.fileIdProblem = Reason();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\\', start);
        std::string component = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        while (!component.empty() && component.back() == ' ') {
            component.pop_back();
        }
        if (component.empty() || component == "." || component == ".." ||
            component.find_first_of(std::string("/:\0", 3)) != std::string::npos) {
            record.fileId.clear();
            record.fileIdProblem = Reason(DirectoryFailure::FileIdRefused).About(text);
            return;
        }
        record.fileId.push_back(std::move(component));
        if (end == std::string::npos) {
            return;
        }
        start = end + 1;
    }
}

struct Links {
    std::uint32_t next = 0;
    std::uint32_t lower = 0;
};

// Reads the record whose item starts at `at` into `record`; false, with `stop`, when
// it is not a readable item.
bool ReadRecord(RecordReader& reader, std::uint64_t size, std::uint64_t at, DirectoryRecord& record, Links& links,
                Reason& stop) {
    ElementHeader item;
    if (!reader.Header(at, item) || item.tag != Tag(0xFFFE, 0xE000)) {
        stop = Reason(DirectoryFailure::RecordOutside).Numbers(static_cast<std::int64_t>(at));
        return false;
    }
    const bool undefined = item.length == kUndefinedLength;
    // An item longer than the file keeps the elements the file holds: editors that
    // drop elements from a record do not always shorten its length.
    const std::uint64_t limit = std::min(size, item.valueStart + (undefined ? kMaxRecordBytes : item.length));
    std::uint64_t cursor = item.valueStart;
    while (cursor < limit) {
        ElementHeader h;
        if (!reader.Header(cursor, h)) {
            break;
        }
        if (h.tag == Tag(0xFFFE, 0xE00D)) {
            return true;
        }
        const std::uint64_t end = reader.End(h, limit, 0);
        if (end == 0) {
            stop = Reason(DirectoryFailure::RecordUnreadable).Numbers(static_cast<std::int64_t>(at));
            return false;
        }
        if (h.length != kUndefinedLength) {
            const std::span<const std::uint8_t> v = reader.Value(h);
            switch (h.tag) {
            case Tag(0x0004, 0x1400): links.next = reader.Offset(h); break;
            case Tag(0x0004, 0x1410): record.inUse = reader.Short(h) != 0; break;
            case Tag(0x0004, 0x1420): links.lower = reader.Offset(h); break;
            case Tag(0x0004, 0x1430): record.type = ValueText(v); break;
            case Tag(0x0004, 0x1500): SplitFileId(ValueText(v), record); break;
            case Tag(0x0004, 0x1510): record.sopClassUid = ValueText(v); break;
            case Tag(0x0004, 0x1511): record.sopInstanceUid = ValueText(v); break;
            case Tag(0x0020, 0x0013): record.instanceNumber = ValueInteger(v); break;
            default: CaptureSeriesKey(h.tag, v, record.keys); break;
            }
        }
        cursor = end;
    }
    if (undefined && cursor >= limit) {
        // An item of undefined length ends at its delimiter: without one it is not
        // known where the record ends.
        stop = Reason(DirectoryFailure::RecordUnreadable).Numbers(static_cast<std::int64_t>(at));
        return false;
    }
    return true;
}

// Where the first record of the Directory Record Sequence at `sequenceStart` starts;
// 0 when the sequence holds none. Some writers leave the root record's offset 0
// though records follow: the first of them is then the first root record.
std::uint32_t FirstItemOffset(RecordReader& reader, std::uint64_t sequenceStart) {
    ElementHeader sequence;
    if (!reader.Header(sequenceStart, sequence) || sequence.length == 0) return 0;
    ElementHeader item;
    if (!reader.Header(sequence.valueStart, item) || item.tag != Tag(0xFFFE, 0xE000)) return 0;
    if (sequence.valueStart > std::numeric_limits<std::uint32_t>::max()) return 0;
    return static_cast<std::uint32_t>(sequence.valueStart);
}

// Records that name a file and that no offset leads to, read in the order the
// sequence stores them, as records without a parent: a writer that got the root
// offset wrong, or a tool that moved records without mending every offset, would
// otherwise hide their files without a word. Records the walk reached are not read
// again; a record that cannot be read ends the sweep.
void AddUnlinkedRecords(RecordReader& reader, std::uint64_t size, std::uint64_t sequenceStart,
                        const std::unordered_set<std::uint32_t>& seen, DicomDirectory& directory) {
    ElementHeader sequence;
    if (!reader.Header(sequenceStart, sequence)) return;
    const std::uint64_t end = sequence.length == kUndefinedLength
                                  ? size
                                  : std::min(size, sequence.valueStart + std::uint64_t{sequence.length});
    std::uint64_t at = sequence.valueStart;
    while (at < end && directory.records.size() < kMaxDirectoryRecords) {
        ElementHeader item;
        if (!reader.Header(at, item) || item.tag != Tag(0xFFFE, 0xE000)) return;
        const std::uint64_t next = item.length == kUndefinedLength ? reader.ItemEnd(item.valueStart, size, 0)
                                                                   : item.valueStart + std::uint64_t{item.length};
        if (next <= at) return;
        if (at <= std::numeric_limits<std::uint32_t>::max() && seen.count(static_cast<std::uint32_t>(at)) == 0) {
            DirectoryRecord record;
            Links links;
            Reason unreadable;
            if (!ReadRecord(reader, size, at, record, links, unreadable)) return;
            if (record.inUse && (!record.fileId.empty() || record.fileIdProblem)) {
                record.kind = KindOf(record.type);
                directory.records.push_back(std::move(record));
            }
        }
        at = next;
    }
}

}  // namespace

std::string ReasonText(DirectoryFailure code, const Reason& reason) {
    const std::string offset = std::to_string(reason.First());
    switch (code) {
    case DirectoryFailure::NotADirectory: return "the file holds no directory records";
    case DirectoryFailure::RecordOutside:
        return "a directory record offset (" + offset + ") points outside the file or at no record";
    case DirectoryFailure::RecordLoop: return "the directory records loop back to the record at offset " + offset;
    case DirectoryFailure::TooManyRecords: return "the DICOMDIR holds more than " + offset + " records";
    case DirectoryFailure::RecordUnreadable: return "the directory record at offset " + offset + " cannot be read";
    case DirectoryFailure::FileIdRefused: break;
    }
    return "the file ID \"" + reason.Subject() + "\" leaves the DICOMDIR's folder and is refused";
}

bool IsDicomDirName(const std::string& name) {
    static constexpr char kName[] = "DICOMDIR";
    if (name.size() != sizeof kName - 1) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
        if (c != kName[i]) {
            return false;
        }
    }
    return true;
}

DicomDirectory ReadDicomDirectory(const std::shared_ptr<const ByteSource>& source) {
    DicomDirectory directory;
    if (source == nullptr) {
        directory.stop = DirectoryFailure::NotADirectory;
        return directory;
    }
    // The file's own elements, up to the Directory Record Sequence.
    std::uint32_t root = 0;
    bool sequence = false;
    bool bigEndian = false;
    std::uint64_t sequenceStart = 0;
    CDicomFile file;
    file.LoadSource(source);
    file.VisitElements(file.DetectLayout(), 8, [&](const DicomElementVisit& e) {
        const std::uint32_t tag = Tag(e.group, e.element);
        if (tag == Tag(0x0004, 0x1200) && e.value.size() >= 4) {
            root = Read32(e.value.data(), e.bigEndian);
        } else if (tag == Tag(0x0004, 0x1220)) {
            sequence = true;
            bigEndian = e.bigEndian;
            sequenceStart = e.start;
            return false;
        }
        return true;
    });
    if (!sequence) {
        directory.stop = DirectoryFailure::NotADirectory;
        return directory;
    }
    Bytes bytes(*source);
    RecordReader reader(bytes, bigEndian);
    if (root == 0) root = FirstItemOffset(reader, sequenceStart);
    struct Pending {
        std::uint32_t offset;
        std::int32_t parent;
    };
    std::vector<Pending> pending{{root, -1}};
    std::unordered_set<std::uint32_t> seen;
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        if (p.offset == 0) {
            continue;
        }
        if (!seen.insert(p.offset).second) {
            directory.stop = Reason(DirectoryFailure::RecordLoop).Numbers(p.offset);
            break;
        }
        if (directory.records.size() >= kMaxDirectoryRecords) {
            directory.stop =
                Reason(DirectoryFailure::TooManyRecords).Numbers(static_cast<std::int64_t>(kMaxDirectoryRecords));
            break;
        }
        DirectoryRecord record;
        Links links;
        if (!ReadRecord(reader, bytes.Size(), p.offset, record, links, directory.stop)) {
            break;
        }
        record.kind = KindOf(record.type);
        record.parent = p.parent;
        const auto index = static_cast<std::int32_t>(directory.records.size());
        directory.records.push_back(std::move(record));
        // The next sibling after this record's children: depth first.
        pending.push_back({links.next, p.parent});
        pending.push_back({links.lower, index});
    }
    if (!directory.stop) AddUnlinkedRecords(reader, bytes.Size(), sequenceStart, seen, directory);
    return directory;
}
