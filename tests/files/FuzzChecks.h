// What every reader's result must satisfy, whatever the input: checked by the
// fuzz targets after each run of a reader.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "files/FileResult.h"
#include "files/MemoryImage.h"

namespace kestrin::fuzz {

// The text readers' limit in the fuzzers, the largest chip's 256 KB: images up to 16 MB would make
// each run that takes one a hundred times slower than the rest, for no new paths
// (the 16 MB limit itself is a unit test's).
inline constexpr uint32_t kImageLimit = 0x40000;

[[noreturn]] inline void Fail(const char* target, const char* why) {
    std::fprintf(stderr, "%s: %s\n", target, why);
    std::abort();
}

// An image and its ranges agree: ranges ascending, merged, inside the image,
// the last one ending at its end; none for an empty image.
inline void CheckImage(const char* target, const MemoryImage& image) {
    if (image.bytes.size() > kMaxImageSize) Fail(target, "image beyond the limit");
    if (image.bytes.empty() != image.ranges.empty()) Fail(target, "ranges without image or image without ranges");
    uint32_t previousEnd = 0;
    for (std::size_t i = 0; i < image.ranges.size(); ++i) {
        const AddressRange& r = image.ranges[i];
        if (r.first >= r.end) Fail(target, "empty range");
        if (i > 0 && r.first <= previousEnd) Fail(target, "ranges not ascending and merged");
        previousEnd = r.end;
    }
    if (!image.ranges.empty() && image.ranges.back().end != image.bytes.size()) Fail(target, "last range off the end");
}

// A result code of the list, the problem named exactly on failure, nothing handed over then.
inline void CheckContents(const char* target, FileResult result, const DataFileContents& contents) {
    if (result < FileOk || result > FileFormatError) Fail(target, "result outside 0..5");
    if ((result == FileOk) == !contents.problem.empty()) Fail(target, "problem text and result disagree");
    if (result != FileOk && (!contents.image.Empty() || !contents.image.ranges.empty() || contents.eeprom ||
                             contents.fuses || contents.lock || contents.signature))
        Fail(target, "contents next to a failure");
    CheckImage(target, contents.image);
    if (contents.eeprom) CheckImage(target, *contents.eeprom);
}

}  // namespace kestrin::fuzz
