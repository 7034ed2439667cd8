// How much time the programming routines themselves add to a run, apart from
// what the driver takes: full Flash writes, verified, on the virtual adapter
// in virtual time (pauses cost nothing), shown on the window's own progress
// display (a gauge and a time label, offscreen). Every driver call is timed
// through the operation table (what the timing itself costs is taken off);
// the counter outside_ns_per_byte is the rest of the run per image byte, outside_pct_of_pauses the same against the pauses
// the run asks the chip for (the time a real run cannot avoid), and
// chip_us_per_byte the virtual time the run needs on the chip, for scale.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "VirtualControl.h"
#include "devices/Programmer.h"
#include "link/SPI.h"
#include "ui/QtProgress.h"

namespace {

using Clock = std::chrono::steady_clock;
using kestrin::Ops;

kestrin::TOperationTable g_driver;  // the driver's own entry points
VeltroSPIWRQueueFn g_queue = nullptr;      // and its pipelined reads
VeltroSPIWRCollectFn g_collect = nullptr;
Clock::duration g_inDriver{};
double g_pauseUs = 0;  // sum of the Delay arguments
uint64_t g_calls = 0;  // driver calls timed
VV_TimeMicrosFn g_virtualTime = nullptr;

// Times one driver call.
template <typename F>
auto Timed(F&& call) {
    ++g_calls;
    const auto t0 = Clock::now();
    struct Stop {
        Clock::time_point t0;
        ~Stop() { g_inDriver += Clock::now() - t0; }
    } stop{t0};
    return call();
}

// What timing one call adds outside the call itself (the clock reads and the
// bookkeeping around them), measured on empty calls; taken off the host time.
double TimingCostNs() {
    // The least of several rounds: a round the machine interrupted says nothing.
    static const double cost = [] {
        constexpr int kCalls = 50000;
        double least = 1e9;
        const auto inDriver = g_inDriver;
        for (int round = 0; round < 7; ++round) {
            g_inDriver = {};
            const auto t0 = Clock::now();
            for (int i = 0; i < kCalls; ++i) Timed([] {});
            const auto total = Clock::now() - t0;
            least = std::min(least, std::chrono::duration<double, std::nano>(total - g_inDriver).count() / kCalls);
        }
        g_inDriver = inDriver;
        return least;
    }();
    return cost;
}

void VELTRO_CALL TSetReadMode(int32_t m) { Timed([&] { g_driver.SetReadMode(m); }); }
void VELTRO_CALL TSetEnables(int32_t e, int32_t m) { Timed([&] { g_driver.SetEnables(e, m); }); }
void VELTRO_CALL TSetLevels(int32_t a, int32_t b, int32_t c) { Timed([&] { g_driver.SetLevels(a, b, c); }); }
void VELTRO_CALL TSetCycleTime(int32_t c) { Timed([&] { g_driver.SetCycleTime(c); }); }
int32_t VELTRO_CALL TSPIWR(const uint8_t* s, uint8_t* r, int32_t n) { return Timed([&] { return g_driver.SPIWR(s, r, n); }); }
int32_t VELTRO_CALL TSPIW(const uint8_t* s, int32_t n) { return Timed([&] { return g_driver.SPIW(s, n); }); }
int32_t VELTRO_CALL TSPIWRQueue(const uint8_t* s, uint8_t* r, int32_t n) {
    return Timed([&] { return g_queue(s, r, n); });
}
int32_t VELTRO_CALL TSPIWRCollect() { return Timed([&] { return g_collect(); }); }
void VELTRO_CALL TDelay(int32_t us) {
    g_pauseUs += us > 0 ? us : 0;
    Timed([&] { g_driver.Delay(us); });
}

// Binds the virtual adapter with its built-in configuration and wraps the
// calls a programming run makes.
bool BindVirtualAdapter(const char* chip) {
    static void* handle = dlopen(KESTRIN_VIRTUAL_DRIVER, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    auto resetAll = reinterpret_cast<VV_ResetAllFn>(dlsym(handle, "VV_ResetAll"));
    auto setOption = reinterpret_cast<VV_SetOptionFn>(dlsym(handle, "VV_SetOption"));
    g_virtualTime = reinterpret_cast<VV_TimeMicrosFn>(dlsym(handle, "VV_TimeMicros"));
    if (resetAll == nullptr || setOption == nullptr || g_virtualTime == nullptr) return false;
    resetAll();
    if (setOption("chip", chip) != 0) return false;
    if (!kestrin::LoadAdapterDriverFrom(KESTRIN_VIRTUAL_DRIVER)) return false;
    if (Ops.Connect(0, 1) != 0) return false;
    g_driver = Ops;
    Ops.SetReadMode = TSetReadMode;
    Ops.SetEnables = TSetEnables;
    Ops.SetLevels = TSetLevels;
    Ops.SetCycleTime = TSetCycleTime;
    Ops.SPIWR = TSPIWR;
    Ops.SPIW = TSPIW;
    Ops.Delay = TDelay;
    if (kestrin::Extensions.Pipelined() && kestrin::Extensions.SPIWRQueue != TSPIWRQueue) {
        g_queue = kestrin::Extensions.SPIWRQueue;
        g_collect = kestrin::Extensions.SPIWRCollect;
        kestrin::Extensions.SPIWRQueue = TSPIWRQueue;
        kestrin::Extensions.SPIWRCollect = TSPIWRCollect;
    }
    // Busy polls go through the timed SPIWR and Delay, so the pauses they ask
    // for count and the host's work per poll is measured: an upper bound for
    // a run that hands the whole loop to the driver's SPIPoll in one call.
    kestrin::Extensions.SPIPoll = nullptr;
    return true;
}

void FullWrite(benchmark::State& state, const char* chip, uint8_t type, int32_t size, int32_t waitFlash,
               int32_t waitErase) {
    if (!BindVirtualAdapter(chip)) {
        state.SkipWithError("virtual adapter not available");
        return;
    }
    std::vector<uint8_t> image(static_cast<size_t>(size));
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 37 + 11);
    kestrin::TProgParams params;
    params.Data = image.data();
    params.Size = size;
    params.WaitFlash = waitFlash;
    params.WaitEEPROM = 4500;
    params.WaitErase = waitErase;
    params.Verify = true;
    QProgressBar gauge;
    QLabel label;
    kestrin::QtProgress progress(&gauge, &label, 0xFFFFFF);

    double outsideNs = 0;
    double chipUs = 0;
    double pauseUs = 0;
    for (auto _ : state) {
        TimingCostNs();
        g_inDriver = {};
        g_pauseUs = 0;
        g_calls = 0;
        const int64_t v0 = g_virtualTime();
        const auto t0 = Clock::now();
        const kestrin::ProgResult result = kestrin::WriteByType(type, params, progress);
        const auto total = Clock::now() - t0;
        if (result != kestrin::ProgOk) {
            state.SkipWithError("write failed");
            break;
        }
        outsideNs += std::chrono::duration<double, std::nano>(total - g_inDriver).count() -
                     static_cast<double>(g_calls) * TimingCostNs();
        chipUs += static_cast<double>(g_virtualTime() - v0);
        pauseUs += g_pauseUs;
    }
    state.counters["outside_pct_of_pauses"] = benchmark::Counter(pauseUs > 0 ? outsideNs / (pauseUs * 10.0) : 0.0);
    state.counters["outside_ns_per_byte"] =
        benchmark::Counter(outsideNs / size, benchmark::Counter::kAvgIterations);
    state.counters["chip_us_per_byte"] = benchmark::Counter(chipUs / size, benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void BM_AT89S8253FlashWriteVerify12K(benchmark::State& state) {
    FullWrite(state, "AT89S8253", 4, 12288, 4500, 500000);
}
void BM_AT89S8252WriteVerify8K(benchmark::State& state) { FullWrite(state, "AT89S8252", 0, 8192, 4000, -1); }

// The AVR writers poll the chip instead of pausing the profile's wait: the
// ATmega328P and ATtiny2313 through their ready/busy poll, the AT90S2313 by
// reading back the byte written. chip_us_per_byte shows what that saves
// against a profile wait of 10 ms, which the AT89S53 (no poll) has to sit out.
void BM_ATmega328PFlashWriteVerify32K(benchmark::State& state) {
    FullWrite(state, "ATmega328P", 3, 32768, 10000, 10000);
}
void BM_ATtiny2313FlashWriteVerify2K(benchmark::State& state) { FullWrite(state, "ATtiny2313", 2, 2048, 10000, 10000); }
void BM_AT90S2313FlashWriteVerify2K(benchmark::State& state) { FullWrite(state, "AT90S2313", 1, 2048, 10000, 10000); }
void BM_AT89S53WriteVerify12K(benchmark::State& state) { FullWrite(state, "AT89S53", 6, 12288, 10000, -1); }

BENCHMARK(BM_AT89S8253FlashWriteVerify12K)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_AT89S8252WriteVerify8K)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_ATmega328PFlashWriteVerify32K)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_ATtiny2313FlashWriteVerify2K)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_AT90S2313FlashWriteVerify2K)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_AT89S53WriteVerify12K)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
