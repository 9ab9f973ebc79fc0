#include "views/ViewportTransform.h"

#include <algorithm>
#include <cmath>

DisplayOrientation DisplayOrientation::RotatedRight() const {
    // A mirror after the turns reverses the sense of a further turn.
    return {(quarterTurns + (mirrored ? 3 : 1)) % 4, mirrored};
}

DisplayOrientation DisplayOrientation::RotatedLeft() const {
    return {(quarterTurns + (mirrored ? 1 : 3)) % 4, mirrored};
}

DisplayOrientation DisplayOrientation::FlippedHorizontally() const { return {quarterTurns, !mirrored}; }

// Upside down is a mirror left to right and a half turn.
DisplayOrientation DisplayOrientation::FlippedVertically() const { return {(quarterTurns + 2) % 4, !mirrored}; }

void CViewportTransform::SetImageSize(QSize size) {
    m_image = size;
    Refit();
    ClampOffset();
}

void CViewportTransform::SetViewSize(QSize size) {
    m_view = size;
    Refit();
    ClampOffset();
}

void CViewportTransform::SetOrientation(DisplayOrientation orientation) {
    const QPointF centre(m_view.width() / 2.0, m_view.height() / 2.0);
    const QPointF kept = ViewToImage(centre);
    m_orientation = orientation;
    m_offset = ImageToDisplayed(kept) * m_zoom - centre;
    Refit();
    ClampOffset();
}

QSize CViewportTransform::DisplayedSize() const { return m_orientation.SwapsAxes() ? m_image.transposed() : m_image; }

void CViewportTransform::Refit() {
    if (m_mode == ZoomMode::Fixed) return;
    const QSize shown = DisplayedSize();
    if (shown.isEmpty() || m_view.isEmpty()) {
        m_zoom = 1.0;
    } else {
        const double sx = static_cast<double>(m_view.width()) / shown.width();
        const double sy = static_cast<double>(m_view.height()) / shown.height();
        double zoom = std::min(sx, sy);
        if (m_mode == ZoomMode::ShrinkToFit) zoom = std::min(zoom, 1.0);
        m_zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    }
    m_offset = {};
}

void CViewportTransform::FitToWindow() {
    m_mode = ZoomMode::Fit;
    Refit();
    ClampOffset();
}

void CViewportTransform::ShrinkToFit() {
    m_mode = ZoomMode::ShrinkToFit;
    Refit();
    ClampOffset();
}

void CViewportTransform::SetActualSize() {
    const QPointF corner = ImageToDisplayed(ViewToImage({0, 0}));
    m_mode = ZoomMode::Fixed;
    m_zoom = 1.0;
    m_offset = corner;
    ClampOffset();
}

void CViewportTransform::ZoomAbout(double factor, QPointF viewPoint) {
    const QPointF anchor = ImageToDisplayed(ViewToImage(viewPoint));
    double zoom = std::clamp(m_zoom * factor, kMinZoom, kMaxZoom);
    // Stepping through 1:1 lands on it exactly, so the steps find pixel-exact display.
    if (std::abs(zoom - 1.0) < 0.02) zoom = 1.0;
    m_mode = ZoomMode::Fixed;
    m_zoom = zoom;
    m_offset = anchor * m_zoom - viewPoint;
    ClampOffset();
}

void CViewportTransform::PanBy(QPointF delta) {
    m_offset -= delta;
    ClampOffset();
}

void CViewportTransform::SetOffset(QPointF offset) {
    m_offset = offset;
    ClampOffset();
}

QSize CViewportTransform::ZoomedSize() const {
    const QSize shown = DisplayedSize();
    return QSize(static_cast<int>(std::ceil(shown.width() * m_zoom - 1e-9)),
                 static_cast<int>(std::ceil(shown.height() * m_zoom - 1e-9)));
}

QSize CViewportTransform::OffsetRange() const {
    const QSize zoomed = ZoomedSize();
    return QSize(std::max(0, zoomed.width() - m_view.width()), std::max(0, zoomed.height() - m_view.height()));
}

void CViewportTransform::ClampOffset() {
    // Whole view pixels, as the scroll bars hold them: at 1:1 image pixels then land
    // exactly on view pixels.
    const QSize zoomed = ZoomedSize();
    const auto place = [](double offset, int zoomedLength, int viewLength) {
        // Centred on whole view pixels (the odd pixel of the margin goes right).
        if (zoomedLength < viewLength) return -std::floor((viewLength - zoomedLength) / 2.0);
        return std::clamp(std::round(offset), 0.0, static_cast<double>(zoomedLength - viewLength));
    };
    m_offset.setX(place(m_offset.x(), zoomed.width(), m_view.width()));
    m_offset.setY(place(m_offset.y(), zoomed.height(), m_view.height()));
}

QPointF CViewportTransform::ImageToDisplayed(QPointF image) const {
    const QPointF p = image;
    const double w = m_image.width();
    const double h = m_image.height();
    QPointF d;
    switch (m_orientation.quarterTurns) {
    case 1: d = QPointF(h - p.y(), p.x()); break;
    case 2: d = QPointF(w - p.x(), h - p.y()); break;
    case 3: d = QPointF(p.y(), w - p.x()); break;
    default: d = p; break;
    }
    if (m_orientation.mirrored) d.setX(DisplayedSize().width() - d.x());
    return d;
}

QPointF CViewportTransform::DisplayedToImage(QPointF displayed) const {
    QPointF d = displayed;
    const double w = m_image.width();
    const double h = m_image.height();
    if (m_orientation.mirrored) d.setX(DisplayedSize().width() - d.x());
    switch (m_orientation.quarterTurns) {
    case 1: return QPointF(d.y(), h - d.x());
    case 2: return QPointF(w - d.x(), h - d.y());
    case 3: return QPointF(w - d.y(), d.x());
    default: return d;
    }
}

QPointF CViewportTransform::ImageToView(QPointF image) const { return ImageToDisplayed(image) * m_zoom - m_offset; }

QPointF CViewportTransform::ViewToImage(QPointF view) const { return DisplayedToImage((view + m_offset) / m_zoom); }

QTransform CViewportTransform::ImageToViewTransform() const {
    const double w = m_image.width();
    const double h = m_image.height();
    QTransform turn;
    switch (m_orientation.quarterTurns) {
    case 1: turn = QTransform(0, 1, -1, 0, h, 0); break;
    case 2: turn = QTransform(-1, 0, 0, -1, w, h); break;
    case 3: turn = QTransform(0, -1, 1, 0, 0, w); break;
    default: break;
    }
    if (m_orientation.mirrored) turn *= QTransform(-1, 0, 0, 1, DisplayedSize().width(), 0);
    return turn * QTransform::fromScale(m_zoom, m_zoom) * QTransform::fromTranslate(-m_offset.x(), -m_offset.y());
}

QPoint CViewportTransform::ImagePixelOfDisplayed(QPoint displayed) const {
    // The pixel's centre maps to the centre of the image pixel it shows.
    const QPointF centre = DisplayedToImage(QPointF(displayed) + QPointF(0.5, 0.5));
    return QPoint(static_cast<int>(std::floor(centre.x())), static_cast<int>(std::floor(centre.y())));
}

int CViewportTransform::DisplayedColumnAt(double view) const {
    const double d = std::floor((view + m_offset.x()) / m_zoom);
    return d >= 0 && d < DisplayedSize().width() ? static_cast<int>(d) : -1;
}

int CViewportTransform::DisplayedRowAt(double view) const {
    const double d = std::floor((view + m_offset.y()) / m_zoom);
    return d >= 0 && d < DisplayedSize().height() ? static_cast<int>(d) : -1;
}

QPoint CViewportTransform::PixelAt(QPointF view) const {
    const QPointF d = (view + m_offset) / m_zoom;
    return ImagePixelOfDisplayed(
        QPoint(static_cast<int>(std::floor(d.x())), static_cast<int>(std::floor(d.y()))));
}

QPoint CViewportTransform::PixelUnder(QPoint viewPixel) const { return PixelAt(QPointF(viewPixel) + QPointF(0.5, 0.5)); }

QPoint CViewportTransform::CornerUnder(QPoint viewPixel) const {
    const QPointF d = (QPointF(viewPixel) + QPointF(0.5, 0.5) + m_offset) / m_zoom;
    const QPointF corner = DisplayedToImage(QPointF(std::floor(d.x()), std::floor(d.y())));
    return QPoint(static_cast<int>(std::lround(corner.x())), static_cast<int>(std::lround(corner.y())));
}

QRect CViewportTransform::ImageRectToView(const QRect& image) const {
    const QPointF a = ImageToView(QPointF(image.left(), image.top()));
    const QPointF b = ImageToView(QPointF(image.left() + image.width(), image.top() + image.height()));
    const QPoint topLeft(static_cast<int>(std::lround(std::min(a.x(), b.x()))),
                         static_cast<int>(std::lround(std::min(a.y(), b.y()))));
    const QPoint bottomRight(static_cast<int>(std::lround(std::max(a.x(), b.x()))),
                             static_cast<int>(std::lround(std::max(a.y(), b.y()))));
    return QRect(topLeft, QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y()));
}

QRect CViewportTransform::ShownRect() const {
    // The shown view pixels along an axis lie within a pixel of where the zoomed image
    // starts and ends; the ends are found as the painting samples them.
    const auto span = [](double start, double end, const auto& indexAt) {
        int first = static_cast<int>(std::floor(start)) - 1;
        const int limit = static_cast<int>(std::ceil(end)) + 1;
        while (first <= limit && indexAt(first + 0.5) < 0) ++first;
        int last = limit;
        while (last >= first && indexAt(last + 0.5) < 0) --last;
        return std::pair<int, int>(first, last);
    };
    const QSize shown = DisplayedSize();
    if (shown.isEmpty()) return {};
    const auto [left, right] = span(-m_offset.x(), shown.width() * m_zoom - m_offset.x(),
                                    [this](double v) { return DisplayedColumnAt(v); });
    const auto [top, bottom] = span(-m_offset.y(), shown.height() * m_zoom - m_offset.y(),
                                    [this](double v) { return DisplayedRowAt(v); });
    if (right < left || bottom < top) return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}
