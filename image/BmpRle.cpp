#include "image/BmpRle.h"

#include <algorithm>
#include <cstring>

#include "io/ByteOrder.h"

namespace {

// An end-of-bitmap mark can stand for any number of pixels, so the rows' size alone
// does not bound the work. A bitmap may hold 1 MiB of rows for nothing, and beyond
// that at most this many bytes of rows per byte of compressed data: far more than
// any ordinary encoder writes (a row of one colour takes about two bytes per 255
// pixels, a delta skips at most 255 rows), far less than a bomb of a few bytes that
// asks for gigabytes.
constexpr std::uint64_t kFreeRowBytes = std::uint64_t{1} << 20;
constexpr std::uint64_t kRowBytesPerDataByte = 1024;

// Where the commands write: column x of stored row y, checked against the bounds.
class RleCanvas {
public:
    RleCanvas(std::uint8_t* rows, std::uint64_t stride, std::uint32_t width, std::uint32_t height, bool nibbles)
        : m_rows(rows), m_stride(stride), m_width(width), m_height(height), m_nibbles(nibbles),
          m_padded(nibbles ? stride * 2 : stride) {}

    // Whether `count` pixels fit from the current position on the current row. Some
    // encoders (ImageMagick) encode each row to its padded width: a run may reach into
    // the row's padding, whose pixels are dropped, but not past it.
    bool Fits(std::uint32_t count) const { return m_y < m_height && m_x + std::uint64_t{count} <= m_padded; }

    void Put(std::uint8_t value) {
        if (m_x >= m_width) {  // the row's padding stays 0
            ++m_x;
            return;
        }
        std::uint8_t* row = m_rows + m_y * m_stride;
        if (m_nibbles) {
            std::uint8_t& byte = row[m_x / 2];
            byte = (m_x % 2 == 0) ? static_cast<std::uint8_t>((byte & 0x0F) | (value << 4))
                                  : static_cast<std::uint8_t>((byte & 0xF0) | (value & 0x0F));
        } else {
            row[m_x] = value;
        }
        ++m_x;
    }

    void NextLine() {
        m_x = 0;
        ++m_y;
    }
    // False when the move passes the right edge or the top.
    bool Move(std::uint32_t dx, std::uint32_t dy) {
        if (m_x + std::uint64_t{dx} > m_width || m_y + std::uint64_t{dy} > m_height) {
            return false;
        }
        m_x += dx;
        m_y += dy;
        return true;
    }

    Reason PastBounds() const { return Reason(BmpFailure::RunPastBounds).Numbers(m_x, m_y); }

private:
    std::uint8_t* m_rows;
    std::uint64_t m_stride;
    std::uint32_t m_width;
    std::uint32_t m_height;
    bool m_nibbles;
    std::uint64_t m_padded;  // pixels a row holds with its padding
    std::uint32_t m_x = 0;
    std::uint32_t m_y = 0;
};

// Runs the commands in [in, end) on the canvas; empty when they all fit.
Reason RunCommands(const std::uint8_t* in, const std::uint8_t* end, RleCanvas& canvas, bool nibbles) {
    while (end - in >= 2) {
        const std::uint8_t count = in[0];
        const std::uint8_t value = in[1];
        in += 2;
        if (count > 0) {  // a run of `count` pixels; 4-bit runs alternate the two nibbles
            if (!canvas.Fits(count)) {
                return canvas.PastBounds();
            }
            for (std::uint32_t i = 0; i < count; ++i) {
                canvas.Put(nibbles ? static_cast<std::uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
            }
            continue;
        }
        switch (value) {
        case 0: canvas.NextLine(); break;
        case 1: return {};  // end of bitmap
        case 2:
            if (end - in < 2) {
                return BmpFailure::RunDataCutShort;
            }
            if (!canvas.Move(in[0], in[1])) {
                return canvas.PastBounds();
            }
            in += 2;
            break;
        default: {  // `value` pixels given one by one, padded to an even number of bytes
            const std::size_t bytes = nibbles ? (value + 1u) / 2 : value;
            if (static_cast<std::size_t>(end - in) < bytes) {
                return BmpFailure::RunDataCutShort;
            }
            if (!canvas.Fits(value)) {
                return canvas.PastBounds();
            }
            for (std::uint32_t i = 0; i < value; ++i) {
                canvas.Put(nibbles ? static_cast<std::uint8_t>(i % 2 == 0 ? in[i / 2] >> 4 : in[i / 2] & 0x0F) : in[i]);
            }
            in += std::min<std::size_t>(bytes + bytes % 2, static_cast<std::size_t>(end - in));
            break;
        }
        }
    }
    // Data that stops between commands without an end-of-bitmap mark leaves the rest 0.
    return in == end ? Reason() : Reason(BmpFailure::RunDataCutShort);
}

}  // namespace

PackedDibPtr DecodeBmpRle(const PackedDib& block, std::uint16_t width, std::uint16_t height, std::uint16_t bitCount,
                          Reason* why) {
    const std::uint32_t headerSize = DibHeaderSize(&block);
    const std::uint64_t dataAt = std::uint64_t{headerSize} + DibColorTableSize(&block);
    if (headerSize < 24 || dataAt > block.Length()) {
        SetReason(why, dataAt > block.Length() ? BmpFailure::ColourTableCutShort : BmpFailure::HeaderCutShort);
        return nullptr;
    }
    const std::uint64_t dataSize = block.Length() - dataAt;
    const std::uint64_t stride = (std::uint64_t{width} * bitCount + 31) / 32 * 4;
    const std::uint64_t rowBytes = stride * height;
    if (rowBytes > kFreeRowBytes + dataSize * kRowBytesPerDataByte) {
        SetReason(why, Reason(BmpFailure::CompressedTooLarge).Numbers(width, height));
        return nullptr;
    }
    PackedDibPtr out = PackedDib::Allocate(static_cast<std::size_t>(dataAt + rowBytes));
    if (!out) {
        SetReason(why, BmpFailure::OutOfMemory);
        return nullptr;
    }
    std::memcpy(out->Bytes(), block.Bytes(), static_cast<std::size_t>(dataAt));
    WriteLE32(out->Bytes() + 16, 0);  // uncompressed from now on
    WriteLE32(out->Bytes() + 20, static_cast<std::uint32_t>(rowBytes));
    RleCanvas canvas(out->Bytes() + dataAt, stride, width, height, bitCount == 4);
    const std::uint8_t* data = block.Bytes() + dataAt;
    if (Reason failure = RunCommands(data, data + dataSize, canvas, bitCount == 4)) {
        SetReason(why, std::move(failure));
        return nullptr;
    }
    return out;
}
