// What sits on the simulated adapter's target connector.
#pragma once

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

namespace kestrin::sim {

// Electrical levels at the target's pins (after any inversion the adapter applies).
struct TargetPins {
    bool sck = false;
    bool mosi = false;
    bool rstHigh = false;    // the active-high RST output is driven high
    bool nresetLow = false;  // the active-low /RESET output is driven low
};

class SimTarget {
public:
    virtual ~SimTarget() = default;
    // The adapter changed one or more lines at time nowNs (simulated).
    virtual void Lines(const TargetPins& pins, uint64_t nowNs) = 0;
    // Level the target presents on MISO.
    virtual bool Miso() const = 0;
    // Handles a control command for this target; false when the verb is unknown.
    virtual bool Control(const std::string& verb, std::istringstream& args, uint64_t nowNs, std::string& reply) = 0;
};

// A wire from MOSI back to MISO: no chip, every byte comes back as it was sent.
std::unique_ptr<SimTarget> MakeLoopback();
// Nothing on the connector.
std::unique_ptr<SimTarget> MakeOpenConnector();
// A chip model by controller name ("AT89S8252", "AT89S8253", "AT89S52", "ATmega8");
// null when the name is unknown.
std::unique_ptr<SimTarget> MakeChipTarget(const std::string& name);

}  // namespace kestrin::sim
