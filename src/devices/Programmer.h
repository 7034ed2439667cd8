// The programming routines by controller type (the profile's Type): what the
// main write and the hex view call, so they need not know the families.
#pragma once

#include <cstdint>
#include <vector>

#include "devices/ProgRun.h"
#include "devices/Progress.h"

namespace kestrin {

// True for the controller types that have a write routine.
bool HasWriteRoutine(uint8_t type);

// Bytes of the Flash (eeprom false) or E²PROM (eeprom true) of the controller
// type, as far as its routines reach it; 0 when the type has no such memory
// or no routine.
int32_t MemorySize(uint8_t type, bool eeprom);

// The write or read routine of the type; ProgNoData (nothing sent) for a type
// without one.
ProgResult WriteByType(uint8_t type, const TProgParams& params, IProgress& progress);
ProgResult ReadByType(uint8_t type, const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data);

}  // namespace kestrin
