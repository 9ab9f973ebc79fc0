// The pieces behind zoom, mouse windowing, window presets, the pixel readout, cine,
// copy and print, each on its own without a main window.
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>

#include "dicom/DicomFile.h"
#include "document/DorvanelleDoc.h"
#include "tests/support/TempFiles.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "views/BackgroundPriority.h"
#include "views/CinePlayer.h"
#include "views/ImageOutput.h"
#include "views/PixelReadout.h"
#include "views/ViewportTransform.h"
#include "views/WindowPresets.h"

namespace {

class NoUi : public IDocumentUi {
public:
    void UpdateControlPanel(const CDorvanelleDoc&) override {}
    void ClearControlPanel() override {}
    void ShowNotice(const std::string&) override {}
};

// A document of the file `b` at frame `frame`.
struct OpenedDoc {
    TempFolder folder;
    NoUi ui;
    CDorvanelleDoc doc{ui};
};
std::unique_ptr<OpenedDoc> Read(const DicomStreamBuilder& b, std::int32_t frame = 0) {
    auto opened = std::make_unique<OpenedDoc>();
    opened->doc.m_nFrame = frame;
    EXPECT_TRUE(opened->doc.OnOpenDocument(opened->folder.Put("study.dcm", b.Bytes())));
    return opened;
}

TEST(Viewport, FitShowsTheWholeImageAndFollowsTheWindow) {
    CViewportTransform t;
    t.SetImageSize({2048, 1024});
    t.SetViewSize({700, 500});
    EXPECT_EQ(t.Zoom(), 1.0);
    EXPECT_EQ(t.OffsetRange(), QSize(2048 - 700, 1024 - 500));
    t.FitToWindow();
    EXPECT_DOUBLE_EQ(t.Zoom(), 700.0 / 2048);
    EXPECT_EQ(t.OffsetRange(), QSize(0, 0));
    // Still fitted after the window grows; a small image is enlarged by the command.
    t.SetViewSize({1400, 1000});
    EXPECT_DOUBLE_EQ(t.Zoom(), 1400.0 / 2048);
    t.SetImageSize({4, 4});
    EXPECT_EQ(t.Zoom(), CViewportTransform::kMaxZoom);  // 1000 / 4 is beyond the range
    t.SetImageSize({40, 40});
    EXPECT_DOUBLE_EQ(t.Zoom(), 25.0);
    // 1:1 keeps what was at the top-left corner there.
    t.SetImageSize({2048, 2048});
    t.SetViewSize({512, 512});
    t.ZoomAbout(2.0, {256, 256});
    const QPointF corner = t.ViewToImage({0, 0});
    t.SetActualSize();
    EXPECT_FALSE(t.IsFit());
    EXPECT_EQ(t.Zoom(), 1.0);
    EXPECT_EQ(t.ViewToImage({0, 0}), corner);
}

TEST(Viewport, ZoomKeepsThePointUnderTheCursorAndMappingsAgree) {
    CViewportTransform t;
    t.SetImageSize({1000, 800});
    t.SetViewSize({400, 300});
    t.SetOffset({100, 50});
    const QPointF cursor(123, 77);
    const QPointF under = t.ViewToImage(cursor);
    t.ZoomAbout(CViewportTransform::kZoomStep, cursor);
    // Offsets are whole view pixels: the point stays within one of them.
    EXPECT_NEAR(t.ViewToImage(cursor).x(), under.x(), 0.5 / t.Zoom());
    EXPECT_NEAR(t.ViewToImage(cursor).y(), under.y(), 0.5 / t.Zoom());
    // Zooming back out through 1:1 lands on it exactly.
    t.ZoomAbout(1 / CViewportTransform::kZoomStep, cursor);
    EXPECT_EQ(t.Zoom(), 1.0);
    // Limits: the zoom stays in range, the offset inside the image.
    for (int i = 0; i < 40; ++i)
        t.ZoomAbout(2.0, cursor);
    EXPECT_EQ(t.Zoom(), CViewportTransform::kMaxZoom);
    for (int i = 0; i < 40; ++i)
        t.ZoomAbout(0.5, {0, 0});
    EXPECT_EQ(t.Zoom(), CViewportTransform::kMinZoom);
    // Smaller than the view, the image is centred: 1000 x 800 at 1/32 is 32 x 25.
    EXPECT_EQ(t.Offset(), QPointF(-(400 - 32) / 2, -(300 - 25) / 2));
    t.ZoomAbout(64.0, {0, 0});
    t.PanBy({-1e6, 5});
    EXPECT_EQ(t.Offset(), QPointF(t.OffsetRange().width(), 0));

    // Every pixel maps to a view rectangle that maps back to it, at any zoom.
    for (double zoom : {0.3, 1.0, 2.0, 7.5}) {
        CViewportTransform z;
        z.SetImageSize({300, 200});
        z.SetViewSize({250, 150});
        z.ZoomAbout(zoom, {0, 0});
        z.SetOffset({37, 11});
        for (const QPoint pixel : {QPoint(10, 20), QPoint(150, 90), QPoint(299, 199)}) {
            const QRect view = z.ImageRectToView(QRect(pixel, QSize(1, 1)));
            if (view.isEmpty()) continue;  // a pixel smaller than a view pixel
            EXPECT_EQ(z.PixelAt(QPointF(view.topLeft()) + QPointF(0.25, 0.25)), pixel) << zoom;
            EXPECT_EQ(z.CornerUnder(view.topLeft()), pixel) << zoom;
            EXPECT_EQ(z.PixelUnder(view.topLeft()), pixel) << zoom;
        }
    }
}

// Every one of the eight turns and mirrors maps each image pixel to a view place
// that maps back to it; the steps compose as the display shows them.
TEST(Viewport, TurnsAndMirrorsMapEveryPixelBothWays) {
    const DisplayOrientation upright;
    EXPECT_EQ(upright.RotatedRight().RotatedRight().RotatedRight().RotatedRight(), upright);
    EXPECT_EQ(upright.FlippedHorizontally().RotatedRight().RotatedLeft().FlippedHorizontally(), upright);
    EXPECT_EQ(upright.FlippedVertically(), upright.RotatedRight().RotatedRight().FlippedHorizontally());
    EXPECT_EQ(upright.FlippedVertically().FlippedVertically(), upright);
    for (int turns = 0; turns < 4; ++turns) {
        for (const bool mirrored : {false, true}) {
            CViewportTransform t;
            t.SetImageSize({30, 20});
            t.SetViewSize({50, 45});
            t.SetOrientation({turns, mirrored});
            t.ZoomAbout(1.5, {0, 0});
            EXPECT_EQ(t.DisplayedSize(), turns % 2 ? QSize(20, 30) : QSize(30, 20));
            for (const QPoint pixel : {QPoint(0, 0), QPoint(29, 0), QPoint(0, 19), QPoint(29, 19), QPoint(13, 7)}) {
                const QPointF centre = t.ImageToView(QPointF(pixel) + QPointF(0.5, 0.5));
                EXPECT_EQ(t.PixelAt(centre), pixel) << turns << mirrored;
                EXPECT_EQ(t.ViewToImage(centre), QPointF(pixel) + QPointF(0.5, 0.5));
                EXPECT_EQ(t.ImageToViewTransform().map(QPointF(pixel)), t.ImageToView(QPointF(pixel)));
            }
        }
    }
}

TEST(WindowDrag, RightWidensDownRaisesTheCentreWithinTheSliders) {
    const WindowLimits ct{4096, -1024, 3071};
    // 256 pixels right double the width; down raises the centre as much.
    EXPECT_EQ(DraggedWindow({400, 40}, 256, 0, ct), (WindowLevel{800, 40}));
    EXPECT_EQ(DraggedWindow({400, 40}, 64, -64, ct), (WindowLevel{500, -60}));
    EXPECT_EQ(DraggedWindow({400, 40}, -1000, 5000, ct), (WindowLevel{1, 3071}));
    EXPECT_EQ(DraggedWindow({400, 40}, 5000, -5000, ct), (WindowLevel{4096, -1024}));
    // A brain window moves finely even on a wide range: one unit a pixel, not eight;
    // with Shift an eighth of that.
    EXPECT_EQ(DraggedWindow({80, 40}, 10, 5, ct), (WindowLevel{90, 45}));
    EXPECT_EQ(DraggedWindow({80, 40}, 16, 8, ct, true), (WindowLevel{82, 41}));
    // The same window drags alike whatever the data's range, until the range is huge.
    EXPECT_EQ(DraggedWindow({400, 40}, 64, 0, {1000, 0, 1000}), DraggedWindow({400, 40}, 64, 0, ct));
    // An unknown range keeps the centre.
    EXPECT_EQ(DraggedWindow({10, 5}, 3, 2, {0, 32767, -32768}), (WindowLevel{1, 5}));
    // Values that are not whole numbers (a dose in Gy) move by fractions of a unit.
    const WindowLimits dose{2.56, 0, 1.28, false};
    EXPECT_DOUBLE_EQ(DraggedWindow({1.0, 0.5}, 256, 128, dose).width, 2.0);
    EXPECT_DOUBLE_EQ(DraggedWindow({1.0, 0.5}, 256, 128, dose).centre, 1.0);
}

TEST(WindowPresets, EveryFileWindowWithItsExplanationTheDataWindowThenCtWindowsInHu) {
    WindowPresetSource source;
    source.fileWindows = {{50, 350, ""}};
    source.defaultWindow = WindowLevel{4000, 1000};
    source.modality = "MR";
    std::vector<WindowPreset> presets = WindowPresetsFor(source);
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[0].name, "File's Window");
    EXPECT_EQ(presets[0].window, (WindowLevel{350, 50}));
    EXPECT_EQ(presets[1].window, (WindowLevel{4000, 1000}));

    source.modality = "CT";
    source.fileWindows = {{40, 400, "SOFT TISSUE"}, {-600, 1500, "LUNG"}};
    source.voiLuts = {"SMOOTH"};
    source.defaultWindow.reset();  // range unknown yet
    presets = WindowPresetsFor(source);
    ASSERT_EQ(presets.size(), 7u);
    EXPECT_EQ(presets[0].name, "File's Window 1: SOFT TISSUE");
    EXPECT_EQ(presets[1].name, "File's Window 2: LUNG");
    EXPECT_EQ(presets[2].name, "File's VOI LUT: SMOOTH");
    EXPECT_EQ(presets[2].voiLut, 0);
    // Windows are in modality values, Hounsfield units for CT, whatever the slope.
    EXPECT_EQ(presets[3].window, (WindowLevel{80, 40}));
    EXPECT_EQ(presets[5].window, (WindowLevel{1500, -600}));
}

TEST(PixelReadout, StoredAndModalityValuesOfGreyPixels) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0008, 0x0060, "CS", "CT")
        .ImageAttributes(2, 2, 16)
        .ExplicitUS(0x0028, 0x0101, 12)
        .ExplicitUS(0x0028, 0x0102, 11)
        .ExplicitUS(0x0028, 0x0103, 1)
        .ExplicitText(0x0028, 0x1052, "DS", "-1024")
        .ExplicitText(0x0028, 0x1053, "DS", "0.5")
        .PixelData16({100, 0x0FFF, -2048 /* 0xF800 */, 7, 1, 2, 3, 4});  // two frames
    b.ExplicitText(0x0028, 0x0008, "IS", "2");
    auto first = Read(b);
    const CDorvanelleDoc& doc = first->doc;
    EXPECT_EQ(StoredSample(doc, {0, 0}), 100);
    EXPECT_EQ(StoredSample(doc, {1, 0}), -1);     // 12 bits, signed
    EXPECT_EQ(StoredSample(doc, {0, 1}), -2048);  // bits above 12 dropped
    EXPECT_EQ(StoredSample(doc, {2, 0}), std::nullopt);
    EXPECT_EQ(PixelReadoutText(doc, {0, 0}), QStringLiteral("Pixel (0, 0): stored 100, value -974 HU"));
    EXPECT_EQ(PixelReadoutText(doc, {1, 1}), QStringLiteral("Pixel (1, 1): stored 7, value -1020.5 HU"));
    EXPECT_TRUE(PixelReadoutText(doc, {-1, 0}).isEmpty());
    EXPECT_EQ(StoredSample(Read(b, 1)->doc, {1, 1}), 4);
    EXPECT_EQ(StoredSample(Read(b, 2)->doc, {0, 0}), std::nullopt);  // no third frame

    // Unsigned 16-bit samples above 32767 read as they are.
    DicomStreamBuilder mr;
    mr.ImageAttributes(1, 1, 16).PixelData16({static_cast<std::int16_t>(40000)});
    EXPECT_EQ(PixelReadoutText(Read(mr)->doc, {0, 0}), QStringLiteral("Pixel (0, 0): stored 40000, value 40000"));

    // A dose grid in its units.
    DicomStreamBuilder dose;
    dose.ImageAttributes(1, 1, 32).ExplicitText(0x3004, 0x0002, "CS", "GY");
    dose.ExplicitText(0x3004, 0x000E, "DS", "0.0001").Explicit(0x7FE0, 0x0010, "OW", {0x10, 0x27, 0, 0});
    EXPECT_EQ(PixelReadoutText(Read(dose)->doc, {0, 0}), QStringLiteral("Pixel (0, 0): stored 10000, value 1 Gy"));
}

TEST(PixelReadout, PicturesAndColourShowWhatIsOnScreen) {
    DicomStreamBuilder rgb;
    rgb.ImageAttributes(1, 2, 8, 3, "RGB").PixelData8({1, 2, 3, 200, 100, 50});
    EXPECT_EQ(PixelReadoutText(Read(rgb)->doc, {1, 0}), QStringLiteral("Pixel (1, 0): R 200, G 100, B 50"));
    TempFolder folder;
    NoUi ui;
    CDorvanelleDoc picture(ui);
    const std::string path = folder.File("p.bmp");
    ASSERT_TRUE(WriteGreyBmp(path, 4, 3, [](int x, int y) { return 10 * x + y; }));
    ASSERT_TRUE(picture.OnOpenDocument(path));
    EXPECT_EQ(PixelReadoutText(picture, {3, 2}), QStringLiteral("Pixel (3, 2): 32"));
    CDorvanelleDoc empty(ui);
    EXPECT_TRUE(PixelReadoutText(empty, {0, 0}).isEmpty());
}

TEST(Cine, RateOfTheFileAndPlayingOnSchedule) {
    ImageAttributes a;
    EXPECT_EQ(CineRateOf(nullptr), 10.0);
    EXPECT_EQ(CineRateOf(&a), 10.0);
    a.cineRate = 30;
    EXPECT_EQ(CineRateOf(&a), 30.0);
    a.frameTime = 40.0;  // the frame time wins
    EXPECT_EQ(CineRateOf(&a), 25.0);

    CCinePlayer player;
    QSignalSpy frames(&player, &CCinePlayer::nextFrame);
    player.SetRate(200);
    player.Play();
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 5, 20000);
    // A new rate while playing takes over at once.
    player.SetRate(1000);
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(player.Rate(), 240.0);
    player.Pause();
    const auto shown = frames.count();
    QTest::qWait(50);
    EXPECT_EQ(frames.count(), shown);
    EXPECT_FALSE(player.IsPlaying());
}

// Background work steps 10 below the thread that starts it, never above it: a
// viewer started under nice 15 keeps its background at 19, not at 10.
TEST(BackgroundPriority, GivesWayFromTheThreadsOwnNiceValue) {
    // The nice value of a thread that starts at `start` and then gives way; none when
    // this process may not set `start` (a lower value needs privileges).
    const auto niceAfterGivingWay = [](int start) {
        std::optional<int> after;
        std::thread worker([&] {
            const auto self = static_cast<id_t>(gettid());
            if (setpriority(PRIO_PROCESS, self, start) != 0) return;
            GiveWayToTheViewer();
            after = getpriority(PRIO_PROCESS, self);
        });
        worker.join();
        return after;
    };
    for (const auto& [start, expected] : {std::pair{5, 15}, std::pair{15, 19}, std::pair{19, 19}}) {
        if (const std::optional<int> after = niceAfterGivingWay(start)) {
            EXPECT_EQ(*after, expected) << "from nice " << start;
        }
    }
}

TEST(ImageOutput, CopyAndPrintTheSelectionOrTheWholeImage) {
    PackedDibPtr whole = GreyPicture(64, 48, [](int x, int y) { return (x * y) % 256; });
    PackedDibPtr selected = GreyPicture(20, 10, [](int, int) { return 9; });
    EXPECT_EQ(OutputImage(selected.get(), whole.get()).size(), QSize(20, 10));
    EXPECT_EQ(OutputImage(nullptr, whole.get()).size(), QSize(64, 48));
    EXPECT_TRUE(OutputImage(nullptr, nullptr).isNull());

    ASSERT_TRUE(CopyImageToClipboard(OutputImage(nullptr, whole.get())));
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(64, 48));
    EXPECT_FALSE(CopyImageToClipboard(QImage()));

    TempFolder folder;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(folder.File("page.pdf")));
    ASSERT_TRUE(PrintImage(printer, OutputImage(nullptr, whole.get())));
    QFile pdf(printer.outputFileName());
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.contains("/Subtype /Image"));
    EXPECT_TRUE(bytes.contains("/Width 64"));
}

}  // namespace
