#include "devices/AvrClock.h"

#include <cmath>

#include "avrparts/AvrParts.h"
#include "devices/AvrFuses.h"
#include "devices/AvrIsp.h"
#include "link/SPI.h"

namespace kestrin {

namespace {

// The slow automatic clock's phase.
constexpr double kSlowPhaseUs = 4.0;
constexpr double kUnitUs = 0.5;
// Phases of up to a quarter microsecond are asked for in sixteenths.
constexpr int32_t kFineSixteenthsMax = 4;

// The CKSEL value of the low fuse; -1 when the part has no CKSEL0..3 there.
int ClockSelect(const avrparts::AvrPart& part, uint8_t low) {
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const std::string name = "CKSEL" + std::to_string(i);
        const int bit = avrparts::FuseBitOf(part, 0, name);
        if (bit < 0) return -1;
        if (low & (1 << bit)) value |= 1 << i;
    }
    return value;
}

}  // namespace

int32_t CycleForTargetMHz(double mhz) {
    if (mhz <= 0) return 0;
    const double minPhaseUs = (mhz >= 12.0 ? 3.0 : 2.0) / mhz;
    // Strictly longer than the minimum, in whole units; where a quarter
    // microsecond is enough (targets above 12 MHz), in sixteenths.
    const int32_t sixteenths = static_cast<int32_t>(std::floor(minPhaseUs * 16.0)) + 1;
    if (sixteenths <= kFineSixteenthsMax) return VELTRO_CYCLE_FINE + sixteenths;
    const int32_t units = static_cast<int32_t>(std::floor(minPhaseUs / kUnitUs)) + 1;
    return units * kUnitUs < kSlowPhaseUs ? units : 0;
}

double TargetMHzFromFuses(const TDeviceInfo& device, uint8_t lowFuse) {
    if (device.Part == nullptr || device.Part->fuseCount < 1) return 0;
    const avrparts::AvrPart& part = *device.Part;
    const int cksel = ClockSelect(part, lowFuse);
    if (cksel < 0) return 0;
    const int div8 = avrparts::FuseBitOf(part, 0, "CKDIV8");
    if (div8 >= 0) {
        // Parts with a clock prescaler fuse (ATmega48..328, 164..1284, ATtiny25..85, ...):
        // the 8 MHz RC oscillator, or a low-power crystal whose range CKSEL3..1 names
        // (its lower end counts); CKDIV8 programmed divides either by 8.
        double mhz = 0;
        if (cksel == 0x2) {
            mhz = 8.0;
        } else if (cksel >= 0x8) {
            static constexpr double kCrystalFloor[] = {0.4, 0.9, 3.0, 8.0};
            mhz = kCrystalFloor[((cksel >> 1) & 0x7) - 4];
        }
        return (lowFuse & (1 << div8)) == 0 ? mhz / 8.0 : mhz;
    }
    // Older parts (ATmega8, 16, 32, ...): CKSEL 1..4 pick the RC oscillator's 1, 2, 4 or 8 MHz.
    if (cksel >= 1 && cksel <= 4) return static_cast<double>(1 << (cksel - 1));
    return 0;
}

int32_t ChooseAvrClock(const TDeviceInfo& device, int32_t targetClock) {
    if (targetClock == kTargetClockUnset) return 0;
    if (targetClock > 0) {
        const int32_t cycle = CycleForTargetMHz(targetClock);
        Ops.SetCycleTime(cycle);
        return cycle;
    }
    uint8_t high = 0, low = 0;
    ReadFuseBytesAVR(high, low);
    const int32_t cycle = CycleForTargetMHz(TargetMHzFromFuses(device, low));
    if (cycle == 0) return 0;
    Ops.SetCycleTime(cycle);
    if (ReadAvrSignature() == device.Signature) return cycle;
    Ops.SetCycleTime(0);
    return 0;
}

}  // namespace kestrin
