// Motorola S-record data files (srec_motorola(5); devices.md part 4): memory
// images to and from text records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/FileResult.h"
#include "files/MemoryImage.h"

namespace kestrin {

// Reads an S-record file into an image that starts at address 0; bytes that no
// record covers are FF. The rules follow the Intel HEX reader's: a line is a
// record when it starts with "S" and a digit, every other line is ignored;
// records may come in any order and the later line wins; records after the end
// record count; digits may be lower case; anything after the checksum is
// ignored. Every record line must be whole, hexadecimal and pass its checksum
// (the ones' complement of the sum of count, address and data bytes), whatever
// its type:
//   S0         header: nothing taken from it
//   S1 S2 S3   data at a 16-, 24- or 32-bit address
//   S5 S6      the number of S1/S2/S3 records before it; another number fails
//              the file like a checksum (records were lost or added)
//   S7 S8 S9   end, with a start address that is not used
//   S4         reserved: ignored
// On any result but FileOk the image is empty and size is 0.
//   FileIoError       the file cannot be opened or read, or it is empty
//   FileNoData        no data record with at least one byte
//   FileChecksumError a record line is damaged, or a count record disagrees
//   FileTooLarge      data at or beyond kMaxImageSize (16 MB)
FileResult ReadSRecordFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size);
FileResult ReadSRecordFile(const std::string& fileName, DataFileContents& contents);
// The reader on text in memory; maxImageSize as for ReadIntelHexText.
FileResult ReadSRecordText(std::string_view text, DataFileContents& contents, uint32_t maxImageSize = kMaxImageSize);

// Writes the image from address 0: an S0 header "Kestrin", data records of 16
// bytes (S1 up to 64 KB, S2 up to 16 MB), a count record (S5, or S6 beyond
// 65535 records) and the matching end record (S9 or S8, start address 0);
// upper-case digits, CR LF line ends. Results as WriteIntelHexFile's.
FileResult WriteSRecordFile(const std::string& fileName, const uint8_t* image, int32_t size);

// The writer's text for 1 to kMaxImageSize bytes.
std::string SRecordText(const uint8_t* image, int32_t size);

}  // namespace kestrin
