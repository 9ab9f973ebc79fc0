// The image view's display-only aids and typed windows: inversion, rotation and
// flips (the image as stored never changes), the Set Window dialog, and the window
// presets by the number keys.
#include <cmath>

#include <QDialog>
#include <QPainter>

#include "dicom/MeasuringSpacing.h"
#include "dicom/PatientOrientation.h"
#include "document/DorvanelleDoc.h"
#include "views/CommandIds.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/UserDialogs.h"
#include "views/WindowDialog.h"

void CDorvanelleView::BuildDisplayCommands() {
    auto hasImage = [this](CommandUi& ui) { ui.Enable(m_controller->Image() != nullptr); };
    m_commands.On(
        ID_VIEW_INVERT, [this] { SetInverted(!m_bInverted); },
        [this](CommandUi& ui) {
            ui.Enable(m_controller->Image() != nullptr);
            ui.SetCheck(m_bInverted);
        });
    m_commands.On(
        ID_VIEW_ROTATE_RIGHT, [this] { SetOrientation(m_viewport.Orientation().RotatedRight()); }, hasImage);
    m_commands.On(
        ID_VIEW_ROTATE_LEFT, [this] { SetOrientation(m_viewport.Orientation().RotatedLeft()); }, hasImage);
    m_commands.On(
        ID_VIEW_FLIP_HORIZONTAL, [this] { SetOrientation(m_viewport.Orientation().FlippedHorizontally()); },
        hasImage);
    m_commands.On(
        ID_VIEW_FLIP_VERTICAL, [this] { SetOrientation(m_viewport.Orientation().FlippedVertically()); }, hasImage);
    m_commands.On(
        ID_VIEW_WINDOW_SET, [this] { OnSetWindow(); }, [this](CommandUi& ui) { ui.Enable(CanWindow()); });
    for (int id = ID_VIEW_PRESET_1; id <= ID_VIEW_PRESET_9; ++id) {
        const auto index = static_cast<std::size_t>(id - ID_VIEW_PRESET_1);
        m_commands.On(
            id, [this, index] { ApplyPreset(index); },
            [this, index](CommandUi& ui) { ui.Enable(CanWindow() && index < WindowPresets().size()); });
    }
}

void CDorvanelleView::SetInverted(bool on) {
    m_bInverted = on;
    viewport()->update();
    emit stateChanged();
}

void CDorvanelleView::SetOrientation(DisplayOrientation orientation) {
    m_viewport.SetOrientation(orientation);
    UpdateScrollBars();
    if (m_bMouseInside) UpdateReadout(m_mouseAt);
}

void CDorvanelleView::OnSetWindow() {
    if (!CanWindow()) return;
    const CDicomFile& dicom = GetDocument().m_dicom;
    CWindowDialog dialog(dicom.m_nWindowWidth, dicom.m_nWindowCenter, this);
    if (m_dialogs.RunModal(dialog) != QDialog::Accepted) return;
    // Committed as a slider release commits: stored, converted, re-cropped.
    m_controller->SetWindow(dialog.Width(), dialog.Centre());
}

bool CDorvanelleView::ApplyPreset(std::size_t index) {
    const std::vector<WindowPreset> presets = WindowPresets();
    if (!CanWindow() || index >= presets.size()) return false;
    m_controller->SetWindow(presets[index].window.width, presets[index].window.centre);
    return true;
}

EdgeLetters CDorvanelleView::EdgeLettersNow() const {
    const InstanceHeader* header = GetDocument().Instance();
    if (!header || !header->instance.orientation || !m_controller->Image()) return {};
    // The image step that one view pixel to the right, and one down, makes.
    const QPointF origin = m_viewport.ViewToImage({0, 0});
    const QPointF right = m_viewport.ViewToImage({1, 0}) - origin;
    const QPointF down = m_viewport.ViewToImage({0, 1}) - origin;
    const auto sign = [](double v) { return v > 1e-9 ? 1.0 : (v < -1e-9 ? -1.0 : 0.0); };
    const auto letters = [&](QPointF step, double towards) {
        const auto direction =
            PatientDirectionOf(*header->instance.orientation, towards * sign(step.x()), towards * sign(step.y()));
        return QString::fromStdString(PatientDirectionLetters(direction));
    };
    return {letters(right, -1), letters(right, 1), letters(down, -1), letters(down, 1)};
}

OverlayTexts CDorvanelleView::CornerTexts() const {
    OverlayTexts texts = OverlayTextsOf(GetDocument().m_dicom);
    if (GetDocument().CanSlide()) texts.frame = FrameText();
    if (m_controller->Image()) texts.zoom = QStringLiteral("Zoom %1%").arg(std::lround(m_viewport.Zoom() * 100));
    return texts;
}

ScaleBar CDorvanelleView::ScaleBarNow() const {
    const InstanceHeader* header = GetDocument().Instance();
    const MeasuringSpacing spacing = SpacingForMeasuring(header ? &header->instance : nullptr);
    if (!spacing.InMillimetres() || !m_controller->Image()) return {};
    // Along the view's rows: the image's rows or, turned a quarter, its columns.
    const double along = m_viewport.Orientation().SwapsAxes() ? spacing.row : spacing.column;
    ScaleBar bar = ScaleBarFor(along / m_viewport.Zoom(), viewport()->width() / 4);
    if (spacing.source == SpacingSource::ImagerPixelSpacing && bar.pixels > 0) {
        bar.label += QStringLiteral(" at detector");
    }
    return bar;
}

void CDorvanelleView::DrawCornerTexts(QPainter& painter) {
    DrawOverlay(painter, viewport()->rect(), CornerTexts(), EdgeLettersNow(), ScaleBarNow());
}
