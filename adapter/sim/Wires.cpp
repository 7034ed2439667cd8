// Targets that are only wires: no chip to program.
#include "SimTarget.h"

namespace kestrin::sim {

namespace {

class Loopback final : public SimTarget {
public:
    void Lines(const TargetPins& pins, uint64_t) override { mosi_ = pins.mosi; }
    bool Miso() const override { return mosi_; }
    bool Control(const std::string&, std::istringstream&, uint64_t, std::string&) override { return false; }

private:
    bool mosi_ = false;
};

// Nothing plugged in: MISO floats and the adapter's pull-up reads it high.
class OpenConnector final : public SimTarget {
public:
    void Lines(const TargetPins&, uint64_t) override {}
    bool Miso() const override { return true; }
    bool Control(const std::string&, std::istringstream&, uint64_t, std::string&) override { return false; }
};

}  // namespace

std::unique_ptr<SimTarget> MakeLoopback() { return std::make_unique<Loopback>(); }
std::unique_ptr<SimTarget> MakeOpenConnector() { return std::make_unique<OpenConnector>(); }

}  // namespace kestrin::sim
