// Intel HEX data files: memory images to and from text records, with
// extended address records and images beyond 64 KB.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/FileResult.h"
#include "files/MemoryImage.h"

namespace kestrin {

// Reads a HEX file into an image that starts at address 0; bytes that no record
// covers are FF. Data records (00) place their bytes at base + their 16-bit
// address, the bytes of one record continuing upwards past base + FFFF (no
// wrap). The base starts at 0; an extended segment address record (02) sets it
// to its value × 16, an extended linear address record (04) to its value ×
// 65536, each for the records after it, whichever came last. So a file without
// them, or whose base stays 0, reads exactly as a 16-bit file always has. Records may
// come in any order and the later line wins; lines not starting with ":" are
// ignored (a UTF-8 byte order mark in front of the first is skipped), records
// after the end record count, digits may be lower case. A
// record with a byte count of 0 and every type but 00, 02 and 04 is ignored
// without looking at its checksum; 02 and 04 records must hold 2 bytes and pass
// their checksum. On any result but FileOk the image is empty and size is 0.
//   FileIoError       the file cannot be opened or read, or it is empty
//   FileNoData        no data record with at least one byte
//   FileChecksumError a record line is damaged: checksum mismatch, a field that
//                     is not hexadecimal, a line that ends before its checksum,
//                     an address record of another length than 2 bytes
//   FileTooLarge      data at or beyond kMaxImageSize (16 MB); refused before
//                     the image is taken
FileResult ReadIntelHexFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size);

// The same, with the addresses the records give and a sentence on failure.
FileResult ReadIntelHexFile(const std::string& fileName, DataFileContents& contents);

// The readers on text already in memory (a file's whole contents). A smaller
// maxImageSize (up to kMaxImageSize) refuses earlier: the fuzzers use it to keep
// every run fast.
FileResult ReadIntelHexText(std::string_view text, std::vector<uint8_t>& image, int32_t& size);
FileResult ReadIntelHexText(std::string_view text, DataFileContents& contents,
                            uint32_t maxImageSize = kMaxImageSize);

// Writes the image as data records of 16 bytes from address 0 and an end record,
// upper-case digits, CR LF line ends. Up to 65536 bytes that is exactly Part
// 3.1's file; above, an extended linear address record (04) precedes the first
// record of every further 64 KB. FileNoData for an empty name, no image or a
// size of 0 or below (nothing is touched); FileTooLarge for an image over
// kMaxImageSize (nothing is touched); FileIoError when the file cannot be
// written. An existing file is replaced only when the new one was written
// completely.
FileResult WriteIntelHexFile(const std::string& fileName, const uint8_t* image, int32_t size);

// The writer's text for 1 to kMaxImageSize bytes.
std::string IntelHexText(const uint8_t* image, int32_t size);

// Largest image the writer serves.
inline constexpr int32_t kMaxHexWriteSize = static_cast<int32_t>(kMaxImageSize);

// The byte of two hexadecimal digits, high nibble first; upper or lower case.
// Empty when either character is not a hexadecimal digit.
std::optional<uint8_t> HexPairToByte(char high, char low);

}  // namespace kestrin
