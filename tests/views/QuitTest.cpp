// Leaving the viewer: the main window goes with windows just closed and still waiting
// to be deleted, with documents still being read, and by File > Exit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>

#include "app/ChildFrame.h"
#include "app/CommandTable.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "tests/views/ViewerTestSupport.h"
#include "views/DorvanelleView.h"

namespace {

using Quit = ViewerApp;

TEST_F(Quit, TheMainWindowGoesWhileClosedWindowsWaitToBeDeleted) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 2));
    const std::string flat = folder.File("flat.bmp");
    ASSERT_TRUE(WriteGreyBmp(flat, 32, 32, [](int, int) { return 3; }));
    ASSERT_NE(Open(study), nullptr);
    CChildFrame* second = app->OpenDocumentFile(QString::fromStdString(flat));
    ASSERT_NE(second, nullptr);
    CChildFrame* window = Open(study);  // a second window of the study
    ASSERT_NE(window, nullptr);
    // Closed, one of them active, but not yet deleted: no event runs before the end.
    window->close();
    second->close();
    app.reset();
}
TEST_F(Quit, ClosingTheMainWindowWhileADocumentIsReadEndsCleanly) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 512, 512, 40));
    CChildFrame* child = app->OpenDocumentFile(QString::fromStdString(study));
    ASSERT_NE(child, nullptr);
    Run(ID_APP_EXIT);
    EXPECT_FALSE(frame->isVisible());
    app.reset();
}

}  // namespace
