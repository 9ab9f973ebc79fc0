#include "views/DorvanelleView.h"

#include <algorithm>

#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "document/DorvanelleDoc.h"
#include "views/CommandIds.h"
#include "views/DocumentController.h"
#include "views/HeaderDetailsDialog.h"
#include "views/Painting.h"
#include "views/UserDialogs.h"

namespace {

// The fallback child-window size for an image that does not fit the main window.
constexpr QSize kLargeImageFrame(730, 650);

}  // namespace

CDorvanelleView::CDorvanelleView(std::shared_ptr<CDocumentController> controller, IUserDialogs& dialogs,
                                 QWidget* parent)
    : QAbstractScrollArea(parent), m_controller(std::move(controller)), m_dialogs(dialogs) {
    setFocusPolicy(Qt::StrongFocus);
    connect(m_controller.get(), &CDocumentController::imageChanged, this, &CDorvanelleView::OnImageChanged);
    BuildCommands();
    OnInitialUpdate();
    ApplyCursor();
}

// Out of line: the view may be the controller's last owner.
CDorvanelleView::~CDorvanelleView() = default;

const CDorvanelleDoc& CDorvanelleView::GetDocument() const { return m_controller->Document(); }

void CDorvanelleView::BuildCommands() {
    m_commands.On(ID_ACTIONS_RECTANGLE, [this] { OnRectangle(); },
                  [this](CommandUi& ui) { ui.SetCheck(m_bSelectMode); });
    auto slideUpdate = [this](CommandUi& ui) { ui.Enable(GetDocument().CanSlide()); };
    m_commands.On(ID_FIRST_SLIDE, [this] { OnFirstSlide(); }, slideUpdate);
    m_commands.On(ID_PREV_SLIDE, [this] { OnPrevSlide(); }, slideUpdate);
    m_commands.On(ID_NEXT_SLIDE, [this] { OnNextSlide(); }, slideUpdate);
    m_commands.On(ID_LAST_SLIDE, [this] { OnLastSlide(); }, slideUpdate);
    m_commands.On(ID_SHOW_DICOM_HEADER, [this] { OnShowDicomHeader(); });
}

void CDorvanelleView::OnInitialUpdate() {
    // All frames of a file share one size, so the range is set once.
    m_scrollSize = QSize(DibWidth(m_controller->Image()), DibHeight(m_controller->Image()));
    UpdateScrollBars();
    viewport()->update();
}

void CDorvanelleView::UpdateScrollBars() {
    // The page is what shows once the scroll bars that the image needs are in place;
    // a picture that fits exactly needs none (the bars must not keep themselves up).
    QSize page = maximumViewportSize();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    const int barHeight = horizontalScrollBar()->sizeHint().height();
    bool needH = m_scrollSize.width() > page.width();
    bool needV = m_scrollSize.height() > page.height();
    if (needH && !needV) needV = m_scrollSize.height() > page.height() - barHeight;
    if (needV && !needH) needH = m_scrollSize.width() > page.width() - barWidth;
    if (needH) page.rheight() -= barHeight;
    if (needV) page.rwidth() -= barWidth;
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setRange(0, std::max(0, m_scrollSize.width() - page.width()));
    v->setRange(0, std::max(0, m_scrollSize.height() - page.height()));
    h->setPageStep(std::max(1, page.width()));
    v->setPageStep(std::max(1, page.height()));
    h->setSingleStep(std::max(1, m_scrollSize.width() / 100));
    v->setSingleStep(std::max(1, m_scrollSize.height() / 100));
}

void CDorvanelleView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CDorvanelleView::OnActivateView() {
    m_controller->MarkSelection(m_rcSelection);
    // A file without an image keeps the window's default size: fitted to nothing it
    // would shrink to its title bar.
    if (m_controller->TakeFrameFit() && m_controller->Image()) {
        // Once the event loop has laid the new window out, its decoration is known.
        QTimer::singleShot(0, this, &CDorvanelleView::FitFrame);
    }
}

QSize CDorvanelleView::FitFrameSize(QSize image, QSize decoration, QSize area) {
    const QSize fitted = image + decoration;
    if (fitted.width() < area.width() && fitted.height() < area.height()) return fitted;
    return kLargeImageFrame;
}

void CDorvanelleView::FitFrame() {
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!frame || !frame->mdiArea()) return;
    // Windows shown maximised (the user maximised the one before) stay so.
    if (frame->isMaximized()) return;
    if (QLayout* layout = frame->layout()) layout->activate();
    // What the child window adds around the image: its own border and title bar,
    // and this view's frame (scroll bars are not counted: the image fits without).
    const QSize decoration = frame->size() - size() + QSize(2 * frameWidth(), 2 * frameWidth());
    const QSize image(DibWidth(m_controller->Image()), DibHeight(m_controller->Image()));
    const QSize area = frame->mdiArea()->viewport()->size();
    frame->setGeometry(QRect(QPoint(0, 0), FitFrameSize(image, decoration, area)));
}

DibPoint CDorvanelleView::ImagePoint(QPoint viewportPoint) const {
    return DibPoint{viewportPoint.x() + horizontalScrollBar()->value(), viewportPoint.y() + verticalScrollBar()->value()};
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
    const QPoint scrolled(horizontalScrollBar()->value(), verticalScrollBar()->value());
    if (const PackedDib* image = m_controller->Image()) {
        painter.translate(-scrolled);
        m_picture.Paint(painter, image, event->rect().translated(scrolled));
    } else {
        // No image: the window says why, in the middle of what it shows.
        painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         m_controller->NoImageReason());
        painter.translate(-scrolled);
    }
    if (m_bSelectMode) DrawSelectionRect(painter, m_rcSelection);
}

void CDorvanelleView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    m_ptAnchor = ConfinedPoint(event->position().toPoint());
    m_ptCurrent = m_ptAnchor;
    viewport()->update();
}

void CDorvanelleView::mouseMoveEvent(QMouseEvent* event) {
    // Only a plain left-button drag: another button, Shift or Ctrl changes nothing.
    if (event->buttons() != Qt::LeftButton || event->modifiers() != Qt::NoModifier) {
        return QAbstractScrollArea::mouseMoveEvent(event);
    }
    m_ptCurrent = ConfinedPoint(event->position().toPoint());
    m_rcSelection = NormalizedRectFromPoints(m_ptAnchor, m_ptCurrent);
    viewport()->update();
}

void CDorvanelleView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseReleaseEvent(event);
    if (m_bSelectMode) {
        m_ptCurrent = ConfinedPoint(event->position().toPoint());
        // The document crops what of the rectangle lies on its image; without an
        // image there is nothing to select.
        m_controller->SetSelection(m_rcSelection);
    } else {
        // Not shown and not cropped now, but the next window change crops it.
        m_controller->MarkSelection(m_rcSelection);
    }
    viewport()->update();
}

void CDorvanelleView::OnRectangle() {
    m_bSelectMode = !m_bSelectMode;
    m_ptAnchor = {};
    m_ptCurrent = {};
    m_rcSelection = {};
    ApplyCursor();
    viewport()->update();
}

void CDorvanelleView::OnFirstSlide() { m_controller->FirstFrame(); }
void CDorvanelleView::OnPrevSlide() { m_controller->PrevFrame(); }
void CDorvanelleView::OnNextSlide() { m_controller->NextFrame(); }
void CDorvanelleView::OnLastSlide() { m_controller->LastFrame(); }

void CDorvanelleView::OnShowDicomHeader() {
    // The dialog reads the file again with a reader of its own.
    HeaderDetailsDialog dialog(GetDocument().m_strDicomPath, this);
    m_dialogs.RunModal(dialog);
}

void CDorvanelleView::OnImageChanged() {
    m_picture.Invalidate();
    viewport()->update();
}

QCursor CDorvanelleView::SelectionCursor() {
    // Black arms, a white ring around the black centre, transparent elsewhere.
    static const char* const kRows[7] = {"...B...", "...B...", "..WWW..", "BBWBWBB",
                                         "..WWW..", "...B...", "...B..."};
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
    const QCursor cursor = m_bSelectMode ? SelectionCursor() : QCursor(Qt::ArrowCursor);
    setCursor(cursor);
    viewport()->setCursor(cursor);
    horizontalScrollBar()->setCursor(cursor);
    verticalScrollBar()->setCursor(cursor);
}
