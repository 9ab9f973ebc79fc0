// The document controller's frames: read and drawn by a background loader, shown
// when they come, and the frame text the status bar shows.
#include <QGuiApplication>
#include <QMetaObject>
#include <QMetaType>
#include <QScreen>

#include <algorithm>
#include <atomic>

#include "views/DocumentController.h"
#include "views/FrameLoaderTask.h"

namespace {

std::atomic<int> g_frameWaitMs{40};
std::atomic<bool> g_reducedFirstPaint{true};
std::atomic<bool> g_readAhead{true};

}  // namespace

QString SeriesDocumentKey(const SeriesStack& stack) {
    return QStringLiteral("series:%1#%2:%3:%4")
        .arg(QString::fromStdString(stack.Level().seriesUid))
        .arg(stack.StackIndex())
        .arg(stack.Count())
        .arg(QString::fromStdString(stack.PathOf(0)));
}

void CDocumentController::SetFrameWait(std::chrono::milliseconds wait) {
    g_frameWaitMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
}

void CDocumentController::SetReducedFirstPaint(bool on) { g_reducedFirstPaint = on; }
void CDocumentController::SetReadAhead(bool on) { g_readAhead = on; }

std::chrono::milliseconds CDocumentController::FrameWait() { return std::chrono::milliseconds(g_frameWaitMs.load()); }

const FrameLoader* CDocumentController::Loader() const { return m_frames ? &m_frames->Loader() : nullptr; }

void CDocumentController::StartFrames() {
    const std::shared_ptr<const FrameStack>& stack = m_doc.Stack();
    if (m_doc.Kind() != DocumentKind::Dicom || !stack) return;
    m_paintedOnce = false;
    m_backgroundStarted = false;
    // Only the first frame until it has painted: FramePainted starts the rest.
    FrameLoader::Options options;
    options.readAhead = false;
    // Until a view has chosen its zoom, a frame is taken to be fitted to the screen:
    // no window that shows it is larger.
    const QScreen* screen = g_reducedFirstPaint ? QGuiApplication::primaryScreen() : nullptr;
    if (screen != nullptr) {
        const QSize area = screen->availableGeometry().size();
        options.fitWidth = static_cast<std::uint32_t>(std::max(area.width(), 0));
        options.fitHeight = static_cast<std::uint32_t>(std::max(area.height(), 0));
    }
    m_frames = std::make_unique<CFrameLoaderTask>(stack, m_doc.RenderState(), this, options);
    connect(m_frames.get(), &CFrameLoaderTask::frameArrived, this, &CDocumentController::OnFrameArrived);
    ShowFrame(m_doc.m_nFrame, FrameWait());
}

void CDocumentController::SetShownZoom(double zoom) {
    if (m_frames) m_frames->Loader().SetShownScale(g_reducedFirstPaint ? zoom : 0);
}

void CDocumentController::FramePainted() {
    if (m_paintedOnce || m_framesShown == 0) return;
    m_paintedOnce = true;
    // Queued: the paint that called this, and the rest of the window's, finish first.
    QMetaObject::invokeMethod(this, [this] { StartBackgroundWork(); }, Qt::QueuedConnection);
}

void CDocumentController::StartBackgroundWork() {
    if (m_backgroundStarted) return;
    m_backgroundStarted = true;
    if (m_frames && g_readAhead) m_frames->Loader().SetReadAhead(true);
    SettleSampleRange();
}

void CDocumentController::ShowFrame(std::int32_t index, std::chrono::milliseconds wait) {
    EndLiveWindow();
    m_preview.reset();
    // A step after the first frame: the user moves on, painted or not.
    if (m_framesShown > 0) StartBackgroundWork();
    if (!m_frames) {
        // A picture, or a file that could not be read: nothing to step to.
        const Reason why = m_doc.ReplaceImageByFrame(index);
        emit imageChanged();
        if (why) emit problemReported(NoImageReason());
        return;
    }
    if (std::optional<LoadedFrame> frame = m_frames->Loader().Show(index, wait)) {
        Install(*frame);
        return;
    }
    m_pendingFrame = index;
    // The views keep the last picture and say that this one is on its way.
    emit framePending();
}

void CDocumentController::OnFrameArrived(const LoadedFrame& frame) {
    // Only the frame asked for last: one passed over on the way is not shown.
    if (m_pendingFrame != frame.index) return;
    if (frame.level > 0) {
        // Shown until the whole frame comes; the document does not take it.
        if (frame.image) {
            m_preview = frame;
            emit previewArrived();
        }
        return;
    }
    Install(frame);
}

void CDocumentController::Install(const LoadedFrame& frame) {
    m_pendingFrame.reset();
    m_preview.reset();
    m_doc.ShowLoadedFrame(frame);
    ++m_framesShown;
    // A series is shown through one window: the first slice's, unless the user
    // chooses another.
    if (m_doc.IsSeries() && !m_doc.Display().window && frame.window) {
        DisplayState state = m_doc.Display();
        state.window = frame.window;
        m_doc.SetDisplay(state, m_selection);
        m_frames->Loader().SetDisplay(m_doc.RenderState(), m_doc.ShownFrame());
        emit windowChanged();
    }
    SettleSampleRange();
    emit imageChanged();
    // The rectangle selected on the frame before is cropped from this one: the preview,
    // Copy and Save Selected hold the pixels shown under it, as its statistics do.
    if (m_selection) {
        m_doc.CropSelection(*m_selection);
        emit selectionChanged();
    }
    // The first frame's reason is said by the window that shows it, as it opens.
    if (!Image() && m_framesShown > 1 && m_reportedFrames.insert(frame.index).second)
        emit problemReported(NoImageReason());
}

QString CDocumentController::FrameText() const {
    if (!Image() && !m_pendingFrame) return {};
    if (Opening()) return QStringLiteral("decoding\u2026");
    const std::int32_t index = StepBase();
    QString text = QStringLiteral("Frame %1 / %2").arg(index + 1).arg(m_doc.FrameCount());
    if (const std::shared_ptr<const FrameStack>& stack = m_doc.Stack()) {
        if (const std::optional<double> location = stack->Location(index)) {
            text += QStringLiteral(" (%1 mm)").arg(*location, 0, 'g', 6);
        }
    }
    if (m_pendingFrame) text += QStringLiteral(" decoding\u2026");
    return text;
}
