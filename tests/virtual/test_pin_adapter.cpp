#include <gtest/gtest.h>

#include <vector>

#include "ChipBench.h"
#include "PinAdapter.h"

using kestrin::chips::MakeChip;
using kestrin::chips::PinAdapter;
using kestrin::chips::Space;
using kestrin::test::ChipBench;
using kestrin::test::kByteNs;
using kestrin::test::Ms;
using Bytes = std::vector<uint8_t>;

namespace {

// A mode-0 host on the pins: MOSI set up, SCK rises (target samples, host
// reads MISO), SCK falls; SCK rests at idle between bytes.
struct PinHost {
    explicit PinHost(PinAdapter& p, bool sckIdle = false) : pins(p), idle(sckIdle) { pins.SetSck(idle, now); }
    Bytes Send(const Bytes& bytes) {
        Bytes out;
        for (uint8_t b : bytes) {
            uint8_t in = 0;
            for (int bit = 7; bit >= 0; --bit) {
                pins.SetMosi(((b >> bit) & 1) != 0, now);
                now += kByteNs / 16;
                pins.SetSck(!idle, now);
                in = static_cast<uint8_t>((in << 1) | (pins.Miso() ? 1 : 0));
                now += kByteNs / 16;
                pins.SetSck(idle, now);
            }
            out.push_back(in);
        }
        return out;
    }
    void Reset(bool held) {
        pins.SetReset(held, now);
        now += Ms(1);
    }
    PinAdapter& pins;
    bool idle;
    uint64_t now = 0;
};

}  // namespace

TEST(VirtualChipPins, PinLevelGivesTheSameBytesAsByteLevel) {
    struct Case {
        const char* chip;
        std::vector<Bytes> steps;  // sent with 10 ms between them
    };
    const std::vector<Case> cases = {
        {"AT89S8252", {{0xAC, 0x53, 0x00}, {0x02, 0x10, 0xA5}, {0x01, 0x10, 0x00, 0x01, 0x11, 0x00}}},
        {"AT89S8253",
         {{0xAC, 0x53, 0x00, 0x00}, {0x40, 0x00, 0x10, 0x3C}, {0x20, 0x00, 0x10, 0x00}, {0x28, 0x00, 0x30, 0x00},
          {0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
           0x00, 0x00, 0x00}}},
        {"AT89S52", {{0xAC, 0x53, 0x00, 0x00}, {0x40, 0x01, 0x02, 0x77}, {0x20, 0x01, 0x02, 0x00}}},
        {"ATmega8", {{0xAC, 0x53, 0x00, 0x00}, {0xC0, 0x00, 0x05, 0x42}, {0xA0, 0x00, 0x05, 0x00},
                     {0x30, 0x00, 0x01, 0x00}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        auto byteChip = MakeChip(c.chip);
        auto pinChip = MakeChip(c.chip);
        ChipBench bytes(*byteChip);
        PinAdapter pins(*pinChip);
        PinHost host(pins);
        bytes.Reset(true);
        host.Reset(true);
        for (const auto& step : c.steps) {
            const Bytes a = bytes.Send(step);
            const Bytes b = host.Send(step);
            EXPECT_EQ(a, b);
            bytes.Wait(Ms(10));
            host.now += Ms(10);
        }
        EXPECT_TRUE(pinChip->ProgrammingEnabled());
        EXPECT_EQ(byteChip->Memory(Space::Flash), pinChip->Memory(Space::Flash));
        EXPECT_EQ(byteChip->Memory(Space::Eeprom), pinChip->Memory(Space::Eeprom));
    }
}

TEST(VirtualChipPins, ClockHighWhileEnteringResetPutsTheChipOutOfStep) {
    for (bool idleHigh : {false, true}) {
        SCOPED_TRACE(idleHigh ? "SCK rests high" : "SCK rests low");
        auto chip = MakeChip("AT89S8253");
        PinAdapter pins(*chip);
        PinHost host(pins, idleHigh);
        host.Reset(true);
        const Bytes answer = host.Send({0xAC, 0x53, 0x00, 0x00});
        EXPECT_EQ(answer[2] == 0x53, !idleHigh);
        EXPECT_EQ(chip->ProgrammingEnabled(), !idleHigh);
    }
}

TEST(VirtualChipPins, MisoIsHighOutsideReset) {
    auto chip = MakeChip("ATmega8");
    PinAdapter pins(*chip);
    PinHost host(pins);
    EXPECT_EQ(host.Send({0xAC, 0x53, 0x00, 0x00}), Bytes(4, 0xFF));
    EXPECT_FALSE(chip->ProgrammingEnabled());
}
