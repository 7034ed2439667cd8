// Result codes and the format rule shared by the data-file functions.
#pragma once

#include <cstdint>

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

}  // namespace kestrin
