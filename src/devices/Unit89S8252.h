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

// ---- the 8051 parts with 3-byte instructions (AT89S8252, AT89S53) ----

// Where a part puts the address bits above A7 into the first byte of an
// instruction, whose low bits carry the operation code.
struct TByteModeFormat {
    uint8_t (*FirstByte)(uint8_t code, int32_t address);
    // Bytes a block may reach in Flash and E²PROM; 0 for no such memory;
    // kAddressesRepeat where addresses above the memory repeat it.
    int32_t FlashLimit;
    int32_t EEPROMLimit;
    // The shortest pause after a write, whatever the profile says.
    int32_t LeastWait;
};
constexpr int32_t kAddressesRepeat = -1;

// The write and read of Write89S8252 and Read89S8252 for a part of this
// format. A block beyond the part's limits is refused with ProgNoData before
// anything is sent.
ProgResult WriteByteMode(const TByteModeFormat& format, const TProgParams& params, IProgress& progress);
ProgResult ReadByteMode(const TByteModeFormat& format, const TProgParams& params, IProgress& progress,
                        std::vector<uint8_t>& data);

}  // namespace kestrin
