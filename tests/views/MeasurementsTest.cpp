// Measurements in the viewer: a ruler dragged over a zoomed, scrolled study measures
// the distance between the pixel centres under its ends with the file's spacing; an
// ellipse and the selection give the same numbers as dorvanelle-cli stats on the same
// region; measurements stay with their frame and can be removed.
#include <cmath>
#include <map>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include <QAction>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTreeWidget>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "document/DorvanelleDoc.h"
#include "document/SeriesStack.h"
#include "tests/tools/CliRunner.h"
#include "tests/views/QStringPrinter.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/generator/PhantomStudy.h"
#include "tools/generator/SeriesStudy.h"
#include "views/CommandIds.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/ControlPanel.h"
#include "views/MeasurementPanel.h"

namespace {

// A three-frame CT study with rows 0.5 mm apart and columns 0.25 mm apart, so that a
// length measured with the axes swapped comes out wrong; modality values are half the
// stored ones less 1024.
PhantomOptions SpacedCt() {
    PhantomOptions options;
    options.rows = 120;
    options.columns = 160;
    options.frames = 3;
    options.rescaleSlope = 0.5;
    options.pixelSpacing = "0.5\\0.25";
    return options;
}

// The members of dorvanelle-cli's flat JSON output, by name.
std::map<std::string, std::string> Members(const std::string& json) {
    std::map<std::string, std::string> members;
    static const std::regex member(R"re("(\w+)": ("[^"]*"|[-+0-9.eE]+|null))re");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), member); it != std::sregex_iterator(); ++it) {
        members[(*it)[1]] = (*it)[2];
    }
    return members;
}

class Measurements : public ViewerApp {
protected:
    CChildFrame* OpenStudy(const PhantomOptions& options) {
        path = folder.File("study.dcm");
        EXPECT_EQ(WriteCtPhantom(path, options), "");
        CChildFrame* child = Open(path);
        if (child) child->resize(500, 420);
        Idle();
        return child;
    }

    // Zoomed in twice (x1.5625) and scrolled, so that view and image pixels differ.
    static void ZoomAndScroll(CDorvanelleView* view) {
        view->ZoomIn();
        view->ZoomIn();
        view->horizontalScrollBar()->setValue(23);
        view->verticalScrollBar()->setValue(17);
        Idle();
    }

    // dorvanelle-cli stats on this study's frame and region, checked against the
    // statistics the viewer holds.
    void ExpectSameAsCli(const RegionStatistics& shown, const DibRect& r, bool ellipse, int frameNumber) {
        std::vector<std::string> args = {"stats", path, "--select",
                                         std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                                             std::to_string(r.right) + "," + std::to_string(r.bottom),
                                         "--frame", std::to_string(frameNumber)};
        if (ellipse) args.emplace_back("--ellipse");
        const CliRun run = RunCli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        std::map<std::string, std::string> cli = Members(run.out);
        EXPECT_EQ(std::stoull(cli["pixels"]), shown.pixels);
        EXPECT_EQ(std::stod(cli["mean"]), shown.mean);
        EXPECT_EQ(std::stod(cli["standard_deviation"]), shown.standardDeviation);
        EXPECT_EQ(std::stod(cli["minimum"]), shown.minimum);
        EXPECT_EQ(std::stod(cli["maximum"]), shown.maximum);
        EXPECT_EQ(std::stod(cli["area"]), shown.area);
        EXPECT_EQ(cli["units"], "\"" + shown.units + "\"");
        // The panel rounds what the command line prints, and says the units.
        const QString mean = QStringLiteral("Mean %1 HU").arg(std::stod(cli["mean"]), 0, 'f', 1);
        bool listed = false;
        for (int row = 0; row < Panel().RowCount(); ++row)
            listed = listed || Panel().RowResult(row).startsWith(mean);
        EXPECT_TRUE(listed) << mean.toStdString();
    }

    CMeasurementPanel& Panel() const { return *frame->m_wndMeasurements; }

    std::string path;
};

// A ruler from pixel (20, 30) to pixel (80, 110): 60 columns of 0.25 mm and 80 rows of
// 0.5 mm, 41.76 mm, whatever the zoom and scroll; the ends are the pixel centres the
// readout names.
TEST_F(Measurements, ARulerMeasuresInMillimetresWithTheFilesSpacing) {
    CChildFrame* child = OpenStudy(SpacedCt());
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    ZoomAndScroll(view);
    Run(ID_ACTIONS_RULER);
    EXPECT_EQ(view->Tool(), CDorvanelleView::MeasureTool::Ruler);
    DragPixels(view, {20, 30}, {80, 110});

    const std::vector<Measurement>& all = child->Controller().Document().Measurements();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(QPoint(all[0].from.x, all[0].from.y), QPoint(20, 30));
    EXPECT_EQ(QPoint(all[0].to.x, all[0].to.y), QPoint(80, 110));
    EXPECT_NEAR(all[0].length, std::hypot(60 * 0.25, 80 * 0.5), 1e-9);
    ASSERT_EQ(Panel().RowCount(), 1);
    EXPECT_EQ(Panel().RowName(0), QStringLiteral("Ruler 1"));
    EXPECT_EQ(Panel().RowResult(0), QStringLiteral("42.7 mm"));
    EXPECT_EQ(Panel().SpacingLine(), QStringLiteral("Pixel Spacing 0.5 x 0.25 mm"));
    // A click that does not move measures nothing.
    DragPixels(view, {50, 50}, {50, 50});
    EXPECT_EQ(all.size(), 1u);
    // Turned on the screen, a ruler down a column still measures rows: 60 x 0.5 mm.
    Run(ID_VIEW_ROTATE_RIGHT);
    Idle();
    DragPixels(view, {30, 10}, {30, 70});
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(QPoint(all[1].from.x, all[1].from.y), QPoint(30, 10));
    EXPECT_NEAR(all[1].length, 30.0, 1e-9);
}

// Imager Pixel Spacing is used when Pixel Spacing is missing, and the result says so;
// with neither, lengths are in pixels.
TEST_F(Measurements, ARulerSaysWhichSpacingItUsedOrThatItCountsPixels) {
    PhantomOptions projection = SpacedCt();
    projection.pixelSpacing.clear();
    projection.imagerPixelSpacing = "0.2\\0.2";
    CChildFrame* child = OpenStudy(projection);
    ASSERT_NE(child, nullptr);
    Run(ID_ACTIONS_RULER);
    DragPixels(child->View(), {10, 10}, {40, 50});
    EXPECT_EQ(Panel().RowResult(0), QStringLiteral("10.0 mm at detector"));
    EXPECT_TRUE(Panel().SpacingLine().startsWith(QStringLiteral("Imager Pixel Spacing 0.2 x 0.2 mm")));
    Run(ID_FILE_CLOSE);
    Idle();

    PhantomOptions unspaced = SpacedCt();
    unspaced.pixelSpacing.clear();
    child = OpenStudy(unspaced);
    ASSERT_NE(child, nullptr);
    Run(ID_ACTIONS_RULER);
    DragPixels(child->View(), {10, 10}, {40, 50});
    EXPECT_EQ(Panel().RowResult(0), QStringLiteral("50.0 px"));
    EXPECT_EQ(Panel().SpacingLine(), QStringLiteral("No pixel spacing: lengths in pixels"));
}

// An ellipse dragged over a zoomed, scrolled frame and a selection on another frame:
// the viewer's numbers are those dorvanelle-cli stats prints for the same region.
TEST_F(Measurements, EllipseAndSelectionStatisticsAreTheCommandLines) {
    CChildFrame* child = OpenStudy(SpacedCt());
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    CDocumentController& controller = child->Controller();
    controller.NextFrame();
    ZoomAndScroll(view);
    Run(ID_ACTIONS_ELLIPSE);
    DragPixels(view, {70, 40}, {31, 95});  // drawn up and to the left
    const std::vector<Measurement>& all = controller.Document().Measurements();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].Rect(), (DibRect{31, 40, 70, 95}));
    ASSERT_TRUE(all[0].statistics.has_value()) << all[0].noStatistics.Text();
    EXPECT_EQ(all[0].statistics->units, "HU");
    ExpectSameAsCli(*all[0].statistics, all[0].Rect(), true, 1);

    controller.NextFrame();
    Run(ID_ACTIONS_RECTANGLE);
    EXPECT_EQ(view->Tool(), CDorvanelleView::MeasureTool::None);
    DragPixels(view, {12, 14}, {60, 50});
    const std::optional<Expected<RegionStatistics>> selection = controller.SelectionStatistics();
    ASSERT_TRUE(selection.has_value());
    ASSERT_TRUE(*selection);
    ASSERT_EQ(Panel().RowName(0), QStringLiteral("Selection"));
    ExpectSameAsCli(**selection, DibRect{12, 14, 60, 50}, false, 2);
}

// A series opened from a folder: an ellipse and the selection on a slice other than
// the first measure that slice's own file, as dorvanelle-cli stats does.
TEST_F(Measurements, EllipseAndSelectionOnASliceOfASeriesMeasureThatSlice) {
    SeriesStudyOptions o;
    o.rows = 48;
    o.columns = 64;
    o.series = 1;
    o.slices = 4;
    const std::string study = folder.File("study");
    ASSERT_EQ(WriteSeriesStudy(study, o), "");
    app->OpenPaths({QString::fromStdString(study)});
    QDeadlineTimer deadline(20000);
    while (frame->Children().empty() && !deadline.hasExpired()) Idle();
    ASSERT_EQ(frame->Children().size(), 1u);
    CChildFrame* child = frame->Children()[0];
    CDocumentController& controller = child->Controller();
    Run(ID_NEXT_SLIDE);
    Run(ID_NEXT_SLIDE);
    while ((controller.PendingFrame() || !controller.Image()) && !deadline.hasExpired()) Idle();
    ASSERT_EQ(controller.Document().m_nFrame, 2);
    const auto stack = std::dynamic_pointer_cast<const SeriesStack>(controller.Document().Stack());
    ASSERT_TRUE(stack);
    path = stack->PathOf(2);

    Run(ID_ACTIONS_ELLIPSE);
    DragPixels(child->View(), {10, 8}, {50, 40});
    const std::vector<Measurement>& all = controller.Document().Measurements();
    ASSERT_EQ(all.size(), 1u);
    ASSERT_TRUE(all[0].statistics.has_value()) << all[0].noStatistics.Text();
    ExpectSameAsCli(*all[0].statistics, all[0].Rect(), true, 0);

    Run(ID_ACTIONS_RECTANGLE);
    DragPixels(child->View(), {4, 6}, {30, 20});
    const std::optional<Expected<RegionStatistics>> selection = controller.SelectionStatistics();
    ASSERT_TRUE(selection.has_value());
    ASSERT_TRUE(*selection) << selection->Why().Text();
    ExpectSameAsCli(**selection, DibRect{4, 6, 30, 20}, false, 0);
}

// An ellipse drawn against the right edge of the window: its numbers go to its left,
// where they can be read, instead of running off the window.
TEST_F(Measurements, NumbersBesideTheWindowsRightEdgeGoLeftOfTheirRegion) {
    CChildFrame* child = OpenStudy(SpacedCt());
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    for (int i = 0; i < 6; ++i)
        view->ZoomIn();
    view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum() / 2);
    Idle();
    const QSize shown = view->viewport()->size();
    const QPoint edge = view->Viewport().PixelAt(QPointF(shown.width() - 4, shown.height() / 2.0));
    Run(ID_ACTIONS_ELLIPSE);
    DragPixels(view, edge - QPoint(6, 4), edge + QPoint(0, 4));
    ASSERT_EQ(child->Controller().Document().Measurements().size(), 1u);
    const QImage painted = view->viewport()->grab().toImage();
    const int regionLeft = OnPixel(view, edge - QPoint(6, 4)).x() - 2;
    int labelPixels = 0;
    for (int y = 0; y < painted.height(); ++y) {
        for (int x = 0; x < regionLeft; ++x) {
            const QColor c = painted.pixelColor(x, y);
            if (c.red() > 220 && c.green() > 160 && c.green() < 220 && c.blue() < 60) ++labelPixels;
        }
    }
    EXPECT_GT(labelPixels, 20);
}

// A measurement is shown on its own frame only, drawn over the image; Delete removes
// the last one of the frame shown, Delete All every frame's.
TEST_F(Measurements, MeasurementsStayWithTheirFrameUntilRemoved) {
    CChildFrame* child = OpenStudy(SpacedCt());
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    CDocumentController& controller = child->Controller();
    const QImage bare = view->viewport()->grab().toImage();
    Run(ID_ACTIONS_RULER);
    DragPixels(view, {10, 60}, {100, 60});
    Run(ID_ACTIONS_ELLIPSE);
    DragPixels(view, {20, 20}, {50, 40});
    EXPECT_EQ(Panel().RowCount(), 2);
    EXPECT_EQ(Panel().RowName(1), QStringLiteral("Ellipse 1"));
    // The menu follows without waiting for anything else to change.
    EXPECT_TRUE(Action(ID_ACTIONS_DELETE_MEASUREMENT)->isEnabled());
    // The ruler is drawn in the measuring colour across the image.
    const QImage drawn = view->viewport()->grab().toImage();
    const QPoint middle = OnPixel(view, {55, 60});
    EXPECT_NE(PixelAt(drawn, middle.x(), middle.y()), PixelAt(bare, middle.x(), middle.y()));

    controller.NextFrame();
    Idle();
    EXPECT_EQ(Panel().RowCount(), 0);
    EXPECT_FALSE(Enabled(ID_ACTIONS_DELETE_MEASUREMENT));
    EXPECT_TRUE(Enabled(ID_ACTIONS_DELETE_ALL_MEASUREMENTS));
    Run(ID_ACTIONS_RULER);
    DragPixels(view, {5, 5}, {5, 45});
    EXPECT_EQ(Panel().RowName(0), QStringLiteral("Ruler 2"));

    controller.FirstFrame();
    Idle();
    EXPECT_EQ(Panel().RowCount(), 2);
    Run(ID_ACTIONS_DELETE_MEASUREMENT);  // the ellipse, made last on this frame
    ASSERT_EQ(Panel().RowCount(), 1);
    EXPECT_EQ(Panel().RowName(0), QStringLiteral("Ruler 1"));
    EXPECT_EQ(controller.Document().Measurements().size(), 2u);

    // The panel's Delete removes the row chosen.
    Panel().m_pList->setCurrentItem(Panel().m_pList->topLevelItem(0));
    ASSERT_TRUE(Panel().m_pDelete->isEnabled());
    Panel().m_pDelete->click();
    EXPECT_EQ(Panel().RowCount(), 0);
    EXPECT_EQ(PixelAt(view->viewport()->grab().toImage(), middle.x(), middle.y()),
              PixelAt(bare, middle.x(), middle.y()));

    Panel().m_pDeleteAll->click();
    EXPECT_TRUE(controller.Document().Measurements().empty());
    EXPECT_FALSE(Action(ID_ACTIONS_DELETE_ALL_MEASUREMENTS)->isEnabled());
}

// A measurement stays over the picture it was made on: another file opened after it
// comes in a document of its own with nothing measured, and opening the first file
// again brings back its window with its ruler.
TEST_F(Measurements, AnotherFileOpenedShowsNoneOfTheFirstFilesMeasurements) {
    CChildFrame* first = OpenStudy(SpacedCt());
    ASSERT_NE(first, nullptr);
    Run(ID_ACTIONS_RULER);
    DragPixels(first->View(), {10, 60}, {100, 60});
    ASSERT_EQ(Panel().RowCount(), 1);

    const std::string second = folder.File("second.dcm");
    PhantomOptions options = SpacedCt();
    options.rescaleSlope = 1;
    ASSERT_EQ(WriteCtPhantom(second, options), "");
    dialogs.openAnswer = {QString::fromStdString(second)};
    Run(ID_FILE_OPEN);
    CChildFrame* shown = frame->ActiveChild();
    ASSERT_NE(shown, nullptr);
    ASSERT_NE(shown, first);
    EXPECT_TRUE(shown->Controller().Document().Measurements().empty());
    EXPECT_EQ(Panel().RowCount(), 0);
    EXPECT_FALSE(Enabled(ID_ACTIONS_DELETE_ALL_MEASUREMENTS));

    dialogs.openAnswer = {QString::fromStdString(path)};
    Run(ID_FILE_OPEN);
    EXPECT_EQ(frame->ActiveChild(), first);
    ASSERT_EQ(Panel().RowCount(), 1);
    EXPECT_EQ(Panel().RowName(0), QStringLiteral("Ruler 1"));
}

// On a 1440 x 900 screen the measurement list sits below the histograms, not over
// them, with its buttons in sight; on a lower one the column scrolls, and the scroll
// bar does not cover the sliders' right edge.
TEST_F(Measurements, ThePanelAndTheHistogramsShareALowScreen) {
    ASSERT_NE(OpenStudy(SpacedCt()), nullptr);
    auto* scroller = frame->findChild<QScrollArea*>(QStringLiteral("panelScroller"));
    ASSERT_NE(scroller, nullptr);
    QWidget* histogram = frame->m_wndControlPanel->m_pSelectedHistogram;
    const QWidget* viewport = scroller->viewport();
    // `widget`'s rectangle in the scrolled column's viewport.
    auto placed = [viewport](const QWidget* widget) {
        return QRect(widget->mapTo(viewport, QPoint(0, 0)), widget->size());
    };
    for (int height : {900, 700, 560}) {
        frame->resize(1440, height);
        Idle();
        EXPECT_FALSE(placed(histogram).intersects(placed(Panel().m_pList))) << height;
        const bool scrolls = scroller->verticalScrollBar()->maximum() > 0;
        EXPECT_EQ(scrolls, height < 900) << height;
        scroller->verticalScrollBar()->setValue(scroller->verticalScrollBar()->maximum());
        Idle();
        EXPECT_TRUE(viewport->rect().contains(placed(Panel().m_pDeleteAll))) << height;
        EXPECT_GE(viewport->width(), frame->m_wndControlPanel->width()) << height;
        scroller->ensureWidgetVisible(histogram, 0, 0);
        EXPECT_TRUE(viewport->rect().contains(placed(histogram))) << height;
    }
}

}  // namespace
