// The viewing aids in the real main window: zoomed selection, windowing by mouse,
// the pixel readout, frame keys, cine, copy, print and window switching.
#include <cstdlib>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "document/DorvanelleDoc.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/PhantomStudy.h"
#include "views/CommandIds.h"
#include "views/ControlPanel.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"

namespace {

int Gradient(int x, int y) { return (3 * x + y) % 256; }

// A small three-frame CT study whose modality values are half the stored ones less
// 1024, so that a readout of the wrong value shows.
PhantomOptions SlopedCt() {
    PhantomOptions options;
    options.rows = 40;
    options.columns = 50;
    options.frames = 3;
    options.rescaleSlope = 0.5;
    options.rescaleIntercept = -1024;
    return options;
}

class ViewerAids : public ViewerApp {
protected:
    QString Pane(const char* name) const {
        auto* pane = frame->statusBar()->findChild<QLabel*>(QString::fromLatin1(name));
        return pane ? pane->text() : QStringLiteral("<no pane>");
    }
    void Move(CDorvanelleView* view, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
        SendMouse(view->viewport(), QEvent::MouseMove, at, Qt::NoButton, held);
    }
    static QImage Shown(CDorvanelleView* view) { return view->viewport()->grab().toImage(); }
};

TEST_F(ViewerAids, ASelectionMadeWhileZoomedCropsThePixelsOfTheSameSelectionAt1To1) {
    const std::string path = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 160, 120, Gradient));
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    const CDorvanelleDoc& doc = child->Controller().Document();
    Run(ID_ACTIONS_RECTANGLE);

    DragPixels(view, {30, 20}, {70, 50});
    ASSERT_NE(doc.m_pSelectedDib, nullptr);
    const std::vector<std::uint8_t> atOneToOne(DibBits(doc.m_pSelectedDib.get()),
                                               DibBits(doc.m_pSelectedDib.get()) + 40 * 30);

    // Three Ctrl+wheel notches about (60, 40): about twice as large, and scrolled, so
    // the same image rectangle lies elsewhere in the view.
    QWheelEvent wheel(QPointF(60, 40), view->viewport()->mapToGlobal(QPointF(60, 40)), QPoint(), QPoint(0, 120 * 3),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    ASSERT_GT(view->Viewport().Zoom(), 1.9);
    ASSERT_NE(view->Viewport().Offset(), QPointF(0, 0));
    const QRect target = view->Viewport().ImageRectToView(QRect(30, 20, 40, 30));
    Drag(view->viewport(), target.topLeft(), target.topLeft() + QPoint(target.width(), target.height()));
    EXPECT_EQ(view->m_rcSelection, (DibRect{30, 20, 70, 50}));
    ASSERT_NE(doc.m_pSelectedDib, nullptr);
    const std::vector<std::uint8_t> zoomed(DibBits(doc.m_pSelectedDib.get()),
                                           DibBits(doc.m_pSelectedDib.get()) + 40 * 30);
    EXPECT_EQ(zoomed, atOneToOne);
    // The zoomed view shows image pixel (35, 25) under its view position.
    const QImage shown = view->viewport()->grab().toImage();
    const QPoint at = view->Viewport().ImageRectToView(QRect(35, 25, 1, 1)).center();
    const int g = Gradient(35, 25);
    EXPECT_EQ(PixelAt(shown, at.x(), at.y()), qRgb(g, g, g) & 0xFFFFFFu);

    // Panning with the middle button moves the image, not the selection.
    const QPointF before = view->Viewport().Offset();
    SendMouse(view->viewport(), QEvent::MouseButtonPress, {100, 100}, Qt::MiddleButton, Qt::MiddleButton);
    Move(view, {60, 80}, Qt::MiddleButton);
    SendMouse(view->viewport(), QEvent::MouseButtonRelease, {60, 80}, Qt::MiddleButton, Qt::NoButton);
    EXPECT_EQ(view->Viewport().Offset(), before + QPointF(40, 20));
    EXPECT_EQ(view->m_rcSelection, (DibRect{30, 20, 70, 50}));
}

TEST_F(ViewerAids, ARightDragWindowsLiveAndCommitsTheValuesTheLabelsShow) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 64, 64, 2));
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    const CDorvanelleDoc& doc = child->Controller().Document();
    Run(ID_ACTIONS_RECTANGLE);
    DragPixels(view, {10, 10}, {40, 30});
    ASSERT_EQ(DibHeight(doc.m_pSelectedDib.get()), 20);
    const double width = doc.CurrentWindow()->width;
    const double centre = doc.CurrentWindow()->centre;
    const QImage before = Shown(view);
    const std::vector<std::uint8_t> selectedBefore(DibBits(doc.m_pSelectedDib.get()),
                                                   DibBits(doc.m_pSelectedDib.get()) + 30 * 20);

    SendMouse(view->viewport(), QEvent::MouseButtonPress, {20, 20}, Qt::RightButton, Qt::RightButton);
    Move(view, {60, 10}, Qt::RightButton);
    // Live: the picture changed, the sliders and labels followed, the selection waits.
    EXPECT_NE(Shown(view), before);
    EXPECT_GT(Panel().m_pWidthSlider->value(), width);
    EXPECT_LT(Panel().m_pCenterSlider->value(), centre);
    EXPECT_EQ(Panel().m_pWidthValue->text(), QString::number(Panel().m_pWidthSlider->value()));
    EXPECT_EQ(std::vector<std::uint8_t>(DibBits(doc.m_pSelectedDib.get()), DibBits(doc.m_pSelectedDib.get()) + 30 * 20),
              selectedBefore);
    Move(view, {80, 0}, Qt::RightButton);
    SendMouse(view->viewport(), QEvent::MouseButtonRelease, {80, 0}, Qt::RightButton, Qt::NoButton);
    // Committed with the labels' values, the selection cropped again from the new image.
    EXPECT_EQ(QString::number(doc.CurrentWindow()->width), Panel().m_pWidthValue->text());
    EXPECT_EQ(QString::number(doc.CurrentWindow()->centre), Panel().m_pCenterValue->text());
    EXPECT_NE(std::vector<std::uint8_t>(DibBits(doc.m_pSelectedDib.get()), DibBits(doc.m_pSelectedDib.get()) + 30 * 20),
              selectedBefore);

    // A preset from the Window Level menu, in Hounsfield units: soft tissue 400 / 40.
    const std::vector<MenuChoice> presets = view->Choices(ID_VIEW_WINDOW_LEVEL);
    ASSERT_EQ(presets.size(), 6u);  // file's, data range, four CT windows
    EXPECT_EQ(presets[0].text, QStringLiteral("File's Window\t1"));
    presets[3].run();
    EXPECT_EQ(*doc.CurrentWindow(), (DisplayWindow{400, 40}));
    EXPECT_EQ(Panel().m_pCenterSlider->value(), 40);
    EXPECT_TRUE(view->Choices(ID_VIEW_WINDOW_LEVEL)[3].checked);
}

// While the drag maps only what shows, fitted below 1:1 (nearest and smoothed) and
// scrolled at 1:1, the live picture is the one its release commits: 16-bit CT
// samples, and 8-bit ones, which the drag maps through their own table.
TEST_F(ViewerAids, ADragShowsWhatItsReleaseCommitsAtEveryZoom) {
    PhantomOptions options;
    options.rows = 150;
    options.columns = 198;  // shown 200 wide: two padding columns
    options.frames = 2;
    const std::string ct = folder.File("wide.dcm");
    ASSERT_TRUE(WriteCtPhantom(ct, options).empty());
    std::vector<std::uint8_t> ramp(std::size_t{150} * 198);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::uint8_t>((i % 198) + i / 198);
    DicomStreamBuilder eight;
    eight.Preamble().MetaGroup().ImageAttributes(150, 198, 8, 1, "MONOCHROME2");
    eight.ExplicitUS(0x0028, 0x0101, 8).ExplicitUS(0x0028, 0x0102, 7).ExplicitUS(0x0028, 0x0103, 0);
    eight.PixelData8(ramp);
    const std::string grey8 = folder.File("eight.dcm");
    ASSERT_TRUE(eight.WriteTo(grey8));

    for (const std::string& study : {ct, grey8}) {
        SCOPED_TRACE(study);
        CChildFrame* child = Open(study);
        ASSERT_NE(child, nullptr);
        CDorvanelleView* view = child->View();
        CDocumentController& controller = child->Controller();
        Run(ID_LAST_SLIDE);
        child->resize(170, 150);
        Idle();
        view->ZoomToFit();
        ASSERT_LT(view->Viewport().Zoom(), 1.0);

        struct Case {
            const char* name;
            QPoint drag;
        };
        for (const Case c : {Case{"fit", {25, -15}}, Case{"fit smoothed", {-30, 20}}, Case{"1:1 scrolled", {40, 10}}}) {
            SCOPED_TRACE(c.name);
            if (QByteArray(c.name) == "fit smoothed") view->SetSmoothing(true);
            if (QByteArray(c.name) == "1:1 scrolled") {
                view->SetSmoothing(false);
                view->ZoomActualSize();
                view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());  // the padding shows
                view->verticalScrollBar()->setValue(12);
                ASSERT_NE(view->Viewport().Offset(), QPointF(0, 0));
            }
            const QImage before = Shown(view);
            SendMouse(view->viewport(), QEvent::MouseButtonPress, {40, 40}, Qt::RightButton, Qt::RightButton);
            Move(view, QPoint(40, 40) + c.drag, Qt::RightButton);
            ASSERT_TRUE(controller.LiveWindow());
            const QImage live = Shown(view);
            SendMouse(view->viewport(), QEvent::MouseButtonRelease, QPoint(40, 40) + c.drag, Qt::RightButton,
                      Qt::NoButton);
            EXPECT_FALSE(controller.LiveWindow());
            EXPECT_NE(live, before);
            EXPECT_EQ(live, Shown(view));
        }
        child->close();
        Idle();
    }
}

TEST_F(ViewerAids, ThePanesShowTheModalityValueUnderTheCursorAndTheFrame) {
    const PhantomOptions options = SlopedCt();
    const std::string study = folder.File("slope.dcm");
    ASSERT_TRUE(WriteCtPhantom(study, options).empty());
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    EXPECT_EQ(Pane("framePane"), QStringLiteral("Frame 1 / 3"));

    Move(view, OnPixel(view, {25, 20}));
    const int stored = PhantomSample(options, 0, 20, 25);
    const double hounsfield = stored * 0.5 - 1024;
    EXPECT_EQ(Pane("readoutPane"),
              QStringLiteral("Pixel (25, 20): stored %1, value %2 HU").arg(stored).arg(hounsfield, 0, 'g', 6));

    // Keys and the wheel step the frames; the panes follow.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_End);
    EXPECT_EQ(Pane("framePane"), QStringLiteral("Frame 3 / 3"));
    EXPECT_TRUE(Pane("readoutPane").contains(QString::number(PhantomSample(options, 2, 20, 25))));
    QTest::keyClick(view, Qt::Key_PageUp);
    QTest::keyClick(view, Qt::Key_Left);
    EXPECT_EQ(child->Controller().Document().m_nFrame, 0);
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(Pane("framePane"), QStringLiteral("Frame 2 / 3"));
    QWheelEvent wheel(QPointF(25, 20), view->viewport()->mapToGlobal(QPointF(25, 20)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_EQ(Pane("framePane"), QStringLiteral("Frame 3 / 3"));
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(child->Controller().Document().m_nFrame, 0);
}

// A compressed study reads out what its uncompressed twin does, from the frame the
// reader decoded for the picture: moving the pointer decodes nothing again.
TEST_F(ViewerAids, ACompressedStudyReadsOutTheStoredAndModalityValuesOfItsTwin) {
    if (std::system("command -v dcmcrle >/dev/null && command -v dcmcjpeg >/dev/null") != 0) {
        GTEST_SKIP() << "DCMTK's compressors are not installed";
    }
    const PhantomOptions options = SlopedCt();
    const std::string plain = folder.File("plain.dcm");
    ASSERT_TRUE(WriteCtPhantom(plain, options).empty());
    CDorvanelleView* twin = Open(plain)->View();
    const QPoint points[] = {{0, 0}, {25, 20}, {49, 39}, {7, 31}};

    for (const char* compress : {"dcmcrle", "dcmcjpeg +el"}) {
        SCOPED_TRACE(compress);
        const std::string packed = folder.File(std::string(compress).substr(0, 7) + ".dcm");
        ASSERT_EQ(std::system((std::string(compress) + " " + plain + " " + packed + " >/dev/null 2>&1").c_str()), 0);
        CChildFrame* child = Open(packed);
        ASSERT_NE(child, nullptr);
        const CDorvanelleDoc& doc = child->Controller().Document();
        ASSERT_TRUE(doc.Attributes()->pixelData.encapsulated);
        for (const int shown : {0, 2}) {
            Run(shown == 0 ? ID_FIRST_SLIDE : ID_LAST_SLIDE);
            shown == 0 ? twin->Controller().FirstFrame() : twin->Controller().LastFrame();
            const std::uint8_t* decoded = doc.Samples()->bytes.data();
            for (const QPoint p : points) {
                Move(child->View(), OnPixel(child->View(), p));
                Move(twin, OnPixel(twin, p));
                EXPECT_TRUE(child->View()->ReadoutText().contains(QStringLiteral(" HU"))) << p.x() << "," << p.y();
                EXPECT_EQ(child->View()->ReadoutText(), twin->ReadoutText()) << shown;
            }
            EXPECT_EQ(doc.Samples()->bytes.data(), decoded);  // the readout decoded nothing again
        }
        child->close();
        Idle();
    }
}

TEST_F(ViewerAids, PlayVideoLoopsThroughTheFramesUntilPausedOrDeactivated) {
    const std::string study = folder.File("cine.dcm");
    ASSERT_TRUE(WriteStudy(study, 32, 32, 4));
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    const CDorvanelleDoc& doc = child->Controller().Document();
    // The file gives no rate: the default is offered as such. Faster, from the menu.
    std::vector<MenuChoice> rates = view->Choices(ID_ACTIONS_CINE_RATE);
    ASSERT_GE(rates.size(), 2u);
    EXPECT_EQ(rates[0].text, QStringLiteral("Default (10 fps)"));
    rates.back().run();

    Run(ID_PLAY_VIDEO);
    EXPECT_TRUE(view->IsPlaying());
    EXPECT_TRUE(Action(ID_PLAY_VIDEO)->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(view->Cine().FramesShown() >= 6, 20000);  // past the last frame: it loops
    Run(ID_PLAY_VIDEO);
    EXPECT_FALSE(view->IsPlaying());
    const std::int32_t stopped = doc.m_nFrame;
    QTest::qWait(100);
    EXPECT_EQ(doc.m_nFrame, stopped);

    // Another window becoming active stops it.
    Run(ID_ACTIONS_VIDEO);
    EXPECT_TRUE(view->IsPlaying());
    PhantomOptions timed = SlopedCt();
    timed.frameTimeMs = 40;
    const std::string other = folder.File("timed.dcm");
    ASSERT_TRUE(WriteCtPhantom(other, timed).empty());
    CChildFrame* second = Open(other);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(view->IsPlaying());
    EXPECT_EQ(second->View()->Choices(ID_ACTIONS_CINE_RATE)[0].text, QStringLiteral("File's Rate (25 fps)"));
}

TEST_F(ViewerAids, CopyAndPrintTakeTheSelectionOrTheShownImage) {
    const std::string path = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 90, 70, Gradient));
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    Run(ID_EDIT_COPY);
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(90, 70));
    Run(ID_ACTIONS_RECTANGLE);
    DragPixels(child->View(), {10, 10}, {35, 22});
    Run(ID_EDIT_COPY);
    const QImage copied = QApplication::clipboard()->image();
    // The selected image as the crop made it (its width rounded up to four pixels).
    const PackedDib* selected = child->Controller().SelectedImage();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(copied.size(), QSize(DibWidth(selected), DibHeight(selected)));
    EXPECT_EQ(copied.height(), 12);
    EXPECT_EQ(PixelAt(copied, 0, 0), qRgb(Gradient(10, 10), Gradient(10, 10), Gradient(10, 10)) & 0xFFFFFFu);

    // Cancelled: no file. Answered: a PDF holding the whole image, not the selection.
    Run(ID_FILE_PRINT);
    dialogs.printAnswer = QString::fromStdString(folder.File("printed.pdf"));
    Run(ID_FILE_PRINT);
    QFile pdf(dialogs.printAnswer);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.contains("/Subtype /Image"));
    EXPECT_TRUE(bytes.contains("/Width 90"));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ViewerAids, CtrlF6SwitchesWindowsAndTheCornerTextsAreOffUntilAskedFor) {
    const std::string study = folder.File("a.dcm");
    ASSERT_TRUE(WriteStudy(study, 96, 96, 1));
    const std::string picture = folder.File("b.bmp");
    ASSERT_TRUE(WriteGreyBmp(picture, 96, 96, [](int, int) { return 0; }));
    CChildFrame* first = Open(study);
    CChildFrame* second = Open(picture);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(frame->ActiveChild(), second);
    Run(ID_WINDOW_NEXT);
    EXPECT_EQ(frame->ActiveChild(), first);
    Run(ID_WINDOW_PREV);
    EXPECT_EQ(frame->ActiveChild(), second);
    Run(ID_WINDOW_PREV);

    // The study's corner texts draw over the image's top-left corner only when shown.
    CDorvanelleView* view = first->View();
    EXPECT_FALSE(view->OverlayShown());
    const QImage plain = view->viewport()->grab().toImage();
    Run(ID_VIEW_OVERLAY);
    EXPECT_TRUE(Action(ID_VIEW_OVERLAY)->isChecked());
    const QImage texts = view->viewport()->grab().toImage();
    EXPECT_NE(plain.copy(0, 0, 90, 20), texts.copy(0, 0, 90, 20));
    EXPECT_EQ(plain.copy(30, 40, 30, 20), texts.copy(30, 40, 30, 20));  // the middle stays the image
}

}  // namespace
