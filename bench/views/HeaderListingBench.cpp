// Opening the header details dialog on a listing of 100,000 elements: reading the
// file, the listing pass, filling the model and drawing the first screen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeView>

#include "tests/support/TempFiles.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "views/HeaderDetailsDialog.h"
#include "views/HeaderListModel.h"

namespace {

// Preamble, meta group, then `count` elements cycling through numbers, texts and
// unknown tags so that every kind of value text is rendered.
std::string WriteLargeStudy(const TempFolder& folder, int count) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup();
    for (int i = 0; i < count; ++i) {
        switch (i % 4) {
        case 0: b.ExplicitUS(0x0028, 0x0010, static_cast<std::uint16_t>(i)); break;
        case 1: b.ExplicitText(0x0010, 0x0010, "PN", "Doe^Jane"); break;
        case 2: b.ExplicitText(0x0009, 0x1001, "LO", "private value"); break;
        default: b.ImplicitText(0x0020, 0x0013, std::to_string(i)); break;
        }
    }
    const std::string path = folder.File("large.dcm");
    b.WriteTo(path);
    return path;
}

void BM_OpenHeaderDialog(benchmark::State& state) {
    const TempFolder folder;
    const std::string path = WriteLargeStudy(folder, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        HeaderDetailsDialog dialog(path);
        dialog.show();
        const QPixmap first = dialog.grab();  // lays out and paints the first screen
        benchmark::DoNotOptimize(first.cacheKey());
        if (dialog.model()->rowCount() < state.range(0)) state.SkipWithError("listing is short");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenHeaderDialog)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ReadHeaderListing(benchmark::State& state) {
    const TempFolder folder;
    const std::string path = WriteLargeStudy(folder, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        HeaderListing listing = ReadHeaderListing(path);
        benchmark::DoNotOptimize(listing.rows.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadHeaderListing)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
