// Where the image lies in a view: how it is turned for display, the zoom factor, the
// scroll offset, and the mapping between image coordinates (pixels of the image,
// top-left (0, 0)) and view coordinates (pixels of the viewport). The painting, the
// selection, the pixel readout and the measurements all go through it, so they agree
// at every zoom, scroll position and orientation.
//
// A view pixel shows the image pixel under its centre. An image smaller than the view
// along an axis is centred along it.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QTransform>

// How the image is turned for display only: quarter turns clockwise, then mirrored
// left to right.
struct DisplayOrientation {
    int quarterTurns = 0;  // 0 .. 3
    bool mirrored = false;

    bool operator==(const DisplayOrientation&) const = default;
    bool SwapsAxes() const { return quarterTurns % 2 != 0; }
    // The orientation after one more step, as the display shows it now.
    DisplayOrientation RotatedRight() const;
    DisplayOrientation RotatedLeft() const;
    DisplayOrientation FlippedHorizontally() const;
    DisplayOrientation FlippedVertically() const;
};

class CViewportTransform {
public:
    static constexpr double kMinZoom = 1.0 / 32;
    static constexpr double kMaxZoom = 32.0;
    // One Ctrl+wheel notch or Ctrl+plus.
    static constexpr double kZoomStep = 1.25;

    // Fit: the whole image as large as the view allows. ShrinkToFit: the same, but
    // never enlarged past 1:1 (how a window starts). Fixed: the zoom stays as set.
    enum class ZoomMode { Fixed, Fit, ShrinkToFit };

    void SetImageSize(QSize size);
    // The viewport changed size; in a fit mode the image is fitted again.
    void SetViewSize(QSize size);
    QSize ImageSize() const { return m_image; }
    QSize ViewSize() const { return m_view; }

    // The display orientation; the image point at the view's centre stays there.
    void SetOrientation(DisplayOrientation orientation);
    DisplayOrientation Orientation() const { return m_orientation; }
    // The image's size as turned for display (width and height swapped by a quarter turn).
    QSize DisplayedSize() const;

    double Zoom() const { return m_zoom; }
    ZoomMode Mode() const { return m_mode; }
    bool IsFit() const { return m_mode != ZoomMode::Fixed; }
    // The whole image in the view, as large as it fits (smaller or larger than 1:1).
    void FitToWindow();
    // The whole image in the view, never larger than 1:1.
    void ShrinkToFit();
    // One image pixel per view pixel, keeping the top-left corner of what shows.
    void SetActualSize();
    // Multiplies the zoom by `factor` (clamped) so that the image point under
    // `viewPoint` stays under it. Leaves the fit modes.
    void ZoomAbout(double factor, QPointF viewPoint);
    // Moves the image by `delta` view pixels (a drag to the right shows more of the left).
    void PanBy(QPointF delta);

    // The top-left corner of the view in zoomed, displayed image pixels: whole
    // numbers within 0 .. zoomed size - view size, or, where the image is smaller
    // than the view, the negative number that centres it.
    QPointF Offset() const { return m_offset; }
    void SetOffset(QPointF offset);
    // The displayed image's size at the present zoom, rounded up to whole view pixels.
    QSize ZoomedSize() const;
    // How far the offset can go along each axis (0 where the image is centred).
    QSize OffsetRange() const;

    QPointF ImageToView(QPointF image) const;
    QPointF ViewToImage(QPointF view) const;
    // The same mapping for a painter: image coordinates to view coordinates.
    QTransform ImageToViewTransform() const;
    // The image pixel under a view point (it may lie outside the image).
    QPoint PixelAt(QPointF view) const;
    // The image pixel painted on view pixel `viewPixel`: the one under its centre.
    QPoint PixelUnder(QPoint viewPixel) const;
    // The corner of the pixel painted on `viewPixel` that shows at that pixel's
    // top-left in the view: where a drag from there starts a rectangle. Unturned, it
    // is the pixel itself (at 1:1, the view point plus the offset).
    QPoint CornerUnder(QPoint viewPixel) const;
    // An image rectangle in view pixels, edges rounded to whole pixels.
    QRect ImageRectToView(const QRect& image) const;
    // The view pixels that show some image pixel (under their centre).
    QRect ShownRect() const;

    // The displayed pixel index along one axis under view position `view` (a view
    // pixel's centre is at x + 0.5), or -1 off the image. Painting samples with it.
    int DisplayedColumnAt(double view) const;
    int DisplayedRowAt(double view) const;
    // The image pixel shown as displayed pixel (column, row).
    QPoint ImagePixelOfDisplayed(QPoint displayed) const;

private:
    void ClampOffset();
    void Refit();
    QPointF ImageToDisplayed(QPointF image) const;
    QPointF DisplayedToImage(QPointF displayed) const;

    QSize m_image;
    QSize m_view;
    DisplayOrientation m_orientation;
    double m_zoom = 1.0;
    ZoomMode m_mode = ZoomMode::Fixed;
    QPointF m_offset;
};
