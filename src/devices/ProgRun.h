// The frame shared by every programming routine: the parameter block, the
// result codes, the opening and closing of a run, the programming-enable
// handshakes, instruction transport and the elapsed-time text.
#pragma once

#include <cstdint>
#include <string>

#include "devices/Progress.h"

namespace kestrin {

struct TProgParams {
    const uint8_t* Data = nullptr;  // the image; Data[0] is the byte for StartAddress
    int32_t Size = 0;
    int32_t StartAddress = 0;
    bool EEPROM = false;  // true: data memory (E²PROM); false: program memory (Flash)
    bool SCK = false;
    bool MISO = false;
    bool MOSI = false;
    int32_t WaitFlash = 0;   // microseconds
    int32_t WaitEEPROM = 0;  // microseconds
    int32_t WaitErase = 0;   // microseconds
    bool Verify = false;
    bool Backup = false;
};

enum ProgResult : int32_t {
    ProgOk = 0,            // done (and verified, where asked)
    ProgNoData = 1,        // nothing to write; the adapter was not touched
    ProgVerifyFailed = 2,  // verification found a difference
    ProgNoDevice = 3,      // the target did not answer
};

// The status text the windows show for a result: "Ok", "file is empty", "failed", "no device".
const char* ProgResultText(int32_t result);

}  // namespace kestrin
