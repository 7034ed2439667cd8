#include "SimTarget.h"

namespace kestrin::sim {

namespace {

class Loopback final : public SimTarget {
public:
    void Lines(const TargetPins& pins, uint64_t) override { mosi_ = pins.mosi; }
    bool Miso() const override { return mosi_; }
    bool Control(const std::string&, std::istringstream&, std::string&) override { return false; }

private:
    bool mosi_ = false;
};

}  // namespace

std::unique_ptr<SimTarget> MakeLoopback() { return std::make_unique<Loopback>(); }

}  // namespace kestrin::sim
