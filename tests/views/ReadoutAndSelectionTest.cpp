// What the pointer names: the readout, the selection and the drags over the image
// must all mean the pixel painted under the pointer, whatever the zoom and scroll;
// and what the user sees selected is what is selected.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "document/DorvanelleDoc.h"
#include "image/BmpFile.h"
#include "image/CropDib.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tests/views/ViewerTestSupport.h"
#include "views/CommandIds.h"
#include "views/ControlPanel.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"

namespace {

// Values with no pattern a neighbour could repeat.
int Noise(int x, int y) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return static_cast<int>((h >> 15) & 0xFF);
}

// An RGB study whose pixel (x, y) is (4x, 5y, x + y).
std::vector<std::uint8_t> ColourStudy(std::uint16_t rows, std::uint16_t columns) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(rows, columns, 8, 3, "RGB");
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x)
            pixels.insert(pixels.end(), {std::uint8_t(4 * x), std::uint8_t(5 * y), std::uint8_t(x + y)});
    }
    b.PixelData8(pixels);
    return b.Bytes();
}

struct Readout {
    QPoint pixel;
    int value = -1;
};

// "Pixel (x, y): v" of a grey picture.
Readout ParseReadout(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral(R"(^Pixel \((-?\d+), (-?\d+)\): (\d+)$)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) return {};
    return {QPoint(m.captured(1).toInt(), m.captured(2).toInt()), m.captured(3).toInt()};
}

class ReadoutAndSelection : public ViewerApp {
protected:
    void Move(CDorvanelleView* view, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
        SendMouse(view->viewport(), QEvent::MouseMove, at, Qt::NoButton, held);
    }
};

// At 1:1, enlarged, reduced and fitted, scrolled or not, the readout names the pixel
// painted under the pointer and gives its value.
TEST_F(ReadoutAndSelection, TheReadoutNamesThePixelPaintedUnderThePointerAtEveryZoom) {
    const std::string path = folder.File("noise.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 400, 400, Noise));
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    child->resize(430, 360);
    Idle();

    struct Case {
        const char* name;
        int zoomSteps;  // Zoom In (+) or Zoom Out (-) from 1:1; 99: fitted
        QPoint scroll;
        int turn = 0;  // a command that turns the display first, or 0
    };
    const Case cases[] = {{"1:1 scrolled", 0, {17, 29}},
                          {"x1.25 scrolled", 1, {91, 53}},
                          {"x1.5625", 2, {0, 0}},
                          {"x1.5625 scrolled", 2, {205, 133}},
                          {"x3.05 scrolled", 5, {401, 377}},
                          {"x0.8", -1, {0, 0}},
                          {"fitted", 99, {0, 0}},
                          {"rotated right, x1.25 scrolled", 1, {60, 70}, ID_VIEW_ROTATE_RIGHT},
                          {"then flipped, 1:1 scrolled", 0, {5, 30}, ID_VIEW_FLIP_HORIZONTAL},
                          {"then upside down, x0.8", -1, {0, 0}, ID_VIEW_FLIP_VERTICAL}};
    std::uint32_t seed = 12345;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.turn != 0) Run(c.turn);
        Run(ID_VIEW_ZOOM_ACTUAL);
        if (c.zoomSteps == 99) Run(ID_VIEW_ZOOM_FIT);
        for (int i = 0; i < c.zoomSteps && c.zoomSteps != 99; ++i)
            view->ZoomIn();
        for (int i = 0; i < -c.zoomSteps; ++i)
            view->ZoomOut();
        view->horizontalScrollBar()->setValue(c.scroll.x());
        view->verticalScrollBar()->setValue(c.scroll.y());
        Idle();
        const QImage shown = view->viewport()->grab().toImage();
        int checked = 0;
        for (int i = 0; i < 30; ++i) {
            seed = seed * 1103515245u + 12345u;
            const QPoint at(static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(view->viewport()->width())),
                            static_cast<int>((seed >> 20) % static_cast<std::uint32_t>(view->viewport()->height())));
            Move(view, at);
            const Readout r = ParseReadout(view->ReadoutText());
            if (r.value < 0) continue;  // off the image
            ++checked;
            EXPECT_EQ(r.value, Noise(r.pixel.x(), r.pixel.y())) << at.x() << "," << at.y();
            EXPECT_EQ(PixelAt(shown, at.x(), at.y()), qRgb(r.value, r.value, r.value) & 0xFFFFFFu)
                << "painted at " << at.x() << "," << at.y() << " named " << r.pixel.x() << "," << r.pixel.y();
        }
        EXPECT_GT(checked, 10);
    }
}

// A drag in selection mode selects from the pixel painted under the press to the one
// under the release (that one excluded, as at 1:1): at x1.5625, scrolled.
TEST_F(ReadoutAndSelection, TheSelectionStartsAtThePixelTheReadoutNames) {
    const std::string path = folder.File("noise.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 400, 400, Noise));
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    view->ZoomIn();
    view->ZoomIn();
    view->horizontalScrollBar()->setValue(33);
    view->verticalScrollBar()->setValue(71);
    Run(ID_ACTIONS_RECTANGLE);
    for (const QPoint from : {QPoint(101, 57), QPoint(150, 150), QPoint(37, 211)}) {
        const QPoint to = from + QPoint(61, 43);
        Move(view, from);
        const Readout first = ParseReadout(view->ReadoutText());
        Move(view, to);
        const Readout last = ParseReadout(view->ReadoutText());
        Drag(view->viewport(), from, to);
        EXPECT_EQ(view->m_rcSelection, (DibRect{first.pixel.x(), first.pixel.y(), last.pixel.x(), last.pixel.y()}));
        const PackedDib* selected = child->Controller().SelectedImage();
        ASSERT_NE(selected, nullptr);
        // The preview's top-left pixel is the value read out under the press.
        const QImage preview = Panel().m_pPreview->grab().toImage();
        EXPECT_EQ(PixelAt(preview, 0, 0), qRgb(first.value, first.value, first.value) & 0xFFFFFFu);
    }
}

// Leaving selection mode, the rectangle goes and so does the selected image: the
// preview empties and Copy copies the whole image. With the mode off a left drag pans
// and selects nothing.
TEST_F(ReadoutAndSelection, ASelectionThatIsNotShownDoesNotAct) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 260, 300, 1));
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    CDocumentController& controller = child->Controller();
    child->resize(200, 180);  // smaller than the image: there is somewhere to pan to
    Idle();
    Run(ID_VIEW_ZOOM_ACTUAL);

    Run(ID_ACTIONS_RECTANGLE);
    Drag(view->viewport(), {10, 10}, {50, 50});
    ASSERT_NE(controller.SelectedImage(), nullptr);
    Run(ID_ACTIONS_RECTANGLE);
    EXPECT_EQ(controller.SelectedImage(), nullptr);
    EXPECT_EQ(Panel().m_pPreview->Picture(), QImage());
    Run(ID_EDIT_COPY);
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(300, 260));

    // A left drag, then a right drag that windows: the image moved, and nothing is
    // selected, neither by the drag nor by the window change that follows.
    const QPointF offset = view->Viewport().Offset();
    Drag(view->viewport(), {90, 90}, {50, 70});
    EXPECT_EQ(view->Viewport().Offset(), offset + QPointF(40, 20));
    SendMouse(view->viewport(), QEvent::MouseButtonPress, {40, 40}, Qt::RightButton, Qt::RightButton);
    Move(view, {60, 50}, Qt::RightButton);
    SendMouse(view->viewport(), QEvent::MouseButtonRelease, {60, 50}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(controller.SelectedImage(), nullptr);
    EXPECT_EQ(Panel().m_pPreview->Picture(), QImage());
    Run(ID_EDIT_COPY);
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(300, 260));
}

// A rectangle selected on one frame and kept while stepping selects the same pixels
// of each frame shown: its preview and Save Selected hold the frame shown, not the
// frame it was drawn on.
TEST_F(ReadoutAndSelection, ASelectionKeptWhileSteppingHoldsTheFrameShown) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 64, 80, 4));
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    CDocumentController& controller = child->Controller();
    Run(ID_ACTIONS_RECTANGLE);
    DragPixels(child->View(), {4, 4}, {76, 60});
    ASSERT_NE(controller.SelectedImage(), nullptr);
    const QImage first = Panel().m_pPreview->Picture();

    Run(ID_NEXT_SLIDE);  // the lesion is larger there
    ASSERT_EQ(controller.Document().m_nFrame, 1);
    const PackedDibPtr expected = CropDib(DibRect{4, 4, 76, 60}, controller.Image());
    ASSERT_NE(controller.SelectedImage(), nullptr);
    const auto bytes = [](const PackedDib* dib) { return std::vector<std::uint8_t>(DibBits(dib), DibBits(dib) + 72 * 56); };
    EXPECT_EQ(bytes(controller.SelectedImage()), bytes(expected.get()));
    EXPECT_NE(Panel().m_pPreview->Picture(), first);  // the frames differ there

    dialogs.saveAnswer = QString::fromStdString(folder.File("part.bmp"));
    Run(ID_FILE_SAVE_SELECTED);
    const PackedDibPtr saved = ReadBmpFile(folder.File("part.bmp"));
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(bytes(saved.get()), bytes(expected.get()));
}

// A colour selection is cropped like a grey one: its preview, its copy and its save
// hold the selected colours.
TEST_F(ReadoutAndSelection, AColourSelectionIsCroppedPreviewedAndSaved) {
    const std::string path = folder.Put("rgb.dcm", ColourStudy(48, 64));
    CChildFrame* child = Open(path);
    ASSERT_NE(child, nullptr);
    const PackedDib* image = child->Controller().Image();
    ASSERT_EQ(DibBitCount(image), 24);
    Run(ID_ACTIONS_RECTANGLE);
    Drag(child->View()->viewport(), OnPixel(child->View(), {5, 6}), OnPixel(child->View(), {25, 16}));
    const PackedDib* selected = child->Controller().SelectedImage();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(DibBitCount(selected), 24);
    EXPECT_EQ(DibWidth(selected), 20);
    EXPECT_EQ(DibHeight(selected), 10);
    const QImage preview = Panel().m_pPreview->grab().toImage();
    EXPECT_EQ(PixelAt(preview, 0, 0), qRgb(20, 30, 11) & 0xFFFFFFu);
    EXPECT_EQ(PixelAt(preview, 19, 9), qRgb(96, 75, 39) & 0xFFFFFFu);

    dialogs.saveAnswer = QString::fromStdString(folder.File("part.bmp"));
    Run(ID_FILE_SAVE_SELECTED);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(folder.FileCount(), 2);
}

}  // namespace
