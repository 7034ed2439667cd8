// Internal: the AVR chip model, one class driven by a table of parts.
// Use MakeChip() from Chip.h.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "Chip.h"

namespace kestrin::chips {

struct AvrPart {
    const char* name;
    std::array<uint8_t, 3> signature;
    uint32_t flashBytes;
    uint16_t flashPageBytes;   // 0: byte mode, 40/48 program at once
    uint16_t eepromBytes;
    uint8_t eepromPageBytes;   // 0: no C1/C2 page mode
    uint8_t fuseCount;         // 0 (no serial fuse access), 2 (low, high) or 3 (+ extended)
    std::array<uint8_t, 3> fuseDefaults;
    uint8_t lockMask;          // lock bits in use
    bool hasPoll;              // F0 RDY/BSY poll
    uint8_t eesaveMask;        // bit of the high fuse that keeps the E²PROM on erase; 0 = none
    uint8_t spienMask;         // bit of the high fuse not writable over this interface
    uint32_t flashUs, eepromUs, eraseUs, fuseUs;
};

// The parts MakeChip knows; nullptr when the name (case-insensitive) is not one.
const AvrPart* FindAvrPart(std::string_view name);
const std::vector<AvrPart>& AvrParts();

class AvrChip final : public Chip {
public:
    explicit AvrChip(const AvrPart& part);

protected:
    size_t InstructionLength() const override;
    uint8_t Output(uint64_t nowNs) const override;
    void Execute(uint64_t nowNs) override;
    uint8_t BusyRead(Space s, uint32_t address, uint8_t stored) const override;

private:
    uint32_t FlashWordMask() const { return part_.flashBytes / 2 - 1; }
    uint32_t WordAddress() const { return ((static_cast<uint32_t>(frame_[1]) << 8) | frame_[2]) & FlashWordMask(); }
    uint32_t EepromAddress() const {
        return ((static_cast<uint32_t>(frame_[1]) << 8) | frame_[2]) & (part_.eepromBytes - 1u);
    }
    bool WriteLocked() const { return (Stored(Space::Lock, 0) & 0x01) == 0; }
    bool ReadLocked() const { return (Stored(Space::Lock, 0) & 0x03) == 0; }
    bool RefuseWrite(const char* what, uint32_t address) const;
    uint8_t ReadMemory(Space s, uint32_t address, uint64_t nowNs) const;
    uint8_t ReadFuseOrLock() const;
    void WriteFlashPage(uint64_t nowNs);
    void WriteEepromPage(uint64_t nowNs);
    void WriteFuseOrLock(uint64_t nowNs);
    void ChipErase(uint64_t nowNs);

    const AvrPart& part_;
    std::vector<uint8_t> pageBuffer_;   // flash page buffer, bytes
    std::vector<uint8_t> eepromBuffer_;
    std::vector<bool> eepromLoaded_;
};

}  // namespace kestrin::chips
