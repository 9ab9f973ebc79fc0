// The viewer on series of single-frame 512 x 512 files, offscreen, with the whole
// application: a 500-slice series from the double click to its first painted slice,
// beside opening one of its files; the same while thumbnails are made; cine over it
// at 60 slices per second (slices painted over slices due); and a 2,000-slice series
// (1 GB of pixels) scrolled end to end, with the peak resident memory on the way.
// Part of viewer_bench; the series are generated once per run into a temporary folder.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "document/FrameLoader.h"
#include "document/SeriesStack.h"
#include "document/StudyIndex.h"
#include "tests/views/FakeDialogs.h"
#include "tools/generator/SeriesStudy.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/ThumbnailTask.h"

namespace {

// One generated series of `slices` files and its index.
struct GeneratedSeries {
    QTemporaryDir folder;
    IndexResult index;
    bool ok = false;

    explicit GeneratedSeries(std::uint32_t slices) {
        SeriesStudyOptions options;
        options.rows = 512;
        options.columns = 512;
        options.series = 1;
        options.slices = slices;
        const std::string path = folder.filePath(QStringLiteral("study")).toStdString();
        if (!WriteSeriesStudy(path, options).empty()) return;
        index = IndexStudies({path});
        ok = index.tree.SeriesCount() == 1;
    }
    const Series& TheSeries() const { return index.tree.patients[0].studies[0].series[0]; }
    std::shared_ptr<SeriesStack> Stack() const { return std::make_shared<SeriesStack>(TheSeries(), 0); }
};

GeneratedSeries& Series(std::uint32_t slices) {
    static std::map<std::uint32_t, std::unique_ptr<GeneratedSeries>> made;
    auto& series = made[slices];
    if (!series) series = std::make_unique<GeneratedSeries>(slices);
    return *series;
}

struct Viewer {
    FakeDialogs dialogs;
    CDorvanelleApp app{dialogs};
    Viewer() {
        app.InitInstance({}, false);
        app.MainFrame()->resize(1280, 1000);
        app.MainFrame()->show();
    }
};

// The viewer lives until EndSeriesViewer, before the application goes: its windows
// must not outlive it.
std::unique_ptr<Viewer>& ViewerSlot() {
    static std::unique_ptr<Viewer> viewer;
    return viewer;
}

Viewer& TheViewer() {
    std::unique_ptr<Viewer>& viewer = ViewerSlot();
    if (!viewer) viewer = std::make_unique<Viewer>();
    return *viewer;
}

// Runs the event loop until the child shows its frame (none pending) or 10 s pass.
bool WaitShown(CChildFrame* child) {
    QDeadlineTimer deadline(10000);
    while (child->Controller().PendingFrame() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return !child->Controller().PendingFrame() && child->Controller().Image() != nullptr;
}

void CloseNow(CChildFrame* child) {
    child->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

// Resident memory now, in MiB (from /proc/self/statm).
double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    long long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// From the double click (the series indexed) to its first slice painted.
void BM_SeriesFirstPaint500(benchmark::State& state) {
    GeneratedSeries& series = Series(500);
    Viewer& viewer = TheViewer();
    if (!series.ok) return state.SkipWithError("the series could not be written");
    for (auto _ : state) {
        CChildFrame* child = viewer.app.OpenStack(series.Stack());
        if (!child || !WaitShown(child)) return state.SkipWithError("the series did not show");
        child->View()->viewport()->repaint();
        state.PauseTiming();
        CloseNow(child);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SeriesFirstPaint500)->Unit(benchmark::kMillisecond);

// Opening one file of that series to its first painted frame: what the series is
// measured against.
void BM_SeriesFileFirstPaint(benchmark::State& state) {
    GeneratedSeries& series = Series(500);
    Viewer& viewer = TheViewer();
    if (!series.ok) return state.SkipWithError("the series could not be written");
    const QString path = QString::fromStdString(series.Stack()->PathOf(0));
    for (auto _ : state) {
        CChildFrame* child = viewer.app.OpenDocumentFile(path);
        if (!child || !WaitShown(child)) return state.SkipWithError("the file did not show");
        child->View()->viewport()->repaint();
        state.PauseTiming();
        CloseNow(child);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SeriesFileFirstPaint)->Unit(benchmark::kMillisecond);

// The first paint while thumbnails of the same series are made without pause on
// their own thread: they must not hold it up.
void BM_SeriesFirstPaint500WithThumbnails(benchmark::State& state) {
    GeneratedSeries& series = Series(500);
    Viewer& viewer = TheViewer();
    if (!series.ok) return state.SkipWithError("the series could not be written");
    CThumbnailTask thumbnails;
    int made = 0;
    QObject::connect(&thumbnails, &CThumbnailTask::ready, [&made] { ++made; });
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 20; ++i)
            thumbnails.Request(QString::number(i), std::make_shared<SeriesStack>(series.TheSeries(), 0, 1));
        state.ResumeTiming();
        CChildFrame* child = viewer.app.OpenStack(series.Stack());
        if (!child || !WaitShown(child)) return state.SkipWithError("the series did not show");
        child->View()->viewport()->repaint();
        state.PauseTiming();
        CloseNow(child);
        state.ResumeTiming();
    }
    state.counters["thumbnails"] = made;
}
BENCHMARK(BM_SeriesFirstPaint500WithThumbnails)->Unit(benchmark::kMillisecond);

// Cine at 60 slices per second over the 500-slice series for 10 s: slices painted
// over slices due, and the steps that found their slice not yet read ahead.
void BM_SeriesCine60For10s(benchmark::State& state) {
    GeneratedSeries& series = Series(500);
    Viewer& viewer = TheViewer();
    if (!series.ok) return state.SkipWithError("the series could not be written");
    CChildFrame* child = viewer.app.OpenStack(series.Stack());
    if (!child || !WaitShown(child)) return state.SkipWithError("the series did not show");
    CDorvanelleView* view = child->View();
    for (auto _ : state) {
        const std::uint64_t before = child->Controller().FramesShown();
        const FrameLoader::Counters start = child->Controller().Loader()->Stats();
        view->Cine().SetRate(60);
        view->Cine().Play();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double due = static_cast<double>(clock.nsecsElapsed()) / 1e9 * 60.0;
        view->StopCine();
        const auto shown = static_cast<double>(child->Controller().FramesShown() - before);
        state.counters["shown"] = shown;
        state.counters["due"] = due;
        state.counters["shown_over_due"] = shown / due;
        const FrameLoader::Counters counters = child->Controller().Loader()->Stats();
        state.counters["cache_MiB"] = static_cast<double>(counters.cachedBytes) / (1 << 20);
        // Steps whose slice the read-ahead had not read yet: cine passes over them.
        state.counters["steps"] = static_cast<double>(counters.shown - start.shown);
        state.counters["not_read_ahead"] = static_cast<double>((counters.shown - start.shown) - (counters.hits - start.hits));
    }
    CloseNow(child);
}
BENCHMARK(BM_SeriesCine60For10s)->Iterations(1)->Unit(benchmark::kSecond);

// The 2,000-slice series (1 GB of 16-bit pixels) scrolled end to end, one slice a
// step, each painted: the peak resident memory on the way, and the cache's bytes.
void BM_SeriesScroll2000(benchmark::State& state) {
    GeneratedSeries& series = Series(2000);
    Viewer& viewer = TheViewer();
    if (!series.ok) return state.SkipWithError("the series could not be written");
    for (auto _ : state) {
        CChildFrame* child = viewer.app.OpenStack(series.Stack());
        if (!child || !WaitShown(child)) return state.SkipWithError("the series did not show");
        double peak = ResidentMiB();
        std::size_t cachePeak = 0;
        QElapsedTimer clock;
        clock.start();
        for (int i = 1; i < 2000; ++i) {
            child->Controller().NextFrame();
            if (!WaitShown(child)) return state.SkipWithError("a slice did not show");
            child->View()->viewport()->repaint();
            if (i % 20 == 0) {
                peak = std::max(peak, ResidentMiB());
                cachePeak = std::max(cachePeak, child->Controller().Loader()->Stats().cachedBytes);
            }
        }
        state.counters["ms_per_slice"] = static_cast<double>(clock.elapsed()) / 1999.0;
        state.counters["peak_resident_MiB"] = peak;
        state.counters["cache_peak_MiB"] = static_cast<double>(cachePeak) / (1 << 20);
        CloseNow(child);
    }
}
BENCHMARK(BM_SeriesScroll2000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

void EndSeriesViewer() { ViewerSlot().reset(); }
