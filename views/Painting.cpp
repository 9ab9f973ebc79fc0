#include "views/Painting.h"

#include <algorithm>

int PaintDib(QPainter& painter, const QImage& picture, int x, int y) {
    if (picture.isNull()) return 0;
    painter.drawImage(QPoint(x, y), picture);
    return picture.height();
}

namespace {

QColor RampColor(int kind, int i) {
    switch (kind) {
    case 0: return QColor(i, i, i);
    case 1: return QColor(i, 0, 0);
    case 2: return QColor(0, i, 0);
    case 3: return QColor(0, 0, i);
    default: return QColor();
    }
}

}  // namespace

void DrawHistogram(QPainter& painter, int x, int y, const Histogram& bins, int rampKind) {
    // Panel: border on columns x - 1 .. x + 256 and rows y - 105 .. y + 14, grey inside.
    painter.fillRect(x - 1, y - 105, 258, 120, QColor(0, 0, 0));
    painter.fillRect(x, y - 104, 256, 118, QColor(90, 90, 90));
    // Baseline from (x, y) up to but not including (x + 256, y).
    painter.fillRect(x, y, 256, 1, QColor(0, 0, 0));
    // Bar i covers rows y - 2 up to y - 1 - bin, so a bin of 100 reaches y - 101.
    // Bins are clamped to the panel so that no value paints outside it.
    const QColor bar(200, 200, 0);
    for (int i = 0; i < 256; ++i) {
        const int height = std::clamp(bins[static_cast<std::size_t>(i)], 0, 102);
        if (height > 0) painter.fillRect(x + i, y - 1 - height, 1, height, bar);
    }
    // Ramp: from (x + i, y + 13) up to but not including the baseline.
    for (int i = 0; i < 256; ++i) {
        const QColor color = RampColor(rampKind, i);
        if (color.isValid()) painter.fillRect(x + i, y + 1, 1, 13, color);
    }
}

void DrawSelectionRect(QPainter& painter, DibRect rect) {
    const DibRect r = NormalizedRectFromPoints({rect.left, rect.top}, {rect.right, rect.bottom});
    painter.save();
    QPen pen(QColor(100, 100, 100), 0, Qt::DotLine);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The outline covers columns left .. right - 1 and rows top .. bottom - 1.
    const int w = r.right - r.left - 1;
    const int h = r.bottom - r.top - 1;
    if (w >= 0 && h >= 0) painter.drawRect(r.left, r.top, w, h);
    painter.restore();
}
