#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "files/ElfBuilder.h"
#include "files/ElfFile.h"
#include "files/FileExchg.h"
#include "files/FileTestSupport.h"

namespace kestrin {
namespace {

using test::ElfSection;
using test::ElfSpec;
using test::ScratchDir;
using test::Section;

std::vector<uint8_t> Bytes(std::size_t n, uint8_t first) {
    std::vector<uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

ElfSection Data(uint64_t runAddress, uint64_t loadAddress, std::vector<uint8_t> bytes) {
    ElfSection s = Section(".data", runAddress, std::move(bytes));
    s.loadAddress = loadAddress;
    return s;
}

ElfSection NoBits(std::string name, uint64_t address, std::size_t size) {
    ElfSection s = Section(std::move(name), address, std::vector<uint8_t>(size));
    s.type = SHT_NOBITS;
    return s;
}

ElfSection NotAllocated(std::string name, std::vector<uint8_t> bytes) {
    ElfSection s = Section(std::move(name), 0, std::move(bytes));
    s.flags = 0;
    s.loaded = false;
    return s;
}

// A program as avr-gcc links one for an ATmega328P.
ElfSpec AvrProgram() {
    ElfSpec spec;
    spec.sections = {
        Section(".text", 0, Bytes(0x40, 0x10)),
        Data(0x800100, 0x40, {0x2A, 0x00}),
        NoBits(".bss", 0x800102, 4),
        Section(".eeprom", kElfEepromBase, {0x11, 0x22, 0x33}),
        Section(".fuse", kElfFuseBase, {0xE2, 0xD9, 0xFD}),
        Section(".lock", kElfLockBase, {0xFC}),
        Section(".signature", kElfSignatureBase, {0x0F, 0x95, 0x1E}),
        NotAllocated(".comment", Bytes(17, 'A')),
        NotAllocated(".debug_info", Bytes(64, 0)),
    };
    return spec;
}

FileResult Read(const std::vector<uint8_t>& file, DataFileContents& contents) {
    return ReadElfBytes(file.data(), file.size(), contents);
}

TEST(ElfRead, AnAvrProgram) {
    DataFileContents contents;
    ASSERT_EQ(Read(test::BuildElf(AvrProgram()), contents), FileOk) << contents.problem;
    std::vector<uint8_t> flash = Bytes(0x40, 0x10);
    flash.insert(flash.end(), {0x2A, 0x00});  // .data's initial values right after .text
    EXPECT_EQ(contents.image.bytes, flash);
    EXPECT_EQ(contents.image.ranges, (std::vector<AddressRange>{{0, 0x42}}));
    ASSERT_TRUE(contents.eeprom);
    EXPECT_EQ(contents.eeprom->bytes, (std::vector<uint8_t>{0x11, 0x22, 0x33}));
    ASSERT_TRUE(contents.fuses);
    EXPECT_EQ(*contents.fuses, (std::vector<uint8_t>{0xE2, 0xD9, 0xFD}));
    EXPECT_EQ(contents.lock, 0xFC);
    ASSERT_TRUE(contents.signature);
    EXPECT_EQ(*contents.signature, (std::array<uint8_t, 3>{0x1E, 0x95, 0x0F})) << "the chip's order";
    EXPECT_EQ(contents.problem, "");
}

TEST(ElfRead, PlacementCases) {
    struct Case {
        const char* what;
        ElfSpec spec;
        std::vector<AddressRange> flash;  // ranges of the Flash image
        bool eeprom;
    };
    ElfSpec high;
    high.sections = {Section(".text", 0x1E000, Bytes(0x100, 0)), Data(0x800200, 0x1E100, {1, 2})};
    ElfSpec withoutSections = AvrProgram();
    withoutSections.sectionHeaders = false;
    ElfSpec withoutProgramHeaders;
    withoutProgramHeaders.sections = {Section(".text", 0x10, Bytes(4, 0)), Section(".eeprom", kElfEepromBase, {1})};
    for (ElfSection& s : withoutProgramHeaders.sections) s.loaded = false;
    ElfSpec gaps;
    gaps.sections = {Section(".vectors", 0, Bytes(8, 0)), Section(".text", 0x100, Bytes(8, 0)),
                     Section(".boot", 0x3F000, Bytes(8, 0))};
    ElfSpec flashOnly;
    flashOnly.sections = {Section(".text", 0, Bytes(2, 0))};
    ElfSpec eepromOnly;
    eepromOnly.sections = {Section(".eeprom", kElfEepromBase + 4, {9})};
    ElfSpec topOfFlash;
    topOfFlash.sections = {Section(".text", kElfRamBase - 2, {1, 2})};
    const Case cases[] = {
        {"above 64 KB, .data after .text", high, {{0x1E000, 0x1E102}}, false},
        {"no section headers: the program headers", withoutSections, {{0, 0x42}}, true},
        {"no program headers: the sections' own addresses", withoutProgramHeaders, {{0x10, 0x14}}, true},
        {"gaps between sections stay FF and out of the ranges", gaps,
         {{0, 8}, {0x100, 0x108}, {0x3F000, 0x3F008}}, false},
        {"Flash alone", flashOnly, {{0, 2}}, false},
        {"E²PROM alone", eepromOnly, {}, true},
        {"the last Flash byte below 800000h", topOfFlash, {{kElfRamBase - 2, kElfRamBase}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataFileContents contents;
        ASSERT_EQ(Read(test::BuildElf(c.spec), contents), FileOk) << contents.problem;
        EXPECT_EQ(contents.image.ranges, c.flash);
        EXPECT_EQ(contents.image.End(), c.flash.empty() ? 0 : c.flash.back().end);
        std::size_t r = 0;
        for (std::size_t i = 0; i < contents.image.bytes.size(); ++i) {
            while (r < c.flash.size() && c.flash[r].end <= i) ++r;
            if (r == c.flash.size() || c.flash[r].first > i) {
                ASSERT_EQ(contents.image.bytes[i], 0xFF) << "padding at " << i;
            }
        }
        EXPECT_EQ(contents.eeprom.has_value(), c.eeprom);
    }
    DataFileContents contents;
    ASSERT_EQ(Read(test::BuildElf(high), contents), FileOk);
    EXPECT_EQ(contents.image.bytes[0x1E100], 1);
    EXPECT_EQ(contents.image.bytes[0x1E101], 2);
    ASSERT_EQ(Read(test::BuildElf(eepromOnly), contents), FileOk);
    EXPECT_EQ(contents.eeprom->bytes, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 9}));
    EXPECT_EQ(contents.eeprom->ranges, (std::vector<AddressRange>{{4, 5}}));
}

// Every refusal names why.
TEST(ElfRead, Refusals) {
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        FileResult result;
        std::string problem;
    };
    auto spec = [](auto change) {
        ElfSpec s = AvrProgram();
        change(s);
        return test::BuildElf(s);
    };
    std::vector<uint8_t> shortHeader = test::BuildElf(AvrProgram());
    shortHeader.resize(30);
    std::vector<uint8_t> outside = test::BuildElf(AvrProgram());
    {
        // .text's section header (number 1) claims more bytes than the file has: sh_size at +20.
        uint32_t shoff = 0;
        std::memcpy(&shoff, &outside[32], 4);
        const uint32_t huge = 0x10000000;
        std::memcpy(&outside[shoff + 40 + 20], &huge, 4);
    }
    const std::string text = "just text, no ELF";
    const Case cases[] = {
        {"a text file", std::vector<uint8_t>(text.begin(), text.end()), FileFormatError,
         "not an ELF file (it does not begin with 7F 45 4C 46)"},
        {"an empty file", {}, FileFormatError, "not an ELF file (it does not begin with 7F 45 4C 46)"},
        {"the magic alone", {0x7F, 'E', 'L', 'F'}, FileFormatError,
         "a damaged ELF file (it ends inside its identification)"},
        {"a 64-bit file", spec([](ElfSpec& s) { s.wide = true; }), FileFormatError,
         "a 64-bit ELF file; avr-gcc links AVR programs as 32-bit ELF files"},
        {"a 64-bit big-endian file", spec([](ElfSpec& s) { s.wide = s.bigEndian = true; }), FileFormatError,
         "a 64-bit ELF file; avr-gcc links AVR programs as 32-bit ELF files"},
        {"a 32-bit big-endian file", spec([](ElfSpec& s) { s.bigEndian = true; }), FileFormatError,
         "a big-endian ELF file; avr-gcc links AVR programs as little-endian ELF files"},
        {"a header cut short", shortHeader, FileFormatError, "a damaged ELF file (its header cannot be read)"},
        {"an object file", spec([](ElfSpec& s) { s.type = ET_REL; }), FileFormatError,
         "an ELF relocatable object (.o), not a linked program"},
        {"a shared object", spec([](ElfSpec& s) { s.type = ET_DYN; }), FileFormatError,
         "an ELF shared object, not a linked program"},
        {"an ARM program", spec([](ElfSpec& s) { s.machine = EM_ARM; }), FileFormatError,
         "an ELF file for another processor (machine 40), not for an AVR"},
        {"a section beyond the end of the file", outside, FileFormatError,
         "section .text reaches beyond the end of the file"},
        {"a section in RAM", spec([](ElfSpec& s) { s.sections.push_back(Section(".ramdata", 0x800200, {1})); }),
         FileFormatError, "section .ramdata at 800200h lies in the chip's RAM, which is not programmed"},
        {".data without a load address in Flash",
         spec([](ElfSpec& s) { s.sections[1].loaded = false; }), FileFormatError,
         "section .data at 800100h lies in the chip's RAM, which is not programmed"},
        {"a section beyond the known memories",
         spec([](ElfSpec& s) { s.sections.push_back(Section(".user_signatures", 0x850000, {1})); }),
         FileFormatError, "section .user_signatures at 850000h lies in no memory a chip is programmed in"},
        {"Flash crossing into RAM", spec([](ElfSpec& s) { s.sections.push_back(Section(".far", 0x7FFFFF, {1, 2})); }),
         FileFormatError, "section .far at 7FFFFFh reaches beyond the Flash's 8 MB"},
        {"E²PROM beyond 64 KB",
         spec([](ElfSpec& s) { s.sections[3] = Section(".eeprom", 0x81FFFF, {1, 2}); }), FileFormatError,
         "section .eeprom at 81FFFFh reaches beyond the E²PROM's 64 KB"},
        {"overlapping Flash sections",
         spec([](ElfSpec& s) { s.sections.push_back(Section(".extra", 0x30, {1})); }), FileFormatError,
         "section .text and section .extra overlap at 0030h"},
        {"overlapping E²PROM sections",
         spec([](ElfSpec& s) { s.sections.push_back(Section(".eeprom2", kElfEepromBase + 2, {1})); }),
         FileFormatError, "section .eeprom and section .eeprom2 overlap at 810002h"},
        {"a fuse byte missing in front",
         spec([](ElfSpec& s) { s.sections[4] = Section(".fuse", kElfFuseBase + 1, {0xD9, 0xFD}); }), FileFormatError,
         "the fuse bytes have a gap at 820000h"},
        {"a fuse byte missing between",
         spec([](ElfSpec& s) {
             s.sections[4] = Section(".fuse", kElfFuseBase, {0xE2});
             s.sections.push_back(Section(".fuse2", kElfFuseBase + 2, {0xFD}));
         }),
         FileFormatError, "the fuse bytes have a gap at 820001h"},
        {"17 fuse bytes", spec([](ElfSpec& s) { s.sections[4] = Section(".fuse", kElfFuseBase, Bytes(17, 0)); }),
         FileFormatError, "section .fuse at 820000h holds fuse bytes beyond the 16th"},
        {"a lock section of 2 bytes",
         spec([](ElfSpec& s) { s.sections[5] = Section(".lock", kElfLockBase, {0xFC, 0xFF}); }), FileFormatError,
         "section .lock at 830000h is no lock byte: one byte at 830000h"},
        {"a signature of 2 bytes",
         spec([](ElfSpec& s) { s.sections[6] = Section(".signature", kElfSignatureBase, {0x95, 0x1E}); }),
         FileFormatError, "section .signature at 840000h is no signature: three bytes at 840000h"},
        {"nothing but a signature", spec([](ElfSpec& s) { s.sections = {s.sections[6]}; }), FileNoData,
         "the ELF file holds nothing to program"},
        {"no sections at all", spec([](ElfSpec& s) { s.sections.clear(); }), FileNoData,
         "the ELF file holds nothing to program"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataFileContents contents;
        contents.lock = 1;
        EXPECT_EQ(Read(c.file, contents), c.result);
        EXPECT_EQ(contents.problem, c.problem);
        EXPECT_TRUE(contents.image.Empty());
        EXPECT_FALSE(contents.eeprom || contents.fuses || contents.lock || contents.signature);
    }
}

// Through the format table: entry 5 reads ELF; the image-only reader gives the Flash.
TEST(ElfRead, ThroughTheTypeList) {
    ScratchDir dir;
    const std::string name = dir.Name("program.elf");
    const std::vector<uint8_t> file = test::BuildElf(AvrProgram());
    test::Spit(name, std::string(file.begin(), file.end()));
    std::vector<uint8_t> image;
    int32_t size = 0;
    ASSERT_EQ(ReadDataFile(name, ElfFilterIndex, image, size), FileOk);
    EXPECT_EQ(size, 0x42);
    EXPECT_EQ(image.size(), 0x42u);
    DataFileContents contents;
    ASSERT_EQ(ReadDataFileContents(name, ElfFilterIndex, contents), FileOk);
    EXPECT_EQ(contents.image.bytes, image);
    EXPECT_TRUE(contents.eeprom && contents.fuses && contents.lock && contents.signature);

    // No Flash: the image-only reader has nothing; the full one has the E²PROM.
    ElfSpec eepromOnly;
    eepromOnly.sections = {Section(".eeprom", kElfEepromBase, {1, 2})};
    const std::vector<uint8_t> other = test::BuildElf(eepromOnly);
    test::Spit(name, std::string(other.begin(), other.end()));
    EXPECT_EQ(ReadDataFile(name, ElfFilterIndex, image, size), FileNoData);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(size, 0);
    ASSERT_EQ(ReadDataFileContents(name, ElfFilterIndex, contents), FileOk);
    EXPECT_TRUE(contents.image.Empty());
    EXPECT_EQ(contents.eeprom->bytes, (std::vector<uint8_t>{1, 2}));

    EXPECT_EQ(ReadDataFileContents(dir.Name("missing.elf"), ElfFilterIndex, contents), FileIoError);
    EXPECT_EQ(contents.problem, "the file cannot be opened or read");
    test::Spit(name, ":0100000055AA\r\n");
    EXPECT_EQ(ReadDataFile(name, ElfFilterIndex, image, size), FileFormatError);
    EXPECT_EQ(size, 0);
}

}  // namespace
}  // namespace kestrin
