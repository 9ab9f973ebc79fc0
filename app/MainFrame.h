// The main window: the MDI area with the child windows, the toolbar, the status bar
// and the control panel fixed along the left edge. It turns the command table into
// one action per command, builds both menu bars, the toolbar and the shortcuts, and
// routes every command along view, document, child frame, application, main frame.
#pragma once

#include <map>
#include <vector>

#include <QMainWindow>
#include <QPointer>

#include "app/CommandTable.h"
#include "views/CommandMap.h"

class CChildFrame;
class CControlPanel;
class CMeasurementPanel;
class CDocumentController;
class CDorvanelleApp;
class CDorvanelleView;
class CStudyBrowser;
class IUserDialogs;
class QAction;
class QMdiArea;
class QLabel;
class QMenu;
class QMdiSubWindow;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(CDorvanelleApp& app, IUserDialogs& dialogs);
    ~CMainFrame() override;

    QMdiArea* MdiArea() const { return m_pMdiArea; }
    CChildFrame* ActiveChild() const;
    CDorvanelleView* ActiveView() const;
    // The open child windows, oldest first (closed ones that wait to be deleted are
    // not counted).
    std::vector<CChildFrame*> Children() const;
    // Shows a new child window, titles it among its document's windows and makes it
    // the active one.
    void AddChild(CChildFrame* frame);
    // Tells the user what a document reports: notices and problems in message boxes.
    void Follow(CDocumentController& controller);

    QAction* Action(int id) const;
    // The maps on the routing path of the moment.
    RoutingPath CurrentPath() const;
    void ExecuteCommand(int id);
    // Offers every action to the routing path: enabled, checked, or disabled when no
    // one handles it. Runs whenever something a state depends on says it changed:
    // the active view or document, the set of windows, a command run.
    void UpdateActions();
    // The recent-file entries of the File menus.
    void RefreshRecentFiles();
    // Menu bar and title after a child window came, went or became active.
    void OnChildSetChanged();
    bool ShowsDocumentMenus() const { return m_bDocumentMenus; }
    QStringList MenuTitles() const;

    CControlPanel* m_wndControlPanel = nullptr;
    CMeasurementPanel* m_wndMeasurements = nullptr;
    CStudyBrowser* StudyBrowser() const { return m_pStudyBrowser; }

protected:
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void BuildMenus(const std::vector<MenuEntry>& layout, std::vector<QMenu*>& menus);
    void FillMenu(QMenu* menu, const std::vector<MenuEntry>& entries);
    void BuildToolBar();
    void BuildCommands();
    void ShowMenuSet(bool document);
    void FillWindowList(QMenu* menu);
    void Cascade();
    void ArrangeIcons();
    void OnSubWindowActivated(QMdiSubWindow* window);
    // The items of a menu that the active view makes (window presets, cine rates).
    void FillChoices(QMenu* menu, int id);
    void ShowStatusTexts();
    // Titles the windows of one document "title", or "title:1", "title:2"... when
    // there are several.
    void RetitleFrames(const CDocumentController& controller);
    // A document read on a worker has opened: its windows are titled again, and the
    // panel and status bar reloaded when it is the active one.
    void OnDocumentOpened(const CDocumentController& controller);
    void ShowWarning(const QString& text);
    void WatchActive(CChildFrame* frame);

    CDorvanelleApp& m_app;
    IUserDialogs& m_dialogs;
    QMdiArea* m_pMdiArea = nullptr;
    CStudyBrowser* m_pStudyBrowser = nullptr;
    QLabel* m_pReadoutPane = nullptr;
    QLabel* m_pFramePane = nullptr;
    std::vector<std::pair<int, QMenu*>> m_choiceMenus;
    QToolBar* m_wndToolBar = nullptr;
    std::map<int, QAction*> m_actions;
    std::vector<QMenu*> m_noDocumentMenus;
    std::vector<QMenu*> m_documentMenus;
    std::map<QMenu*, std::vector<QAction*>> m_windowListActions;
    CommandMap m_commands;
    QMdiSubWindow* m_pLastActivated = nullptr;  // compared only, never used
    QPointer<CDorvanelleView> m_watchedView;
    QPointer<CDocumentController> m_watchedController;
    bool m_bDocumentMenus = false;
    bool m_bUpdating = false;
    bool m_bClosing = false;  // set while the frame is destroyed
};
