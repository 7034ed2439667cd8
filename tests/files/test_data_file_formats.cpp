#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "files/FileExchg.h"
#include "files/FileSniff.h"
#include "files/FileTestSupport.h"
#include "files/IntelHex.h"
#include "files/MemoryImage.h"
#include "files/SRecord.h"

namespace kestrin {
namespace {

using test::ScratchDir;

// The filter strings are the table, written out: label|patterns|...
TEST(DataFileFormats, FilterStringsAreTheTable) {
    std::string all, writable;
    for (const DataFileFormat& f : kDataFileFormats) {
        const std::string entry = std::string(all.empty() ? "" : "|") + f.label + "|" + f.patterns;
        all += entry;
        if (f.writable) writable += std::string(writable.empty() ? "" : "|") + f.label + "|" + f.patterns;
    }
    EXPECT_EQ(DataFileFilter, all);
    EXPECT_EQ(DataFileSaveFilter, writable);
    EXPECT_EQ(std::string(DataFileFilter),
              "binary files|*.bin|intel hex|*.hex;*.obj;*.ihx;*.eep|any binary file|*.*"
              "|Motorola S-record|*.srec;*.s19;*.s28;*.s37;*.mot|ELF|*.elf");
    for (std::size_t i = 0; i < std::size(kDataFileFormats); ++i) {
        EXPECT_EQ(kDataFileFormats[i].filterIndex, static_cast<int>(i + 1)) << "entries are numbered from 1 in order";
    }
}

TEST(DataFileFormats, EntriesPickTheirFormat) {
    struct Case {
        int entry;
        DataFileType type;
        const char* name;
        const char* extension;
    };
    const Case cases[] = {
        {-1, DataFileType::Binary, "binary", ".bin"},
        {0, DataFileType::Binary, "binary", ".bin"},
        {1, DataFileType::Binary, "binary", ".bin"},
        {2, DataFileType::IntelHex, "Intel HEX", ".hex"},
        {3, DataFileType::Binary, "binary", ".bin"},
        {4, DataFileType::SRecord, "Motorola S-record", ".srec"},
        {5, DataFileType::Elf, "ELF", ".elf"},
        {6, DataFileType::Binary, "binary", ".bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(DataFileTypeOf(c.entry), c.type);
        EXPECT_STREQ(DataFileFormatOf(c.entry).name, c.name);
        EXPECT_STREQ(DataFileFormatOf(c.entry).extension, c.extension);
    }
    EXPECT_EQ(FilterIndexOf(DataFileType::Binary), 1);
    EXPECT_EQ(FilterIndexOf(DataFileType::IntelHex), HexFilterIndex);
    EXPECT_EQ(FilterIndexOf(DataFileType::SRecord), SRecordFilterIndex);
    EXPECT_EQ(FilterIndexOf(DataFileType::Elf), ElfFilterIndex);
}

TEST(DataFileFormats, NamesPickTheEntryOfTheirExtension) {
    struct Case {
        const char* name;
        int entry;  // with 3 as the entry kept
    };
    const Case cases[] = {
        {"board.hex", 2},   {"BOARD.HEX", 2},   {"old.obj", 2},     {"sdcc.ihx", 2},    {"main.eep", 2},
        {"raw.bin", 1},     {"x.Bin", 1},       {"a.srec", 4},      {"a.s19", 4},       {"a.S28", 4},
        {"a.s37", 4},       {"a.mot", 4},       {"main.elf", 5},    {"/srv/fw/Main.ELF", 5},
        {".hex", 2},        {"notes.txt", 3},   {"noextension", 3}, {"firmware.hex.bak", 3},
        {"dir.hex/file", 3}, {"C:\\fw.elf\\image", 3}, {"a.s", 3},    {"a.", 3},          {"", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FilterIndexForName(c.name, 3), c.entry);
    }
}

TEST(DataFileContentsRead, BinaryGivesEveryByte) {
    ScratchDir dir;
    const std::string name = dir.Name("raw.bin");
    test::Spit(name, std::string("\xFF\x00\xFF", 3));
    DataFileContents contents;
    ASSERT_EQ(ReadDataFileContents(name, 1, contents), FileOk);
    EXPECT_EQ(contents.image.bytes, (std::vector<uint8_t>{0xFF, 0x00, 0xFF}));
    EXPECT_EQ(contents.image.ranges, (std::vector<AddressRange>{{0, 3}}));
    EXPECT_FALSE(contents.eeprom || contents.fuses || contents.lock || contents.signature);
    test::Spit(name, "");
    EXPECT_EQ(ReadDataFileContents(name, 3, contents), FileNoData);
    EXPECT_EQ(contents.problem, "the file is empty");
    EXPECT_EQ(ReadDataFileContents(dir.Name("missing"), 1, contents), FileIoError);
    EXPECT_EQ(contents.problem, "the file cannot be opened or read");
}

TEST(DataFileSniff, WhatAFileChosenAsBinaryHolds) {
    std::mt19937 rng(8);
    const std::vector<uint8_t> image = test::RandomImage(rng, 300);
    const std::string hex = IntelHexText(image.data(), 300);
    const std::string srec = SRecordText(image.data(), 300);
    std::vector<uint8_t> random = test::RandomImage(rng, 4096);
    random[0] = ':';
    struct Case {
        const char* what;
        std::string bytes;
        DataFileType type;
    };
    const Case cases[] = {
        {"our Intel HEX", hex, DataFileType::IntelHex},
        {"Intel HEX with LF only and blank lines", ":0100000055AA\n\n  \n:00000001FF\n", DataFileType::IntelHex},
        {"Intel HEX in lower case, trailing blanks", ":0100000055aa  \r\n:00000001ff\t\r\n", DataFileType::IntelHex},
        {"Intel HEX with a byte order mark and a DOS end mark", "\xEF\xBB\xBF:0100000055AA\r\n\x1A",
         DataFileType::IntelHex},
        {"Intel HEX without a line end", ":00000001FF", DataFileType::IntelHex},
        {"a damaged checksum is still HEX text", ":0100000055AB\r\n", DataFileType::IntelHex},
        {"our S-record", srec, DataFileType::SRecord},
        {"S-record of srec_motorola(5)", "S00600004844521B\nS107003000144ED492\nS5030001FB\nS9030000FC\n",
         DataFileType::SRecord},
        {"ELF magic", std::string("\x7F" "ELF\x01\x01\x01", 7), DataFileType::Elf},
        {"ELF magic alone", std::string("\x7F" "ELF", 4), DataFileType::Elf},
        {"empty", "", DataFileType::Binary},
        {"random bytes after a colon", std::string(random.begin(), random.end()), DataFileType::Binary},
        {"HEX with a comment line", ":0100000055AA\r\n; note\r\n", DataFileType::Binary},
        {"HEX with a comment after a record", ":0100000055AA ; reset\r\n", DataFileType::Binary},
        {"HEX record too short", ":01000000\r\n", DataFileType::Binary},
        {"HEX record with an odd digit count", ":0100000055AA0\r\n", DataFileType::Binary},
        {"HEX and S-record mixed", ":0100000055AA\r\nS9030000FC\r\n", DataFileType::Binary},
        {"a colon alone", ":", DataFileType::Binary},
        {"text starting with S", "Some notes\n", DataFileType::Binary},
        {"S without a digit", "SS030000FC\n", DataFileType::Binary},
        {"blank lines only", "\r\n\r\n", DataFileType::Binary},
        {"ELF magic later in the file", std::string("\x00\x7F" "ELF", 5), DataFileType::Binary},
        {"ELF magic cut short", std::string("\x7F" "EL", 3), DataFileType::Binary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> bytes(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(SniffDataFileType(bytes), c.type);
    }
    EXPECT_EQ(SniffDataFileType(nullptr, 0), DataFileType::Binary);
}

TEST(DataFileSniff, Questions) {
    EXPECT_EQ(SniffedFormatQuestion(DataFileType::IntelHex), "This file holds Intel HEX records. Write it as Intel HEX?");
    EXPECT_EQ(SniffedFormatQuestion(DataFileType::SRecord),
              "This file holds Motorola S-records. Write it as Motorola S-record?");
    EXPECT_EQ(SniffedFormatQuestion(DataFileType::Elf), "This file holds an ELF program. Write it as ELF?");
    EXPECT_EQ(SniffedFormatQuestion(DataFileType::Binary), "");
}

TEST(MemoryImageText, BeyondTheChipsMemory) {
    struct Case {
        uint32_t address, size;
        const char* memory;
        const char* text;
    };
    const Case cases[] = {
        {0x1E000, 0x10000, "Flash", "data at 1E000h lies beyond the chip's 64 KB Flash"},
        {0x40000, 0x40000, "Flash", "data at 40000h lies beyond the chip's 256 KB Flash"},
        {0x0200, 512, "E²PROM", "data at 0200h lies beyond the chip's 512-byte E²PROM"},
        {0x0400, 1024, "E²PROM", "data at 0400h lies beyond the chip's 1 KB E²PROM"},
        {0x0040, 64, "E²PROM", "data at 0040h lies beyond the chip's 64-byte E²PROM"},
        {0x3000, 12288, "Flash", "data at 3000h lies beyond the chip's 12 KB Flash"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BeyondMemoryText(c.address, c.size, c.memory), c.text);
    }
    EXPECT_EQ(AddressText(0), "0000h");
    EXPECT_EQ(AddressText(0xABCDEF), "ABCDEFh");
    EXPECT_EQ(SignatureMismatchText({0x1E, 0x95, 0x0F}, {0x1E, 0x98, 0x01}),
              "the file is built for signature 1E 95 0F, the chip answers 1E 98 01");
}

TEST(MemoryImageText, FirstAddressBeyondTheMemory) {
    MemoryImage image;
    image.bytes.assign(0x1E100, 0xFF);
    image.ranges = {{0, 0x100}, {0x1E000, 0x1E100}};
    struct Case {
        uint32_t start, size;
        std::optional<uint32_t> beyond;
    };
    const Case cases[] = {
        {0, 0x10000, 0x1E000},      // the example: padding up to 1E000h is no data
        {0, 0x40000, std::nullopt}, // fits an ATmega2560
        {0, 0x1E100, std::nullopt},
        {0, 0x1E0FF, 0x1E0FF},
        {0x100, 0x10000, 0x1E100},
        {0xFF80, 0x10000, 0x10000}, // the first range, shifted, crosses the end
        {0x20000, 0x10000, 0x20000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " " + std::to_string(c.size));
        EXPECT_EQ(FirstAddressBeyond(image, c.start, c.size), c.beyond);
    }
    EXPECT_EQ(FirstAddressBeyond(MemoryImage{}, 0, 0), std::nullopt);
}

}  // namespace
}  // namespace kestrin
