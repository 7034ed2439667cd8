// Real toolchain files as oracles, made at test time: avr-gcc (Debian gcc-avr)
// links a small program with an E²PROM variable, fuses, lock bits and the
// signature into an ELF file; avr-objcopy and srec_cat (Debian srecord) turn it
// into Intel HEX, S-record and binary. Every reader must give the same bytes at
// the same addresses. The test command installs the tools (scripts/packages.txt),
// so a missing one fails these tests instead of skipping them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "files/ElfFile.h"
#include "files/FileExchg.h"
#include "files/FileSniff.h"
#include "files/FileTestSupport.h"
#include "files/IntelHex.h"
#include "files/MemoryImage.h"
#include "files/SRecord.h"

namespace kestrin {
namespace {

using test::ScratchDir;

// FUSES, LOCKBITS and the signature come from avr-libc's headers; greeting and
// counter fill .text and .data, calibration .eeprom.
constexpr const char* kProgram = R"(#include <avr/io.h>
#include <avr/eeprom.h>
#include <avr/fuse.h>
#include <avr/lock.h>
#include <avr/signature.h>
#include <avr/pgmspace.h>

FUSES = { .low = 0xE2, .high = 0xD9, .extended = 0xFD };
LOCKBITS = 0xFC;
uint8_t EEMEM calibration[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
const char greeting[] PROGMEM = "Kestrin reads what avr-gcc writes";
volatile uint8_t counter = 42;
volatile uint16_t ticks = 0x1234;

int main(void) {
    DDRB = 0xFF;
    for (;;) {
        PORTB = eeprom_read_byte(&calibration[counter & 7]) ^ pgm_read_byte(&greeting[counter % 32]);
        counter++;
        ticks += counter;
    }
}
)";

class ToolchainFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const std::pair<const char*, const char*> tools[] = {
            {KESTRIN_AVR_GCC, "avr-gcc (Debian gcc-avr)"},
            {KESTRIN_AVR_OBJCOPY, "avr-objcopy (Debian binutils-avr)"},
            {KESTRIN_SREC_CAT, "srec_cat (Debian srecord)"},
        };
        for (const auto& [path, what] : tools) {
            ASSERT_NE(std::string(path), "")
                << what << " was not found at configure time; ./test installs it from scripts/packages.txt";
        }
        test::Spit(dir.Path() / "prog.c", kProgram);
    }

    // Runs a tool; its output goes to the test's log only when it fails.
    void Run(const char* tool, const std::string& args) {
        const std::string log = dir.Name("tool.log");
        const std::string command = std::string("'") + tool + "' " + args + " >'" + log + "' 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << test::Slurp(log);
    }
    void AvrGcc(const std::string& args) { Run(KESTRIN_AVR_GCC, args); }
    void Objcopy(const std::string& args) { Run(KESTRIN_AVR_OBJCOPY, args); }
    void SrecCat(const std::string& args) { Run(KESTRIN_SREC_CAT, args); }
    std::string F(const std::string& leaf) const { return "'" + dir.Name(leaf) + "'"; }

    DataFileContents Read(const std::string& leaf, int entry) {
        DataFileContents contents;
        EXPECT_EQ(ReadDataFileContents(dir.Name(leaf), entry, contents), FileOk) << leaf << ": " << contents.problem;
        return contents;
    }
    std::vector<uint8_t> Bytes(const std::string& leaf) {
        const std::string s = test::Slurp(dir.Path() / leaf);
        return {s.begin(), s.end()};
    }

    ScratchDir dir;
};

TEST_F(ToolchainFiles, AllReadersAgreeOnAnATmega328PProgram) {
    ASSERT_NO_FATAL_FAILURE(AvrGcc("-mmcu=atmega328p -Os -g -o " + F("prog.elf") + " " + F("prog.c")));
    const std::string flash = "-j .text -j .data ";
    ASSERT_NO_FATAL_FAILURE(Objcopy(flash + "-O ihex " + F("prog.elf") + " " + F("prog.hex")));
    ASSERT_NO_FATAL_FAILURE(Objcopy(flash + "-O srec " + F("prog.elf") + " " + F("prog.srec")));
    ASSERT_NO_FATAL_FAILURE(Objcopy(flash + "-O binary " + F("prog.elf") + " " + F("prog.bin")));
    ASSERT_NO_FATAL_FAILURE(SrecCat(F("prog.hex") + " -intel -o " + F("srec_cat.s19") + " -motorola"));
    ASSERT_NO_FATAL_FAILURE(SrecCat(F("prog.srec") + " -motorola -o " + F("srec_cat.hex") + " -intel"));
    ASSERT_NO_FATAL_FAILURE(SrecCat(F("prog.hex") + " -intel -o " + F("srec_cat.bin") + " -binary"));
    // The E²PROM as avr-gcc users make their .eep file, and the other memories as bytes.
    const std::string eeprom = "-j .eeprom --set-section-flags=.eeprom=alloc,load --change-section-lma .eeprom=0 ";
    ASSERT_NO_FATAL_FAILURE(Objcopy(eeprom + "-O ihex " + F("prog.elf") + " " + F("prog.eep")));
    ASSERT_NO_FATAL_FAILURE(Objcopy(eeprom + "-O binary " + F("prog.elf") + " " + F("eeprom.bin")));
    ASSERT_NO_FATAL_FAILURE(SrecCat(F("prog.eep") + " -intel -o " + F("eeprom.srec") + " -motorola"));
    for (const char* section : {"fuse", "lock", "signature"}) {
        ASSERT_NO_FATAL_FAILURE(Objcopy(std::string("-j .") + section + " --change-section-lma ." + section +
                                        "=0 -O binary " + F("prog.elf") + " " + F(std::string(section) + ".bin")));
    }

    const DataFileContents elf = Read("prog.elf", ElfFilterIndex);
    const std::vector<uint8_t> binary = Bytes("prog.bin");
    ASSERT_GT(binary.size(), 100u);
    EXPECT_EQ(elf.image.bytes, binary);
    EXPECT_EQ(elf.image.ranges, (std::vector<AddressRange>{{0, static_cast<uint32_t>(binary.size())}}));
    struct Other {
        const char* file;
        int entry;
    };
    for (const Other& o : {Other{"prog.hex", HexFilterIndex}, Other{"prog.srec", SRecordFilterIndex},
                           Other{"prog.bin", BinaryFilterIndex}, Other{"srec_cat.s19", SRecordFilterIndex},
                           Other{"srec_cat.hex", HexFilterIndex}, Other{"srec_cat.bin", AnyFileFilterIndex}}) {
        SCOPED_TRACE(o.file);
        const DataFileContents other = Read(o.file, o.entry);
        EXPECT_EQ(other.image.bytes, elf.image.bytes);
        EXPECT_EQ(other.image.ranges, elf.image.ranges);
        EXPECT_FALSE(other.eeprom || other.fuses || other.lock || other.signature);
    }

    const std::vector<uint8_t> calibration = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    ASSERT_TRUE(elf.eeprom);
    EXPECT_EQ(elf.eeprom->bytes, calibration);
    EXPECT_EQ(Bytes("eeprom.bin"), calibration);
    EXPECT_EQ(Read("prog.eep", HexFilterIndex).image.bytes, calibration);
    EXPECT_EQ(Read("eeprom.srec", SRecordFilterIndex).image.bytes, calibration);
    ASSERT_TRUE(elf.fuses);
    EXPECT_EQ(*elf.fuses, (std::vector<uint8_t>{0xE2, 0xD9, 0xFD}));
    EXPECT_EQ(*elf.fuses, Bytes("fuse.bin"));
    EXPECT_EQ(elf.lock, 0xFC);
    EXPECT_EQ(Bytes("lock.bin"), std::vector<uint8_t>{0xFC});
    ASSERT_TRUE(elf.signature);
    EXPECT_EQ(*elf.signature, (std::array<uint8_t, 3>{0x1E, 0x95, 0x0F})) << "ATmega328P, in the chip's order";
    EXPECT_EQ(Bytes("signature.bin"), (std::vector<uint8_t>{0x0F, 0x95, 0x1E})) << "the file's order";

    // .data's initial values (counter 42, ticks 1234h) follow .text in Flash.
    ASSERT_NO_FATAL_FAILURE(Objcopy("-j .data -O binary " + F("prog.elf") + " " + F("data.bin")));
    const std::string data = test::Slurp(dir.Path() / "data.bin");
    const std::string flashText(elf.image.bytes.begin(), elf.image.bytes.end());
    EXPECT_NE(data.find('\x2A'), std::string::npos);
    EXPECT_EQ(flashText.substr(flashText.size() - data.size()), data);
    EXPECT_NE(flashText.find("Kestrin reads what avr-gcc writes"), std::string::npos);

    // A file chosen as binary tells what it holds.
    EXPECT_EQ(SniffDataFileType(Bytes("prog.hex")), DataFileType::IntelHex);
    EXPECT_EQ(SniffDataFileType(Bytes("prog.eep")), DataFileType::IntelHex);
    EXPECT_EQ(SniffDataFileType(Bytes("prog.srec")), DataFileType::SRecord);
    EXPECT_EQ(SniffDataFileType(Bytes("srec_cat.s19")), DataFileType::SRecord);
    EXPECT_EQ(SniffDataFileType(Bytes("prog.elf")), DataFileType::Elf);
    EXPECT_EQ(SniffDataFileType(Bytes("prog.bin")), DataFileType::Binary);
}

// The issue's program above 64 KB, for an ATmega2560: avr-objcopy's HEX places
// it with extended segment records (02), srec_cat's with extended linear ones
// (04); both S-record writers use S2. Every reader puts it at 1E000h.
TEST_F(ToolchainFiles, AProgramAbove64KBLandsAt1E000) {
    ASSERT_NO_FATAL_FAILURE(AvrGcc("-mmcu=atmega2560 -Os -Wl,--section-start=.text=0x1E000 -o " + F("high.elf") +
                                   " " + F("prog.c")));
    const std::string flash = "-j .text -j .data ";
    ASSERT_NO_FATAL_FAILURE(Objcopy(flash + "-O ihex " + F("high.elf") + " " + F("high.hex")));
    ASSERT_NO_FATAL_FAILURE(Objcopy(flash + "-O srec " + F("high.elf") + " " + F("high.srec")));
    ASSERT_NO_FATAL_FAILURE(Objcopy(flash + "-O binary " + F("high.elf") + " " + F("program.bin")));  // from 1E000h
    ASSERT_NO_FATAL_FAILURE(SrecCat(F("high.hex") + " -intel -o " + F("srec_cat.hex") + " -intel"));
    ASSERT_NO_FATAL_FAILURE(SrecCat(F("high.hex") + " -intel -o " + F("srec_cat.s28") + " -motorola"));
    ASSERT_NO_FATAL_FAILURE(
        SrecCat(F("high.hex") + " -intel -fill 0xFF 0 0x1E000 -o " + F("high.bin") + " -binary"));  // from 0
    EXPECT_NE(test::Slurp(dir.Path() / "high.hex").find(":020000021000EC"), std::string::npos) << "02 records";
    EXPECT_NE(test::Slurp(dir.Path() / "srec_cat.hex").find(":020000040001F9"), std::string::npos) << "04 records";
    EXPECT_EQ(test::Slurp(dir.Path() / "high.srec").find("\nS1"), std::string::npos) << "S2 records";

    const std::vector<uint8_t> program = Bytes("program.bin");
    ASSERT_GT(program.size(), 100u);
    std::vector<uint8_t> expected(0x1E000, 0xFF);
    expected.insert(expected.end(), program.begin(), program.end());
    const std::vector<AddressRange> where = {{0x1E000, static_cast<uint32_t>(expected.size())}};

    struct Reader {
        const char* file;
        int entry;
    };
    for (const Reader& r : {Reader{"high.elf", ElfFilterIndex}, Reader{"high.hex", HexFilterIndex},
                            Reader{"srec_cat.hex", HexFilterIndex}, Reader{"high.srec", SRecordFilterIndex},
                            Reader{"srec_cat.s28", SRecordFilterIndex}, Reader{"high.bin", BinaryFilterIndex}}) {
        SCOPED_TRACE(r.file);
        const DataFileContents contents = Read(r.file, r.entry);
        EXPECT_TRUE(contents.image.bytes == expected) << "image of " << contents.image.bytes.size() << " bytes";
        if (r.entry != BinaryFilterIndex) {
            EXPECT_EQ(contents.image.ranges, where);  // a binary file gives every byte, the padding too
            // The job's refusal for a 64 KB chip names the first byte of data, not of padding.
            const std::optional<uint32_t> beyond = FirstAddressBeyond(contents.image, 0, 0x10000);
            ASSERT_TRUE(beyond);
            EXPECT_EQ(BeyondMemoryText(*beyond, 0x10000, "Flash"), "data at 1E000h lies beyond the chip's 64 KB Flash");
            EXPECT_EQ(FirstAddressBeyond(contents.image, 0, 0x40000), std::nullopt) << "fits the ATmega2560";
        }
    }
    const DataFileContents elf = Read("high.elf", ElfFilterIndex);
    ASSERT_TRUE(elf.signature);
    EXPECT_EQ(*elf.signature, (std::array<uint8_t, 3>{0x1E, 0x98, 0x01})) << "ATmega2560";

    // Our writers' files of this image, read back by the toolchain.
    ASSERT_EQ(WriteIntelHexFile(dir.Name("ours.hex"), expected.data(), static_cast<int32_t>(expected.size())), FileOk);
    ASSERT_EQ(WriteSRecordFile(dir.Name("ours.srec"), expected.data(), static_cast<int32_t>(expected.size())), FileOk);
    ASSERT_NO_FATAL_FAILURE(Objcopy("-I ihex -O binary " + F("ours.hex") + " " + F("ours-hex.bin")));
    ASSERT_NO_FATAL_FAILURE(SrecCat(F("ours.srec") + " -motorola -o " + F("ours-srec.bin") + " -binary"));
    EXPECT_TRUE(Bytes("ours-hex.bin") == expected);
    EXPECT_TRUE(Bytes("ours-srec.bin") == expected);
}

}  // namespace
}  // namespace kestrin
