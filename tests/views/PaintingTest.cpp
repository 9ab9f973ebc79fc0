// Pictures as the user sees them: packed bitmaps turned into screen pictures, and the
// control panel's boxes at the pixel positions the histogram drawing promises.
#include <gtest/gtest.h>

#include <QPainter>

#include "image/PackedDib.h"
#include "tests/support/PictureBytes.h"
#include "tests/views/ViewerTestSupport.h"
#include "views/CommandMap.h"
#include "views/ControlPanel.h"
#include "views/DibImage.h"
#include "views/Painting.h"
#include "views/ScaledDibImage.h"
#include "views/ViewportTransform.h"

namespace {

// A block with a 40-byte header, the given colour table and one row of `row` bytes.
PackedDibPtr OneRowBlock(int width, int bits, const std::vector<QRgb>& table, const Bytes& row) {
    Bytes block = InfoHeader(40, width, 1, static_cast<std::uint16_t>(bits));
    for (const QRgb colour : table) {
        block.insert(block.end(), {static_cast<std::uint8_t>(qBlue(colour)), static_cast<std::uint8_t>(qGreen(colour)),
                                   static_cast<std::uint8_t>(qRed(colour)), 0});
    }
    Append(block, row);
    block.resize(block.size() + (4 - row.size() % 4) % 4);
    return BlockFrom(block);
}

int AllSeven(int, int) { return 7; }
int Gradient(int x, int y) { return (x + y) % 256; }

}  // namespace

TEST(DibToImage, EightBitRowsAreFlippedAndPaintWithTheirColourTable) {
    PackedDibPtr dib = GreyPicture(4, 2, [](int x, int y) { return y == 0 ? 200 : x; });
    // Entry 200 turned red: the top row (stored last) must show it.
    std::uint8_t* red = dib->Bytes() + 40 + 200 * 4;
    red[0] = 0, red[1] = 0, red[2] = 255;
    const QImage image = DibToImage(dib.get());
    ASSERT_EQ(image.size(), QSize(4, 2));
    EXPECT_EQ(PixelAt(image, 0, 0), qRgb(255, 0, 0) & 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 3, 1), qRgb(3, 3, 3) & 0xFFFFFFu);
}

TEST(DibToImage, TwentyFourBitPixelsAreBlueGreenRed) {
    PackedDibPtr dib = CreateRgbDib(4, 1);
    std::uint8_t* px = DibBits(dib.get());
    px[0] = 1, px[1] = 2, px[2] = 3;
    EXPECT_EQ(PixelAt(DibToImage(dib.get()), 0, 0), qRgb(3, 2, 1) & 0xFFFFFFu);
}

TEST(DibToImage, OneAndFourBitPicturesUseTheirOwnColours) {
    const QRgb navy = qRgb(0, 0, 128), lime = qRgb(0, 255, 0);
    PackedDibPtr mono = OneRowBlock(8, 1, {navy, lime}, {0x80, 0, 0, 0});
    QImage image = DibToImage(mono.get());
    EXPECT_EQ(PixelAt(image, 0, 0), lime & 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 1, 0), navy & 0xFFFFFFu);

    std::vector<QRgb> sixteen(16, qRgb(0, 0, 0));
    sixteen[3] = qRgb(10, 20, 30);
    sixteen[10] = qRgb(200, 100, 50);
    PackedDibPtr nibbles = OneRowBlock(2, 4, sixteen, {0x3A, 0, 0, 0});
    image = DibToImage(nibbles.get());
    EXPECT_EQ(PixelAt(image, 0, 0), qRgb(10, 20, 30) & 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 1, 0), qRgb(200, 100, 50) & 0xFFFFFFu);
}

// An old core header's colour table has 3-byte entries: the picture reads them so
// whether it is shown 1:1 or reduced.
TEST(DibToImage, CoreHeaderColoursAreThreeBytesAtEveryZoom) {
    Bytes block = CoreHeader(4, 2, 8);
    for (int i = 0; i < 256; ++i) {
        block.insert(block.end(), {static_cast<std::uint8_t>(i), 10, static_cast<std::uint8_t>(255 - i)});
    }
    block.resize(block.size() + 4 * 2, 7);  // every pixel entry 7
    PackedDibPtr dib = BlockFrom(block);
    const QRgb seven = qRgb(248, 10, 7) & 0xFFFFFFu;
    EXPECT_EQ(PixelAt(DibToImage(dib.get()), 3, 1), seven);

    CViewportTransform half;
    half.SetImageSize({4, 2});
    half.SetViewSize({2, 1});
    half.FitToWindow();
    ASSERT_DOUBLE_EQ(half.Zoom(), 0.5);
    for (const int oversample : {1, 2}) {
        const QImage reduced = SampleDibForView(dib.get(), half, QRect(0, 0, 2, 1), oversample);
        ASSERT_EQ(reduced.size(), QSize(2, 1));
        EXPECT_EQ(PixelAt(reduced, 1, 0), seven) << oversample;
    }
}

TEST(DibToImage, BlocksThatDoNotHoldTheirRowsGiveNoPicture) {
    EXPECT_TRUE(DibToImage(nullptr).isNull());
    PackedDibPtr dib = OneRowBlock(8, 8, std::vector<QRgb>(256), {1, 2, 3, 4, 5, 6, 7, 8});
    WriteLE32(dib->Bytes() + 8, 5000);  // claims 5000 rows
    EXPECT_TRUE(DibToImage(dib.get()).isNull());
    WriteLE32(dib->Bytes() + 8, 1);
    WriteLE16(dib->Bytes() + 14, 16);  // a depth the viewer does not paint
    EXPECT_TRUE(DibToImage(dib.get()).isNull());
}

TEST(DibToImage, APartIsTheSameAsThatPartOfTheWholePicture) {
    PackedDibPtr dib = GreyPicture(40, 30, Gradient);
    const QImage whole = DibToImage(dib.get());
    const QImage part = DibToImage(dib.get(), QRect(5, 7, 10, 4));
    ASSERT_EQ(part.size(), QSize(10, 4));
    EXPECT_EQ(part, whole.copy(5, 7, 10, 4).convertToFormat(part.format()));
    EXPECT_EQ(DibToImage(dib.get(), QRect(35, 25, 100, 100)).size(), QSize(5, 5));  // clipped to the picture
    EXPECT_TRUE(DibToImage(dib.get(), QRect(50, 50, 4, 4)).isNull());
}

// A large 8-bit picture is painted without a 32-bit copy of the whole: only the
// exposed part is converted and kept, and it is the same as the whole picture there.
TEST(DibImageCache, PaintsTheExposedPartAndKeepsNoMore) {
    PackedDibPtr dib = GreyPicture(3000, 2000, Gradient);
    DibImageCache cache;
    QImage canvas(3000, 2000, QImage::Format_RGB32);
    canvas.fill(qRgb(1, 2, 3));
    {
        QPainter painter(&canvas);
        cache.Paint(painter, dib.get(), QRect(2900, 1500, 300, 100));  // runs off the picture's right
        cache.Paint(painter, dib.get(), QRect(2950, 1520, 10, 10));    // inside what is kept
    }
    EXPECT_LE(cache.HeldBytes(), 100 * 100 * 4);
    EXPECT_EQ(PixelAt(canvas, 2900, 1500), qRgb(48, 48, 48) & 0xFFFFFFu);  // (2900 + 1500) % 256
    EXPECT_EQ(PixelAt(canvas, 2999, 1599), qRgb(246, 246, 246) & 0xFFFFFFu);
    EXPECT_EQ(PixelAt(canvas, 2899, 1500), qRgb(1, 2, 3) & 0xFFFFFFu);  // not exposed, not painted
    EXPECT_EQ(PixelAt(canvas, 2900, 1600), qRgb(1, 2, 3) & 0xFFFFFFu);

    // The same block with new pixels repaints them only after Invalidate.
    DibBits(dib.get())[(2000 - 1 - 1500) * 3000 + 2900] = 99;
    QImage again(3000, 2000, QImage::Format_RGB32);
    {
        QPainter painter(&again);
        cache.Paint(painter, dib.get(), QRect(2900, 1500, 1, 1));
        EXPECT_EQ(PixelAt(again, 2900, 1500), qRgb(48, 48, 48) & 0xFFFFFFu);
        cache.Invalidate();
        cache.Paint(painter, dib.get(), QRect(2900, 1500, 1, 1));
    }
    EXPECT_EQ(PixelAt(again, 2900, 1500), qRgb(99, 99, 99) & 0xFFFFFFu);
}

TEST(ControlPanelPixels, HistogramBoxesDrawAtTheirKnownPositions) {
    CControlPanel panel;
    PackedDibPtr whole = GreyPicture(4, 4, AllSeven);  // bin 7 = 100, every other bin 0
    panel.DrawPanel(nullptr, whole.get());
    const QImage box = panel.m_pWholeHistogram->grab().toImage();
    const QRgb boxFill = qRgb(80, 80, 80) & 0xFFFFFFu, panelFill = qRgb(90, 90, 90) & 0xFFFFFFu;
    const QRgb black = 0, bar = qRgb(200, 200, 0) & 0xFFFFFFu;
    // Origin (5, 105): the panel spans (4, 0) .. (262, 120), the box fill shows around it.
    EXPECT_EQ(PixelAt(box, 2, 50), boxFill);
    EXPECT_EQ(PixelAt(box, 263, 50), boxFill);
    EXPECT_EQ(PixelAt(box, 4, 0), black);
    EXPECT_EQ(PixelAt(box, 261, 119), black);
    EXPECT_EQ(PixelAt(box, 6, 1), panelFill);
    // The bar of bin 7 (column 12) climbs 100 pixels from row 103 to row 4.
    EXPECT_EQ(PixelAt(box, 12, 103), bar);
    EXPECT_EQ(PixelAt(box, 12, 4), bar);
    EXPECT_EQ(PixelAt(box, 12, 3), panelFill);
    EXPECT_EQ(PixelAt(box, 12, 104), panelFill);
    EXPECT_EQ(PixelAt(box, 13, 103), panelFill);
    // Baseline at row 105, the grey ramp on rows 106 .. 118, the border on row 119.
    EXPECT_EQ(PixelAt(box, 100, 105), black);
    for (int i : {0, 1, 128, 255}) {
        EXPECT_EQ(PixelAt(box, 5 + i, 106), qRgb(i, i, i) & 0xFFFFFFu) << i;
        EXPECT_EQ(PixelAt(box, 5 + i, 118), qRgb(i, i, i) & 0xFFFFFFu) << i;
    }
    // No selected image: an empty histogram, frame and ramp only.
    const QImage empty = panel.m_pSelectedHistogram->grab().toImage();
    EXPECT_EQ(PixelAt(empty, 12, 103), panelFill);
    EXPECT_EQ(PixelAt(empty, 5 + 200, 110), qRgb(200, 200, 200) & 0xFFFFFFu);
}

TEST(ControlPanelPixels, PreviewShowsTheSelectionUnscaledOnDarkGrey) {
    CControlPanel panel;
    PackedDibPtr small = GreyPicture(20, 10, Gradient);
    panel.DrawPanel(small.get(), small.get());
    QImage preview = panel.m_pPreview->grab().toImage();
    EXPECT_EQ(PixelAt(preview, 3, 2), qRgb(5, 5, 5) & 0xFFFFFFu);
    EXPECT_EQ(PixelAt(preview, 25, 5), qRgb(80, 80, 80) & 0xFFFFFFu);
    EXPECT_EQ(PixelAt(preview, 5, 12), qRgb(80, 80, 80) & 0xFFFFFFu);

    // A selection larger than the box is cut off, not scaled.
    PackedDibPtr large = GreyPicture(400, 300, Gradient);
    panel.DrawPanel(large.get(), nullptr);
    preview = panel.m_pPreview->grab().toImage();
    const int x = preview.width() - 1, y = preview.height() - 1;
    EXPECT_EQ(PixelAt(preview, x, y), qRgb((x + y) % 256, (x + y) % 256, (x + y) % 256) & 0xFFFFFFu);

    panel.DrawPanel(nullptr, nullptr);
    preview = panel.m_pPreview->grab().toImage();
    EXPECT_EQ(PixelAt(preview, 3, 2), qRgb(80, 80, 80) & 0xFFFFFFu);
}

TEST(SelectionRect, DottedGreyOutlineLeavesTheInsideAlone) {
    QImage canvas(40, 30, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        DrawSelectionRect(painter, DibRect{30, 20, 10, 5});  // given the wrong way round
    }
    int grey = 0;
    for (int x = 10; x < 30; ++x)
        grey += PixelAt(canvas, x, 5) == (qRgb(100, 100, 100) & 0xFFFFFFu);
    EXPECT_GT(grey, 5);   // dotted: some pixels of the top edge
    EXPECT_LT(grey, 20);  // but not all
    EXPECT_EQ(PixelAt(canvas, 20, 12), qRgb(255, 255, 255) & 0xFFFFFFu);
    EXPECT_EQ(PixelAt(canvas, 30, 12), qRgb(255, 255, 255) & 0xFFFFFFu);  // right edge excluded
}

TEST(CommandRouting, FirstHandlerOnThePathWinsAndUnhandledIsDisabled) {
    CommandMap view, app;
    int ran = 0;
    view.On(
        1, [&] { ran = 1; }, [](CommandUi& ui) { ui.SetCheck(true); });
    app.On(1, [&] { ran = 2; });
    app.On(
        2, [&] { ran = 3; }, [](CommandUi& ui) { ui.Enable(false); });
    const RoutingPath path{&view, nullptr, &app};
    EXPECT_TRUE(RouteCommand(path, 1));
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(RouteUpdate(path, 1).checked.value_or(false));
    EXPECT_FALSE(RouteUpdate(path, 2).enabled);
    EXPECT_FALSE(RouteUpdate(path, 3).enabled);
    EXPECT_FALSE(RouteCommand(path, 3));
}
