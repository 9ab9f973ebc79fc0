// The image view's display-only aids and typed windows: inversion, rotation and
// flips (the image as stored never changes), the Set Window dialog, and the window
// presets by the number keys.
#include <QDialog>

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
