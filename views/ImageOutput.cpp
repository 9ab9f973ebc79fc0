#include "views/ImageOutput.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>

#include "views/DibImage.h"

QImage OutputImage(const PackedDib* selected, const PackedDib* whole) {
    QImage image = DibToImage(selected);
    if (image.isNull()) image = DibToImage(whole);
    return image;
}

bool CopyImageToClipboard(const QImage& image) {
    if (image.isNull()) return false;
    QGuiApplication::clipboard()->setImage(image);
    return true;
}

QImage DisplayedImage(const QImage& image, DisplayOrientation orientation, bool inverted) {
    QImage shown = orientation.quarterTurns == 0 ? image
                                                  : image.transformed(QTransform().rotate(90.0 * orientation.quarterTurns));
    if (orientation.mirrored) shown = shown.mirrored(true, false);
    if (inverted) shown.invertPixels();
    return shown;
}

void PaintPage(QPainter& painter, const QRect& page, const QImage& image, const PrintedTexts* texts) {
    QSize size = image.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    const QRect target(page.x() + (page.width() - size.width()) / 2, page.y() + (page.height() - size.height()) / 2,
                       size.width(), size.height());
    // A PDF or a printer gets the pixels themselves, compressed without loss (a
    // JPEG of the picture would change grey levels that a reader relies on);
    // enlarging for paper is smooth, so that a small image does not print as blocks.
    painter.setRenderHint(QPainter::LosslessImageRendering, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, image);
    if (texts) DrawOverlay(painter, target, texts->texts, texts->letters);
}

bool PrintImage(QPrinter& printer, const QImage& image, const PrintedTexts* texts) {
    if (image.isNull()) return false;
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    PaintPage(painter, painter.viewport(), image, texts);
    return painter.end();
}
