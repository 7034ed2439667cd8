// Test helpers for driving a chip model at byte level with a simple clock.
#pragma once

#include <cstdint>
#include <vector>

#include "Chip.h"

namespace kestrin::test {

constexpr uint64_t kByteNs = 50'000;
constexpr uint64_t Ms(double ms) { return static_cast<uint64_t>(ms * 1'000'000); }

struct ChipBench {
    explicit ChipBench(chips::Chip& c) : chip(c) {}

    std::vector<uint8_t> Send(const std::vector<uint8_t>& bytes) {
        std::vector<uint8_t> out;
        for (uint8_t b : bytes) {
            out.push_back(chip.Exchange(b, now));
            now += kByteNs;
        }
        return out;
    }
    void Wait(uint64_t ns) { now += ns; }
    void Reset(bool held) {
        chip.SetReset(held, now);
        now += Ms(1);
    }
    // Into reset, then programming enable: AC 53 00 00, or AC 53 00 for 3-byte chips.
    void Enter(size_t instructionBytes = 4) {
        Reset(true);
        Send(instructionBytes == 3 ? std::vector<uint8_t>{0xAC, 0x53, 0x00}
                                   : std::vector<uint8_t>{0xAC, 0x53, 0x00, 0x00});
    }

    chips::Chip& chip;
    uint64_t now = 0;
};

}  // namespace kestrin::test
