// The application: start-up, opening documents into child windows, the commands that
// act on the active document as a whole (save, close, new window), the recent-file
// list and the about box. The open documents are the controllers of the main
// window's child windows; the application keeps no list of its own.
#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

#include "app/RecentFileList.h"
#include "views/CommandMap.h"

class CChildFrame;
class CDocumentController;
class CMainFrame;
class CNetworkWindows;
class IUserDialogs;

// `path` with the extension of the save filter `filter` ("Dicom File (*.dcm)")
// appended when its file name has none.
QString WithFilterExtension(const QString& path, const QString& filter);

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
    void OnFileSave();
    void OnFileSaveSelected();
    void OnFileClose();
    void OnRecentFile(int index);

    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }
    // File > Query/Retrieve and File > Send To.
    CNetworkWindows& NetworkWindows() const { return *m_network; }
    const CommandMap& Commands() const { return m_commands; }
    const CRecentFileList& RecentFiles() const { return m_recentFiles; }
    // Documents shown by at least one open child window.
    std::size_t DocumentCount() const;

private:
    void BuildCommands();
    CChildFrame* MakeFrame(const std::shared_ptr<CDocumentController>& controller);
    // The framework's words for a missing or unreadable file; otherwise `reason`, the
    // document's own words, when there are any.
    void ReportOpenFailure(const QString& path, const QString& reason = {});
    void SaveRecentFilesLater();
    QString ChooseSavePath();

    IUserDialogs& m_dialogs;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<CNetworkWindows> m_network;
    CRecentFileList m_recentFiles;
    bool m_recentFilesUnsaved = false;
    CommandMap m_commands;
};
