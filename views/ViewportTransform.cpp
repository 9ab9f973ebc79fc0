#include "views/ViewportTransform.h"

#include <algorithm>
#include <cmath>

void CViewportTransform::SetImageSize(QSize size) {
    m_image = size;
    if (m_bFit) FitToWindow();
    ClampOffset();
}

void CViewportTransform::SetViewSize(QSize size) {
    m_view = size;
    if (m_bFit) FitToWindow();
    ClampOffset();
}

void CViewportTransform::FitToWindow() {
    m_bFit = true;
    if (m_image.isEmpty() || m_view.isEmpty()) {
        m_zoom = 1.0;
    } else {
        const double sx = static_cast<double>(m_view.width()) / m_image.width();
        const double sy = static_cast<double>(m_view.height()) / m_image.height();
        m_zoom = std::clamp(std::min(sx, sy), kMinZoom, kMaxZoom);
    }
    m_offset = {};
    ClampOffset();
}

void CViewportTransform::SetActualSize() {
    const QPointF corner = ViewToImage({0, 0});
    m_bFit = false;
    m_zoom = 1.0;
    m_offset = corner;
    ClampOffset();
}

void CViewportTransform::ZoomAbout(double factor, QPointF viewPoint) {
    const QPointF anchor = ViewToImage(viewPoint);
    double zoom = std::clamp(m_zoom * factor, kMinZoom, kMaxZoom);
    // Stepping through 1:1 lands on it exactly, so the steps find pixel-exact display.
    if (std::abs(zoom - 1.0) < 0.02) zoom = 1.0;
    m_bFit = false;
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
    return QSize(static_cast<int>(std::ceil(m_image.width() * m_zoom - 1e-9)),
                 static_cast<int>(std::ceil(m_image.height() * m_zoom - 1e-9)));
}

QSize CViewportTransform::OffsetRange() const {
    const QSize zoomed = ZoomedSize();
    return QSize(std::max(0, zoomed.width() - m_view.width()), std::max(0, zoomed.height() - m_view.height()));
}

void CViewportTransform::ClampOffset() {
    const QSize range = OffsetRange();
    // Whole view pixels, as the scroll bars hold them: at 1:1 image pixels then land
    // exactly on view pixels.
    m_offset.setX(std::clamp(std::round(m_offset.x()), 0.0, static_cast<double>(range.width())));
    m_offset.setY(std::clamp(std::round(m_offset.y()), 0.0, static_cast<double>(range.height())));
}

QPointF CViewportTransform::ImageToView(QPointF image) const { return image * m_zoom - m_offset; }

QPointF CViewportTransform::ViewToImage(QPointF view) const { return (view + m_offset) / m_zoom; }

QPoint CViewportTransform::PixelAt(QPointF view) const {
    const QPointF image = ViewToImage(view);
    return QPoint(static_cast<int>(std::floor(image.x())), static_cast<int>(std::floor(image.y())));
}

QPoint CViewportTransform::BoundaryAt(QPointF view) const {
    const QPointF image = ViewToImage(view);
    return QPoint(static_cast<int>(std::lround(image.x())), static_cast<int>(std::lround(image.y())));
}

QRect CViewportTransform::ImageRectToView(const QRect& image) const {
    const QPointF topLeft = ImageToView(QPointF(image.left(), image.top()));
    const QPointF bottomRight = ImageToView(QPointF(image.left() + image.width(), image.top() + image.height()));
    const QPoint a(static_cast<int>(std::lround(topLeft.x())), static_cast<int>(std::lround(topLeft.y())));
    const QPoint b(static_cast<int>(std::lround(bottomRight.x())), static_cast<int>(std::lround(bottomRight.y())));
    return QRect(a, QSize(b.x() - a.x(), b.y() - a.y()));
}
