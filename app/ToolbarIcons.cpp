// Pixel drawings of the 15 toolbar buttons in the classic 16-colour palette.
// Shapes are drawn without antialiasing so that edges stay crisp at 22 x 21;
// only round shapes are smoothed.
#include "app/ToolbarIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>

#include "app/CommandTable.h"

namespace {

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kSilver(192, 192, 192);
const QColor kGrey(128, 128, 128);
const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 0, 255);
const QColor kTeal(0, 128, 128);
const QColor kCyan(0, 220, 220);
const QColor kYellow(255, 255, 0);
const QColor kOlive(128, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 160, 0);
const QColor kBrown(128, 64, 0);

// A filled rectangle with a one-pixel outline covering exactly x0..x1, y0..y1.
void Box(QPainter& p, int x0, int y0, int x1, int y1, const QColor& fill, const QColor& line = kBlack) {
    p.fillRect(x0, y0, x1 - x0 + 1, y1 - y0 + 1, line);
    if (x1 - x0 >= 2 && y1 - y0 >= 2) p.fillRect(x0 + 1, y0 + 1, x1 - x0 - 1, y1 - y0 - 1, fill);
}

void Shape(QPainter& p, const QPolygon& poly, const QColor& fill, const QColor& line = kBlack) {
    p.setPen(line);
    p.setBrush(fill);
    p.drawPolygon(poly);
}

// Small bitmaps spelled as rows of text: '#' paints a pixel.
void Pattern(QPainter& p, int x, int y, std::initializer_list<const char*> rows, const QColor& colour) {
    int row = 0;
    for (const char* line : rows) {
        for (int col = 0; line[col] != '\0'; ++col)
            if (line[col] == '#') p.fillRect(x + col, y + row, 1, 1, colour);
        ++row;
    }
}

// A page of text: white sheet, grey lines.
void Page(QPainter& p, int x0, int y0, int x1, int y1) {
    Box(p, x0, y0, x1, y1, kWhite);
    for (int y = y0 + 3; y < y1 - 1; y += 2)
        p.fillRect(x0 + 2, y, x1 - x0 - 3, 1, kGrey);
}

void Floppy(QPainter& p, int x0, int y0, int size) {
    const int x1 = x0 + size - 1;
    const int y1 = y0 + size - 1;
    Box(p, x0, y0, x1, y1, kNavy);
    Box(p, x0 + 3, y0, x1 - 3, y0 + size / 2 - 1, kWhite);                   // label
    p.fillRect(x0 + 4, y1 - size / 3 + 1, size - 8, size / 3 - 1, kSilver);  // shutter
    p.fillRect(x1 - 5, y1 - size / 3 + 2, 1, size / 3 - 3, kNavy);
}

void DrawOpen(QPainter& p) {
    Shape(p, QPolygon({QPoint(1, 5), QPoint(6, 5), QPoint(8, 7), QPoint(15, 7), QPoint(15, 17), QPoint(1, 17)}),
          kOlive);
    Shape(p, QPolygon({QPoint(5, 10), QPoint(20, 10), QPoint(16, 17), QPoint(1, 17)}), kYellow);
    // The bent arrow of "opening".
    Pattern(p, 13, 0, {".###...", "#...#..", "....#..", "..#####", "...###.", "....#.."}, kBlack);
}

void DrawSave(QPainter& p) { Floppy(p, 3, 2, 16); }

void DrawSaveSelected(QPainter& p) {
    // A picture with a dashed selection and a small disk over its corner.
    for (int y = 2; y <= 13; ++y)
        p.fillRect(1, y, 14, 1, QColor(60 + y * 12, 60 + y * 12, 60 + y * 12));
    p.setPen(QPen(kRed, 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(3, 4, 8, 6);
    Floppy(p, 10, 9, 11);
}

void DrawCut(QPainter& p) {
    p.setPen(QPen(kBlack, 1));
    p.drawLine(8, 1, 13, 12);
    p.drawLine(13, 1, 8, 12);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kNavy, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(3.5, 12.5, 5, 5));
    p.drawEllipse(QRectF(12.5, 12.5, 5, 5));
    p.setRenderHint(QPainter::Antialiasing, false);
}

void DrawCopy(QPainter& p) {
    Page(p, 2, 1, 12, 14);
    Page(p, 8, 6, 18, 19);
}

void DrawPaste(QPainter& p) {
    Box(p, 2, 3, 15, 19, kBrown);
    Box(p, 5, 1, 12, 5, kSilver);
    Page(p, 9, 8, 19, 19);
}

void DrawPrint(QPainter& p) {
    Page(p, 6, 1, 15, 9);
    Box(p, 2, 9, 19, 16, kSilver);
    p.fillRect(4, 11, 13, 1, kGrey);
    p.fillRect(16, 13, 2, 2, kGreen);
    Box(p, 5, 16, 16, 19, kWhite);
}

void DrawHeader(QPainter& p) {
    // A miniature of the header listing: cyan rows on black, columns apart.
    Box(p, 1, 2, 20, 18, kBlack, kGrey);
    p.fillRect(2, 3, 18, 2, kSilver);
    for (int y = 6; y <= 16; y += 2) {
        p.fillRect(3, y, 4, 1, kCyan);
        p.fillRect(8, y, 4, 1, kCyan);
        p.fillRect(13, y, 3 + (y % 3), 1, kCyan);
    }
}

void DrawRectangle(QPainter& p) {
    p.setPen(QPen(kBlack, 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(2, 2, 13, 11);
    // The cross-hair the selection is dragged with.
    p.setPen(QPen(kBlue, 1));
    p.drawLine(15, 10, 15, 20);
    p.drawLine(10, 15, 20, 15);
}

QPolygon Triangle(int tipX, int baseX, int midY, int half) {
    return QPolygon({QPoint(tipX, midY), QPoint(baseX, midY - half), QPoint(baseX, midY + half)});
}

void DrawFirstSlide(QPainter& p) {
    p.fillRect(3, 4, 3, 13, kNavy);
    Shape(p, Triangle(7, 13, 10, 6), kBlue, kNavy);
    Shape(p, Triangle(12, 18, 10, 6), kBlue, kNavy);
}

void DrawPrevSlide(QPainter& p) { Shape(p, Triangle(6, 15, 10, 7), kBlue, kNavy); }

void DrawNextSlide(QPainter& p) { Shape(p, Triangle(15, 6, 10, 7), kBlue, kNavy); }

void DrawLastSlide(QPainter& p) {
    Shape(p, Triangle(9, 3, 10, 6), kBlue, kNavy);
    Shape(p, Triangle(14, 8, 10, 6), kBlue, kNavy);
    p.fillRect(16, 4, 3, 13, kNavy);
}

void DrawPlayVideo(QPainter& p) {
    Box(p, 1, 3, 20, 17, kBlack);
    for (int x = 3; x <= 18; x += 3) {
        p.fillRect(x, 4, 2, 2, kWhite);
        p.fillRect(x, 15, 2, 2, kWhite);
    }
    p.fillRect(2, 7, 18, 7, kTeal);
    Shape(p, Triangle(14, 8, 10, 3), kYellow, kYellow);
}

void DrawAbout(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kNavy, 1));
    p.setBrush(kYellow);
    p.drawEllipse(QRectF(2.5, 1.5, 16, 16));
    p.setRenderHint(QPainter::Antialiasing, false);
    Pattern(p, 8, 5, {".####.", "##..##", "....##", "...##.", "..##..", "..##..", "......", "..##..", "..##.."}, kNavy);
}

using DrawFn = void (*)(QPainter&);

// In button order: the toolbar's layout without its separators.
constexpr DrawFn kDrawers[kToolbarIconCount] = {
    DrawOpen,      DrawSave,       DrawSaveSelected, DrawCut,       DrawCopy,      DrawPaste,     DrawPrint, DrawHeader,
    DrawRectangle, DrawFirstSlide, DrawPrevSlide,    DrawNextSlide, DrawLastSlide, DrawPlayVideo, DrawAbout,
};

}  // namespace

QImage ToolbarCellImage(int index) {
    if (index < 0 || index >= kToolbarIconCount) return {};
    QImage cell(kToolbarIconWidth, kToolbarIconHeight, QImage::Format_ARGB32);
    cell.fill(Qt::transparent);
    QPainter painter(&cell);
    kDrawers[index](painter);
    painter.end();
    return cell;
}

QImage ToolbarImageStrip() {
    QImage strip(kToolbarIconWidth * kToolbarIconCount, kToolbarIconHeight, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    for (int i = 0; i < kToolbarIconCount; ++i)
        painter.drawImage(i * kToolbarIconWidth, 0, ToolbarCellImage(i));
    painter.end();
    return strip;
}

namespace {

// The zoom buttons: a magnifying glass with +, - or 1:1 in it, and a frame with
// corner arrows for fitting.
QImage ZoomCell(int commandId) {
    QImage cell(kToolbarIconWidth, kToolbarIconHeight, QImage::Format_ARGB32);
    cell.fill(Qt::transparent);
    QPainter p(&cell);
    if (commandId == ID_VIEW_ZOOM_FIT) {
        Box(p, 3, 3, 18, 17, kWhite, kNavy);
        Box(p, 7, 7, 14, 13, kCyan, kTeal);
        p.setPen(kNavy);
        p.drawLine(4, 4, 7, 7);
        p.drawLine(17, 4, 14, 7);
        p.drawLine(4, 16, 7, 13);
        p.drawLine(17, 16, 14, 13);
        return cell;
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kBrown, 3));
    p.drawLine(QPointF(13.5, 13.5), QPointF(19, 19));
    p.setPen(QPen(kBlack, 1.2));
    p.setBrush(kWhite);
    p.drawEllipse(QPointF(8.5, 8.5), 6.5, 6.5);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(kNavy);
    if (commandId == ID_VIEW_ZOOM_ACTUAL) {
        p.drawLine(6, 6, 6, 11);
        p.drawPoint(8, 7);
        p.drawPoint(8, 10);
        p.drawLine(10, 6, 10, 11);
    } else {
        p.fillRect(5, 8, 7, 2, kNavy);
        if (commandId == ID_VIEW_ZOOM_IN) p.fillRect(7, 6, 2, 7, kNavy);
    }
    return cell;
}

}  // namespace

QIcon ToolbarIcon(int commandId) {
    for (int id : ZoomToolbarLayout()) {
        if (id == commandId) return QIcon(QPixmap::fromImage(ZoomCell(commandId)));
    }
    int button = 0;
    for (int id : ToolbarLayout()) {
        if (id == 0) continue;
        if (id == commandId) return QIcon(QPixmap::fromImage(ToolbarCellImage(button)));
        ++button;
    }
    return {};
}
