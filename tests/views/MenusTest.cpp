// The command vocabulary in the running main window, without a display: both menu
// bars item for item, which commands are enabled with and without documents, what
// the accelerators do, the toolbar, the status bar prompts and the header dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QEnterEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <memory>

#include "app/ChildFrame.h"
#include "app/CommandTable.h"
#include "app/DorvanelleApp.h"
#include "app/KeyboardIndicators.h"
#include "app/MainFrame.h"
#include "app/Settings.h"
#include "document/DorvanelleDoc.h"
#include "image/BmpFile.h"
#include "tests/support/DicomStreamBuilder.h"
#include "tests/support/TempFiles.h"
#include "tests/views/QStringPrinter.h"
#include "views/DorvanelleView.h"
#include "views/HeaderDetailsDialog.h"
#include "views/HeaderListModel.h"
#include "views/UserDialogs.h"

namespace {

// Answers every dialog at once and remembers what was asked.
class RecordingDialogs : public IUserDialogs {
public:
    QStringList GetOpenFileNames(QWidget*, const QString&) override
    {
        ++openAsked;
        return {};
    }
    QString GetSaveFileName(QWidget*, const QString&) override
    {
        ++saveAsked;
        return {};
    }
    void ShowMessage(QWidget*, QMessageBox::Icon, const QString&, const QString& text) override
    {
        messages.push_back(text);
    }
    int RunModal(QDialog& dialog) override
    {
        ++modalRuns;
        if (auto* header = qobject_cast<HeaderDetailsDialog*>(&dialog)) {
            headerTitle = header->windowTitle();
            headerRows = header->model()->rowCount();
            headerNotice = header->notice();
            headerModal = header->isModal();
        }
        return QDialog::Rejected;
    }

    int openAsked = 0;
    int saveAsked = 0;
    int modalRuns = 0;
    QStringList messages;
    QString headerTitle;
    int headerRows = -1;
    QString headerNotice;
    bool headerModal = false;
};

// The visible entries of a menu: texts, "-" for a separator.
QStringList Entries(QMenu* menu)
{
    emit menu->aboutToShow();
    QStringList entries;
    for (QAction* action : menu->actions()) {
        if (!action->isVisible())
            continue;
        entries.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return entries;
}

DicomStreamBuilder Study(int frames)
{
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(4, 4, 8);
    if (frames > 0)
        b.ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames));
    return b.PixelData8(std::vector<std::uint8_t>(static_cast<std::size_t>(16 * std::max(frames, 1)), 100));
}

class MenusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenSettings().clear();
        m_app = std::make_unique<CDorvanelleApp>(m_dialogs);
        ASSERT_TRUE(m_app->InitInstance({}, false));
        m_frame = m_app->MainFrame();
        m_frame->resize(1000, 700);
        m_frame->show();
        m_frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
        Idle();
    }
    void TearDown() override
    {
        m_app.reset();
        OpenSettings().clear();
    }

    // Lets the event loop run dry once, which is when states are brought up to date.
    static void Idle()
    {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }

    std::string Write(const DicomStreamBuilder& b, const std::string& name)
    {
        const std::string path = m_folder.File(name);
        EXPECT_TRUE(b.WriteTo(path));
        return path;
    }
    std::string WriteBitmap(const std::string& name)
    {
        const std::string path = m_folder.File(name);
        PackedDibPtr dib = CreateGreyDib(8, 8);
        EXPECT_TRUE(WriteBmpFile(dib.get(), path).written);
        return path;
    }
    CChildFrame* Open(const std::string& path)
    {
        CChildFrame* child = m_app->OpenDocumentFile(QString::fromStdString(path));
        Idle();
        return child;
    }

    QAction* Action(int id) const { return m_frame->Action(id); }
    bool Enabled(int id) const { return Action(id)->isEnabled(); }
    QMenu* Menu(int index) const { return m_frame->menuBar()->actions().at(index)->menu(); }
    QToolBar* ToolBar() const { return m_frame->findChild<QToolBar*>(); }
    QToolButton* Button(int id) const { return qobject_cast<QToolButton*>(ToolBar()->widgetForAction(Action(id))); }

    TempFolder m_folder;
    RecordingDialogs m_dialogs;
    std::unique_ptr<CDorvanelleApp> m_app;
    CMainFrame* m_frame = nullptr;
};

TEST_F(MenusTest, NoDocumentMenuBar)
{
    EXPECT_EQ(m_frame->MenuTitles(), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_EQ(Entries(Menu(0)), (QStringList{"&Open...\tCtrl+O", "-", "Recent File", "-", "E&xit"}));
    EXPECT_FALSE(Enabled(ID_FILE_MRU_FILE1));  // stands greyed while the list is empty
    EXPECT_EQ(Entries(Menu(1)), (QStringList{"&Toolbar", "&Status Bar"}));
    EXPECT_EQ(Entries(Menu(2)), (QStringList{"&About Dorvanelle..."}));
}

TEST_F(MenusTest, DocumentMenuBarComesAndGoesWithTheWindows)
{
    const std::string path = Write(Study(0), "single.dcm");
    ASSERT_NE(Open(path), nullptr);
    EXPECT_EQ(m_frame->MenuTitles(),
              (QStringList{"&File", "&Edit", "Actions", "Filters", "&View", "&Window", "&Help"}));
    const QStringList file = Entries(Menu(0));
    ASSERT_EQ(file.size(), 9) << file.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(file.mid(0, 6), (QStringList{"&Open...\tCtrl+O", "&Close", "-", "Save Selected Image",
                                           "&Save\tCtrl+S", "-"}));
    // The opened file took the place of "Recent File", shortened to 30 characters.
    EXPECT_TRUE(file[6].startsWith(QStringLiteral("&1 "))) << file[6].toStdString();
    EXPECT_LE(file[6].size() - 3, 30);
    EXPECT_TRUE(file[6].endsWith(QStringLiteral("single.dcm")));
    EXPECT_EQ(file.mid(7), (QStringList{"-", "E&xit"}));
    EXPECT_EQ(Entries(Menu(1)), (QStringList{"&Undo\tCtrl+Z", "-", "Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V"}));
    EXPECT_EQ(Entries(Menu(2)), (QStringList{"Rectangle", "Video"}));
    EXPECT_EQ(Entries(Menu(3)), (QStringList{"Smoothing"}));
    EXPECT_EQ(Entries(Menu(4)), (QStringList{"&Toolbar", "&Status Bar"}));
    EXPECT_EQ(Entries(Menu(5)),
              (QStringList{"&New Window", "&Cascade", "&Tile", "&Arrange Icons", "-", "&1 single.dcm ==>8 bpp"}));
    EXPECT_EQ(Entries(Menu(6)), (QStringList{"&About Dorvanelle..."}));

    Action(ID_FILE_CLOSE)->trigger();
    Idle();
    EXPECT_EQ(m_frame->MenuTitles(), (QStringList{"&File", "&View", "&Help"}));
}

TEST_F(MenusTest, WindowMenuListsEveryChildWindow)
{
    ASSERT_NE(Open(Write(Study(0), "a.dcm")), nullptr);
    ASSERT_NE(Open(Write(Study(3), "b.dcm")), nullptr);
    const QStringList window = Entries(Menu(5));
    EXPECT_EQ(window.mid(4), (QStringList{"-", "&1 a.dcm ==>8 bpp", "&2 b.dcm ==>8 bpp"}));
    // Shown again, the list is rebuilt rather than appended twice.
    EXPECT_EQ(Entries(Menu(5)).size(), window.size());
}

TEST_F(MenusTest, EnablingWithoutADocument)
{
    for (int id : {ID_FILE_OPEN, ID_APP_ABOUT, ID_APP_EXIT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR})
        EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {ID_FILE_SAVE, ID_FILE_SAVE_SELECTED, ID_SHOW_DICOM_HEADER, ID_ACTIONS_RECTANGLE, ID_FIRST_SLIDE,
                   ID_PREV_SLIDE, ID_NEXT_SLIDE, ID_LAST_SLIDE, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE,
                   ID_EDIT_UNDO, ID_FILE_PRINT, ID_PLAY_VIDEO, ID_NEXT_PANE, ID_PREV_PANE})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(Button(ID_FILE_SAVE)->isEnabled());
    EXPECT_TRUE(Button(ID_FILE_OPEN)->isEnabled());
}

TEST_F(MenusTest, EnablingFollowsTheActiveDocument)
{
    CChildFrame* single = Open(Write(Study(0), "single.dcm"));
    ASSERT_NE(single, nullptr);
    for (int id : {ID_FILE_SAVE, ID_FILE_SAVE_SELECTED, ID_FILE_CLOSE, ID_SHOW_DICOM_HEADER, ID_ACTIONS_RECTANGLE,
                   ID_WINDOW_NEW, ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE})
        EXPECT_TRUE(Enabled(id)) << id;
    // Nothing handles these, whatever is open.
    for (int id : {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_ACTIONS_VIDEO, ID_FILTERS_SMOOTHING,
                   ID_FILE_PRINT, ID_PLAY_VIDEO, ID_NEXT_PANE, ID_PREV_PANE})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int id : {ID_FIRST_SLIDE, ID_PREV_SLIDE, ID_NEXT_SLIDE, ID_LAST_SLIDE})
        EXPECT_FALSE(Enabled(id)) << "one frame: " << id;

    CChildFrame* multi = Open(Write(Study(3), "multi.dcm"));
    ASSERT_NE(multi, nullptr);
    for (int id : {ID_FIRST_SLIDE, ID_PREV_SLIDE, ID_NEXT_SLIDE, ID_LAST_SLIDE})
        EXPECT_TRUE(Enabled(id)) << "three frames: " << id;

    CChildFrame* bitmap = Open(WriteBitmap("picture.bmp"));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_FALSE(Enabled(ID_NEXT_SLIDE));
    EXPECT_TRUE(Enabled(ID_SHOW_DICOM_HEADER));

    // Switching windows changes the states at the next idle moment.
    m_frame->MdiArea()->setActiveSubWindow(multi);
    Idle();
    EXPECT_TRUE(Enabled(ID_LAST_SLIDE));
    EXPECT_TRUE(Button(ID_LAST_SLIDE)->isEnabled());
    m_frame->MdiArea()->setActiveSubWindow(single);
    Idle();
    EXPECT_FALSE(Enabled(ID_LAST_SLIDE));
    EXPECT_FALSE(Button(ID_LAST_SLIDE)->isEnabled());
}

TEST_F(MenusTest, AcceleratorsWithoutAHandlerDoNothing)
{
    CChildFrame* first = Open(Write(Study(3), "first.dcm"));
    CChildFrame* second = Open(Write(Study(0), "second.dcm"));
    ASSERT_TRUE(first && second);
    const CDorvanelleDoc& doc = second->View()->GetDocument();
    const PackedDib* image = doc.m_pDib.get();
    QWidget* target = second->View()->viewport();

    const std::pair<Qt::Key, Qt::KeyboardModifiers> idle[] = {
        {Qt::Key_C, Qt::ControlModifier},   {Qt::Key_Insert, Qt::ControlModifier},
        {Qt::Key_X, Qt::ControlModifier},   {Qt::Key_Delete, Qt::ShiftModifier},
        {Qt::Key_V, Qt::ControlModifier},   {Qt::Key_Insert, Qt::ShiftModifier},
        {Qt::Key_Z, Qt::ControlModifier},   {Qt::Key_Backspace, Qt::AltModifier},
        {Qt::Key_F6, Qt::NoModifier},       {Qt::Key_F6, Qt::ShiftModifier},
    };
    for (const auto& [key, modifiers] : idle) {
        QTest::keyClick(target, key, modifiers);
        Idle();
        EXPECT_EQ(m_frame->ActiveChild(), second) << key;
        EXPECT_EQ(doc.m_pDib.get(), image) << key;
        EXPECT_EQ(m_app->DocumentCount(), 2u) << key;
    }
    EXPECT_EQ(m_dialogs.openAsked + m_dialogs.saveAsked + m_dialogs.modalRuns, 0);
    EXPECT_TRUE(m_dialogs.messages.isEmpty());

    // The handled ones do reach their commands.
    QTest::keyClick(target, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(m_dialogs.openAsked, 1);
    QTest::keyClick(target, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(m_dialogs.saveAsked, 1);
}

TEST_F(MenusTest, Toolbar)
{
    QToolBar* bar = ToolBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->windowTitle(), "Main Toolbar");  // its caption when it floats
    EXPECT_TRUE(bar->isMovable());
    EXPECT_TRUE(bar->isFloatable());
    EXPECT_EQ(m_frame->toolBarArea(bar), Qt::TopToolBarArea);
    std::vector<int> layout;
    for (QAction* action : bar->actions()) {
        if (action->isSeparator()) {
            layout.push_back(0);
            continue;
        }
        int id = -1;
        for (const CommandInfo& row : Commands())
            if (Action(row.id) == action)
                id = row.id;
        layout.push_back(id);
        const QToolButton* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(bar->iconSize(), QSize(22, 21));
        EXPECT_FALSE(action->icon().isNull()) << id;
        EXPECT_EQ(action->toolTip(), QString::fromLatin1(FindCommand(id)->tooltip)) << id;
    }
    EXPECT_EQ(layout, ToolbarLayout());
    EXPECT_EQ(Action(ID_LAST_SLIDE)->toolTip(), "Move to Last Image");
}

TEST_F(MenusTest, SelectRectangleShowsPressedWhileSelecting)
{
    CChildFrame* child = Open(Write(Study(0), "single.dcm"));
    ASSERT_NE(child, nullptr);
    EXPECT_FALSE(Button(ID_ACTIONS_RECTANGLE)->isChecked());
    EXPECT_FALSE(Action(ID_ACTIONS_RECTANGLE)->isCheckable());  // no empty box in the menu
    Button(ID_ACTIONS_RECTANGLE)->click();
    Idle();
    EXPECT_TRUE(child->View()->m_bSelectMode);
    EXPECT_TRUE(Button(ID_ACTIONS_RECTANGLE)->isChecked());
    EXPECT_TRUE(Action(ID_ACTIONS_RECTANGLE)->isChecked());  // the Actions menu's check mark
    Action(ID_ACTIONS_RECTANGLE)->trigger();
    Idle();
    EXPECT_FALSE(child->View()->m_bSelectMode);
    EXPECT_FALSE(Button(ID_ACTIONS_RECTANGLE)->isChecked());
}

TEST_F(MenusTest, ViewMenuTogglesToolbarAndStatusBar)
{
    EXPECT_TRUE(Action(ID_VIEW_TOOLBAR)->isChecked());
    EXPECT_TRUE(Action(ID_VIEW_STATUS_BAR)->isChecked());
    Action(ID_VIEW_TOOLBAR)->trigger();
    Idle();
    EXPECT_TRUE(ToolBar()->isHidden());
    EXPECT_FALSE(Action(ID_VIEW_TOOLBAR)->isChecked());
    Action(ID_VIEW_STATUS_BAR)->trigger();
    Idle();
    EXPECT_TRUE(m_frame->statusBar()->isHidden());
    EXPECT_FALSE(Action(ID_VIEW_STATUS_BAR)->isChecked());
    Action(ID_VIEW_TOOLBAR)->trigger();
    Action(ID_VIEW_STATUS_BAR)->trigger();
    Idle();
    EXPECT_TRUE(ToolBar()->isVisible());
    EXPECT_TRUE(m_frame->statusBar()->isVisible());
    EXPECT_TRUE(Action(ID_VIEW_TOOLBAR)->isChecked());
    EXPECT_TRUE(Action(ID_VIEW_STATUS_BAR)->isChecked());
}

TEST_F(MenusTest, StatusBarPromptsAndReady)
{
    ASSERT_NE(Open(Write(Study(3), "multi.dcm")), nullptr);
    QStatusBar* status = m_frame->statusBar();
    EXPECT_EQ(status->currentMessage(), "Ready");

    // Resting on a toolbar button.
    QToolButton* button = Button(ID_LAST_SLIDE);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(button, &enter);
    EXPECT_EQ(status->currentMessage(), "Move to Last Image");
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    EXPECT_EQ(status->currentMessage(), "Ready");

    // Highlighting a menu item.
    QMenu* file = Menu(0);
    file->popup(m_frame->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    file->setActiveAction(Action(ID_FILE_OPEN));
    EXPECT_EQ(status->currentMessage(), "Open an existing document");
    file->setActiveAction(Action(ID_FILE_SAVE_SELECTED));
    EXPECT_EQ(status->currentMessage(), "Save Selected Image");
    file->hide();
    Idle();
    EXPECT_EQ(status->currentMessage(), "Ready");
}

TEST_F(MenusTest, LockKeyPanesFollowWhatThePlatformTells)
{
    auto* indicators = m_frame->statusBar()->findChild<CKeyboardIndicators*>();
    ASSERT_NE(indicators, nullptr);
    // Right of the message pane, in this order, each as wide as its text.
    const QList<QLabel*> panes = m_frame->statusBar()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    QStringList names;
    for (QLabel* pane : panes)
        names.push_back(pane->objectName());
    EXPECT_EQ(names, (QStringList{"CAP", "NUM", "SCRL"}));
    const int scrollWidth = indicators->ScrollPane()->width();

    indicators->Show({true, false, std::nullopt});
    EXPECT_EQ(indicators->CapsPane()->text(), "CAP");
    EXPECT_EQ(indicators->NumPane()->text(), "");
    EXPECT_EQ(indicators->ScrollPane()->text(), "");  // the platform could not tell
    indicators->Show({false, true, true});
    EXPECT_EQ(indicators->CapsPane()->text(), "");
    EXPECT_EQ(indicators->NumPane()->text(), "NUM");
    EXPECT_EQ(indicators->ScrollPane()->text(), "SCRL");
    EXPECT_EQ(indicators->ScrollPane()->width(), scrollWidth);

    // Without a windowing system nothing is known, and the panes go blank again.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        QTest::keyClick(m_frame, Qt::Key_CapsLock);
        Idle();
        EXPECT_EQ(indicators->NumPane()->text(), "");
        EXPECT_EQ(indicators->ScrollPane()->text(), "");
    }
}

TEST_F(MenusTest, ShowDicomHeaderListsTheActiveDocument)
{
    ASSERT_NE(Open(Write(Study(3), "multi.dcm")), nullptr);
    Button(ID_SHOW_DICOM_HEADER)->click();
    EXPECT_EQ(m_dialogs.modalRuns, 1);
    EXPECT_EQ(m_dialogs.headerTitle, "Dicom File Header Details");
    EXPECT_TRUE(m_dialogs.headerModal);
    EXPECT_GT(m_dialogs.headerRows, 10);
    EXPECT_TRUE(m_dialogs.headerNotice.isEmpty());

    ASSERT_NE(Open(WriteBitmap("picture.bmp")), nullptr);
    Action(ID_SHOW_DICOM_HEADER)->trigger();
    EXPECT_EQ(m_dialogs.modalRuns, 2);
    EXPECT_EQ(m_dialogs.headerRows, 0);
    EXPECT_FALSE(m_dialogs.headerNotice.isEmpty());
}

}  // namespace
