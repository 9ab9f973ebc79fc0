// The image view's measuring tools: a ruler dragged from one pixel to another, an
// ellipse dragged across a region, and the drawing of the measurements of the frame
// shown (and of the selection's statistics) over the image.
#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "views/CommandIds.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/MeasurementText.h"

namespace {

const QColor kMeasureColour(255, 190, 0);
const QColor kOutline(0, 0, 0);
constexpr int kLabelGap = 6;  // between a label and what it labels

// Lines of text with a dark outline, their top-left at `at`. Text that would run off
// the right of `bounds` goes to the left of `leftEdge` (the left of what it labels)
// when it fits there, and never above or below `bounds`: numbers cut off at the
// window's edge cannot be read. Text is never moved over what it labels.
void DrawLabel(QPainter& painter, const QRect& bounds, QPoint at, int leftEdge, const QStringList& lines) {
    const QFontMetrics metrics(painter.font());
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const int height = metrics.height() * static_cast<int>(lines.size());
    if (at.x() + width > bounds.right() && leftEdge - kLabelGap - width >= bounds.left())
        at.setX(leftEdge - kLabelGap - width);
    at.setY(std::clamp(at.y(), bounds.top(), std::max(bounds.top(), bounds.bottom() - height)));
    int y = at.y() + metrics.ascent();
    for (const QString& line : lines) {
        QPainterPath path;
        path.addText(QPointF(at.x(), y), painter.font(), line);
        painter.strokePath(path, QPen(kOutline, 3));
        painter.fillPath(path, kMeasureColour);
        y += metrics.height();
    }
}

QRect AsQRect(const DibRect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

void DrawLine(QPainter& painter, QPointF a, QPointF b) {
    painter.setPen(QPen(kOutline, 3));
    painter.drawLine(a, b);
    painter.setPen(QPen(kMeasureColour, 1));
    painter.drawLine(a, b);
}

}  // namespace

void CDorvanelleView::BuildMeasureCommands() {
    auto toolUpdate = [this](MeasureTool tool) {
        return [this, tool](CommandUi& ui) {
            ui.Enable(m_controller->Image() != nullptr);
            ui.SetCheck(m_measureTool == tool);
        };
    };
    m_commands.On(
        ID_ACTIONS_RULER, [this] { SetMeasureTool(m_measureTool == MeasureTool::Ruler ? MeasureTool::None : MeasureTool::Ruler); },
        toolUpdate(MeasureTool::Ruler));
    m_commands.On(
        ID_ACTIONS_ELLIPSE,
        [this] { SetMeasureTool(m_measureTool == MeasureTool::Ellipse ? MeasureTool::None : MeasureTool::Ellipse); },
        toolUpdate(MeasureTool::Ellipse));
    m_commands.On(
        ID_ACTIONS_DELETE_MEASUREMENT, [this] { DeleteLastMeasurement(); },
        [this](CommandUi& ui) { ui.Enable(LastMeasurementShown().has_value()); });
    m_commands.On(
        ID_ACTIONS_DELETE_ALL_MEASUREMENTS, [this] { m_controller->RemoveAllMeasurements(); },
        [this](CommandUi& ui) { ui.Enable(!GetDocument().Measurements().empty()); });
}

void CDorvanelleView::SetMeasureTool(MeasureTool tool) {
    // One tool at a time: measuring leaves selection mode (and its selection).
    if (tool != MeasureTool::None && m_bSelectMode) OnRectangle();
    m_measureTool = tool;
    m_bMeasuring = false;
    ApplyCursor();
    viewport()->update();
    emit stateChanged();
}

std::optional<std::size_t> CDorvanelleView::LastMeasurementShown() const {
    const std::vector<Measurement>& all = GetDocument().Measurements();
    for (std::size_t i = all.size(); i-- > 0;) {
        if (all[i].frame == GetDocument().m_nFrame) return i;
    }
    return std::nullopt;
}

void CDorvanelleView::DeleteLastMeasurement() {
    if (const std::optional<std::size_t> last = LastMeasurementShown()) m_controller->RemoveMeasurement(*last);
}

bool CDorvanelleView::MeasurePress(QMouseEvent* event) {
    if (m_measureTool == MeasureTool::None || event->button() != Qt::LeftButton || m_bSpaceHeld) return false;
    const QPoint pos = event->position().toPoint();
    m_bMeasuring = true;
    // A ruler joins the centres of the pixels painted under its ends; an ellipse
    // spans pixel corners, as a selection does.
    if (m_measureTool == MeasureTool::Ruler) {
        const QPoint pixel = m_viewport.PixelUnder(pos);
        m_measureFrom = m_measureTo = DibPoint{pixel.x(), pixel.y()};
    } else {
        m_measureFrom = m_measureTo = ImagePoint(pos);
    }
    viewport()->update();
    return true;
}

bool CDorvanelleView::MeasureMove(QMouseEvent* event) {
    if (!m_bMeasuring) return false;
    const QPoint pos = event->position().toPoint();
    if (m_measureTool == MeasureTool::Ruler) {
        const QPoint pixel = m_viewport.PixelUnder(pos);
        m_measureTo = DibPoint{pixel.x(), pixel.y()};
    } else {
        m_measureTo = ImagePoint(pos);
    }
    viewport()->update();
    return true;
}

bool CDorvanelleView::MeasureRelease(QMouseEvent* event) {
    if (!m_bMeasuring || event->button() != Qt::LeftButton) return false;
    MeasureMove(event);
    m_bMeasuring = false;
    Measurement m;
    m.kind = m_measureTool == MeasureTool::Ruler ? MeasurementKind::Ruler : MeasurementKind::Ellipse;
    m.from = m_measureFrom;
    m.to = m_measureTo;
    // A click that did not move measures nothing.
    const bool moved = m.from.x != m.to.x || m.from.y != m.to.y;
    const DibRect rect = m.Rect();
    if (moved && (m.kind == MeasurementKind::Ruler || (rect.right > rect.left && rect.bottom > rect.top))) {
        m_controller->AddMeasurement(m);
    }
    viewport()->update();
    return true;
}

QPointF CDorvanelleView::PixelCentreInView(DibPoint pixel) const {
    return m_viewport.ImageToView(QPointF(pixel.x + 0.5, pixel.y + 0.5));
}

void CDorvanelleView::PaintMeasurement(QPainter& painter, const Measurement& m) {
    if (m.kind == MeasurementKind::Ruler) {
        const QPointF a = PixelCentreInView(m.from);
        const QPointF b = PixelCentreInView(m.to);
        DrawLine(painter, a, b);
        for (const QPointF end : {a, b}) {
            painter.setPen(QPen(kMeasureColour, 1));
            painter.drawEllipse(end, 2.5, 2.5);
        }
        const QPoint middle = ((a + b) / 2).toPoint();
        DrawLabel(painter, viewport()->rect(), middle + QPoint(kLabelGap, 4), middle.x(), {ResultText(m)});
        return;
    }
    const QRect r = m_viewport.ImageRectToView(AsQRect(m.Rect()));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kOutline, 3));
    painter.drawEllipse(r);
    painter.setPen(QPen(kMeasureColour, 1));
    painter.drawEllipse(r);
    const QStringList lines =
        m.statistics ? StatisticsLines(*m.statistics) : QStringList{QString::fromStdString(m.noStatistics.Text())};
    DrawLabel(painter, viewport()->rect(), QPoint(r.right() + kLabelGap, r.top()), r.left(), lines);
}

void CDorvanelleView::PaintMeasurements(QPainter& painter) {
    if (!m_controller->Image()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const CDorvanelleDoc& doc = GetDocument();
    for (const Measurement& m : doc.Measurements()) {
        if (m.frame == doc.m_nFrame) PaintMeasurement(painter, m);
    }
    // The one being dragged, as it will be measured.
    if (m_bMeasuring) {
        Measurement live;
        live.kind = m_measureTool == MeasureTool::Ruler ? MeasurementKind::Ruler : MeasurementKind::Ellipse;
        live.from = m_measureFrom;
        live.to = m_measureTo;
        live.spacing = doc.Spacing();
        live.length = MeasuredLength(live.from, live.to, live.spacing);
        if (live.kind == MeasurementKind::Ruler) {
            PaintMeasurement(painter, live);
        } else {
            const QRect r = m_viewport.ImageRectToView(AsQRect(live.Rect()));
            painter.setPen(QPen(kMeasureColour, 1, Qt::DashLine));
            painter.drawEllipse(r);
        }
    }
    // The selection's statistics beside its rectangle.
    if (m_bSelectMode && !m_bDragging) {
        if (const auto stats = m_controller->SelectionStatistics(); stats && *stats) {
            const QRect r = m_viewport.ImageRectToView(AsQRect(m_rcSelection));
            DrawLabel(painter, viewport()->rect(), QPoint(r.right() + kLabelGap, r.top()), r.left(),
                      StatisticsLines(**stats));
        }
    }
    painter.restore();
}
