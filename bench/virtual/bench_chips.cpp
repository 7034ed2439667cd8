// How fast the chip models behind the virtual adapter simulate, at byte level
// and bit by bit through the pin adapter (the simulated bench's way).
#include <benchmark/benchmark.h>

#include "Chip.h"
#include "PinAdapter.h"

namespace {

// Reads the whole 12 KB of an AT89S8253 page by page at byte level.
void BM_ChipPageReadsByteLevel(benchmark::State& state) {
    auto chip = kestrin::chips::MakeChip("AT89S8253");
    uint64_t now = 0;
    chip->SetReset(true, now);
    for (uint8_t b : {0xAC, 0x53, 0x00, 0x00}) chip->Exchange(b, now += 50'000);
    for (auto _ : state) {
        for (uint32_t page = 0; page < 192; ++page) {
            const uint32_t a = page * 64;
            for (uint8_t b : {uint8_t(0x30), uint8_t(a >> 8), uint8_t(a)}) chip->Exchange(b, now += 50'000);
            for (int i = 0; i < 64; ++i) benchmark::DoNotOptimize(chip->Exchange(0, now += 50'000));
        }
    }
    state.SetBytesProcessed(state.iterations() * 192 * 67);
}
BENCHMARK(BM_ChipPageReadsByteLevel);

// The same bytes bit by bit through the pin adapter.
void BM_ChipPageReadsPinLevel(benchmark::State& state) {
    auto chip = kestrin::chips::MakeChip("AT89S8253");
    kestrin::chips::PinAdapter pins(*chip);
    uint64_t now = 0;
    auto send = [&](uint8_t b) {
        uint8_t in = 0;
        for (int bit = 7; bit >= 0; --bit) {
            pins.SetMosi((b >> bit) & 1, now += 3125);
            pins.SetSck(true, now += 3125);
            in = static_cast<uint8_t>((in << 1) | pins.Miso());
            pins.SetSck(false, now += 3125);
        }
        return in;
    };
    pins.SetReset(true, now);
    for (uint8_t b : {0xAC, 0x53, 0x00, 0x00}) send(b);
    for (auto _ : state) {
        for (uint32_t page = 0; page < 192; ++page) {
            const uint32_t a = page * 64;
            for (uint8_t b : {uint8_t(0x30), uint8_t(a >> 8), uint8_t(a)}) send(b);
            for (int i = 0; i < 64; ++i) benchmark::DoNotOptimize(send(0));
        }
    }
    state.SetBytesProcessed(state.iterations() * 192 * 67);
}
BENCHMARK(BM_ChipPageReadsPinLevel);

}  // namespace
