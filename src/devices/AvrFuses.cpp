#include "devices/AvrFuses.h"

#include "devices/AvrIsp.h"
#include "devices/ProgRun.h"

namespace kestrin {

bool WriteFusesAVR(TEnterProgMode enterProgMode, int32_t fuseWriteTime, uint8_t high, uint8_t low) {
    if (!enterProgMode()) return false;
    SendAvr({0xAC, 0xA0, 0x00, low});
    Pause(fuseWriteTime);
    SendAvr({0xAC, 0xA8, 0x00, high});
    return true;
}

void ReadFuseBytesAVR(uint8_t& high, uint8_t& low) {
    low = ExchangeAvr({0x50, 0x00, 0x00, 0x00});
    high = ExchangeAvr({0x58, 0x08, 0x00, 0x00});
}

bool ReadFusesAVR(TEnterProgMode enterProgMode, uint8_t& high, uint8_t& low) {
    if (!enterProgMode()) return false;
    ReadFuseBytesAVR(high, low);
    return true;
}

}  // namespace kestrin
