// A simulated adapter bound as the program's driver: starts veltro_sim, points
// the serial driver at its pty and connects.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "SimAdapter.h"
#include "VeltroSerial.h"
#include "link/SPI.h"

namespace kestrin::test {

class SimBench : public ::testing::Test {
protected:
    // Starts the simulator with the given target and connects the driver to it.
    void Start(const std::string& target) {
        sim_ = std::make_unique<sim::SimAdapter>(target);
        setenv("VELTRO_PORTS", sim_->PtyPath().c_str(), 1);
        ASSERT_TRUE(LoadAdapterDriverFrom(KESTRIN_SERIAL_DRIVER));
        ASSERT_EQ(Ops.Connect(0, 1), VELTRO_CONNECT_OK);
        // What the main window does right after connecting.
        Ops.SetEnables(0, 1);
        Ops.SetLevels(0, 0, 0);
        Ops.SetCycleTime(0);
        adapterMicros_ = reinterpret_cast<VeltroSerialAdapterMicrosFn>(Symbol("VeltroSerial_AdapterMicros"));
        getStats_ = reinterpret_cast<VeltroSerialGetStatsFn>(Symbol("VeltroSerial_GetStats"));
        resetStats_ = reinterpret_cast<VeltroSerialResetStatsFn>(Symbol("VeltroSerial_ResetStats"));
    }

    void TearDown() override {
        Ops.SetReady(0);
        Ops.Disconnect();
        sim_.reset();
        unsetenv("VELTRO_PORTS");
    }

    // Waits until the adapter carried out everything sent, then reads its clock.
    long long AdapterMicros() {
        uint32_t t = 0;
        return adapterMicros_ != nullptr && adapterMicros_(&t) == 0 ? static_cast<long long>(t) : -1;
    }
    VeltroSerialStats Stats() {
        VeltroSerialStats s{};
        if (getStats_ != nullptr) getStats_(&s);
        return s;
    }
    void ResetStats() {
        if (resetStats_ != nullptr) resetStats_();
    }
    // A simulator command after everything sent so far has been carried out.
    std::string Settled(const std::string& command) {
        AdapterMicros();
        return sim_->Command(command);
    }

    std::unique_ptr<sim::SimAdapter> sim_;

private:
    static void* Symbol(const char* name);

    VeltroSerialAdapterMicrosFn adapterMicros_ = nullptr;
    VeltroSerialGetStatsFn getStats_ = nullptr;
    VeltroSerialResetStatsFn resetStats_ = nullptr;
};

}  // namespace kestrin::test
