// The 8051-family targets: AT89S8252 (3-byte instructions, byte mode),
// AT89S8253 and AT89S52 (4-byte instructions, byte and page mode).
#include "At89Chips.h"

#include <string>

namespace kestrin::chips {

namespace {

constexpr uint64_t Us(uint64_t us) { return us * 1000; }

// Lock byte as stored: bit 0 LB1, bit 1 LB2, bit 2 LB3, a programmed bit is 0.
constexpr uint8_t kLockErased = 0xFF;

std::string Hex(const char* what, uint32_t address) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s %04X", what, static_cast<unsigned>(address));
    return buf;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared by the three: DATA polling and lock modes.

At89Chip::At89Chip(std::string name, Layout layout, Timing timing)
    : Chip(std::move(name), std::move(layout)), timing_(timing) {}

uint8_t At89Chip::BusyRead(Space s, uint32_t address, uint8_t stored) const {
    if (busy_.kind == BusyKind::Erase) return timing_.eraseRead.value_or(stored);
    // DATA polling: a cell being written reads back with its MSB inverted.
    if (busy_.kind == BusyKind::Write && s == busy_.space && address >= busy_.first &&
        address < busy_.first + busy_.count)
        return static_cast<uint8_t>(stored ^ 0x80);
    return stored;
}

bool At89Chip::WriteLocked() const { return (Stored(Space::Lock, 0) & 0x01) == 0; }

bool At89Chip::ReadLocked() const { return (Stored(Space::Lock, 0) & 0x03) == 0; }

uint8_t At89Chip::ReadMemory(Space s, uint32_t address, uint64_t nowNs) const {
    if (address >= Size(s) || ReadLocked()) return 0xFF;
    return ReadCell(s, address, nowNs);
}

bool At89Chip::RefuseWrite(const std::string& what) const {
    if (LostWhileBusy(what.c_str())) return true;
    if (WriteLocked()) {
        Log("refused, chip locked: %s", what.c_str());
        return true;
    }
    return false;
}

void At89Chip::WriteByte(Space s, uint32_t address, uint8_t value, uint64_t nowNs, bool autoErase) {
    const std::string what = Hex(s == Space::Flash ? "write flash" : "write eeprom", address);
    if (RefuseWrite(what)) return;
    Log("%s %02X", what.c_str(), value);
    if (address < Size(s)) Program(s, address, value, autoErase);
    StartBusy(nowNs, timing_.writeNs, BusyKind::Write, s, address, 1);
}

void At89Chip::WritePage(Space s, uint32_t address, size_t dataOffset, size_t pageSize, uint64_t nowNs) {
    const std::string what = Hex(s == Space::Flash ? "page write flash" : "page write eeprom", address);
    if (RefuseWrite(what)) return;
    Log("%s", what.c_str());
    for (size_t i = 0; i < pageSize; ++i) {
        const uint32_t a = static_cast<uint32_t>(address + i);
        if (a < Size(s)) Program(s, a, frame_[dataOffset + i], false);
    }
    StartBusy(nowNs, timing_.writeNs, BusyKind::Write, s, address, static_cast<uint32_t>(pageSize));
}

void At89Chip::ChipErase(uint64_t nowNs) {
    if (LostWhileBusy("chip erase")) return;
    Log("chip erase");
    Fill(Space::Flash, 0xFF);
    Fill(Space::Eeprom, 0xFF);
    SetStored(Space::Lock, 0, kLockErased);
    StartBusy(nowNs, timing_.eraseNs, BusyKind::Erase);
}

void At89Chip::ProgramLockBits(uint8_t programMask, uint64_t nowNs) {
    if (LostWhileBusy("write lock bits")) return;
    Log("write lock bits %X", static_cast<unsigned>(programMask & 7));
    SetStored(Space::Lock, 0, static_cast<uint8_t>(Stored(Space::Lock, 0) & ~(programMask & 7)));
    StartBusy(nowNs, timing_.fuseNs, BusyKind::Fuse);
}

void At89Chip::ExecuteAc3(uint8_t b2, uint64_t nowNs) {
    if (b2 == 0x53) return AcceptEnable();
    if ((b2 & 0x07) == 0x04) return ChipErase(nowNs);
    if ((b2 & 0x07) == 0x07) {
        // Bits 7, 6, 5 carry LB1, LB2, LB3; a 0 programs the bit.
        const uint8_t lb = static_cast<uint8_t>(((b2 >> 7) & 1) | (((b2 >> 6) & 1) << 1) | (((b2 >> 5) & 1) << 2));
        return ProgramLockBits(static_cast<uint8_t>(~lb & 7), nowNs);
    }
    LogUnknown();
}

// ---------------------------------------------------------------------------
// AT89S8252: AAAAA001 read code, AAAAA010 write code, 00AAA101 read data,
// 00AAA110 write data; AC 53 enable, AC xxxxx100 erase, AC LLLxx111 lock bits.

At89S8252::At89S8252()
    : At89Chip("AT89S8252", Layout{8192, 2048, {}, kLockErased, {0x1E, 0x72}},
               Timing{Us(2500), Us(16000), Us(2500), uint8_t{0x00}}) {}

size_t At89S8252::InstructionLength() const { return 3; }

uint32_t At89S8252::Address(Space s) const {
    const uint32_t high = frame_[0] >> 3;
    return s == Space::Flash ? ((high << 8) | frame_[1]) & 0x1FFF : (((high & 0x07) << 8) | frame_[1]);
}

uint8_t At89S8252::Output(uint64_t nowNs) const {
    if (!enabled_) return 0xFF;
    if (frame_.size() != 2) return 0x00;
    switch (frame_[0] & 0x07) {
        case 0x01: return ReadMemory(Space::Flash, Address(Space::Flash), nowNs);
        case 0x05: return ReadMemory(Space::Eeprom, Address(Space::Eeprom), nowNs);
        default: return 0x00;
    }
}

void At89S8252::Execute(uint64_t nowNs) {
    const uint8_t b1 = frame_[0], b2 = frame_[1], b3 = frame_[2];
    switch (b1 & 0x07) {
        case 0x01: Log("%s", Hex("read flash", Address(Space::Flash)).c_str()); return;
        case 0x05: Log("%s", Hex("read eeprom", Address(Space::Eeprom)).c_str()); return;
        case 0x02: WriteByte(Space::Flash, Address(Space::Flash), b3, nowNs, true); return;
        case 0x06: WriteByte(Space::Eeprom, Address(Space::Eeprom), b3, nowNs, true); return;
        default: break;
    }
    if (b1 == 0xAC) return ExecuteAc3(b2, nowNs);
    LogUnknown();
}

// ---------------------------------------------------------------------------
// AT89S8253: 4-byte instructions, Flash 12 KB inside a 14-bit address space,
// 64-byte code pages, 32-byte data pages, user fuses, lock bits, signature.

namespace {
constexpr size_t k8253FlashPage = 64;
constexpr size_t k8253EepromPage = 32;
constexpr size_t kUserRow = 64;
}  // namespace

At89S8253::At89S8253()
    : At89Chip("AT89S8253", Layout{12288, 2048, {0xFA}, kLockErased, {0x1E, 0x73}},
               Timing{Us(4500), Us(9000), Us(4500), std::nullopt}) {}

bool At89S8253::SerialProgrammingAllowed() const { return (Stored(Space::Fuses, 0) & 0x01) == 0; }

size_t At89S8253::InstructionLength() const {
    if (!enabled_) return 4;
    switch (frame_[0]) {
        case 0x50:
        case 0x30: return 3 + k8253FlashPage;
        case 0xD0:
        case 0xB0: return 3 + k8253EepromPage;
        case 0x52:
        case 0x32: return 3 + kUserRow;
        default: return 4;
    }
}

uint32_t At89S8253::CodeAddress() const { return ((frame_[1] & 0x3Fu) << 8) | frame_[2]; }
uint32_t At89S8253::DataAddress() const { return ((frame_[1] & 0x07u) << 8) | frame_[2]; }

uint8_t At89S8253::Output(uint64_t nowNs) const {
    const size_t p = frame_.size();
    if (p == 2 && EnableWillAnswer()) return 0x53;
    if (!enabled_) return 0xFF;
    if (p < 3) return 0x00;
    const size_t k = p - 3;
    switch (frame_[0]) {
        case 0x20: return p == 3 ? ReadMemory(Space::Flash, CodeAddress(), nowNs) : 0x00;
        case 0xA0: return p == 3 ? ReadMemory(Space::Eeprom, DataAddress(), nowNs) : 0x00;
        case 0x30: return ReadMemory(Space::Flash, static_cast<uint32_t>((CodeAddress() & 0x3FC0) + k), nowNs);
        case 0xB0: return ReadMemory(Space::Eeprom, static_cast<uint32_t>((DataAddress() & 0x07E0) + k), nowNs);
        case 0x21: return p == 3 ? static_cast<uint8_t>(0xF0 | Stored(Space::Fuses, 0)) : 0x00;
        case 0x24: return p == 3 ? static_cast<uint8_t>(0xF8 | Stored(Space::Lock, 0)) : 0x00;
        case 0x28: {
            if (p != 3) return 0x00;
            const uint32_t a = frame_[2] & 0x3Fu;
            return a >= 0x30 && a - 0x30 < Size(Space::Signature) ? Stored(Space::Signature, a - 0x30) : 0xFF;
        }
        case 0x22:
        case 0x32: return 0xFF;  // user signature row: not modelled, reads erased
        default: return 0x00;
    }
}

void At89S8253::Execute(uint64_t nowNs) {
    const uint8_t b1 = frame_[0], b2 = frame_[1];
    switch (b1) {
        case 0x40: return WriteByte(Space::Flash, CodeAddress(), frame_[3], nowNs, false);
        case 0xC0: return WriteByte(Space::Eeprom, DataAddress(), frame_[3], nowNs, false);
        case 0x50: return WritePage(Space::Flash, CodeAddress() & 0x3FC0, 3, k8253FlashPage, nowNs);
        case 0xD0: return WritePage(Space::Eeprom, DataAddress() & 0x07E0, 3, k8253EepromPage, nowNs);
        case 0x20: return Log("%s", Hex("read flash", CodeAddress()).c_str());
        case 0xA0: return Log("%s", Hex("read eeprom", DataAddress()).c_str());
        case 0x30: return Log("%s", Hex("page read flash", CodeAddress() & 0x3FC0).c_str());
        case 0xB0: return Log("%s", Hex("page read eeprom", DataAddress() & 0x07E0).c_str());
        case 0x21: return Log("read user fuses");
        case 0x24: return Log("read lock bits");
        case 0x28: return Log("read signature %02X", frame_[2] & 0x3F);
        case 0x22:
        case 0x32:
        case 0x42:
        case 0x52: return Log("user signature row instruction %02X (not modelled)", b1);
        case 0xAC: break;
        default: return LogUnknown();
    }
    if (b2 == 0x53) return AcceptEnable();
    if ((b2 & 0xF0) == 0x80) return ChipErase(nowNs);
    if ((b2 & 0xF0) == 0x10) {
        if (LostWhileBusy("write user fuses")) return;
        // Serial programming (F1) can be switched off over this interface but
        // only switched on again by a parallel programmer.
        const uint8_t fuses = static_cast<uint8_t>(0xF0 | (b2 & 0x0F) | (Stored(Space::Fuses, 0) & 0x01));
        Log("write user fuses %X", static_cast<unsigned>(b2 & 0x0F));
        SetStored(Space::Fuses, 0, fuses);
        StartBusy(nowNs, timing_.fuseNs, BusyKind::Fuse);
        return;
    }
    // 11100 LB3 LB2 LB1: a 0 programs the bit.
    if ((b2 & 0xF8) == 0xE0) return ProgramLockBits(static_cast<uint8_t>(~b2 & 7), nowNs);
    LogUnknown();
}

// ---------------------------------------------------------------------------
// AT89S52: 4-byte instructions, 8 KB Flash in 256-byte pages whose page
// instructions carry no low address byte, 0x69 answer in the fourth byte.

namespace {
constexpr size_t kS52Page = 256;
}

At89S52::At89S52()
    : At89Chip("AT89S52", Layout{8192, 0, {}, kLockErased, {0x1E, 0x52, 0x06}},
               Timing{Us(410), Us(500000), Us(410), std::nullopt}) {}

size_t At89S52::InstructionLength() const {
    if (enabled_ && (frame_[0] == 0x50 || frame_[0] == 0x30)) return 2 + kS52Page;
    return 4;
}

uint32_t At89S52::CodeAddress() const { return ((frame_[1] & 0x1Fu) << 8) | frame_[2]; }

uint8_t At89S52::Output(uint64_t nowNs) const {
    const size_t p = frame_.size();
    if (p == 3 && EnableWillAnswer()) return 0x69;
    if (!enabled_) return 0xFF;
    if (frame_[0] == 0x30 && p >= 2)
        return ReadMemory(Space::Flash, static_cast<uint32_t>(((frame_[1] & 0x1Fu) << 8) + (p - 2)), nowNs);
    if (p != 3) return 0x00;
    switch (frame_[0]) {
        case 0x20: return ReadMemory(Space::Flash, CodeAddress(), nowNs);
        case 0x24: {
            // xxx LB3 LB2 LB1 xx, a programmed bit reads 1.
            const uint8_t programmed = static_cast<uint8_t>(~Stored(Space::Lock, 0) & 7);
            return static_cast<uint8_t>(programmed << 2);
        }
        case 0x28: {
            // Signature bytes sit at 000h, 100h and 200h.
            const uint32_t a = ((frame_[1] & 0x1Fu) << 8) | (frame_[2] & 0x80u);
            return (a & 0xFF) == 0 && (a >> 8) < Size(Space::Signature) ? Stored(Space::Signature, a >> 8) : 0xFF;
        }
        default: return 0x00;
    }
}

void At89S52::Execute(uint64_t nowNs) {
    const uint8_t b1 = frame_[0], b2 = frame_[1];
    switch (b1) {
        case 0x40: return WriteByte(Space::Flash, CodeAddress(), frame_[3], nowNs, false);
        case 0x50: return WritePage(Space::Flash, (b2 & 0x1Fu) << 8, 2, kS52Page, nowNs);
        case 0x20: return Log("%s", Hex("read flash", CodeAddress()).c_str());
        case 0x30: return Log("%s", Hex("page read flash", (b2 & 0x1Fu) << 8).c_str());
        case 0x24: return Log("read lock bits");
        case 0x28: return Log("read signature %02X", b2 & 0x1F);
        case 0xAC: break;
        default: return LogUnknown();
    }
    if (b2 == 0x53) return AcceptEnable();
    if ((b2 & 0xF0) == 0x80) return ChipErase(nowNs);
    if ((b2 & 0xFC) == 0xE0) {
        // Lock modes 1 to 4 program none, LB1, LB1+LB2 or all three bits.
        static constexpr uint8_t kModeBits[4] = {0x0, 0x1, 0x3, 0x7};
        return ProgramLockBits(kModeBits[b2 & 3], nowNs);
    }
    LogUnknown();
}

}  // namespace kestrin::chips
