// Turning a packed bitmap into screen pixels that paint 1:1: the rows are read
// bottom-up and flipped, the colour table is kept for 1-, 4- and 8-bit pixels, 24-bit
// pixels are blue-green-red bytes. Only the part being painted is converted, so a
// picture is never held a second time at four bytes a pixel.
#pragma once

#include <array>

#include <QImage>
#include <QPainter>
#include <QRect>

#include "image/PackedDib.h"

// The block's colour table as Qt colours, padded with black to 256 entries so that
// an index past a short table (biClrUsed) paints black instead of reading past it.
std::array<QRgb, 256> DibColours(const PackedDib* dib);

// A top-down 32-bit copy of `part` of `dib` (picture coordinates, clipped to the
// picture; the whole picture when `part` is empty), or a null QImage when there is no
// block, the block does not hold the header, colour table and rows that it announces,
// or nothing of `part` lies on the picture.
QImage DibToImage(const PackedDib* dib, QRect part = {});

// Paints the block a widget shows, converting only the exposed part and keeping that
// between paints. The widget calls Invalidate when its document says the image
// changed: the block's address alone does not tell (a freed block's address is often
// handed straight back to the next one of the same size).
class DibImageCache {
public:
    // Paints the part `exposed` of `dib` (picture coordinates) 1:1 with the picture's
    // top-left corner at the painter's origin.
    void Paint(QPainter& painter, const PackedDib* dib, const QRect& exposed);
    void Invalidate();
    // Bytes of converted pixels kept between paints: at most one exposed area's.
    qsizetype HeldBytes() const { return m_image.sizeInBytes(); }

private:
    bool m_bValid = false;
    QRect m_part;  // the part of the picture that m_image holds
    QImage m_image;
};
