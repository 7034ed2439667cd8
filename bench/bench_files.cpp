// Reading and writing a 64 KB and a 256 KB image (the ATmega2560's Flash) in
// every data-file format: through a file (what a user waits for) and, for the
// text formats, in memory (the text work alone). ELF is read only.
// Goals (medians of a release build): 64 KB Intel HEX read <= 2 ms,
// 256 KB <= 8 ms. Run with
//   build/release/bin/bench_files --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "files/ElfBuilder.h"
#include "files/ElfFile.h"
#include "files/FileExchg.h"
#include "files/IntelHex.h"
#include "files/SRecord.h"

namespace {

namespace fs = std::filesystem;
using kestrin::FileOk;
using kestrin::FileResult;

std::vector<uint8_t> RandomImage(int32_t size) {
    std::mt19937 rng(64);
    std::vector<uint8_t> image(static_cast<std::size_t>(size));
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
    std::string File(const std::string& name) const { return (folder / name).string(); }
    fs::path folder;
};

// The image as a file of the format: by our writers, ELF by the test's builder
// (a .text section of the image's size at address 0, as avr-gcc links it).
void WriteFormat(const std::string& name, int entry, const std::vector<uint8_t>& image, benchmark::State& state) {
    if (kestrin::DataFileTypeOf(entry) == kestrin::DataFileType::Elf) {
        kestrin::test::ElfSpec spec;
        spec.sections = {kestrin::test::Section(".text", 0, image)};
        const std::vector<uint8_t> file = kestrin::test::BuildElf(spec);
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                    static_cast<std::streamsize>(file.size()));
        return;
    }
    if (kestrin::WriteDataFile(name, entry, image.data(), static_cast<int32_t>(image.size())) != FileOk)
        state.SkipWithError("write failed");
}

void WriteFile(benchmark::State& state, int entry, int32_t size) {
    const Scratch scratch;
    const std::vector<uint8_t> image = RandomImage(size);
    const std::string name = scratch.File("image");
    for (auto _ : state) {
        if (kestrin::WriteDataFile(name, entry, image.data(), size) != FileOk) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * size);
}

void ReadFile(benchmark::State& state, int entry, int32_t size) {
    const Scratch scratch;
    const std::vector<uint8_t> image = RandomImage(size);
    const std::string name = scratch.File("image");
    WriteFormat(name, entry, image, state);
    kestrin::DataFileContents contents;
    for (auto _ : state) {
        if (kestrin::ReadDataFileContents(name, entry, contents) != FileOk) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(contents.image.bytes.data());
    }
    if (contents.image.bytes != image) state.SkipWithError("image changed on the way");
    state.SetBytesProcessed(state.iterations() * size);
}

void TextFromImage(benchmark::State& state, int entry, int32_t size) {
    const std::vector<uint8_t> image = RandomImage(size);
    for (auto _ : state) {
        std::string text = entry == kestrin::HexFilterIndex ? kestrin::IntelHexText(image.data(), size)
                                                            : kestrin::SRecordText(image.data(), size);
        benchmark::DoNotOptimize(text.data());
    }
}

void ImageFromText(benchmark::State& state, int entry, int32_t size) {
    const std::vector<uint8_t> image = RandomImage(size);
    const std::string text = entry == kestrin::HexFilterIndex ? kestrin::IntelHexText(image.data(), size)
                                                              : kestrin::SRecordText(image.data(), size);
    kestrin::DataFileContents contents;
    for (auto _ : state) {
        const FileResult result = entry == kestrin::HexFilterIndex ? kestrin::ReadIntelHexText(text, contents)
                                                                   : kestrin::ReadSRecordText(text, contents);
        if (result != FileOk) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(contents.image.bytes.data());
    }
}

}  // namespace

int main(int argc, char** argv) {
    struct Format {
        const char* name;
        int entry;
        bool writable, text;
    };
    const Format formats[] = {
        {"IntelHex", kestrin::HexFilterIndex, true, true},
        {"SRecord", kestrin::SRecordFilterIndex, true, true},
        {"Binary", kestrin::BinaryFilterIndex, true, false},
        {"Elf", kestrin::ElfFilterIndex, false, false},
    };
    const std::pair<const char*, int32_t> sizes[] = {{"64K", 0x10000}, {"256K", 0x40000}};
    for (const auto& [label, size] : sizes) {
        for (const Format& f : formats) {
            const std::string suffix = std::string(f.name) + "/" + label;
            benchmark::RegisterBenchmark(("ReadFile/" + suffix).c_str(), ReadFile, f.entry, size)
                ->Unit(benchmark::kMicrosecond);
            if (f.writable)
                benchmark::RegisterBenchmark(("WriteFile/" + suffix).c_str(), WriteFile, f.entry, size)
                    ->Unit(benchmark::kMicrosecond);
            if (f.text) {
                benchmark::RegisterBenchmark(("ReadText/" + suffix).c_str(), ImageFromText, f.entry, size)
                    ->Unit(benchmark::kMicrosecond);
                benchmark::RegisterBenchmark(("WriteText/" + suffix).c_str(), TextFromImage, f.entry, size)
                    ->Unit(benchmark::kMicrosecond);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
