#include "devices/UnitATmega.h"

#include "devices/AvrFuses.h"
#include "devices/ProgRun.h"

namespace kestrin {

bool WriteFusesATmega(uint8_t high, uint8_t low) {
    return WriteFusesAVR(EnterProgModeATmega, kFuseWriteTimeATmega, high, low);
}

bool ReadFusesATmega(uint8_t& high, uint8_t& low) { return ReadFusesAVR(EnterProgModeATmega, high, low); }

}  // namespace kestrin
