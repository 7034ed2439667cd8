// Shared set-up of the routine tests on the virtual adapter: a chip behind
// the adapter, a block filled with the wait times of the chip's profile, and
// the routine of the profile's type.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "devices/Programmer.h"
#include "link/SPI.h"
#include "virtual/VirtualDriver.h"

namespace kestrin::test {

inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(i * 37 + seed);
    return v;
}

// A virtual chip and the controller type and wait times of its profile.
struct VirtualChip {
    const char* name;
    uint8_t type;
    int32_t waitFlash, waitEEPROM, waitErase;
};

class VirtualRunTest : public ::testing::Test {
protected:
    // Connects to the virtual adapter with `chip` behind it and fills the block's profile fields.
    void Use(const VirtualChip& chip, const std::vector<std::pair<std::string, std::string>>& options = {}) {
        chip_ = chip;
        vd.ResetAll();
        vd.Set("chip", chip.name);
        for (const auto& [key, value] : options) vd.Set(key, value);
        ASSERT_EQ(Ops.Connect(0, 1), 0);
    }

    TProgParams Block(const std::vector<uint8_t>& image, int32_t start, bool eeprom, bool verify = true) const {
        TProgParams p;
        p.Data = image.data();
        p.Size = static_cast<int32_t>(image.size());
        p.StartAddress = start;
        p.EEPROM = eeprom;
        p.WaitFlash = chip_.waitFlash;
        p.WaitEEPROM = chip_.waitEEPROM;
        p.WaitErase = chip_.waitErase;
        p.Verify = verify;
        return p;
    }

    ProgResult Write(const TProgParams& p) { return WriteByType(chip_.type, p, progress); }

    VirtualDriver vd;
    TNullProgress progress;
    VirtualChip chip_{"AT89S8252", 0, 4000, 4000, -1};
};

}  // namespace kestrin::test
