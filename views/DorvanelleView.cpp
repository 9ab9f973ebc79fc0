#include "views/DorvanelleView.h"

#include <algorithm>
#include <cmath>

#include <QKeyEvent>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include "document/DorvanelleDoc.h"
#include "views/CommandIds.h"
#include "views/DibImage.h"
#include "views/DocumentController.h"
#include "views/HeaderDetailsDialog.h"
#include "views/ImageOutput.h"
#include "views/ImageOverlay.h"
#include "views/LiveWindowImage.h"
#include "views/Painting.h"
#include "views/ScaledDibImage.h"
#include "views/UserDialogs.h"
#include "views/WindowRanges.h"

namespace {

// The fallback child-window size for an image that does not fit the main window.
constexpr QSize kLargeImageFrame(730, 650);

const QString kDecoding = QStringLiteral("decoding\u2026");

// "decoding…" in the top-left corner, light on a dark box, over the last picture.
void DrawPendingNote(QPainter& painter, const QRect& area) {
    const QFontMetrics metrics(painter.font());
    const QRect box(area.left() + 4, area.top() + 4, metrics.horizontalAdvance(kDecoding) + 8, metrics.height() + 4);
    painter.fillRect(box, QColor(0, 0, 0, 160));
    painter.setPen(QColor(255, 255, 160));
    painter.drawText(box, Qt::AlignCenter, kDecoding);
}

}  // namespace

CDorvanelleView::CDorvanelleView(std::shared_ptr<CDocumentController> controller, IUserDialogs& dialogs,
                                 QWidget* parent)
    : QAbstractScrollArea(parent), m_controller(std::move(controller)), m_dialogs(dialogs) {
    setFocusPolicy(Qt::StrongFocus);
    connect(m_controller.get(), &CDocumentController::imageChanged, this, &CDorvanelleView::OnImageChanged);
    connect(m_controller.get(), &CDocumentController::framePending, this, [this] {
        viewport()->update();
        emit statusTextsChanged();
    });
    connect(m_controller.get(), &CDocumentController::sampleRangeChanged, this, &CDorvanelleView::statusTextsChanged);
    connect(m_controller.get(), &CDocumentController::previewArrived, this, &CDorvanelleView::OnPreviewArrived);
    connect(m_controller.get(), &CDocumentController::liveWindowChanged, viewport(), qOverload<>(&QWidget::update));
    connect(&m_cine, &CCinePlayer::nextFrame, this, &CDorvanelleView::ShowCineFrame);
    viewport()->setMouseTracking(true);
    BuildCommands();
    BuildViewingCommands();
    BuildDisplayCommands();
    BuildMeasureCommands();
    connect(m_controller.get(), &CDocumentController::measurementsChanged, viewport(), qOverload<>(&QWidget::update));
    OnInitialUpdate();
    ApplyCursor();
}

// Out of line: the view may be the controller's last owner.
CDorvanelleView::~CDorvanelleView() = default;

const CDorvanelleDoc& CDorvanelleView::GetDocument() const { return m_controller->Document(); }

void CDorvanelleView::BuildCommands() {
    m_commands.On(
        ID_ACTIONS_RECTANGLE, [this] { OnRectangle(); }, [this](CommandUi& ui) { ui.SetCheck(m_bSelectMode); });
    auto slideUpdate = [this](CommandUi& ui) { ui.Enable(GetDocument().CanSlide()); };
    m_commands.On(
        ID_FIRST_SLIDE, [this] { OnFirstSlide(); }, slideUpdate);
    m_commands.On(
        ID_PREV_SLIDE, [this] { OnPrevSlide(); }, slideUpdate);
    m_commands.On(
        ID_NEXT_SLIDE, [this] { OnNextSlide(); }, slideUpdate);
    m_commands.On(
        ID_LAST_SLIDE, [this] { OnLastSlide(); }, slideUpdate);
    m_commands.On(ID_SHOW_DICOM_HEADER, [this] { OnShowDicomHeader(); });
}

bool CDorvanelleView::RunCommand(int id) {
    CommandUi ui;
    if (!m_commands.Update(id, ui) || !ui.enabled) return false;
    m_commands.Execute(id);
    emit stateChanged();
    return true;
}

void CDorvanelleView::OnInitialUpdate() {
    // All frames of a file share one size, so the range is set once.
    m_scrollSize = QSize(DibWidth(m_controller->Image()), DibHeight(m_controller->Image()));
    m_viewport.SetImageSize(m_scrollSize);
    UpdateScrollBars();
    viewport()->update();
}

void CDorvanelleView::UpdateScrollBars() {
    // The page is what shows once the scroll bars that the zoomed image needs are in
    // place; a picture that fits exactly needs none (the bars must not keep themselves up).
    QSize page = maximumViewportSize();
    m_viewport.SetViewSize(page);
    const QSize zoomed = m_viewport.ZoomedSize();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    const int barHeight = horizontalScrollBar()->sizeHint().height();
    bool needH = zoomed.width() > page.width();
    bool needV = zoomed.height() > page.height();
    if (needH && !needV) needV = zoomed.height() > page.height() - barHeight;
    if (needV && !needH) needH = zoomed.width() > page.width() - barWidth;
    if (needH) page.rheight() -= barHeight;
    if (needV) page.rwidth() -= barWidth;
    m_viewport.SetViewSize(page);
    const QSize range = m_viewport.OffsetRange();
    const QPointF offset = m_viewport.Offset();
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    m_bSyncingBars = true;
    h->setRange(0, range.width());
    v->setRange(0, range.height());
    h->setPageStep(std::max(1, page.width()));
    v->setPageStep(std::max(1, page.height()));
    h->setSingleStep(std::max(1, zoomed.width() / 100));
    v->setSingleStep(std::max(1, zoomed.height() / 100));
    h->setValue(static_cast<int>(std::max(0.0, offset.x())));
    v->setValue(static_cast<int>(std::max(0.0, offset.y())));
    m_bSyncingBars = false;
    viewport()->update();
    // Frames shown small may be decoded at a lower resolution first.
    if (!m_scrollSize.isEmpty()) m_controller->SetShownZoom(m_viewport.Zoom());
    // The zoom may have changed, and with it Zoom to Fit and Actual Size.
    emit stateChanged();
}

void CDorvanelleView::scrollContentsBy(int, int) {
    if (m_bSyncingBars) return;
    m_viewport.SetOffset(QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value()));
    viewport()->update();
}

void CDorvanelleView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    // A second window of a document (not fitted to its image) chooses its zoom once
    // it has its first size.
    if (!m_bZoomChosen && !m_bAwaitingFrameFit && isVisible()) ChooseInitialZoom();
}

void CDorvanelleView::ChooseInitialZoom() {
    if (m_bZoomChosen) return;  // the user chose one before the window's first fit
    m_bZoomChosen = true;
    // Reduced to fit when larger than the window, 1:1 otherwise; it stays so when the
    // window changes size (Tile), until the user chooses a zoom.
    m_viewport.ShrinkToFit();
    UpdateScrollBars();
}

void CDorvanelleView::OnActivateView() {
    // The selection is the one this window shows, or none.
    if (m_bSelectMode && m_rcSelection != DibRect{}) {
        m_controller->SetSelection(m_rcSelection);
    } else {
        m_controller->ClearSelection();
    }
    m_bActivated = true;
    FitFrameOnce();
    emit statusTextsChanged();
}

void CDorvanelleView::FitFrameOnce() {
    // A file without an image keeps the window's default size: fitted to nothing it
    // would shrink to its title bar. A first frame still on its way is waited for.
    if (m_scrollSize.isEmpty() || !m_controller->TakeFrameFit()) return;
    // Once the event loop has laid the new window out, its decoration is known.
    m_bAwaitingFrameFit = true;
    QTimer::singleShot(0, this, &CDorvanelleView::FitFrame);
}

QSize CDorvanelleView::FitFrameSize(QSize image, QSize decoration, QSize area) {
    const QSize fitted = image + decoration;
    if (fitted.width() < area.width() && fitted.height() < area.height()) return fitted.expandedTo(kMinimumFrame);
    return kLargeImageFrame;
}

void CDorvanelleView::FitFrame() {
    m_bAwaitingFrameFit = false;
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!frame || !frame->mdiArea()) return ChooseInitialZoom();
    // Windows shown maximised (the user maximised the one before) stay so.
    if (frame->isMaximized()) return ChooseInitialZoom();
    if (QLayout* layout = frame->layout()) layout->activate();
    // What the child window adds around the image: its own border and title bar,
    // and this view's frame (scroll bars are not counted: the image fits without).
    const QSize decoration = frame->size() - size() + QSize(2 * frameWidth(), 2 * frameWidth());
    const QSize image = m_scrollSize;
    const QSize area = frame->mdiArea()->viewport()->size();
    frame->setGeometry(QRect(QPoint(0, 0), FitFrameSize(image, decoration, area)));
    if (QLayout* layout = frame->layout()) layout->activate();
    ChooseInitialZoom();
}

// The corner of the pixel painted under the point that a drag starts from: at 1:1
// the point plus the scroll position.
DibPoint CDorvanelleView::ImagePoint(QPoint viewportPoint) const {
    const QPoint corner = m_viewport.CornerUnder(viewportPoint);
    return DibPoint{corner.x(), corner.y()};
}

// During a drag in selection mode the point stays on the image (0 .. width and
// 0 .. height, right and bottom exclusive), wherever the pointer goes.
DibPoint CDorvanelleView::ConfinedPoint(QPoint viewportPoint) const {
    DibPoint point = ImagePoint(viewportPoint);
    if (!m_bSelectMode) return point;
    point.x = std::clamp(point.x, 0, static_cast<std::int32_t>(m_scrollSize.width()));
    point.y = std::clamp(point.y, 0, static_cast<std::int32_t>(m_scrollSize.height()));
    return point;
}

void CDorvanelleView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const LoadedFrame* preview = m_controller->Preview();
    if (const PackedDib* image = m_controller->Image(); image || preview) {
        // Around the image: black, as on a light box.
        painter.fillRect(event->rect(), Qt::black);
        const QRect shown = m_viewport.ShownRect() & event->rect();
        if (preview) {
            PaintPreview(painter, *preview, shown);
        } else {
            PaintImage(painter, image, shown);
        }
        if (m_bInverted) {
            // White minus each pixel: exact for opaque pixels.
            painter.setCompositionMode(QPainter::CompositionMode_Difference);
            painter.fillRect(shown, Qt::white);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    } else {
        // No image: the window says why, in the middle of what it shows (or that the
        // first frame is on its way).
        painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         m_controller->PendingFrame() ? kDecoding : m_controller->NoImageReason());
    }
    PaintOverImage(painter);
    // A frame asked for and still being read: the last picture stays, and says so.
    if (m_controller->PendingFrame() && (m_controller->Image() || preview)) {
        DrawPendingNote(painter, viewport()->rect());
    }
    m_controller->FramePainted();
}

void CDorvanelleView::PaintPreview(QPainter& painter, const LoadedFrame& preview, const QRect& rect) {
    if (rect.isEmpty() || !preview.samples || !preview.attributes) return;
    if (m_previewOf != preview.image) {
        m_previewOf = preview.image;
        m_previewPicture = DibToImage(preview.image.get());
    }
    if (m_previewPicture.isNull()) return;
    // Its samples cover the whole frame, each standing for a block of the frame's pixels.
    const QRectF covered(0, 0, preview.samples->columns, preview.samples->rows);
    const QRectF frame(0, 0, preview.attributes->columns, preview.attributes->rows);
    painter.save();
    painter.setClipRect(rect);
    painter.setTransform(m_viewport.ImageToViewTransform());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(frame, m_previewPicture, covered);
    painter.restore();
}

void CDorvanelleView::OnPreviewArrived() {
    const LoadedFrame* preview = m_controller->Preview();
    if (!preview || !preview->attributes) return;
    // The size of the whole frame's picture, which replaces it.
    const QSize size(BuiltWidth(preview->attributes->columns), preview->attributes->rows);
    if (size != m_viewport.ImageSize()) {
        m_scrollSize = size;
        m_viewport.SetImageSize(size);
        UpdateScrollBars();
    }
    viewport()->update();
    if (m_bActivated) FitFrameOnce();
    emit statusTextsChanged();
}

void CDorvanelleView::PaintImage(QPainter& painter, const PackedDib* image, const QRect& rect) {
    if (rect.isEmpty()) return;
    const double zoom = m_viewport.Zoom();
    const bool upright = m_viewport.Orientation() == DisplayOrientation{};
    // While a window is dragged only what shows is mapped, from the frame's samples.
    const std::optional<LiveWindowFrame> live = m_controller->LiveWindow();
    const QRect picture(QPoint(0, 0), m_scrollSize);
    if (zoom == 1.0 && upright) {
        // 1:1: the image's pixels as they are, shifted by the offset.
        const QRect part = rect.translated(m_viewport.Offset().toPoint()) & picture;
        painter.save();
        painter.translate(-m_viewport.Offset());
        const QImage livePart = live ? LiveWindowToImage(*live, part) : QImage();
        if (!livePart.isNull()) {
            painter.drawImage(part.topLeft(), livePart);
        } else {
            m_picture.Paint(painter, image, part);
        }
        painter.restore();
        return;
    }
    if (m_bSmooth && zoom > 1.0) {
        // Enlarged and smoothed: the painter blends the exposed part, one pixel more
        // around it for the blend's edges.
        const QTransform toView = m_viewport.ImageToViewTransform();
        const QRect part = toView.inverted().mapRect(QRectF(rect)).toAlignedRect().adjusted(-1, -1, 1, 1) & picture;
        painter.save();
        painter.setTransform(toView);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        const QImage livePart = live ? LiveWindowToImage(*live, part) : QImage();
        if (!livePart.isNull()) {
            painter.drawImage(part.topLeft(), livePart);
        } else {
            m_picture.Paint(painter, image, part);
        }
        painter.restore();
        return;
    }
    // Otherwise each view pixel shows the image pixel under its centre (the one the
    // readout names), or, smoothed, the mean of four samples; made at the view's own
    // resolution, never a full-size copy.
    const int oversample = m_bSmooth ? 2 : 1;
    const QImage sampled = live ? SampleLiveWindowForView(*live, m_viewport, rect, oversample)
                                : SampleDibForView(image, m_viewport, rect, oversample);
    if (!sampled.isNull()) painter.drawImage(rect.topLeft(), sampled);
}

void CDorvanelleView::PaintOverImage(QPainter& painter) {
    if (m_bSelectMode) {
        const QRect r = m_viewport.ImageRectToView(QRect(m_rcSelection.left, m_rcSelection.top,
                                                         m_rcSelection.right - m_rcSelection.left,
                                                         m_rcSelection.bottom - m_rcSelection.top));
        DrawSelectionRect(painter, DibRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
    }
    PaintMeasurements(painter);
    if (m_bOverlay) DrawCornerTexts(painter);
}

void CDorvanelleView::mousePressEvent(QMouseEvent* event) {
    if (MeasurePress(event)) return;
    const QPoint pos = event->position().toPoint();
    // The middle button pans, and so does the left one when it selects and measures
    // nothing.
    const bool leftPans = event->button() == Qt::LeftButton && (m_bSpaceHeld || !m_bSelectMode);
    if (event->button() == Qt::MiddleButton || leftPans) {
        m_bPanning = true;
        m_panLast = pos;
        viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() == Qt::RightButton && CanWindow()) {
        const std::optional<DisplayWindow> window = GetDocument().CurrentWindow();
        m_bWindowing = true;
        m_windowPress = pos;
        m_windowAtPress = window ? WindowLevel{window->width, window->centre} : WindowLevel{};
        m_windowNow = m_windowAtPress;
        m_bFineWindowing = (event->modifiers() & Qt::ShiftModifier) != 0;
        return;
    }
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    m_bDragging = true;
    m_ptAnchor = ConfinedPoint(pos);
    m_ptCurrent = m_ptAnchor;
    viewport()->update();
}

void CDorvanelleView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    UpdateReadout(pos);
    if (MeasureMove(event)) return;
    if (m_bPanning) {
        m_viewport.PanBy(pos - m_panLast);
        m_panLast = pos;
        UpdateScrollBars();
        return;
    }
    if (m_bWindowing) {
        const WindowLimits limits = WindowLimitsOf(GetDocument());
        // Shift held: eight times finer, from where the pointer is now.
        const bool fine = (event->modifiers() & Qt::ShiftModifier) != 0;
        if (fine != m_bFineWindowing) {
            m_bFineWindowing = fine;
            m_windowAtPress = m_windowNow;
            m_windowPress = pos;
        }
        const QPoint fromPress = pos - m_windowPress;
        const WindowLevel window = DraggedWindow(m_windowAtPress, fromPress.x(), fromPress.y(), limits, fine);
        if (!(window == m_windowNow)) {
            m_windowNow = window;
            m_controller->PreviewWindow(window.width, window.centre);
        }
        return;
    }
    // Only a plain left-button drag in selection mode: another button, Shift or Ctrl
    // changes nothing.
    if (!m_bSelectMode || !m_bDragging || event->buttons() != Qt::LeftButton ||
        event->modifiers() != Qt::NoModifier) {
        return QAbstractScrollArea::mouseMoveEvent(event);
    }
    m_ptCurrent = ConfinedPoint(pos);
    m_rcSelection = NormalizedRectFromPoints(m_ptAnchor, m_ptCurrent);
    viewport()->update();
}

void CDorvanelleView::mouseReleaseEvent(QMouseEvent* event) {
    if (MeasureRelease(event)) return;
    if (m_bPanning && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
        m_bPanning = false;
        ApplyCursor();
        return;
    }
    if (m_bWindowing && event->button() == Qt::RightButton) {
        m_bWindowing = false;
        // Committed as a slider release commits: stored, converted, re-cropped.
        m_controller->SetWindow(m_windowNow.width, m_windowNow.centre);
        return;
    }
    if (event->button() != Qt::LeftButton || !m_bSelectMode) return QAbstractScrollArea::mouseReleaseEvent(event);
    m_bDragging = false;
    m_ptCurrent = ConfinedPoint(event->position().toPoint());
    // The document crops what of the rectangle lies on its image; without an image
    // there is nothing to select.
    m_controller->SetSelection(m_rcSelection);
    viewport()->update();
}

void CDorvanelleView::OnRectangle() {
    m_bSelectMode = !m_bSelectMode;
    // One tool at a time: selecting leaves the measuring tool.
    if (m_bSelectMode) m_measureTool = MeasureTool::None;
    m_ptAnchor = {};
    m_ptCurrent = {};
    m_rcSelection = {};
    m_bDragging = false;
    // What shows selected is what is selected: the rectangle went, so did the selection.
    m_controller->ClearSelection();
    ApplyCursor();
    viewport()->update();
    emit stateChanged();
}

void CDorvanelleView::OnFirstSlide() { m_controller->FirstFrame(); }
void CDorvanelleView::OnPrevSlide() { m_controller->PrevFrame(); }
void CDorvanelleView::OnNextSlide() { m_controller->NextFrame(); }
void CDorvanelleView::OnLastSlide() { m_controller->LastFrame(); }

void CDorvanelleView::OnShowDicomHeader() {
    // The dialog walks the bytes the document's reader has open, on a thread of its own.
    const CDorvanelleDoc& document = GetDocument();
    // A file still being read (a deflated data set inflating) has no reader yet: the
    // dialog reads the file itself rather than call it no DICOM file.
    const std::string path = document.m_strDicomPath.empty() && m_controller->Opening()
                                 ? m_controller->Path().toStdString()
                                 : document.m_strDicomPath;
    HeaderDetailsDialog dialog(document.HeaderBytes(), path, this);
    m_dialogs.RunModal(dialog);
}

void CDorvanelleView::OnImageChanged() {
    m_picture.Invalidate();
    if (!m_controller->Preview()) {
        m_previewOf.reset();
        m_previewPicture = QImage();
    }
    const QSize size(DibWidth(m_controller->Image()), DibHeight(m_controller->Image()));
    if (size != m_viewport.ImageSize()) {
        m_scrollSize = size;
        m_viewport.SetImageSize(size);
        UpdateScrollBars();
    }
    viewport()->update();
    // The value under a still pointer changes with the frame and the window.
    if (m_bMouseInside) UpdateReadout(m_mouseAt);
    if (m_bActivated) FitFrameOnce();
    emit statusTextsChanged();
}

QCursor CDorvanelleView::SelectionCursor() {
    // Black arms, a white ring around the black centre, transparent elsewhere.
    static const char* const kRows[7] = {"...B...", "...B...", "..WWW..", "BBWBWBB", "..WWW..", "...B...", "...B..."};
    QImage image(7, 7, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 7; ++x) {
            if (kRows[y][x] == 'B') image.setPixel(x, y, qRgb(0, 0, 0));
            if (kRows[y][x] == 'W') image.setPixel(x, y, qRgb(255, 255, 255));
        }
    }
    return QCursor(QPixmap::fromImage(image), 3, 3);
}

void CDorvanelleView::ApplyCursor() {
    // The whole view, scroll bars included, shows the selection cursor in that mode.
    const bool crossHair = m_bSelectMode || m_measureTool != MeasureTool::None;
    const QCursor cursor = crossHair ? SelectionCursor() : QCursor(Qt::ArrowCursor);
    setCursor(cursor);
    viewport()->setCursor(cursor);
    horizontalScrollBar()->setCursor(cursor);
    verticalScrollBar()->setCursor(cursor);
}
