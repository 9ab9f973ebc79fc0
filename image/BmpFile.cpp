#include "image/BmpFile.h"

#include <array>
#include <cstring>
#include <limits>

#include "io/AtomicFileWriter.h"
#include "image/BmpNormalisation.h"
#include "io/ByteOrder.h"
#include "io/FileBuffer.h"

namespace {

constexpr std::size_t kFileHeaderSize = 14;

}  // namespace

PackedDibPtr ReadBmpFile(const std::string& path, Reason* why) {
    FileBuffer bytes;
    if (Reason failure = ReadWholeFile(path, bytes)) {
        SetReason(why, std::move(failure));
        return nullptr;
    }
    return ReadBmpBytes(bytes.Data(), bytes.Size(), why);
}

PackedDibPtr ReadBmpBytes(const std::uint8_t* bytes, std::size_t size, Reason* why) {
    if (size < kFileHeaderSize) {
        SetReason(why, BmpFailure::FileTooShort);
        return nullptr;
    }
    if (bytes[0] != 'B' || bytes[1] != 'M') {
        SetReason(why, BmpFailure::NotBitmap);
        return nullptr;
    }
    PackedDibPtr block = PackedDib::Allocate(size - kFileHeaderSize);
    if (!block) {
        SetReason(why, BmpFailure::OutOfMemory);
        return nullptr;
    }
    if (block->Length() != 0) {
        std::memcpy(block->Bytes(), bytes + kFileHeaderSize, block->Length());
    }
    return NormaliseBmpBlock(std::move(block), why);
}

WriteOutcome WriteBmpFile(const PackedDib* dib, const std::string& path) {
    if (dib == nullptr) {
        return WriteOutcome::Failed(BmpFailure::NothingToSave);
    }
    if (Reason problem = DibLayoutProblem(dib)) {
        return WriteOutcome::Failed(std::move(problem));
    }
    if (dib->Length() > std::numeric_limits<std::uint32_t>::max() - kFileHeaderSize) {
        return WriteOutcome::Failed(BmpFailure::TooLargeForFile);
    }
    // The layout check guarantees that header and table lie inside the block, so the
    // offset of the rows fits in 32 bits as the file size does.
    const std::uint64_t rowsAt = kFileHeaderSize + DibHeaderSize(dib) + DibColorTableSize(dib);
    std::array<std::uint8_t, kFileHeaderSize> header{};
    header[0] = 'B';
    header[1] = 'M';
    WriteLE32(header.data() + 2, static_cast<std::uint32_t>(dib->Length() + kFileHeaderSize));
    WriteLE32(header.data() + 10, static_cast<std::uint32_t>(rowsAt));
    const std::span<const std::uint8_t> pieces[] = {header, {dib->Bytes(), dib->Length()}};
    return WriteFileAtomically(path, pieces);
}
