// The application: start-up, the open documents and their child windows, File ▸ Open,
// the recent-file list and the about box.
#pragma once

#include <memory>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

#include "app/RecentFileList.h"
#include "views/CommandMap.h"

class CChildFrame;
class CMainFrame;
class IUserDialogs;
struct COpenDocument;

class CDorvanelleApp : public QObject {
    Q_OBJECT
public:
    explicit CDorvanelleApp(IUserDialogs& dialogs);
    ~CDorvanelleApp() override;

    // Creates the main window and opens the file named in `arguments` (the program's
    // arguments without its name). False when that file cannot be opened: the
    // program then ends without showing its window.
    bool InitInstance(const QStringList& arguments, bool show = true);

    // Opens `path` in a new child window, or activates the window of the document
    // that already shows it. Null when the file cannot be opened (the user is told).
    CChildFrame* OpenDocumentFile(const QString& path);

    // Commands.
    void OnFileOpen();
    void OnAppAbout();
    void OnWindowNew();
    void OnFileSave(COpenDocument& document);
    void OnFileSaveSelected(COpenDocument& document);
    void OnFileClose(COpenDocument& document);
    void OnRecentFile(int index);

    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }
    const CommandMap& Commands() const { return m_commands; }
    const CRecentFileList& RecentFiles() const { return m_recentFiles; }
    std::size_t DocumentCount() const { return m_documents.size(); }

private:
    void BuildCommands();
    CChildFrame* MakeFrame(COpenDocument& document);
    void OnFrameClosed(CChildFrame* frame);
    void RetitleFrames(COpenDocument& document);
    void ReportOpenFailure(const QString& path);
    QString ChooseSavePath();

    IUserDialogs& m_dialogs;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::vector<std::unique_ptr<COpenDocument>> m_documents;
    // Documents whose last window is closing: kept until that window is gone.
    std::vector<std::unique_ptr<COpenDocument>> m_closing;
    CRecentFileList m_recentFiles;
    CommandMap m_commands;
    bool m_bShuttingDown = false;
};
