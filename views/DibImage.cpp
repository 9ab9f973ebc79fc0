#include "views/DibImage.h"

namespace {

// Pixel `x` of a stored row of 1, 4 or 8 bits: its colour-table index.
std::uint8_t IndexAt(const std::uint8_t* row, int x, int bits) {
    switch (bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 0x0F);
    default: return row[x];
    }
}

}  // namespace

std::array<QRgb, 256> DibColours(const PackedDib* dib) {
    std::array<QRgb, 256> table;
    table.fill(qRgb(0, 0, 0));
    const DibColourTable stored = ReadDibColourTable(dib);
    for (std::size_t i = 0; i < stored.count; ++i) {
        const DibColour& c = stored.entries[i];
        table[i] = qRgb(c.red, c.green, c.blue);
    }
    return table;
}

QImage DibToImage(const PackedDib* dib, QRect part) {
    if (!dib || !DibIsComplete(dib)) return {};
    const int width = DibWidth(dib);
    const int height = DibHeight(dib);
    const int bits = DibBitCount(dib);
    const QRect picture(0, 0, width, height);
    part = part.isEmpty() ? picture : part.intersected(picture);
    if (part.isEmpty() || (bits != 1 && bits != 4 && bits != 8 && bits != 24)) return {};
    QImage image(part.size(), QImage::Format_RGB32);
    if (image.isNull()) return {};
    const std::array<QRgb, 256> table = bits == 24 ? std::array<QRgb, 256>{} : DibColours(dib);
    const std::uint8_t* rows = DibBits(dib);
    const std::uint64_t stride = DibRowStride(dib);
    for (int y = 0; y < part.height(); ++y) {
        // Picture row part.top() + y is stored counting from the bottom.
        const std::uint8_t* row = rows + static_cast<std::uint64_t>(height - 1 - (part.top() + y)) * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        if (bits == 24) {
            const std::uint8_t* p = row + std::uint64_t{3} * part.left();
            for (int x = 0; x < part.width(); ++x, p += 3)
                out[x] = qRgb(p[2], p[1], p[0]);
        } else if (bits == 8) {
            const std::uint8_t* p = row + part.left();
            for (int x = 0; x < part.width(); ++x)
                out[x] = table[p[x]];
        } else {
            for (int x = 0; x < part.width(); ++x)
                out[x] = table[IndexAt(row, part.left() + x, bits)];
        }
    }
    return image;
}

void DibImageCache::Paint(QPainter& painter, const PackedDib* dib, const QRect& exposed) {
    if (!m_bValid) {
        m_image = QImage();
        m_part = QRect();
        m_bValid = true;
    }
    const QRect needed = exposed.intersected(QRect(0, 0, DibWidth(dib), DibHeight(dib)));
    if (needed.isEmpty()) return;
    if (!m_part.contains(needed)) {
        m_image = QImage();  // the old part goes before the new one is made
        m_image = DibToImage(dib, needed);
        m_part = m_image.isNull() ? QRect() : needed;
    }
    if (!m_image.isNull()) painter.drawImage(needed.topLeft(), m_image, needed.translated(-m_part.topLeft()));
}

void DibImageCache::Invalidate() {
    m_bValid = false;
    m_image = QImage();
    m_part = QRect();
}
