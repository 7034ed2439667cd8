// Set-up shared by the AVR and AT89S53 routine tests on the recording driver.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DeviceTest.h"
#include "FakeAvr.h"
#include "devices/ProgRun.h"

namespace kestrin::test {


class AvrRunTest : public RecordingRunTest {
protected:
    void SetUp() override {
        RecordingRunTest::SetUp();
        params.WaitFlash = 4500;
        params.WaitEEPROM = 4000;
        params.WaitErase = 9000;
    }

    FakeAvr& Target(std::array<uint8_t, 3> signature) {
        driver.Reset();
        target = std::make_unique<FakeAvr>(signature);
        target->Install(driver);
        return *target;
    }

    // Lines of the run's opening: lines, handshake answered at once, signature read.
    static std::vector<std::string> Opening() {
        std::vector<std::string> lines{"SetLevels 0 0 0", "SetCycleTime 0", "SetReadMode 0"};
        Append(lines, HandshakeLines(1, true, 20000, 1000));
        lines.push_back("SPIWR 30 00 00 00 30 00 01 00 30 00 02 00");
        return lines;
    }

    static std::vector<std::string> Closing() { return {"Delay 1000", "SetEnables 0 1", "SetLevels 0 0 0"}; }

    std::unique_ptr<FakeAvr> target;
};

constexpr std::array<uint8_t, 3> kSigAT90S1200{0x1E, 0x90, 0x01};
constexpr std::array<uint8_t, 3> kSigAT90S2313{0x1E, 0x91, 0x01};
constexpr std::array<uint8_t, 3> kSigATtiny13{0x1E, 0x90, 0x07};
constexpr std::array<uint8_t, 3> kSigATmega8{0x1E, 0x93, 0x07};
constexpr std::array<uint8_t, 3> kSigATmega328P{0x1E, 0x95, 0x0F};
constexpr std::array<uint8_t, 3> kSigATmega2560{0x1E, 0x98, 0x01};

}  // namespace kestrin::test
