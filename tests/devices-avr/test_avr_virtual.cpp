// The AVR and AT89S53 routines and the detection against the virtual
// adapter: what ends up in the chip, and what the routines see of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/UnitConfig.h"
#include "devices/Detect.h"
#include "devices/Programmer.h"
#include "link/SPI.h"
#include "VirtualRunTest.h"

namespace kestrin::test {
namespace {

// Wait times as the profiles of these types load; the Flash wait is the
// dialog's shortest, which the routines must not take at its word.
const VirtualChip kAT90S2313{"AT90S2313", ctAT90xx, 100, 4000, 10000};
const VirtualChip kATtiny2313{"ATtiny2313", ctATtiny, 100, 4500, 10000};
const VirtualChip kATtiny13{"ATtiny13", ctATtiny, 100, 4500, 10000};
const VirtualChip kATmega8{"ATmega8", ctATmega, 100, 9000, 10000};
const VirtualChip kATmega328P{"ATmega328P", ctATmega, 100, 9000, 10000};
const VirtualChip kAT89S53{"AT89S53", ctAT89S53, 100, -1, -1};
const VirtualChip* const kParts[] = {&kAT90S2313, &kATtiny2313, &kATtiny13, &kATmega8, &kATmega328P, &kAT89S53};

class AvrVirtualTest : public VirtualRunTest {
protected:
    std::vector<uint8_t> Memory(bool eeprom) {
        const int32_t space = eeprom ? VV_EEPROM : VV_FLASH;
        return vd.Read(space, 0, vd.Size(space));
    }
};

bool HasEEPROM(const VirtualChip& chip) { return chip.type != ctAT89S53; }

TEST_F(AvrVirtualTest, WrittenImageReadsBackAndTheRestOfTheMemoryIsErased) {
    for (const VirtualChip* chip : kParts) {
        const VirtualChip& part = *chip;
        for (bool eeprom : {false, true}) {
            if (eeprom && !HasEEPROM(part)) continue;
            SCOPED_TRACE(std::string(part.name) + (eeprom ? " E²PROM" : " Flash"));
            Use(part);
            // Across page boundaries, from an odd address, to an odd end.
            const int32_t start = eeprom ? 3 : 0x0101;
            const auto image = Pattern(eeprom ? 37 : 300, static_cast<uint8_t>(part.type));
            EXPECT_EQ(Write(Block(image, start, eeprom)), ProgOk);

            auto expected = std::vector<uint8_t>(Memory(eeprom).size(), 0xFF);
            std::copy(image.begin(), image.end(), expected.begin() + start);
            EXPECT_EQ(Memory(eeprom), expected);

            std::vector<uint8_t> data;
            EXPECT_EQ(ReadByType(part.type, Block(image, start, eeprom), progress, data), ProgOk);
            EXPECT_EQ(data, image);
        }
    }
}

TEST_F(AvrVirtualTest, AFlashWriteErasesTheChipAndAnE2promWriteKeepsTheFlash) {
    for (const VirtualChip* chip : kParts) {
        const VirtualChip& part = *chip;
        if (!HasEEPROM(part)) continue;
        SCOPED_TRACE(part.name);
        Use(part);
        const auto flash = Pattern(64, 1);
        const auto eeprom = Pattern(16, 2);
        EXPECT_EQ(Write(Block(flash, 0, false)), ProgOk);
        EXPECT_EQ(Write(Block(eeprom, 0, true)), ProgOk);
        // An E²PROM write leaves the Flash alone...
        EXPECT_TRUE(std::equal(flash.begin(), flash.end(), Memory(false).begin()));
        // ...and a Flash write starts from an erased chip: bits only a page write could clear are set again.
        const auto other = Pattern(64, 9);
        EXPECT_EQ(Write(Block(other, 0, false)), ProgOk);
        EXPECT_TRUE(std::equal(other.begin(), other.end(), Memory(false).begin()));
    }
}

TEST_F(AvrVirtualTest, StuckBitFailsVerificationAndPassesUnverified) {
    for (const VirtualChip* chip : kParts) {
        const VirtualChip& part = *chip;
        for (bool eeprom : {false, true}) {
            if (eeprom && !HasEEPROM(part)) continue;
            SCOPED_TRACE(std::string(part.name) + (eeprom ? " E²PROM" : " Flash"));
            Use(part, {{"stuck_bit", std::string(eeprom ? "eeprom" : "flash") + ":0x0021:3:0"}});
            const std::vector<uint8_t> image(40, 0x0F);  // bit 3 of 0021h is to be 1
            EXPECT_EQ(Write(Block(image, 0x0010, eeprom)), ProgVerifyFailed);
            EXPECT_EQ(Write(Block(image, 0x0010, eeprom, false)), ProgOk);
        }
    }
}

TEST_F(AvrVirtualTest, WhatTheRoutinesRefuseLeavesTheChipUntouched) {
    const std::vector<uint8_t> two{1, 2};
    const struct {
        const char* what;
        const VirtualChip& part;
        uint8_t type;  // the routine called
        std::vector<std::pair<std::string, std::string>> options;
        std::vector<uint8_t> signature;  // written into the chip first when not empty
        int32_t start;
        ProgResult result;
    } cases[] = {
        {"unknown signature", kATtiny13, ctATtiny, {}, {0x1E, 0x99, 0x99}, 0, ProgNoDevice},
        {"part of another family", kATtiny13, ctATmega, {}, {}, 0, ProgNoDevice},
        {"beyond the attached part", kATtiny13, ctATtiny, {}, {}, 0x03FF, ProgNoData},
        {"nothing attached", kATtiny13, ctATtiny, {{"no_target", "1"}}, {}, 0, ProgNoDevice},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Use(c.part, c.options);
        if (!c.signature.empty()) {
            ASSERT_EQ(vd.Write(VV_SIGNATURE, 0, c.signature), 3);
        }
        const auto eeprom = Pattern(64, 5);
        ASSERT_EQ(vd.Write(VV_EEPROM, 0, eeprom), 64);
        const auto flash = Memory(false);
        EXPECT_EQ(WriteByType(c.type, Block(two, c.start, false), progress), c.result);
        EXPECT_EQ(Memory(false), flash);
        EXPECT_EQ(Memory(true), eeprom);  // no erase either
        std::vector<uint8_t> data;
        EXPECT_EQ(ReadByType(c.type, Block(two, c.start, false), progress, data), c.result);
        EXPECT_TRUE(data.empty());
    }
}

TEST_F(AvrVirtualTest, DetectNamesEachPartThatHasASignature) {
    const struct {
        const char* chip;
        TDetected::TState state;
        uint8_t type;
        const char* text;
    } cases[] = {
        {"AT90S2313", TDetected::TState::Known, ctAT90xx, "AT90S2313 (AT90xx)"},
        {"ATtiny2313", TDetected::TState::Known, ctATtiny, "ATtiny2313 (ATtiny)"},
        {"ATtiny13", TDetected::TState::Known, ctATtiny, "ATtiny13 (ATtiny)"},
        {"ATmega8", TDetected::TState::Known, ctATmega, "ATmega8 (ATmega)"},
        {"ATmega328P", TDetected::TState::Known, ctATmega, "ATmega328P (ATmega)"},
        {"AT89S8253", TDetected::TState::Known, ctAT89S8253, "AT89S8253 (AT89S8253)"},
        {"AT89S52", TDetected::TState::Known, ctAT89S52, "AT89S52 (AT89S52)"},
        // No serial signature: only the byte-mode handshake tells they are there.
        {"AT89S8252", TDetected::TState::Silent, ctAT89S8252, "AT89S8252 does not report a signature"},
        {"AT89S53", TDetected::TState::Silent, ctAT89S8252, "AT89S8252 does not report a signature"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        vd.ResetAll();
        vd.Set("chip", c.chip);
        ASSERT_EQ(Ops.Connect(0, 1), 0);
        const TDetected d = DetectController(false, false, false);
        EXPECT_EQ(d.State, c.state);
        EXPECT_EQ(d.Type, c.type);
        EXPECT_EQ(DetectedText(d), c.text);
        EXPECT_FALSE(vd.Log().empty());
        // The probes write nothing.
        EXPECT_EQ(vd.Log().find("write"), std::string::npos);
        EXPECT_EQ(vd.Log().find("erase"), std::string::npos);
    }
}

// The probe of a profile's family alone finds that family's parts and tells
// an empty socket quicker than the whole detection.
TEST_F(AvrVirtualTest, FamilyProbeFindsItsPartsAndAnEmptySocketQuickly) {
    const struct {
        const char* chip;
        uint8_t profileType;
        TDetected::TState state;
        const char* name;
    } cases[] = {
        {"ATmega8", ctATmega, TDetected::TState::Known, "ATmega8"},
        {"ATtiny13", ctATtiny, TDetected::TState::Known, "ATtiny13"},
        {"AT90S2313", ctAT90xx, TDetected::TState::Known, "AT90S2313"},
        {"AT89S8253", ctAT89S8253, TDetected::TState::Known, "AT89S8253"},
        {"AT89S52", ctAT89S52, TDetected::TState::Known, "AT89S52"},
        {"AT89S8252", ctAT89S8252, TDetected::TState::Silent, "AT89S8252"},
        {"AT89S53", ctAT89S53, TDetected::TState::Silent, "AT89S8252"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        for (const bool empty : {false, true}) {
            vd.ResetAll();
            vd.Set("chip", c.chip);
            vd.Set("no_target", empty ? "1" : "0");
            ASSERT_EQ(Ops.Connect(0, 1), 0);
            const int64_t before = vd.TimeMicros();
            const TDetected d = ProbeFamily(c.profileType, false, false, false);
            const int64_t probe = vd.TimeMicros() - before;
            EXPECT_EQ(d.State, empty ? TDetected::TState::Nothing : c.state);
            if (!empty) {
                EXPECT_EQ(d.Name, c.name);
            } else {
                const int64_t start = vd.TimeMicros();
                EXPECT_EQ(DetectController(false, false, false).State, TDetected::TState::Nothing);
                EXPECT_LT(probe, vd.TimeMicros() - start);
            }
        }
    }
}

TEST_F(AvrVirtualTest, DetectTellsAnUnknownSignatureFromAnEmptySocket) {
    Use(kATmega328P, {{"no_target", "1"}});
    EXPECT_EQ(DetectController(false, false, false).State, TDetected::TState::Nothing);

    Use(kATmega328P);
    ASSERT_EQ(vd.Write(VV_SIGNATURE, 0, {0x1E, 0x95, 0x99}), 3);
    const TDetected d = DetectController(false, false, false);
    EXPECT_EQ(d.State, TDetected::TState::Unknown);
    EXPECT_EQ(DetectedText(d), "unknown signature 1E 95 99");

    // Lines set up for another board: the probes get no sense out of the target.
    Use(kATmega328P, {{"wire_sck_inverted", "1"}});
    EXPECT_NE(DetectController(false, false, false).State, TDetected::TState::Known);
    EXPECT_EQ(DetectController(true, false, false).Name, "ATmega328P");
}


// Long enough for the read to be collected in many batches of queued transfers.
TEST_F(AvrVirtualTest, LongReadsComeBackWholeAndInOrder) {
    for (const bool eeprom : {false, true}) {
        SCOPED_TRACE(eeprom ? "E²PROM" : "Flash");
        Use(kATmega328P);
        const int32_t start = eeprom ? 1 : 0x0101;
        const auto image = Pattern(eeprom ? 1000 : 9000, 0x3C);
        EXPECT_EQ(Write(Block(image, start, eeprom)), ProgOk);
        std::vector<uint8_t> data;
        EXPECT_EQ(ReadByType(kATmega328P.type, Block(image, start, eeprom), progress, data), ProgOk);
        EXPECT_EQ(data, image);
    }
}

}  // namespace
}  // namespace kestrin::test

namespace kestrin::test {
namespace {

// The cycle settings a run gave the adapter, in order.
std::vector<std::string> CycleSettings(const std::string& log) {
    std::vector<std::string> out;
    for (size_t at = log.find("SetCycleTime "); at != std::string::npos; at = log.find("SetCycleTime ", at + 1))
        out.push_back(log.substr(at + 13, log.find_first_of("\r\n", at) - at - 13));
    return out;
}

TEST_F(AvrVirtualTest, TheTargetClockSetsTheSpiClockOnlyWhereTheChipCanFollow) {
    const struct {
        const char* what;
        VirtualChip part;
        int32_t targetClock;
        std::vector<uint8_t> lowFuse;  // written into the chip first when not empty
        std::vector<std::string> cycles;
        const char* targetKhz = "0";   // the chip's real clock (0: follows any)
    } cases[] = {
        {"not named: the slow clock as ever", kATmega328P, 0, {}, {"0"}},
        {"named 16 MHz: quarter-microsecond phases", kATmega328P, 16, {}, {"0", "260"}},
        {"named 16 MHz, the chip at 16 MHz", kATmega328P, 16, {}, {"0", "260"}, "16000"},
        {"named 8 MHz", kATmega328P, 8, {}, {"0", "1"}},
        {"named 1 MHz: phases over 2 µs", kATmega328P, 1, {}, {"0", "5"}},
        {"auto, factory fuses (8 MHz RC divided by 8)", kATmega328P, -1, {}, {"0", "5"}},
        {"auto, 8-16 MHz crystal", kATmega328P, -1, {0xFF}, {"0", "1"}},
        {"auto, 3-8 MHz crystal", kATmega328P, -1, {0xFD}, {"0", "2"}},
        {"auto, 8-16 MHz crystal divided by 8", kATmega328P, -1, {0x7F}, {"0", "5"}},
        {"auto, 3-8 MHz crystal divided by 8: nothing faster than the slow clock", kATmega328P, -1, {0x7D}, {"0"}},
        {"auto, external clock", kATmega328P, -1, {0xE0}, {"0"}},
        {"auto, ATmega8 at its 8 MHz RC oscillator", kATmega8, -1, {0xE4}, {"0", "1"}},
        {"auto, ATmega8 factory fuses (1 MHz RC)", kATmega8, -1, {}, {"0", "5"}},
        {"auto, fuses that overstate the clock: the signature decides", kATmega328P, -1, {0xFF}, {"0", "1", "0"},
         "1000"},
        {"auto, fuses right about a 16 MHz crystal", kATmega328P, -1, {0xFF}, {"0", "1"}, "16000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Use(c.part, {{"target_khz", c.targetKhz}});
        if (!c.lowFuse.empty()) {
            ASSERT_EQ(vd.Write(VV_FUSES, 0, c.lowFuse), 1);
        }
        const auto image = Pattern(300, 9);
        TProgParams params = Block(image, 0x100, false);
        params.TargetClock = c.targetClock;
        vd.ClearLog();
        EXPECT_EQ(Write(params), ProgOk);
        EXPECT_EQ(CycleSettings(vd.AdapterLog()), c.cycles);
        std::vector<uint8_t> data;
        EXPECT_EQ(ReadByType(c.part.type, params, progress, data), ProgOk);
        EXPECT_EQ(data, image);
    }
}

}  // namespace
}  // namespace kestrin::test
