// A large JPEG 2000 frame fitted into its window: a lower resolution level is
// painted first, stretched over the frame, and the whole frame replaces it; the
// readout waits for the whole frame, and what stays is the full decode. Series
// thumbnails of such frames come from a lower level too.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPointer>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "dicom/FrameSource.h"
#include "document/DorvanelleDoc.h"
#include "document/SeriesStack.h"
#include "document/StudyIndex.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/generator/PhantomStudy.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/ThumbnailTask.h"

namespace {

// The grey level shown over each pixel of a grid over the frame, where the view
// shows it: -1 elsewhere.
std::vector<int> GreyOverGrid(const CDorvanelleView* view, const QImage& grab, int columns, int rows) {
    std::vector<int> grey;
    for (int y = rows / 20; y < rows; y += rows / 10) {
        for (int x = columns / 20; x < columns; x += columns / 10) {
            const QPoint at = OnPixel(view, QPoint(x, y));
            grey.push_back(grab.rect().contains(at) ? qGreen(grab.pixel(at)) : -1);
        }
    }
    return grey;
}

class ReducedFirstPaint : public ViewerApp {
protected:
    void TearDown() override {
        CDocumentController::SetFrameWait(std::chrono::seconds(30));
        ViewerApp::TearDown();
    }
};

// The phantom's first frame at 16 bits as a lossless JPEG 2000 codestream made by
// OpenJPEG's encoder; empty when it could not be made.
std::vector<std::uint8_t> Jpeg2000Phantom(const TempFolder& folder, const PhantomOptions& options) {
    if (!WritePhantomPgm(folder.File("frame.pgm"), options, 0, 16).empty()) return {};
    const std::string command =
        "opj_compress -i " + folder.File("frame.pgm") + " -o " + folder.File("frame.j2k") + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(folder.File("frame.j2k"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST_F(ReducedFirstPaint, ALargeJpeg2000FramePaintsReducedFirstThenWhole) {
    if (std::system("command -v opj_compress >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "opj_compress is not installed (scripts/install-deps)";
    }
    // Larger than twice the offscreen screen: fitted, it shows at less than half size.
    PhantomOptions o;
    o.columns = 1800;
    o.rows = 1400;
    o.frames = 1;
    const std::vector<std::uint8_t> stream = Jpeg2000Phantom(folder, o);
    ASSERT_FALSE(stream.empty());
    const std::string path = folder.File("large-j2k.dcm");
    ASSERT_EQ(WriteEncapsulatedPhantom(path, o, "1.2.840.10008.1.2.4.90", 16, stream), "");

    // No step waits: the first frame is on its way when the window opens.
    CDocumentController::SetFrameWait(std::chrono::milliseconds(0));
    CChildFrame* child = app->OpenDocumentFile(QString::fromStdString(path));
    ASSERT_NE(child, nullptr);
    CDocumentController& c = child->Controller();
    CDorvanelleView* view = child->View();
    struct Seen {
        bool pending = false;
        bool documentEmpty = false;
        QString readout = QStringLiteral("not asked");
        std::vector<int> grid;
    };
    std::vector<Seen> previews;
    bool wholeBeforePreview = false;
    QObject::connect(&c, &CDocumentController::previewArrived, view, [&] {
        // Painted here and now, as the event loop would.
        Seen seen;
        seen.pending = c.PendingFrame().has_value();
        seen.documentEmpty = c.Image() == nullptr;
        seen.readout = c.ReadoutAt(QPoint(o.columns / 2, o.rows / 2));
        seen.grid = GreyOverGrid(view, view->viewport()->grab().toImage(), o.columns, o.rows);
        previews.push_back(seen);
    });
    QObject::connect(&c, &CDocumentController::imageChanged, view, [&] {
        if (c.Image() != nullptr && previews.empty()) wholeBeforePreview = true;
    });
    QDeadlineTimer deadline(60000);
    while ((c.PendingFrame() || c.Image() == nullptr) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    Idle();
    ASSERT_NE(c.Image(), nullptr) << c.NoImageReason().toStdString();
    ASSERT_EQ(previews.size(), 1u);
    EXPECT_FALSE(wholeBeforePreview);
    const Seen& first = previews.front();
    EXPECT_TRUE(first.pending);
    EXPECT_TRUE(first.documentEmpty) << "the document takes the whole frame only";
    EXPECT_TRUE(first.readout.isEmpty()) << first.readout.toStdString();
    EXPECT_EQ(c.Preview(), nullptr);
    EXPECT_FALSE(c.ReadoutAt(QPoint(o.columns / 2, o.rows / 2)).isEmpty());

    // The reduced picture showed over each pixel of the frame what the whole frame
    // shows there now (the window may have been fitted in between).
    EXPECT_LE(view->Viewport().Zoom(), 0.5);
    const std::vector<int> whole = GreyOverGrid(view, view->viewport()->grab().toImage(), o.columns, o.rows);
    ASSERT_EQ(first.grid.size(), whole.size());
    int compared = 0;
    double difference = 0;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (first.grid[i] < 0 || whole[i] < 0) continue;
        ++compared;
        difference += std::abs(first.grid[i] - whole[i]);
    }
    ASSERT_GE(compared, 4);
    EXPECT_LT(difference / compared, 8.0);

    // What stays is the full decode, sample for sample (the compression is lossless).
    const std::shared_ptr<const FrameSamples> samples = c.Document().Samples();
    ASSERT_NE(samples, nullptr);
    ASSERT_EQ(samples->columns, o.columns);
    ASSERT_EQ(samples->rows, o.rows);
    std::size_t differing = 0;
    for (std::uint16_t r = 0; r < o.rows; ++r) {
        for (std::uint16_t c2 = 0; c2 < o.columns; ++c2) {
            const std::int16_t stored = PhantomSample(o, 0, r, c2);
            const std::uint32_t expected = stored < 0 ? 0u : static_cast<std::uint32_t>(stored);
            differing += samples->Raw(std::size_t{r} * o.columns + c2) != expected ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0u);
}

// A series thumbnail of a JPEG 2000 slice, drawn from a lower resolution level,
// shows what the thumbnail of the same slice stored uncompressed shows.
TEST(ReducedThumbnail, AJpeg2000SliceLooksLikeItsUncompressedTwin) {
    if (std::system("command -v opj_compress >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "opj_compress is not installed (scripts/install-deps)";
    }
    TempFolder folder;
    PhantomOptions o;
    o.columns = 1001;  // odd: the reduced levels round up, pictures pad their rows
    o.rows = 700;
    o.frames = 1;
    const std::vector<std::uint8_t> stream = Jpeg2000Phantom(folder, o);
    ASSERT_FALSE(stream.empty());
    std::filesystem::create_directories(folder.File("j2k"));
    ASSERT_EQ(WriteEncapsulatedPhantom(folder.File("j2k/slice.dcm"), o, "1.2.840.10008.1.2.4.90", 16, stream), "");
    ASSERT_EQ(WriteCtPhantom(folder.File("plain/slice.dcm"), o), "");
    const auto thumbnail = [&](const char* name) {
        const IndexResult index = IndexStudies({folder.File(name)});
        const SeriesStack stack(index.tree.patients.at(0).studies.at(0).series.at(0), 0);
        return CThumbnailTask::Make(stack);
    };
    const QImage reduced = thumbnail("j2k");
    const QImage plain = thumbnail("plain");
    ASSERT_FALSE(reduced.isNull());
    ASSERT_FALSE(plain.isNull());
    ASSERT_EQ(reduced.size(), plain.size());
    EXPECT_EQ(reduced.width(), CThumbnailTask::kSize);
    double difference = 0;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x)
            difference += std::abs(qGreen(reduced.pixel(x, y)) - qGreen(plain.pixel(x, y)));
    }
    EXPECT_LT(difference / (plain.width() * plain.height()), 6.0);
}
