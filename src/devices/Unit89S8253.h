// The page-mode 8051 controllers: the AT89S8253 (Flash and E²PROM) and the
// AT89S52 (Flash). Writers pad the image to whole pages, erase the chip, write
// page by page and verify on request. On the AT89S8253 the chip erase clears
// both memories; with Backup the writer saves the memory it is not writing
// before the erase and writes it back afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "devices/ProgRun.h"
#include "devices/Progress.h"

namespace kestrin {

// The page-mode 8051 parts, as the routines of this unit tell them apart.
enum class TPageFamily { AT89S8253, AT89S52 };

// Bytes of the address range the page instructions can name (StartAddress +
// Size must not exceed it): 16 KB of AT89S8253 Flash, 2 KB of its E²PROM,
// 8 KB of AT89S52 Flash; 0 for the AT89S52's missing E²PROM.
int32_t PageAddressSpace(TPageFamily family, bool eeprom);

// Entry points. Results: ProgOk, ProgVerifyFailed, ProgNoDevice, or ProgNoData
// when there is nothing to write or the block is refused before anything is
// sent (a negative StartAddress, a range beyond the page address space, or
// E²PROM named for the AT89S52).
ProgResult Write89S8253(const TProgParams& params, IProgress& progress);
ProgResult Write89S52(const TProgParams& params, IProgress& progress);
// Writes a backup of a whole AT89S8253 memory back (EEPROM: the 2 KB of
// E²PROM, else the 12 KB of Flash; Size must be that size), without a chip
// erase, and reads it back: ProgOk when it reads back the same,
// ProgVerifyFailed when not, ProgNoDevice when the target does not answer.
ProgResult WriteBack89S8253(const TProgParams& params, IProgress& progress);

// Read Size bytes from StartAddress on, whole pages at a time (the AT89S8253
// from the memory that EEPROM names, the AT89S52 from Flash). Results: ProgOk,
// ProgNoDevice, or ProgNoData for a refused block; data is empty unless ProgOk.
ProgResult Read89S8253(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data);
ProgResult Read89S52(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data);

// The programming-enable handshakes: the AT89S8253 answers 53 with the third
// byte, the AT89S52 69 with the fourth.
bool EnterProgMode89S8253();
bool EnterProgMode89S52();
bool EnterProgModePaged(TPageFamily family);

// A user fuse or lock bit write keeps the AT89S8253 busy for this long, and an
// instruction that arrives meanwhile is ignored.
constexpr int32_t kFuseWriteTime89S8253 = 4500;  // microseconds

// Writes the AT89S8253 user fuses (low 4 bits) and lock bits (low 3 bits),
// with the fuse write time between the two instructions. True when the target
// answered and both instructions were sent. Leaves the target in its
// programming state; the caller releases it.
bool WriteFuseLock89S8253(uint8_t fuseBits, uint8_t lockBits);

// Reads the AT89S8253 user fuses (bits 0 to 3: Fuse1 to Fuse4) and lock bits
// (bits 0 to 2: Lock1 to Lock3; a programmed lock bit reads 0) in the form
// WriteFuseLock89S8253 takes them. False, with both left alone, when the target
// did not answer the handshake. Leaves the target in its programming state.
bool ReadFuseLock89S8253(uint8_t& fuseBits, uint8_t& lockBits);

// The same two reads from a target that is already in its programming state.
void ReadFuseLockBits89S8253(uint8_t& fuseBits, uint8_t& lockBits);

}  // namespace kestrin
