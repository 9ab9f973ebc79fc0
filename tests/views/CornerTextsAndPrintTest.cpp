// What the corner texts say (frame and zoom, the patient's directions at the edges, a
// scale bar) and what a print holds: the picture's own pixels, never a lossy copy,
// with the corner texts when they are shown.
#include <zlib.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/generator/PhantomStudy.h"
#include "views/CommandIds.h"
#include "views/DibImage.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/ImageOutput.h"

namespace {

struct PdfImage {
    int width = 0;
    int height = 0;
    QByteArray filter;
    QByteArray colourSpace;
    std::vector<std::uint8_t> pixels;  // inflated, when the filter is FlateDecode
};

// The first image of a PDF that Qt wrote: its dictionary's entries and its stream.
PdfImage FirstImage(const QByteArray& pdf) {
    PdfImage image;
    const qsizetype at = pdf.indexOf("/Subtype /Image");
    if (at < 0) return image;
    const qsizetype stream = pdf.indexOf("stream\n", at);
    const QByteArray dictionary = pdf.mid(at, stream - at);
    const auto entry = [&](const char* key) {
        const QRegularExpression pattern(QStringLiteral("/%1 (/?\\w+)").arg(QLatin1String(key)));
        return pattern.match(QString::fromLatin1(dictionary)).captured(1).toLatin1();
    };
    image.width = entry("Width").toInt();
    image.height = entry("Height").toInt();
    image.filter = entry("Filter");
    image.colourSpace = entry("ColorSpace");
    if (image.filter != "/FlateDecode") return image;
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(pdf.constData() + stream + 7));
    z.avail_in = static_cast<uInt>(pdf.size() - stream - 7);
    z.next_out = image.pixels.data();
    z.avail_out = static_cast<uInt>(image.pixels.size());
    const int result = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (result != Z_STREAM_END || z.avail_out != 0) image.pixels.clear();
    return image;
}

class CornerTextsAndPrint : public ViewerApp {
protected:
    CChildFrame* OpenCt(const char* name, const PhantomOptions& options) {
        const std::string path = folder.File(name);
        EXPECT_TRUE(WriteCtPhantom(path, options).empty());
        return Open(path);
    }
    QByteArray Print(const char* name) {
        dialogs.printAnswer = QString::fromStdString(folder.File(name));
        Run(ID_FILE_PRINT);
        QFile pdf(dialogs.printAnswer);
        return pdf.open(QIODevice::ReadOnly) ? pdf.readAll() : QByteArray();
    }
};

// A 256 x 256 CT slice prints as its own pixels, every one of them, compressed without
// loss; the corner texts go on the page only while they are shown.
TEST_F(CornerTextsAndPrint, APrintHoldsThePicturesOwnPixelsAndTheCornerTextsShown) {
    PhantomOptions options;
    options.frames = 1;
    CChildFrame* child = OpenCt("ct.dcm", options);
    ASSERT_NE(child, nullptr);
    const QImage expected = DibToImage(child->Controller().Image());
    ASSERT_EQ(expected.size(), QSize(256, 256));

    const QByteArray plain = Print("plain.pdf");
    const PdfImage image = FirstImage(plain);
    EXPECT_EQ(image.filter, "/FlateDecode");
    EXPECT_EQ(image.colourSpace, "/DeviceRGB");
    ASSERT_EQ(image.pixels.size(), 256u * 256u * 3u);
    int differing = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(y) * 256 + x) * 3];
            differing += qRgb(p[0], p[1], p[2]) != (expected.pixel(x, y) | 0xFF000000u);
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_FALSE(plain.contains("/Type /Font"));

    Run(ID_VIEW_OVERLAY);
    const QByteArray withTexts = Print("texts.pdf");
    EXPECT_TRUE(withTexts.contains("/Type /Font"));
    EXPECT_EQ(FirstImage(withTexts).pixels, image.pixels);
}

// The page shows the image as the view does (turned, inverted) and the corner texts
// over its corners, not over the rest of the page.
TEST_F(CornerTextsAndPrint, ThePageIsWhatTheViewShows) {
    QImage picture(40, 20, QImage::Format_RGB32);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x)
            picture.setPixel(x, y, qRgb(x * 6, y * 12, 0));
    }
    const QImage turned = DisplayedImage(picture, DisplayOrientation{1, false}, true);
    ASSERT_EQ(turned.size(), QSize(20, 40));
    EXPECT_EQ(turned.pixel(19, 0) & 0xFFFFFFu, qRgb(255, 255, 255) & 0xFFFFFFu);  // image (0, 0), inverted
    EXPECT_EQ(turned.pixel(0, 39) & 0xFFFFFFu, qRgb(255 - 39 * 6, 255 - 19 * 12, 255) & 0xFFFFFFu);

    QImage page(400, 600, QImage::Format_RGB32);
    for (const bool withTexts : {false, true}) {
        page.fill(Qt::white);
        QPainter painter(&page);
        PrintedTexts texts;
        texts.texts.patientName = QStringLiteral("PHANTOM CT");
        texts.letters.right = QStringLiteral("L");
        PaintPage(painter, page.rect(), turned, withTexts ? &texts : nullptr);
        painter.end();
        // The 20 x 40 image fills the 400-wide page: 400 x 800 would not fit, 300 x 600 does.
        int light = 0;
        for (int y = 0; y < 30; ++y) {
            for (int x = 50; x < 150; ++x)
                light += (page.pixel(x, y) & 0xFFFFFFu) == (qRgb(255, 255, 160) & 0xFFFFFFu);
        }
        EXPECT_EQ(light > 0, withTexts);
        EXPECT_EQ(page.pixel(20, 300) & 0xFFFFFFu, 0xFFFFFFu);  // beside the image: the page
    }
}

// On an axial slice the letters name the patient's directions at each edge, and
// follow the picture when it is turned or mirrored; the bottom-right corner gives
// the frame and the zoom, and a scale bar shows a known length.
TEST_F(CornerTextsAndPrint, LettersFrameZoomAndScaleBar) {
    PhantomOptions options;
    options.rows = 200;
    options.columns = 200;
    options.frames = 3;
    options.orientation = "1\\0\\0\\0\\1\\0";
    options.pixelSpacing = "0.5\\0.25";
    CChildFrame* child = OpenCt("axial.dcm", options);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    const auto letters = [&] {
        const EdgeLetters e = view->EdgeLettersNow();
        return QStringList{e.left, e.right, e.top, e.bottom};
    };
    EXPECT_EQ(letters(), (QStringList{"R", "L", "A", "P"}));
    Run(ID_VIEW_ROTATE_RIGHT);
    EXPECT_EQ(letters(), (QStringList{"P", "A", "R", "L"}));
    Run(ID_VIEW_FLIP_HORIZONTAL);
    EXPECT_EQ(letters(), (QStringList{"A", "P", "R", "L"}));
    Run(ID_VIEW_FLIP_HORIZONTAL);
    Run(ID_VIEW_ROTATE_LEFT);

    Run(ID_VIEW_OVERLAY);
    Run(ID_LAST_SLIDE);
    Run(ID_VIEW_ZOOM_ACTUAL);
    const OverlayTexts texts = view->CornerTexts();
    EXPECT_EQ(texts.frame, QStringLiteral("Frame 3 / 3"));
    EXPECT_EQ(texts.zoom, QStringLiteral("Zoom 100%"));
    // Columns 0.25 mm apart at 1:1: 1 cm is 40 view pixels.
    const ScaleBar bar = view->ScaleBarNow();
    EXPECT_EQ(bar.pixels, static_cast<int>(std::lround(bar.millimetres / 0.25)));
    EXPECT_LE(bar.pixels, view->viewport()->width() / 4);
    Run(ID_VIEW_ZOOM_IN);
    EXPECT_EQ(view->CornerTexts().zoom, QStringLiteral("Zoom 125%"));
    // Turned a quarter, the bar measures along the image's columns: rows 0.5 mm apart.
    Run(ID_VIEW_ZOOM_ACTUAL);
    Run(ID_VIEW_ROTATE_RIGHT);
    EXPECT_EQ(view->ScaleBarNow().pixels, static_cast<int>(std::lround(view->ScaleBarNow().millimetres / 0.5)));

    EXPECT_EQ(ScaleBarFor(0.5, 200).label, QStringLiteral("10 cm"));
    EXPECT_EQ(ScaleBarFor(0.5, 200).pixels, 200);
    EXPECT_EQ(ScaleBarFor(0.3, 100).label, QStringLiteral("2 cm"));
    EXPECT_EQ(ScaleBarFor(0.3, 100).pixels, 67);
    EXPECT_EQ(ScaleBarFor(0.01, 100).label, QStringLiteral("1 mm"));
    EXPECT_EQ(ScaleBarFor(0.0005, 100).pixels, 0);
    EXPECT_EQ(ScaleBarFor(0, 100).pixels, 0);
}

}  // namespace
