// Saving a 512 x 512 frame as .bmp and as .dcm, the whole way to the disk: a
// temporary file, every byte written and flushed with fsync, then renamed over the
// target. The encoding alone is measured apart, so the two costs can be told apart.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <unistd.h>

#include "dicom/DicomFile.h"
#include "dicom/DicomWriter.h"
#include "image/BmpFile.h"

namespace {

constexpr std::uint16_t kSide = 512;

std::string TargetPath(const char* name) {
    return (std::filesystem::temp_directory_path() / ("dorvanelle-bench-" + std::to_string(::getpid()) + name))
        .string();
}

PackedDibPtr Frame(int bitCount) {
    PackedDibPtr dib = bitCount == 8 ? CreateGreyDib(kSide, kSide) : CreateRgbDib(kSide, kSide);
    std::uint8_t* bits = DibBits(dib.get());
    for (std::uint64_t i = 0; i < DibRowStride(dib.get()) * kSide; ++i) {
        bits[i] = static_cast<std::uint8_t>(i * 31);
    }
    return dib;
}

void BM_WriteBmp512(benchmark::State& state) {
    PackedDibPtr dib = Frame(static_cast<int>(state.range(0)));
    const std::string path = TargetPath(".bmp");
    for (auto _ : state) {
        if (!WriteBmpFile(dib.get(), path).written) {
            state.SkipWithError("cannot write the bitmap");
            break;
        }
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * dib->Length()));
}
BENCHMARK(BM_WriteBmp512)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteDicom512(benchmark::State& state) {
    PackedDibPtr dib = Frame(static_cast<int>(state.range(0)));
    const std::string path = TargetPath(".dcm");
    CDicomFile writer;
    for (auto _ : state) {
        if (!writer.WriteDicomFile(dib.get(), path).written) {
            state.SkipWithError("cannot write the DICOM file");
            break;
        }
    }
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_WriteDicom512)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncodeDicom512(benchmark::State& state) {
    PackedDibPtr dib = Frame(static_cast<int>(state.range(0)));
    std::string out;
    for (auto _ : state) {
        out.clear();
        EncodeDicomStream(dib.get(), out, nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_EncodeDicom512)->Arg(8)->Arg(24)->Unit(benchmark::kMicrosecond);

}  // namespace
