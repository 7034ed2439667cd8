// The AT89S53: 12 KB of Flash written and read byte by byte with the 3-byte
// instructions of the AT89S8252, address bit 13 in bit 2 of the first byte.
// It has no E²PROM and no serial signature. Its byte writes erase the cell
// themselves, so nothing outside the block is touched; the chip erase is
// needed only to clear lock bits. It does not answer the programming enable:
// an absent target shows only when the write verifies.
#pragma once

#include <cstdint>
#include <vector>

#include "devices/ProgRun.h"
#include "devices/Progress.h"

namespace kestrin {

constexpr int32_t kAT89S53FlashSize = 12288;

// Results: ProgOk, ProgVerifyFailed, or ProgNoData (nothing sent) when there
// is nothing to write, the block names the E²PROM or lies beyond 12 KB.
ProgResult Write89S53(const TProgParams& params, IProgress& progress);
ProgResult Read89S53(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data);

}  // namespace kestrin
