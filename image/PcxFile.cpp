#include "image/PcxFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "io/ByteOrder.h"
#include "io/FileBuffer.h"

namespace {

constexpr std::size_t kPcxHeaderSize = 128;
constexpr std::uint8_t kRunMarker = 0xC0;    // a byte above this is a run of (byte - 0xC0) copies
constexpr std::uint64_t kLongestRun = 63;    // so one input byte never yields more than this
// The bitmap's width is BytesPerLine rounded up to 4 and must stay a 16-bit number.
constexpr std::uint32_t kWidestLine = 65532;
constexpr std::uint32_t kMostRows = 65535;

}  // namespace

std::string ReasonText(PcxFailure code, const Reason& reason) {
    switch (code) {
        case PcxFailure::FileTooShort:
            return "the file is shorter than a PCX header";
        case PcxFailure::TooLarge:
            return "the picture is larger than 65,532 x 65,535 pixels (" + std::to_string(reason.First()) + " x " +
                   std::to_string(reason.Second()) + ")";
        case PcxFailure::DataTooShort:
            return "the picture data is far too short for the size its header announces";
        case PcxFailure::OutOfMemory:
            break;
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
    if (decodedSize > encodedSize * kLongestRun) {
        SetReason(why, PcxFailure::DataTooShort);
        return nullptr;
    }
    std::unique_ptr<std::uint8_t[]> decoded(new (std::nothrow) std::uint8_t[decodedSize == 0 ? 1 : decodedSize]);
    if (!decoded) {
        SetReason(why, PcxFailure::OutOfMemory);
        return nullptr;
    }
    DecodePcxRle(bytes + kPcxHeaderSize, encodedSize, decoded.get(), static_cast<std::size_t>(decodedSize));
    PackedDibPtr dib = BuildPcxDib(decoded.get(), bytesPerLine, rows, bytes[64]);
    if (!dib) {
        SetReason(why, PcxFailure::OutOfMemory);
    }
    return dib;
}

void DecodePcxRle(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outSize) {
    std::size_t inPos = 0;
    std::size_t outPos = 0;
    while (outPos < outSize && inPos < inSize) {
        const std::uint8_t b = in[inPos];
        if (b > kRunMarker) {
            if (inPos + 1 >= inSize) {
                break;  // a run marker with no byte to repeat
            }
            const std::size_t count = std::min<std::size_t>(b - kRunMarker, outSize - outPos);
            std::memset(out + outPos, in[inPos + 1], count);
            outPos += count;
            inPos += 2;
        } else {
            out[outPos++] = b;
            inPos += 1;
        }
    }
    if (outPos < outSize) {
        std::memset(out + outPos, 0, outSize - outPos);
    }
}

PackedDibPtr BuildPcxDib(const std::uint8_t* decoded, std::uint16_t bytesPerLine, std::uint32_t rows,
                         std::uint8_t reservedByte) {
    if (rows > kMostRows || bytesPerLine > kWidestLine) {
        return nullptr;
    }
    const auto height = static_cast<std::uint16_t>(rows);
    PackedDibPtr dib = CreateGreyDib(static_cast<std::uint16_t>(RoundUpToFour(bytesPerLine)), height);
    if (!dib) {
        return nullptr;
    }
    std::uint8_t* p = dib->Bytes();
    WriteLE32(p + 32, 256);  // colours used: the table is always complete
    for (int i = 0; i < 256; ++i) {
        p[kInfoHeaderSize + 4 * i + 3] = reservedByte;
    }
    // The first decoded line is the top of the picture, so it is stored last. The
    // columns added by the rounding stay 0.
    const std::uint64_t stride = DibRowStride(dib.get());
    std::uint8_t* bits = DibBits(dib.get());
    for (std::uint32_t r = 0; r < rows; ++r) {
        if (bytesPerLine != 0) {
            std::memcpy(bits + (rows - 1 - r) * stride, decoded + std::uint64_t{r} * bytesPerLine, bytesPerLine);
        }
    }
    return dib;
}
