// The image view's viewing aids: zoom and panning keys, windowing presets, the
// status-bar texts, frame steps by key and wheel, cine, copy, print and their commands.
#include <cmath>

#include <QKeyEvent>
#include <QPrinter>
#include <QWheelEvent>

#include "document/DorvanelleDoc.h"
#include "views/CommandIds.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/ImageOutput.h"
#include "views/UserDialogs.h"

namespace {

constexpr double kCineRates[] = {5, 10, 15, 20, 25, 30, 60};

}  // namespace

void CDorvanelleView::BuildViewingCommands() {
    auto hasImage = [this](CommandUi& ui) { ui.Enable(m_controller->Image() != nullptr); };
    // One of the two at most shows checked: Fit while the image is fitted (reduced,
    // or enlarged on request), Actual Size while it shows 1:1 without being fitted.
    m_commands.On(
        ID_VIEW_ZOOM_FIT, [this] { ZoomToFit(); },
        [this](CommandUi& ui) {
            using Mode = CViewportTransform::ZoomMode;
            ui.Enable(m_controller->Image() != nullptr);
            ui.SetCheck(m_viewport.Mode() == Mode::Fit ||
                        (m_viewport.Mode() == Mode::ShrinkToFit && m_viewport.Zoom() < 1.0));
        });
    m_commands.On(
        ID_VIEW_ZOOM_ACTUAL, [this] { ZoomActualSize(); },
        [this](CommandUi& ui) {
            ui.Enable(m_controller->Image() != nullptr);
            ui.SetCheck(m_viewport.Zoom() == 1.0 && m_viewport.Mode() != CViewportTransform::ZoomMode::Fit);
        });
    m_commands.On(
        ID_VIEW_ZOOM_IN, [this] { ZoomIn(); }, hasImage);
    m_commands.On(
        ID_VIEW_ZOOM_OUT, [this] { ZoomOut(); }, hasImage);
    m_commands.On(
        ID_FILTERS_SMOOTHING, [this] { SetSmoothing(!m_bSmooth); }, [this](CommandUi& ui) { ui.SetCheck(m_bSmooth); });
    m_commands.On(
        ID_VIEW_OVERLAY, [this] { SetOverlayShown(!m_bOverlay); }, [this](CommandUi& ui) { ui.SetCheck(m_bOverlay); });
    m_commands.On(
        ID_VIEW_WINDOW_LEVEL, [] {}, [this](CommandUi& ui) { ui.Enable(CanWindow()); });
    auto video = [this](CommandUi& ui) {
        ui.Enable(GetDocument().CanSlide() && m_controller->Image() != nullptr);
        ui.SetCheck(m_cine.IsPlaying());
    };
    m_commands.On(
        ID_PLAY_VIDEO, [this] { OnPlayVideo(); }, video);
    m_commands.On(
        ID_ACTIONS_VIDEO, [this] { OnPlayVideo(); }, video);
    m_commands.On(
        ID_ACTIONS_CINE_RATE, [] {}, [this](CommandUi& ui) { ui.Enable(GetDocument().CanSlide()); });
    m_commands.On(
        ID_EDIT_COPY, [this] { OnCopy(); }, hasImage);
    m_commands.On(
        ID_FILE_PRINT, [this] { OnPrint(); }, hasImage);
}

// A zoom the user chose stays: the window's first fit, if it comes later, keeps it.
void CDorvanelleView::ZoomToFit() {
    m_bZoomChosen = true;
    m_viewport.FitToWindow();
    UpdateScrollBars();
}

void CDorvanelleView::ZoomActualSize() {
    m_bZoomChosen = true;
    m_viewport.SetActualSize();
    UpdateScrollBars();
}

void CDorvanelleView::ZoomIn() { ZoomAboutCursor(CViewportTransform::kZoomStep); }
void CDorvanelleView::ZoomOut() { ZoomAboutCursor(1.0 / CViewportTransform::kZoomStep); }

void CDorvanelleView::ZoomAboutCursor(double factor) {
    m_bZoomChosen = true;
    const QPoint at = m_bMouseInside ? m_mouseAt : viewport()->rect().center();
    m_viewport.ZoomAbout(factor, at);
    // The bars may come or go; the point under the cursor is kept by the offset.
    const QPointF offset = m_viewport.Offset();
    UpdateScrollBars();
    m_viewport.SetOffset(offset);
    UpdateScrollBars();
    if (m_bMouseInside) UpdateReadout(m_mouseAt);
}

void CDorvanelleView::SetSmoothing(bool on) {
    m_bSmooth = on;
    viewport()->update();
    emit stateChanged();
}

void CDorvanelleView::SetOverlayShown(bool on) {
    m_bOverlay = on;
    viewport()->update();
    emit stateChanged();
}

bool CDorvanelleView::CanWindow() const { return m_controller->CanWindow(); }

std::vector<WindowPreset> CDorvanelleView::WindowPresets() const {
    const CDorvanelleDoc& doc = GetDocument();
    WindowPresetSource source;
    if (const ImageAttributes* a = doc.Attributes()) {
        const FrameValues& values = a->Frame(doc.FrameInFile());
        source.fileWindows = values.windows;
        for (const LookupTable& lut : values.voiLuts)
            source.voiLuts.push_back(lut.explanation);
        source.modality = a->modality;
        if (doc.Range() && !doc.Range()->Empty()) {
            const DisplayWindow window = DefaultDisplayWindow(*a, doc.FrameInFile(), &*doc.Range());
            source.defaultWindow = WindowLevel{window.width, window.centre};
        }
    }
    return WindowPresetsFor(source);
}

std::vector<MenuChoice> CDorvanelleView::Choices(int menuId) {
    std::vector<MenuChoice> choices;
    if (menuId == ID_VIEW_WINDOW_LEVEL && CanWindow()) {
        const std::optional<DisplayWindow> now = GetDocument().CurrentWindow();
        const std::optional<int> lut = GetDocument().Display().voiLut;
        const std::vector<WindowPreset> presets = WindowPresets();
        for (std::size_t i = 0; i < presets.size(); ++i) {
            const WindowPreset& preset = presets[i];
            const WindowLevel w = preset.window;
            const bool current = preset.voiLut ? !now && lut == *preset.voiLut
                                               : now && w.width == now->width && w.centre == now->centre;
            // The first nine are on the number keys, as the menu says.
            QString text = QString::fromStdString(preset.name);
            if (i < 9) text += QStringLiteral("\t%1").arg(i + 1);
            choices.push_back({text, current, [this, i] { ApplyPreset(i); }});
        }
    } else if (menuId == ID_ACTIONS_CINE_RATE) {
        const ImageAttributes* attributes = GetDocument().Attributes();
        const double fileRate = CineRateOf(attributes);
        // A file that gives no rate plays at the default one, and says so.
        const QString text = FileGivesCineRate(attributes) ? QStringLiteral("File's Rate (%1 fps)")
                                                           : QStringLiteral("Default (%1 fps)");
        choices.push_back({text.arg(fileRate, 0, 'g', 4), m_chosenRate == 0, [this, fileRate] {
                 m_chosenRate = 0;
                 m_cine.SetRate(fileRate);
             }});
        for (double rate : kCineRates) {
            choices.push_back({QStringLiteral("%1 fps").arg(rate), m_chosenRate == rate, [this, rate] {
                                   m_chosenRate = rate;
                                   m_cine.SetRate(rate);
                               }});
        }
    }
    return choices;
}

QString CDorvanelleView::FrameText() const { return m_controller->FrameText(); }

QString CDorvanelleView::StatusFrameText() const {
    QString frame = FrameText();
    const QString& note = m_controller->RangeNote();
    if (note.isEmpty()) return frame;
    return frame.isEmpty() ? note : frame + QStringLiteral(", ") + note;
}

void CDorvanelleView::UpdateReadout(QPoint p) {
    m_mouseAt = p;
    m_bMouseInside = viewport()->rect().contains(p);
    const QString text = m_bMouseInside ? m_controller->ReadoutAt(m_viewport.PixelUnder(p)) : QString();
    if (text == m_readout) return;
    m_readout = text;
    emit statusTextsChanged();
}

void CDorvanelleView::leaveEvent(QEvent* event) {
    QAbstractScrollArea::leaveEvent(event);
    m_bMouseInside = false;
    if (!m_readout.isEmpty()) {
        m_readout.clear();
        emit statusTextsChanged();
    }
}

void CDorvanelleView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (event->modifiers() & Qt::ControlModifier) {
        // Zoom about the point under the cursor.
        if (steps == 0) return event->accept();
        m_mouseAt = event->position().toPoint();
        m_bMouseInside = true;
        for (int i = 0; i < std::abs(steps); ++i)
            RunCommand(steps > 0 ? ID_VIEW_ZOOM_IN : ID_VIEW_ZOOM_OUT);
        return event->accept();
    }
    if (GetDocument().CanSlide() && steps != 0) {
        // Away from the user: the previous frame; towards: the next.
        for (int i = 0; i < std::abs(steps); ++i)
            RunCommand(steps > 0 ? ID_PREV_SLIDE : ID_NEXT_SLIDE);
        return event->accept();
    }
    QAbstractScrollArea::wheelEvent(event);
}

void CDorvanelleView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat()) {
            m_bSpaceHeld = true;
            viewport()->setCursor(Qt::OpenHandCursor);
        }
        return event->accept();
    }
    if (GetDocument().CanSlide() && event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_PageUp: RunCommand(ID_PREV_SLIDE); return event->accept();
        case Qt::Key_Right:
        case Qt::Key_PageDown: RunCommand(ID_NEXT_SLIDE); return event->accept();
        case Qt::Key_Home: RunCommand(ID_FIRST_SLIDE); return event->accept();
        case Qt::Key_End: RunCommand(ID_LAST_SLIDE); return event->accept();
        default: break;
        }
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CDorvanelleView::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        m_bSpaceHeld = false;
        if (!m_bPanning) ApplyCursor();
        return event->accept();
    }
    QAbstractScrollArea::keyReleaseEvent(event);
}

void CDorvanelleView::OnPlayVideo() {
    if (m_cine.IsPlaying()) return StopCine();
    if (!GetDocument().CanSlide()) return;
    m_cine.SetRate(m_chosenRate > 0 ? m_chosenRate : CineRateOf(GetDocument().Attributes()));
    m_cine.Play();
    emit stateChanged();
}

void CDorvanelleView::StopCine() {
    if (!m_cine.IsPlaying()) return;
    m_cine.Pause();
    emit stateChanged();
}

void CDorvanelleView::ShowCineFrame() {
    // A frame not read yet when it is due is passed over, not waited for.
    m_controller->CineStep();
    // Shown now, not when the event loop next gets round to it.
    viewport()->repaint();
}

void CDorvanelleView::OnCopy() {
    CopyImageToClipboard(OutputImage(m_controller->SelectedImage(), m_controller->Image()));
}

void CDorvanelleView::OnPrint() {
    QImage image = OutputImage(nullptr, m_controller->Image());
    if (image.isNull()) return;
    // What is printed is what is shown, and so are the corner texts (but the zoom,
    // which paper does not keep).
    image = DisplayedImage(image, m_viewport.Orientation(), m_bInverted);
    PrintedTexts texts;
    if (m_bOverlay) {
        texts.texts = OverlayTextsOf(GetDocument());
        if (GetDocument().CanSlide()) texts.texts.frame = FrameText();
        texts.letters = EdgeLettersNow();
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_controller->Title());
    if (!m_dialogs.SetUpPrinter(printer, this)) return;
    if (!PrintImage(printer, image, m_bOverlay ? &texts : nullptr)) {
        m_dialogs.ShowMessage(this, QMessageBox::Warning, QStringLiteral("Dorvanelle"),
                              QStringLiteral("The image could not be printed."));
    }
}
