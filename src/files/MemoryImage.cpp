#include "files/MemoryImage.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace kestrin {

std::optional<uint32_t> MemoryImage::FirstGivenFrom(uint32_t address) const {
    // The ranges are ascending: the first one that ends above the address holds it or lies above it.
    const auto it = std::upper_bound(ranges.begin(), ranges.end(), address,
                                     [](uint32_t a, const AddressRange& r) { return a < r.end; });
    if (it == ranges.end()) return std::nullopt;
    return std::max(address, it->first);
}

std::optional<uint32_t> FirstAddressBeyond(const MemoryImage& image, uint32_t startAddress, uint32_t memorySize) {
    // File address a lands at startAddress + a; it is beyond from memorySize - startAddress on.
    const uint32_t firstBeyond = startAddress >= memorySize ? 0 : memorySize - startAddress;
    const std::optional<uint32_t> given = image.FirstGivenFrom(firstBeyond);
    if (!given) return std::nullopt;
    return startAddress + *given;
}

std::string AddressText(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%04Xh", static_cast<unsigned>(address));
    return text;
}

std::string SizeText(uint32_t size) {
    char text[32];
    if (size != 0 && size % 0x100000 == 0) {
        std::snprintf(text, sizeof text, "%u MB", static_cast<unsigned>(size / 0x100000));
    } else if (size != 0 && size % 1024 == 0) {
        std::snprintf(text, sizeof text, "%u KB", static_cast<unsigned>(size / 1024));
    } else {
        std::snprintf(text, sizeof text, "%u-byte", static_cast<unsigned>(size));
    }
    return text;
}

std::string BeyondMemoryText(uint32_t address, uint32_t memorySize, std::string_view memoryName) {
    return "data at " + AddressText(address) + " lies beyond the chip's " + SizeText(memorySize) + " " +
           std::string(memoryName);
}

std::string BeyondLimitText(uint64_t address, uint32_t limit) {
    return "data at " + AddressText(static_cast<uint32_t>(std::min<uint64_t>(address, 0xFFFFFFFF))) +
           " lies beyond the " + SizeText(limit) + " a data file may hold";
}

std::string SignatureMismatchText(const std::array<uint8_t, 3>& file, const std::array<uint8_t, 3>& chip) {
    char text[80];
    std::snprintf(text, sizeof text, "the file is built for signature %02X %02X %02X, the chip answers %02X %02X %02X",
                  file[0], file[1], file[2], chip[0], chip[1], chip[2]);
    return text;
}

ImageBuilder::ImageBuilder(uint32_t end) {
    image_.bytes.assign(end, 0xFF);
    given_.assign((static_cast<std::size_t>(end) + 63) / 64, 0);
}

uint8_t* ImageBuilder::Place(uint32_t address, uint32_t count) {
    // Marks the bits a word at a time: a record covers at most a few words.
    uint32_t bit = address;
    const uint32_t end = address + count;
    while (bit < end) {
        const uint32_t inWord = bit % 64;
        const uint32_t n = std::min<uint32_t>(64 - inWord, end - bit);
        const uint64_t mask = (n == 64 ? ~uint64_t{0} : ((uint64_t{1} << n) - 1)) << inWord;
        given_[bit / 64] |= mask;
        bit += n;
    }
    return image_.bytes.data() + address;
}

MemoryImage ImageBuilder::Finish() {
    // The runs of set bits become the ranges; whole words of ones or zeros are passed at once.
    const uint32_t size = static_cast<uint32_t>(image_.bytes.size());
    bool inRange = false;
    uint32_t first = 0;
    for (std::size_t w = 0; w < given_.size(); ++w) {
        uint64_t word = given_[w];
        const uint32_t base = static_cast<uint32_t>(w * 64);
        if (word == (inRange ? ~uint64_t{0} : 0)) continue;
        for (uint32_t b = 0; b < 64;) {
            // The next bit that ends the current state.
            const uint64_t rest = (inRange ? ~word : word) >> b;
            if (rest == 0) break;
            b += static_cast<uint32_t>(std::countr_zero(rest));
            if (inRange) {
                image_.ranges.push_back({first, base + b});
            } else {
                first = base + b;
            }
            inRange = !inRange;
        }
    }
    if (inRange) image_.ranges.push_back({first, size});
    given_.clear();
    return std::move(image_);
}

FileResult ReadFailure(DataFileContents& contents, FileResult result, std::string problem) {
    contents = DataFileContents{};
    contents.problem = std::move(problem);
    return result;
}

FileResult ImageOnly(FileResult result, DataFileContents& contents, std::vector<uint8_t>& image, int32_t& size) {
    if (result == FileOk && contents.image.Empty()) result = FileNoData;
    image = result == FileOk ? std::move(contents.image.bytes) : std::vector<uint8_t>{};
    size = static_cast<int32_t>(image.size());
    return result;
}

}  // namespace kestrin
