// The ATmega family.
#pragma once

#include <cstdint>

namespace kestrin {

// Fuse write cycle of the slowest ATmega (ATmega2560: 9 ms); the
// profile names only the family, so every member must be covered.
constexpr int32_t kFuseWriteTimeATmega = 9000;  // microseconds

// Writes the low and high fuse bytes (CKOPT is bit 4 of the high byte). True
// when the target answered the handshake and both instructions were sent.
// Sets no levels and leaves the target in its programming state.
bool WriteFusesATmega(uint8_t high, uint8_t low);

// Reads the low and high fuse bytes; false when the target did not answer.
// Leaves the target in its programming state.
bool ReadFusesATmega(uint8_t& high, uint8_t& low);

}  // namespace kestrin
