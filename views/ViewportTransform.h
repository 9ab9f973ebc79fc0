// Where the image lies in a view: the zoom factor, the scroll offset, and the mapping
// between image coordinates (pixels of the image, top-left (0, 0)) and view
// coordinates (pixels of the viewport). The selection, the cross-hair, the pixel
// readout and the painting all go through it, so they agree at every zoom.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

class CViewportTransform {
public:
    static constexpr double kMinZoom = 1.0 / 32;
    static constexpr double kMaxZoom = 32.0;
    // One Ctrl+wheel notch or Ctrl+plus.
    static constexpr double kZoomStep = 1.25;

    void SetImageSize(QSize size);
    // The viewport changed size; in fit mode the image is fitted again.
    void SetViewSize(QSize size);
    QSize ImageSize() const { return m_image; }
    QSize ViewSize() const { return m_view; }

    double Zoom() const { return m_zoom; }
    bool IsFit() const { return m_bFit; }
    // The whole image in the view, as large as it fits (smaller or larger than 1:1).
    void FitToWindow();
    // One image pixel per view pixel, keeping the top-left corner of what shows.
    void SetActualSize();
    // Multiplies the zoom by `factor` (clamped) so that the image point under
    // `viewPoint` stays under it. Leaves fit mode.
    void ZoomAbout(double factor, QPointF viewPoint);
    // Moves the image by `delta` view pixels (a drag to the right shows more of the left).
    void PanBy(QPointF delta);

    // The top-left corner of the view in zoomed-image pixels, whole numbers kept
    // within 0 .. zoomed size - view size (0 when the image is smaller than the view).
    QPointF Offset() const { return m_offset; }
    void SetOffset(QPointF offset);
    // The image's size at the present zoom, rounded up to whole view pixels.
    QSize ZoomedSize() const;
    // How far the offset can go along each axis.
    QSize OffsetRange() const;

    QPointF ImageToView(QPointF image) const;
    QPointF ViewToImage(QPointF view) const;
    // The image pixel under a view point (it may lie outside the image).
    QPoint PixelAt(QPointF view) const;
    // The pixel boundary nearest a view point: the corner a drag puts there. At 1:1
    // it is the view point plus the offset.
    QPoint BoundaryAt(QPointF view) const;
    // An image rectangle in view pixels, edges rounded to whole pixels.
    QRect ImageRectToView(const QRect& image) const;

private:
    void ClampOffset();

    QSize m_image;
    QSize m_view;
    double m_zoom = 1.0;
    bool m_bFit = false;
    QPointF m_offset;
};
