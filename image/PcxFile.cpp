#include "image/PcxFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "io/ByteOrder.h"
#include "io/FileBuffer.h"
#include "io/ImageMemoryLimit.h"

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

PackedDibPtr ReadPcxFile(const std::string& path, Reason* why) {
    FileBuffer bytes;
    if (Reason failure = ReadWholeFile(path, bytes)) {
        SetReason(why, std::move(failure));
        return nullptr;
    }
    return ReadPcxBytes(bytes.Data(), bytes.Size(), why);
}

namespace {

// Decodes run-length bytes into one span after another: a run may go on from the end
// of one line into the next, as the bytes flow on regardless of lines.
class RunDecoder {
public:
    RunDecoder(const std::uint8_t* in, std::size_t size) : m_in(in), m_size(size) {}

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
    // Reads the next literal or run; false when the input holds no complete one.
    bool NextCode() {
        if (m_pos >= m_size) {
            return false;
        }
        const std::uint8_t b = m_in[m_pos];
        if (b > kRunMarker) {
            if (m_pos + 1 >= m_size) {
                m_pos = m_size;  // a run marker with no byte to repeat
                return false;
            }
            m_runLeft = b - kRunMarker;
            m_runValue = m_in[m_pos + 1];
            m_pos += 2;
        } else {
            m_runLeft = 1;
            m_runValue = b;
            m_pos += 1;
        }
        return true;
    }

    const std::uint8_t* m_in;
    std::size_t m_size;
    std::size_t m_pos = 0;
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

}  // namespace

PackedDibPtr ReadPcxBytes(const std::uint8_t* bytes, std::size_t size, Reason* why) {
    if (size < kPcxHeaderSize) {
        SetReason(why, PcxFailure::FileTooShort);
        return nullptr;
    }
    const std::uint32_t rows = std::uint32_t{ReadLE16(bytes + 10)} + 1;  // Ymax + 1; Ymin is taken as 0
    const std::uint16_t bytesPerLine = ReadLE16(bytes + 66);
    if (rows > kMostRows || bytesPerLine > kWidestLine) {
        SetReason(why, Reason(PcxFailure::TooLarge).Numbers(bytesPerLine, rows));
        return nullptr;
    }
    const std::uint64_t decodedSize = std::uint64_t{rows} * bytesPerLine;
    const std::size_t encodedSize = size - kPcxHeaderSize;
    // Refused before anything is allocated: a tiny file cannot claim a huge picture.
    // Two bytes make the longest run; an odd last byte can only be a literal.
    if (decodedSize > encodedSize / 2 * kLongestRun + encodedSize % 2) {
        SetReason(why, PcxFailure::DataTooShort);
        return nullptr;
    }
    if (!ImageFitsInMemory(std::uint64_t{RoundUpToFour(bytesPerLine)} * rows)) {
        SetReason(why, Reason(PcxFailure::TooLargeToShow).Numbers(bytesPerLine, rows));
        return nullptr;
    }
    PackedDibPtr dib = CreatePcxDib(bytesPerLine, static_cast<std::uint16_t>(rows), bytes[64]);
    if (!dib) {
        SetReason(why, PcxFailure::OutOfMemory);
        return nullptr;
    }
    // The lines are decoded straight into the block, the first (the top of the
    // picture) into the last stored row; the columns added by the rounding stay 0.
    RunDecoder decoder(bytes + kPcxHeaderSize, encodedSize);
    const std::uint64_t stride = DibRowStride(dib.get());
    std::uint8_t* bits = DibBits(dib.get());
    for (std::uint32_t r = 0; r < rows; ++r) {
        if (!decoder.Decode(bits + (rows - 1 - r) * stride, bytesPerLine)) {
            SetReason(why, Reason(PcxFailure::DataRunsOut).Numbers(r));
            return nullptr;
        }
    }
    return dib;
}

bool DecodePcxRle(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outSize) {
    return RunDecoder(in, inSize).Decode(out, outSize);
}

const char* ReasonSummary(PcxFailure code) {
    switch (code) {
    case PcxFailure::TooLarge: return "the picture is larger than 65,532 x 65,535 pixels";
    case PcxFailure::DataRunsOut: return "the picture data ends before the picture does";
    case PcxFailure::TooLargeToShow: return "too large to show";
    default: return nullptr;
    }
}
