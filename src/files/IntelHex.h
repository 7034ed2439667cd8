// Intel HEX data files: memory images to and from text records.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/FileResult.h"

namespace kestrin {

// Reads a HEX file into an image that starts at address 0; bytes that no record
// covers are FF. Only data records (type 00) place bytes, at their 16-bit address;
// records may come in any order and the later line wins. On any result but
// FileOk the image is empty and size is 0.
//   FileIoError       the file cannot be opened or read, or it is empty
//   FileNoData        no data record with at least one byte
//   FileChecksumError a record line is damaged: checksum mismatch, a field that
//                     is not hexadecimal, or a line that ends before its checksum
FileResult ReadIntelHexFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size);

// Writes the image as data records of 16 bytes from address 0 and an end record,
// upper-case digits, CR LF line ends. FileNoData for an empty name, no image or a
// size of 0 (nothing is touched); FileIoError when the file cannot be written, or
// for an image over 65536 bytes, which four address digits cannot hold. An
// existing file is replaced only when the new one was written completely.
FileResult WriteIntelHexFile(const std::string& fileName, const uint8_t* image, int32_t size);

// The reader on text already in memory (a file's whole contents).
FileResult ReadIntelHexText(std::string_view text, std::vector<uint8_t>& image, int32_t& size);

// The writer's text for 1 to 65536 bytes.
std::string IntelHexText(const uint8_t* image, int32_t size);

// Largest image the writer serves: the address field has four digits.
inline constexpr int32_t kMaxHexWriteSize = 0x10000;

// The reader's working image: a byte stream in memory that can be positioned
// anywhere; writing past its end extends it.
class THexStream {
public:
    void Seek(std::size_t position) { position_ = position; }
    void Write(const uint8_t* bytes, std::size_t count) {
        if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
        std::copy(bytes, bytes + count, bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
        position_ += count;
    }
    void Fill(uint8_t byte) { std::fill(bytes_.begin(), bytes_.end(), byte); }
    std::size_t Size() const { return bytes_.size(); }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
    std::size_t position_ = 0;
};

// Places one line's data bytes into the stream. True for a good record and for
// every line that is not a data record (empty, not starting with ":", a byte
// count of 0, a type other than 00); false for a damaged record line, whose data
// bytes may already be in the stream.
bool ParseHexRecord(std::string_view line, THexStream& stream);

// The byte of two hexadecimal digits, high nibble first; upper or lower case.
// Empty when either character is not a hexadecimal digit.
std::optional<uint8_t> HexPairToByte(char high, char low);

}  // namespace kestrin
