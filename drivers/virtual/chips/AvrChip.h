// Internal: the AVR chip model, one class driven by a table of parts.
// Use MakeChip() from Chip.h.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string_view>
#include <vector>

#include "Chip.h"

namespace kestrin::chips {

struct AvrPart {
    const char* name;
    std::array<uint8_t, 3> signature;
    uint32_t flashBytes;
    uint32_t flashPageBytes;   // 0: byte mode, 40/48 program at once
    uint32_t eepromBytes;
    uint32_t eepromPageBytes;  // 0: no C1/C2 page mode
    uint8_t fuseCount;         // 0 (no serial fuse access) to 3 (low, high, extended)
    std::array<uint8_t, 3> fuseDefaults;
    uint8_t lockMask;          // lock bits in use
    bool hasPoll;              // F0 RDY/BSY poll
    uint8_t eesaveByte;        // fuse byte and bit that keep the E²PROM on erase; mask 0 = none
    uint8_t eesaveMask;
    uint8_t spienByte;         // fuse byte and bit not writable over this interface
    uint8_t spienMask;
    uint8_t flashBusy, eepromBusy;  // what a cell being written reads on a byte-mode part
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
    // The address bits a memory decodes; a part whose size is no power of two
    // (the ATmega406's 40 KB) decodes the next, and the cells beyond read FF.
    static uint32_t DecodeMask(uint32_t size) { return size <= 1 ? 0 : std::bit_ceil(size) - 1; }
    uint32_t FlashWordMask() const { return DecodeMask(part_.flashBytes / 2); }
    // Word-address bits 16 and up come from the last Load Extended Address (4D).
    uint32_t WordAddress() const {
        return ((extended_ << 16) | (static_cast<uint32_t>(frame_[1]) << 8) | frame_[2]) & FlashWordMask();
    }
    uint32_t EepromAddress() const {
        return ((static_cast<uint32_t>(frame_[1]) << 8) | frame_[2]) & DecodeMask(part_.eepromBytes);
    }
    bool WriteLocked() const { return (Stored(Space::Lock, 0) & 0x01) == 0; }
    bool ReadLocked() const { return (Stored(Space::Lock, 0) & 0x03) == 0; }
    // An AT90S with both lock bits programmed reads its signature as 00 00 00.
    bool SignatureHidden() const { return std::string_view(part_.name).starts_with("AT90S") && ReadLocked(); }
    bool RefuseWrite(const char* what, uint32_t address) const;
    uint8_t ReadMemory(Space s, uint32_t address, uint64_t nowNs) const;
    uint8_t ReadFuseOrLock() const;
    void WriteFlashPage(uint64_t nowNs);
    void WriteEepromPage(uint64_t nowNs);
    void WriteFuseOrLock(uint64_t nowNs);
    void ChipErase(uint64_t nowNs);

    const AvrPart& part_;
    uint32_t extended_ = 0;
    std::vector<uint8_t> pageBuffer_;   // flash page buffer, bytes
    std::vector<uint8_t> eepromBuffer_;
    std::vector<bool> eepromLoaded_;
};

}  // namespace kestrin::chips
