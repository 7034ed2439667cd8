#include "devices/UnitATtiny.h"

#include "devices/AvrFuses.h"
#include "devices/ProgRun.h"

namespace kestrin {

bool WriteFusesATtiny(uint8_t high, uint8_t low) {
    return WriteFusesAVR(EnterProgModeATtiny, kFuseWriteTimeATtiny, high, low);
}

bool ReadFusesATtiny(uint8_t& high, uint8_t& low) { return ReadFusesAVR(EnterProgModeATtiny, high, low); }

}  // namespace kestrin
