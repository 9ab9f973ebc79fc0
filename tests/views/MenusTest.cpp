// The command vocabulary in the running main window, without a display: both menu
// bars item for item, which commands are enabled with and without documents, what
// the accelerators do, the toolbar, the status bar prompts and the header dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QWheelEvent>
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
#include "tests/support/TempFiles.h"
#include "tests/views/QStringPrinter.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "views/DorvanelleView.h"
#include "views/HeaderDetailsDialog.h"
#include "views/HeaderListModel.h"
#include "views/UserDialogs.h"

namespace {

// The visible entries of a menu: texts, "-" for a separator.
QStringList Entries(QMenu* menu) {
    emit menu->aboutToShow();
    QStringList entries;
    for (QAction* action : menu->actions()) {
        if (!action->isVisible()) continue;
        entries.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return entries;
}

DicomStreamBuilder Study(int frames) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(4, 4, 8);
    if (frames > 0) b.ExplicitText(0x0028, 0x0008, "IS", std::to_string(frames));
    return b.PixelData8(std::vector<std::uint8_t>(static_cast<std::size_t>(16 * std::max(frames, 1)), 100));
}

using MenusTest = ViewerApp;

// Writes the study to `path` and gives the path back.
std::string Written(const DicomStreamBuilder& b, const std::string& path) {
    EXPECT_TRUE(b.WriteTo(path));
    return path;
}

std::string Bitmap(const std::string& path) {
    EXPECT_TRUE(WriteGreyBmp(path, 8, 8, [](int, int) { return 0; }));
    return path;
}

TEST_F(MenusTest, NoDocumentMenuBar) {
    EXPECT_EQ(frame->MenuTitles(), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_EQ(Entries(Menu(0)),
              (QStringList{"&Open...\tCtrl+O", "-", "&Query/Retrieve...", "-", "Recent File", "-", "E&xit"}));
    EXPECT_FALSE(Enabled(ID_FILE_MRU_FILE1));  // stands greyed while the list is empty
    EXPECT_EQ(Entries(Menu(1)), (QStringList{"&Toolbar", "&Status Bar"}));
    EXPECT_EQ(Entries(Menu(2)), (QStringList{"&About Dorvanelle..."}));
}

TEST_F(MenusTest, DocumentMenuBarComesAndGoesWithTheWindows) {
    const std::string path = Written(Study(0), folder.File("single.dcm"));
    ASSERT_NE(Open(path), nullptr);
    EXPECT_EQ(frame->MenuTitles(), (QStringList{"&File", "&Edit", "Actions", "Filters", "&View", "&Window", "&Help"}));
    const QStringList file = Entries(Menu(0));
    ASSERT_EQ(file.size(), 12) << file.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(file.mid(0, 9), (QStringList{"&Open...\tCtrl+O", "&Close", "-", "Save Selected Image", "&Save\tCtrl+S",
                                           "-", "&Query/Retrieve...", "Sen&d To...", "-"}));
    // The opened file took the place of "Recent File", shortened to 30 characters.
    EXPECT_TRUE(file[9].startsWith(QStringLiteral("&1 "))) << file[9].toStdString();
    EXPECT_LE(file[9].size() - 3, 30);
    EXPECT_TRUE(file[9].endsWith(QStringLiteral("single.dcm")));
    EXPECT_EQ(file.mid(10), (QStringList{"-", "E&xit"}));
    EXPECT_EQ(Entries(Menu(1)), (QStringList{"&Undo\tCtrl+Z", "-", "Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V"}));
    EXPECT_EQ(Entries(Menu(2)), (QStringList{"Rectangle", "Ruler\tCtrl+M", "Ellipse\tCtrl+E", "-",
                                             "Delete Measurement\tDel", "Delete All Measurements", "-", "Video",
                                             "Cine &Rate"}));
    EXPECT_EQ(Entries(Menu(3)), (QStringList{"Smoothing"}));
    EXPECT_EQ(Entries(Menu(4)),
              (QStringList{"&Toolbar", "&Status Bar", "-", "Zoom to &Fit", "&Actual Size", "Zoom &In\tCtrl++",
                           "Zoom &Out\tCtrl+-", "-", "Window &Level", "Set &Window...\tCtrl+Shift+W",
                           "In&vert\tCtrl+I", "-", "Rotate &Right\tCtrl+R", "Rotate L&eft\tCtrl+L",
                           "Flip &Horizontal\tCtrl+Shift+H", "Fli&p Vertical\tCtrl+Shift+V", "-", "&Corner Texts"}));
    EXPECT_EQ(Entries(Menu(5)),
              (QStringList{"&New Window", "&Cascade", "&Tile", "&Arrange Icons", "-", "&1 single.dcm ==>8 bpp"}));
    EXPECT_EQ(Entries(Menu(6)), (QStringList{"&About Dorvanelle..."}));

    Action(ID_FILE_CLOSE)->trigger();
    Idle();
    EXPECT_EQ(frame->MenuTitles(), (QStringList{"&File", "&View", "&Help"}));
}

TEST_F(MenusTest, WindowMenuListsEveryChildWindow) {
    ASSERT_NE(Open(Written(Study(0), folder.File("a.dcm"))), nullptr);
    ASSERT_NE(Open(Written(Study(3), folder.File("b.dcm"))), nullptr);
    const QStringList window = Entries(Menu(5));
    EXPECT_EQ(window.mid(4), (QStringList{"-", "&1 a.dcm ==>8 bpp", "&2 b.dcm ==>8 bpp"}));
    // Shown again, the list is rebuilt rather than appended twice.
    EXPECT_EQ(Entries(Menu(5)).size(), window.size());
}

TEST_F(MenusTest, EnablingWithoutADocument) {
    for (int id : {ID_FILE_OPEN, ID_APP_ABOUT, ID_APP_EXIT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR})
        EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {ID_FILE_SAVE, ID_FILE_SAVE_SELECTED, ID_SHOW_DICOM_HEADER, ID_ACTIONS_RECTANGLE, ID_FIRST_SLIDE,
                   ID_PREV_SLIDE, ID_NEXT_SLIDE, ID_LAST_SLIDE, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_UNDO,
                   ID_FILE_PRINT, ID_PLAY_VIDEO, ID_NEXT_PANE, ID_PREV_PANE})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(Button(ID_FILE_SAVE)->isEnabled());
    EXPECT_TRUE(Button(ID_FILE_OPEN)->isEnabled());
}

TEST_F(MenusTest, EnablingFollowsTheActiveDocument) {
    CChildFrame* single = Open(Written(Study(0), folder.File("single.dcm")));
    ASSERT_NE(single, nullptr);
    for (int id : {ID_FILE_SAVE, ID_FILE_SAVE_SELECTED, ID_FILE_CLOSE, ID_SHOW_DICOM_HEADER, ID_ACTIONS_RECTANGLE,
                   ID_WINDOW_NEW, ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE, ID_EDIT_COPY,
                   ID_FILE_PRINT, ID_FILTERS_SMOOTHING, ID_VIEW_ZOOM_IN})
        EXPECT_TRUE(Enabled(id)) << id;
    // Nothing handles these, whatever is open; one frame does not play.
    for (int id :
         {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_PASTE, ID_NEXT_PANE, ID_PREV_PANE, ID_ACTIONS_VIDEO, ID_PLAY_VIDEO})
        EXPECT_FALSE(Enabled(id)) << id;
    CChildFrame* multi = Open(Written(Study(3), folder.File("multi.dcm")));
    ASSERT_NE(multi, nullptr);
    EXPECT_TRUE(Enabled(ID_PLAY_VIDEO));

    // Switching windows changes the states by itself, at once.
    frame->MdiArea()->setActiveSubWindow(multi);
    EXPECT_TRUE(Action(ID_LAST_SLIDE)->isEnabled());
    EXPECT_TRUE(Button(ID_LAST_SLIDE)->isEnabled());
    frame->MdiArea()->setActiveSubWindow(single);
    EXPECT_FALSE(Action(ID_LAST_SLIDE)->isEnabled());
    EXPECT_FALSE(Button(ID_LAST_SLIDE)->isEnabled());
}

// The states follow the active view and its document as they change, whatever
// changed them (a key, the wheel, a call), without waiting for the event loop.
TEST_F(MenusTest, ActionsFollowTheActiveViewAndDocumentAtOnce) {
    CChildFrame* multi = Open(Written(Study(3), folder.File("multi.dcm")));
    ASSERT_NE(multi, nullptr);
    CDorvanelleView* view = multi->View();
    EXPECT_FALSE(Action(ID_ACTIONS_RECTANGLE)->isChecked());
    view->setFocus();
    QTest::keyClick(view, Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(Action(ID_VIEW_INVERT)->isChecked());
    view->SetSmoothing(true);
    EXPECT_TRUE(Action(ID_FILTERS_SMOOTHING)->isChecked());
    EXPECT_TRUE(Action(ID_VIEW_ZOOM_ACTUAL)->isChecked());
    QWheelEvent wheel(QPointF(5, 5), view->viewport()->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_FALSE(Action(ID_VIEW_ZOOM_ACTUAL)->isChecked());
    QTest::keyClick(view, Qt::Key_End);
    EXPECT_EQ(view->GetDocument().m_nFrame, 2);
    view->RunCommand(ID_PLAY_VIDEO);
    EXPECT_TRUE(Action(ID_PLAY_VIDEO)->isChecked());
    view->StopCine();
    EXPECT_FALSE(Action(ID_PLAY_VIDEO)->isChecked());
    // A bitmap's window, then back: the view's own states come with it.
    CChildFrame* picture = Open(Bitmap(folder.File("picture.bmp")));
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(Action(ID_VIEW_INVERT)->isChecked());
    EXPECT_FALSE(Action(ID_LAST_SLIDE)->isEnabled());
    frame->MdiArea()->setActiveSubWindow(multi);
    EXPECT_TRUE(Action(ID_VIEW_INVERT)->isChecked());
    EXPECT_TRUE(Action(ID_LAST_SLIDE)->isEnabled());
}

// The four slide commands are enabled exactly for a document of more than one frame.
struct SlideCase {
    const char* name;
    int frames;  // DICOM frames; 0 for a bitmap
    bool enabled;
};

class SlideCommands : public ViewerApp, public ::testing::WithParamInterface<SlideCase> {};

TEST_P(SlideCommands, AreEnabledOnlyForSeveralFrames) {
    const SlideCase& c = GetParam();
    const std::string path = folder.File(c.name);
    ASSERT_NE(Open(c.frames > 0 ? Written(Study(c.frames), path) : Bitmap(path)), nullptr);
    for (int id : {ID_FIRST_SLIDE, ID_PREV_SLIDE, ID_NEXT_SLIDE, ID_LAST_SLIDE})
        EXPECT_EQ(Enabled(id), c.enabled) << id;
    EXPECT_TRUE(Enabled(ID_SHOW_DICOM_HEADER));
}

INSTANTIATE_TEST_SUITE_P(Documents, SlideCommands,
                         ::testing::Values(SlideCase{"single.dcm", 1, false}, SlideCase{"two.dcm", 2, true},
                                           SlideCase{"three.dcm", 3, true}, SlideCase{"picture.bmp", 0, false}),
                         [](const ::testing::TestParamInfo<SlideCase>& param) {
                             return std::to_string(param.param.frames) + "_frames_" +
                                    (param.param.frames > 0 ? "dicom" : "bitmap");
                         });

TEST_F(MenusTest, AcceleratorsWithoutAHandlerDoNothing) {
    CChildFrame* first = Open(Written(Study(3), folder.File("first.dcm")));
    CChildFrame* second = Open(Written(Study(0), folder.File("second.dcm")));
    ASSERT_TRUE(first && second);
    const CDorvanelleDoc& doc = second->View()->GetDocument();
    const PackedDib* image = doc.m_pDib.get();
    QWidget* target = second->View()->viewport();

    const std::pair<Qt::Key, Qt::KeyboardModifiers> idle[] = {
        {Qt::Key_C, Qt::ControlModifier},    {Qt::Key_Insert, Qt::ControlModifier}, {Qt::Key_X, Qt::ControlModifier},
        {Qt::Key_Delete, Qt::ShiftModifier}, {Qt::Key_V, Qt::ControlModifier},      {Qt::Key_Insert, Qt::ShiftModifier},
        {Qt::Key_Z, Qt::ControlModifier},    {Qt::Key_Backspace, Qt::AltModifier},  {Qt::Key_F6, Qt::NoModifier},
        {Qt::Key_F6, Qt::ShiftModifier},
    };
    for (const auto& [key, modifiers] : idle) {
        QTest::keyClick(target, key, modifiers);
        Idle();
        EXPECT_EQ(frame->ActiveChild(), second) << key;
        EXPECT_EQ(doc.m_pDib.get(), image) << key;
        EXPECT_EQ(app->DocumentCount(), 2u) << key;
    }
    EXPECT_EQ(dialogs.openAsked + dialogs.saveAsked + static_cast<int>(dialogs.modalTitles.size()), 0);
    EXPECT_TRUE(dialogs.messages.empty());

    // The handled ones do reach their commands.
    QTest::keyClick(target, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs.openAsked, 1);
    QTest::keyClick(target, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(dialogs.saveAsked, 1);
}

TEST_F(MenusTest, Toolbar) {
    QToolBar* bar = ToolBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->windowTitle(), "Main Toolbar");  // its caption when it floats
    EXPECT_TRUE(bar->isMovable());
    EXPECT_TRUE(bar->isFloatable());
    EXPECT_EQ(frame->toolBarArea(bar), Qt::TopToolBarArea);
    std::vector<int> layout;
    for (QAction* action : bar->actions()) {
        if (action->isSeparator()) {
            layout.push_back(0);
            continue;
        }
        int id = -1;
        for (const CommandInfo& row : Commands())
            if (Action(row.id) == action) id = row.id;
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

TEST_F(MenusTest, SelectRectangleShowsPressedWhileSelecting) {
    CChildFrame* child = Open(Written(Study(0), folder.File("single.dcm")));
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

TEST_F(MenusTest, ViewMenuTogglesToolbarAndStatusBar) {
    EXPECT_TRUE(Action(ID_VIEW_TOOLBAR)->isChecked());
    EXPECT_TRUE(Action(ID_VIEW_STATUS_BAR)->isChecked());
    Action(ID_VIEW_TOOLBAR)->trigger();
    Idle();
    EXPECT_TRUE(ToolBar()->isHidden());
    EXPECT_FALSE(Action(ID_VIEW_TOOLBAR)->isChecked());
    Action(ID_VIEW_STATUS_BAR)->trigger();
    Idle();
    EXPECT_TRUE(frame->statusBar()->isHidden());
    EXPECT_FALSE(Action(ID_VIEW_STATUS_BAR)->isChecked());
    Action(ID_VIEW_TOOLBAR)->trigger();
    Action(ID_VIEW_STATUS_BAR)->trigger();
    Idle();
    EXPECT_TRUE(ToolBar()->isVisible());
    EXPECT_TRUE(frame->statusBar()->isVisible());
    EXPECT_TRUE(Action(ID_VIEW_TOOLBAR)->isChecked());
    EXPECT_TRUE(Action(ID_VIEW_STATUS_BAR)->isChecked());
}

TEST_F(MenusTest, StatusBarPromptsAndReady) {
    ASSERT_NE(Open(Written(Study(3), folder.File("multi.dcm"))), nullptr);
    QStatusBar* status = frame->statusBar();
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
    file->popup(frame->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    file->setActiveAction(Action(ID_FILE_OPEN));
    EXPECT_EQ(status->currentMessage(), "Open an existing document");
    file->setActiveAction(Action(ID_FILE_SAVE_SELECTED));
    EXPECT_EQ(status->currentMessage(), "Save Selected Image");
    file->hide();
    Idle();
    EXPECT_EQ(status->currentMessage(), "Ready");
}

TEST_F(MenusTest, LockKeyPanesFollowWhatThePlatformTells) {
    auto* indicators = frame->statusBar()->findChild<CKeyboardIndicators*>();
    ASSERT_NE(indicators, nullptr);
    // Right of the message pane, in this order, each as wide as its text.
    const QList<QLabel*> panes = frame->statusBar()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    QStringList names;
    for (QLabel* pane : panes)
        names.push_back(pane->objectName());
    EXPECT_EQ(names, (QStringList{"readoutPane", "framePane", "CAP", "NUM", "SCRL"}));
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
        QTest::keyClick(frame, Qt::Key_CapsLock);
        Idle();
        EXPECT_EQ(indicators->NumPane()->text(), "");
        EXPECT_EQ(indicators->ScrollPane()->text(), "");
    }
}

TEST_F(MenusTest, ShowDicomHeaderListsTheActiveDocument) {
    ASSERT_NE(Open(Written(Study(3), folder.File("multi.dcm"))), nullptr);
    Button(ID_SHOW_DICOM_HEADER)->click();
    ASSERT_EQ(dialogs.modalTitles.size(), 1u);
    EXPECT_EQ(dialogs.modalTitles.back(), "Dicom File Header Details");
    EXPECT_TRUE(dialogs.headerModal);
    EXPECT_GT(dialogs.headerRows, 10);
    EXPECT_TRUE(dialogs.headerNotice.isEmpty());

    ASSERT_NE(Open(Bitmap(folder.File("picture.bmp"))), nullptr);
    Action(ID_SHOW_DICOM_HEADER)->trigger();
    EXPECT_EQ(dialogs.modalTitles.size(), 2u);
    EXPECT_EQ(dialogs.headerRows, 0);
    EXPECT_FALSE(dialogs.headerNotice.isEmpty());
}

}  // namespace
