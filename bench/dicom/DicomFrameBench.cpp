// The reader's costs: one 16-bit frame, the last frame of a long study against the
// only frame of a short one, opening a study, and the listing pass over a file of
// 100,000 elements. Studies are generated once per run into a temporary folder.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "dicom/DicomFile.h"
#include "dicom/FrameRender.h"
#include "tests/support/TempFiles.h"
#include "tools/generator/PhantomStudy.h"

namespace {

// The generated studies of this run, by name; written on first use.
class Studies {
public:
    static const std::string& Get(std::uint32_t frames, std::uint32_t extraElements = 0, std::uint16_t size = 512) {
        static Studies studies;
        const std::string name =
            std::to_string(size) + "x" + std::to_string(frames) + "+" + std::to_string(extraElements) + ".dcm";
        auto it = studies.m_paths.find(name);
        if (it == studies.m_paths.end()) {
            PhantomOptions options;
            options.rows = size;
            options.columns = size;
            options.frames = frames;
            options.extraElements = extraElements;
            const std::string path = studies.m_folder.File(name);
            if (!WriteCtPhantom(path, options).empty()) {
                std::abort();
            }
            it = studies.m_paths.emplace(name, path).first;
        }
        return it->second;
    }

private:
    TempFolder m_folder;
    std::map<std::string, std::string> m_paths;
};

std::unique_ptr<CDicomFile> Open(const std::string& path) {
    auto reader = std::make_unique<CDicomFile>();
    reader->Reset();
    if (reader->LoadFile(path) != 0) {
        std::abort();
    }
    reader->ParseElements(reader->DetectLayout());
    return reader;
}

// Frame `frame` read (or taken from the cache) and drawn through `state`.
PackedDibPtr Show(const CDicomFile& reader, std::int32_t frame, const DisplayState& state = {}) {
    auto samples = reader.Frames()->Frame(frame);
    if (!samples) {
        std::abort();
    }
    auto dib = RenderFrame(**samples, *reader.Attributes(), state);
    return dib ? std::move(dib).Take() : nullptr;
}

void ShowFrame(benchmark::State& state, std::uint32_t frames, std::int32_t frame) {
    auto reader = Open(Studies::Get(frames));
    for (auto _ : state) {
        PackedDibPtr dib = Show(*reader, frame);
        benchmark::DoNotOptimize(dib.get());
    }
    state.SetItemsProcessed(state.iterations() * 512 * 512);
}

// One 512 x 512 frame, window unchanged between calls (stepping through frames).
void BM_Frame512x512(benchmark::State& state) { ShowFrame(state, 1, 0); }
BENCHMARK(BM_Frame512x512);

// The same with a new window on every call (a slider released each time).
void BM_Frame512x512NewWindow(benchmark::State& state) {
    auto reader = Open(Studies::Get(1));
    DisplayState display;
    display.window = DisplayWindow{400, 40};
    for (auto _ : state) {
        display.window->width = display.window->width == 400 ? 401 : 400;
        PackedDibPtr dib = Show(*reader, 0, display);
        benchmark::DoNotOptimize(dib.get());
    }
    state.SetItemsProcessed(state.iterations() * 512 * 512);
}
BENCHMARK(BM_Frame512x512NewWindow);

// The last frame of a 200-frame study costs what the only frame of a 1-frame one does.
void BM_FirstFrameOf1(benchmark::State& state) { ShowFrame(state, 1, 0); }
void BM_LastFrameOf200(benchmark::State& state) { ShowFrame(state, 200, 199); }
BENCHMARK(BM_FirstFrameOf1);
BENCHMARK(BM_LastFrameOf200);

// Opening as the document does (load, capture pass, the last frame read and drawn).
void BM_OpenAndShowLastFrame(benchmark::State& state) {
    const auto frames = static_cast<std::uint32_t>(state.range(0));
    const std::string& path = Studies::Get(frames);
    for (auto _ : state) {
        auto reader = Open(path);
        PackedDibPtr dib = Show(*reader, static_cast<std::int32_t>(frames) - 1);
        benchmark::DoNotOptimize(dib.get());
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t{512} * 512 * 2 * frames);
}
BENCHMARK(BM_OpenAndShowLastFrame)->Arg(1)->Arg(200)->Unit(benchmark::kMillisecond);

// The listing pass (dictionary look-up and value text) over 100,000 elements.
void BM_ListElements100k(benchmark::State& state) {
    auto reader = std::make_unique<CDicomFile>();
    if (reader->LoadFile(Studies::Get(1, 100000, 64)) != 0) {
        std::abort();
    }
    std::int64_t rows = 0;
    for (auto _ : state) {
        reader->ListElements(reader->DetectLayout(), [&rows](const CDicomFile& e) {
            benchmark::DoNotOptimize(e.ValueText()[0]);
            ++rows;
        });
    }
    state.SetItemsProcessed(rows);
}
BENCHMARK(BM_ListElements100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
