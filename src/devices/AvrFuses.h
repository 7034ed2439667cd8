// Fuse bytes of the ATtiny and ATmega families: both send the same
// instructions and differ only in their handshake and fuse write time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

// The family's programming-enable handshake.
using TEnterProgMode = bool (*)();

// Enters programming with enterProgMode, then writes the low fuse (AC A0 00
// low) and, fuseWriteTime microseconds later, the high fuse (AC A8 00 high):
// a chip ignores instructions during its fuse write cycle. True when the
// target answered and both instructions were sent. Sets no levels and leaves
// the target in its programming state.
bool WriteFusesAVR(TEnterProgMode enterProgMode, int32_t fuseWriteTime, uint8_t high, uint8_t low);

// Enters programming with enterProgMode and reads the low (50 00 00) and high
// (58 08 00) fuse bytes. False, with both left alone, when the target did not
// answer. Leaves the target in its programming state.
bool ReadFusesAVR(TEnterProgMode enterProgMode, uint8_t& high, uint8_t& low);

// The same two reads from a target that is already in its programming state.
void ReadFuseBytesAVR(uint8_t& high, uint8_t& low);

// What a fuse or lock bit does, in one line, from its name (CKSEL2, BLB01,
// WDTON); the header's comment where the glossary has no entry, else "".
std::string FuseBitMeaning(std::string_view name, const char* headerComment);

// The names of the lock byte's bits in use (lockMask as in the part table),
// bit 0 first; "" for a bit not in use.
std::array<std::string, 8> LockBitNames(uint8_t lockMask);

}  // namespace kestrin
