// The AVR and AT89S53 routines against the recording driver: the exact
// instructions of a run, and what is refused before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AvrRunTest.h"
#include "devices/DeviceTable.h"
#include "devices/UnitAT89S53.h"
#include "devices/UnitAvr.h"

namespace kestrin::test {
namespace {

// The instructions that load one Flash page: low and high byte of every word.
std::vector<uint8_t> PageLoads(const std::vector<uint8_t>& page) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < page.size(); ++i) {
        const std::vector<uint8_t> load{static_cast<uint8_t>(i % 2 ? 0x48 : 0x40), 0x00, static_cast<uint8_t>(i / 2), page[i]};
        out.insert(out.end(), load.begin(), load.end());
    }
    return out;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(AvrRunTest, OneWritePerFamilySendsExactlyTheseInstructions) {
    std::vector<uint8_t> m328Page(128, 0xFF);
    m328Page[2] = 0x11, m328Page[3] = 0x22, m328Page[4] = 0x33;
    std::vector<uint8_t> m8Page(64, 0xFF);
    m8Page[1] = 0x34;
    std::vector<uint8_t> m2560Page(256, 0xFF);
    m2560Page[0] = 0x01;

    std::vector<std::string> m328Body{"SPIW AC 80 00 00", "SPIWR F0 00 00 00"};
    Append(m328Body, CallLines("SPIW", Cat(PageLoads(m328Page), {0x4C, 0x00, 0x80, 0x00})));
    m328Body.push_back("SPIWR F0 00 00 00");
    std::vector<std::string> m8Body{"SPIW AC 80 00 00", "Delay 9000"};
    Append(m8Body, CallLines("SPIW", Cat(PageLoads(m8Page), {0x4C, 0x00, 0x20, 0x00})));
    m8Body.push_back("SPIWR 28 00 20 00");  // polled on the byte that is not FF
    std::vector<std::string> m2560Body{"SPIW AC 80 00 00", "SPIWR F0 00 00 00"};
    Append(m2560Body, CallLines("SPIW", Cat(Cat({0x4D, 0x00, 0x00, 0x00}, PageLoads(m2560Page)), {0x4C, 0x00, 0x00, 0x00})));
    m2560Body.push_back("SPIWR F0 00 00 00");
    std::vector<std::string> s2313FlashBody{"SPIW AC 80 00 00", "Delay 20000", "SetEnables 0 1", "Delay 1000"};
    Append(s2313FlashBody, HandshakeLines(1, true, 20000, 1000));
    Append(s2313FlashBody, {"SPIW 48 00 08 5A", "SPIWR 28 00 08 00"});

    const struct {
        const char* what;
        std::array<uint8_t, 3> signature;
        TWrite write;
        int32_t start;
        std::vector<uint8_t> image;
        bool eeprom;
        std::vector<std::string> body;  // between the signature read and the closing
    } cases[] = {
        {"ATmega328P Flash page", kSigATmega328P, WriteATmega, 0x0102, {0x11, 0x22, 0x33}, false, m328Body},
        {"ATmega8 Flash page without busy poll", kSigATmega8, WriteATmega, 0x0040, {0xFF, 0x34}, false, m8Body},
        {"ATmega2560 Flash page names its extended address", kSigATmega2560, WriteATmega, 0, {0x01}, false, m2560Body},
        {"ATtiny13 E²PROM page", kSigATtiny13, WriteATtiny, 5, {0xA1, 0xB2, 0xC3}, true,
         {"SPIW C1 00 01 A1 C1 00 02 B2 C1 00 03 C3 C2 00 04 00", "SPIWR F0 00 00 00"}},
        {"ATmega8 E²PROM byte", kSigATmega8, WriteATmega, 0x01FF, {0x12}, true, {"SPIW C0 01 FF 12", "SPIWR A0 01 FF 00"}},
        {"AT90S2313 Flash byte", kSigAT90S2313, WriteAT90xx, 0x0011, {0x5A}, false, s2313FlashBody},
        {"AT90S2313 E²PROM byte", kSigAT90S2313, WriteAT90xx, 0x0010, {0x77}, true, {"SPIW C0 00 10 77", "SPIWR A0 00 10 00"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Target(c.signature).ByteMode = c.write == WriteAT90xx;
        EXPECT_EQ(c.write(Block(c.image, c.start, c.eeprom), progress), ProgOk);
        std::vector<std::string> expected = Opening();
        Append(expected, c.body);
        Append(expected, Closing());
        EXPECT_EQ(Log(), expected);
    }
    // The same page spelled out: word 0 low and high, word 1 low and high, ...
    EXPECT_EQ(m328Body[2], "SPIW 40 00 00 FF 48 00 00 FF 40 00 01 11 48 00 01 22");
    EXPECT_EQ(m328Body[m328Body.size() - 2], "SPIW 4C 00 80 00");
}

TEST_F(AvrRunTest, AT89S53InstructionsCarryAddressBit13InBitTwo) {
    const struct {
        int32_t address;
        const char* write;
        const char* read;
    } cases[] = {
        {0x0000, "SPIW 02 00 5A", "SPIWR 01 00 00"}, {0x1FFF, "SPIW FA FF 5A", "SPIWR F9 FF 00"},
        {0x2000, "SPIW 06 00 5A", "SPIWR 05 00 00"}, {0x2ABC, "SPIW 56 BC 5A", "SPIWR 55 BC 00"},
        {0x2FFF, "SPIW 7E FF 5A", "SPIWR 7D FF 00"},
    };
    params.WaitFlash = 1000;  // below the 2.5 ms a write takes
    const std::vector<uint8_t> image{0x5A};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        driver.Reset();
        TProgParams p = Block(image, c.address);
        p.Verify = true;
        Write89S53(p, progress);
        EXPECT_EQ(Log(), (std::vector<std::string>{"SetLevels 0 0 0", "SetCycleTime 0", "SetReadMode 0", "SetEnables 1 1",
                                                   "Delay 1000", "SPIW AC 53 00", c.write, "Delay 2500", c.read,
                                                   "Delay 1000", "SetEnables 0 1", "SetLevels 0 0 0"}));
    }
}

TEST_F(AvrRunTest, BlocksNoPartOfTheFamilyHoldsAreRefusedBeforeAnythingIsSent) {
    const auto image = std::vector<uint8_t>(8, 0x42);
    // The family's largest part, from the generated table, sets each limit.
    const int32_t tinyFlash = LargestMemory(ctATtiny, false);
    const int32_t tinyEEPROM = LargestMemory(ctATtiny, true);
    const int32_t megaEEPROM = LargestMemory(ctATmega, true);
    const int32_t classicFlash = LargestMemory(ctAT90xx, false);
    const std::vector<TRefusedBlock> cases = {
        {"ATtiny no data", WriteATtiny, nullptr, 0, 4, false, true},
        {"ATtiny size 0", WriteATtiny, ReadATtiny, 0, 0, false, false},
        {"ATtiny negative start", WriteATtiny, ReadATtiny, -2, 4, false, false},
        {"ATtiny Flash past its largest", WriteATtiny, ReadATtiny, tinyFlash - 1, 2, false, false},
        {"ATtiny E²PROM past its largest", WriteATtiny, ReadATtiny, tinyEEPROM - 2, 3, true, false},
        {"AT90xx Flash past its largest", WriteAT90xx, ReadAT90xx, classicFlash, 1, false, false},
        {"ATmega E²PROM past its largest", WriteATmega, ReadATmega, megaEEPROM - 1, 2, true, false},
        {"ATmega start near the top of int32", WriteATmega, ReadATmega, 0x7FFFFFFF, 2, false, false},
        {"AT89S53 E²PROM", Write89S53, Read89S53, 0, 4, true, false},
        {"AT89S53 Flash past 12 KB", Write89S53, Read89S53, 0x2FFF, 2, false, false},
        {"AT89S53 negative start", Write89S53, Read89S53, -1, 2, false, false},
    };
    Target(kSigATtiny13);
    ExpectRefused(image, cases);
}

// Lines that would change the chip: erase, Flash byte or page, E²PROM byte or page.
std::vector<std::string> Writes(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const auto& line : log)
        for (const char* op : {"SPIW AC 80", "SPIW 40", "SPIW 48", "SPIW 4C", "SPIW C0", "SPIW C1", "SPIW C2"})
            if (line.rfind(op, 0) == 0) out.push_back(line);
    return out;
}

TEST_F(AvrRunTest, PartsThatAreNotThereOrTooSmallAreRefusedWithNothingWritten) {
    const std::vector<uint8_t> image{1, 2};
    const struct {
        const char* what;
        std::array<uint8_t, 3> signature;
        bool echoes;
        TWrite write;
        TRead read;
        int32_t start;
        bool eeprom;
        ProgResult result;
        bool signatureRead;
    } cases[] = {
        {"unknown signature", {0x1E, 0x99, 0x99}, true, WriteATmega, ReadATmega, 0, false, ProgNoDevice, true},
        {"no signature at all", {0xFF, 0xFF, 0xFF}, true, WriteATtiny, ReadATtiny, 0, true, ProgNoDevice, true},
        {"an ATmega under the ATtiny routine", kSigATmega8, true, WriteATtiny, ReadATtiny, 0, false, ProgNoDevice, true},
        {"an ATtiny under the AT90xx routine", kSigATtiny13, true, WriteAT90xx, ReadAT90xx, 0, false, ProgNoDevice, true},
        // Too small for the block: refused like any other block that does not fit.
        {"ATtiny13 Flash ends at 1 KB", kSigATtiny13, true, WriteATtiny, ReadATtiny, 0x03FF, false, ProgNoData, true},
        {"ATtiny13 E²PROM ends at 64", kSigATtiny13, true, WriteATtiny, ReadATtiny, 63, true, ProgNoData, true},
        {"AT90S2313 that does not answer", kSigAT90S2313, false, WriteAT90xx, ReadAT90xx, 0, false, ProgNoDevice, true},
        {"ATmega that does not answer", kSigATmega328P, false, WriteATmega, ReadATmega, 0, false, ProgNoDevice, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool write : {true, false}) {
            Target(c.signature).Echoes = c.echoes;
            std::vector<uint8_t> data{1};
            const TProgParams p = Block(image, c.start, c.eeprom);
            EXPECT_EQ(write ? c.write(p, progress) : c.read(p, progress, data), c.result);
            const auto log = Log();
            EXPECT_TRUE(Writes(log).empty());
            EXPECT_EQ(!LinesStarting("SPIWR 30 00 00 00").empty(), c.signatureRead);
            ASSERT_GE(log.size(), 3u);
            EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()), Closing());
            if (!write) {
                EXPECT_TRUE(data.empty());
            }
        }
    }
}

TEST_F(AvrRunTest, AT90S1200ThatNeverEchoesIsTakenByItsSignature) {
    FakeAvr& chip = Target(kSigAT90S1200);
    chip.Echoes = false;
    chip.ByteMode = true;
    const std::vector<uint8_t> image{0x12, 0x34};
    TProgParams p = Block(image, 0x0100);
    p.Verify = true;
    EXPECT_EQ(WriteAT90xx(p, progress), ProgOk);
    EXPECT_EQ(chip.Flash[0x0100], 0x12);
    EXPECT_EQ(chip.Flash[0x0101], 0x34);
    // After the failed handshake one enable goes out on trust, and again after the erase.
    EXPECT_EQ(LinesStarting("SPIWR AC 53 00 00").size(), 32u);
    EXPECT_EQ(LinesStarting("SPIW AC 53 00 00").size(), 2u);
}

// Out of step with the programmer, an AT90S is brought back by one positive
// SCK pulse per failed enable and stays in reset; the ATtiny and ATmega get a
// reset pulse. With SCK quiescent high the pulse is the same flip of the line.
TEST_F(AvrRunTest, FailedEnablesAreFollowedByTheFamilysRetry) {
    const struct {
        const char* what;
        TWrite write;
        bool sck;
        std::vector<std::string> retry;  // the lines after every failed enable
    } cases[] = {
        {"AT90S", WriteAT90xx, false, {"SetLevels 1 0 0", "SetLevels 0 0 0"}},
        {"AT90S, SCK quiescent high", WriteAT90xx, true, {"SetLevels 0 0 0", "SetLevels 1 0 0"}},
        {"ATmega", WriteATmega, false, {"SetEnables 0 1", "Delay 1000", "SetEnables 1 1", "Delay 20000"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Target({0x1E, 0x91, 0x01}).Echoes = false;
        TProgParams p = Block({1, 2}, 0);
        p.SCK = c.sck;
        EXPECT_EQ(c.write(p, progress), ProgNoDevice);
        const std::vector<std::string> log = Log();
        size_t enables = 0;
        for (size_t i = 0; i < log.size(); ++i) {
            if (log[i] != "SPIWR AC 53 00 00") continue;
            ++enables;
            ASSERT_GE(log.size(), i + 1 + c.retry.size());
            EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                               log.begin() + static_cast<std::ptrdiff_t>(i + 1 + c.retry.size())),
                      c.retry)
                << "after enable " << enables;
        }
        EXPECT_EQ(enables, 32u);
        EXPECT_TRUE(Writes(log).empty());
    }
}

// A locked AT90S answers the enable, but its signature reads 00 00 00: the
// run is refused with that reason, and nothing is erased or written.
TEST_F(AvrRunTest, ALockedAT90SIsRefusedAsLocked) {
    Target({0x00, 0x00, 0x00});
    for (const bool eeprom : {false, true}) {
        TRunReport report;
        TProgParams p = Block({1, 2}, 0, eeprom);
        p.Report = &report;
        EXPECT_EQ(WriteAT90xx(p, progress), ProgNoData);
        EXPECT_TRUE(report.LockedChip);
        EXPECT_NE(report.Refusal.find("00 00 00"), std::string::npos) << report.Refusal;
        EXPECT_TRUE(LinesStarting("SPIW AC 80").empty());
        EXPECT_TRUE(Writes(Log()).empty());
    }
    // The same signature from an ATmega is no device, not a locked chip.
    TRunReport report;
    TProgParams p = Block({1, 2}, 0);
    p.Report = &report;
    EXPECT_EQ(WriteATmega(p, progress), ProgNoDevice);
    EXPECT_FALSE(report.LockedChip);
}

TEST_F(AvrRunTest, ReadReturnsTheBytesOfTheRange) {
    FakeAvr& chip = Target(kSigATmega328P);
    chip.Flash = {{0x0FFF, 0x01}, {0x1000, 0x02}, {0x1001, 0x03}};
    chip.EEPROM = {{0x03FF, 0x44}};
    std::vector<uint8_t> data;
    const std::vector<uint8_t> three(3);
    EXPECT_EQ(ReadATmega(Block(three, 0x0FFF), progress, data), ProgOk);
    EXPECT_EQ(data, (std::vector<uint8_t>{0x01, 0x02, 0x03}));
    EXPECT_EQ(LinesStarting("SPIWR 28 07 FF 00 20 08 00 00 28 08 00 00").size(), 1u);
    const std::vector<uint8_t> one(1);
    EXPECT_EQ(ReadATmega(Block(one, 0x03FF, true), progress, data), ProgOk);
    EXPECT_EQ(data, std::vector<uint8_t>{0x44});

}

TEST_F(AvrRunTest, GaugeStepsByPageWhileWritingAndByChunkWhileVerifying) {
    Target(kSigATmega328P);
    const std::vector<uint8_t> image(300, 0x5A);  // 3 pages of 128 bytes, 5 chunks of 64
    TProgParams p = Block(image, 0);
    p.Verify = true;
    EXPECT_EQ(WriteATmega(p, progress), ProgOk);
    std::vector<std::string> gauge;
    for (const auto& call : progress.Calls)
        if (call.rfind("Color", 0) == 0 || call.rfind("Max", 0) == 0) gauge.push_back(call);
    EXPECT_EQ(gauge, (std::vector<std::string>{"Color FF0000", "Max 0", "Max 2", "Color 008000", "Max 0", "Max 4"}));
    EXPECT_EQ(progress.Values, (std::vector<int32_t>{0, 0, 1, 2, 0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(progress.Texts.size(), 9u);  // after each page, each chunk, and at the end

    progress.Calls.clear();
    progress.Texts.clear();
    std::vector<uint8_t> data;
    EXPECT_EQ(ReadATmega(Block(image, 0), progress, data), ProgOk);
    ASSERT_FALSE(progress.Texts.empty());
    EXPECT_EQ(progress.Texts.front(), "0,0s");
    EXPECT_EQ(progress.Calls.front(), "Color 008000");
}

}  // namespace
}  // namespace kestrin::test
