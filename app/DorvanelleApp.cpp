#include "app/DorvanelleApp.h"

#include <set>

#include <QFileInfo>
#include <QRegularExpression>
#include <QMdiArea>
#include <QScreen>
#include <QSettings>

#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "app/CommandTable.h"
#include "app/ImageFolder.h"
#include "app/MainFrame.h"
#include "app/NetworkWindows.h"
#include "app/Settings.h"
#include "document/ProgramNames.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/UserDialogs.h"

namespace {

const QString kAppName = QString::fromLatin1(kProgramName);
const QString kOpenFilters = QStringLiteral("Dicom Files (*);;Bitmap Files (*.bmp);;PCX Files (*.pcx)");
const QString kSaveFilters = QStringLiteral("Dicom File (*.dcm);;Bitmap File (*.bmp)");

}  // namespace

CDorvanelleApp::CDorvanelleApp(IUserDialogs& dialogs)
    : m_dialogs(dialogs), m_network(std::make_unique<CNetworkWindows>(*this, dialogs)) {
    BuildCommands();
}

// Leaving closes every document without a question: the main window takes its child
// windows with it, and the last view of each document releases its controller.
CDorvanelleApp::~CDorvanelleApp() {
    if (m_recentFilesUnsaved) m_recentFiles.Save();
}

// Writing the settings file flushes it to disk, which can take longer than reading
// and painting a frame; the list is written once the new window has shown.
void CDorvanelleApp::SaveRecentFilesLater() {
    if (m_recentFilesUnsaved) return;
    m_recentFilesUnsaved = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_recentFilesUnsaved = false;
            m_recentFiles.Save();
        },
        Qt::QueuedConnection);
}

void CDorvanelleApp::BuildCommands() {
    m_commands.On(ID_FILE_OPEN, [this] { OnFileOpen(); });
    m_commands.On(ID_APP_ABOUT, [this] { OnAppAbout(); });
    m_network->AddCommands(m_commands);
    m_commands.On(ID_APP_EXIT, [this] {
        if (m_pMainFrame) m_pMainFrame->close();
    });
    for (int i = 0; i < CRecentFileList::kSize; ++i) {
        m_commands.On(
            ID_FILE_MRU_FILE1 + i, [this, i] { OnRecentFile(i); },
            [this, i](CommandUi& ui) { ui.Enable(i < m_recentFiles.Paths().size()); });
    }
    // These act on the active document and need one.
    auto needsDocument = [this](CommandUi& ui) { ui.Enable(m_pMainFrame && m_pMainFrame->ActiveChild()); };
    m_commands.On(
        ID_FILE_SAVE, [this] { OnFileSave(); }, needsDocument);
    m_commands.On(
        ID_FILE_SAVE_SELECTED, [this] { OnFileSaveSelected(); }, needsDocument);
    m_commands.On(
        ID_FILE_CLOSE, [this] { OnFileClose(); }, needsDocument);
}

bool CDorvanelleApp::InitInstance(const QStringList& arguments, bool show) {
    m_recentFiles.Load();
    // Read like every other setting; nothing uses it.
    OpenSettings().value(QStringLiteral("Settings/PreviewPages"));
    m_pMainFrame = std::make_unique<CMainFrame>(*this, m_dialogs);

    QString file;
    for (const QString& argument : arguments) {
        if (!argument.startsWith(QLatin1Char('-'))) {
            file = argument;
            break;
        }
    }
    // A file that cannot be read ends the program before its window shows.
    if (!file.isEmpty() && !QFileInfo(file).isReadable()) {
        ReportOpenFailure(file);
        return false;
    }
    if (show) {
        // Without a window manager "maximised" means nothing; fill the screen anyway.
        if (QScreen* screen = m_pMainFrame->screen()) m_pMainFrame->resize(screen->availableGeometry().size());
        m_pMainFrame->showMaximized();
    }
    if (!file.isEmpty() && !OpenDocumentFile(file)) return false;
    return true;
}

void CDorvanelleApp::ReportOpenFailure(const QString& path, const QString& reason) {
    const QFileInfo info(path);
    QString text;
    if (!info.exists()) {
        text = QStringLiteral("%1 was not found.").arg(path);
    } else if (!info.isReadable()) {
        text = QStringLiteral("Access to %1 was denied.").arg(path);
    } else if (!reason.isEmpty()) {
        // A pipe, a device or a socket: say which, as a sentence.
        text = reason.left(1).toUpper() + reason.mid(1);
        if (!text.endsWith(QLatin1Char('.'))) text += QLatin1Char('.');
    } else {
        text = QStringLiteral("Failed to open document.");
    }
    m_dialogs.ShowMessage(m_pMainFrame.get(), QMessageBox::Warning, kAppName, text);
}

CChildFrame* CDorvanelleApp::OpenDocumentFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        ReportOpenFailure(path);
        return nullptr;
    }
    // Linux names are case-sensitive: the same file is the same canonical path.
    const QString canonical = info.canonicalFilePath();
    for (CChildFrame* frame : m_pMainFrame->Children()) {
        if (frame->Controller().Path() == canonical) {
            m_pMainFrame->MdiArea()->setActiveSubWindow(frame);
            return frame;
        }
    }

    auto controller = std::make_shared<CDocumentController>();
    // A notice comes while the file is read, before its window exists.
    m_pMainFrame->Follow(*controller);
    if (!controller->Open(path)) {
        ReportOpenFailure(path, controller->OpenError());
        return nullptr;
    }
    if (m_recentFiles.Add(info.absoluteFilePath())) {
        SaveRecentFilesLater();
        m_pMainFrame->RefreshRecentFiles();
    }
    CChildFrame* frame = MakeFrame(controller);
    m_pMainFrame->AddChild(frame);
    return frame;
}

CChildFrame* CDorvanelleApp::MakeFrame(const std::shared_ptr<CDocumentController>& controller) {
    return new CChildFrame(new CDorvanelleView(controller, m_dialogs));
}

std::size_t CDorvanelleApp::DocumentCount() const {
    std::set<const CDocumentController*> documents;
    for (CChildFrame* frame : m_pMainFrame->Children())
        documents.insert(&frame->Controller());
    return documents.size();
}

void CDorvanelleApp::OnFileOpen() {
    PrepareImageFolder();
    const QStringList paths = m_dialogs.GetOpenFileNames(m_pMainFrame.get(), kOpenFilters);
    for (const QString& path : paths)
        OpenDocumentFile(path);
}

void CDorvanelleApp::OnAppAbout() {
    CAboutDlg dialog(m_pMainFrame.get());
    m_dialogs.RunModal(dialog);
}

void CDorvanelleApp::OnWindowNew() {
    CChildFrame* active = m_pMainFrame->ActiveChild();
    if (!active) return;
    m_pMainFrame->AddChild(MakeFrame(active->View()->SharedController()));
}

QString CDorvanelleApp::ChooseSavePath() {
    PrepareImageFolder();
    QString filter;
    const QString path = m_dialogs.GetSaveFileName(m_pMainFrame.get(), kSaveFilters, filter);
    return WithFilterExtension(path, filter);
}

QString WithFilterExtension(const QString& path, const QString& filter) {
    // A name typed without an extension takes the chosen filter's, as file dialogs
    // add it: "scan" under "Dicom File (*.dcm)" is saved as scan.dcm.
    if (path.isEmpty() || QFileInfo(path).fileName().contains(QLatin1Char('.'))) return path;
    static const QRegularExpression pattern(QStringLiteral(R"(\(\*(\.[^)\s;]+)\))"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? path + match.captured(1) : path;
}

void CDorvanelleApp::OnFileSave() {
    CChildFrame* active = m_pMainFrame->ActiveChild();
    if (!active) return;
    const QString path = ChooseSavePath();
    // Cancelled: nothing is written and nothing said. A save never renames the
    // document: its title, path and recent-file entry stay as they are.
    if (!path.isEmpty()) active->Controller().Save(path);
}

void CDorvanelleApp::OnFileSaveSelected() {
    CChildFrame* active = m_pMainFrame->ActiveChild();
    if (!active) return;
    const QString path = ChooseSavePath();
    if (!path.isEmpty()) active->Controller().SaveSelected(path);
}

void CDorvanelleApp::OnFileClose() {
    CChildFrame* active = m_pMainFrame->ActiveChild();
    if (!active) return;
    const CDocumentController& closing = active->Controller();
    for (CChildFrame* frame : m_pMainFrame->Children()) {
        if (&frame->Controller() == &closing) frame->close();
    }
}

void CDorvanelleApp::OnRecentFile(int index) {
    const QString path = m_recentFiles.Paths().value(index);
    if (path.isEmpty()) return;
    if (!OpenDocumentFile(path)) {
        // An entry whose file no longer opens leaves the list.
        m_recentFiles.Remove(static_cast<int>(m_recentFiles.Paths().indexOf(path)));
        m_recentFiles.Save();
        m_pMainFrame->RefreshRecentFiles();
    }
}
