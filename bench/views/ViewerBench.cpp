// What the user waits for in the viewer. On a 512 x 512 study: opening it until the
// first frame is painted, the end of a window slider drag (store, convert the frame
// again, re-crop, redraw the panel, repaint the view), a frame step (convert,
// repaint) and cine at 60 frames per second. On a fitted 2048 x 2048 study: a step of
// windowing by mouse with its repaint, and a repaint. And the background pass for the
// range of all samples against reading the file once. Run offscreen; a repaint is a
// real synchronous paint of the view into its backing store.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QSlider>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>
#include <map>
#include <memory>
#include <vector>

#include "dicom/DicomFile.h"
#include "dicom/ModalityRange.h"
#include "io/RandomAccessFile.h"

#include "app/ChildFrame.h"
#include "app/CommandTable.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "document/DorvanelleDoc.h"
#include "tests/views/FakeDialogs.h"
#include "tools/generator/PhantomStudy.h"
#include "views/ControlPanel.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"

namespace {

// One viewer with a square study open (512 x 512 x 16 unless told), shared by the cases.
struct Session {
    QTemporaryDir folder;
    FakeDialogs dialogs;  // every dialog cancelled
    CDorvanelleApp app{dialogs};
    CChildFrame* child = nullptr;

    explicit Session(std::uint16_t size = 512, std::uint32_t frames = 16) {
        const QString path = folder.filePath(QStringLiteral("study%1.dcm").arg(size));
        PhantomOptions options;
        options.rows = size;
        options.columns = size;
        options.frames = frames;
        if (!WriteCtPhantom(path.toStdString(), options).empty()) return;
        app.InitInstance({}, false);
        app.MainFrame()->resize(1280, 1000);
        app.MainFrame()->show();
        child = app.OpenDocumentFile(path);
        QApplication::processEvents();
        // A selection, so that the release re-crops something real.
        if (child) child->Controller().MarkSelection(DibRect{100, 100, 356, 300});
    }
};

// The sessions live until main ends them, before the application goes: their
// windows must not outlive it.
std::unique_ptr<Session> g_session;
std::unique_ptr<Session> g_largeSession;

Session& TheSession() {
    if (!g_session) g_session = std::make_unique<Session>();
    return *g_session;
}

void BM_SliderRelease512(benchmark::State& state) {
    Session& s = TheSession();
    if (!s.child) {
        state.SkipWithError("the study could not be opened");
        return;
    }
    CControlPanel& panel = *s.app.MainFrame()->m_wndControlPanel;
    int value = 300;
    for (auto _ : state) {
        value = value == 300 ? 500 : 300;
        panel.m_pWidthSlider->setValue(value);
        panel.OnWidthReleased();
        s.child->View()->viewport()->repaint();
        panel.repaint();
    }
}
BENCHMARK(BM_SliderRelease512)->Unit(benchmark::kMillisecond);

void BM_FrameStep512(benchmark::State& state) {
    Session& s = TheSession();
    if (!s.child) {
        state.SkipWithError("the study could not be opened");
        return;
    }
    CMainFrame& frame = *s.app.MainFrame();
    const CDorvanelleDoc& doc = s.child->View()->GetDocument();
    for (auto _ : state) {
        frame.ExecuteCommand(doc.m_nFrame + 1 < doc.FrameCount() ? ID_NEXT_SLIDE : ID_FIRST_SLIDE);
        s.child->View()->viewport()->repaint();
    }
}
BENCHMARK(BM_FrameStep512)->Unit(benchmark::kMillisecond);

// The controller's part of a slider release alone (store, convert, re-crop, and the
// signals that mark the view and the panel for repainting): the rest of
// BM_SliderRelease512 is painting.
void BM_DocumentWindowChange512(benchmark::State& state) {
    Session& s = TheSession();
    if (!s.child) {
        state.SkipWithError("the study could not be opened");
        return;
    }
    CDocumentController& controller = s.child->Controller();
    int value = 300;
    for (auto _ : state) {
        value = value == 300 ? 500 : 300;
        controller.SetWindowWidth(value);
    }
}
BENCHMARK(BM_DocumentWindowChange512)->Unit(benchmark::kMillisecond);

// A repaint with nothing changed: the converted picture is reused.
void BM_Repaint512(benchmark::State& state) {
    Session& s = TheSession();
    if (!s.child) {
        state.SkipWithError("the study could not be opened");
        return;
    }
    for (auto _ : state)
        s.child->View()->viewport()->repaint();
}
BENCHMARK(BM_Repaint512)->Unit(benchmark::kMillisecond);

// A 2048 x 2048 radiograph-sized study in a 1280 x 1000 main window: larger than its
// window, so it opens fitted.
Session& LargeSession() {
    if (!g_largeSession) g_largeSession = std::make_unique<Session>(2048, 2);
    return *g_largeSession;
}

// The end of a width slider's drag on the fitted 2048 x 2048 study: the whole frame
// drawn again, the selection cropped again, the panel and the view repainted.
void BM_SliderRelease2048(benchmark::State& state) {
    Session& s = LargeSession();
    if (!s.child) {
        state.SkipWithError("the study could not be opened");
        return;
    }
    CDorvanelleView* view = s.child->View();
    if (!view->Viewport().IsFit()) view->ZoomToFit();
    CControlPanel& panel = *s.app.MainFrame()->m_wndControlPanel;
    int value = 300;
    for (auto _ : state) {
        value = value == 300 ? 500 : 300;
        panel.m_pWidthSlider->setValue(value);
        panel.OnWidthReleased();
        view->viewport()->repaint();
        panel.repaint();
    }
}
BENCHMARK(BM_SliderRelease2048)->Unit(benchmark::kMillisecond);

// One step of a right-button drag: the window previewed and the view repainted,
// fitted (only the view's own pixels are mapped while the drag lasts).
void BM_DragWindowRepaint2048(benchmark::State& state) {
    Session& s = LargeSession();
    if (!s.child) {
        state.SkipWithError("the study could not be opened");
        return;
    }
    CDorvanelleView* view = s.child->View();
    if (!view->Viewport().IsFit()) view->ZoomToFit();
    int width = 400;
    for (auto _ : state) {
        width = width == 400 ? 420 : 400;
        s.child->Controller().PreviewWindow(width, 40);
        view->viewport()->repaint();
    }
    state.counters["zoom"] = view->Viewport().Zoom();
}
BENCHMARK(BM_DragWindowRepaint2048)->Unit(benchmark::kMillisecond);

// A repaint of the fitted 2048 x 2048 image, nearest neighbour and smoothed.
void BM_FitRepaint2048(benchmark::State& state) {
    Session& s = LargeSession();
    if (!s.child) {
        state.SkipWithError("the study could not be opened");
        return;
    }
    CDorvanelleView* view = s.child->View();
    view->ZoomToFit();
    view->SetSmoothing(state.range(0) != 0);
    for (auto _ : state)
        view->viewport()->repaint();
    view->SetSmoothing(false);
}
BENCHMARK(BM_FitRepaint2048)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Cine at 60 frames per second on 512 x 512 for 10 s: frames shown over frames due.
void BM_Cine60For10s(benchmark::State& state) {
    Session& s = TheSession();
    if (!s.child) {
        state.SkipWithError("the study could not be opened");
        return;
    }
    CDorvanelleView* view = s.child->View();
    for (auto _ : state) {
        view->Cine().SetRate(60);
        view->Cine().Play();
        QElapsedTimer clock;
        clock.start();
        // Sleeps until the next event (a frame is due every 16.7 ms), so that the CPU
        // time is the cine's own work, not a polling loop's.
        while (clock.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double due = static_cast<double>(clock.nsecsElapsed()) / 1e9 * 60.0;
        view->StopCine();
        state.counters["shown"] = static_cast<double>(view->Cine().FramesShown());
        state.counters["due"] = due;
        state.counters["shown_over_due"] = static_cast<double>(view->Cine().FramesShown()) / due;
    }
}
BENCHMARK(BM_Cine60For10s)->Iterations(1)->Unit(benchmark::kSecond);

// Generated 512 x 512 studies of this run, by number of frames.
const QString& StudyOf(int frames) {
    static QTemporaryDir folder;
    static std::map<int, QString> paths;
    auto it = paths.find(frames);
    if (it == paths.end()) {
        const QString path = folder.filePath(QStringLiteral("study-%1.dcm").arg(frames));
        PhantomOptions options;
        options.rows = 512;
        options.columns = 512;
        options.frames = static_cast<std::uint32_t>(frames);
        if (!WriteCtPhantom(path.toStdString(), options).empty()) std::abort();
        it = paths.emplace(frames, path).first;
    }
    return it->second;
}

// Opening a study until its first frame is painted: the range of all samples is
// left to the background pass, so a long study costs what a short one does.
void BM_OpenToFirstPaint(benchmark::State& state) {
    Session& s = TheSession();
    if (!s.child) {
        state.SkipWithError("the viewer could not start");
        return;
    }
    const QString& path = StudyOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CChildFrame* child = s.app.OpenDocumentFile(path);
        if (!child) {
            state.SkipWithError("the study could not be opened");
            return;
        }
        child->View()->viewport()->repaint();
        state.PauseTiming();
        // The window deletes itself later; deleting it now cancels the range pass and
        // joins its thread, so that no pass of an earlier round runs into the next.
        child->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenToFirstPaint)->Arg(1)->Arg(800)->Unit(benchmark::kMillisecond);

// The background range pass over all 800 frames (400 MB), from the page cache.
void BM_RangePass800(benchmark::State& state) {
    const std::string path = StudyOf(800).toStdString();
    CDicomFile reader;
    if (reader.LoadFile(path) != 0) {
        state.SkipWithError("the study could not be opened");
        return;
    }
    reader.ParseElements(reader.DetectLayout());
    const std::uint64_t length = std::uint64_t{512} * 512 * 2 * 800;
    for (auto _ : state) {
        const RangeOutcome outcome = ScanModalityRange(*reader.Frames());
        benchmark::DoNotOptimize(outcome.range.min);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(length));
}
BENCHMARK(BM_RangePass800)->Unit(benchmark::kMillisecond);

// The floor for the range pass: reading the same file once as cat does (128 KiB
// reads into one buffer), from the page cache.
void BM_CatFile800(benchmark::State& state) {
    const std::string path = StudyOf(800).toStdString();
    std::vector<char> buffer(128 << 10);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
            bytes += got;
        ::close(fd);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_CatFile800)->Unit(benchmark::kMillisecond);

}  // namespace

// Closes the series benchmarks' viewer (SeriesBench.cpp) while the application lives.
void EndSeriesViewer();

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    // A frame step ends where it was asked to: the frame is waited for as long as it takes.
    CDocumentController::SetFrameWait(std::chrono::seconds(30));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    EndSeriesViewer();
    g_largeSession.reset();
    g_session.reset();
    return 0;
}
