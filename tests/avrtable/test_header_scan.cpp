// The generator's reading of avr-libc header text: part list, macro dumps,
// expressions, fuse bytes and the parts it leaves out.
#include <gtest/gtest.h>

#include "AvrHeaderScan.h"

using namespace avrtable;

namespace {

// A preprocessor dump in the shape of avr-libc's ATmega328P header.
const char* const kMega328Dump = R"(# 1 "/usr/lib/avr/include/avr/io.h"
# 1 "/usr/lib/avr/include/avr/iom328p.h" 1
#define SPM_PAGESIZE 128
#define E2END 0x3FF
#define E2PAGESIZE 4
#define FLASHEND 0x7FFF
#define _BV(bit) (1 << (bit))
#define FUSE_MEMORY_SIZE 3
#define FUSE_CKSEL0 (unsigned char)~_BV(0)
#define FUSE_CKSEL2 (unsigned char)~_BV(2)
#define FUSE_CKSEL3 (unsigned char)~_BV(3)
#define FUSE_SUT0 (unsigned char)~_BV(4)
#define FUSE_CKDIV8 (unsigned char)~_BV(7)
#define LFUSE_DEFAULT (FUSE_CKSEL0 & FUSE_CKSEL2 & FUSE_CKSEL3 & FUSE_SUT0 & FUSE_CKDIV8)
#define FUSE_BOOTSZ0 (unsigned char)~_BV(1)
#define FUSE_BOOTSZ1 (unsigned char)~_BV(2)
#define FUSE_WDTON (unsigned char)~_BV(4)
#define FUSE_SPIEN (unsigned char)~_BV(5)
#define HFUSE_DEFAULT (FUSE_BOOTSZ0 & FUSE_BOOTSZ1 & FUSE_SPIEN)
#define FUSE_BODLEVEL0 (unsigned char)~_BV(0)
#define EFUSE_DEFAULT (0xFF)
#define __LOCK_BITS_EXIST 
#define __BOOT_LOCK_BITS_0_EXIST 
#define __BOOT_LOCK_BITS_1_EXIST 
#define SIGNATURE_0 0x1E
#define SIGNATURE_1 0x95
#define SIGNATURE_2 0x0F
)";

TEST(HeaderScan, PartsOfIoHeaderFollowTheBranchesInOrderOnce) {
    const std::string io = "#if defined (__AVR_AT94K__)\n#  include <avr/ioat94k.h>\n"
                           "#elif defined (__AVR_ATmega328P__)\n#  include <avr/iom328p.h>\n"
                           "#elif defined (__AVR_ATmega328P__)\n#  include <avr/iom328p.h>\n"
                           "#elif defined (__AVR_ARCH__)\n#  error no include here\n"
                           "#elif defined (__AVR_ATtiny13A__)\n#  include <avr/iotn13a.h>\n#endif\n";
    const auto parts = PartsOfIoHeader(io);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].name, "AT94K");
    EXPECT_EQ(parts[1].name, "ATmega328P");
    EXPECT_EQ(parts[1].macro, "__AVR_ATmega328P__");
    EXPECT_EQ(parts[2].name, "ATtiny13A");
}

TEST(HeaderScan, ExpressionsOfTheHeaders) {
    const MacroList m = MacrosOfDump("#define A 0x10\n#define B (A + 2)\n#define LOOP LOOP\n#define F(x) x\n"
                                     "#define X (unsigned char)~_BV(3)\n#define U 0x7FFFU\n#undef A\n#define A 3\n");
    struct Case {
        const char* expression;
        std::optional<int64_t> value;
    } const cases[] = {
        {"0x1F", 0x1F},
        {"B", 5},  // macros expand when used: B = (A + 2) with A redefined as 3
        {"(unsigned char)~_BV(3)", 0xF7},
        {"X & (unsigned char)~_BV(0)", 0xF6},
        {"1 << 4 | 1", 0x11},
        {"U + 1", 0x8000},
        {"(0xFF)", 0xFF},
        {"LOOP", std::nullopt},
        {"F(1)", std::nullopt},
        {"A &&", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(Evaluate(c.expression, m), c.value) << c.expression;
}

TEST(HeaderScan, RowOfAMegaPartTakesSizesDefaultsAndBitsPerByte) {
    const MacroList m = MacrosOfDump(kMega328Dump);
    std::map<std::string, std::string> comments;
    CollectFuseComments("#define FUSE_WDTON     (unsigned char)~_BV(4)  /* Watchdog Timer Always On */\n"
                        "#define FUSE_SPIEN (unsigned char)~_BV(5)\n",
                        comments);
    const HeaderPart part{"ATmega328P", "__AVR_ATmega328P__"};
    ASSERT_EQ(ExclusionReason(part, m), "");
    const PartRow row = RowOf(part, m, comments);
    EXPECT_EQ(row.family, Family::Mega);
    EXPECT_EQ(row.signature, (std::array<uint8_t, 3>{0x1E, 0x95, 0x0F}));
    EXPECT_EQ(row.flashBytes, 32768u);
    EXPECT_EQ(row.flashPageBytes, 128u);
    EXPECT_EQ(row.eepromBytes, 1024u);
    EXPECT_EQ(row.eepromPageBytes, 4u);
    EXPECT_EQ(row.fuseCount, 3);
    EXPECT_EQ(row.fuseDefaults, (std::array<uint8_t, 3>{0x62, 0xD9, 0xFF}));
    EXPECT_EQ(row.fuseBits[0][7], "CKDIV8");
    EXPECT_EQ(row.fuseBits[1][4], "WDTON");
    EXPECT_EQ(row.fuseComments[1][4], "Watchdog Timer Always On");
    EXPECT_EQ(row.fuseComments[1][5], "");
    EXPECT_EQ(row.fuseBits[1][2], "BOOTSZ1");  // the same bit number in the low byte is CKSEL2
    EXPECT_EQ(row.fuseBits[0][2], "CKSEL2");
    EXPECT_EQ(row.fuseBits[2][0], "BODLEVEL0");
    EXPECT_EQ(row.fuseBits[2][1], "");
    EXPECT_EQ(row.lockMask, 0x3F);
}

TEST(HeaderScan, ClassicPartsKeepNoSerialFusesAndTheirLockBitsInBitsOneAndTwo) {
    const MacroList m = MacrosOfDump("#define FLASHEND 0x7FF\n#define E2END 0x7F\n#define FUSE_MEMORY_SIZE 1\n"
                                     "#define FUSE_SPIEN (unsigned char)~_BV(5)\n#define FUSE_DEFAULT 0xDF\n"
                                     "#define SIGNATURE_0 0x1E\n#define SIGNATURE_1 0x91\n#define SIGNATURE_2 0x01\n");
    const PartRow row = RowOf({"AT90S2313", "__AVR_AT90S2313__"}, m, {});
    EXPECT_EQ(row.family, Family::Classic);
    EXPECT_EQ(row.flashPageBytes, 0u);
    EXPECT_EQ(row.fuseCount, 0);
    EXPECT_EQ(row.fuseBits[0][5], "");
    EXPECT_EQ(row.lockMask, 0x06);
}

TEST(HeaderScan, PartsWithoutSerialProgrammingAreLeftOut) {
    const MacroList full = MacrosOfDump(kMega328Dump);
    const MacroList mapped = MacrosOfDump(std::string(kMega328Dump) + "#define MAPPED_PROGMEM_START 0x8000\n");
    const MacroList unsigned_ = MacrosOfDump("#define FLASHEND 0x7FF\n");
    struct Case {
        const char* name;
        const MacroList& macros;
        bool excluded;
    } cases[] = {
        {"ATmega328P", full, false}, {"ATxmega128A1", full, true}, {"ATtiny10", full, true},
        {"ATtiny4", full, true},     {"ATtiny40", full, true},     {"ATtiny11", full, true},
        {"ATtiny1634", full, false}, {"ATmega4809", mapped, true}, {"AT90S2333", unsigned_, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExclusionReason({c.name, std::string("__AVR_") + c.name + "__"}, c.macros).empty(), !c.excluded)
            << c.name;
}

TEST(HeaderScan, TableSourceQuotesNamesAndMarksUnusedBits) {
    PartRow row;
    row.name = "ATtest";
    row.fuseCount = 1;
    row.fuseBits[0][0] = "CKSEL0";
    row.fuseComments[0][0] = "Say \"hi\"\\";
    const std::string text = TableSource({row});
    EXPECT_NE(text.find("\"ATtest\""), std::string::npos);
    EXPECT_NE(text.find("{\"CKSEL0\", nullptr"), std::string::npos);
    EXPECT_NE(text.find("\"Say \\\"hi\\\"\\\\\""), std::string::npos);
    EXPECT_EQ(text.find("Generated"), text.find("// Generated") + 3);
}

TEST(HeaderScan, IncludedFilesComeFromTheLineMarkers) {
    const auto files = IncludedFiles("# 1 \"a.h\"\n# 1 \"<built-in>\"\n# 3 \"b.h\" 1\n# 9 \"a.h\" 2\n");
    EXPECT_EQ(files, (std::vector<std::string>{"a.h", "b.h"}));
}

}  // namespace
