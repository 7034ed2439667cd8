// libFuzzer target: the ELF reader (and libelf under it) on arbitrary bytes.
// Besides what the sanitizers catch, it stops on contents that disagree with
// their result (FuzzChecks.h) and on parts no avr-gcc layout allows.
#include <cstddef>
#include <cstdint>

#include "files/ElfFile.h"
#include "files/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t length) {
    using namespace kestrin;
    constexpr const char* kTarget = "fuzz_elf";
    DataFileContents contents;
    contents.problem = "stale";
    const FileResult result = ReadElfBytes(data, length, contents);
    fuzz::CheckContents(kTarget, result, contents);
    if (result == FileChecksumError || result == FileTooLarge) fuzz::Fail(kTarget, "a result ELF never gives");
    if (result != FileOk) return 0;
    if (contents.image.End() > kElfRamBase) fuzz::Fail(kTarget, "Flash beyond 8 MB");
    if (contents.eeprom && (contents.eeprom->Empty() || contents.eeprom->End() > 0x10000))
        fuzz::Fail(kTarget, "E²PROM empty or beyond 64 KB");
    if (contents.fuses && (contents.fuses->empty() || contents.fuses->size() > kElfMaxFuses))
        fuzz::Fail(kTarget, "fuses empty or too many");
    if (contents.image.Empty() && !contents.eeprom && !contents.fuses && !contents.lock)
        fuzz::Fail(kTarget, "Ok with nothing to program");
    return 0;
}
