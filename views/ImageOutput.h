// Copy and Print: the picture that leaves the program is the selected image when
// there is one, else the image shown, at its own size (no zoom, no overlay).
#pragma once

#include <QImage>

#include "image/PackedDib.h"

class QPrinter;

// The selection when it holds pixels, else the whole image; null when neither does.
QImage OutputImage(const PackedDib* selected, const PackedDib* whole);

// Puts `image` on the clipboard; false when there is nothing to put.
bool CopyImageToClipboard(const QImage& image);

// Prints `image` on one page of `printer`, as large as the page's printable area
// allows with its proportions kept, centred. False when nothing could be printed.
bool PrintImage(QPrinter& printer, const QImage& image);
