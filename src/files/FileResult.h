// Result codes and the format rule shared by the data-file functions.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string_view>

namespace kestrin {

enum FileResult : int32_t {
    FileOk = 0,
    FileIoError = 1,        // cannot be opened, read or written (HEX reader: also no line at all)
    FileNoData = 2,         // empty file, no data record, or nothing to write
    FileChecksumError = 3,  // a HEX record failed (reader only)
};

enum class DataFileType { Binary, IntelHex };

// Type list of every data-file dialog; entry 2 (1-based) is the only Intel HEX entry.
inline constexpr const char* DataFileFilter = "binary files|*.bin|intel hex|*.hex;*.obj|any binary file|*.*";
inline constexpr int HexFilterIndex = 2;

inline DataFileType DataFileTypeOf(int filterIndex) {
    return filterIndex == HexFilterIndex ? DataFileType::IntelHex : DataFileType::Binary;
}

// The type entry a file's name points to, as the type list's patterns read it:
// .hex and .obj Intel HEX, .bin binary (entry 1); any other name keeps
// filterIndex. Letter case is ignored.
inline int FilterIndexForName(std::string_view fileName, int filterIndex) {
    auto endsWith = [fileName](std::string_view suffix) {
        return fileName.size() >= suffix.size() &&
               std::equal(suffix.begin(), suffix.end(), fileName.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                          [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    };
    if (endsWith(".hex") || endsWith(".obj")) return HexFilterIndex;
    if (endsWith(".bin")) return 1;
    return filterIndex;
}

}  // namespace kestrin
