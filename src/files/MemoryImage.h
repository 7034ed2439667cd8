// What a data file holds, as a programming job needs it: an image with the
// addresses the file really gives, and what an avr-gcc ELF file carries besides
// its Flash (E²PROM, fuses, lock byte, signature). Plus the sentences a caller
// refuses a file with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/FileResult.h"

namespace kestrin {

// Addresses first up to end - 1.
struct AddressRange {
    uint32_t first = 0;
    uint32_t end = 0;
    friend bool operator==(const AddressRange&, const AddressRange&) = default;
};

// A memory image as every reader returns it: byte i is the byte for address i,
// from address 0; FF where the file gives nothing. `ranges` are the addresses
// the file does give (FF bytes it gives included), ascending and merged, so a
// caller can tell data from padding: it is empty exactly when bytes is, and its
// last range ends at bytes.size().
struct MemoryImage {
    std::vector<uint8_t> bytes;
    std::vector<AddressRange> ranges;

    bool Empty() const { return bytes.empty(); }
    // One past the highest address the file gives; 0 for an empty image.
    uint32_t End() const { return static_cast<uint32_t>(bytes.size()); }
    // The lowest address at or above `address` that the file gives.
    std::optional<uint32_t> FirstGivenFrom(uint32_t address) const;
};

// Everything a data file holds. HEX, S-record and binary files have only the
// image. An ELF file (avr-gcc, Part 4b of devices.md): the image is the Flash
// (.text and .data at their load addresses below 0x800000); the other memories
// are listed only when the file has them.
struct DataFileContents {
    MemoryImage image;
    std::optional<MemoryImage> eeprom;             // load addresses 0x810000 on, as E²PROM address 0 on
    std::optional<std::vector<uint8_t>> fuses;     // 0x820000 on: low, high, extended fuse, as many as given
    std::optional<uint8_t> lock;                   // 0x830000
    // 0x840000: the chip's signature in the order the chip answers it (its
    // address 0 first, 1E for every Atmel part); the file stores it reversed.
    std::optional<std::array<uint8_t, 3>> signature;
    // Why a read failed, as a clause to put after the file's name ("record on
    // line 7 fails its checksum"); empty on FileOk.
    std::string problem;
};

// A reader's failure: the contents emptied, the clause naming why kept.
FileResult ReadFailure(DataFileContents& contents, FileResult result, std::string problem);

// The image alone, as the callers of the (image, size) readers take it:
// FileNoData for a file that holds nothing for the Flash, and an empty image
// on any result but FileOk.
FileResult ImageOnly(FileResult result, DataFileContents& contents, std::vector<uint8_t>& image, int32_t& size);

// The chip address of the first file byte that lands at or beyond the memory's
// end when the image is written from startAddress; empty when every byte fits.
std::optional<uint32_t> FirstAddressBeyond(const MemoryImage& image, uint32_t startAddress, uint32_t memorySize);

// "data at 1E000h lies beyond the chip's 64 KB Flash": the address as
// AddressText writes it, the size in KB when it is whole KB ("64 KB"), else in
// bytes ("the chip's 100-byte E²PROM"); the memory's name as given.
std::string BeyondMemoryText(uint32_t address, uint32_t memorySize, std::string_view memoryName);

// "the file is built for signature 1E 95 0F, the chip answers 1E 98 01"; both in the chip's order.
std::string SignatureMismatchText(const std::array<uint8_t, 3>& file, const std::array<uint8_t, 3>& chip);

// A memory size as the messages write it: "16 MB", "64 KB", else "100-byte".
std::string SizeText(uint32_t size);

// A reader's refusal of data beyond its limit: "data at 1000000h lies beyond
// the 16 MB a data file may hold".
std::string BeyondLimitText(uint64_t address, uint32_t limit);

// An address as the messages write it: upper-case hexadecimal, at least four
// digits, followed by "h" ("0000h", "1E000h").
std::string AddressText(uint32_t address);

// Builds a MemoryImage: the whole image is taken at once (its end is known from
// a first pass over the file) and filled with FF; every Place marks its bytes
// as given. Internal to the readers.
class ImageBuilder {
public:
    // end <= kMaxImageSize; may throw std::bad_alloc like any allocation.
    explicit ImageBuilder(uint32_t end);
    // The count bytes from address on, to be written by the caller; address +
    // count <= end.
    uint8_t* Place(uint32_t address, uint32_t count);
    MemoryImage Finish();

private:
    MemoryImage image_;
    std::vector<uint64_t> given_;  // one bit per address
};

}  // namespace kestrin
