// Internal: the 8051-family chip models. Use MakeChip() from Chip.h.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "Chip.h"

namespace kestrin::chips {

class At89Chip : public Chip {
protected:
    struct Timing {
        uint64_t writeNs;                  // byte or page write cycle
        uint64_t eraseNs;                  // chip erase
        uint64_t fuseNs;                   // lock bit and user fuse writes
        std::optional<uint8_t> eraseRead;  // what reads give during an erase, if not the stored value
    };
    At89Chip(std::string name, Layout layout, Timing timing);

    uint8_t BusyRead(Space s, uint32_t address, uint8_t stored) const override;
    // Lock mode 2 (LB1 programmed) stops writing, mode 3 (LB1 and LB2) reading too.
    bool WriteLocked() const;
    bool ReadLocked() const;
    // Addresses outside the memory read 0xFF; so does everything when read-locked.
    uint8_t ReadMemory(Space s, uint32_t address, uint64_t nowNs) const;
    bool RefuseWrite(const std::string& what) const;
    void WriteByte(Space s, uint32_t address, uint8_t value, uint64_t nowNs, bool autoErase);
    // Writes pageSize bytes taken from the frame at dataOffset; never erases.
    void WritePage(Space s, uint32_t address, size_t dataOffset, size_t pageSize, uint64_t nowNs);
    void ChipErase(uint64_t nowNs);
    // programMask: bit 0 LB1 ... bit 2 LB3; a set bit programs that lock bit.
    void ProgramLockBits(uint8_t programMask, uint64_t nowNs);
    // The AC instructions of the 3-byte parts: enable, erase (AC xxxxx100) and
    // lock bits (AC LLLxx111). Logs anything else as unknown.
    void ExecuteAc3(uint8_t b2, uint64_t nowNs);

    Timing timing_;
};

class At89S8252 final : public At89Chip {
public:
    At89S8252();

protected:
    size_t InstructionLength() const override;
    uint8_t Output(uint64_t nowNs) const override;
    void Execute(uint64_t nowNs) override;

private:
    uint32_t Address(Space s) const;
};

class At89S8253 final : public At89Chip {
public:
    At89S8253();

protected:
    size_t InstructionLength() const override;
    uint8_t Output(uint64_t nowNs) const override;
    void Execute(uint64_t nowNs) override;
    bool SerialProgrammingAllowed() const override;

private:
    uint32_t CodeAddress() const;
    uint32_t DataAddress() const;
};

class At89S52 final : public At89Chip {
public:
    At89S52();

protected:
    size_t InstructionLength() const override;
    uint8_t Output(uint64_t nowNs) const override;
    void Execute(uint64_t nowNs) override;

private:
    uint32_t CodeAddress() const;
};

}  // namespace kestrin::chips

namespace kestrin::chips {

// AT89S53: the AT89S8252's 3-byte instructions with address bit 13 in bit 2
// of the first byte; 12 KB Flash, no E²PROM, no serial signature.
class At89S53 final : public At89Chip {
public:
    At89S53();

protected:
    size_t InstructionLength() const override;
    uint8_t Output(uint64_t nowNs) const override;
    void Execute(uint64_t nowNs) override;

private:
    uint32_t Address() const;
};

}  // namespace kestrin::chips
