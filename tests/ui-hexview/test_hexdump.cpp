// The hex view's arithmetic: hex text to numbers, the size steps, the typing
// rules, the column layout and the file-name rule of saving.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/HexDump.h"

using namespace kestrin;

TEST(HexDump, HexTextToByteKeepsTheLastTwoDigits) {
    const std::vector<std::pair<std::string, uint8_t>> cases = {
        {"", 0xFF},  {"0", 0x00},    {"7", 0x07},   {"41", 0x41},  {"ab", 0xAB},
        {"Ab", 0xAB}, {"FF4", 0xF4}, {"1234", 0x34}, {"00", 0x00}, {"fF", 0xFF},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(HexTextToByte(text), value) << '"' << text << '"';
}

TEST(HexDump, HexTextToIntReadsAllDigitsAndSaturates) {
    const std::vector<std::pair<std::string, int32_t>> cases = {
        {"", 0},           {"0", 0},           {"12", 0x12},          {"1FFFF", 0x1FFFF},
        {"10000", 0x10000}, {"f001", 0xF001}, {"FFFFFFFF", 0x7FFFFFFF}, {"123456789ABC", 0x7FFFFFFF},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(HexTextToInt(text), value) << '"' << text << '"';
}

TEST(HexDump, SizeStepsStayInsideTheBlock) {
    struct Case {
        int32_t size;
        int tag;
        bool up;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {0xF001, 3, true, 0xF001},  // F001 + 1000 exceeds 10000
        {0xF000, 3, true, 0x10000}, // lands exactly on the top
        {0x0005, 1, false, 0x0005}, // 5 - 10 would be negative
        {0x0010, 1, false, 0x0000},
        {0x0000, 0, true, 0x0001},
        {0x0000, 0, false, 0x0000},
        {0x10000, 0, true, 0x10000},
        {0x0123, 2, true, 0x0223},
        {0x0123, 2, false, 0x0023},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SteppedSize(c.size, c.tag, c.up), c.expected)
            << std::hex << c.size << " tag " << c.tag << (c.up ? " up" : " down");
}

TEST(HexDump, SizeTextAndRowLabels) {
    EXPECT_EQ(SizeText(0), "0000");
    EXPECT_EQ(SizeText(0x12), "0012");
    EXPECT_EQ(SizeText(0x10000), "10000");
    EXPECT_EQ(RowLabel(1), "000x");
    EXPECT_EQ(RowLabel(2), "001x");
    EXPECT_EQ(RowLabel(4096), "FFFx");
    EXPECT_EQ(CapSize(0x1FFFF), 0x10000);
    EXPECT_EQ(CapSize(-3), 0);
}

// Blocks beyond 64 KB, for the AVRs with more memory: the limit follows the
// memory, labels grow a digit only when the block needs it.
TEST(HexDump, BlocksBeyond64KB) {
    struct Case {
        int64_t memory;
        int32_t limit;
    };
    for (const Case& c : std::vector<Case>{{0, 0x10000}, {0x3000, 0x10000}, {0x10000, 0x10000},
                                           {0x20000, 0x20000}, {0x40000, 0x40000}, {0x100000, 0x40000}})
        EXPECT_EQ(HexViewLimit(c.memory), c.limit) << std::hex << c.memory;

    struct Digits {
        int32_t size;
        int digits;
    };
    for (const Digits& d : std::vector<Digits>{{0, 4}, {0x10000, 4}, {0x10001, 5}, {0x40000, 5}})
        EXPECT_EQ(AddressDigits(d.size), d.digits) << std::hex << d.size;

    EXPECT_EQ(RowLabel(1, 5), "0000x");
    EXPECT_EQ(RowLabel(0x1E01, 5), "1E00x");
    EXPECT_EQ(RowLabel(0x4000, 5), "3FFFx");
    EXPECT_EQ(RowLabel(0x1001, 4), "000x");  // four digits wrap, as they always did

    EXPECT_EQ(CapSize(0x50000, 0x40000), 0x40000);
    EXPECT_EQ(SteppedSize(0xF800, 3, true, 0x40000), 0x10800);
    EXPECT_EQ(SteppedSize(0x3F800, 3, true, 0x40000), 0x3F800);

    // The wider label column comes out of the separator; the grid still fills the width.
    for (int width : {600, 897, 1400}) {
        const TGridWidths four = GridColumnWidths(width);
        const TGridWidths five = GridColumnWidths(width, 5);
        EXPECT_EQ(five.Label - four.Label, four.Char) << width;
        EXPECT_EQ(five.Label + 16 * five.Hex + five.Separator + 16 * five.Char + 34,
                  four.Label + 16 * four.Hex + four.Separator + 16 * four.Char + 34)
            << width;
    }
}

TEST(HexDump, GridCellsAndRows) {
    EXPECT_EQ(GridDataRows(0), 1);
    EXPECT_EQ(GridDataRows(1), 1);
    EXPECT_EQ(GridDataRows(0x11), 2);
    EXPECT_EQ(GridDataRows(0x10000), 4096);
    EXPECT_EQ(CellOffset(3, 1), 2);
    EXPECT_EQ(CellOffset(20, 1), 2);
    EXPECT_EQ(CellOffset(16, 2), 31);
    EXPECT_EQ(CellOffset(33, 4096), 0xFFFF);
    EXPECT_EQ(CellOffset(kSeparatorColumn, 1), -1);
    EXPECT_EQ(CellOffset(0, 1), -1);
    for (int32_t offset : {0, 2, 15, 16, 0xFFFF}) {
        EXPECT_EQ(CellOffset(HexColumnOf(offset), RowOf(offset)), offset);
        EXPECT_EQ(CellOffset(CharColumnOf(offset), RowOf(offset)), offset);
    }
}

TEST(HexDump, TypingRulesPerColumn) {
    struct Case {
        int column;
        char32_t ch;
        bool passes;
    };
    const std::vector<Case> cases = {
        {1, U'0', true},   {16, U'9', true},  {5, U'a', true},   {5, U'F', true},  {5, U'g', false},
        {5, U'Z', false},  {5, U' ', false},  {5, 13, false},    {5, 8, true},     {17, U'A', false},
        {17, U'1', false}, {17, 13, true},    {17, 8, true},     {18, U'Z', true}, {33, U' ', true},
        {20, 0xE9, true},  {20, 0x20AC, false}, {0, U'1', false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GridKeyPasses(c.column, c.ch), c.passes) << "column " << c.column << " char " << uint32_t(c.ch);
    for (char32_t ch : {U'0', U'9', U'a', U'f', U'A', U'F', char32_t{8}}) EXPECT_TRUE(SizeKeyPasses(ch));
    for (char32_t ch : {U'g', U'G', U'x', U' ', U'-', char32_t{13}}) EXPECT_FALSE(SizeKeyPasses(ch));
}

TEST(HexDump, ColumnsFillTheClientWidthExactly) {
    for (int c : {546, 600, 757, 780, 1000, 1920, 3001}) {
        const TGridWidths w = GridColumnWidths(c);
        const int b = (c - 54) / 54;
        EXPECT_EQ(w.Label, 4 * b);
        EXPECT_EQ(w.Hex, 2 * b);
        EXPECT_EQ(w.Char, b);
        EXPECT_GE(w.Separator, 0);
        EXPECT_EQ(w.Label + 16 * w.Hex + w.Separator + 16 * w.Char + 34, c) << "client width " << c;
    }
    const TButtonWidths b = ButtonWidths(800, 120);
    EXPECT_EQ(b.Button, 113);
    EXPECT_EQ(120 + 5 * b.Button + b.Exit, 800);
}

TEST(HexDump, SaveNamesGetAnExtensionOnlyWhenTheyHaveNone) {
    struct Case {
        std::string name;
        int entry;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/tmp/dump", 2, "/tmp/dump.hex"},         {"/tmp/dump", 3, "/tmp/dump.bin"},
        {"/tmp/dump", 1, "/tmp/dump.bin"},         {"/tmp/dump.dat", 2, "/tmp/dump.dat"},
        {"/tmp/dump.dat", 1, "/tmp/dump.dat"},     {"/tmp/a.b/dump", 2, "/tmp/a.b/dump.hex"},
        {"dump", 2, "dump.hex"},
    };
    for (const auto& c : cases) EXPECT_EQ(WithDefaultExtension(c.name, c.entry), c.expected) << c.name;
}
