// Turning a packed bitmap into a QImage that paints 1:1: the rows are read bottom-up
// and flipped, the colour table is kept for 1-, 4- and 8-bit pixels, 24-bit pixels are
// blue-green-red bytes. The result is converted once to the screen's fastest format so
// that repaints only copy pixels.
#pragma once

#include <QImage>

#include "image/PackedDib.h"

// A top-down copy of `dib`, or a null QImage when there is no block or the block
// does not hold the header, colour table and rows that it announces.
QImage DibToImage(const PackedDib* dib);

// The converted picture of the block a widget shows. It is made on first use and kept
// until Invalidate, which the widget calls when its document says the image changed:
// the block's address says nothing (a freed block's address is often handed straight
// back to the next one of the same size).
class DibImageCache {
public:
    const QImage& ImageFor(const PackedDib* dib);
    void Invalidate();

private:
    bool m_bValid = false;
    QImage m_image;
};
