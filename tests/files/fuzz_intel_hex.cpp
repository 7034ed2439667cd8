// libFuzzer target: the Intel HEX reader on arbitrary text. Besides what the
// sanitizers catch, it stops on a result outside the four codes, on an image
// that disagrees with its result, and on an image the writer cannot reproduce.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string_view>
#include <vector>

#include "files/IntelHex.h"

namespace {

void Fail(const char* why) {
    std::fprintf(stderr, "fuzz_intel_hex: %s\n", why);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t length) {
    using namespace kestrin;
    const std::string_view text(reinterpret_cast<const char*>(data), length);
    std::vector<uint8_t> image{0xA5};
    int32_t size = -1;
    const FileResult result = ReadIntelHexText(text, image, size);
    if (result < FileOk || result > FileChecksumError) Fail("result outside 0..3");
    if (result != FileOk) {
        if (!image.empty() || size != 0) Fail("an image next to a failure");
        return 0;
    }
    if (size < 1 || size > 0xFFFF + 255 || static_cast<std::size_t>(size) != image.size()) Fail("bad image size");
    if (size <= kMaxHexWriteSize) {
        std::vector<uint8_t> again;
        int32_t againSize = 0;
        if (ReadIntelHexText(IntelHexText(image.data(), size), again, againSize) != FileOk || again != image)
            Fail("written image does not read back");
    }
    return 0;
}
