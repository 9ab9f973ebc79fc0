#include "views/DocumentController.h"

#include <QFileInfo>

#include "views/FrameLoaderTask.h"
#include "views/PixelReadout.h"

CDocumentController::CDocumentController(QObject* parent) : QObject(parent) {
    // What the user saves as DICOM stays tied to its patient and study.
    m_doc.m_bSaveAsSecondaryCapture = true;
}

CDocumentController::~CDocumentController() {
    m_openTask.Cancel();
    m_rangeTask.Cancel();
    m_doc.OnCloseDocument();
}

bool CDocumentController::Open(const QString& path) {
    const QFileInfo info(path);
    // The header only: the frame is read and drawn by the loader, off this thread, and
    // the range of all frames by the range pass.
    m_doc.FindRangeWhenNeeded(false);
    const std::string file = info.absoluteFilePath().toStdString();
    if (CDorvanelleDoc::InflatesOnOpen(file) &&
        m_openTask.Start(file, [this, file](const CDorvanelleDoc::PreparedOpen& prepared) {
            FinishOpen(file, prepared);
        })) {
        m_path = info.canonicalFilePath();
        m_fileName = info.fileName();
        m_title = m_fileName;
        m_opening = true;
        m_pendingFrame = 0;
        return true;
    }
    if (!m_doc.OnOpenDocument(file, false)) return false;
    m_path = info.canonicalFilePath();
    m_fileName = info.fileName();
    m_title = QString::fromStdString(m_doc.MakeTitle(m_fileName.toStdString()));
    StartFrames();
    return true;
}

void CDocumentController::FinishOpen(const std::string& path, const CDorvanelleDoc::PreparedOpen& prepared) {
    m_opening = false;
    m_pendingFrame.reset();
    // A file gone since Open shows why in its window, as a file without an image does.
    m_doc.OnOpenDocument(path, false, &prepared);
    m_title = QString::fromStdString(m_doc.MakeTitle(m_fileName.toStdString()));
    StartFrames();
    emit opened();
    emit imageChanged();
}

void CDocumentController::OpenStack(std::shared_ptr<const SeriesStack> stack) {
    m_doc.FindRangeWhenNeeded(false);
    m_doc.OnOpenStack(stack, stack->Colour() ? 24 : 8);
    m_path = SeriesDocumentKey(*stack);
    m_fileName = QString::fromStdString(SeriesTitle(stack->Level()));
    m_title = QString::fromStdString(m_doc.MakeTitle(m_fileName.toStdString()));
    StartFrames();
}

void CDocumentController::SettleSampleRange() {
    // Not before the first frame has painted: the pass must not compete with it.
    if (!m_doc.RangePending() || m_rangeTask.Running() || !m_backgroundStarted) return;
    m_rangeTask.Start(m_doc.Stack(), [this](const FrameStack* of, const RangeOutcome& outcome) {
        // A pass whose file changed on disk gives nothing; the sliders keep their ranges.
        if (!outcome.Complete() || !m_doc.AdoptRange(of, outcome.range)) return;
        if (outcome.stoppedEarly) {
            m_rangeNote =
                tr("range from the frames read (%1 of %2)").arg(outcome.framesRead).arg(outcome.frames);
        }
        if (!m_doc.Display().window && m_doc.Samples()) {
            // Frames without a window of their own took one from their own values
            // until now: drawn again from the range of all of them.
            m_doc.SetDisplay(m_doc.Display(), m_selection);
            if (m_frames) m_frames->Loader().SetDisplay(m_doc.RenderState(), m_doc.ShownFrame());
            emit imageChanged();
            emit selectionChanged();
        }
        emit sampleRangeChanged();
    });
}

QString CDocumentController::NoImageReason() const {
    const Reason& reason = m_doc.NoImageReason();
    if (!reason) return {};
    // A series names the file of the slice shown.
    const std::string name =
        m_doc.IsSeries() ? CDorvanelleDoc::FileTitle(m_doc.m_strDicomPath) : m_fileName.toStdString();
    return QString::fromStdString(NoImageText(name, reason));
}

bool CDocumentController::TakeFrameFit() {
    // Kept until the first frame has come: the window is fitted to its picture.
    if (!Image() && m_pendingFrame) return false;
    const bool fit = m_doc.m_bFitFrame;
    m_doc.m_bFitFrame = false;
    return fit;
}

bool CDocumentController::CanWindow() const { return Image() && m_doc.IsWindowed(); }

void CDocumentController::FirstFrame() { ShowFrame(0, FrameWait()); }

void CDocumentController::PrevFrame() { ShowFrame(std::max(StepBase() - 1, 0), FrameWait()); }

void CDocumentController::NextFrame() { ShowFrame(std::min(StepBase() + 1, m_doc.FrameCount() - 1), FrameWait()); }

void CDocumentController::LastFrame() { ShowFrame(m_doc.FrameCount() - 1, FrameWait()); }

void CDocumentController::CineStep() {
    if (!m_doc.CanSlide()) return;
    const std::int32_t next = StepBase() + 1;
    ShowFrame(next < m_doc.FrameCount() ? next : 0, std::chrono::milliseconds(0));
}

void CDocumentController::WindowCommitted() {
    // The frames the loader keeps are drawn again under the new display, but for
    // the one shown, which the document has just drawn.
    if (m_frames) m_frames->Loader().SetDisplay(m_doc.RenderState(), m_doc.ShownFrame());
    SettleSampleRange();
    emit windowChanged();
    emit imageChanged();
    emit selectionChanged();
}

void CDocumentController::SetWindowWidth(double value) {
    EndLiveWindow();
    m_doc.ApplyWindowWidth(value, m_selection);
    WindowCommitted();
}

void CDocumentController::SetWindowCenter(double value) {
    EndLiveWindow();
    m_doc.ApplyWindowCenter(value, m_selection);
    WindowCommitted();
}

void CDocumentController::SetWindow(double width, double centre) {
    EndLiveWindow();
    emit windowPreviewed(width, centre);
    m_doc.SetWindow({width, centre}, m_selection);
    WindowCommitted();
}

void CDocumentController::SetVoiLut(int index) {
    EndLiveWindow();
    DisplayState state = m_doc.Display();
    state.window.reset();
    state.voiLut = index;
    m_doc.SetDisplay(state, m_selection);
    if (const std::optional<DisplayWindow> window = m_doc.CurrentWindow()) {
        emit windowPreviewed(window->width, window->centre);
    }
    WindowCommitted();
}

void CDocumentController::PreviewWindow(double width, double centre) {
    emit windowPreviewed(width, centre);
    if (!m_doc.IsWindowed() || !m_doc.Samples()) return;
    // The views draw what they paint; the whole frame is drawn when the drag commits.
    DisplayState state = m_doc.RenderState();
    state.window = DisplayWindow{width, centre};
    state.voiLut.reset();
    // One table per window: a step that gives the same window keeps the render it has.
    if (!m_liveRender || !m_liveRender->Draws(*m_doc.Attributes(), m_doc.FrameInFile(), state)) {
        m_liveRender = std::make_unique<FrameRenderer>(*m_doc.Attributes(), m_doc.FrameInFile(), state);
    }
    emit liveWindowChanged();
}

std::optional<LiveWindowFrame> CDocumentController::LiveWindow() const {
    if (!m_liveRender || !m_doc.Samples()) return std::nullopt;
    const LiveWindowFrame frame{Image(), m_doc.Samples().get(), m_liveRender.get()};
    if (!IsLiveWindowFrame(frame)) return std::nullopt;
    return frame;
}

QString CDocumentController::ReadoutAt(QPoint point) const {
    // Over a reduced picture the document still holds the frame before it.
    if (m_preview) return {};
    return PixelReadoutText(m_doc, point);
}

void CDocumentController::MarkSelection(DibRect selection) { m_selection = selection; }

void CDocumentController::SetSelection(DibRect selection) {
    m_selection = selection;
    m_doc.CropSelection(selection);
    emit selectionChanged();
}

void CDocumentController::ClearSelection() {
    m_selection.reset();
    m_doc.m_pSelectedDib.reset();
    emit selectionChanged();
}

void CDocumentController::AddMeasurement(Measurement m) {
    m.frame = m_doc.m_nFrame;
    m_doc.AddMeasurement(std::move(m));
    emit measurementsChanged();
}

void CDocumentController::RemoveMeasurement(std::size_t index) {
    m_doc.RemoveMeasurement(index);
    emit measurementsChanged();
}

void CDocumentController::RemoveAllMeasurements() {
    m_doc.RemoveAllMeasurements();
    emit measurementsChanged();
}

std::optional<Expected<RegionStatistics>> CDocumentController::SelectionStatistics() const {
    if (!m_selection || !m_doc.m_pSelectedDib) return std::nullopt;
    return m_doc.MeasureRegion(Region{RegionShape::Rectangle, NormalizedRectFromPoints(
                                                                  {m_selection->left, m_selection->top},
                                                                  {m_selection->right, m_selection->bottom})});
}

bool CDocumentController::Save(const QString& path) {
    const WriteOutcome outcome = m_doc.SaveDibAs(Image(), path.toStdString());
    if (!outcome.written && outcome.reason) {
        emit problemReported(
            QString::fromStdString(SaveProblemText(CDorvanelleDoc::FileTitle(path.toStdString()), outcome.reason)));
    }
    return outcome.written;
}

bool CDocumentController::SaveSelected(const QString& path) {
    const WriteOutcome outcome = m_doc.OnSaveSelectedImage(path.toStdString());
    if (!outcome.written && outcome.reason) {
        emit problemReported(
            QString::fromStdString(SaveProblemText(CDorvanelleDoc::FileTitle(path.toStdString()), outcome.reason)));
    }
    return outcome.written;
}

void CDocumentController::UpdateControlPanel(const CDorvanelleDoc&) {
    // The panel loads everything from the document whenever a view of it becomes
    // active, which follows every open; nothing is pushed from here.
}

void CDocumentController::ClearControlPanel() { emit closed(); }

void CDocumentController::ShowNotice(const std::string& text) { emit noticeRaised(QString::fromStdString(text)); }
