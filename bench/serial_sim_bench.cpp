// The serial Veltro on the simulated bench: how long full writes with
// verification take on the adapter's own clock (what a real board would take,
// apart from the USB latency of each wait for an answer), against the pauses
// the chip needs, and how many times the host waits for the adapter.
//
//   bench_serial_sim [runs] [AT89S8253|AT89S8252|ATmega328P]
//   (default 3 runs of both; prints the median of each figure)
//
// With VELTRO_SIM_USB_US=1000 the simulated board's replies reach the host
// 1 ms late, as through a USB serial converter. BENCH_FIRMWARE names another
// firmware ELF to run instead of this build's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <functional>
#include <string>
#include <vector>

#include "SimAdapter.h"
#include "VeltroSerial.h"
#include "devices/ProgRun.h"
#include "devices/Unit89S8252.h"
#include "devices/Unit89S8253.h"
#include "devices/UnitAvr.h"
#include "link/SPI.h"

using namespace kestrin;

namespace {

struct Mark {
    uint32_t color = 0;    // the phase that starts here (kColorWriting, kColorReading)
    double adapterMs = 0;  // the adapter's clock, after everything sent so far was carried out
    double wallMs = 0;
    double hostWaitMs = 0;  // of it, idle while waiting for the host
    VeltroSerialStats stats{};
};

struct Driver {
    VeltroSerialAdapterMicrosFn micros = nullptr;
    VeltroSerialGetStatsFn stats = nullptr;
    VeltroSerialResetStatsFn reset = nullptr;
};

Driver g_driver;
sim::SimAdapter* g_sim = nullptr;
uint32_t g_lastMicros = 0;
double g_adapterMs = 0;  // unwrapped

Mark Take() {
    Mark m;
    uint32_t t = 0;
    if (g_driver.micros(&t) == 0) {
        g_adapterMs += static_cast<uint32_t>(t - g_lastMicros) / 1000.0;
        g_lastMicros = t;
    }
    m.adapterMs = g_adapterMs;
    const std::string waits = g_sim->Command("waits");
    if (waits.rfind("ok ", 0) == 0) m.hostWaitMs = std::stod(waits.substr(3)) / 1000.0;
    m.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
    g_driver.stats(&m.stats);
    return m;
}

// Marks the phase changes of a routine: red starts writing, green verifying.
class PhaseProgress final : public IProgress {
public:
    std::vector<Mark> marks;
    void SetColor(uint32_t color) override {
        marks.push_back(Take());
        marks.back().color = color;
    }
    void SetProgress(int32_t) override {}
    void SetMaxValue(int32_t) override {}
    void SetText(const std::string&) override {}
    void ProcessEvents() override {}
};

struct Result {
    double writeMs, verifyMs, floorMs, writeWallMs, verifyWallMs, writeHostWaitMs, verifyHostWaitMs;
    double spiwr, transferWaits, creditWaits, frames, kbytesOut, baud;
    int status;
};

std::vector<uint8_t> Image(size_t size) {
    std::vector<uint8_t> v(size);
    uint32_t x = 12345;
    for (auto& b : v) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return v;
}

Result Run(const char* chip, const std::function<ProgResult(const TProgParams&, IProgress&)>& write,
           const TProgParams& params) {
    // BENCH_FIRMWARE: another firmware build to compare with (an older release).
    const char* firmware = std::getenv("BENCH_FIRMWARE");
    sim::SimAdapter sim(chip, KESTRIN_VELTRO_SIM, firmware != nullptr ? firmware : KESTRIN_VELTRO_FIRMWARE);
    g_sim = &sim;
    setenv("VELTRO_PORTS", sim.PtyPath().c_str(), 1);
    if (!LoadAdapterDriverFrom(KESTRIN_SERIAL_DRIVER) || Ops.Connect(0, 1) != 0) {
        std::fprintf(stderr, "bench: cannot connect to the simulated adapter\n");
        std::exit(1);
    }
    void* h = dlopen(KESTRIN_SERIAL_DRIVER, RTLD_NOW | RTLD_NOLOAD);
    g_driver.micros = reinterpret_cast<VeltroSerialAdapterMicrosFn>(dlsym(h, "VeltroSerial_AdapterMicros"));
    g_driver.stats = reinterpret_cast<VeltroSerialGetStatsFn>(dlsym(h, "VeltroSerial_GetStats"));
    g_driver.reset = reinterpret_cast<VeltroSerialResetStatsFn>(dlsym(h, "VeltroSerial_ResetStats"));
    Ops.SetEnables(0, 1);
    Ops.SetLevels(0, 0, 0);
    Ops.SetCycleTime(0);
    g_driver.reset();

    PhaseProgress progress;
    const ProgResult r = write(params, progress);
    const Mark end = Take();
    Ops.SetReady(0);
    Ops.Disconnect();
    if (progress.marks.size() < 2) {
        std::fprintf(stderr, "bench: the routine ended without a verify phase (result %d)\n", r);
        std::exit(1);
    }
    progress.marks.push_back(end);
    // The write phase is the first one in red; the verify is the green one
    // right after it. An AT89S8253 run reads the other memory before and
    // writes it back after: those phases are not counted.
    size_t w = 0;
    while (w + 2 < progress.marks.size() && progress.marks[w].color != kColorWriting) ++w;
    const Mark& start = progress.marks[w];
    const Mark& verify = progress.marks[w + 1];
    const Mark& verifyEnd = progress.marks[w + 2];
    Result out{};
    out.status = r;
    out.writeMs = verify.adapterMs - start.adapterMs;
    out.verifyMs = verifyEnd.adapterMs - verify.adapterMs;
    out.writeWallMs = verify.wallMs - start.wallMs;
    out.writeHostWaitMs = verify.hostWaitMs - start.hostWaitMs;
    out.verifyHostWaitMs = verifyEnd.hostWaitMs - verify.hostWaitMs;
    out.verifyWallMs = verifyEnd.wallMs - verify.wallMs;
    out.floorMs = static_cast<double>(verify.stats.delayMicros - start.stats.delayMicros) / 1000.0;
    out.spiwr = static_cast<double>(end.stats.spiwrCalls);
    out.transferWaits = static_cast<double>(end.stats.transferWaits);
    out.creditWaits = static_cast<double>(end.stats.creditWaits);
    out.frames = static_cast<double>(end.stats.frames);
    out.kbytesOut = static_cast<double>(end.stats.bytesOut) / 1024.0;
    out.baud = static_cast<double>(end.stats.linkBaud);
    return out;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// verifyFloorMs: the time the verification's bytes take on the SCK line alone.
void Report(const char* title, const std::vector<Result>& runs, int pages, double pagePauseMs, double verifyFloorMs) {
    auto med = [&](double Result::*f) {
        std::vector<double> v;
        for (const auto& r : runs) v.push_back(r.*f);
        return Median(v);
    };
    const double write = med(&Result::writeMs), floor = med(&Result::floorMs);
    const double pageFloor = pages * pagePauseMs;
    const double pageOverhead = (write - floor) / pages;
    std::printf("\n%s (median of %zu runs, result %d)\n", title, runs.size(), runs.front().status);
    std::printf("  write phase   %9.1f ms adapter time, %9.1f ms of pauses sent by the host (polls on the adapter not counted)\n",
                write, floor);
    std::printf("  page loop     %9.1f ms floor (%d pages x %.1f ms), %.3f ms per page beyond it: %+.1f %%\n",
                pageFloor, pages, pagePauseMs, pageOverhead, 100.0 * pageOverhead * pages / pageFloor);
    std::printf("  of the write  %9.1f ms the adapter sat waiting for the host\n", med(&Result::writeHostWaitMs));
    std::printf("  verify phase  %9.1f ms adapter time, of it %.1f ms waiting for the host: %.1f ms busy\n",
                med(&Result::verifyMs), med(&Result::verifyHostWaitMs),
                med(&Result::verifyMs) - med(&Result::verifyHostWaitMs));
    std::printf("  verify floor  %9.1f ms clocking the bytes: verify takes %.2f x that\n", verifyFloorMs,
                med(&Result::verifyMs) / verifyFloorMs);
    std::printf("  waits         %9.0f SPIWR calls, %.0f waits for data, %.0f waits for buffer room (overlapped)\n",
                med(&Result::spiwr), med(&Result::transferWaits), med(&Result::creditWaits));
    std::printf("  link          %9.0f frames, %.1f KB to the adapter at %.0f baud\n", med(&Result::frames),
                med(&Result::kbytesOut), med(&Result::baud));
    std::printf("  wall time     %9.1f ms write, %.1f ms verify (simulator on this machine)\n", med(&Result::writeWallMs),
                med(&Result::verifyWallMs));
    std::printf("  on a board, each wait for data adds one USB round trip (about 1 ms): verify about %.0f ms\n",
                med(&Result::verifyMs) - med(&Result::verifyHostWaitMs) + med(&Result::transferWaits));
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string only = argc > 2 ? argv[2] : "";

    const auto image8253 = Image(12 * 1024);
    TProgParams p8253;
    p8253.Data = image8253.data();
    p8253.Size = static_cast<int32_t>(image8253.size());
    p8253.WaitFlash = 4500;
    p8253.WaitEEPROM = 4500;
    p8253.WaitErase = 500000;
    p8253.Verify = true;
    if (only.empty() || only == "AT89S8253") {
        std::vector<Result> r8253;
        for (int i = 0; i < runs; ++i) r8253.push_back(Run("AT89S8253", Write89S8253, p8253));
        // 192 page reads of 3 + 64 bytes at 20 us per byte (1.25 us phases).
        Report("AT89S8253, 12 KB Flash, write and verify (default profile)", r8253, 192, 4.5, 192 * 67 * 0.020);
    }

    const auto image8252 = Image(8 * 1024);
    TProgParams p8252 = p8253;
    p8252.Data = image8252.data();
    p8252.Size = static_cast<int32_t>(image8252.size());
    p8252.WaitFlash = 4000;
    p8252.WaitErase = -1;
    if (only.empty() || only == "AT89S8252") {
        std::vector<Result> r8252;
        for (int i = 0; i < runs; ++i) r8252.push_back(Run("AT89S8252", Write89S8252, p8252));
        // 8192 read instructions of 3 bytes at 64 us per byte (4 us phases).
        Report("AT89S8252, 8 KB Flash, write and verify (default profile)", r8252, 8192, 4.0, 8192 * 3 * 0.064);
    }

    // ATmega328P, 32 KB, a 16 MHz crystal named in the profile, against the
    // same run at the slow clock (the profile naming no clock).
    const auto image328 = Image(32 * 1024);
    TProgParams p328 = p8253;
    p328.Data = image328.data();
    p328.Size = static_cast<int32_t>(image328.size());
    p328.WaitFlash = 4500;
    p328.WaitEEPROM = 9000;
    p328.WaitErase = 10000;
    if (only.empty() || only == "ATmega328P") {
        for (int32_t clock : {16, 0}) {
            p328.TargetClock = clock;
            std::vector<Result> r;
            for (int i = 0; i < runs; ++i) r.push_back(Run("ATmega328P", WriteATmega, p328));
            // 32768 read instructions of 4 bytes: 16 phases of 0.25 us (a 16 MHz
            // target) or 4 us.
            const double byteMs = clock == 16 ? 0.004 : 0.064;
            Report(clock == 16 ? "ATmega328P, 32 KB Flash, write and verify, target clock 16 MHz"
                               : "ATmega328P, 32 KB Flash, write and verify, slow clock (no target clock named)",
                   r, 256, 4.5, 32768 * 4 * byteMs);
            std::vector<double> total;
            for (const auto& x : r) total.push_back(x.writeMs + x.verifyMs);
            // The chip's own floor: its page writes, and every instruction of
            // the page loads and the verify clocked once.
            const double floorMs = 256 * 4.5 + 2 * 32768 * 4 * byteMs;
            std::printf("  write+verify  %9.1f ms adapter time (median), floor %.1f ms (%.2f x)\n", Median(total),
                        floorMs, Median(total) / floorMs);
        }
    }
    return 0;
}
