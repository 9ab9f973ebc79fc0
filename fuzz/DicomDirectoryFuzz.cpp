// Feeds arbitrary bytes to the DICOMDIR reader, and the same bytes as the header of
// an instance to the study index's header scan, whose patient name is then decoded
// by the character set the header names. Every record read must lie in the tree
// (its parent an earlier record) and no refused file ID may keep components.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dicom/CharacterSetText.h"
#include "dicom/DicomDirectory.h"
#include "dicom/InstanceHeader.h"
#include "io/ByteSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FileBuffer buffer = FileBuffer::Allocate(size);
    if (!buffer) {
        return 0;
    }
    if (size != 0) {
        std::memcpy(buffer.Data(), data, size);
    }
    const auto source = std::make_shared<MemorySource>(std::move(buffer));
    const DicomDirectory directory = ReadDicomDirectory(source);
    for (std::size_t i = 0; i < directory.records.size(); ++i) {
        const DirectoryRecord& record = directory.records[i];
        if (record.parent >= static_cast<std::int32_t>(i) || record.parent < -1) {
            std::abort();
        }
        if (record.fileIdProblem && !record.fileId.empty()) {
            std::abort();
        }
        for (const std::string& component : record.fileId) {
            if (component.empty() || component == ".." || component.find('/') != std::string::npos) {
                std::abort();
            }
        }
    }
    InstanceHeaderScanner scanner;
    InstanceHeader header;
    const Reason why = scanner.Scan(source, header);
    if (!why && header.instance.framePositions.size() > (std::size_t{1} << 20)) {
        std::abort();
    }
    // Each byte makes at most one character of at most three UTF-8 bytes.
    const std::string& name = header.series.patientName;
    if (TextInUtf8(name, header.series.specificCharacterSet).size() > 3 * name.size()) {
        std::abort();
    }
    return 0;
}
