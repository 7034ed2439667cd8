#include "devices/UnitAT89S53.h"

#include "devices/Unit89S8252.h"

namespace kestrin {

namespace {

// A12..A8 in bits 7..3, A13 in bit 2, the operation in bits 1..0.
uint8_t FirstByte89S53(uint8_t code, int32_t address) {
    return static_cast<uint8_t>((((address >> 8) & 0x1F) << 3) | (((address >> 13) & 0x01) << 2) | (code & 0x03));
}

// A byte write takes up to 2.5 ms.
constexpr TByteModeFormat k89S53{FirstByte89S53, kAT89S53FlashSize, 0, 2500};

}  // namespace

ProgResult Write89S53(const TProgParams& params, IProgress& progress) { return WriteByteMode(k89S53, params, progress); }

ProgResult Read89S53(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    return ReadByteMode(k89S53, params, progress, data);
}

}  // namespace kestrin
