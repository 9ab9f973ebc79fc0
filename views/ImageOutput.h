// Copy and Print. Copy puts the selected image when there is one, else the image
// shown, at its own size and as stored (no zoom, no overlay, not turned or
// inverted). Print puts the image as it is shown (turned, mirrored, inverted) on the
// page, losslessly, with the corner texts when they are shown.
#pragma once

#include <QImage>

#include "image/PackedDib.h"
#include "views/ImageOverlay.h"
#include "views/ViewportTransform.h"

class QPainter;
class QPrinter;

// The selection when it holds pixels, else the whole image; null when neither does.
QImage OutputImage(const PackedDib* selected, const PackedDib* whole);

// Puts `image` on the clipboard; false when there is nothing to put.
bool CopyImageToClipboard(const QImage& image);

// `image` turned and mirrored as `orientation` shows it, and inverted when asked.
QImage DisplayedImage(const QImage& image, DisplayOrientation orientation, bool inverted);

// What a print carries besides the image: the corner texts and the edge letters,
// when the view shows them.
struct PrintedTexts {
    OverlayTexts texts;
    EdgeLetters letters;
};

// Paints `image` on `painter` within `page`, as large as it allows with its
// proportions kept and centred, its pixels kept exactly (never compressed with
// loss), then the texts over it when given.
void PaintPage(QPainter& painter, const QRect& page, const QImage& image, const PrintedTexts* texts);
// Prints that on one page of `printer`. False when nothing could be printed.
bool PrintImage(QPrinter& printer, const QImage& image, const PrintedTexts* texts = nullptr);
