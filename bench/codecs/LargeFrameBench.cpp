// Large frames: a 4096 x 4096 JPEG 2000 frame decoded whole and at the reductions a
// view fitted to 2048 or 1024 pixels needs (one and two levels dropped), on one
// thread and on every core; and a deflated 200-frame study read by position: its
// last frame from a fresh open, then one frame back.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "codecs/FrameDecoder.h"
#include "codecs/InflatingSource.h"
#include "io/RandomAccessFile.h"
#include "tests/support/TempFiles.h"
#include "tools/generator/PhantomStudy.h"

namespace {

constexpr std::uint16_t kLarge = 4096;

void Run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
        std::fprintf(stderr, "codecs_bench: '%s' failed (OpenJPEG's and DCMTK's tools are needed)\n", command.c_str());
        std::exit(1);
    }
}

const std::vector<std::uint8_t>& LargeJpeg2000() {
    static const std::vector<std::uint8_t> stream = [] {
        TempFolder folder;
        PhantomOptions o;
        o.rows = o.columns = kLarge;
        if (!WritePhantomPgm(folder.File("frame.pgm"), o, 0, 14).empty()) {
            std::abort();
        }
        Run("opj_compress -i " + folder.File("frame.pgm") + " -o " + folder.File("frame.j2k"));
        return ReadFileBytes(folder.File("frame.j2k"));
    }();
    return stream;
}

void DecodeLarge(benchmark::State& state) {
    FrameGeometry g;
    g.rows = g.columns = kLarge;
    g.bitsAllocated = 16;
    DecodeOptions options;
    options.reduce = static_cast<std::uint8_t>(state.range(0));
    options.threads = static_cast<std::uint16_t>(state.range(1));
    DecodedFrame out;
    Reason why;
    for (auto _ : state) {
        if (!DecodeFrame(FrameCodec::Jpeg2000, LargeJpeg2000(), g, options, out, &why)) {
            state.SkipWithError(why.Text().c_str());
            break;
        }
        benchmark::DoNotOptimize(out.samples.data());
    }
}

// A 200-frame 512 x 512 study deflated by DCMTK: its path and where its data set starts.
struct Deflated {
    TempFolder folder;
    std::string path;
    std::uint64_t dataSetStart = 0;
};

const Deflated& DeflatedStudy() {
    static const std::unique_ptr<Deflated> study = [] {
        auto d = std::make_unique<Deflated>();
        PhantomOptions o;
        o.rows = o.columns = 512;
        o.frames = 200;
        if (!WriteCtPhantom(d->folder.File("plain.dcm"), o).empty()) {
            std::abort();
        }
        d->path = d->folder.File("deflated.dcm");
        Run("dcmconv +td " + d->folder.File("plain.dcm") + " " + d->path);
        // The meta group ends where its group length says: 132 + 12 + that length.
        const auto bytes = ReadFileBytes(d->path);
        const std::uint32_t length = bytes[140] | bytes[141] << 8 | bytes[142] << 16 | std::uint32_t{bytes[143]} << 24;
        d->dataSetStart = 144 + length;
        return d;
    }();
    return *study;
}

constexpr std::size_t kFrameBytes = std::size_t{512} * 512 * 2;

void InflateLastFrame(benchmark::State& state) {
    const Deflated& study = DeflatedStudy();
    std::vector<std::uint8_t> frame(kFrameBytes);
    for (auto _ : state) {
        Reason why;
        const auto source =
            InflatingSource::Open(RandomAccessFile::Open(study.path), study.dataSetStart, std::uint64_t{1} << 31, &why);
        if (source == nullptr ||
            source->ReadAt(source->Size() - kFrameBytes, frame.data(), frame.size()) != SourceRead::Done) {
            state.SkipWithError("the study did not inflate");
            break;
        }
        benchmark::DoNotOptimize(frame.data());
    }
}

// Steps between the last two frames of an open source: each step goes back or forward one frame.
void InflateStepBack(benchmark::State& state) {
    const Deflated& study = DeflatedStudy();
    Reason why;
    const auto source =
        InflatingSource::Open(RandomAccessFile::Open(study.path), study.dataSetStart, std::uint64_t{1} << 31, &why);
    std::vector<std::uint8_t> frame(kFrameBytes);
    std::uint64_t step = 0;
    for (auto _ : state) {
        const std::uint64_t at = source->Size() - kFrameBytes * (1 + (step++ & 1)) - 1000;
        if (source->ReadAt(at, frame.data(), frame.size()) != SourceRead::Done) {
            state.SkipWithError("the frame did not inflate");
            break;
        }
        benchmark::DoNotOptimize(frame.data());
    }
}

}  // namespace

// Arguments: levels dropped, threads.
BENCHMARK(DecodeLarge)
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(InflateLastFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(InflateStepBack)->Unit(benchmark::kMillisecond);
