// How the image is placed and turned on screen: fitted and centred on black, each
// window keeping its own fit mode, and the display-only aids (invert, rotate, flip).
#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>

#include "app/ChildFrame.h"
#include "views/ControlPanel.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "tests/views/ViewerTestSupport.h"
#include "views/CommandIds.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"

namespace {

int Gradient(int x, int y) { return (3 * x + y) % 256; }

class DisplayConventions : public ViewerApp {
protected:
    // Zoom to Fit and Actual Size as the toolbar shows them.
    std::pair<bool, bool> ZoomChecks() {
        frame->UpdateActions();
        return {Action(ID_VIEW_ZOOM_FIT)->isChecked(), Action(ID_VIEW_ZOOM_ACTUAL)->isChecked()};
    }
    static QImage Shown(CDorvanelleView* view) { return view->viewport()->grab().toImage(); }
};

TEST_F(DisplayConventions, AReducedImageIsCentredOnBlackAndTheZoomChecksNeverBothShow) {
    const std::string wide = folder.File("wide.bmp");
    ASSERT_TRUE(WriteGreyBmp(wide, 1600, 100, Gradient));
    CChildFrame* child = Open(wide);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    ASSERT_LT(view->Viewport().Zoom(), 1.0);
    EXPECT_EQ(ZoomChecks(), std::make_pair(true, false));

    // Above and below the image: black. The image's first row lies in the middle.
    const QImage shown = Shown(view);
    const QRect image = view->Viewport().ShownRect();
    EXPECT_EQ(image.left(), 0);
    EXPECT_NEAR(image.top(), view->viewport()->height() - image.bottom() - 1, 1);
    EXPECT_GT(image.top(), 100);
    EXPECT_EQ(PixelAt(shown, 300, 5), 0u);
    EXPECT_EQ(PixelAt(shown, 300, view->viewport()->height() - 3), 0u);
    for (const QPoint at : {image.topLeft(), image.center(), image.bottomRight()}) {
        const QPoint pixel = view->Viewport().PixelUnder(at);
        const int g = Gradient(pixel.x(), pixel.y());
        EXPECT_EQ(PixelAt(shown, at.x(), at.y()), qRgb(g, g, g) & 0xFFFFFFu);
    }

    Run(ID_VIEW_ZOOM_ACTUAL);
    EXPECT_EQ(ZoomChecks(), std::make_pair(false, true));
    Run(ID_VIEW_ZOOM_IN);
    EXPECT_EQ(ZoomChecks(), std::make_pair(false, false));
    Run(ID_VIEW_ZOOM_FIT);
    EXPECT_EQ(ZoomChecks(), std::make_pair(true, false));

    // A study that fits its window shows 1:1, which is Actual Size only.
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 256, 256, 2));
    CChildFrame* fitting = Open(study);
    ASSERT_NE(fitting, nullptr);
    EXPECT_EQ(fitting->View()->Viewport().Zoom(), 1.0);
    EXPECT_EQ(ZoomChecks(), std::make_pair(false, true));
}

// After Tile each window follows its own mode: one fitted on request fills its tile,
// the others are reduced to fit or shown 1:1, centred.
TEST_F(DisplayConventions, AfterTileEveryWindowFollowsItsOwnFitMode) {
    const std::string small = folder.File("small.bmp");
    const std::string large = folder.File("large.bmp");
    const std::string other = folder.File("other.bmp");
    ASSERT_TRUE(WriteGreyBmp(small, 100, 80, Gradient));
    ASSERT_TRUE(WriteGreyBmp(large, 1500, 1200, Gradient));
    ASSERT_TRUE(WriteGreyBmp(other, 120, 90, Gradient));
    CChildFrame* fitted = Open(small);
    Run(ID_VIEW_ZOOM_FIT);
    CChildFrame* reduced = Open(large);
    CChildFrame* actual = Open(other);
    ASSERT_TRUE(fitted && reduced && actual);
    Run(ID_WINDOW_TILE_HORZ);
    Idle();

    const auto fitOf = [](CDorvanelleView* view) {
        const QSize area = view->viewport()->size();
        const QSize image = view->Viewport().ImageSize();
        return std::min(double(area.width()) / image.width(), double(area.height()) / image.height());
    };
    EXPECT_DOUBLE_EQ(fitted->View()->Viewport().Zoom(), fitOf(fitted->View()));
    EXPECT_GT(fitted->View()->Viewport().Zoom(), 1.0);
    EXPECT_DOUBLE_EQ(reduced->View()->Viewport().Zoom(), fitOf(reduced->View()));
    EXPECT_LT(reduced->View()->Viewport().Zoom(), 1.0);
    EXPECT_EQ(actual->View()->Viewport().Zoom(), 1.0);
    for (CChildFrame* child : {fitted, reduced, actual}) {
        Activate(child);
        EXPECT_FALSE(ZoomChecks().first && ZoomChecks().second);
        // Centred: as much black on either side.
        const QRect shown = child->View()->Viewport().ShownRect();
        const QSize area = child->View()->viewport()->size();
        EXPECT_NEAR(shown.left(), area.width() - shown.right() - 1, 1);
        EXPECT_NEAR(shown.top(), area.height() - shown.bottom() - 1, 1);
    }
}

// Invert shows every grey level as its complement; the image the document holds,
// and so Copy and Save, stay as they are.
TEST_F(DisplayConventions, InvertIsForDisplayOnly) {
    const std::string path = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 200, 150, Gradient));
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    const std::vector<std::uint8_t> held(DibBits(child->Controller().Image()),
                                         DibBits(child->Controller().Image()) + 200 * 150);
    Run(ID_VIEW_INVERT);
    EXPECT_TRUE(Action(ID_VIEW_INVERT)->isChecked());
    const QImage shown = Shown(view);
    for (const QPoint pixel : {QPoint(0, 0), QPoint(77, 33), QPoint(199, 149)}) {
        const QPoint at = OnPixel(view, pixel);
        const int g = 255 - Gradient(pixel.x(), pixel.y());
        EXPECT_EQ(PixelAt(shown, at.x(), at.y()), qRgb(g, g, g) & 0xFFFFFFu);
    }
    EXPECT_EQ(std::vector<std::uint8_t>(DibBits(child->Controller().Image()),
                                        DibBits(child->Controller().Image()) + 200 * 150),
              held);
    Run(ID_VIEW_INVERT);
    EXPECT_FALSE(Action(ID_VIEW_INVERT)->isChecked());
    const QPoint at = OnPixel(view, {77, 33});
    EXPECT_EQ(PixelAt(Shown(view), at.x(), at.y()), qRgb(Gradient(77, 33), Gradient(77, 33), Gradient(77, 33)) & 0xFFFFFFu);
}

// Turned and mirrored, the picture shows the image's corners where they went, and a
// drag selects the image pixels it is seen to cover.
TEST_F(DisplayConventions, RotateAndFlipTurnTheDisplayAndTheSelectionFollows) {
    const std::string path = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 200, 150, Gradient));
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    child->resize(420, 420);
    Idle();
    Run(ID_VIEW_ZOOM_ACTUAL);
    const auto cornerAt = [&](QPoint viewPoint) { return view->Viewport().PixelUnder(viewPoint); };

    Run(ID_VIEW_ROTATE_RIGHT);
    // A quarter turn clockwise: the image's bottom-left corner is at the top left.
    QRect shown = view->Viewport().ShownRect();
    EXPECT_EQ(shown.size(), QSize(150, 200));
    EXPECT_EQ(cornerAt(shown.topLeft()), QPoint(0, 149));
    EXPECT_EQ(cornerAt(shown.topRight()), QPoint(0, 0));
    Run(ID_VIEW_FLIP_HORIZONTAL);
    shown = view->Viewport().ShownRect();
    EXPECT_EQ(cornerAt(shown.topLeft()), QPoint(0, 0));
    EXPECT_EQ(cornerAt(shown.bottomLeft()), QPoint(199, 0));
    // Turned and mirrored both ways: a quarter turn anticlockwise.
    Run(ID_VIEW_FLIP_VERTICAL);
    shown = view->Viewport().ShownRect();
    EXPECT_EQ(cornerAt(shown.topLeft()), QPoint(199, 0));
    EXPECT_EQ(cornerAt(shown.bottomLeft()), QPoint(0, 0));
    Run(ID_VIEW_ROTATE_RIGHT);
    EXPECT_EQ(view->Viewport().Orientation(), DisplayOrientation{});
    Run(ID_VIEW_FLIP_HORIZONTAL);
    shown = view->Viewport().ShownRect();
    EXPECT_EQ(shown.size(), QSize(200, 150));
    EXPECT_EQ(cornerAt(shown.topLeft()), QPoint(199, 0));  // mirrored left to right

    // A drag from the picture's top-left corner, 30 x 20 view pixels, selects the
    // image's top-right 30 x 20 pixels; the preview shows them unmirrored.
    Run(ID_ACTIONS_RECTANGLE);
    Drag(view->viewport(), shown.topLeft(), shown.topLeft() + QPoint(30, 20));
    EXPECT_EQ(view->m_rcSelection, (DibRect{170, 0, 200, 20}));
    const QImage preview = Panel().m_pPreview->grab().toImage();
    EXPECT_EQ(PixelAt(preview, 0, 0), qRgb(Gradient(170, 0), Gradient(170, 0), Gradient(170, 0)) & 0xFFFFFFu);
    // The selection is drawn over the pixels it covers.
    const QRect drawn = view->Viewport().ImageRectToView(QRect(170, 0, 30, 20));
    EXPECT_EQ(drawn, QRect(shown.topLeft(), QSize(30, 20)));
}

}  // namespace
