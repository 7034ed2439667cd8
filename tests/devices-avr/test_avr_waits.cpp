// How the AVR routines wait for a write: the ready/busy poll where the part
// has one, the cell just written where it can be told from a busy one, else
// the profile's wait, never shorter than the part needs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AvrRunTest.h"
#include "devices/UnitAvr.h"

namespace kestrin::test {
namespace {

size_t CountOf(const std::vector<std::string>& log, const std::string& line) {
    return static_cast<size_t>(std::count(log.begin(), log.end(), line));
}

TEST_F(AvrRunTest, BusyPollIsRepeatedUntilReadyAndGivesUpInTime) {
    const struct {
        const char* what;
        int busyPolls;
        bool neverReady;
        size_t polls, pauses;  // of the E²PROM page write
    } cases[] = {
        {"ready at once", 0, false, 1, 0},
        {"busy three times", 3, false, 4, 3},
        // 4 ms expected: polling stops after 4 times that, 32 pauses of 0.5 ms.
        {"never ready", 0, true, 33, 32},
    };
    const std::vector<uint8_t> image{0x01};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeAvr& chip = Target(kSigATtiny13);
        chip.BusyPolls = c.busyPolls;
        chip.NeverReady = c.neverReady;
        EXPECT_EQ(WriteATtiny(Block(image, 0, true), progress), ProgOk);
        const auto log = Log();
        EXPECT_EQ(CountOf(log, "SPIWR F0 00 00 00"), c.polls);
        EXPECT_EQ(CountOf(log, "Delay 500"), c.pauses);
    }
}

TEST_F(AvrRunTest, WithoutAPollThePauseIsTheProfilesButNeverShorterThanThePartNeeds) {
    const struct {
        const char* what;
        std::array<uint8_t, 3> signature;
        TWrite write;
        bool eeprom;
        uint8_t value;      // a value that reads like a busy cell cannot be polled
        int32_t profileWait;
        const char* pause;  // after the write
    } cases[] = {
        {"ATmega8 E²PROM FF, short profile wait", kSigATmega8, WriteATmega, true, 0xFF, 1000, "Delay 9000"},
        {"ATmega8 E²PROM FF, long profile wait", kSigATmega8, WriteATmega, true, 0xFF, 12000, "Delay 12000"},
        {"ATmega8 Flash page all FF", kSigATmega8, WriteATmega, false, 0xFF, 100, "Delay 4500"},
        {"AT90S2313 Flash 7F", kSigAT90S2313, WriteAT90xx, false, 0x7F, 4000, "Delay 9000"},
        {"AT90S2313 E²PROM 80", kSigAT90S2313, WriteAT90xx, true, 0x80, 4000, "Delay 9000"},
        {"AT90S2313 E²PROM 7F, long profile wait", kSigAT90S2313, WriteAT90xx, true, 0x7F, 10000, "Delay 10000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Target(c.signature).ByteMode = c.write == WriteAT90xx;
        const std::vector<uint8_t> image{c.value};
        TProgParams p = Block(image, 0x10, c.eeprom);
        (c.eeprom ? p.WaitEEPROM : p.WaitFlash) = c.profileWait;
        EXPECT_EQ(c.write(p, progress), ProgOk);
        const auto log = Log();
        const auto close = log.end() - 3;  // the pause is the last thing before the run closes
        ASSERT_GE(log.size(), 4u);
        EXPECT_EQ(*(close - 1), c.pause);
        EXPECT_EQ(CountOf(log, "SPIWR 28 00 08 00") + CountOf(log, "SPIWR A0 00 10 00"), 0u);
    }
}

}  // namespace
}  // namespace kestrin::test
