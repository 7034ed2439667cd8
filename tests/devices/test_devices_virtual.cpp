// The routines against the virtual adapter: what ends up in the chip.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devices/Programmer.h"
#include "devices/Unit89S8252.h"
#include "devices/Unit89S8253.h"
#include "link/SPI.h"
#include "VirtualRunTest.h"

namespace kestrin::test {
namespace {

// The chips with the wait times of their profiles.
const VirtualChip kAT89S8252{"AT89S8252", 0, 4000, 4000, -1};
const VirtualChip kAT89S8253{"AT89S8253", 4, 4500, 4500, 500000};
const VirtualChip kAT89S52{"AT89S52", 5, 4500, -1, 500000};

TEST_F(VirtualRunTest, WrittenImageReadsBackWithErasedCellsAround) {
    const struct {
        const VirtualChip& chip;
        bool eeprom;
        int32_t start, size;
    } cases[] = {
        {kAT89S8252, false, 0x0123, 300}, {kAT89S8252, true, 0x07F0, 16},  {kAT89S8253, false, 0x0010, 100},
        {kAT89S8253, false, 0x2F00, 256}, {kAT89S8253, true, 0x0005, 70},  {kAT89S52, false, 0x0110, 0x200},
        // Reads long enough to be collected in several batches of queued transfers.
        {kAT89S8252, false, 0x0003, 2051}, {kAT89S8253, false, 0x0000, 12288}, {kAT89S52, false, 0x0000, 8192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip.name) + (c.eeprom ? " E²PROM " : " Flash ") + std::to_string(c.start));
        Use(c.chip);
        const auto image = Pattern(static_cast<size_t>(c.size), static_cast<uint8_t>(c.start));
        EXPECT_EQ(Write(Block(image, c.start, c.eeprom)), ProgOk);

        const int32_t space = c.eeprom ? VV_EEPROM : VV_FLASH;
        auto expected = std::vector<uint8_t>(static_cast<size_t>(vd.Size(space)), 0xFF);
        std::copy(image.begin(), image.end(), expected.begin() + c.start);
        EXPECT_EQ(vd.Read(space, 0, vd.Size(space)), expected);

        std::vector<uint8_t> data;
        EXPECT_EQ(ReadByType(c.chip.type, Block(image, c.start, c.eeprom), progress, data), ProgOk);
        EXPECT_EQ(data, image);
    }
}

TEST_F(VirtualRunTest, StuckBitFailsVerification) {
    for (const VirtualChip* chip : {&kAT89S8252, &kAT89S8253, &kAT89S52}) {
        SCOPED_TRACE(chip->name);
        Use(*chip, {{"stuck_bit", "flash:0x0123:3:0"}});
        std::vector<uint8_t> image(64, 0xFF);  // bit 3 of 0123h is to be 1
        EXPECT_EQ(Write(Block(image, 0x0100, false)), ProgVerifyFailed);
        EXPECT_EQ(Write(Block(image, 0x0100, false, false)), ProgOk);
    }
}

TEST_F(VirtualRunTest, TargetThatDoesNotAnswer) {
    const auto image = Pattern(40, 1);
    const struct {
        const VirtualChip& chip;
        const char* option;
        const char* value;
        bool verify;
        ProgResult result;
    } cases[] = {
        {kAT89S8253, "no_target", "1", false, ProgNoDevice},
        {kAT89S52, "no_target", "1", true, ProgNoDevice},
        // Byte mode has no answer to its enable: the first byte read back tells.
        {kAT89S8252, "no_target", "1", false, ProgNoDevice},
        {kAT89S8252, "no_target", "1", true, ProgNoDevice},
        {kAT89S8253, "answer_from_attempt", "32", true, ProgOk},
        {kAT89S8253, "answer_from_attempt", "33", true, ProgNoDevice},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip.name) + " " + c.option + "=" + c.value);
        Use(c.chip, {{c.option, c.value}});
        EXPECT_EQ(Write(Block(image, 0, false, c.verify)), c.result);
    }
    Use(kAT89S8253, {{"no_target", "1"}});
    std::vector<uint8_t> data;
    EXPECT_EQ(ReadByType(kAT89S8253.type, Block(image, 0, true), progress, data), ProgNoDevice);
    EXPECT_TRUE(data.empty());
}

TEST_F(VirtualRunTest, BackupKeepsTheOtherMemoryAcrossTheErase) {
    for (bool eeprom : {false, true}) {
        for (bool backup : {true, false}) {
            SCOPED_TRACE(std::string(eeprom ? "E²PROM" : "Flash") + (backup ? " with" : " without") + " backup");
            Use(kAT89S8253);
            const int32_t other = eeprom ? VV_FLASH : VV_EEPROM;
            const auto before = Pattern(static_cast<size_t>(vd.Size(other)), 0x5C);
            ASSERT_EQ(vd.Write(other, 0, before), vd.Size(other));
            const auto image = Pattern(100, 7);
            TProgParams p = Block(image, 0x40, eeprom);
            p.Backup = backup;
            TRunReport report;
            p.Report = &report;
            EXPECT_EQ(Write(p), ProgOk);
            const auto after = vd.Read(other, 0, vd.Size(other));
            if (backup) {
                EXPECT_EQ(after, before);
            } else {
                EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](uint8_t b) { return b == 0xFF; }));
            }
            EXPECT_FALSE(report.PendingBackup.has_value());
        }
    }
}

}  // namespace
}  // namespace kestrin::test
