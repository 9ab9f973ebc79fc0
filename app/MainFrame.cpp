#include "app/MainFrame.h"

#include <algorithm>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/KeyboardIndicators.h"
#include "app/RecentFileList.h"
#include "app/ToolbarIcons.h"
#include "document/ProgramNames.h"
#include "views/ControlPanel.h"
#include "views/MeasurementPanel.h"
#include "views/StudyBrowser.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/UserDialogs.h"

namespace {

const QString kAppName = QString::fromLatin1(kProgramName);
const QString kIdleText = QStringLiteral("Ready");

// The menu text of `id` in a layout, searched depth first; null when absent.
const char* MenuTextOf(const std::vector<MenuEntry>& entries, int id) {
    for (const MenuEntry& entry : entries) {
        if (entry.kind == MenuEntry::Kind::Item && entry.id == id) return entry.text;
        if (entry.kind == MenuEntry::Kind::Popup) {
            if (const char* text = MenuTextOf(entry.children, id)) return text;
        }
    }
    return nullptr;
}

}  // namespace

CMainFrame::CMainFrame(CDorvanelleApp& app, IUserDialogs& dialogs) : m_app(app), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(kAppName);
    setAcceptDrops(true);

    m_pMdiArea = new QMdiArea(this);
    setCentralWidget(m_pMdiArea);

    m_wndToolBar = addToolBar(QStringLiteral("Main Toolbar"));
    m_wndToolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_wndToolBar->setIconSize(QSize(kToolbarIconWidth, kToolbarIconHeight));
    // Docked at the top; it has a gripper, docks at any edge and floats with its caption.
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setFloatable(true);
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    statusBar()->showMessage(kIdleText);
    // The pixel under the cursor and the frame shown, left of the key lights.
    m_pReadoutPane = new QLabel(statusBar());
    m_pReadoutPane->setObjectName(QStringLiteral("readoutPane"));
    m_pFramePane = new QLabel(statusBar());
    m_pFramePane->setObjectName(QStringLiteral("framePane"));
    statusBar()->addPermanentWidget(m_pReadoutPane);
    statusBar()->addPermanentWidget(m_pFramePane);
    new CKeyboardIndicators(statusBar());  // "CAP", "NUM", "SCRL"

    // The control panel: fixed on the left, no title, cannot be moved or hidden; the
    // measurement panel below it takes the rest of the height.
    auto* dock = new QDockWidget(this);
    dock->setObjectName(QStringLiteral("controlPanelDock"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    dock->setTitleBarWidget(new QWidget(dock));
    // On a screen too low for both, the column scrolls rather than letting the list
    // cover the histograms; the scroll bar widens the column instead of hiding its edge.
    auto* scroller = new QScrollArea(dock);
    scroller->setObjectName(QStringLiteral("panelScroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* column = new QWidget(scroller);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_wndControlPanel = new CControlPanel(column);
    m_wndMeasurements = new CMeasurementPanel(column);
    const int columnWidth = m_wndControlPanel->width();
    m_wndMeasurements->setFixedWidth(columnWidth);
    layout->addWidget(m_wndControlPanel);
    layout->addWidget(m_wndMeasurements, 1);
    scroller->setWidget(column);
    scroller->setFixedWidth(columnWidth);
    connect(scroller->verticalScrollBar(), &QScrollBar::rangeChanged, scroller, [scroller, columnWidth](int, int most) {
        const int bar = most > 0 ? scroller->verticalScrollBar()->sizeHint().width() : 0;
        scroller->setFixedWidth(columnWidth + bar);
    });
    dock->setWidget(scroller);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    // The study browser: hidden until a folder, a DICOMDIR or several files are opened;
    // beside the control panel, at full height, so that neither squeezes the other.
    m_pStudyBrowser = new CStudyBrowser(statusBar(), this);
    addDockWidget(Qt::LeftDockWidgetArea, m_pStudyBrowser);
    splitDockWidget(dock, m_pStudyBrowser, Qt::Horizontal);
    m_pStudyBrowser->hide();

    CreateActions();
    BuildCommands();
    BuildMenus(NoDocumentMenu(), m_noDocumentMenus);
    BuildMenus(DocumentMenu(), m_documentMenus);
    BuildToolBar();
    ShowMenuSet(false);
    RefreshRecentFiles();

    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);
    // The actions follow what their state depends on: the active view and its
    // document say when that changes (see WatchActive), and so do the toolbar and
    // every command run.
    connect(m_wndToolBar, &QToolBar::visibilityChanged, this, &CMainFrame::UpdateActions);
    UpdateActions();
}

CMainFrame::~CMainFrame() {
    // The child windows go with the frame and must not reach its handlers: the area
    // lists only the open ones, so windows closed but not yet deleted are found as
    // children. What still arrives (a toolbar hidden, a view's signal) finds the frame
    // closing and is ignored.
    m_bClosing = true;
    disconnect(m_pMdiArea, nullptr, this, nullptr);
    disconnect(m_wndToolBar, nullptr, this, nullptr);
    for (CChildFrame* window : m_pMdiArea->findChildren<CChildFrame*>()) {
        disconnect(window, nullptr, this, nullptr);
        disconnect(window->View(), nullptr, this, nullptr);
    }
    WatchActive(nullptr);
}

void CMainFrame::CreateActions() {
    std::map<int, QList<QKeySequence>> shortcuts;
    for (const AcceleratorEntry& entry : Accelerators()) {
        shortcuts[entry.id].push_back(QKeySequence(QString::fromLatin1(entry.keys)));
    }
    for (const CommandInfo& info : Commands()) {
        auto* action = new QAction(this);
        const char* text = MenuTextOf(DocumentMenu(), info.id);
        if (!text) text = MenuTextOf(NoDocumentMenu(), info.id);
        // A command without menu text or tooltip (Print) stays without text, so that
        // its button shows no tooltip at all.
        if (!text) text = info.tooltip;
        action->setText(QString::fromLatin1(text));
        action->setStatusTip(QString::fromLatin1(info.prompt));
        if (*info.tooltip) action->setToolTip(QString::fromLatin1(info.tooltip));
        const QIcon icon = ToolbarIcon(info.id);
        if (!icon.isNull()) action->setIcon(icon);
        action->setIconVisibleInMenu(false);
        if (auto it = shortcuts.find(info.id); it != shortcuts.end()) action->setShortcuts(it->second);
        const int id = info.id;
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        addAction(action);  // shortcuts work whichever menu bar is shown
        m_actions[id] = action;
    }
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::BuildCommands() {
    m_commands.On(
        ID_VIEW_TOOLBAR, [this] { m_wndToolBar->setVisible(m_wndToolBar->isHidden()); },
        [this](CommandUi& ui) { ui.SetCheck(!m_wndToolBar->isHidden()); });
    m_commands.On(
        ID_VIEW_STATUS_BAR, [this] { statusBar()->setVisible(statusBar()->isHidden()); },
        [this](CommandUi& ui) { ui.SetCheck(!statusBar()->isHidden()); });
    m_commands.On(
        ID_VIEW_STUDY_BROWSER, [this] { m_pStudyBrowser->setVisible(m_pStudyBrowser->isHidden()); },
        [this](CommandUi& ui) { ui.SetCheck(!m_pStudyBrowser->isHidden()); });
    auto needsChild = [this](CommandUi& ui) { ui.Enable(ActiveChild() != nullptr); };
    m_commands.On(
        ID_WINDOW_NEW, [this] { m_app.OnWindowNew(); }, needsChild);
    m_commands.On(
        ID_WINDOW_CASCADE, [this] { Cascade(); }, needsChild);
    m_commands.On(
        ID_WINDOW_TILE_HORZ, [this] { m_pMdiArea->tileSubWindows(); }, needsChild);
    m_commands.On(
        ID_WINDOW_ARRANGE, [this] { ArrangeIcons(); }, needsChild);
    m_commands.On(
        ID_WINDOW_NEXT, [this] { m_pMdiArea->activateNextSubWindow(); }, needsChild);
    m_commands.On(
        ID_WINDOW_PREV, [this] { m_pMdiArea->activatePreviousSubWindow(); }, needsChild);
}

void CMainFrame::BuildMenus(const std::vector<MenuEntry>& layout, std::vector<QMenu*>& menus) {
    for (const MenuEntry& entry : layout) {
        auto* menu = new QMenu(QString::fromLatin1(entry.text), this);
        FillMenu(menu, entry.children);
        menus.push_back(menu);
    }
}

void CMainFrame::FillMenu(QMenu* menu, const std::vector<MenuEntry>& entries) {
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::RefreshRecentFiles);
    for (const MenuEntry& entry : entries) {
        switch (entry.kind) {
        case MenuEntry::Kind::Item:
            if (QAction* action = Action(entry.id)) menu->addAction(action);
            break;
        case MenuEntry::Kind::Separator: menu->addSeparator(); break;
        case MenuEntry::Kind::Popup: {
            QMenu* sub = menu->addMenu(QString::fromLatin1(entry.text));
            FillMenu(sub, entry.children);
            break;
        }
        case MenuEntry::Kind::RecentFiles:
            for (int i = 0; i < CRecentFileList::kSize; ++i) {
                if (QAction* action = Action(ID_FILE_MRU_FILE1 + i)) menu->addAction(action);
            }
            break;
        case MenuEntry::Kind::Choices: {
            QMenu* sub = menu->addMenu(QString::fromLatin1(entry.text));
            const int id = entry.id;
            m_choiceMenus.push_back({id, sub});
            connect(sub, &QMenu::aboutToShow, this, [this, sub, id] { FillChoices(sub, id); });
            break;
        }
        case MenuEntry::Kind::WindowList:
            connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillWindowList(menu); });
            break;
        }
    }
}

void CMainFrame::BuildToolBar() {
    for (int id : ToolbarLayout()) {
        if (id == 0) {
            m_wndToolBar->addSeparator();
        } else if (QAction* action = Action(id)) {
            m_wndToolBar->addAction(action);
        }
    }
    QToolBar* zoom = addToolBar(QStringLiteral("Zoom Toolbar"));
    zoom->setObjectName(QStringLiteral("zoomToolBar"));
    zoom->setIconSize(QSize(kToolbarIconWidth, kToolbarIconHeight));
    for (int id : ZoomToolbarLayout()) {
        if (QAction* action = Action(id)) zoom->addAction(action);
    }
}

void CMainFrame::FillChoices(QMenu* menu, int id) {
    menu->clear();
    CDorvanelleView* view = ActiveView();
    if (!view) return;
    for (const MenuChoice& choice : view->Choices(id)) {
        QAction* action = menu->addAction(choice.text);
        action->setCheckable(true);
        action->setChecked(choice.checked);
        connect(action, &QAction::triggered, this, [this, run = choice.run] {
            run();
            UpdateActions();
        });
    }
}

void CMainFrame::ShowStatusTexts() {
    if (m_bClosing) return;
    CDorvanelleView* view = ActiveView();
    m_pReadoutPane->setText(view ? view->ReadoutText() : QString());
    m_pFramePane->setText(view ? view->StatusFrameText() : QString());
}

void CMainFrame::ShowMenuSet(bool document) {
    m_bDocumentMenus = document;
    menuBar()->clear();
    for (QMenu* menu : document ? m_documentMenus : m_noDocumentMenus)
        menuBar()->addMenu(menu);
}

QStringList CMainFrame::MenuTitles() const {
    QStringList titles;
    for (QAction* action : menuBar()->actions())
        titles.push_back(action->text());
    return titles;
}

void CMainFrame::RefreshRecentFiles() {
    const CRecentFileList& list = m_app.RecentFiles();
    for (int i = 0; i < CRecentFileList::kSize; ++i) {
        QAction* action = Action(ID_FILE_MRU_FILE1 + i);
        if (!action) continue;
        if (i < list.Paths().size()) {
            action->setText(list.MenuText(i));
            action->setVisible(true);
        } else {
            // The first slot stands greyed as "Recent File" while the list is empty.
            action->setText(QStringLiteral("Recent File"));
            action->setVisible(i == 0 && list.Paths().isEmpty());
        }
    }
    UpdateActions();
}

void CMainFrame::FillWindowList(QMenu* menu) {
    for (QAction* old : m_windowListActions[menu])
        delete old;
    m_windowListActions[menu].clear();
    const auto children = Children();
    if (children.empty()) return;
    m_windowListActions[menu].push_back(menu->addSeparator());
    CChildFrame* active = ActiveChild();
    int number = 1;
    for (CChildFrame* frame : children) {
        QString title = frame->windowTitle();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = menu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(title));
        action->setCheckable(true);
        action->setChecked(frame == active);
        connect(action, &QAction::triggered, this, [this, frame] { m_pMdiArea->setActiveSubWindow(frame); });
        m_windowListActions[menu].push_back(action);
    }
}

void CMainFrame::Cascade() {
    // The windows step down and to the right by one title bar each, back to front in
    // their present stacking order with the active one last: every title bar stays in
    // sight and the active window ends in front. Minimised windows stay where they are.
    QMdiSubWindow* active = m_pMdiArea->activeSubWindow();
    std::vector<QMdiSubWindow*> order;
    for (QMdiSubWindow* window : m_pMdiArea->subWindowList(QMdiArea::StackingOrder)) {
        if (window != active && window->isVisible() && !window->isMinimized()) order.push_back(window);
    }
    if (active && !active->isMinimized()) order.push_back(active);
    if (order.empty()) return;
    const QStyle* style = order.front()->style();
    const int step = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, order.front()) +
                     style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, order.front());
    const QSize area = m_pMdiArea->viewport()->size();
    const int offset = step * static_cast<int>(order.size() - 1);
    // Each window as large as leaves room for the steps, but never below half the area.
    const QSize size(std::max(area.width() - offset, area.width() / 2),
                     std::max(area.height() - offset, area.height() / 2));
    int position = 0;
    for (QMdiSubWindow* window : order) {
        if (window->isMaximized()) window->showNormal();
        window->setGeometry(QRect(QPoint(position, position), size));
        window->raise();
        position += step;
    }
    if (active) m_pMdiArea->setActiveSubWindow(active);
}

void CMainFrame::ArrangeIcons() {
    // Minimised child windows in a row along the bottom of the area.
    int x = 0;
    const int bottom = m_pMdiArea->viewport()->height();
    for (CChildFrame* frame : Children()) {
        if (!frame->isMinimized()) continue;
        frame->move(x, bottom - frame->height());
        x += frame->width();
    }
}

CChildFrame* CMainFrame::ActiveChild() const { return qobject_cast<CChildFrame*>(m_pMdiArea->currentSubWindow()); }

CDorvanelleView* CMainFrame::ActiveView() const {
    CChildFrame* child = ActiveChild();
    return child ? child->View() : nullptr;
}

std::vector<CChildFrame*> CMainFrame::Children() const {
    std::vector<CChildFrame*> children;
    for (QMdiSubWindow* window : m_pMdiArea->subWindowList()) {
        auto* frame = qobject_cast<CChildFrame*>(window);
        // A closed window is hidden until it is deleted; a new one is not shown yet.
        const bool closed = frame && frame->isHidden() && frame->testAttribute(Qt::WA_WState_ExplicitShowHide);
        if (frame && !closed) children.push_back(frame);
    }
    return children;
}

void CMainFrame::AddChild(CChildFrame* frame) {
    m_pMdiArea->addSubWindow(frame);
    connect(frame, &QMdiSubWindow::windowStateChanged, this, &CMainFrame::OnChildSetChanged);
    // The view still holds the controller while its window is being destroyed; the
    // other windows of the document are titled again once it is gone.
    std::weak_ptr<CDocumentController> document = frame->View()->SharedController();
    connect(frame, &QObject::destroyed, this, [this, document] {
        if (m_bClosing) return;
        if (auto controller = document.lock()) RetitleFrames(*controller);
        OnChildSetChanged();
    });
    RetitleFrames(frame->Controller());
    frame->show();
    m_pMdiArea->setActiveSubWindow(frame);
    // While the main window itself is not active (no window manager, or another
    // program in front) the area activates the child silently; the new view must
    // still fill the panel and fit its window.
    if (m_pLastActivated != frame) OnSubWindowActivated(frame);
}

RoutingPath CMainFrame::CurrentPath() const {
    if (CChildFrame* child = ActiveChild()) {
        return {&child->View()->Commands(), &child->Commands(), &m_app.Commands(), &m_commands};
    }
    return {&m_commands, &m_app.Commands()};
}

void CMainFrame::ExecuteCommand(int id) {
    const RoutingPath path = CurrentPath();
    if (RouteUpdate(path, id).enabled) RouteCommand(path, id);
    UpdateActions();
}

void CMainFrame::UpdateActions() {
    if (m_bUpdating || m_bClosing) return;
    m_bUpdating = true;
    const RoutingPath path = CurrentPath();
    for (auto& [id, action] : m_actions) {
        const CommandUi ui = RouteUpdate(path, id);
        action->setEnabled(ui.enabled);
        // Checkable only while checked: an unchecked item shows no empty box, and
        // a checked toolbar button shows pressed.
        const bool checked = ui.checked.value_or(false);
        action->setCheckable(checked);
        action->setChecked(checked);
    }
    for (const auto& [id, menu] : m_choiceMenus)
        menu->menuAction()->setEnabled(RouteUpdate(path, id).enabled);
    m_bUpdating = false;
}

void CMainFrame::WatchActive(CChildFrame* frame) {
    // Only the active window's view and document decide the actions' states.
    static constexpr void (CDocumentController::*kDocumentChanges[])() = {
        &CDocumentController::imageChanged, &CDocumentController::selectionChanged,
        &CDocumentController::windowChanged, &CDocumentController::sampleRangeChanged,
        &CDocumentController::measurementsChanged};
    if (m_watchedView) disconnect(m_watchedView, &CDorvanelleView::stateChanged, this, &CMainFrame::UpdateActions);
    if (m_watchedController) {
        for (auto signal : kDocumentChanges)
            disconnect(m_watchedController, signal, this, &CMainFrame::UpdateActions);
    }
    m_watchedView = frame ? frame->View() : nullptr;
    m_watchedController = frame ? &frame->Controller() : nullptr;
    if (!frame) return;
    connect(m_watchedView, &CDorvanelleView::stateChanged, this, &CMainFrame::UpdateActions);
    for (auto signal : kDocumentChanges)
        connect(m_watchedController, signal, this, &CMainFrame::UpdateActions);
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* window) {
    if (m_bClosing) return;
    m_pLastActivated = window;
    WatchActive(qobject_cast<CChildFrame*>(window));
    // Cine plays only in the active window; the status panes follow that window.
    for (CChildFrame* child : Children()) {
        if (child != window) {
            child->View()->StopCine();
            disconnect(child->View(), &CDorvanelleView::statusTextsChanged, this, &CMainFrame::ShowStatusTexts);
        }
    }
    if (auto* frame = qobject_cast<CChildFrame*>(window)) {
        connect(frame->View(), &CDorvanelleView::statusTextsChanged, this, &CMainFrame::ShowStatusTexts,
                Qt::UniqueConnection);
        CDocumentController& controller = frame->Controller();
        // The panel speaks for the active document from now on, reloaded in full.
        m_wndControlPanel->SetController(&controller);
        m_wndMeasurements->SetController(&controller);
        frame->View()->OnActivateView();
        // A document without an image says why, here and in its view; another
        // document's reason does not stay behind.
        const QString reason = controller.NoImageReason();
        statusBar()->showMessage(reason.isEmpty() ? kIdleText : reason);
    }
    ShowStatusTexts();
    OnChildSetChanged();
}

void CMainFrame::RetitleFrames(const CDocumentController& controller) {
    std::vector<CChildFrame*> frames;
    for (CChildFrame* frame : Children()) {
        if (&frame->Controller() == &controller) frames.push_back(frame);
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i]->setWindowTitle(frames.size() == 1 ? controller.Title()
                                                     : QStringLiteral("%1:%2").arg(controller.Title()).arg(i + 1));
    }
}

void CMainFrame::Follow(CDocumentController& controller) {
    connect(&controller, &CDocumentController::noticeRaised, this, &CMainFrame::ShowWarning);
    connect(&controller, &CDocumentController::problemReported, this, &CMainFrame::ShowWarning);
    connect(&controller, &CDocumentController::opened, this, [this, &controller] { OnDocumentOpened(controller); });
}

void CMainFrame::OnDocumentOpened(const CDocumentController& controller) {
    if (m_bClosing) return;
    RetitleFrames(controller);
    CChildFrame* child = ActiveChild();
    if (child != nullptr && &child->Controller() == &controller) {
        OnSubWindowActivated(child);
    } else {
        OnChildSetChanged();
    }
}

void CMainFrame::OnChildSetChanged() {
    if (m_bClosing) return;
    const bool any = !Children().empty();
    if (any != m_bDocumentMenus) ShowMenuSet(any);
    // A maximised child adds " - [title]" to the main window's title itself.
    CChildFrame* child = ActiveChild();
    const bool named = child && !child->isMaximized();
    setWindowTitle(named ? kAppName + QStringLiteral(" - ") + child->windowTitle() : kAppName);
    UpdateActions();
}

void CMainFrame::ShowWarning(const QString& text) { m_dialogs.ShowMessage(this, QMessageBox::Warning, kAppName, text); }

bool CMainFrame::event(QEvent* event) {
    // An item or button without a prompt brings back the idle text.
    if (event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent*>(event)->tip().isEmpty()) {
        statusBar()->showMessage(kIdleText);
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    // Dropped together, as if chosen together: folders and several DICOM files are
    // read into the study browser.
    m_app.OpenPaths(paths);
    event->acceptProposedAction();
}
