// Reading and writing a 64 KB image as Intel HEX: through a file (what a user
// waits for) and in memory (the text work alone).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "files/IntelHex.h"

namespace {

namespace fs = std::filesystem;
constexpr int32_t kImageSize = 65536;

std::vector<uint8_t> RandomImage() {
    std::mt19937 rng(64);
    std::vector<uint8_t> image(kImageSize);
    for (auto& byte : image) byte = static_cast<uint8_t>(rng());
    return image;
}

// A scratch folder for the run, removed afterwards.
struct Scratch {
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "kestrin-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    std::string File(const char* name) const { return (folder / name).string(); }
    fs::path folder;
};

void BM_WriteIntelHexFile64K(benchmark::State& state) {
    const Scratch scratch;
    const std::vector<uint8_t> image = RandomImage();
    const std::string name = scratch.File("image.hex");
    for (auto _ : state) {
        if (kestrin::WriteIntelHexFile(name, image.data(), kImageSize) != kestrin::FileOk) state.SkipWithError("write failed");
    }
}

void BM_ReadIntelHexFile64K(benchmark::State& state) {
    const Scratch scratch;
    const std::vector<uint8_t> image = RandomImage();
    const std::string name = scratch.File("image.hex");
    if (kestrin::WriteIntelHexFile(name, image.data(), kImageSize) != kestrin::FileOk) state.SkipWithError("write failed");
    std::vector<uint8_t> back;
    int32_t size = 0;
    for (auto _ : state) {
        if (kestrin::ReadIntelHexFile(name, back, size) != kestrin::FileOk) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(back.data());
    }
    if (back != image) state.SkipWithError("image changed on the way");
}

void BM_IntelHexText64K(benchmark::State& state) {
    const std::vector<uint8_t> image = RandomImage();
    for (auto _ : state) {
        std::string text = kestrin::IntelHexText(image.data(), kImageSize);
        benchmark::DoNotOptimize(text.data());
    }
}

void BM_ReadIntelHexText64K(benchmark::State& state) {
    const std::vector<uint8_t> image = RandomImage();
    const std::string text = kestrin::IntelHexText(image.data(), kImageSize);
    std::vector<uint8_t> back;
    int32_t size = 0;
    for (auto _ : state) {
        kestrin::ReadIntelHexText(text, back, size);
        benchmark::DoNotOptimize(back.data());
    }
}

}  // namespace

BENCHMARK(BM_WriteIntelHexFile64K)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadIntelHexFile64K)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IntelHexText64K)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadIntelHexText64K)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
