// The AT89S8252 in byte mode: every byte of Flash or E²PROM is written and
// read with its own 3-byte instruction. Neither routine erases the chip, and
// neither can tell whether a target answers: without one a write reports
// success unless it verifies.
#pragma once

#include <cstdint>
#include <vector>

#include "devices/ProgRun.h"
#include "devices/Progress.h"

namespace kestrin {

// Writes Size bytes of Data from StartAddress on into the memory that EEPROM
// names, pausing WaitFlash or WaitEEPROM after each byte, and reads them back
// when Verify is set. Returns ProgOk, ProgNoData or ProgVerifyFailed.
// Addresses repeat every 8 KB in both memories.
ProgResult Write89S8252(const TProgParams& params, IProgress& progress);

// Reads Size bytes from StartAddress on out of the memory that EEPROM names
// into data. Returns ProgOk or ProgNoData (data is then empty).
ProgResult Read89S8252(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data);

}  // namespace kestrin
