#include <gtest/gtest.h>

#include <vector>

#include "DeviceTest.h"
#include "devices/Unit89S8252.h"

namespace kestrin::test {
namespace {

class ByteModeTest : public RecordingRunTest {
protected:
    void SetUp() override {
        RecordingRunTest::SetUp();
        target.Install(driver);
        params.WaitFlash = 4000;
        params.WaitEEPROM = 4500;
    }

    FakeTarget target{FakeTarget::Kind::AT89S8252};
};

TEST_F(ByteModeTest, NothingToDoTouchesNeitherAdapterNorGauge) {
    const std::vector<uint8_t> image{1, 2, 3};
    TProgParams noData = Block(image, 0);
    noData.Data = nullptr;
    TProgParams zero = Block(image, 0);
    zero.Size = 0;
    TProgParams negative = Block(image, -1);
    for (const TProgParams* p : {&noData, &zero, &negative}) EXPECT_EQ(Write89S8252(*p, progress), ProgNoData);
    for (const TProgParams* p : {&zero, &negative}) {
        std::vector<uint8_t> data{9};
        EXPECT_EQ(Read89S8252(*p, progress, data), ProgNoData);
        EXPECT_TRUE(data.empty());
    }
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(progress.Calls.empty());
}

TEST_F(ByteModeTest, SingleByteWriteAndVerifyIsOneRunOfExactCalls) {
    params.SCK = true;
    params.MISO = true;
    const std::vector<uint8_t> image{0x5A};
    EXPECT_EQ(Write89S8252(Block(image, 0x0123, false, true), progress), ProgOk);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "SetLevels 1 0 1", "SetCycleTime 0", "SetReadMode 0", "SetEnables 1 1", "Delay 1000",
                         // The byte written is read back once: a chip that is not
                         // there ends the run here. Then the verify.
                         "SPIW AC 53 00", "SPIW 0A 23 5A", "Delay 4000", "SPIWR 09 23 00", "SPIWR 09 23 00",
                         "Delay 1000", "SetEnables 0 1", "SetLevels 1 0 1"}));
    ASSERT_EQ(progress.Calls.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(progress.Calls.begin(), progress.Calls.begin() + 4),
              (std::vector<std::string>{"Color FF0000", "Progress 0", "Max 0", "Progress 0"}));
    EXPECT_EQ(progress.Calls[6], "Color 008000");
    EXPECT_EQ(progress.Values, (std::vector<int32_t>{0, 0, 0, 1}));
    EXPECT_EQ(progress.Texts.size(), 3u);  // after the byte, after the chunk, at the end
}

TEST_F(ByteModeTest, VerificationReadsInChunksOfFive) {
    std::vector<uint8_t> image(12);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(0xA0 + i);
    EXPECT_EQ(Write89S8252(Block(image, 0x0100, false, true), progress), ProgOk);
    const auto reads = LinesStarting("SPIWR");
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[0], "SPIWR 09 00 00");  // the first byte read back after its write
    EXPECT_EQ(reads[1], "SPIWR 09 00 00 09 01 00 09 02 00 09 03 00 09 04 00");
    EXPECT_EQ(reads[3], "SPIWR 09 0A 00 09 0B 00");
    EXPECT_EQ(LinesStarting("Delay 4000").size(), 12u);
    const std::vector<int32_t> verifySteps(progress.Values.end() - 4, progress.Values.end());
    EXPECT_EQ(verifySteps, (std::vector<int32_t>{0, 5, 10, 12}));
}

TEST_F(ByteModeTest, AddressesRepeatEvery8KB) {
    const struct {
        int32_t address;
        bool eeprom;
        const char* line;
    } cases[] = {
        {0x20FE, true, "SPIW 06 FE 77"}, {0x20FF, true, "SPIW 06 FF 77"}, {0x2100, true, "SPIW 0E 00 77"},
        {0x1FFF, false, "SPIW FA FF 77"}, {0x0000, false, "SPIW 02 00 77"}, {0xFFFF, false, "SPIW FA FF 77"},
    };
    const std::vector<uint8_t> image{0x77};
    for (const auto& c : cases) {
        driver.ClearLog();
        EXPECT_EQ(Write89S8252(Block(image, c.address, c.eeprom), progress), ProgOk);
        const auto writes = LinesStarting("SPIW ");
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[1], c.line) << std::hex << c.address;
        EXPECT_EQ(LinesStarting("Delay " + std::to_string(c.eeprom ? 4500 : 4000)).size(), 1u);
    }
}

TEST_F(ByteModeTest, AnyDifferenceFailsVerification) {
    const std::vector<uint8_t> image{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    for (int stuck : {0x200, 0x206}) {  // the first byte, the last byte
        std::fill(target.Flash.begin(), target.Flash.end(), 0xFF);
        target.StuckFlash = {stuck};
        EXPECT_EQ(Write89S8252(Block(image, 0x200, false, true), progress), ProgVerifyFailed) << stuck;
        EXPECT_EQ(Write89S8252(Block(image, 0x200, false, false), progress), ProgOk) << stuck;
    }
}

TEST_F(ByteModeTest, ReadReturnsTheRangeWithGreenPageSteps) {
    for (size_t i = 0; i < target.EEPROM.size(); ++i) target.EEPROM[i] = static_cast<uint8_t>(i * 3);
    TProgParams p = params;
    p.Size = 7;
    p.StartAddress = 0x07FE;  // runs over the top of the 2 KB E²PROM
    p.EEPROM = true;
    std::vector<uint8_t> data;
    EXPECT_EQ(Read89S8252(p, progress, data), ProgOk);
    const std::vector<uint8_t> expected{target.EEPROM[0x7FE], target.EEPROM[0x7FF], target.EEPROM[0], target.EEPROM[1],
                                        target.EEPROM[2],     target.EEPROM[3],     target.EEPROM[4]};
    EXPECT_EQ(data, expected);
    EXPECT_EQ(LinesStarting("SPIWR").size(), 2u);
    EXPECT_EQ(std::vector<std::string>(progress.Calls.begin(), progress.Calls.begin() + 4),
              (std::vector<std::string>{"Color 008000", "Progress 0", "Max 6", "Text 0,0s"}));
    EXPECT_EQ(progress.Values, (std::vector<int32_t>{0, 5, 7}));
}

}  // namespace
}  // namespace kestrin::test
