// The document controller on its own: each change is one call followed by the signals
// that say what changed, and the document lives as long as a window shows it.
#include <memory>

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "document/DorvanelleDoc.h"
#include "tests/support/TempFiles.h"
#include "tests/views/ViewerTestSupport.h"
#include "views/DocumentController.h"

namespace {

int Gradient(int x, int y) { return (x + 2 * y) % 256; }

struct Spies {
    explicit Spies(CDocumentController& c)
        : image(&c, &CDocumentController::imageChanged),
          selection(&c, &CDocumentController::selectionChanged),
          window(&c, &CDocumentController::windowChanged),
          problems(&c, &CDocumentController::problemReported) {}
    QSignalSpy image, selection, window, problems;
};

class Controller : public ::testing::Test {
protected:
    std::unique_ptr<CDocumentController> OpenStudy(int frames) {
        const std::string path = folder.File("study.dcm");
        EXPECT_TRUE(WriteStudy(path, 48, 64, frames));
        auto controller = std::make_unique<CDocumentController>();
        EXPECT_TRUE(controller->Open(QString::fromStdString(path)));
        return controller;
    }
    TempFolder folder;
};

TEST_F(Controller, AFrameStepReplacesTheImageAndSaysSoOnce) {
    auto c = OpenStudy(3);
    Spies spies(*c);
    c->NextFrame();
    EXPECT_EQ(c->Document().m_nFrame, 1);
    EXPECT_EQ(spies.image.count(), 1);
    // Frame steps leave the selected image and the window alone.
    EXPECT_EQ(spies.selection.count(), 0);
    EXPECT_EQ(spies.window.count(), 0);
    c->LastFrame();
    c->PrevFrame();
    c->FirstFrame();
    EXPECT_EQ(c->Document().m_nFrame, 0);
    EXPECT_EQ(spies.image.count(), 4);
    EXPECT_TRUE(c->NoImageReason().isEmpty());
}

TEST_F(Controller, AWindowChangeConvertsTheCurrentFrameAndCropsTheMarkedRectangle) {
    auto c = OpenStudy(4);
    c->LastFrame();
    c->MarkSelection(DibRect{10, 5, 30, 25});
    EXPECT_EQ(c->SelectedImage(), nullptr);  // marking crops nothing
    Spies spies(*c);
    c->SetWindowWidth(70000);  // kept as it is: no 16-bit number
    EXPECT_EQ(c->Document().CurrentWindow()->width, 70000);
    EXPECT_EQ(c->Document().m_nFrame, 3);
    ASSERT_NE(c->SelectedImage(), nullptr);
    EXPECT_EQ(DibWidth(c->SelectedImage()), 20);
    EXPECT_EQ(spies.window.count(), 1);
    EXPECT_EQ(spies.image.count(), 1);
    EXPECT_EQ(spies.selection.count(), 1);
    c->SetWindowCenter(-5);
    EXPECT_EQ(*c->Document().CurrentWindow(), (DisplayWindow{70000, -5}));
    EXPECT_EQ(spies.window.count(), 2);
}

TEST_F(Controller, ASelectionIsClippedToTheImageAndReplacesTheSelectedImage) {
    const std::string path = folder.File("p.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 40, 30, Gradient));
    CDocumentController c;
    ASSERT_TRUE(c.Open(QString::fromStdString(path)));
    EXPECT_EQ(c.Title(), QStringLiteral("p.bmp ==>8 bpp"));
    EXPECT_TRUE(c.TakeFrameFit());
    EXPECT_FALSE(c.TakeFrameFit());  // once per opened file
    Spies spies(c);
    c.SetSelection(DibRect{32, 20, 100, 100});
    EXPECT_EQ(c.Selection(), (DibRect{32, 20, 100, 100}));
    ASSERT_NE(c.SelectedImage(), nullptr);
    EXPECT_EQ(DibWidth(c.SelectedImage()), 8);
    EXPECT_EQ(DibHeight(c.SelectedImage()), 10);
    EXPECT_EQ(spies.selection.count(), 1);
    EXPECT_EQ(spies.image.count(), 0);

    // A bitmap keeps its picture through a window change.
    const PackedDib* before = c.Image();
    c.SetWindowWidth(100);
    EXPECT_EQ(c.Image(), before);
    EXPECT_EQ(DibWidth(c.SelectedImage()), 8);
}

TEST_F(Controller, SavesReportTheirFailuresAndAMissingFileDoesNotOpen) {
    auto c = OpenStudy(1);
    Spies spies(*c);
    EXPECT_TRUE(c->Save(QString::fromStdString(folder.File("out.bmp"))));
    EXPECT_EQ(spies.problems.count(), 0);
    EXPECT_FALSE(c->SaveSelected(QString::fromStdString(folder.File("sel.bmp"))));  // nothing selected
    EXPECT_EQ(spies.problems.count(), 1);
    EXPECT_FALSE(c->Save(QString::fromStdString(folder.File("no/such/folder/out.bmp"))));
    EXPECT_EQ(spies.problems.count(), 2);

    CDocumentController missing;
    EXPECT_FALSE(missing.Open(QString::fromStdString(folder.File("missing.dcm"))));
    EXPECT_FALSE(missing.OpenError().isEmpty());
}

TEST_F(Controller, ClosingReleasesTheImagesAndSaysSo) {
    auto c = OpenStudy(1);
    QSignalSpy closed(c.get(), &CDocumentController::closed);
    c.reset();
    EXPECT_EQ(closed.count(), 1);
}

}  // namespace
