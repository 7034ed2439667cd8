#include "files/FileSniff.h"

#include <cstring>
#include <string_view>

#include "files/TextRecords.h"

namespace kestrin {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The record lines' shape: a mark of markLength characters, then at least
// minDigits hexadecimal digits, an even number, then blanks at most.
bool IsRecordLine(std::string_view line, std::size_t markLength, std::size_t minDigits) {
    std::size_t i = markLength;
    while (i < line.size() && records::IsHexDigit(line[i])) ++i;
    const std::size_t digits = i - markLength;
    while (i < line.size() && IsBlank(line[i])) ++i;
    return i == line.size() && digits >= minDigits && digits % 2 == 0;
}

bool IsBlankLine(std::string_view line) {
    for (char c : line) {
        if (!IsBlank(c)) return false;
    }
    return true;
}

// Wholly lines of one record kind (blank lines allowed), at least one record.
template <typename IsRecord>
bool WhollyRecords(std::string_view text, IsRecord isRecord) {
    bool records = false, others = false;
    records::ForEachLine(text, [&](std::string_view line, std::size_t) {
        if (IsBlankLine(line)) return true;
        if (!isRecord(line)) {
            others = true;
            return false;
        }
        records = true;
        return true;
    });
    return records && !others;
}

}  // namespace

DataFileType SniffDataFileType(const uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr || count == 0) return DataFileType::Binary;
    if (count >= 4 && std::memcmp(bytes, "\x7F" "ELF", 4) == 0) return DataFileType::Elf;
    std::string_view text(reinterpret_cast<const char*>(bytes), count);
    text = records::WithoutByteOrderMark(text);
    while (!text.empty() && text.back() == '\x1A') text.remove_suffix(1);
    if (WhollyRecords(text, [](std::string_view line) { return line[0] == ':' && IsRecordLine(line, 1, 10); }))
        return DataFileType::IntelHex;
    if (WhollyRecords(text, [](std::string_view line) {
            return line.size() >= 2 && line[0] == 'S' && line[1] >= '0' && line[1] <= '9' && IsRecordLine(line, 2, 8);
        }))
        return DataFileType::SRecord;
    return DataFileType::Binary;
}

std::string SniffedFormatQuestion(DataFileType type) {
    switch (type) {
        case DataFileType::IntelHex: return "This file holds Intel HEX records. Write it as Intel HEX?";
        case DataFileType::SRecord: return "This file holds Motorola S-records. Write it as Motorola S-record?";
        case DataFileType::Elf: return "This file holds an ELF program. Write it as ELF?";
        case DataFileType::Binary: break;
    }
    return {};
}

}  // namespace kestrin
