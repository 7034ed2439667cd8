// The SPI clock of an AVR run: how fast the adapter may clock a target whose
// own clock is known (named in the profile) or read from its fuses ("auto").
// A target's SCK high and low phases must each last more than two of its
// clock cycles (three from 12 MHz on).
#pragma once

#include <cstdint>

#include "devices/DeviceTable.h"

namespace kestrin {

// Profile values of the target clock besides 1, 8 and 16 (MHz).
constexpr int32_t kTargetClockUnset = 0;  // the adapter's slow automatic clock, as always
constexpr int32_t kTargetClockAuto = -1;  // from the fuses, checked by a second signature read

// The adapter's cycle setting (SCK half period in 0.5 µs units, or above
// VELTRO_CYCLE_FINE in 1/16 µs for targets above 12 MHz) that is safe for a
// target running at least at mhz; 0 (the slow automatic clock, 4 µs phases)
// when nothing faster is safe.
int32_t CycleForTargetMHz(double mhz);

// The lowest clock the low fuse byte allows for the part, in MHz; 0 when the
// fuses do not tell (an external clock, a part whose clock fuses are not
// known here).
double TargetMHzFromFuses(const TDeviceInfo& device, uint8_t lowFuse);

// Sets the clock of a run on an identified part: a named clock at once; with
// "auto" the fuses are read and the fast clock kept only when the signature
// reads the same with it. Returns the cycle setting in use.
int32_t ChooseAvrClock(const TDeviceInfo& device, int32_t targetClock);

}  // namespace kestrin
