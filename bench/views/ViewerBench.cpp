// What the user waits for in the viewer on a 512 x 512 study: the end of a window
// slider drag (store, convert the frame again, re-crop, redraw the panel, repaint the
// view) and a frame step (convert, repaint); on a fitted 2048 x 2048 study a step of
// windowing by mouse and a repaint; and cine at 60 frames per second. Run offscreen; the repaint is a real
// synchronous paint of the view into its backing store.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QSlider>
#include <QTemporaryDir>

#include "app/ChildFrame.h"
#include "app/CommandTable.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "document/DorvanelleDoc.h"
#include "tools/generator/PhantomStudy.h"
#include "views/ControlPanel.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/UserDialogs.h"

namespace {

class SilentDialogs : public IUserDialogs {
public:
    QStringList GetOpenFileNames(QWidget*, const QString&) override { return {}; }
    QString GetSaveFileName(QWidget*, const QString&) override { return {}; }
    void ShowMessage(QWidget*, QMessageBox::Icon, const QString&, const QString&) override {}
    int RunModal(QDialog&) override { return 0; }
    bool SetUpPrinter(QPrinter&, QWidget*) override { return false; }
};

// One viewer with a square study open (512 x 512 x 16 unless told), shared by the cases.
struct Session {
    QTemporaryDir folder;
    SilentDialogs dialogs;
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

Session& TheSession() {
    static Session session;
    return session;
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
        frame.ExecuteCommand(doc.m_nFrame + 1 < doc.m_dicom.m_nFrames ? ID_NEXT_SLIDE : ID_FIRST_SLIDE);
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
    for (auto _ : state) s.child->View()->viewport()->repaint();
}
BENCHMARK(BM_Repaint512)->Unit(benchmark::kMillisecond);

// A 2048 x 2048 radiograph-sized study in a 1280 x 1000 main window: larger than its
// window, so it opens fitted.
Session& LargeSession() {
    static Session session(2048, 2);
    return session;
}

// One step of a right-button drag: the window previewed (the frame mapped again) and
// the view repainted, fitted.
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
    for (auto _ : state) view->viewport()->repaint();
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
        while (clock.elapsed() < 10000) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double due = static_cast<double>(clock.nsecsElapsed()) / 1e9 * 60.0;
        view->StopCine();
        state.counters["shown"] = static_cast<double>(view->Cine().FramesShown());
        state.counters["due"] = due;
        state.counters["shown_over_due"] = static_cast<double>(view->Cine().FramesShown()) / due;
    }
}
BENCHMARK(BM_Cine60For10s)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
