// Fuse and lock bits against the virtual adapter: what ends up in the chip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/UnitConfig.h"
#include "devices/FuseBits.h"
#include "devices/Unit89S8253.h"
#include "devices/UnitATmega.h"
#include "devices/UnitATtiny.h"
#include "jobs/ChipCommands.h"
#include "link/SPI.h"
#include "FuseTarget.h"
#include "VirtualChip.h"

namespace kestrin::test {
namespace {

class VirtualFuseTest : public ::testing::Test, public VirtualChip {};

TEST_F(VirtualFuseTest, WrittenBitsAreInTheChipAndReadBack) {
    const struct {
        const char* chip;
        uint8_t type;
        TFuseBits bits;
        std::vector<uint8_t> fuses, lock;  // as the chip stores them
    } cases[] = {
        {"ATmega8", ctATmega, AvrBits("ATmega8", 0xE4, 0xC9), {0xE4, 0xC9}, {0xFF}},
        {"ATtiny2313", ctATtiny, AvrBits("ATtiny2313", 0xE4, 0xDB), {0xE4, 0xDB, 0xFF}, {0xFF}},
        // Fuse3 unprogrammed, Lock1 programmed; Fuse1 stays 0 so the chip keeps talking.
        {"AT89S8253", ctAT89S8253, {0, 0, 0x04, 0x06}, {0xF4}, {0xFE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        Use(c.chip);
        TFuseBits chip;
        EXPECT_EQ(WriteFuseBits(c.type, {}, c.bits, chip), TFuseWrite::Written);
        ReleaseTarget({});
        EXPECT_EQ(vd.Read(VV_FUSES, 0, static_cast<int32_t>(c.fuses.size())), c.fuses);
        EXPECT_EQ(vd.Read(VV_LOCK, 0, 1), c.lock);

        TFuseBits again;
        EXPECT_EQ(ReadFuseBits(c.type, {}, again), TFuseRead::Read);
        EXPECT_EQ(again.FuseLow, c.bits.FuseLow);
        EXPECT_EQ(again.FuseHigh, c.bits.FuseHigh);
        EXPECT_EQ(again.UserFuses, c.bits.UserFuses);
        EXPECT_EQ(again.LockBits, c.bits.LockBits);
        EXPECT_EQ(vd.Log().find("lost while busy"), std::string::npos) << vd.Log();
    }
}

// The adapter goes away between the low and the high fuse byte: the write
// must not count as done, whatever the bytes read afterwards say.
TEST_F(VirtualFuseTest, AWriteThatLosesTheAdapterIsNeverReportedWritten) {
    for (int transfers : {1, 2, 3, 4, 6}) {
        SCOPED_TRACE(transfers);
        Use("ATmega328P");
        Connected = true;
        TFuseBits bits;
        ASSERT_EQ(ReadFuseBits(ctATmega, {}, bits), TFuseRead::Read);
        // Count the transfers from here: handshake, signature, then the bytes.
        Ops.Disconnect();
        ASSERT_EQ(Ops.Connect(0, 1), 0);
        vd.Set("unplug_after_transfers", std::to_string(transfers).c_str());
        bits.FuseHigh = static_cast<uint8_t>(bits.FuseHigh ^ 0x08);  // EESAVE
        TFuseBits chip;
        EXPECT_EQ(WriteFuseBits(ctATmega, {}, bits, chip), TFuseWrite::LinkLost);
        ReleaseTarget({});
        vd.Set("unplug_after_transfers", "0");
    }
}

// Two fuse or lock instructions back to back: the chip is still in the first
// one's write cycle when the second arrives, and ignores it.
TEST_F(VirtualFuseTest, SecondInstructionIsLostWithoutTheWriteTimeBetween) {
    const struct {
        const char* chip;
        Bytes first, second;
        int32_t pause;
        bool secondKept;
    } cases[] = {
        {"ATmega8", {0xAC, 0xA0, 0x00, 0xE4}, {0xAC, 0xA8, 0x00, 0xC9}, 0, false},
        {"ATmega8", {0xAC, 0xA0, 0x00, 0xE4}, {0xAC, 0xA8, 0x00, 0xC9}, kFuseWriteTimeATmega, true},
        {"ATtiny2313", {0xAC, 0xA0, 0x00, 0xE4}, {0xAC, 0xA8, 0x00, 0xDB}, 0, false},
        {"ATtiny2313", {0xAC, 0xA0, 0x00, 0xE4}, {0xAC, 0xA8, 0x00, 0xDB}, kFuseWriteTimeATtiny, true},
        {"AT89S8253", {0xAC, 0x14, 0x00, 0x00}, {0xAC, 0xE6, 0x00, 0x00}, 0, false},
        {"AT89S8253", {0xAC, 0x14, 0x00, 0x00}, {0xAC, 0xE6, 0x00, 0x00}, kFuseWriteTime89S8253, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " pause " + std::to_string(c.pause));
        Use(c.chip);
        const bool avr = c.first[1] == 0xA0;
        ASSERT_EQ(avr ? Handshake(2, 0x53, 20000, 1000) : Handshake(2, 0x53), 1);
        const auto before = vd.Read(avr ? VV_FUSES : VV_LOCK, avr ? 1 : 0, 1);
        Exchange(c.first);
        Ops.Delay(c.pause);
        Exchange(c.second);
        Ops.SetEnables(0, 1);
        const auto after = vd.Read(avr ? VV_FUSES : VV_LOCK, avr ? 1 : 0, 1);
        EXPECT_EQ(after == before, !c.secondKept);
        EXPECT_EQ(vd.Log().find("lost while busy") == std::string::npos, c.secondKept) << vd.Log();
    }
}

// The fuse dialog and kestrin-cli read the runs' outcomes through the jobs:
// Ok only for bits really read or written and read back.
TEST_F(VirtualFuseTest, FuseJobsReportEachEndAsEveryJobDoes) {
    struct Case {
        const char* what;
        const char* option;
        const char* value;
        bool connected;
        TJobResult read;
    };
    const Case cases[] = {
        {"a chip that answers", "", "", true, TJobResult::Ok},
        {"nothing on the connector", "no_target", "1", true, TJobResult::NoDevice},
        {"the adapter pulled out", "unplug_after_transfers", "2", true, TJobResult::NoDevice},
        {"not connected", "", "", false, TJobResult::Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Use("ATmega328P");
        if (*c.option != 0) vd.Set(c.option, c.value);
        Connected = c.connected;
        TFuseBits bits;
        TFuseRead detail = TFuseRead::Read;
        EXPECT_EQ(RunFuseReadJob(ctATmega, {}, bits, detail).Result, c.read);
        EXPECT_EQ(detail == TFuseRead::Read, c.read == TJobResult::Ok);
        ReleaseTarget({});
    }

    // A fuse bit stuck in the chip: written, but read back otherwise.
    Use("ATmega328P");
    Connected = true;
    TFuseBits bits;
    TFuseRead read = TFuseRead::NoAnswer;
    ASSERT_TRUE(RunFuseReadJob(ctATmega, {}, bits, read).Ok());
    vd.Set("stuck_bit", "fuses:0:1:1");
    bits.FuseLow = static_cast<uint8_t>(bits.FuseLow & ~0x02);
    TFuseBits chip;
    TFuseWrite written = TFuseWrite::Written;
    const TJobOutcome outcome = RunFuseWriteJob(ctATmega, {}, bits, chip, written);
    EXPECT_EQ(written, TFuseWrite::Differs);
    EXPECT_EQ(outcome.Result, TJobResult::VerifyFailed);
    EXPECT_EQ(outcome.ExitCode(), 2);
    ReleaseTarget({});
}

}  // namespace
}  // namespace kestrin::test
