// libFuzzer target: the Intel HEX reader on arbitrary text. Besides what the
// sanitizers catch, it stops on a result outside the codes, on contents that
// disagree with their result (FuzzChecks.h), on the two reader forms disagreeing,
// and on an image the writer cannot reproduce.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "files/FuzzChecks.h"
#include "files/IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t length) {
    using namespace kestrin;
    constexpr const char* kTarget = "fuzz_intel_hex";
    const std::string_view text(reinterpret_cast<const char*>(data), length);
    DataFileContents contents;
    contents.lock = 1;  // stale contents must go
    const FileResult result = ReadIntelHexText(text, contents, fuzz::kImageLimit);
    fuzz::CheckContents(kTarget, result, contents);
    if (contents.eeprom || contents.fuses || contents.lock || contents.signature) fuzz::Fail(kTarget, "HEX has no ELF parts");

    if (result == FileTooLarge) return 0;  // the other form would read on up to 16 MB
    std::vector<uint8_t> image{0xA5};
    int32_t size = -1;
    if (ReadIntelHexText(text, image, size) != result || image != contents.image.bytes ||
        size != static_cast<int32_t>(image.size()))
        fuzz::Fail(kTarget, "the two reader forms disagree");
    if (result != FileOk) return 0;
    // The writer's text of every image up to 16 KB reads back the same (the
    // round trip of larger ones costs far more than it finds).
    if (size <= 0x4000) {
        DataFileContents again;
        if (ReadIntelHexText(IntelHexText(image.data(), size), again) != FileOk || again.image.bytes != image)
            fuzz::Fail(kTarget, "written image does not read back");
    }
    return 0;
}
