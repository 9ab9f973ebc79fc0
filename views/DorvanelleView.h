// The image view of a child window: the document's current image at the top-left of
// a scrolling area, 1:1 or zoomed, the dotted selection rectangle while selection
// mode is on, a drag that selects through the document's controller, and the four
// slide commands. A document without an image shows, centred, why it has none.
//
// Viewing aids: zoom (fit, 1:1, in and out about the cursor), panning with the left
// button when not selecting (or the middle one, or with Space held), smooth or
// pixel-exact scaling, windowing by a right-button drag (finer with Shift), a window
// typed in a dialog or chosen by number, inversion, rotation and flips for display
// only, the pixel under the cursor and the frame shown for the status bar, frame
// steps by key and wheel, cine, copy, print and the corner texts.
//
// Keys, the wheel and the menus reach a command the same way: RunCommand, which asks
// the command's state first. stateChanged tells the main window that a command's
// state may have changed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QAbstractScrollArea>
#include <QSize>

#include "document/Measurement.h"
#include "image/Geometry.h"
#include "views/CinePlayer.h"
#include "views/CommandMap.h"
#include "views/DibImage.h"
#include "views/ImageOverlay.h"
#include "views/ViewportTransform.h"
#include "views/WindowPresets.h"

class CDocumentController;
struct LoadedFrame;
class CDorvanelleDoc;
class IUserDialogs;
class QPainter;

// One item of a menu whose items depend on the document (window presets, cine rates).
struct MenuChoice {
    QString text;
    bool checked = false;
    std::function<void()> run;
};

class CDorvanelleView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Every view of a document shares its controller; the last view to go releases it.
    CDorvanelleView(std::shared_ptr<CDocumentController> controller, IUserDialogs& dialogs, QWidget* parent = nullptr);
    ~CDorvanelleView() override;

    CDocumentController& Controller() const { return *m_controller; }
    // Runs command `id` of this view if it is enabled, as its menu item would.
    bool RunCommand(int id);
    const std::shared_ptr<CDocumentController>& SharedController() const { return m_controller; }
    const CDorvanelleDoc& GetDocument() const;
    const CommandMap& Commands() const { return m_commands; }

    // Scroll range from the current image's size (0 x 0 without one).
    void OnInitialUpdate();
    // The view became the active one: its rectangle is the one a window change crops,
    // and the first activation after a file was read fits the child window to the image.
    void OnActivateView();

    // Commands.
    void OnRectangle();
    void OnFirstSlide();
    void OnPrevSlide();
    void OnNextSlide();
    void OnLastSlide();
    // Lists every element of the document's DICOM file in a modal dialog.
    void OnShowDicomHeader();

    // Zoom. Fit to window is chosen for an image larger than its first window.
    const CViewportTransform& Viewport() const { return m_viewport; }
    void ZoomToFit();
    void ZoomActualSize();
    // About the cursor when it is over the image, else about the view's centre.
    void ZoomIn();
    void ZoomOut();
    bool Smoothing() const { return m_bSmooth; }
    void SetSmoothing(bool on);
    bool OverlayShown() const { return m_bOverlay; }
    void SetOverlayShown(bool on);

    // Display only: inverted grey levels, and the image turned and mirrored.
    bool Inverted() const { return m_bInverted; }
    void SetInverted(bool on);
    void SetOrientation(DisplayOrientation orientation);
    // Measuring: the Ruler or Ellipse tool (or none), one at a time with selection mode.
    enum class MeasureTool { None, Ruler, Ellipse };
    MeasureTool Tool() const { return m_measureTool; }
    void SetMeasureTool(MeasureTool tool);

    // Asks for a window in the Set Window dialog and applies it.
    void OnSetWindow();
    // Applies preset `index` (from 0) of the Window Level menu; false when there is none.
    bool ApplyPreset(std::size_t index);

    // Cine: Play Video starts and pauses; it stops when the view is deactivated.
    void OnPlayVideo();
    void StopCine();
    bool IsPlaying() const { return m_cine.IsPlaying(); }
    CCinePlayer& Cine() { return m_cine; }

    // Copy: the selected image, or the shown one when nothing is selected. Print: the
    // shown image, fitted to the page, after the print dialog.
    void OnCopy();
    void OnPrint();

    // The windows offered in the Window Level menu, and the cine rates.
    std::vector<WindowPreset> WindowPresets() const;
    std::vector<MenuChoice> Choices(int menuId);

    // What the corner texts show now: the texts, the patient's directions at the
    // edges, and the scale bar along the view's rows.
    OverlayTexts CornerTexts() const;
    EdgeLetters EdgeLettersNow() const;
    ScaleBar ScaleBarNow() const;

    // The status-bar texts: the pixel under the cursor, and "Frame n / N" (with a
    // note when the window range comes from some frames only).
    const QString& ReadoutText() const { return m_readout; }
    QString FrameText() const;
    QString StatusFrameText() const;

    // The 7 x 7 cross-hair shown in selection mode, hot spot at its centre.
    static QCursor SelectionCursor();

    // The child-window size that shows `image` whole, given the frame decoration
    // around the image and the MDI area's size: image + decoration when that fits
    // strictly inside the area, else 730 x 650; never smaller than kMinimumFrame, so
    // that a tiny image keeps a usable title bar.
    static QSize FitFrameSize(QSize image, QSize decoration, QSize area);
    static constexpr QSize kMinimumFrame{180, 120};

    bool m_bSelectMode = false;
    DibPoint m_ptAnchor;
    DibPoint m_ptCurrent;
    DibRect m_rcSelection;

signals:
    // The readout or the frame text changed.
    void statusTextsChanged();
    // Something a command's enabled or checked state depends on changed here (a
    // mode, the zoom, cine).
    void stateChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    DibPoint ImagePoint(QPoint viewportPoint) const;
    DibPoint ConfinedPoint(QPoint viewportPoint) const;
    void UpdateScrollBars();
    void FitFrame();
    // Fits the child window to the first picture, once, when it has come.
    void FitFrameOnce();
    void ApplyCursor();
    void BuildCommands();
    void OnImageChanged();
    // A reduced picture of the frame on its way: the view takes the frame's size and
    // shows it stretched over it.
    void OnPreviewArrived();
    void PaintPreview(QPainter& painter, const LoadedFrame& preview, const QRect& rect);
    void ChooseInitialZoom();
    // The selection rectangle and the corner texts, drawn over the image.
    void PaintOverImage(QPainter& painter);
    void DrawCornerTexts(QPainter& painter);
    // The image's part under `rect` (view pixels), at the view's zoom.
    void PaintImage(QPainter& painter, const PackedDib* image, const QRect& rect);
    void ZoomAboutCursor(double factor);
    void UpdateReadout(QPoint p);
    bool CanWindow() const;
    void ShowCineFrame();
    void BuildViewingCommands();
    void BuildDisplayCommands();
    void BuildMeasureCommands();
    // A drag of the measuring tool: true when the event was the tool's.
    bool MeasurePress(QMouseEvent* event);
    bool MeasureMove(QMouseEvent* event);
    bool MeasureRelease(QMouseEvent* event);
    std::optional<std::size_t> LastMeasurementShown() const;
    void DeleteLastMeasurement();
    QPointF PixelCentreInView(DibPoint pixel) const;
    void PaintMeasurement(QPainter& painter, const Measurement& m);
    void PaintMeasurements(QPainter& painter);

    std::shared_ptr<CDocumentController> m_controller;
    IUserDialogs& m_dialogs;
    CommandMap m_commands;
    DibImageCache m_picture;
    // The controller's reduced picture, converted once, and the block it came from.
    QImage m_previewPicture;
    std::shared_ptr<const PackedDib> m_previewOf;
    QSize m_scrollSize;

    CViewportTransform m_viewport;
    bool m_bSyncingBars = false;
    bool m_bZoomChosen = false;
    bool m_bAwaitingFrameFit = false;
    bool m_bActivated = false;
    bool m_bSmooth = false;
    bool m_bOverlay = false;
    // Panning: middle button, or left button with Space held.
    bool m_bSpaceHeld = false;
    bool m_bPanning = false;
    QPoint m_panLast;
    // Windowing by a right-button drag.
    bool m_bWindowing = false;
    QPoint m_windowPress;
    WindowLevel m_windowAtPress;
    WindowLevel m_windowNow;
    bool m_bFineWindowing = false;
    CCinePlayer m_cine;
    double m_chosenRate = 0;  // frames per second chosen in the menu; 0: the file's
    QString m_readout;
    QPoint m_mouseAt;  // last pointer position over the viewport
    bool m_bMouseInside = false;
    bool m_bDragging = false;  // a left-button drag in selection mode is under way
    bool m_bInverted = false;
    MeasureTool m_measureTool = MeasureTool::None;
    bool m_bMeasuring = false;  // a measuring drag is under way
    DibPoint m_measureFrom;
    DibPoint m_measureTo;
};
