#include "image/BmpFile.h"

#include <algorithm>
#include <array>
#include <limits>

#include "image/BmpNormalisation.h"
#include "image/BmpRle.h"
#include "io/AtomicFileWriter.h"
#include "io/ByteOrder.h"
#include "io/ImageMemoryLimit.h"
#include "io/RandomAccessFile.h"

namespace {

constexpr std::size_t kFileHeaderSize = 14;
// The file header and the bitmap header's fields up to the bit count.
constexpr std::size_t kSizeFieldsEnd = kFileHeaderSize + 16;
// The longest bitmap header there is (BITMAPV5HEADER); every field the extent of
// the picture is told from lies in it.
constexpr std::size_t kLongestHeader = 124;
// Bytes after the picture are kept up to this much, so that a bitmap read and
// written again keeps what some writers append after the rows; a file of gigabytes
// after a small picture costs no more than this.
constexpr std::uint64_t kKeptTail = std::uint64_t{64} << 10;
// Larger headers and colour tables than these are not a bitmap's: the block is then
// cut short of them and the normalisation says so.
constexpr std::uint32_t kLargestHeader = 4096;
constexpr std::uint64_t kLargestColourTable = std::uint64_t{256} << 10;
// An embedded colour profile (V5 header, colour space "MBED") is kept when it is no
// larger than this and lies near the picture.
constexpr std::uint32_t kEmbeddedProfile = 0x4D424544;
constexpr std::uint64_t kLargestProfile = std::uint64_t{4} << 20;

constexpr std::uint32_t kBitFieldsCompression = 3;

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

// The bytes of the block (everything after the file header) that the picture needs
// as its header declares it: header, bit-field masks, colour table and rows (for
// run-length data, the most that any encoder writes for the picture's size), and an
// embedded colour profile. `header` holds `available` bytes of the bitmap header.
// Where the header cannot say, only the header itself: the normalisation then
// refuses the block with its reason.
std::uint64_t DeclaredExtent(const std::uint8_t* header, std::size_t available) {
    if (available < 4) {
        return 0;
    }
    const std::uint32_t headerSize = ReadLE32(header);
    if (headerSize > kLargestHeader || available < std::min<std::size_t>(headerSize, kLongestHeader)) {
        return std::min<std::uint64_t>(headerSize, kLargestHeader);
    }
    std::int64_t width = 0, height = 0;
    std::uint32_t bitCount = 0, compression = 0, colorsUsed = 0;
    std::uint64_t tableEntrySize = 4;
    if (headerSize == kCoreHeaderSize) {
        width = ReadLE16(header + 4);
        height = ReadLE16(header + 6);
        bitCount = ReadLE16(header + 10);
        tableEntrySize = 3;
    } else if (headerSize >= 16) {
        width = static_cast<std::int32_t>(ReadLE32(header + 4));
        height = static_cast<std::int32_t>(ReadLE32(header + 8));
        height = height < 0 ? -height : height;
        bitCount = ReadLE16(header + 14);
        compression = headerSize >= 20 ? ReadLE32(header + 16) : 0;
        colorsUsed = headerSize >= 36 ? ReadLE32(header + 32) : 0;
    } else {
        return headerSize;
    }
    if (width <= 0 || width > 65535 || height > 65535 || bitCount > 32) {
        return headerSize;
    }
    const std::uint64_t table = colorsUsed != 0 && tableEntrySize == 4 ? std::uint64_t{colorsUsed} * 4
                                : bitCount <= 8                        ? (std::uint64_t{1} << bitCount) * tableEntrySize
                                                                       : 0;
    if (table > kLargestColourTable) {
        return headerSize;
    }
    const std::uint64_t masks = compression == kBitFieldsCompression && headerSize == kInfoHeaderSize ? 12 : 0;
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    std::uint64_t rows = 0;
    if (compression == kRle8 || compression == kRle4) {
        // At worst every pixel is a run of its own (two bytes), each row ends with
        // an end-of-line code and the bitmap with an end-of-bitmap code.
        rows = 2 * pixels + 2 * static_cast<std::uint64_t>(height) + 2;
    } else if (compression == 0 || compression == kBitFieldsCompression) {
        rows = (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4 * static_cast<std::uint64_t>(height);
    }
    std::uint64_t extent = headerSize + masks + table + rows;
    if (headerSize >= kLongestHeader && ReadLE32(header + 56) == kEmbeddedProfile) {
        const std::uint64_t profileEnd = std::uint64_t{ReadLE32(header + 112)} + ReadLE32(header + 116);
        if (ReadLE32(header + 116) <= kLargestProfile && profileEnd <= extent + kLargestProfile) {
            extent = std::max(extent, profileEnd);
        }
    }
    return extent;
}

// Reads the bitmap from `source` (the whole file, file header included): only the
// bytes its header declares, and a short tail after them.
PackedDibPtr ReadBmpFrom(const ByteSource& source, const std::string& path, Reason* why) {
    std::uint8_t head[kFileHeaderSize + kLongestHeader] = {};
    const auto headLength = static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), sizeof head));
    if (const SourceRead read = source.ReadAt(0, head, headLength); read != SourceRead::Done) {
        SetReason(why, SourceReadFailure(read, path));
        return nullptr;
    }
    if (Reason problem = FileStartProblem(head, headLength)) {
        SetReason(why, std::move(problem));
        return nullptr;
    }
    const std::uint64_t declared = DeclaredExtent(head + kFileHeaderSize, headLength - kFileHeaderSize);
    const std::uint64_t length = std::min(source.Size() - kFileHeaderSize, declared + kKeptTail);
    PackedDibPtr block = PackedDib::Allocate(static_cast<std::size_t>(length));
    if (!block) {
        SetReason(why, BmpFailure::OutOfMemory);
        return nullptr;
    }
    if (const SourceRead read = source.ReadAt(kFileHeaderSize, block->Bytes(), block->Length());
        read != SourceRead::Done) {
        SetReason(why, SourceReadFailure(read, path));
        return nullptr;
    }
    return NormaliseBmpBlock(std::move(block), why);
}

}  // namespace

PackedDibPtr ReadBmpFile(const std::string& path, Reason* why) {
    const std::shared_ptr<RandomAccessFile> file = RandomAccessFile::Open(path, why);
    if (!file) {
        return nullptr;
    }
    return ReadBmpFrom(*file, path, why);
}

PackedDibPtr ReadBmpBytes(const std::uint8_t* bytes, std::size_t size, Reason* why) {
    return ReadBmpFrom(BorrowedBytes(bytes, size), "the bytes given", why);
}

WriteOutcome WriteBmpFile(const PackedDib* dib, const std::string& path, Placement placement) {
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
    return WriteFileAtomically(path, pieces, placement);
}
