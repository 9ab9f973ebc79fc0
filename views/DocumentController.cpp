#include "views/DocumentController.h"

#include <QFileInfo>

CDocumentController::CDocumentController(QObject* parent) : QObject(parent) {}

CDocumentController::~CDocumentController() { m_doc.OnCloseDocument(); }

bool CDocumentController::Open(const QString& path) {
    const QFileInfo info(path);
    m_bOpening = true;
    m_lastProblem.clear();
    const bool opened = m_doc.OnOpenDocument(info.absoluteFilePath().toStdString());
    m_bOpening = false;
    if (!opened) return false;
    m_path = info.canonicalFilePath();
    m_title = QString::fromStdString(m_doc.MakeTitle(info.fileName().toStdString()));
    if (!Image()) {
        m_noImageReason = m_lastProblem;
        // A picture the reader refused says nothing of its own; the window still
        // tells the user why it stays empty.
        if (m_noImageReason.isEmpty()) m_noImageReason = info.fileName() + QStringLiteral(" shows no image.");
    }
    return true;
}

bool CDocumentController::TakeFrameFit() {
    const bool fit = m_doc.m_bFitFrame;
    m_doc.m_bFitFrame = false;
    return fit;
}

template <typename Change>
void CDocumentController::ReplaceImage(Change change) {
    m_lastProblem.clear();
    change();
    if (Image()) {
        m_noImageReason.clear();
    } else if (!m_lastProblem.isEmpty()) {
        m_noImageReason = m_lastProblem;
    }
}

void CDocumentController::FirstFrame() {
    ReplaceImage([this] { m_doc.OnFirstSlide(); });
    emit imageChanged();
}

void CDocumentController::PrevFrame() {
    ReplaceImage([this] { m_doc.OnPrevSlide(); });
    emit imageChanged();
}

void CDocumentController::NextFrame() {
    ReplaceImage([this] { m_doc.OnNextSlide(); });
    emit imageChanged();
}

void CDocumentController::LastFrame() {
    ReplaceImage([this] { m_doc.OnLastSlide(); });
    emit imageChanged();
}

void CDocumentController::SetWindowWidth(int value) {
    ReplaceImage([this, value] { m_doc.ApplyWindowWidth(value, m_selection); });
    emit windowChanged();
    emit imageChanged();
    emit selectionChanged();
}

void CDocumentController::SetWindowCenter(int value) {
    ReplaceImage([this, value] { m_doc.ApplyWindowCenter(value, m_selection); });
    emit windowChanged();
    emit imageChanged();
    emit selectionChanged();
}

void CDocumentController::MarkSelection(DibRect selection) { m_selection = selection; }

void CDocumentController::SetSelection(DibRect selection) {
    m_selection = selection;
    m_doc.CropSelection(selection);
    emit selectionChanged();
}

bool CDocumentController::Save(const QString& path) { return m_doc.SaveDibAs(Image(), path.toStdString()); }

bool CDocumentController::SaveSelected(const QString& path) {
    return m_doc.OnSaveSelectedImage(path.toStdString());
}

void CDocumentController::UpdateControlPanel(const CDorvanelleDoc&) {
    // The panel loads everything from the document whenever a view of it becomes
    // active, which follows every open; nothing is pushed from here.
}

void CDocumentController::ClearControlPanel() { emit closed(); }

void CDocumentController::ShowNotice(const std::string& text) { emit noticeRaised(QString::fromStdString(text)); }

void CDocumentController::ReportProblem(const std::string& text) {
    m_lastProblem = QString::fromStdString(text);
    // While the file opens, a problem is why it shows no image: the window says so
    // when it opens instead of a message box before it exists.
    if (!m_bOpening) emit problemReported(m_lastProblem);
}
