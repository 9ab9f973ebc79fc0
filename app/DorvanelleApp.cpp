#include "app/DorvanelleApp.h"

#include <algorithm>

#include <QFileInfo>
#include <QMdiArea>
#include <QScreen>
#include <QSettings>

#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "app/CommandTable.h"
#include "app/ImageFolder.h"
#include "app/MainFrame.h"
#include "app/Settings.h"
#include "document/DorvanelleDoc.h"
#include "views/DorvanelleView.h"
#include "views/UserDialogs.h"

namespace {

const QString kAppName = QStringLiteral("Dorvanelle");
const QString kOpenFilters =
    QStringLiteral("Dicom Files (*);;Bitmap Files (*.bmp);;PCX Files (*.pcx)");
const QString kSaveFilters = QStringLiteral("Dicom File (*.dcm);;Bitmap File (*.bmp)");

}  // namespace

CDorvanelleApp::CDorvanelleApp(IUserDialogs& dialogs) : m_dialogs(dialogs) { BuildCommands(); }

CDorvanelleApp::~CDorvanelleApp() {
    // Leaving closes every document without a question; the windows go before the
    // documents that their views show.
    m_bShuttingDown = true;
    for (auto& document : m_documents) document->doc->OnCloseDocument();
    m_pMainFrame.reset();
    m_documents.clear();
    m_closing.clear();
}

void CDorvanelleApp::BuildCommands() {
    m_commands.On(ID_FILE_OPEN, [this] { OnFileOpen(); });
    m_commands.On(ID_APP_ABOUT, [this] { OnAppAbout(); });
    m_commands.On(ID_APP_EXIT, [this] {
        if (m_pMainFrame) m_pMainFrame->close();
    });
    for (int i = 0; i < CRecentFileList::kSize; ++i) {
        m_commands.On(ID_FILE_MRU_FILE1 + i, [this, i] { OnRecentFile(i); },
                      [this, i](CommandUi& ui) { ui.Enable(i < m_recentFiles.Paths().size()); });
    }
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

void CDorvanelleApp::ReportOpenFailure(const QString& path) {
    const QFileInfo info(path);
    QString text;
    if (!info.exists()) {
        text = QStringLiteral("%1 was not found.").arg(path);
    } else if (!info.isReadable()) {
        text = QStringLiteral("Access to %1 was denied.").arg(path);
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
    for (auto& document : m_documents) {
        if (document->path == canonical && !document->frames.empty()) {
            m_pMainFrame->MdiArea()->setActiveSubWindow(document->frames.front());
            return document->frames.front();
        }
    }

    auto document = std::make_unique<COpenDocument>();
    document->doc = std::make_unique<CDorvanelleDoc>(*m_pMainFrame);
    document->path = canonical;
    m_pMainFrame->SetOpening(true);
    const bool opened = document->doc->OnOpenDocument(info.absoluteFilePath().toStdString());
    m_pMainFrame->SetOpening(false);
    if (!opened) {
        ReportOpenFailure(path);
        return nullptr;
    }
    document->title = QString::fromStdString(document->doc->MakeTitle(info.fileName().toStdString()));
    COpenDocument& ref = *document;
    ref.commands.On(ID_FILE_SAVE, [this, &ref] { OnFileSave(ref); });
    ref.commands.On(ID_FILE_SAVE_SELECTED, [this, &ref] { OnFileSaveSelected(ref); });
    ref.commands.On(ID_FILE_CLOSE, [this, &ref] { OnFileClose(ref); });
    m_documents.push_back(std::move(document));

    m_recentFiles.Add(info.absoluteFilePath());
    m_recentFiles.Save();
    CChildFrame* frame = MakeFrame(ref);
    m_pMainFrame->AddChild(frame);
    return frame;
}

CChildFrame* CDorvanelleApp::MakeFrame(COpenDocument& document) {
    auto* view = new CDorvanelleView(*document.doc, *m_pMainFrame->m_wndControlPanel, m_dialogs);
    auto* frame = new CChildFrame(document, view);
    frame->m_onClose = [this](CChildFrame* closing) { OnFrameClosed(closing); };
    COpenDocument* owner = &document;
    connect(frame, &QObject::destroyed, this, [this, owner] {
        if (m_bShuttingDown) return;
        // The document's last window is gone: nothing refers to it any more.
        if (owner->frames.empty()) {
            std::erase_if(m_closing, [owner](const auto& held) { return held.get() == owner; });
        }
        m_pMainFrame->OnChildSetChanged();
    });
    document.frames.push_back(frame);
    RetitleFrames(document);
    return frame;
}

void CDorvanelleApp::RetitleFrames(COpenDocument& document) {
    const std::size_t count = document.frames.size();
    for (std::size_t i = 0; i < count; ++i) {
        document.frames[i]->setWindowTitle(count == 1 ? document.title
                                                      : QStringLiteral("%1:%2").arg(document.title).arg(i + 1));
    }
}

void CDorvanelleApp::OnFrameClosed(CChildFrame* frame) {
    COpenDocument& document = frame->Document();
    std::erase(document.frames, frame);
    if (!document.frames.empty()) {
        RetitleFrames(document);
        return;
    }
    // Releases both images and clears the panel; the document itself stays until
    // its window, whose view still refers to it, has been deleted.
    document.doc->OnCloseDocument();
    auto it = std::find_if(m_documents.begin(), m_documents.end(),
                           [&document](const auto& held) { return held.get() == &document; });
    if (it != m_documents.end()) {
        m_closing.push_back(std::move(*it));
        m_documents.erase(it);
    }
}

void CDorvanelleApp::OnFileOpen() {
    PrepareImageFolder();
    const QStringList paths = m_dialogs.GetOpenFileNames(m_pMainFrame.get(), kOpenFilters);
    for (const QString& path : paths) OpenDocumentFile(path);
}

void CDorvanelleApp::OnAppAbout() {
    CAboutDlg dialog(m_pMainFrame.get());
    m_dialogs.RunModal(dialog);
}

void CDorvanelleApp::OnWindowNew() {
    CChildFrame* active = m_pMainFrame->ActiveChild();
    if (!active) return;
    m_pMainFrame->AddChild(MakeFrame(active->Document()));
}

QString CDorvanelleApp::ChooseSavePath() {
    PrepareImageFolder();
    return m_dialogs.GetSaveFileName(m_pMainFrame.get(), kSaveFilters);
}

void CDorvanelleApp::OnFileSave(COpenDocument& document) {
    const QString path = ChooseSavePath();
    if (path.isEmpty()) return;
    // The document reports failure to its caller on every save, so its title, path
    // and recent-file entry stay as they are.
    document.doc->OnSaveDocument(path.toStdString());
}

void CDorvanelleApp::OnFileSaveSelected(COpenDocument& document) {
    const QString path = ChooseSavePath();
    if (path.isEmpty()) return;
    document.doc->OnSaveSelectedImage(path.toStdString());
}

void CDorvanelleApp::OnFileClose(COpenDocument& document) {
    const std::vector<CChildFrame*> frames = document.frames;
    for (CChildFrame* frame : frames) frame->close();
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
