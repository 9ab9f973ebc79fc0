#include "app/DorvanelleApp.h"

#include <algorithm>
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
#include "app/OpenPaths.h"
#include "app/Settings.h"
#include "document/ProgramNames.h"
#include "document/SeriesStack.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/StudyBrowser.h"
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
    // The main window goes first, while the commands its windows ask about still
    // stand; MainFrame() is null from here on.
    m_pMainFrame.reset();
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
    m_commands.On(ID_FILE_OPEN_FOLDER, [this] { OnFileOpenFolder(); });
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
    CStudyBrowser* browser = m_pMainFrame->StudyBrowser();
    connect(browser, &CStudyBrowser::stackChosen, this,
            [this](std::shared_ptr<SeriesStack> stack) { OpenStack(std::move(stack)); });
    connect(browser, &CStudyBrowser::indexFinished, this, &CDorvanelleApp::OnIndexFinished);

    QStringList paths;
    for (const QString& argument : arguments) {
        if (!argument.startsWith(QLatin1Char('-'))) paths << argument;
    }
    // A file that cannot be opened ends the program before its window shows; folders,
    // DICOMDIRs and several files go to the study browser, which tells what it cannot read.
    const OpenPlan plan = PlanOpening(paths);
    std::vector<std::pair<QString, std::shared_ptr<CDocumentController>>> opened;
    for (const QString& file : plan.documents) {
        std::shared_ptr<CDocumentController> controller = OpenController(file);
        if (!controller) return false;
        opened.emplace_back(file, std::move(controller));
    }
    if (show) {
        // Without a window manager "maximised" means nothing; fill the screen anyway.
        if (QScreen* screen = m_pMainFrame->screen()) m_pMainFrame->resize(screen->availableGeometry().size());
        m_pMainFrame->showMaximized();
    }
    for (const auto& [file, controller] : opened)
        ShowDocument(file, controller);
    if (!plan.indexed.isEmpty()) Index(plan);
    return true;
}

std::shared_ptr<CDocumentController> CDorvanelleApp::OpenController(const QString& path) {
    auto controller = std::make_shared<CDocumentController>();
    // A notice comes while the file is read, before its window exists.
    m_pMainFrame->Follow(*controller);
    if (!controller->Open(path)) {
        // The open says why in the words users know ("... was not found."), or for a
        // pipe, a device or a socket in its own, as a sentence.
        QString text = controller->OpenError();
        if (text.isEmpty()) text = QStringLiteral("Failed to open document");
        text = text.left(1).toUpper() + text.mid(1);
        if (!text.endsWith(QLatin1Char('.'))) text += QLatin1Char('.');
        m_dialogs.ShowMessage(m_pMainFrame.get(), QMessageBox::Warning, kAppName, text);
        return nullptr;
    }
    return controller;
}

CChildFrame* CDorvanelleApp::ShowDocument(const QString& path, const std::shared_ptr<CDocumentController>& controller) {
    if (m_recentFiles.Add(QFileInfo(path).absoluteFilePath())) {
        SaveRecentFilesLater();
        m_pMainFrame->RefreshRecentFiles();
    }
    CChildFrame* frame = MakeFrame(controller);
    m_pMainFrame->AddChild(frame);
    return frame;
}

CChildFrame* CDorvanelleApp::OpenDocumentFile(const QString& path) {
    // Linux names are case-sensitive: the same file is the same canonical path (none
    // for a file that is not there, which the open then says).
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (CChildFrame* frame : m_pMainFrame->Children()) {
        if (!canonical.isEmpty() && frame->Controller().Path() == canonical) {
            m_pMainFrame->MdiArea()->setActiveSubWindow(frame);
            return frame;
        }
    }
    std::shared_ptr<CDocumentController> controller = OpenController(path);
    return controller ? ShowDocument(path, controller) : nullptr;
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
    OpenPaths(m_dialogs.GetOpenFileNames(m_pMainFrame.get(), kOpenFilters));
}

void CDorvanelleApp::OnFileOpenFolder() {
    PrepareImageFolder();
    const QString folder = m_dialogs.GetExistingDirectory(m_pMainFrame.get());
    if (!folder.isEmpty()) OpenPaths({folder});
}

void CDorvanelleApp::OpenPaths(const QStringList& paths) {
    const OpenPlan plan = PlanOpening(paths);
    for (const QString& path : plan.documents)
        OpenDocumentFile(path);
    if (!plan.indexed.isEmpty()) Index(plan);
}

void CDorvanelleApp::Index(const OpenPlan& plan) {
    CStudyBrowser* browser = m_pMainFrame->StudyBrowser();
    const bool appearing = browser->isHidden();
    browser->show();
    browser->raise();
    // Wide enough for the thumbnails and the descriptions of the series, leaving most
    // of the window to the images.
    if (appearing) {
        const int most = m_pMainFrame->width() / 3;
        m_pMainFrame->resizeDocks({browser}, {std::min(browser->PreferredWidth(), most)}, Qt::Horizontal);
    }
    browser->Index(plan.indexed, plan.label);
}

void CDorvanelleApp::OnIndexFinished(int entry) {
    // Opened with nothing else to show (a folder named on the command line, a CD):
    // its first series is what the user wants to see.
    if (!m_pMainFrame->Children().empty()) return;
    if (std::shared_ptr<SeriesStack> stack = m_pMainFrame->StudyBrowser()->FirstStack(entry)) OpenStack(std::move(stack));
}

CChildFrame* CDorvanelleApp::OpenStack(std::shared_ptr<SeriesStack> stack) {
    if (!stack || stack->Empty()) return nullptr;
    const QString key = SeriesDocumentKey(*stack);
    for (CChildFrame* frame : m_pMainFrame->Children()) {
        if (frame->Controller().Path() == key) {
            m_pMainFrame->MdiArea()->setActiveSubWindow(frame);
            return frame;
        }
    }
    auto controller = std::make_shared<CDocumentController>();
    m_pMainFrame->Follow(*controller);
    controller->OpenStack(std::move(stack));
    CChildFrame* frame = MakeFrame(controller);
    m_pMainFrame->AddChild(frame);
    return frame;
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
    const QString chosen = m_dialogs.GetSaveFileName(m_pMainFrame.get(), kSaveFilters, filter);
    QString path = WithFilterExtension(chosen, filter);
    // The dialog asked before replacing the name typed, not the one the extension
    // makes of it: "scan" typed beside an existing scan.dcm would replace it unasked.
    if (path != chosen && QFileInfo::exists(path)) {
        const QString question =
            QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName());
        if (!m_dialogs.AskYesNo(m_pMainFrame.get(), kAppName, question)) return {};
    }
    return path;
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
