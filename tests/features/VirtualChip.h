// The virtual adapter, connected, with a chosen chip behind it; disconnected
// again when the object goes.
#pragma once

#include <gtest/gtest.h>

#include "link/SPI.h"
#include "virtual/VirtualDriver.h"

namespace kestrin::test {

class VirtualChip {
public:
    VirtualChip() = default;
    ~VirtualChip() {
        Ops.Disconnect();
        Connected = false;
    }
    VirtualChip(const VirtualChip&) = delete;
    VirtualChip& operator=(const VirtualChip&) = delete;

    // A factory-fresh chip of that name on a connected adapter.
    void Use(const char* chip) {
        vd.ResetAll();
        vd.Set("chip", chip);
        ASSERT_EQ(Ops.Connect(0, 1), 0);
        Connected = true;
    }

    VirtualDriver vd;
};

}  // namespace kestrin::test
