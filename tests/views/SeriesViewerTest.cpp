// The viewer on a study folder, offscreen: opening it (File > Open Folder, a drop, the
// command line, its DICOMDIR), the series it opens as one stack, stepping through the
// slices by command, key and wheel with their places in mm, one window for the whole
// stack, the header, readout and saves acting on the slice shown, cine, the cache
// bound, and a step whose slice is still being read.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QHeaderView>
#include <QMdiArea>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "document/DorvanelleDoc.h"
#include "document/FrameLoader.h"
#include "image/BmpFile.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/SeriesStudy.h"
#include "views/CommandIds.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/StudyBrowser.h"

namespace fs = std::filesystem;

namespace {

class SeriesViewer : public ViewerApp {
protected:
    // Writes the study: 2 series of 12 slices of 32 x 32, under shuffled names.
    std::string WriteStudy(bool dicomDir = false) {
        SeriesStudyOptions o;
        o.rows = 32;
        o.columns = 32;
        o.series = 2;
        o.slices = 12;
        o.dicomDir = dicomDir;
        const std::string path = folder.File("study");
        const std::string problem = WriteSeriesStudy(path, o);
        if (problem.find("could not be started") != std::string::npos) skipped = problem;
        EXPECT_TRUE(problem.empty() || !skipped.empty()) << problem;
        return path;
    }

    CStudyBrowser& Browser() const { return *frame->StudyBrowser(); }

    // Waits for every index to end and for the windows to settle.
    void WaitIndexed() {
        QDeadlineTimer deadline(20000);
        while (Browser().Indexing() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_FALSE(Browser().Indexing());
        Idle();
    }

    // Waits for the active window's frame to be shown.
    static void WaitShown(CChildFrame* child) {
        QDeadlineTimer deadline(10000);
        while (child->Controller().PendingFrame() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_FALSE(child->Controller().PendingFrame());
    }

    // The picture of `path` opened alone, under `width` x `centre` when given.
    static std::vector<std::uint8_t> AloneBytes(const std::string& path, std::optional<DisplayWindow> window = {}) {
        CDocumentController alone;
        EXPECT_TRUE(alone.Open(QString::fromStdString(path)));
        QDeadlineTimer deadline(10000);
        while (alone.PendingFrame() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (window) alone.SetWindow(window->width, window->centre);
        const PackedDib* image = alone.Image();
        if (!image) return {};
        return {image->Bytes(), image->Bytes() + image->Length()};
    }

    static std::vector<std::uint8_t> Bytes(const PackedDib* image) {
        if (!image) return {};
        return {image->Bytes(), image->Bytes() + image->Length()};
    }

    std::string skipped;
};

}  // namespace

TEST_F(SeriesViewer, AFolderOpensInTheBrowserAndItsFirstSeriesAsOneStack) {
    const std::string study = WriteStudy();
    dialogs.folderAnswer = QString::fromStdString(study);
    Run(ID_FILE_OPEN_FOLDER);
    EXPECT_EQ(dialogs.folderAsked, 1);
    EXPECT_TRUE(Browser().isVisible());
    WaitIndexed();
    ASSERT_EQ(Browser().Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(Browser().Tree()->topLevelItem(0)->text(CStudyBrowser::kName),
              QString::fromStdString(fs::path(study).string()) + QStringLiteral(": 2 series"));

    // Nothing else was open: the first series opened by itself.
    ASSERT_EQ(frame->Children().size(), 1u);
    CChildFrame* child = frame->Children()[0];
    WaitShown(child);
    CDocumentController& c = child->Controller();
    EXPECT_EQ(c.Title(), QStringLiteral("CT 1 Axial S1 ==>8 bpp"));
    EXPECT_EQ(c.Document().FrameCount(), 12);
    EXPECT_TRUE(Enabled(ID_NEXT_SLIDE));
    EXPECT_EQ(child->View()->FrameText(), QStringLiteral("Frame 1 / 12 (0 mm)"));

    // Each slice is the file at its place in slice order, drawn as it is alone.
    const auto stack = std::dynamic_pointer_cast<const SeriesStack>(c.Document().Stack());
    ASSERT_TRUE(stack);
    Run(ID_NEXT_SLIDE);
    WaitShown(child);
    EXPECT_EQ(c.Document().m_nFrame, 1);
    EXPECT_EQ(child->View()->FrameText(), QStringLiteral("Frame 2 / 12 (1.25 mm)"));
    EXPECT_EQ(Bytes(c.Image()), AloneBytes(stack->PathOf(1)));
    // The header dialog and the title of what is saved follow the slice shown.
    EXPECT_EQ(c.Document().m_strDicomPath, stack->PathOf(1));
    Run(ID_LAST_SLIDE);
    WaitShown(child);
    EXPECT_EQ(child->View()->FrameText(), QStringLiteral("Frame 12 / 12 (13.75 mm)"));
    EXPECT_EQ(Bytes(c.Image()), AloneBytes(stack->PathOf(11)));
    EXPECT_FALSE(c.NoImageReason().size());

    // Keys and the wheel step slices as they step frames.
    child->View()->setFocus();
    QTest::keyClick(child->View(), Qt::Key_Home);
    WaitShown(child);
    EXPECT_EQ(c.Document().m_nFrame, 0);
    QTest::keyClick(child->View(), Qt::Key_Right);
    QTest::keyClick(child->View(), Qt::Key_Right);
    WaitShown(child);
    EXPECT_EQ(c.Document().m_nFrame, 2);
}

// The browser comes wide enough to show each series' thumbnail and description whole,
// and leaves the larger part of the window to the images.
TEST_F(SeriesViewer, TheBrowserShowsEachSeriesThumbnailAndDescription) {
    app->OpenPaths({QString::fromStdString(WriteStudy())});
    WaitIndexed();
    QTreeWidget* tree = Browser().Tree();
    QTreeWidgetItem* series = Browser().SeriesItem(1, QString::fromStdString(SeriesStudySeriesUid(1)));
    ASSERT_NE(series, nullptr);
    const QRect shown = tree->visualRect(tree->indexFromItem(series, CStudyBrowser::kName));
    EXPECT_GE(shown.width(), tree->iconSize().width() +
                                 tree->fontMetrics().horizontalAdvance(series->text(CStudyBrowser::kName)));
    EXPECT_LE(shown.right(), tree->viewport()->width());
    EXPECT_GE(frame->MdiArea()->width(), Browser().width());
}

TEST_F(SeriesViewer, TheSameStudyThroughItsDicomdirAndByTheCommandLine) {
    const std::string study = WriteStudy(true);
    if (!skipped.empty()) GTEST_SKIP() << skipped;
    // Opened like any file: the DICOMDIR is read, not shown.
    app->OpenPaths({QString::fromStdString(study + "/DICOMDIR")});
    WaitIndexed();
    ASSERT_EQ(Browser().Tree()->topLevelItemCount(), 1);
    const QTreeWidgetItem* root = Browser().Tree()->topLevelItem(0);
    EXPECT_TRUE(root->text(CStudyBrowser::kName).startsWith(QStringLiteral("DICOMDIR in ")));
    ASSERT_EQ(root->child(0)->child(0)->childCount(), 2);
    EXPECT_EQ(root->child(0)->child(0)->child(1)->text(CStudyBrowser::kImages), QStringLiteral("12"));

    // A second series chosen in the browser opens beside the first; chosen again, it
    // is the same window.
    ASSERT_EQ(frame->Children().size(), 1u);
    QTreeWidgetItem* second = Browser().SeriesItem(1, QString::fromStdString(SeriesStudySeriesUid(1)));
    ASSERT_NE(second, nullptr);
    emit Browser().Tree()->itemActivated(second, 0);
    Idle();
    ASSERT_EQ(frame->Children().size(), 2u);
    CChildFrame* child = frame->ActiveChild();
    WaitShown(child);
    EXPECT_EQ(child->Controller().Title(), QStringLiteral("CT 2 Axial S2 ==>8 bpp"));
    Run(ID_LAST_SLIDE);
    WaitShown(child);
    EXPECT_EQ(child->View()->FrameText(), QStringLiteral("Frame 12 / 12 (27.5 mm)"));
    emit Browser().Tree()->itemActivated(second, 0);
    Idle();
    EXPECT_EQ(frame->Children().size(), 2u);
    EXPECT_EQ(frame->ActiveChild(), child);

    // A folder named on the command line: the browser, and its first series.
    CDorvanelleApp second_app(dialogs);
    ASSERT_TRUE(second_app.InitInstance({QString::fromStdString(study)}, false));
    QDeadlineTimer deadline(20000);
    while ((second_app.MainFrame()->StudyBrowser()->Indexing() || second_app.MainFrame()->Children().empty()) &&
           !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(second_app.MainFrame()->Children().size(), 1u);
}

TEST_F(SeriesViewer, OneWindowForTheWholeStackAndTheSlicesShownAreWhatIsSaved) {
    const std::string study = WriteStudy();
    app->OpenPaths({QString::fromStdString(study)});
    WaitIndexed();
    ASSERT_EQ(frame->Children().size(), 1u);
    CChildFrame* child = frame->Children()[0];
    CDocumentController& c = child->Controller();
    WaitShown(child);
    const auto stack = std::dynamic_pointer_cast<const SeriesStack>(c.Document().Stack());
    ASSERT_TRUE(stack);

    Run(ID_NEXT_SLIDE);
    WaitShown(child);
    c.SetWindow(100, 30);
    EXPECT_EQ(Bytes(c.Image()), AloneBytes(stack->PathOf(1), DisplayWindow{100, 30}));
    // The next slice comes with the same window, and so does one read after it.
    Run(ID_NEXT_SLIDE);
    WaitShown(child);
    EXPECT_EQ(Bytes(c.Image()), AloneBytes(stack->PathOf(2), DisplayWindow{100, 30}));
    Run(ID_LAST_SLIDE);
    WaitShown(child);
    EXPECT_EQ(Bytes(c.Image()), AloneBytes(stack->PathOf(11), DisplayWindow{100, 30}));

    // Save writes the slice shown, Save Selected its selection.
    dialogs.saveAnswer = QString::fromStdString(folder.File("slice.bmp"));
    Run(ID_FILE_SAVE);
    PackedDibPtr saved = ReadBmpFile(folder.File("slice.bmp"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(Bytes(saved.get()), Bytes(c.Image()));
    c.SetSelection(DibRect{4, 4, 20, 12});
    dialogs.saveAnswer = QString::fromStdString(folder.File("part.bmp"));
    Run(ID_FILE_SAVE_SELECTED);
    PackedDibPtr part = ReadBmpFile(folder.File("part.bmp"));
    ASSERT_TRUE(part);
    EXPECT_EQ(DibWidth(part.get()), 16);
    // Saved as DICOM, it says which image and which of its frames it was made from:
    // the one frame of the twelfth slice's file.
    dialogs.saveAnswer = QString::fromStdString(folder.File("slice.dcm"));
    Run(ID_FILE_SAVE);
    std::ifstream savedDicom(folder.File("slice.dcm"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(savedDicom)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(std::regex_search(bytes, std::regex(R"(Frame 1 as \w+ displayed it, from image [0-9.]+\.1\.12 )")))
        << bytes.substr(std::min(bytes.find("Frame "), bytes.size()), 120);

    // The readout reads the slice shown.
    EXPECT_FALSE(c.ReadoutAt(QPoint(16, 16)).isEmpty());
    // The range of the sliders covers every slice, found in the background.
    QDeadlineTimer deadline(10000);
    while (c.Document().RangePending() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(c.Document().RangePending());
}

TEST_F(SeriesViewer, CineRunsOverTheStackWithinTheCacheBound) {
    // 8 slices of 64 x 64 fit in 1 MiB of cache: cine over 40 must let them go.
    qputenv("DORVANELLE_FRAME_CACHE_MB", "1");
    SeriesStudyOptions o;
    o.rows = 64;
    o.columns = 64;
    o.series = 1;
    o.slices = 40;
    ASSERT_EQ(WriteSeriesStudy(folder.File("cine"), o), "");
    app->OpenPaths({QString::fromStdString(folder.File("cine"))});
    WaitIndexed();
    qunsetenv("DORVANELLE_FRAME_CACHE_MB");
    ASSERT_EQ(frame->Children().size(), 1u);
    CChildFrame* child = frame->Children()[0];
    WaitShown(child);
    CDorvanelleView* view = child->View();
    const std::uint64_t before = child->Controller().FramesShown();
    view->Cine().SetRate(100);
    view->Cine().Play();
    std::size_t most = 0;
    std::set<std::int32_t> seen;
    // 0.4 s of cine rounds the stack; a loaded machine (or a sanitizer build) may
    // take much longer, so the loop ends when the stack has been rounded or after 30 s.
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() &&
           (seen.size() < 40u || child->Controller().FramesShown() - before <= 40u)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        seen.insert(child->Controller().Document().m_nFrame);
        most = std::max(most, child->Controller().Loader()->Stats().cachedBytes);
    }
    view->StopCine();
    // Round the stack at least once, and never past the bound.
    EXPECT_EQ(seen.size(), 40u);
    EXPECT_GT(child->Controller().FramesShown() - before, 40u);
    EXPECT_LE(most, std::size_t{1} << 20);
}

TEST_F(SeriesViewer, AStepWhoseSliceIsStillReadShowsTheLastPictureAndDecoding) {
    // Nothing is read ahead: each slice is read when a step asks for it, so slice 7 is
    // read only after it has been cut short, however busy the machine.
    CDocumentController::SetReadAhead(false);
    const std::string study = WriteStudy();
    app->OpenPaths({QString::fromStdString(study)});
    WaitIndexed();
    CChildFrame* child = frame->Children().at(0);
    WaitShown(child);
    CDocumentController& c = child->Controller();
    // Slice 7 is cut short by another program: the step ends in its reason, not in a hang.
    const auto stack = std::dynamic_pointer_cast<const SeriesStack>(c.Document().Stack());
    ASSERT_TRUE(stack);
    fs::resize_file(stack->PathOf(7), 1000);
    CDocumentController::SetFrameWait(std::chrono::milliseconds(0));
    for (int i = 0; i < 7; ++i)
        c.NextFrame();
    // Not there yet: the last picture stays, and the view says that one is on its way.
    EXPECT_EQ(c.PendingFrame(), std::optional<std::int32_t>(7));
    EXPECT_EQ(c.Document().m_nFrame, 0);
    EXPECT_NE(c.Image(), nullptr);
    EXPECT_EQ(child->View()->FrameText(), QStringLiteral("Frame 8 / 12 (8.75 mm) decoding\u2026"));
    // Slices passed over on the way are not shown when they arrive; the last one is.
    QSignalSpy problems(&c, &CDocumentController::problemReported);
    WaitShown(child);
    CDocumentController::SetFrameWait(std::chrono::milliseconds(10000));
    EXPECT_EQ(c.Document().m_nFrame, 7);
    EXPECT_EQ(c.Image(), nullptr);
    EXPECT_TRUE(c.NoImageReason().startsWith(QString::fromStdString(fs::path(stack->PathOf(7)).filename().string())))
        << c.NoImageReason().toStdString();
    EXPECT_EQ(problems.count(), 1);
    // Closed while a slice is being read: nothing waits, nothing arrives later.
    c.FirstFrame();
    child->close();
    Idle();
    EXPECT_TRUE(frame->Children().empty());
    CDocumentController::SetReadAhead(true);
}

TEST_F(SeriesViewer, FoldersAndSeveralFilesDroppedOnTheMainWindowGoToTheBrowser) {
    const std::string study = WriteStudy();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(study))});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &enter);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &drop);
    WaitIndexed();
    EXPECT_EQ(Browser().Tree()->topLevelItemCount(), 1);

    // Two files of a series chosen together in File > Open: one entry, one stack of two.
    const std::shared_ptr<SeriesStack> series = Browser().FirstStack(1);
    ASSERT_NE(series, nullptr);
    const QStringList two = {QString::fromStdString(series->PathOf(0)), QString::fromStdString(series->PathOf(1))};
    for (CChildFrame* child : frame->Children())
        child->close();
    Idle();
    dialogs.openAnswer = two;
    Run(ID_FILE_OPEN);
    WaitIndexed();
    EXPECT_EQ(Browser().Tree()->topLevelItemCount(), 2);
    EXPECT_TRUE(Browser().Tree()->topLevelItem(1)->text(CStudyBrowser::kName).endsWith(QStringLiteral(": 1 series")))
        << Browser().Tree()->topLevelItem(1)->text(CStudyBrowser::kName).toStdString();
    const std::shared_ptr<SeriesStack> chosen = Browser().FirstStack(2);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->Count(), 2);
}

TEST_F(SeriesViewer, WhatOpensByItselfIsTheFirstSeriesThatShowsAnImage) {
    const std::string study = WriteStudy();
    // Listed ahead of the study: a report, and a slice whose pixels were cut short.
    fs::create_directory(folder.File("blank"));
    for (const std::string& place : {study, folder.File("blank")}) {
        DicomStreamBuilder report;
        report.Preamble().MetaGroup().ExplicitText(0x0008, 0x0060, "CS", "SR");
        report.ExplicitText(0x0020, 0x000E, "UI", "1.2.826.0.1.99.1").WriteTo(place + "/REPORT");
        DicomStreamBuilder cut;
        cut.Preamble().MetaGroup().ExplicitText(0x0008, 0x0060, "CS", "CT");
        cut.ExplicitText(0x0020, 0x000E, "UI", "1.2.826.0.1.99.2").ImageAttributes(256, 256, 8);
        cut.PixelData8(std::vector<std::uint8_t>(65536, 7)).WriteTo(place + "/CUT");
        fs::resize_file(place + "/CUT", fs::file_size(place + "/CUT") - 32768);
    }
    app->OpenPaths({QString::fromStdString(study)});
    WaitIndexed();
    ASSERT_EQ(frame->Children().size(), 1u);
    CChildFrame* child = frame->Children()[0];
    WaitShown(child);
    EXPECT_EQ(child->Controller().Title(), QStringLiteral("CT 1 Axial S1 ==>8 bpp"));
    EXPECT_NE(child->Controller().Image(), nullptr);

    // Opened again, the folder is listed once and the window stays as it was.
    app->OpenPaths({QString::fromStdString(study)});
    WaitIndexed();
    EXPECT_EQ(Browser().Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(frame->Children().size(), 1u);

    // Nothing in the folder shows: nothing opens; the browser still lists both series.
    child->close();
    Idle();
    app->OpenPaths({QString::fromStdString(folder.File("blank"))});
    WaitIndexed();
    EXPECT_TRUE(frame->Children().empty());
    const QTreeWidgetItem* root = Browser().Tree()->topLevelItem(1);
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->text(CStudyBrowser::kName).endsWith(QStringLiteral(": 2 series")));
    // The report says it has no image; the series cut short says why once its
    // thumbnail has been tried, as its window would.
    QSignalSpy thumbnails(&Browser(), &CStudyBrowser::thumbnailArrived);
    const auto why = [&]() -> QString {
        const QTreeWidgetItem* cut = Browser().SeriesItem(2, QStringLiteral("1.2.826.0.1.99.2"));
        return cut != nullptr && cut->childCount() == 1 ? cut->child(0)->text(CStudyBrowser::kName) : QString();
    };
    while (why().isEmpty() && thumbnails.wait(10000)) {
    }
    EXPECT_TRUE(why().startsWith(QStringLiteral("CUT shows no image: "))) << why().toStdString();
}
