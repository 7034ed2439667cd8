// kestrin-chipdump: reads the memory of the virtual adapter's chip directly (as a
// parallel programmer would) and prints it, or compares it with a data file.
// The chip is the one the adapter's configuration names, with the memory its
// state file keeps, so this shows what an earlier Kestrin run left in it.
//
//   kestrin-chipdump [--eeprom] [--address N] [--count N] [--compare FILE]
//
// FILE is read as Intel HEX when its name ends in .hex or .obj, else as binary.
// Exit code 0: shown, or chip and file agree; 1: they differ; 4: bad
// arguments, no virtual adapter or an unreadable file.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "VirtualControl.h"
#include "files/FileExchg.h"
#include "files/FileResult.h"
#include "link/SPI.h"

namespace {

constexpr int kUsageError = 4;

int Fail(const std::string& why) {
    std::fprintf(stderr, "kestrin-chipdump: %s\n", why.c_str());
    return kUsageError;
}

int Usage(const char* why) {
    std::fprintf(stderr,
                 "kestrin-chipdump: %s\n"
                 "usage: kestrin-chipdump [--eeprom] [--address N] [--count N] [--compare FILE]\n",
                 why);
    return kUsageError;
}

bool ReadNumber(const char* text, int32_t& value) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 0);
    if (end == text || *end != '\0' || n < 0 || n > 0xFFFFFF) return false;
    value = static_cast<int32_t>(n);
    return true;
}

void Dump(const std::vector<uint8_t>& bytes, int32_t address) {
    for (size_t row = 0; row < bytes.size(); row += 16) {
        std::printf("%04X:", static_cast<unsigned>(address + static_cast<int32_t>(row)));
        for (size_t i = row; i < std::min(bytes.size(), row + 16); ++i) std::printf(" %02X", bytes[i]);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    int32_t space = VV_FLASH;
    int32_t address = 0;
    int32_t count = -1;
    std::string compare;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--eeprom") {
            space = VV_EEPROM;
        } else if (arg == "--address" && hasValue) {
            if (!ReadNumber(argv[++i], address)) return Usage("bad address");
        } else if (arg == "--count" && hasValue) {
            if (!ReadNumber(argv[++i], count)) return Usage("bad count");
        } else if (arg == "--compare" && hasValue) {
            compare = argv[++i];
        } else {
            return Usage(("unknown argument " + arg).c_str());
        }
    }

    // The library the program would bind, found the same way.
    if (!kestrin::LoadAdapterDriver()) return Fail(std::string("cannot load ") + kestrin::DriverFileName());
    void* library = dlopen(kestrin::AdapterDriverPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (library == nullptr) return Fail("cannot reach the adapter driver");
    auto readMemory = reinterpret_cast<VV_ReadMemoryFn>(dlsym(library, "VV_ReadMemory"));
    if (readMemory == nullptr) return Fail("the adapter driver is not the virtual adapter");

    std::vector<uint8_t> file;
    if (!compare.empty()) {
        int32_t size = 0;
        const int filterIndex = kestrin::FilterIndexForName(compare, 1);
        if (kestrin::ReadDataFile(compare, filterIndex, file, size) != kestrin::FileOk || file.empty()) {
            return Fail("cannot read " + compare);
        }
        count = static_cast<int32_t>(file.size());
    }
    if (count < 0) count = 64;

    std::vector<uint8_t> chip(static_cast<size_t>(count));
    const int32_t got = readMemory(space, address, chip.data(), count);
    chip.resize(got < 0 ? 0 : static_cast<size_t>(got));
    const char* memory = space == VV_EEPROM ? "E2PROM" : "Flash";
    std::printf("%s of the virtual chip from %04Xh:\n", memory, static_cast<unsigned>(address));
    Dump(chip, address);
    if (compare.empty()) return 0;

    size_t differ = 0;
    size_t first = file.size();
    for (size_t i = 0; i < file.size(); ++i) {
        if (i >= chip.size() || chip[i] != file[i]) {
            first = std::min(first, i);
            ++differ;
        }
    }
    if (differ == 0) {
        std::printf("The chip holds all %zu bytes of %s.\n", file.size(), compare.c_str());
        return 0;
    }
    std::printf("%zu of %zu bytes differ from %s, the first at %04Xh.\n", differ, file.size(), compare.c_str(),
                static_cast<unsigned>(address + static_cast<int32_t>(first)));
    return 1;
}
