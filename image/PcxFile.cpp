#include "image/PcxFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "io/ByteOrder.h"
#include "io/ImageMemoryLimit.h"
#include "io/RandomAccessFile.h"

namespace {

constexpr std::size_t kPcxHeaderSize = 128;
constexpr std::uint8_t kRunMarker = 0xC0;  // a byte above this is a run of (byte - 0xC0) copies
constexpr std::uint64_t kLongestRun = 63;  // so two input bytes never yield more than this
// The bitmap's width is BytesPerLine rounded up to 4 and must stay a 16-bit number.
constexpr std::uint32_t kWidestLine = 65532;
constexpr std::uint32_t kMostRows = 65535;

}  // namespace

std::string ReasonText(PcxFailure code, const Reason& reason) {
    switch (code) {
    case PcxFailure::FileTooShort: return "the file is shorter than a PCX header";
    case PcxFailure::TooLarge:
        return "the picture is larger than 65,532 x 65,535 pixels (" + std::to_string(reason.First()) + " x " +
               std::to_string(reason.Second()) + ")";
    case PcxFailure::DataTooShort: return "the picture data is far too short for the size its header announces";
    case PcxFailure::DataRunsOut:
        return "the picture data ends in line " + std::to_string(reason.First()) + ", before the picture does";
    case PcxFailure::TooLargeToShow:
        return "too large to show (" + std::to_string(reason.First()) + " x " + std::to_string(reason.Second()) + ")";
    case PcxFailure::OutOfMemory: break;
    }
    return "there is not enough memory for the picture";
}

const char* ReasonName(PcxFailure code) {
    switch (code) {
    case PcxFailure::FileTooShort: return "pcx_file_too_short";
    case PcxFailure::TooLarge: return "pcx_too_large";
    case PcxFailure::DataTooShort: return "pcx_data_too_short";
    case PcxFailure::DataRunsOut: return "pcx_data_runs_out";
    case PcxFailure::TooLargeToShow: return "too_large_to_show";
    case PcxFailure::OutOfMemory: return "out_of_memory";
    }
    return "unknown";
}

namespace {

// Hands out a source's bytes from a starting offset to its end, in order, a chunk
// at a time: a file is never held whole, whatever its length. Bytes in memory are
// read in place.
class SequentialBytes {
public:
    SequentialBytes(const ByteSource& source, std::uint64_t start) : m_source(source), m_next(start) {
        if (const std::uint8_t* memory = source.Memory(); memory != nullptr && start <= source.Size()) {
            m_at = memory + start;
            m_end = memory + source.Size();
            m_next = source.Size();
        }
    }

    // The next byte; false at the end of the source, or when a read fails (Failure()
    // then says how).
    bool Next(std::uint8_t& byte) {
        if (m_at == m_end && !Refill()) {
            return false;
        }
        byte = *m_at++;
        return true;
    }
    SourceRead Failure() const { return m_failure; }

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;

    bool Refill() {
        if (m_next >= m_source.Size() || m_failure != SourceRead::Done) {
            return false;
        }
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, m_source.Size() - m_next));
        m_chunk.resize(size);
        m_failure = m_source.ReadAt(m_next, m_chunk.data(), size);
        if (m_failure != SourceRead::Done) {
            return false;
        }
        m_next += size;
        m_at = m_chunk.data();
        m_end = m_at + size;
        return true;
    }

    const ByteSource& m_source;
    std::uint64_t m_next;
    std::vector<std::uint8_t> m_chunk;
    const std::uint8_t* m_at = nullptr;
    const std::uint8_t* m_end = nullptr;
    SourceRead m_failure = SourceRead::Done;
};

// Decodes run-length bytes into one span after another: a run may go on from the end
// of one line into the next, as the bytes flow on regardless of lines.
class RunDecoder {
public:
    explicit RunDecoder(SequentialBytes& in) : m_in(in) {}

    // Fills `out` with the next `count` bytes; false, with the rest of `out` 0, when
    // the input ends first.
    bool Decode(std::uint8_t* out, std::size_t count) {
        std::size_t done = 0;
        while (done < count) {
            if (m_runLeft == 0 && !NextCode()) {
                std::memset(out + done, 0, count - done);
                return false;
            }
            const std::size_t n = std::min(m_runLeft, count - done);
            std::memset(out + done, m_runValue, n);
            done += n;
            m_runLeft -= n;
        }
        return true;
    }

private:
    // Reads the next literal or run; false when the input holds no complete one (a
    // run marker with no byte to repeat included).
    bool NextCode() {
        std::uint8_t b = 0;
        if (!m_in.Next(b)) {
            return false;
        }
        if (b > kRunMarker) {
            if (!m_in.Next(m_runValue)) {
                return false;
            }
            m_runLeft = b - kRunMarker;
        } else {
            m_runLeft = 1;
            m_runValue = b;
        }
        return true;
    }

    SequentialBytes& m_in;
    std::size_t m_runLeft = 0;
    std::uint8_t m_runValue = 0;
};

// An 8-bit block of `rows` lines of `bytesPerLine` (rounded up to 4), all 0, with the
// grey table whose fourth bytes are the header's reserved byte.
PackedDibPtr CreatePcxDib(std::uint16_t bytesPerLine, std::uint16_t rows, std::uint8_t reservedByte) {
    PackedDibPtr dib = CreateGreyDib(static_cast<std::uint16_t>(RoundUpToFour(bytesPerLine)), rows);
    if (!dib) {
        return nullptr;
    }
    std::uint8_t* p = dib->Bytes();
    WriteLE32(p + 32, 256);  // colours used: the table is always complete
    for (int i = 0; i < 256; ++i) {
        p[kInfoHeaderSize + 4 * i + 3] = reservedByte;
    }
    return dib;
}

// Reads the picture from `source` (the whole file): the header, then the run-length
// bytes a chunk at a time until the picture is complete, so that a file of any
// length costs the picture and one chunk.
PackedDibPtr ReadPcxFrom(const ByteSource& source, const std::string& path, Reason* why) {
    if (source.Size() < kPcxHeaderSize) {
        SetReason(why, PcxFailure::FileTooShort);
        return nullptr;
    }
    std::uint8_t header[kPcxHeaderSize];
    if (const SourceRead read = source.ReadAt(0, header, kPcxHeaderSize); read != SourceRead::Done) {
        SetReason(why, SourceReadFailure(read, path));
        return nullptr;
    }
    const std::uint32_t rows = std::uint32_t{ReadLE16(header + 10)} + 1;  // Ymax + 1; Ymin is taken as 0
    const std::uint16_t bytesPerLine = ReadLE16(header + 66);
    if (rows > kMostRows || bytesPerLine > kWidestLine) {
        SetReason(why, Reason(PcxFailure::TooLarge).Numbers(bytesPerLine, rows));
        return nullptr;
    }
    const std::uint64_t decodedSize = std::uint64_t{rows} * bytesPerLine;
    const std::uint64_t encodedSize = source.Size() - kPcxHeaderSize;
    // Refused before anything is allocated: a tiny file cannot claim a huge picture.
    // Two bytes make the longest run; an odd last byte can only be a literal. (Far
    // more bytes than pixels are always enough, and would overflow the product.)
    const std::uint64_t mostDecoded =
        encodedSize / 2 > decodedSize ? decodedSize : encodedSize / 2 * kLongestRun + encodedSize % 2;
    if (decodedSize > mostDecoded) {
        SetReason(why, PcxFailure::DataTooShort);
        return nullptr;
    }
    if (!ImageFitsInMemory(std::uint64_t{RoundUpToFour(bytesPerLine)} * rows)) {
        SetReason(why, Reason(PcxFailure::TooLargeToShow).Numbers(bytesPerLine, rows));
        return nullptr;
    }
    PackedDibPtr dib = CreatePcxDib(bytesPerLine, static_cast<std::uint16_t>(rows), header[64]);
    if (!dib) {
        SetReason(why, PcxFailure::OutOfMemory);
        return nullptr;
    }
    // The lines are decoded straight into the block, the first (the top of the
    // picture) into the last stored row; the columns added by the rounding stay 0.
    SequentialBytes encoded(source, kPcxHeaderSize);
    RunDecoder decoder(encoded);
    const std::uint64_t stride = DibRowStride(dib.get());
    std::uint8_t* bits = DibBits(dib.get());
    for (std::uint32_t r = 0; r < rows; ++r) {
        if (!decoder.Decode(bits + (rows - 1 - r) * stride, bytesPerLine)) {
            if (encoded.Failure() != SourceRead::Done) {
                SetReason(why, SourceReadFailure(encoded.Failure(), path));
            } else {
                SetReason(why, Reason(PcxFailure::DataRunsOut).Numbers(r));
            }
            return nullptr;
        }
    }
    return dib;
}

}  // namespace

PackedDibPtr ReadPcxFile(const std::string& path, Reason* why) {
    const std::shared_ptr<RandomAccessFile> file = RandomAccessFile::Open(path, why);
    if (!file) {
        return nullptr;
    }
    return ReadPcxFrom(*file, path, why);
}

PackedDibPtr ReadPcxBytes(const std::uint8_t* bytes, std::size_t size, Reason* why) {
    return ReadPcxFrom(BorrowedBytes(bytes, size), "the bytes given", why);
}

bool DecodePcxRle(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outSize) {
    const BorrowedBytes source(in, inSize);
    SequentialBytes bytes(source, 0);
    return RunDecoder(bytes).Decode(out, outSize);
}

const char* ReasonSummary(PcxFailure code) {
    switch (code) {
    case PcxFailure::TooLarge: return "the picture is larger than 65,532 x 65,535 pixels";
    case PcxFailure::DataRunsOut: return "the picture data ends before the picture does";
    case PcxFailure::TooLargeToShow: return "too large to show";
    default: return nullptr;
    }
}
