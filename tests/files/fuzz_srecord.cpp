// libFuzzer target: the Motorola S-record reader on arbitrary text, with the
// same checks as the Intel HEX target.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "files/FuzzChecks.h"
#include "files/SRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t length) {
    using namespace kestrin;
    constexpr const char* kTarget = "fuzz_srecord";
    const std::string_view text(reinterpret_cast<const char*>(data), length);
    DataFileContents contents;
    contents.problem = "stale";
    const FileResult result = ReadSRecordText(text, contents, fuzz::kImageLimit);
    fuzz::CheckContents(kTarget, result, contents);
    if (contents.eeprom || contents.fuses || contents.lock || contents.signature)
        fuzz::Fail(kTarget, "S-records have no ELF parts");
    if (result != FileOk) return 0;
    const std::vector<uint8_t>& image = contents.image.bytes;
    // The round trip as in the Intel HEX target, up to 16 KB.
    if (image.size() <= 0x4000) {
        DataFileContents again;
        if (ReadSRecordText(SRecordText(image.data(), static_cast<int32_t>(image.size())), again) != FileOk ||
            again.image.bytes != image)
            fuzz::Fail(kTarget, "written image does not read back");
    }
    return 0;
}
