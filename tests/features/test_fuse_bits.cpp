// Reading, writing and reading back fuse and lock bits, as the dialog does,
// on the recording driver: the bytes and pauses sent, and the results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FuseTarget.h"
#include "config/UnitConfig.h"
#include "devices/DeviceTest.h"
#include "devices/FuseBits.h"
#include "devices/ProgRun.h"
#include "link/SPI.h"

namespace kestrin::test {
namespace {

class FuseBitsTest : public RecordingRunTest {
protected:
    void SetUp() override {
        RecordingRunTest::SetUp();
        target.Install(driver);
        Connected = true;
    }
    void TearDown() override { Connected = false; }

    FuseTarget target;
};

// The AVRs are sampled before the rising clock edge at the adapter's slow
// clock; the AT89S8253 before the falling one.
std::string ReadModeLine(uint8_t type) { return type == ctAT89S8253 ? "SetReadMode 1" : "SetReadMode 0"; }

const char* const kSignatureRead = "SPIWR 30 00 00 00 30 00 01 00 30 00 02 00";

struct TFamilyCase {
    const char* what;
    uint8_t type;
    const char* part;  // the AVR whose signature the target gives
    int settle, gap;
    TFuseBits bits;
    std::vector<std::string> instructions;  // after the handshake
};

const TFamilyCase kFamilies[] = {
    // The signature first: bits are written only to the part they were read from.
    {"ATtiny", ctATtiny, "ATtiny13", 20000, 1000, AvrBits("ATtiny13", 0x3F, 0xC9),
     {kSignatureRead, "SPIW AC A0 00 3F", "Delay 9000", "SPIW AC A8 00 C9", "Delay 9000", "SPIWR 50 00 00 00",
      "SPIWR 58 08 00 00", "SPIWR 58 00 00 00"}},
    {"ATmega", ctATmega, "ATmega8", 20000, 1000, AvrBits("ATmega8", 0xE4, 0xC9),
     {kSignatureRead, "SPIW AC A0 00 E4", "Delay 9000", "SPIW AC A8 00 C9", "Delay 9000", "SPIWR 50 00 00 00",
      "SPIWR 58 08 00 00", "SPIWR 58 00 00 00"}},
    // Fuse1, Fuse3 and Lock2 ticked.
    {"AT89S8253", ctAT89S8253, "", 50000, 50000, {0, 0, 0x05, 0x02},
     {"SPIW AC 15 00 00", "Delay 4500", "SPIW AC E2 00 00", "Delay 4500", "SPIWR 21 00 00 00", "SPIWR 24 00 00 00"}},
};

TEST_F(FuseBitsTest, WriteSendsBothInstructionsAWriteCycleApartAndReadsThemBack) {
    for (const auto& c : kFamilies) {
        SCOPED_TRACE(c.what);
        driver.ClearLog();
        target = FuseTarget{};
        target.Be(c.part);
        const TLineLevels levels{true, false, true};
        TFuseBits chip;
        EXPECT_EQ(WriteFuseBits(c.type, levels, c.bits, chip), TFuseWrite::Written);

        std::vector<std::string> expected{"SetLevels 1 1 0", "SetCycleTime 0", ReadModeLine(c.type)};
        Append(expected, HandshakeLines(1, true, c.settle, c.gap));
        Append(expected, c.instructions);
        EXPECT_EQ(Log(), expected);
        if (c.type == ctAT89S8253) {
            EXPECT_EQ(target.UserFuses, 0x05);
            EXPECT_EQ(target.LockBits, 0x02);
            EXPECT_EQ(chip.UserFuses, 0x05);
            EXPECT_EQ(chip.LockBits, 0x02);
        } else {
            EXPECT_EQ(target.FuseLow, c.bits.FuseLow);
            EXPECT_EQ(target.FuseHigh, c.bits.FuseHigh);
        }
    }
}

TEST_F(FuseBitsTest, WriteFailures) {
    const struct {
        const char* what;
        uint8_t type;
        bool answers;
        TFuseBits bits;
        TFuseWrite result;
        bool anySent;
    } cases[] = {
        {"ATmega without answer", ctATmega, false, AvrBits("ATmega8", 0xE1, 0xD9), TFuseWrite::NoAnswer, true},
        {"AT89S8253 without answer", ctAT89S8253, false, {0, 0, 0x0A, 0x07}, TFuseWrite::NoAnswer, true},
        // SPIEN cannot be changed over the serial interface.
        {"ATmega, fixed bit", ctATmega, true, AvrBits("ATmega8", 0xE1, 0xF9), TFuseWrite::Differs, true},
        // Read from an ATmega328P, but an ATmega8 answers now.
        {"ATmega, another chip", ctATmega, true, AvrBits("ATmega328P", 0xE1, 0xD9), TFuseWrite::OtherChip, true},
        // Never read: no part to write to.
        {"ATmega, bits never read", ctATmega, true, {0xE1, 0xD9, 0, 0}, TFuseWrite::OtherChip, true},
        // Lock2 is programmed already: only a chip erase clears it.
        {"AT89S8253, programmed lock bit", ctAT89S8253, true, {0, 0, 0x0A, 0x07}, TFuseWrite::Differs, true},
        {"AT89S52", ctAT89S52, true, {}, TFuseWrite::NoWriter, false},
        {"AT89S8252", ctAT89S8252, true, {}, TFuseWrite::NoWriter, false},
        {"AT90xx", ctAT90xx, true, {}, TFuseWrite::NoWriter, false},
        {"AT89S53", ctAT89S53, true, {}, TFuseWrite::NoWriter, false},
        {"unknown type", 7, true, {}, TFuseWrite::NoWriter, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        driver.ClearLog();
        target = FuseTarget{};
        target.Answers = c.answers;
        target.FixedHigh = 0x20;
        target.LockBits = 0x05;
        TFuseBits chip{0x11, 0x22, 0x03, 0x04};
        EXPECT_EQ(WriteFuseBits(c.type, {}, c.bits, chip), c.result);
        EXPECT_EQ(!Log().empty(), c.anySent);
        EXPECT_EQ(LinesStarting("SPIW ").empty(), c.result != TFuseWrite::Differs);
        if (c.result == TFuseWrite::Differs) {
            // chip holds what the target reads back, not what was written.
            EXPECT_EQ(chip.FuseHigh, c.type == ctATmega ? 0xD9 : c.bits.FuseHigh);
            EXPECT_EQ(chip.LockBits, c.type == ctAT89S8253 ? 0x05 : c.bits.LockBits);
        }
    }
}

TEST_F(FuseBitsTest, ReadOpensAReleasedRunOnlyWhileConnected) {
    target.FuseLow = 0x9F;
    target.FuseHigh = 0xC1;
    target.UserFuses = 0x06;
    target.LockBits = 0x03;
    const struct {
        const char* what;
        uint8_t type;
        bool connected, answers;
        TFuseRead result;
        TFuseBits expected;
        int settle, gap;
    } cases[] = {
        {"ATtiny", ctATtiny, true, true, TFuseRead::UnknownPart, {0x55, 0x55, 0x55, 0x55}, 20000, 1000},
        {"ATmega", ctATmega, true, true, TFuseRead::Read, {0x9F, 0xC1, 0x55, 0x55}, 20000, 1000},
        {"AT89S8253", ctAT89S8253, true, true, TFuseRead::Read, {0x55, 0x55, 0x06, 0x03}, 50000, 50000},
        {"ATmega without answer", ctATmega, true, false, TFuseRead::NoAnswer, {0x55, 0x55, 0x55, 0x55}, 20000, 1000},
        {"AT89S8253 without answer", ctAT89S8253, true, false, TFuseRead::NoAnswer, {0x55, 0x55, 0x55, 0x55}, 50000,
         50000},
        {"not connected", ctATmega, false, true, TFuseRead::NotConnected, {0x55, 0x55, 0x55, 0x55}, 0, 0},
        {"AT89S52", ctAT89S52, true, true, TFuseRead::NoWriter, {0x55, 0x55, 0x55, 0x55}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        driver.ClearLog();
        Connected = c.connected;
        target.Answers = c.answers;
        TFuseBits bits{0x55, 0x55, 0x55, 0x55};
        EXPECT_EQ(ReadFuseBits(c.type, {false, true, false}, bits), c.result);
        EXPECT_EQ(bits.FuseLow, c.expected.FuseLow);
        EXPECT_EQ(bits.FuseHigh, c.expected.FuseHigh);
        EXPECT_EQ(bits.UserFuses, c.expected.UserFuses);
        EXPECT_EQ(bits.LockBits, c.expected.LockBits);
        if (c.settle == 0) {
            EXPECT_TRUE(Log().empty());
            continue;
        }
        std::vector<std::string> expected{"SetLevels 0 0 1", "SetCycleTime 0", ReadModeLine(c.type)};
        Append(expected, HandshakeLines(c.answers ? 1 : kHandshakeAttempts, c.answers, c.settle, c.gap));
        if (c.answers && c.type == ctAT89S8253) Append(expected, {"SPIWR 21 00 00 00", "SPIWR 24 00 00 00"});
        if (c.answers && c.type != ctAT89S8253) Append(expected, {kSignatureRead});
        // An ATmega8 answers: an ATtiny profile reads no bits from it.
        if (c.answers && c.type == ctATmega)
            Append(expected, {"SPIWR 50 00 00 00", "SPIWR 58 08 00 00", "SPIWR 58 00 00 00"});
        Append(expected, {"Delay 1000", "SetEnables 0 1", "SetLevels 0 0 1"});
        EXPECT_EQ(Log(), expected);
    }
}

}  // namespace
}  // namespace kestrin::test
