#include <cstdio>

#include "SimTarget.h"

namespace kestrin::sim {

// Built without the chip models: only the loopback wire is available.
std::unique_ptr<SimTarget> MakeChipTarget(const std::string& name) {
    std::fprintf(stderr, "veltro_sim: built without chip models; %s is not available\n", name.c_str());
    return nullptr;
}

}  // namespace kestrin::sim
