// The viewer as a person uses it: the real main window, child windows, views and
// control panel, with dialogs answered by the test.
#include <unistd.h>
#include <zlib.h>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "app/CommandTable.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "document/DorvanelleDoc.h"
#include "image/BmpFile.h"
#include "tests/support/PictureBytes.h"
#include "tests/support/NonRegularFiles.h"
#include "tests/support/TempFiles.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "views/ControlPanel.h"
#include "views/DocumentController.h"
#include "views/DocumentOpenTask.h"
#include "views/DorvanelleView.h"

namespace {

int Gradient(int x, int y) { return (x + 2 * y) % 256; }

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

using Viewer = ViewerApp;

// The handle's centre of a slider, for pressing on the thumb.
QPoint HandleCentre(QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.upsideDown = slider->invertedAppearance();
    option.subControls = QStyle::SC_SliderHandle | QStyle::SC_SliderGroove;
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();
}

// `bytes` as a raw deflate stream.
std::vector<std::uint8_t> Deflated(const std::vector<std::uint8_t>& bytes) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(bytes.size())));
    z.next_in = const_cast<Bytef*>(bytes.data());
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The same 8-bit study of three frames, written plainly and with its data set deflated.
void WritePlainAndDeflated(const std::string& plain, const std::string& deflated) {
    std::vector<std::uint8_t> pixels(3 * 40 * 56);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i * 7 / 5);
    DicomStreamBuilder dataSet;
    dataSet.ImageAttributes(40, 56, 8)
        .ExplicitText(0x0028, 0x0008, "IS", "3")
        .ExplicitUS(0x0028, 0x0101, 8)
        .ExplicitUS(0x0028, 0x0102, 7)
        .Explicit(0x7FE0, 0x0010, "OB", pixels)
        .ExplicitText(0x0040, 0xA160, "UT", "after the pixels");
    DicomStreamBuilder a;
    a.Preamble().MetaGroup("1.2.840.10008.1.2.1").Raw(dataSet.Bytes());
    DicomStreamBuilder b;
    b.Preamble().MetaGroup("1.2.840.10008.1.2.1.99").Raw(Deflated(dataSet.Bytes()));
    EXPECT_TRUE(a.WriteTo(plain));
    EXPECT_TRUE(b.WriteTo(deflated));
}

}  // namespace

// A file whose data set is deflated is inflated on a worker, which may take seconds:
// the window opens, paints "decoding…" and closes while the worker has not begun, and
// the result it brings later is dropped. Opened again, it shows what the same study
// written plainly shows, under the same title.
TEST_F(Viewer, ADeflatedFileOpensAndClosesBeforeItsDataSetIsInflated) {
    const std::string plain = folder.File("plain.dcm");
    const std::string deflated = folder.File("deflated.dcm");
    WritePlainAndDeflated(plain, deflated);

    CDocumentOpenTask::HoldWorkers(true);
    CChildFrame* held = app->OpenDocumentFile(QString::fromStdString(deflated));
    ASSERT_NE(held, nullptr);
    const CDocumentController& opening = held->Controller();
    EXPECT_TRUE(opening.Opening());
    EXPECT_EQ(opening.Image(), nullptr);
    EXPECT_TRUE(opening.NoImageReason().isEmpty());
    EXPECT_EQ(held->windowTitle(), QStringLiteral("deflated.dcm"));
    EXPECT_EQ(opening.FrameText(), QStringLiteral("decoding\u2026"));
    EXPECT_FALSE(held->View()->viewport()->grab().toImage().isNull());
    held->close();
    Idle();
    EXPECT_TRUE(frame->Children().empty());
    CDocumentOpenTask::HoldWorkers(false);
    Idle();

    CChildFrame* shown = Open(plain);
    CChildFrame* child = app->OpenDocumentFile(QString::fromStdString(deflated));
    ASSERT_NE(child, nullptr);
    QDeadlineTimer deadline(20000);
    while ((child->Controller().Opening() || child->Controller().Image() == nullptr) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const PackedDib* expected = shown->Controller().Image();
    const PackedDib* got = child->Controller().Image();
    ASSERT_NE(expected, nullptr);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(child->windowTitle(),
              QString(shown->windowTitle()).replace(QStringLiteral("plain"), QStringLiteral("deflated")));
    EXPECT_EQ(child->Controller().FrameText(), shown->Controller().FrameText());
    ASSERT_EQ(DibRowStride(got) * DibHeight(got), DibRowStride(expected) * DibHeight(expected));
    EXPECT_EQ(std::memcmp(DibBits(got), DibBits(expected), DibRowStride(got) * DibHeight(got)), 0);
}

// A child window fits its image when image and decoration (13 x 31 here) fit strictly
// inside the area (1024 x 700), else it takes the fixed 730 x 650.
struct FrameFitCase {
    QSize image;
    QSize frame;
};

class FrameFit : public ::testing::TestWithParam<FrameFitCase> {};

TEST_P(FrameFit, ImageFitsWhenItLeavesRoomElseTheFixedSize) {
    EXPECT_EQ(CDorvanelleView::FitFrameSize(GetParam().image, {13, 31}, {1024, 700}), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameFit,
                         ::testing::Values(FrameFitCase{{500, 400}, {513, 431}}, FrameFitCase{{1020, 400}, {730, 650}},
                                           FrameFitCase{{1011, 10}, {730, 650}},  // w + 13 == W
                                           FrameFitCase{{10, 669}, {730, 650}},   // h + 31 == H
                                           FrameFitCase{{1010, 668}, {1023, 699}}));

TEST_F(Viewer, ChildWindowIsFittedToItsImageOncePerFile) {
    const std::string path = folder.File("small.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 200, 120, Gradient));
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->pos(), QPoint(0, 0));
    EXPECT_EQ(child->View()->viewport()->size(), QSize(200, 120));
    EXPECT_FALSE(child->View()->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(child->View()->GetDocument().m_bFitFrame);

    // A second window of the same document keeps the size it was given.
    child->resize(400, 400);
    Run(ID_WINDOW_NEW);
    ASSERT_EQ(frame->Children().size(), 2u);
    EXPECT_EQ(&frame->Children()[1]->Controller(), &child->Controller());
    Activate(child);
    EXPECT_EQ(child->size(), QSize(400, 400));

    const std::string wide = folder.File("wide.bmp");
    ASSERT_TRUE(WriteGreyBmp(wide, 1600, 100, Gradient));
    CChildFrame* large = Open(wide);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(large->geometry(), QRect(0, 0, 730, 650));
    // Larger than its window, the image is fitted: all of it shows, without scroll bars.
    CDorvanelleView* view = large->View();
    EXPECT_TRUE(view->Viewport().IsFit());
    EXPECT_DOUBLE_EQ(view->Viewport().Zoom(), view->viewport()->width() / 1600.0);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    // 1:1 scrolls over its full width again.
    Run(ID_VIEW_ZOOM_ACTUAL);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 1600 - view->viewport()->width());

    // A tiny image keeps a usable window.
    const std::string tiny = folder.File("tiny.bmp");
    ASSERT_TRUE(WriteGreyBmp(tiny, 4, 4, Gradient));
    CChildFrame* small = Open(tiny);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->size(), CDorvanelleView::kMinimumFrame);
}

TEST_F(Viewer, DragFromRightToLeftSelectsAndPreviewsTheSameRectangle) {
    const std::string path = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 120, 100, Gradient));
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    const CDorvanelleDoc& doc = child->View()->GetDocument();

    Run(ID_ACTIONS_RECTANGLE);
    EXPECT_TRUE(view->m_bSelectMode);
    EXPECT_TRUE(frame->Action(ID_ACTIONS_RECTANGLE)->isChecked());
    DragPixels(view, {90, 70}, {10, 20});
    EXPECT_EQ(view->m_rcSelection, (DibRect{10, 20, 90, 70}));
    ASSERT_NE(doc.m_pSelectedDib, nullptr);
    EXPECT_EQ(DibWidth(doc.m_pSelectedDib.get()), 80);
    EXPECT_EQ(DibHeight(doc.m_pSelectedDib.get()), 50);
    // The preview shows the selection's top-left pixel, image pixel (10, 20).
    const QImage preview = Panel().m_pPreview->grab().toImage();
    const int g = Gradient(10, 20);
    EXPECT_EQ(PixelAt(preview, 0, 0), qRgb(g, g, g) & 0xFFFFFFu);

    // A drag past the image's edges stays on the image.
    Drag(view->viewport(), OnPixel(view, {100, 90}), QPoint(900, 700));
    EXPECT_EQ(view->m_rcSelection, (DibRect{100, 90, 120, 100}));
    EXPECT_EQ(DibHeight(doc.m_pSelectedDib.get()), 10);

    // Shift held while moving changes nothing.
    const DibRect before = view->m_rcSelection;
    SendMouse(view->viewport(), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(view->viewport(), QEvent::MouseMove, {50, 50}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(view->m_rcSelection, before);
    SendMouse(view->viewport(), QEvent::MouseButtonRelease, {50, 50}, Qt::LeftButton, Qt::NoButton);

    // Leaving selection mode clears the rectangle and the selection; a drag then
    // selects nothing.
    Run(ID_ACTIONS_RECTANGLE);
    EXPECT_EQ(view->m_rcSelection, DibRect{});
    EXPECT_EQ(doc.m_pSelectedDib, nullptr);
    Drag(view->viewport(), QPoint(5, 5), QPoint(30, 30));
    EXPECT_EQ(doc.m_pSelectedDib, nullptr);
    EXPECT_EQ(view->m_rcSelection, DibRect{});
}

TEST_F(Viewer, SlideCommandsStepWithinTheFramesAndRepaintEveryViewOfTheDocument) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 3));
    CChildFrame* multi = Open(study);
    ASSERT_NE(multi, nullptr);
    Run(ID_WINDOW_NEW);
    CChildFrame* second = frame->ActiveChild();
    ASSERT_NE(second, multi);
    Activate(multi);
    const CDorvanelleDoc& doc = multi->View()->GetDocument();
    Run(ID_PREV_SLIDE);
    EXPECT_EQ(doc.m_nFrame, 0);
    Run(ID_NEXT_SLIDE);
    Run(ID_NEXT_SLIDE);
    Run(ID_NEXT_SLIDE);
    EXPECT_EQ(doc.m_nFrame, 2);
    Run(ID_FIRST_SLIDE);
    EXPECT_EQ(doc.m_nFrame, 0);
    Run(ID_LAST_SLIDE);
    EXPECT_EQ(doc.m_nFrame, 2);
    // Both windows of the document repaint the new frame.
    const QImage expected = DibToImage(doc.m_pDib.get());
    for (CChildFrame* child : {multi, second}) {
        const QImage shown = child->View()->viewport()->grab().toImage();
        const QPoint at = OnPixel(child->View(), {24, 32});
        EXPECT_EQ(PixelAt(shown, at.x(), at.y()), PixelAt(expected, 24, 32));
    }
}

TEST_F(Viewer, KeyboardMovesAndMouseReleasesCommitTheSlidersButADraggedThumbWaits) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 4));
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    const CDorvanelleDoc& doc = child->View()->GetDocument();
    const auto width = [&doc] { return doc.CurrentWindow()->width; };
    const auto centre = [&doc] { return doc.CurrentWindow()->centre; };
    const auto picture = [&doc] {
        return std::vector<std::uint8_t>(DibBits(doc.m_pDib.get()), DibBits(doc.m_pDib.get()) + 48 * 64);
    };
    Run(ID_LAST_SLIDE);
    QSlider* widthSlider = Panel().m_pWidthSlider;
    const double stored = width();
    ASSERT_EQ(widthSlider->value(), stored);

    // A key moves the slider, the label and the image alike.
    std::vector<std::uint8_t> before = picture();
    widthSlider->setFocus();
    QTest::keyClick(widthSlider, Qt::Key_PageUp);
    Idle();
    EXPECT_NE(widthSlider->value(), stored);
    EXPECT_EQ(Panel().m_pWidthValue->text(), QString::number(widthSlider->value()));
    EXPECT_EQ(width(), widthSlider->value());
    EXPECT_EQ(doc.m_nFrame, 3);  // the current frame is drawn again, not frame 0
    EXPECT_NE(picture(), before);

    // A press and release on the thumb without moving still commits.
    const QPoint thumb = HandleCentre(widthSlider);
    QTest::mousePress(widthSlider, Qt::LeftButton, {}, thumb);
    QTest::mouseRelease(widthSlider, Qt::LeftButton, {}, thumb);
    EXPECT_EQ(width(), widthSlider->value());

    // A click on the groove far from the thumb commits too.
    QSlider* centreSlider = Panel().m_pCenterSlider;
    const int centreBefore = centreSlider->value();
    QTest::mouseClick(centreSlider, Qt::LeftButton, {}, QPoint(centreSlider->width() - 3, centreSlider->height() / 2));
    EXPECT_NE(centreSlider->value(), centreBefore);
    EXPECT_EQ(centre(), centreSlider->value());
    EXPECT_EQ(Panel().m_pCenterValue->text(), QString::number(centreSlider->value()));

    // A thumb drag commits once, at its end.
    const QPoint from = HandleCentre(widthSlider);
    QTest::mousePress(widthSlider, Qt::LeftButton, {}, from);
    SendMouse(widthSlider, QEvent::MouseMove, from + QPoint(30, 0), Qt::NoButton, Qt::LeftButton);
    const int dragged = widthSlider->value();
    EXPECT_EQ(Panel().m_pWidthValue->text(), QString::number(dragged));
    EXPECT_NE(width(), dragged);
    QTest::mouseRelease(widthSlider, Qt::LeftButton, {}, from + QPoint(30, 0));
    EXPECT_EQ(width(), dragged);
}

TEST_F(Viewer, ActivatingAnotherDocumentReloadsThePanel) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 2));
    const std::string picture = folder.File("flat.bmp");
    ASSERT_TRUE(WriteGreyBmp(picture, 32, 32, [](int, int) { return 3; }));
    CChildFrame* first = Open(study);
    CChildFrame* second = Open(picture);
    ASSERT_TRUE(first && second);
    const CDorvanelleDoc& dicom = first->View()->GetDocument();

    EXPECT_EQ(Panel().m_pWidthValue->text(), QStringLiteral("0"));
    EXPECT_EQ(Panel().m_pWholeHistogram->Bins()[3], 100);

    Activate(first);
    ASSERT_TRUE(dicom.CurrentWindow() && dicom.Range());
    EXPECT_EQ(Panel().m_pWidthValue->text(), QString::number(dicom.CurrentWindow()->width));
    EXPECT_EQ(Panel().m_pCenterValue->text(), QString::number(dicom.CurrentWindow()->centre));
    EXPECT_EQ(Panel().m_pWidthSlider->maximum(), std::abs(dicom.Range()->max) + std::abs(dicom.Range()->min));
    EXPECT_EQ(Panel().m_pCenterSlider->minimum(), dicom.Range()->min);
    EXPECT_NE(Panel().m_pWholeHistogram->Bins()[3], 100);

    Activate(second);
    EXPECT_EQ(Panel().m_pWholeHistogram->Bins()[3], 100);

    // Closing a document clears the panel; the other one refills it when active.
    Run(ID_FILE_CLOSE);
    Idle();
    EXPECT_EQ(app->DocumentCount(), 1u);
    Activate(first);
    EXPECT_EQ(Panel().m_pWidthValue->text(), QString::number(dicom.CurrentWindow()->width));
}

// The range of all samples comes from a worker: the first frame is there and paints
// before it arrives, and the sliders take it when it does.
TEST_F(Viewer, TheFirstFramePaintsBeforeTheSampleRangeAndTheSlidersTakeIt) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 40));
    CDicomFile reference;
    ASSERT_EQ(reference.LoadFile(study), 0);
    reference.ParseElements(reference.DetectLayout());
    const RangeOutcome range = ScanModalityRange(*reference.Frames());
    ASSERT_TRUE(range.Complete());
    const int min = static_cast<int>(range.range.min);
    const int max = static_cast<int>(range.range.max);

    // No event has run since the file opened, so the worker's result cannot have been taken.
    CChildFrame* child = app->OpenDocumentFile(QString::fromStdString(study));
    ASSERT_NE(child, nullptr);
    QSignalSpy arrived(&child->Controller(), &CDocumentController::sampleRangeChanged);
    const CDorvanelleDoc& doc = child->View()->GetDocument();
    EXPECT_TRUE(doc.RangePending());
    ASSERT_NE(doc.m_pDib, nullptr);
    const QImage painted = child->View()->viewport()->grab().toImage();
    const QPoint middle = OnPixel(child->View(), {32, 24});
    const QPoint corner = OnPixel(child->View(), {0, 0});
    EXPECT_NE(PixelAt(painted, middle.x(), middle.y()), PixelAt(painted, corner.x(), corner.y()));  // the phantom

    ASSERT_TRUE(arrived.count() > 0 || arrived.wait(10000));
    Idle();
    EXPECT_FALSE(doc.RangePending());
    EXPECT_EQ(*doc.Range(), range.range);
    EXPECT_EQ(Panel().m_pWidthSlider->maximum(), std::abs(max) + std::abs(min));
    EXPECT_EQ(Panel().m_pCenterSlider->minimum(), min);
    EXPECT_EQ(Panel().m_pCenterSlider->maximum(), max);
    EXPECT_EQ(Panel().m_pWidthSlider->value(), 400);
    EXPECT_EQ(Panel().m_pCenterSlider->value(), 40);
}

// Another program truncates the open study: stepping on never crashes, and the
// window says why it shows nothing.
TEST_F(Viewer, AStudyTruncatedWhileOpenSaysItChangedOnDisk) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 20));
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    const CDorvanelleDoc& doc = child->View()->GetDocument();
    ASSERT_NE(doc.m_pDib, nullptr);
    ASSERT_EQ(::truncate(study.c_str(), 48 * 64 * 2 * 5), 0);

    dialogs.messages.clear();
    Run(ID_LAST_SLIDE);
    EXPECT_EQ(doc.m_pDib, nullptr);
    EXPECT_TRUE(child->Controller().NoImageReason().contains(QStringLiteral("the file changed on disk")))
        << child->Controller().NoImageReason().toStdString();
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.messages.back().text.contains(QStringLiteral("the file changed on disk")));
    Run(ID_PREV_SLIDE);
    Run(ID_FIRST_SLIDE);  // read before the change, and not shown from the cache either
    EXPECT_EQ(doc.m_pDib, nullptr);
    const QImage empty = child->View()->viewport()->grab().toImage();
    EXPECT_FALSE(empty.isNull());
}

TEST_F(Viewer, SaveWritesByTheChosenNamesExtension) {
    const std::string picture = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(picture, 40, 30, Gradient));
    CChildFrame* child = Open(picture);
    ASSERT_NE(child, nullptr);
    const QString title = child->windowTitle();
    EXPECT_EQ(title, QStringLiteral("picture.bmp ==>8 bpp"));

    dialogs.saveAnswer = QString::fromStdString(folder.File("out.dcm"));
    Run(ID_FILE_SAVE);
    EXPECT_EQ(dialogs.lastFilters, QStringLiteral("Dicom File (*.dcm);;Bitmap File (*.bmp)"));
    ASSERT_TRUE(Exists(folder.File("out.dcm")));
    EXPECT_NE(ReadFileText(folder.File("out.dcm"), 2), "BM");
    dialogs.saveAnswer = QString::fromStdString(folder.File("OUT.DCM"));  // any letter case
    Run(ID_FILE_SAVE);
    EXPECT_NE(ReadFileText(folder.File("OUT.DCM"), 2), "BM");
    dialogs.saveAnswer = QString::fromStdString(folder.File("out.bmp"));
    Run(ID_FILE_SAVE);
    EXPECT_EQ(ReadFileText(folder.File("out.bmp"), 2), "BM");
    // A name typed without an extension takes the chosen filter's.
    dialogs.saveAnswer = QString::fromStdString(folder.File("typed"));
    Run(ID_FILE_SAVE);
    EXPECT_FALSE(Exists(folder.File("typed")));
    ASSERT_TRUE(Exists(folder.File("typed.dcm")));
    EXPECT_NE(ReadFileText(folder.File("typed.dcm"), 2), "BM");
    dialogs.saveFilterAnswer = QStringLiteral("Bitmap File (*.bmp)");
    Run(ID_FILE_SAVE);
    EXPECT_EQ(ReadFileText(folder.File("typed.bmp"), 2), "BM");
    // A name with an extension keeps it, whatever the filter.
    dialogs.saveAnswer = QString::fromStdString(folder.File("out.v2"));
    Run(ID_FILE_SAVE);
    EXPECT_EQ(ReadFileText(folder.File("out.v2"), 2), "BM");
    dialogs.saveFilterAnswer.clear();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(child->windowTitle(), title);

    // Cancelling writes nothing and says nothing.
    dialogs.saveAnswer.clear();
    Run(ID_FILE_SAVE);
    EXPECT_TRUE(dialogs.messages.empty());

    // Nothing selected yet: no file, and the user is told.
    dialogs.saveAnswer = QString::fromStdString(folder.File("selected.bmp"));
    Run(ID_FILE_SAVE_SELECTED);
    EXPECT_FALSE(Exists(folder.File("selected.bmp")));
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

// The file dialog asks before replacing the name typed; the extension added after it
// makes another name, which is asked about here before an existing file is replaced.
TEST_F(Viewer, ANameCompletedByItsExtensionAsksBeforeReplacingAFile) {
    const std::string picture = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(picture, 40, 30, Gradient));
    CChildFrame* child = Open(picture);
    ASSERT_NE(child, nullptr);
    const std::string kept = folder.File("scan.dcm");
    WriteFileBytes(kept, std::string_view("kept"));

    dialogs.saveAnswer = QString::fromStdString(folder.File("scan"));
    Run(ID_FILE_SAVE);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_TRUE(dialogs.questions.back().contains(QStringLiteral("scan.dcm"))) << dialogs.questions.back().toStdString();
    EXPECT_EQ(ReadFileText(kept, 10), "kept");
    EXPECT_TRUE(dialogs.messages.empty());

    dialogs.yesNoAnswer = true;
    Run(ID_FILE_SAVE);
    EXPECT_EQ(dialogs.questions.size(), 2u);
    EXPECT_NE(ReadFileText(kept, 10), "kept");

    // A name given whole was asked about by the dialog itself, and a new name needs no question.
    dialogs.saveAnswer = QString::fromStdString(kept);
    Run(ID_FILE_SAVE);
    dialogs.saveAnswer = QString::fromStdString(folder.File("fresh"));
    Run(ID_FILE_SAVE);
    EXPECT_TRUE(Exists(folder.File("fresh.dcm")));
    EXPECT_EQ(dialogs.questions.size(), 2u);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Viewer, MainWindowTitleNamesTheActiveDocumentAndClosingClearsThePanel) {
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Dorvanelle"));
    EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("Ready"));
    const std::string picture = folder.File("p.bmp");
    ASSERT_TRUE(WriteGreyBmp(picture, 16, 16, Gradient));
    ASSERT_NE(Open(picture), nullptr);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Dorvanelle - p.bmp ==>8 bpp"));
    frame->ActiveChild()->showMaximized();
    Idle();
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Dorvanelle - [p.bmp ==>8 bpp]"));
    frame->ActiveChild()->showNormal();
    Idle();
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Dorvanelle - p.bmp ==>8 bpp"));
    EXPECT_NE(Panel().m_pWholeHistogram->Bins(), Histogram{});

    Run(ID_FILE_CLOSE);
    Idle();
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Dorvanelle"));
    EXPECT_EQ(Panel().m_pWholeHistogram->Bins(), Histogram{});
}

TEST_F(Viewer, OpeningRecognisesOpenFilesAndSurvivesBadOnes) {
    Open(folder.File("missing.dcm"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QString::fromStdString(folder.File("missing.dcm") + " was not found."));
    EXPECT_EQ(app->DocumentCount(), 0u);

    const std::string picture = folder.File("p.bmp");
    ASSERT_TRUE(WriteGreyBmp(picture, 16, 16, Gradient));
    CChildFrame* first = Open(picture);
    EXPECT_EQ(Open(folder.Path().string() + "/./p.bmp"), first);
    EXPECT_EQ(app->DocumentCount(), 1u);

    // A file without an image still opens its window (see ViewerWithoutImage).
    const std::string junk = folder.File("junk.dcm");
    std::ofstream(junk) << "this is not an image at all";
    ASSERT_NE(Open(junk), nullptr);
    EXPECT_EQ(app->DocumentCount(), 2u);
}

// Opening a named pipe used to freeze the viewer in open() until a writer came; it is
// refused at once, with its kind, and no window opens. The releaser would let a
// waiting open go on after two seconds; it never finds one.
TEST_F(Viewer, APipeOrASocketIsRefusedWithoutWaiting) {
    const std::string pipe = folder.File("pipe.dcm");
    ASSERT_TRUE(MakeFifo(pipe));
    PipeReleaser releaser(pipe, 2000);
    EXPECT_EQ(Open(pipe), nullptr);
    BoundSocket socket(folder.File("socket.bmp"));
    ASSERT_TRUE(socket.Bound());
    EXPECT_EQ(Open(folder.File("socket.bmp")), nullptr);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text,
              QString::fromStdString("Cannot read " + pipe + ": it is a named pipe (FIFO), not a regular file."));
    EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("it is a socket, not a regular file")));
    EXPECT_EQ(app->DocumentCount(), 0u);
    EXPECT_EQ(releaser.Released(), 0);
}

TEST_F(Viewer, RecentFilesAndFileOpenDialog) {
    const std::string a = folder.File("a.bmp");
    const std::string b = folder.File("b.bmp");
    ASSERT_TRUE(WriteGreyBmp(a, 8, 8, Gradient));
    ASSERT_TRUE(WriteGreyBmp(b, 8, 8, Gradient));
    dialogs.openAnswer = {QString::fromStdString(a), QString::fromStdString(b)};
    Run(ID_FILE_OPEN);
    EXPECT_EQ(app->DocumentCount(), 2u);
    EXPECT_EQ(dialogs.lastFilters, QStringLiteral("Dicom Files (*);;Bitmap Files (*.bmp);;PCX Files (*.pcx)"));
    // The dialog started in the image folder beside the executables' folder.
    EXPECT_EQ(QDir::currentPath(), QDir::cleanPath(QApplication::applicationDirPath() + "/../Images"));

    // The list is written once the windows have shown.
    QApplication::processEvents();
    QSettings settings(QStringLiteral("Davov Adivir"), QStringLiteral("Dorvanelle"));
    EXPECT_EQ(settings.value("Recent File List/File1").toString(), QString::fromStdString(b));
    EXPECT_EQ(settings.value("Recent File List/File2").toString(), QString::fromStdString(a));
    EXPECT_TRUE(Enabled(ID_FILE_MRU_FILE1));
    EXPECT_FALSE(Enabled(ID_FILE_MRU_FILE1 + 2));

    Run(ID_APP_ABOUT);
    ASSERT_EQ(dialogs.modalTitles.size(), 1u);
    EXPECT_EQ(dialogs.modalTitles[0], QStringLiteral("About Dorvanelle"));
}

namespace {

// A 4-bit .bmp of 2 x 1 pixels: colour 3 then colour 10 of its own table.
void WriteFourBitBmp(const std::string& path) {
    Bytes block = InfoHeader(40, 2, 1, 4);
    block.resize(40 + 16 * 4);
    const Bytes three = {30, 20, 10}, ten = {50, 100, 200};
    std::copy(three.begin(), three.end(), block.begin() + 40 + 3 * 4);
    std::copy(ten.begin(), ten.end(), block.begin() + 40 + 10 * 4);
    Append(block, {0x3A, 0, 0, 0});
    WriteFileBytes(path, BmpFileBytes(block));
}

}  // namespace

TEST_F(Viewer, PicturesPaintWithTheirOwnColoursAndTwentyFourBitsAreAnnounced) {
    const std::string nibbles = folder.File("four.bmp");
    WriteFourBitBmp(nibbles);
    CChildFrame* child = Open(nibbles);
    ASSERT_NE(child, nullptr);
    const QImage shown = child->View()->viewport()->grab().toImage();
    const QPoint first = OnPixel(child->View(), {0, 0});
    EXPECT_EQ(PixelAt(shown, first.x(), first.y()), qRgb(10, 20, 30) & 0xFFFFFFu);
    EXPECT_EQ(PixelAt(shown, first.x() + 1, first.y()), qRgb(200, 100, 50) & 0xFFFFFFu);
    EXPECT_TRUE(dialogs.messages.empty());

    PackedDibPtr colour = CreateRgbDib(8, 4);
    ASSERT_TRUE(WriteBmpFile(colour.get(), folder.File("colour.bmp")).written);
    CChildFrame* converted = Open(folder.File("colour.bmp"));
    ASSERT_NE(converted, nullptr);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("The Image Will be Converted to 8 bpp !!"));
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Dorvanelle"));
    EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(converted->windowTitle(), QStringLiteral("colour.bmp ==>8 bpp"));
}

TEST_F(Viewer, AboutBoxClosesWithEscape) {
    CAboutDlg about(frame);
    about.show();
    QApplication::processEvents();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Dorvanelle"));
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    // The picture is our own drawing, at its full size.
    EXPECT_EQ(CAboutDlg::Picture().size(), QSize(402, 185));
}

// Every malformed file the fuzzers kept opens, paints, selects, windows and steps
// without harm; a file that gives no image opens an empty window.
TEST_F(Viewer, MalformedFilesNeverCrashTheViewer) {
    const std::pair<const char*, const char*> corpora[] = {{"fuzz_bmp_reader", ".bmp"},
                                                           {"fuzz_pcx_reader", ".pcx"},
                                                           {"fuzz_dicom_reader", ".dcm"},
                                                           {"fuzz_bmp_reader", ".dcm"}};
    int opened = 0;
    for (const auto& [corpus, extension] : corpora) {
        const QDir dir(QStringLiteral(DORVANELLE_SOURCE_DIR "/fuzz/corpus/") + QString::fromLatin1(corpus));
        for (const QString& name : dir.entryList(QDir::Files)) {
            const std::string copy = folder.File(name.toStdString() + extension);
            ASSERT_TRUE(QFile::copy(dir.filePath(name), QString::fromStdString(copy)));
            CChildFrame* child = Open(copy);
            ASSERT_NE(child, nullptr) << copy;
            ++opened;
            child->View()->viewport()->grab();
            Run(ID_ACTIONS_RECTANGLE);
            Drag(child->View()->viewport(), {40, 30}, {2, 1});
            Panel().OnWidthReleased();
            Panel().OnCenterReleased();
            Run(ID_NEXT_SLIDE);
            Run(ID_LAST_SLIDE);
            child->View()->viewport()->grab();
            Panel().grab();
            Run(ID_FILE_CLOSE);
            Idle();
        }
    }
    EXPECT_GT(opened, 0);
    EXPECT_EQ(app->DocumentCount(), 0u);
}

TEST(StartUp, AMissingFileOnTheCommandLineEndsTheProgramAfterSayingSo) {
    FakeDialogs dialogs;
    CDorvanelleApp app(dialogs);
    EXPECT_FALSE(app.InitInstance({QStringLiteral("/no/such/folder/head.dcm")}, true));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("/no/such/folder/head.dcm was not found."));
    EXPECT_FALSE(app.MainFrame()->isVisible());
}

TEST_F(Viewer, FilesDroppedOnTheMainWindowOpen) {
    const std::string a = folder.File("dropped.bmp");
    ASSERT_TRUE(WriteGreyBmp(a, 8, 8, Gradient));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(a))});
    QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(400, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &drop);
    QApplication::processEvents();
    EXPECT_EQ(app->DocumentCount(), 1u);
    ASSERT_NE(frame->ActiveChild(), nullptr);
    EXPECT_EQ(frame->ActiveChild()->windowTitle(), QStringLiteral("dropped.bmp ==>8 bpp"));
}

namespace {

// Peak resident memory of this process in bytes since the last ResetResidentPeak.
std::int64_t ResidentPeak() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
    }
    return -1;
}

// Sets the peak to what is resident now.
bool ResetResidentPeak() { return static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5" << std::flush); }

bool SanitizersBuiltIn() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

// A PCX picture of `lines` lines of `bytesPerLine` bytes (a multiple of 63), made of
// the longest runs there are: 63 pixels from two bytes.
std::string LongestRunsPcx(std::uint16_t bytesPerLine, std::uint16_t lines) {
    std::string bytes(128, '\0');
    bytes[0] = 10, bytes[1] = 5, bytes[2] = 1, bytes[3] = 8;
    bytes[10] = static_cast<char>((lines - 1) & 0xFF), bytes[11] = static_cast<char>((lines - 1) >> 8);
    bytes[65] = 1;
    bytes[66] = static_cast<char>(bytesPerLine & 0xFF), bytes[67] = static_cast<char>(bytesPerLine >> 8);
    for (int line = 0; line < lines; ++line) {
        for (int run = 0; run < bytesPerLine / 63; ++run) {
            bytes += static_cast<char>(0xC0 + 63);
            bytes += static_cast<char>(line % 200);
        }
    }
    return bytes;
}

}  // namespace

// An 8-bit picture is held once: no decoding buffer beside it and no 32-bit copy of it.
TEST_F(Viewer, AnEightBitPictureCostsAtMostHalfAgainItsSize) {
    if (SanitizersBuiltIn() || ResidentPeak() < 0) GTEST_SKIP() << "resident memory cannot be measured here";
    const std::string path = folder.File("runs.pcx");
    constexpr std::int64_t kWidth = 63 * 128, kHeight = 4000;  // 32 MB of pixels from a 1 MB file
    std::ofstream(path, std::ios::binary) << LongestRunsPcx(kWidth, kHeight);
    QApplication::processEvents();
    ASSERT_TRUE(ResetResidentPeak());
    const std::int64_t before = ResidentPeak();
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    ASSERT_NE(child->View()->GetDocument().m_pDib, nullptr);
    // Fitted at first (it is far larger than its window), then shown 1:1.
    EXPECT_TRUE(child->View()->Viewport().IsFit());
    child->View()->viewport()->grab();
    child->View()->ZoomActualSize();
    const QImage shown = child->View()->viewport()->grab().toImage();
    EXPECT_EQ(PixelAt(shown, 5, 7), qRgb(7, 7, 7) & 0xFFFFFFu);
    EXPECT_LE(ResidentPeak() - before, kWidth * kHeight * 3 / 2);
}

TEST_F(Viewer, WithNoDocumentTheValueLabelsShowTheSliderPositions) {
    EXPECT_EQ(Panel().m_pWidthValue->text(), QString::number(Panel().m_pWidthSlider->value()));
    EXPECT_EQ(Panel().m_pCenterValue->text(), QString::number(Panel().m_pCenterSlider->value()));
    // Released with no document, a slider changes only its label.
    Panel().m_pWidthSlider->setValue(40);
    Panel().OnWidthReleased();
    EXPECT_EQ(Panel().m_pWidthValue->text(), QStringLiteral("40"));
}

TEST_F(Viewer, ClosingTheActiveDocumentRefillsThePanelFromTheWindowThatBecomesActive) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 2));
    const std::string flat = folder.File("flat.bmp");
    ASSERT_TRUE(WriteGreyBmp(flat, 32, 32, [](int, int) { return 3; }));
    const std::string other = folder.File("other.bmp");
    ASSERT_TRUE(WriteGreyBmp(other, 32, 32, [](int, int) { return 9; }));
    CChildFrame* remaining = Open(study);
    ASSERT_NE(remaining, nullptr);
    Histogram expected{};
    ComputeHistogram(remaining->View()->GetDocument().m_pDib.get(), expected);

    // File ▸ Close and the window's own close button.
    ASSERT_NE(Open(flat), nullptr);
    Run(ID_FILE_CLOSE);
    Idle();
    ASSERT_EQ(frame->ActiveChild(), remaining);
    EXPECT_EQ(Panel().m_pWholeHistogram->Bins(), expected);

    CChildFrame* closing = Open(other);
    ASSERT_NE(closing, nullptr);
    EXPECT_EQ(Panel().m_pWholeHistogram->Bins()[9], 100);
    closing->close();
    Idle();
    ASSERT_EQ(frame->ActiveChild(), remaining);
    EXPECT_EQ(Panel().m_pWholeHistogram->Bins(), expected);
    EXPECT_EQ(app->DocumentCount(), 1u);
}

TEST_F(Viewer, CascadeKeepsEveryTitleBarInSightWithTheActiveWindowInFront) {
    std::vector<CChildFrame*> children;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) {
        ASSERT_TRUE(WriteGreyBmp(folder.File(name), 64, 48, Gradient));
        children.push_back(Open(folder.File(name)));
        ASSERT_NE(children.back(), nullptr);
    }
    Activate(children[1]);
    Run(ID_WINDOW_CASCADE);
    EXPECT_EQ(frame->ActiveChild(), children[1]);
    const QList<QMdiSubWindow*> stack = frame->MdiArea()->subWindowList(QMdiArea::StackingOrder);
    ASSERT_EQ(stack.size(), 4);
    EXPECT_EQ(stack.back(), children[1]);  // in front
    const int titleHeight = children[1]->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, children[1]);
    for (qsizetype i = 0; i < stack.size(); ++i) {
        // The middle of the title bar's left part is not under any window above it.
        const QPoint title = stack[i]->geometry().topLeft() + QPoint(12, titleHeight / 2);
        for (qsizetype above = i + 1; above < stack.size(); ++above) {
            EXPECT_FALSE(stack[above]->geometry().contains(title))
                << stack[i]->windowTitle().toStdString() << " under " << stack[above]->windowTitle().toStdString();
        }
    }
}

namespace {

// Whether the view's middle band shows anything other than its background.
bool ShowsTextInTheMiddle(CDorvanelleView* view) {
    const QImage shown = view->viewport()->grab().toImage();
    const QRgb ground = PixelAt(shown, 1, 1);
    for (int y = shown.height() / 2 - 10; y < shown.height() / 2 + 10; ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (PixelAt(shown, x, y) != ground) return true;
        }
    }
    return false;
}

struct NoImageFile {
    const char* name;
    std::string bytes;
};

class ViewerWithoutImage : public Viewer, public ::testing::WithParamInterface<NoImageFile> {};

}  // namespace

TEST_P(ViewerWithoutImage, TheWindowSaysWhyItIsEmptyInTheStatusBarAndInTheView) {
    const std::string path = folder.File(GetParam().name);
    std::ofstream(path, std::ios::binary) << GetParam().bytes;
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(child->View()->GetDocument().m_pDib, nullptr);
    EXPECT_EQ(child->windowTitle(), QString::fromLatin1(GetParam().name));  // no depth suffix
    EXPECT_GT(child->height(), 60);                                         // not shrunk to its title bar
    const QString reason = child->Controller().NoImageReason();
    EXPECT_TRUE(reason.startsWith(QString::fromLatin1(GetParam().name) + " shows no image: ")) << reason.toStdString();
    EXPECT_EQ(frame->statusBar()->currentMessage(), reason);
    EXPECT_TRUE(ShowsTextInTheMiddle(child->View()));
    EXPECT_TRUE(dialogs.messages.empty());

    // Selecting finds nothing to crop.
    Run(ID_ACTIONS_RECTANGLE);
    Drag(child->View()->viewport(), {10, 10}, {40, 40});
    EXPECT_EQ(child->View()->GetDocument().m_pSelectedDib, nullptr);

    // The reason goes with its window: another document's does not stay behind.
    ASSERT_TRUE(WriteGreyBmp(folder.File("fine.bmp"), 16, 16, Gradient));
    ASSERT_NE(Open(folder.File("fine.bmp")), nullptr);
    EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("Ready"));
    Activate(child);
    EXPECT_EQ(frame->statusBar()->currentMessage(), reason);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ViewerWithoutImage,
    ::testing::Values(NoImageFile{"junk.dcm", "this is not an image at all"},
                      // A bitmap whose header claims 32767 x 32767 pixels in 64 bytes.
                      NoImageFile{"broken.bmp", std::string("BM\x40\0\0\0\0\0\0\0\x36\0\0\0", 14) +
                                                    std::string("\x28\0\0\0\xff\x7f\0\0\xff\x7f\0\0\1\0\x08\0", 16)},
                      NoImageFile{"empty.pcx", ""}, NoImageFile{"short.pcx", "\x0a\x05\x01"}),
    [](const ::testing::TestParamInfo<NoImageFile>& param) {
        std::string name = param.param.name;
        for (char& c : name) {
            if (c == '.') c = '_';
        }
        return name;
    });

// Three frames announced, the data of two present: the last frame gives no image.
// The file's path, or empty when it could not be written.
std::string WriteFramesOneShort(const TempFolder& folder) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(4, 4, 8).ExplicitText(0x0028, 0x0008, "IS", "3");
    b.PixelData8(std::vector<std::uint8_t>(32, 100));
    const std::string path = folder.File("short.dcm");
    return b.WriteTo(path) ? path : std::string();
}

TEST_F(Viewer, AFrameWithoutImageShowsItsReasonOnlyWhileItIsShown) {
    const std::string path = WriteFramesOneShort(folder);
    ASSERT_FALSE(path.empty());
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    child->resize(300, 300);
    QApplication::processEvents();
    EXPECT_TRUE(child->Controller().NoImageReason().isEmpty());
    const QImage withImage = child->View()->viewport()->grab().toImage();

    Run(ID_LAST_SLIDE);
    ASSERT_EQ(child->View()->GetDocument().m_pDib, nullptr);
    EXPECT_FALSE(child->Controller().NoImageReason().isEmpty());
    EXPECT_TRUE(ShowsTextInTheMiddle(child->View()));
    EXPECT_EQ(dialogs.messages.size(), 1u);  // stepping there is a problem the user is told

    Run(ID_FIRST_SLIDE);
    EXPECT_TRUE(child->Controller().NoImageReason().isEmpty());
    EXPECT_EQ(child->View()->viewport()->grab().toImage(), withImage);
}

// Cine over a frame that gives no image says so once, not at every pass over it (the
// messages piled up, one more each time round), and neither does stepping back to it.
TEST_F(Viewer, AFrameWithoutImageIsReportedOnceWhateverPassesOverIt) {
    const std::string path = WriteFramesOneShort(folder);
    ASSERT_FALSE(path.empty());
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    CDocumentController& controller = child->Controller();
    for (int step = 0; step < 9; ++step) {
        controller.CineStep();
        QDeadlineTimer deadline(5000);
        while (controller.PendingFrame() && !deadline.hasExpired()) Idle();
    }
    EXPECT_EQ(controller.Document().m_nFrame, 0);  // three times round
    Run(ID_LAST_SLIDE);
    EXPECT_FALSE(controller.NoImageReason().isEmpty());
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(Viewer, AWindowChangeCropsTheActiveWindowsOwnRectangle) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 1));
    CChildFrame* first = Open(study);
    ASSERT_NE(first, nullptr);
    Run(ID_ACTIONS_RECTANGLE);
    DragPixels(first->View(), {0, 0}, {8, 4});
    Run(ID_WINDOW_NEW);
    CChildFrame* second = frame->ActiveChild();
    ASSERT_NE(second, first);
    Run(ID_ACTIONS_RECTANGLE);
    DragPixels(second->View(), {0, 0}, {16, 12});
    const CDorvanelleDoc& doc = first->View()->GetDocument();
    ASSERT_EQ(DibWidth(doc.m_pSelectedDib.get()), 16);

    // Each window keeps its own mode and rectangle; the slider crops the active one's.
    Activate(first);
    EXPECT_EQ(first->View()->m_rcSelection, (DibRect{0, 0, 8, 4}));
    Panel().OnWidthReleased();
    EXPECT_EQ(DibWidth(doc.m_pSelectedDib.get()), 8);
    EXPECT_EQ(DibHeight(doc.m_pSelectedDib.get()), 4);
    Activate(second);
    Panel().OnCenterReleased();
    EXPECT_EQ(DibWidth(doc.m_pSelectedDib.get()), 16);
}
