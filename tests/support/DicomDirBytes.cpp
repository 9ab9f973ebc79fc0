#include "tests/support/DicomDirBytes.h"

#include "tools/dicomstream/DicomStreamBuilder.h"

namespace {

const char* VrOf(std::uint32_t tag) {
    switch (tag) {
    case 0x00080020: return "DA";
    case 0x00080030: return "TM";
    case 0x00100010: return "PN";
    case 0x0020000D:
    case 0x0020000E:
    case 0x00041510:
    case 0x00041511: return "UI";
    case 0x00200011:
    case 0x00200013: return "IS";
    case 0x00080050:
    case 0x00200010: return "SH";
    case 0x00080060: return "CS";
    default: return "LO";
    }
}

DicomStreamBuilder RecordItem(const DirRecordSpec& r, std::uint32_t next, std::uint32_t lower) {
    DicomStreamBuilder content;
    content.ExplicitUL(0x0004, 0x1400, next).ExplicitUS(0x0004, 0x1410, 0xFFFF).ExplicitUL(0x0004, 0x1420, lower);
    content.ExplicitText(0x0004, 0x1430, "CS", r.type);
    if (!r.fileId.empty()) {
        content.ExplicitText(0x0004, 0x1500, "CS", r.fileId);
    }
    for (const auto& [tag, text] : r.keys) {
        content.ExplicitText(static_cast<std::uint16_t>(tag >> 16), static_cast<std::uint16_t>(tag), VrOf(tag), text);
    }
    DicomStreamBuilder item;
    item.BeginItem().Raw(content.Bytes()).EndItem();
    return item;
}

DicomStreamBuilder Header(std::uint32_t root, std::uint32_t last) {
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup(kExplicitVrLittleEndian, "1.2.840.10008.1.3.10", "2.25.1")
        .ExplicitText(0x0004, 0x1130, "CS", "TESTSET")
        .ExplicitUL(0x0004, 0x1200, root)
        .ExplicitUL(0x0004, 0x1202, last)
        .ExplicitUS(0x0004, 0x1212, 0)
        .BeginSequence(0x0004, 0x1220);
    return b;
}

std::vector<std::uint32_t> Offsets(const std::vector<DirRecordSpec>& records) {
    std::uint32_t at = static_cast<std::uint32_t>(Header(0, 0).Size());
    std::vector<std::uint32_t> offsets;
    for (const DirRecordSpec& r : records) {
        offsets.push_back(at);
        at += static_cast<std::uint32_t>(RecordItem(r, 0, 0).Size());
    }
    return offsets;
}

}  // namespace

std::uint32_t DicomDirRecordOffset(const std::vector<DirRecordSpec>& records, std::size_t index) {
    return Offsets(records)[index];
}

std::vector<std::uint8_t> DicomDirBytes(const std::vector<DirRecordSpec>& records, std::optional<std::uint32_t> root) {
    const std::vector<std::uint32_t> offsets = Offsets(records);
    const auto firstChild = [&](int parent, std::size_t after) -> std::uint32_t {
        for (std::size_t i = after; i < records.size(); ++i) {
            if (records[i].parent == parent) {
                return offsets[i];
            }
        }
        return 0;
    };
    std::uint32_t last = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].parent < 0) {
            last = offsets[i];
        }
    }
    DicomStreamBuilder b = Header(root.value_or(firstChild(-1, 0)), last);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const DirRecordSpec& r = records[i];
        const std::uint32_t next = r.next.value_or(firstChild(r.parent, i + 1));
        const std::uint32_t lower = r.lower.value_or(firstChild(static_cast<int>(i), 0));
        b.Raw(RecordItem(r, next, lower).Bytes());
    }
    b.EndSequence();
    return b.Bytes();
}
