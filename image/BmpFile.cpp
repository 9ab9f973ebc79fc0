#include "image/BmpFile.h"

#include <array>
#include <cstring>
#include <limits>

#include "io/AtomicFileWriter.h"
#include "image/BmpNormalisation.h"
#include "io/ByteOrder.h"
#include "io/FailureReason.h"
#include "io/FileBuffer.h"

namespace {

constexpr std::size_t kFileHeaderSize = 14;

}  // namespace

PackedDibPtr ReadBmpFile(const std::string& path, std::string* why) {
    FileBuffer bytes;
    if (!ReadWholeFile(path, bytes, why)) {
        return nullptr;
    }
    return ReadBmpBytes(bytes.Data(), bytes.Size(), why);
}

PackedDibPtr ReadBmpBytes(const std::uint8_t* bytes, std::size_t size, std::string* why) {
    if (size < kFileHeaderSize) {
        SetReason(why, "the file is too short to be a bitmap");
        return nullptr;
    }
    if (bytes[0] != 'B' || bytes[1] != 'M') {
        SetReason(why, "the file is not a bitmap (it does not begin with \"BM\")");
        return nullptr;
    }
    PackedDibPtr block = PackedDib::Allocate(size - kFileHeaderSize);
    if (!block) {
        SetReason(why, "there is not enough memory for the bitmap");
        return nullptr;
    }
    if (block->Length() != 0) {
        std::memcpy(block->Bytes(), bytes + kFileHeaderSize, block->Length());
    }
    return NormaliseBmpBlock(std::move(block), why);
}

WriteOutcome WriteBmpFile(const PackedDib* dib, const std::string& path) {
    if (dib == nullptr) {
        return WriteOutcome::Failed("there is no image to save");
    }
    if (const char* problem = DibLayoutProblem(dib)) {
        return WriteOutcome::Failed(std::string("cannot save the image: ") + problem);
    }
    if (dib->Length() > std::numeric_limits<std::uint32_t>::max() - kFileHeaderSize) {
        return WriteOutcome::Failed("the image is too large for a bitmap file");
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
