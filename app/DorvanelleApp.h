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
class SeriesStack;
struct OpenPlan;

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
    // Opens what the user chose at once (OpenPaths.h): single files in windows of
    // their own, folders, DICOMDIRs and several DICOM files into the study browser.
    void OpenPaths(const QStringList& paths);
    // Opens a stack of a series in a new child window, or activates the window that
    // shows the same stack as it was indexed.
    CChildFrame* OpenStack(std::shared_ptr<SeriesStack> stack);

    // Commands.
    void OnFileOpen();
    void OnFileOpenFolder();
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
    // Reads `path` into a new document; null when it cannot be opened (the user is told why).
    std::shared_ptr<CDocumentController> OpenController(const QString& path);
    // A new child window for the opened document, and the file in the recent-file list.
    CChildFrame* ShowDocument(const QString& path, const std::shared_ptr<CDocumentController>& controller);
    // Shows the study browser and indexes what the plan says.
    void Index(const OpenPlan& plan);
    // An index ended: with no window open yet, its first series opens.
    void OnIndexFinished(int entry);
    void SaveRecentFilesLater();
    QString ChooseSavePath();

    IUserDialogs& m_dialogs;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<CNetworkWindows> m_network;
    CRecentFileList m_recentFiles;
    bool m_recentFilesUnsaved = false;
    CommandMap m_commands;
};
