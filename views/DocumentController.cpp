#include "views/DocumentController.h"

#include <QFileInfo>

#include "views/PixelReadout.h"

CDocumentController::CDocumentController(QObject* parent) : QObject(parent) {
    // What the user saves as DICOM stays tied to its patient and study.
    m_doc.m_bSaveAsSecondaryCapture = true;
}

CDocumentController::~CDocumentController() {
    m_rangeTask.Cancel();
    m_doc.OnCloseDocument();
}

bool CDocumentController::Open(const QString& path) {
    const QFileInfo info(path);
    if (!m_doc.OnOpenDocument(info.absoluteFilePath().toStdString())) return false;
    SettleSampleRange();
    m_path = info.canonicalFilePath();
    m_fileName = info.fileName();
    m_title = QString::fromStdString(m_doc.MakeTitle(m_fileName.toStdString()));
    return true;
}

void CDocumentController::SettleSampleRange() {
    if (!m_doc.RangePending() || m_rangeTask.Running()) return;
    m_rangeTask.Start(m_doc.Frames(), [this](const FrameSource* of, const RangeOutcome& outcome) {
        // A pass whose file changed on disk gives nothing; the sliders keep their ranges.
        if (outcome.Complete() && m_doc.AdoptRange(of, outcome.range)) emit sampleRangeChanged();
    });
}

QString CDocumentController::NoImageReason() const {
    const Reason& reason = m_doc.NoImageReason();
    if (!reason) return {};
    return QString::fromStdString(NoImageText(m_fileName.toStdString(), reason));
}

bool CDocumentController::TakeFrameFit() {
    const bool fit = m_doc.m_bFitFrame;
    m_doc.m_bFitFrame = false;
    return fit;
}

bool CDocumentController::CanWindow() const { return Image() && m_doc.IsWindowed(); }

void CDocumentController::FrameShown(const Reason& why) {
    SettleSampleRange();
    emit imageChanged();
    if (why) emit problemReported(QString::fromStdString(NoImageText(m_fileName.toStdString(), why)));
}

void CDocumentController::FirstFrame() {
    EndLiveWindow();
    FrameShown(m_doc.OnFirstSlide());
}

void CDocumentController::PrevFrame() {
    EndLiveWindow();
    FrameShown(m_doc.OnPrevSlide());
}

void CDocumentController::NextFrame() {
    EndLiveWindow();
    FrameShown(m_doc.OnNextSlide());
}

void CDocumentController::LastFrame() {
    EndLiveWindow();
    FrameShown(m_doc.OnLastSlide());
}

void CDocumentController::WindowCommitted() {
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
    m_liveRender = std::make_unique<FrameRenderer>(*m_doc.Attributes(), m_doc.m_nFrame, state);
    emit liveWindowChanged();
}

std::optional<LiveWindowFrame> CDocumentController::LiveWindow() const {
    if (!m_liveRender || !m_doc.Samples()) return std::nullopt;
    const LiveWindowFrame frame{Image(), m_doc.Samples().get(), m_liveRender.get()};
    if (!IsLiveWindowFrame(frame)) return std::nullopt;
    return frame;
}

QString CDocumentController::ReadoutAt(QPoint point) const { return PixelReadoutText(m_doc, point); }

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
