#include "views/DorvanelleView.h"

#include <algorithm>
#include <vector>

#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "app/CommandTable.h"
#include "document/DorvanelleDoc.h"
#include "views/ControlPanel.h"
#include "views/HeaderDetailsDialog.h"
#include "views/Painting.h"
#include "views/UserDialogs.h"

namespace {

// Every live view, so that a replaced image repaints all views of its document.
std::vector<CDorvanelleView*>& LiveViews() {
    static std::vector<CDorvanelleView*> views;
    return views;
}

// The fallback child-window size for an image that does not fit the main window.
constexpr QSize kLargeImageFrame(730, 650);

}  // namespace

CDorvanelleView::CDorvanelleView(CDorvanelleDoc& doc, CControlPanel& panel, IUserDialogs& dialogs, QWidget* parent)
    : QAbstractScrollArea(parent), m_doc(doc), m_panel(panel), m_dialogs(dialogs) {
    LiveViews().push_back(this);
    setFocusPolicy(Qt::StrongFocus);
    BuildCommands();
    OnInitialUpdate();
    ApplyCursor();
}

CDorvanelleView::~CDorvanelleView() {
    auto& views = LiveViews();
    views.erase(std::remove(views.begin(), views.end(), this), views.end());
}

void CDorvanelleView::BuildCommands() {
    m_commands.On(ID_ACTIONS_RECTANGLE, [this] { OnRectangle(); },
                  [this](CommandUi& ui) { ui.SetCheck(m_bSelectMode); });
    auto slideUpdate = [this](CommandUi& ui) { ui.Enable(m_doc.CanSlide()); };
    m_commands.On(ID_FIRST_SLIDE, [this] { OnFirstSlide(); }, slideUpdate);
    m_commands.On(ID_PREV_SLIDE, [this] { OnPrevSlide(); }, slideUpdate);
    m_commands.On(ID_NEXT_SLIDE, [this] { OnNextSlide(); }, slideUpdate);
    m_commands.On(ID_LAST_SLIDE, [this] { OnLastSlide(); }, slideUpdate);
    m_commands.On(ID_SHOW_DICOM_HEADER, [this] { OnShowDicomHeader(); });
}

void CDorvanelleView::OnInitialUpdate() {
    // All frames of a file share one size, so the range is set once.
    m_scrollSize = QSize(DibWidth(m_doc.m_pDib.get()), DibHeight(m_doc.m_pDib.get()));
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
    m_doc.UpdateControlPanel();
    if (m_doc.m_bFitFrame) {
        m_doc.m_bFitFrame = false;
        // A file without an image keeps the window's default size: fitted to
        // nothing it would shrink to its title bar.
        if (!m_doc.m_pDib) return;
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
    const QSize image(DibWidth(m_doc.m_pDib.get()), DibHeight(m_doc.m_pDib.get()));
    const QSize area = frame->mdiArea()->viewport()->size();
    frame->setGeometry(QRect(QPoint(0, 0), FitFrameSize(image, decoration, area)));
}

DibPoint CDorvanelleView::ImagePoint(QPoint p) const {
    return DibPoint{p.x() + horizontalScrollBar()->value(), p.y() + verticalScrollBar()->value()};
}

// During a drag in selection mode the point stays on the image (0 .. width and
// 0 .. height, right and bottom exclusive), wherever the pointer goes.
DibPoint CDorvanelleView::ConfinedPoint(QPoint p) const {
    DibPoint point = ImagePoint(p);
    if (!m_bSelectMode) return point;
    point.x = std::clamp(point.x, 0, static_cast<std::int32_t>(m_scrollSize.width()));
    point.y = std::clamp(point.y, 0, static_cast<std::int32_t>(m_scrollSize.height()));
    return point;
}

void CDorvanelleView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QPoint scrolled(horizontalScrollBar()->value(), verticalScrollBar()->value());
    painter.translate(-scrolled);
    if (m_doc.m_pDib) m_picture.Paint(painter, m_doc.m_pDib.get(), event->rect().translated(scrolled));
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
        // With no image there is nothing to crop; the selection rectangle is clipped
        // to the image so that a scrolled or oversized drag crops what it covers.
        if (m_doc.m_pDib) {
            m_doc.CropSelection(ClipRectToImage(m_rcSelection, DibWidth(m_doc.m_pDib.get()),
                                                DibHeight(m_doc.m_pDib.get())));
        }
        m_panel.DrawPanel(m_doc.m_pSelectedDib.get(), m_doc.m_pDib.get());
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

void CDorvanelleView::OnFirstSlide() {
    m_doc.OnFirstSlide();
    Replaced();
}

void CDorvanelleView::OnPrevSlide() {
    m_doc.OnPrevSlide();
    Replaced();
}

void CDorvanelleView::OnNextSlide() {
    m_doc.OnNextSlide();
    Replaced();
}

void CDorvanelleView::OnLastSlide() {
    m_doc.OnLastSlide();
    Replaced();
}

void CDorvanelleView::OnShowDicomHeader() {
    // The dialog reads the file again with a reader of its own.
    HeaderDetailsDialog dialog(m_doc.m_strDicomPath, this);
    m_dialogs.RunModal(dialog);
}

void CDorvanelleView::Replaced() { ImageReplaced(m_doc); }

void CDorvanelleView::ImageReplaced(const CDorvanelleDoc& doc) {
    for (CDorvanelleView* view : LiveViews()) {
        if (&view->m_doc != &doc) continue;
        view->m_picture.Invalidate();
        view->viewport()->update();
    }
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
