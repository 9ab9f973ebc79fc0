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

bool PrintImage(QPrinter& printer, const QImage& image) {
    if (image.isNull()) return false;
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRect page = painter.viewport();
    QSize size = image.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    const QRect target(page.x() + (page.width() - size.width()) / 2, page.y() + (page.height() - size.height()) / 2,
                       size.width(), size.height());
    // Enlarging for paper: smooth, so that a small image does not print as blocks.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, image);
    return painter.end();
}
