// Crop, grey conversion and histogram of a 2048 x 2048 picture, and a new bitmap of
// that size: each is one pass over the bytes, so the figures read as bytes per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/CropDib.h"
#include "image/GreyConversion.h"
#include "image/Histogram.h"

namespace {

constexpr std::uint16_t kSide = 2048;

// Noise rather than a constant, so that the histogram's counters really vary.
void FillWithNoise(PackedDib* dib) {
    std::mt19937 random(7);
    std::uint8_t* bits = DibBits(dib);
    const std::uint64_t size = DibRowStride(dib) * DibHeight(dib);
    for (std::uint64_t i = 0; i < size; ++i) {
        bits[i] = static_cast<std::uint8_t>(random());
    }
}

void BM_Histogram2048Grey(benchmark::State& state) {
    PackedDibPtr dib = CreateGreyDib(kSide, kSide);
    FillWithNoise(dib.get());
    Histogram bins;
    for (auto _ : state) {
        ComputeHistogram(dib.get(), bins);
        benchmark::DoNotOptimize(bins.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide);
}
BENCHMARK(BM_Histogram2048Grey)->Unit(benchmark::kMillisecond);

void BM_GreyConversion2048Rgb(benchmark::State& state) {
    PackedDibPtr source = CreateRgbDib(kSide, kSide);
    FillWithNoise(source.get());
    for (auto _ : state) {
        // The conversion consumes its input, so each round gets a fresh copy, untimed.
        state.PauseTiming();
        PackedDibPtr copy = PackedDib::Allocate(source->Length());
        std::memcpy(copy->Bytes(), source->Bytes(), source->Length());
        state.ResumeTiming();
        PackedDibPtr grey = ConvertDibTo8Bpp(std::move(copy));
        benchmark::DoNotOptimize(grey.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 3 * kSide * kSide);
}
BENCHMARK(BM_GreyConversion2048Rgb)->Unit(benchmark::kMillisecond);

void BM_Crop1024From2048Grey(benchmark::State& state) {
    PackedDibPtr dib = CreateGreyDib(kSide, kSide);
    FillWithNoise(dib.get());
    for (auto _ : state) {
        PackedDibPtr crop = CropDib({512, 512, 1536, 1536}, dib.get());
        benchmark::DoNotOptimize(crop.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 1024 * 1024);
}
BENCHMARK(BM_Crop1024From2048Grey)->Unit(benchmark::kMicrosecond);

// A new 2048 x 2048 bitmap written row by row while the last one is still shown, as
// every change of window makes one: the cost of getting and first writing a 4 MiB block.
void BM_NewGreyDib2048(benchmark::State& state) {
    const std::vector<std::uint8_t> row(kSide, 9);
    PackedDibPtr shown;
    for (auto _ : state) {
        PackedDibPtr dib = CreateGreyDib(kSide, kSide);
        std::uint8_t* bits = DibBits(dib.get());
        for (std::size_t y = 0; y < kSide; ++y) {
            std::memcpy(bits + y * kSide, row.data(), kSide);
        }
        shown = std::move(dib);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide);
}
BENCHMARK(BM_NewGreyDib2048)->Unit(benchmark::kMicrosecond);

}  // namespace
