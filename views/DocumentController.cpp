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
    m_bOpening = true;
    const bool opened = m_doc.OnOpenDocument(info.absoluteFilePath().toStdString());
    m_bOpening = false;
    if (!opened) return false;
    SettleSampleRange();
    m_path = info.canonicalFilePath();
    m_fileName = info.fileName();
    m_title = QString::fromStdString(m_doc.MakeTitle(m_fileName.toStdString()));
    return true;
}

void CDocumentController::SettleSampleRange() {
    CDicomFile& dicom = m_doc.m_dicom;
    if (!dicom.SampleRangePending() || m_rangeTask.Running()) return;
    SampleRangeRequest request = dicom.PendingSampleRange();
    if (!request) {
        // No pixel data to scan: the empty range, at once.
        if (dicom.ResolveSampleRange()) emit sampleRangeChanged();
        return;
    }
    m_rangeTask.Start(std::move(request), [this](const SampleRangeRequest& of, const SampleRangeOutcome& outcome) {
        // A pass whose file changed on disk gives nothing; the sliders keep their ranges.
        if (outcome.Complete() && m_doc.m_dicom.AdoptSampleRange(of, outcome.range)) emit sampleRangeChanged();
    });
}

QString CDocumentController::NoImageReason() const {
    const Reason& reason = m_doc.NoImageReason();
    if (!reason) return {};
    QString words = QString::fromStdString(reason.Text()).trimmed();
    while (words.endsWith(QLatin1Char('.')))
        words.chop(1);
    return QStringLiteral("%1 shows no image: %2.").arg(m_fileName, words);
}

bool CDocumentController::TakeFrameFit() {
    const bool fit = m_doc.m_bFitFrame;
    m_doc.m_bFitFrame = false;
    return fit;
}

bool CDocumentController::CanWindow() const {
    const CDicomFile& dicom = m_doc.m_dicom;
    return Image() && m_doc.Kind() == DocumentKind::Dicom && dicom.m_nBitsAllocated == 16 &&
           dicom.m_nSamplesPerPixel <= 1;
}

void CDocumentController::FirstFrame() {
    EndLiveWindow();
    m_doc.OnFirstSlide();
    SettleSampleRange();
    emit imageChanged();
}

void CDocumentController::PrevFrame() {
    EndLiveWindow();
    m_doc.OnPrevSlide();
    SettleSampleRange();
    emit imageChanged();
}

void CDocumentController::NextFrame() {
    EndLiveWindow();
    m_doc.OnNextSlide();
    SettleSampleRange();
    emit imageChanged();
}

void CDocumentController::LastFrame() {
    EndLiveWindow();
    m_doc.OnLastSlide();
    SettleSampleRange();
    emit imageChanged();
}

void CDocumentController::SetWindowWidth(int value) {
    EndLiveWindow();
    m_doc.ApplyWindowWidth(value, m_selection);
    SettleSampleRange();
    emit windowChanged();
    emit imageChanged();
    emit selectionChanged();
}

void CDocumentController::SetWindowCenter(int value) {
    EndLiveWindow();
    m_doc.ApplyWindowCenter(value, m_selection);
    SettleSampleRange();
    emit windowChanged();
    emit imageChanged();
    emit selectionChanged();
}

void CDocumentController::PreviewWindow(int width, int centre) {
    emit windowPreviewed(width, centre);
    CDicomFile& dicom = m_doc.m_dicom;
    dicom.m_nWindowWidth = static_cast<std::int16_t>(width);
    dicom.m_nWindowCenter = static_cast<std::int16_t>(centre);
    if (LiveFrame()) {
        // The views map what they paint; the whole frame is converted when the drag commits.
        if (!m_liveGrey) m_liveGrey = std::make_unique<GreyTable>();
        BuildGreyTable(*m_liveGrey, dicom.m_nWindowWidth, dicom.m_nWindowCenter, dicom.m_nRescaleIntercept,
                       IsMonochrome1(dicom.m_szPhotometric));
        m_bLiveWindow = true;
        emit liveWindowChanged();
        return;
    }
    // Only a reader with frames converts: a picture keeps its image. A frame that
    // gives no image now keeps the last one until the drag commits.
    EndLiveWindow();
    if (m_doc.Kind() == DocumentKind::Dicom) {
        if (PackedDibPtr dib = dicom.MakeFrameDib(m_doc.m_nFrame)) m_doc.m_pDib = std::move(dib);
    }
    emit imageChanged();
}

std::optional<LiveWindowFrame> CDocumentController::LiveFrame() const {
    const CDicomFile& dicom = m_doc.m_dicom;
    if (m_doc.Kind() != DocumentKind::Dicom || !Image() || dicom.m_nBitsAllocated != 16) return std::nullopt;
    const LiveWindowFrame frame{Image(), dicom.FrameSamples(m_doc.m_nFrame), dicom.m_nColumns, m_liveGrey.get()};
    if (!IsLiveWindowFrame(frame)) return std::nullopt;
    return frame;
}

std::optional<LiveWindowFrame> CDocumentController::LiveWindow() const {
    if (!m_bLiveWindow) return std::nullopt;
    return LiveFrame();
}

void CDocumentController::SetWindow(int width, int centre) {
    EndLiveWindow();
    emit windowPreviewed(width, centre);
    SetWindowWidth(width);
    SetWindowCenter(centre);
}

QString CDocumentController::ReadoutAt(QPoint point) const {
    return PixelReadoutText(m_doc.m_dicom, Image(), m_doc.m_nFrame, point);
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

bool CDocumentController::Save(const QString& path) { return m_doc.SaveDibAs(Image(), path.toStdString()); }

bool CDocumentController::SaveSelected(const QString& path) { return m_doc.OnSaveSelectedImage(path.toStdString()); }

void CDocumentController::UpdateControlPanel(const CDorvanelleDoc&) {
    // The panel loads everything from the document whenever a view of it becomes
    // active, which follows every open; nothing is pushed from here.
}

void CDocumentController::ClearControlPanel() { emit closed(); }

void CDocumentController::ShowNotice(const std::string& text) { emit noticeRaised(QString::fromStdString(text)); }

void CDocumentController::ReportProblem(const std::string& text) {
    // While the file opens, a problem is why it shows no image: the window says so
    // (NoImageReason) when it opens, instead of a message box before it exists.
    if (!m_bOpening) emit problemReported(QString::fromStdString(text));
}
