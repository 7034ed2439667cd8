// Result codes and the format table shared by the data-file functions.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string_view>

namespace kestrin {

// Codes 0 to 3 keep the meaning they always had; 4 and 5 are the
// refusals that came with the formats beyond 64 KB. The functions
// never throw; the detailed readers add a sentence naming why (DataFileContents::problem).
enum FileResult : int32_t {
    FileOk = 0,
    FileIoError = 1,        // cannot be opened, read or written (HEX and S-record reader: also no line at all)
    FileNoData = 2,         // empty file, no data record, or nothing to write
    FileChecksumError = 3,  // a HEX or S-record line is damaged: checksum, a field that is not hexadecimal,
                            // a line that ends early, an S5/S6 count that does not match (reader only)
    FileTooLarge = 4,       // data beyond kMaxImageSize: the reader refuses it before taking the memory;
                            // a writer refuses an image larger than that
    FileFormatError = 5,    // not a file the chosen reader takes (ELF: not ELF, 64-bit, big-endian, not a
                            // linked AVR program, damaged tables, data in no memory a chip is programmed in);
                            // writer: the chosen entry has no writer (ELF)
};

// Largest image any reader builds and the HEX and S-record writers take: 16 MB,
// far beyond the largest supported chip (256 KB) and every AVR Flash address
// (8 MB), yet small enough to hold in memory without a second thought.
inline constexpr uint32_t kMaxImageSize = 0x1000000;

enum class DataFileType { Binary, IntelHex, SRecord, Elf };

// One entry of the data-file dialogs' type list.
struct DataFileFormat {
    int filterIndex;         // 1-based entry in DataFileFilter; the stored FileType setting
    DataFileType type;       // the reader and writer it picks
    const char* label;       // as shown in the type list
    const char* patterns;    // as in the filter string: separated by ";"
    const char* name;        // the format's name in messages and labels
    const char* extension;   // what a save dialog adds to a name without one
    bool writable;           // a writer exists (ELF is read only)
};

// The type list of every data-file dialog. Entries 1 to 3 are the original
// three (stored FileType values keep their meaning); Motorola S-record and ELF follow.
inline constexpr DataFileFormat kDataFileFormats[] = {
    {1, DataFileType::Binary, "binary files", "*.bin", "binary", ".bin", true},
    {2, DataFileType::IntelHex, "intel hex", "*.hex;*.obj;*.ihx;*.eep", "Intel HEX", ".hex", true},
    {3, DataFileType::Binary, "any binary file", "*.*", "binary", ".bin", true},
    {4, DataFileType::SRecord, "Motorola S-record", "*.srec;*.s19;*.s28;*.s37;*.mot", "Motorola S-record", ".srec",
     true},
    {5, DataFileType::Elf, "ELF", "*.elf", "ELF", ".elf", false},
};

inline constexpr int BinaryFilterIndex = 1;
inline constexpr int HexFilterIndex = 2;
inline constexpr int AnyFileFilterIndex = 3;
inline constexpr int SRecordFilterIndex = 4;
inline constexpr int ElfFilterIndex = 5;

// The table as the dialogs take it: label|patterns|label|patterns|... (a test
// holds both to the table). The save list omits ELF, the only entry without a
// writer; being last, its removal leaves the other entries' numbers alone.
inline constexpr const char* DataFileFilter =
    "binary files|*.bin|intel hex|*.hex;*.obj;*.ihx;*.eep|any binary file|*.*"
    "|Motorola S-record|*.srec;*.s19;*.s28;*.s37;*.mot|ELF|*.elf";
inline constexpr const char* DataFileSaveFilter =
    "binary files|*.bin|intel hex|*.hex;*.obj;*.ihx;*.eep|any binary file|*.*"
    "|Motorola S-record|*.srec;*.s19;*.s28;*.s37;*.mot";

// The entry of that number; any number outside the list is entry 1 (binary),
// as every entry but the HEX one has always been read as binary.
inline constexpr const DataFileFormat& DataFileFormatOf(int filterIndex) {
    for (const DataFileFormat& format : kDataFileFormats) {
        if (format.filterIndex == filterIndex) return format;
    }
    return kDataFileFormats[0];
}

inline constexpr DataFileType DataFileTypeOf(int filterIndex) { return DataFileFormatOf(filterIndex).type; }

// The first entry of a type (binary: entry 1).
inline constexpr int FilterIndexOf(DataFileType type) {
    for (const DataFileFormat& format : kDataFileFormats) {
        if (format.type == type) return format.filterIndex;
    }
    return BinaryFilterIndex;
}

// The type entry a file's name points to, as the type list's patterns read it:
// the extension of entries 1, 2, 4 and 5 picks that entry (entry 3's "*.*"
// picks nothing); any other name keeps filterIndex. Letter case is ignored.
inline int FilterIndexForName(std::string_view fileName, int filterIndex) {
    const auto slash = fileName.find_last_of("/\\");
    const std::string_view leaf = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const auto dot = leaf.find_last_of('.');
    if (dot == std::string_view::npos) return filterIndex;
    const std::string_view extension = leaf.substr(dot);  // ".hex"
    auto same = [](std::string_view pattern, std::string_view ext) {
        return pattern.size() == ext.size() &&
               std::equal(pattern.begin(), pattern.end(), ext.begin(), [](char a, char b) {
                   return a == std::tolower(static_cast<unsigned char>(b));
               });
    };
    for (const DataFileFormat& format : kDataFileFormats) {
        std::string_view patterns = format.patterns;
        while (!patterns.empty()) {
            const auto end = std::min(patterns.find(';'), patterns.size());
            const std::string_view pattern = patterns.substr(0, end);
            patterns.remove_prefix(std::min(end + 1, patterns.size()));
            if (pattern.size() > 1 && pattern[0] == '*' && pattern != "*.*" && same(pattern.substr(1), extension))
                return format.filterIndex;
        }
    }
    return filterIndex;
}

}  // namespace kestrin
