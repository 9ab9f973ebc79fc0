#include "image/BmpFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "image/BmpNormalisation.h"
#include "io/AtomicFileWriter.h"
#include "io/ByteOrder.h"
#include "io/FileBuffer.h"
#include "io/ImageMemoryLimit.h"

namespace {

constexpr std::size_t kFileHeaderSize = 14;
// The file header and the bitmap header's fields up to the bit count.
constexpr std::size_t kSizeFieldsEnd = kFileHeaderSize + 16;

// Refuses, from the first kSizeFieldsEnd bytes of a file, a picture beyond the image
// size limit (as the program will hold it: 16- and 32-bit pixels become 24-bit ones).
// Sizes it cannot judge are left to the checks of the whole block.
Reason ClaimedSizeProblem(const std::uint8_t* bytes, std::size_t size) {
    if (size < kSizeFieldsEnd) {
        return {};
    }
    const std::uint8_t* header = bytes + kFileHeaderSize;
    const std::uint32_t headerSize = ReadLE32(header);
    std::int64_t width = 0, height = 0;
    std::uint16_t bitCount = 0;
    if (headerSize == kCoreHeaderSize) {
        width = ReadLE16(header + 4);
        height = ReadLE16(header + 6);
        bitCount = ReadLE16(header + 10);
    } else if (headerSize >= 16) {
        width = static_cast<std::int32_t>(ReadLE32(header + 4));
        height = static_cast<std::int32_t>(ReadLE32(header + 8));
        height = height < 0 ? -height : height;
        bitCount = ReadLE16(header + 14);
    }
    if (width <= 0 || width > 65535 || height > 65535) {
        return {};
    }
    const std::uint64_t bytesPerRow = (bitCount == 16 || bitCount == 32)
                                          ? std::uint64_t{3} * static_cast<std::uint64_t>(width)
                                          : (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
    if (!ImageFitsInMemory(bytesPerRow * static_cast<std::uint64_t>(height))) {
        return Reason(BmpFailure::TooLargeToShow).Numbers(width, height);
    }
    return {};
}

// Why a file that begins with these bytes is not read further, or nothing.
Reason FileStartProblem(const std::uint8_t* bytes, std::size_t size) {
    if (size < kFileHeaderSize) {
        return BmpFailure::FileTooShort;
    }
    if (bytes[0] != 'B' || bytes[1] != 'M') {
        return BmpFailure::NotBitmap;
    }
    return ClaimedSizeProblem(bytes, size);
}

}  // namespace

PackedDibPtr ReadBmpFile(const std::string& path, Reason* why) {
    // The bytes after the file header are read straight into the block: the picture
    // is never held twice.
    PackedDibPtr block;
    const auto destination = [&block](std::span<const std::uint8_t> head, std::size_t restSize,
                                      Reason& refusal) -> std::uint8_t* {
        if ((refusal = FileStartProblem(head.data(), head.size()))) {
            return nullptr;
        }
        const std::size_t inHead = head.size() - kFileHeaderSize;
        block = PackedDib::Allocate(inHead + restSize);
        if (!block) {
            refusal = BmpFailure::OutOfMemory;
            return nullptr;
        }
        std::copy(head.begin() + kFileHeaderSize, head.end(), block->Bytes());
        return block->Bytes() + inHead;
    };
    if (Reason failure = ReadFileInTwoParts(path, kSizeFieldsEnd, destination)) {
        SetReason(why, std::move(failure));
        return nullptr;
    }
    return NormaliseBmpBlock(std::move(block), why);
}

PackedDibPtr ReadBmpBytes(const std::uint8_t* bytes, std::size_t size, Reason* why) {
    if (Reason problem = FileStartProblem(bytes, size)) {
        SetReason(why, std::move(problem));
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
