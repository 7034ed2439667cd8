// The hex view window: a refresh plus the paint that follows it, at sizes from
// one row to the whole 64 KB block. Run on the offscreen platform unless a
// display is chosen explicitly.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "config/UnitConfig.h"
#include "ui/UnitRead.h"

namespace {

kestrin::TFormRead* g_form = nullptr;

void RefreshAndPaint(benchmark::State& state) {
    kestrin::TFormRead& form = *g_form;
    const int32_t size = static_cast<int32_t>(state.range(0));
    int32_t step = 0;
    for (auto _ : state) {
        // Alternate the size by one so that every refresh rebuilds the grid.
        form.Params.Size = size - (step++ & 1);
        form.RefreshView();
        form.repaint();
    }
    state.counters["rows"] = form.Params.Size > 0 ? (form.Params.Size + 15) / 16 : 1;
}
BENCHMARK(RefreshAndPaint)->Arg(0x10)->Arg(0x1000)->Arg(0x10000)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    kestrin::BuildDefaultProfiles(kestrin::ProfileTable);
    kestrin::TFormRead form;
    form.resize(800, 600);
    form.show();
    QCoreApplication::processEvents();
    g_form = &form;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
