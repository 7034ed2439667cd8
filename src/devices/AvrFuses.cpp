#include "devices/AvrFuses.h"

#include <array>

#include "devices/ProgRun.h"

namespace kestrin {

bool WriteFusesAVR(TEnterProgMode enterProgMode, int32_t fuseWriteTime, uint8_t high, uint8_t low) {
    if (!enterProgMode()) return false;
    const std::array<uint8_t, 4> fuseLow{0xAC, 0xA0, 0x00, low};
    const std::array<uint8_t, 4> fuseHigh{0xAC, 0xA8, 0x00, high};
    SendBytes(fuseLow.data(), fuseLow.size());
    Pause(fuseWriteTime);
    SendBytes(fuseHigh.data(), fuseHigh.size());
    return true;
}

void ReadFuseBytesAVR(uint8_t& high, uint8_t& low) {
    low = ReadInstruction(0x50, 0x00, 0x00);
    high = ReadInstruction(0x58, 0x08, 0x00);
}

bool ReadFusesAVR(TEnterProgMode enterProgMode, uint8_t& high, uint8_t& low) {
    if (!enterProgMode()) return false;
    ReadFuseBytesAVR(high, low);
    return true;
}

}  // namespace kestrin
