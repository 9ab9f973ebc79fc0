#include "views/DibImage.h"

#include <cstring>
#include <vector>

namespace {

// The colour table as Qt colours, padded with black to 2^bits entries so that an
// index past a short table (biClrUsed) paints black instead of reading past it.
QList<QRgb> ColorTable(const PackedDib* dib, int bits) {
    const int entries = 1 << bits;
    QList<QRgb> table(entries, qRgb(0, 0, 0));
    const bool core = DibHeaderSize(dib) == kCoreHeaderSize;
    const std::uint64_t entrySize = core ? 3 : 4;
    const std::uint64_t count = DibColorTableSize(dib) / entrySize;
    const std::uint8_t* p = dib->Bytes() + DibHeaderSize(dib);
    for (std::uint64_t i = 0; i < count && i < static_cast<std::uint64_t>(entries); ++i) {
        const std::uint8_t* e = p + i * entrySize;
        table[static_cast<qsizetype>(i)] = qRgb(e[2], e[1], e[0]);
    }
    return table;
}

// 4-bit rows have no QImage format: each row is spread into one byte per pixel.
QImage FourBitToIndexed(const PackedDib* dib, int width, int height) {
    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull()) return image;
    const std::uint8_t* bits = DibBits(dib);
    const std::uint64_t stride = DibRowStride(dib);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bits + static_cast<std::uint64_t>(height - 1 - y) * stride;
        uchar* out = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t pair = row[x / 2];
            out[x] = static_cast<uchar>((x % 2 == 0) ? (pair >> 4) : (pair & 0x0F));
        }
    }
    QList<QRgb> table = ColorTable(dib, 4);
    table.resize(256, qRgb(0, 0, 0));
    image.setColorTable(table);
    return image;
}

// A QImage laid over the block's own rows, top row first as Qt expects; the caller
// copies it before the block can go away.
QImage WrapRows(const PackedDib* dib, int width, int height, QImage::Format format) {
    const std::uint64_t stride = DibRowStride(dib);
    // Pointing at the last stored row with a negative stride is not allowed, so the
    // rows are wrapped as they lie (bottom-up) and mirrored afterwards.
    QImage rows(DibBits(dib), width, height, static_cast<qsizetype>(stride), format);
    return rows.mirrored(false, true);
}

}  // namespace

QImage DibToImage(const PackedDib* dib) {
    if (!dib || !DibIsComplete(dib)) return {};
    const int width = DibWidth(dib);
    const int height = DibHeight(dib);
    if (width == 0 || height == 0) return {};
    QImage image;
    switch (DibBitCount(dib)) {
    case 1:
        image = WrapRows(dib, width, height, QImage::Format_Mono);
        image.setColorTable(ColorTable(dib, 1));
        break;
    case 4:
        image = FourBitToIndexed(dib, width, height);
        break;
    case 8: {
        image = WrapRows(dib, width, height, QImage::Format_Indexed8);
        image.setColorTable(ColorTable(dib, 8));
        break;
    }
    case 24:
        image = WrapRows(dib, width, height, QImage::Format_BGR888);
        break;
    default:
        return {};
    }
    // Painting an indexed image converts it on every paint; do it once here.
    return image.convertToFormat(QImage::Format_RGB32);
}

const QImage& DibImageCache::ImageFor(const PackedDib* dib) {
    if (!m_bValid) {
        m_image = DibToImage(dib);
        m_bValid = true;
    }
    return m_image;
}

void DibImageCache::Invalidate() {
    m_bValid = false;
    m_image = QImage();
}
