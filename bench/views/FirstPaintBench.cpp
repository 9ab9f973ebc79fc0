// A mammogram-sized JPEG 2000 frame (4000 x 5000, 14 bits, lossless) opened in the
// viewer and fitted to its window: the time from the open to the first painted
// picture, with the lower resolution level painted first (Arg 1) and without (Arg 0),
// and, as a counter, the time until the whole frame is shown. Part of viewer_bench.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "tests/views/FakeDialogs.h"
#include "tools/generator/PhantomStudy.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"

namespace {

struct LargeJpeg2000 {
    QTemporaryDir folder;
    QString path;
    bool ok = false;

    LargeJpeg2000() {
        PhantomOptions o;
        o.columns = 4000;
        o.rows = 5000;
        o.frames = 1;
        const std::string pgm = folder.filePath(QStringLiteral("frame.pgm")).toStdString();
        const std::string j2k = folder.filePath(QStringLiteral("frame.j2k")).toStdString();
        if (!WritePhantomPgm(pgm, o, 0, 14).empty()) return;
        if (std::system(("opj_compress -i " + pgm + " -o " + j2k + " >/dev/null 2>&1").c_str()) != 0) return;
        std::ifstream in(j2k, std::ios::binary);
        const std::vector<std::uint8_t> stream((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        path = folder.filePath(QStringLiteral("mammogram.dcm"));
        ok = WriteEncapsulatedPhantom(path.toStdString(), o, "1.2.840.10008.1.2.4.90", 16, stream).empty();
    }
};

void BM_Jpeg2000FirstPaint(benchmark::State& state) {
    static LargeJpeg2000 file;
    if (!file.ok) return state.SkipWithError("the JPEG 2000 file could not be made (opj_compress is needed)");
    FakeDialogs dialogs;
    CDorvanelleApp app{dialogs};
    app.InitInstance({}, false);
    app.MainFrame()->resize(1280, 1000);
    app.MainFrame()->show();
    CDocumentController::SetFrameWait(std::chrono::milliseconds(0));
    CDocumentController::SetReducedFirstPaint(state.range(0) != 0);
    double wholeMs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        CChildFrame* child = app.OpenDocumentFile(file.path);
        if (!child) return state.SkipWithError("the file did not open");
        CDocumentController& c = child->Controller();
        QDeadlineTimer deadline(120000);
        while (!c.Image() && !c.Preview() && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
        child->View()->viewport()->repaint();
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        while (c.PendingFrame() && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
        child->View()->viewport()->repaint();
        wholeMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (!c.Image()) return state.SkipWithError("the frame did not show");
        child->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }
    CDocumentController::SetReducedFirstPaint(true);
    state.counters["whole_ms"] = wholeMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Jpeg2000FirstPaint)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
