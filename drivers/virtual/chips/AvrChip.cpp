// AVR serial programming (megaAVR and tinyAVR instruction set; AT90S byte-mode
// Flash writes), one model driven by the part table.
#include "AvrChip.h"

#include <strings.h>

#include <cstdio>

#include "AvrParts.h"

namespace kestrin::chips {

namespace {

// Every part of the generated table, with the datasheet timings.
std::vector<AvrPart> BuildParts() {
    std::vector<AvrPart> parts;
    for (const avrparts::AvrPart& p : avrparts::AllAvrParts()) {
        const avrparts::AvrTiming t = avrparts::TimingOf(p);
        AvrPart part{p.name, p.signature, p.flashBytes, p.flashPageBytes, p.eepromBytes,
                     t.eepromPages ? p.eepromPageBytes : 0u, p.fuseCount, p.fuseDefaults, p.lockMask, t.busyPoll,
                     0, 0, 0, 0, t.flashBusy[0], t.eepromBusy[0], t.flashUs, t.eepromUs, t.eraseUs, t.fuseUs};
        for (int byte = 0; byte < p.fuseCount; ++byte) {
            if (const int bit = avrparts::FuseBitOf(p, byte, "EESAVE"); bit >= 0) {
                part.eesaveByte = static_cast<uint8_t>(byte);
                part.eesaveMask = static_cast<uint8_t>(1u << bit);
            }
            if (const int bit = avrparts::FuseBitOf(p, byte, "SPIEN"); bit >= 0) {
                part.spienByte = static_cast<uint8_t>(byte);
                part.spienMask = static_cast<uint8_t>(1u << bit);
            }
        }
        parts.push_back(part);
    }
    return parts;
}

constexpr uint64_t Us(uint64_t us) { return us * 1000; }

Chip::Layout LayoutOf(const AvrPart& p) {
    Chip::Layout l;
    l.flash = p.flashBytes;
    l.eeprom = p.eepromBytes;
    l.fuseDefaults.assign(p.fuseDefaults.begin(), p.fuseDefaults.begin() + p.fuseCount);
    l.lockErased = 0xFF;
    l.signature.assign(p.signature.begin(), p.signature.end());
    return l;
}

}  // namespace

const std::vector<AvrPart>& AvrParts() {
    static const std::vector<AvrPart> parts = BuildParts();
    return parts;
}

const AvrPart* FindAvrPart(std::string_view name) {
    for (const auto& p : AvrParts()) {
        const std::string_view n = p.name;
        if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) return &p;
    }
    return nullptr;
}

AvrChip::AvrChip(const AvrPart& part)
    : Chip(part.name, LayoutOf(part)),
      part_(part),
      pageBuffer_(part.flashPageBytes, 0xFF),
      eepromBuffer_(part.eepromPageBytes, 0xFF),
      eepromLoaded_(part.eepromPageBytes, false) {}

size_t AvrChip::InstructionLength() const { return 4; }

uint8_t AvrChip::BusyRead(Space s, uint32_t address, uint8_t stored) const {
    // A Flash page or E²PROM cell being written reads 0xFF until it is done;
    // on the classic byte-mode parts a Flash byte reads 0x7F, an E²PROM byte 0x80.
    if (busy_.kind == BusyKind::Write && s == busy_.space && address >= busy_.first &&
        address < busy_.first + busy_.count) {
        if (part_.flashPageBytes != 0) return 0xFF;
        return s == Space::Flash ? part_.flashBusy : part_.eepromBusy;
    }
    return stored;
}

uint8_t AvrChip::ReadMemory(Space s, uint32_t address, uint64_t nowNs) const {
    if (address >= Size(s) || ReadLocked()) return 0xFF;
    return ReadCell(s, address, nowNs);
}

uint8_t AvrChip::ReadFuseOrLock() const {
    if (part_.fuseCount == 0) return 0xFF;  // fuses and lock bits are parallel-only
    const bool b8 = frame_[1] == 0x08;
    if (frame_[0] == 0x58 && !b8) return Stored(Space::Lock, 0);
    const size_t index = frame_[0] == 0x50 ? (b8 ? 2 : 0) : 1;
    return index < Size(Space::Fuses) ? Stored(Space::Fuses, static_cast<uint32_t>(index)) : 0xFF;
}

uint8_t AvrChip::Output(uint64_t nowNs) const {
    const size_t p = frame_.size();
    if (p == 2 && EnableWillAnswer()) return 0x53;
    if (!enabled_) return 0xFF;
    if (p != 3) return 0x00;
    switch (frame_[0]) {
        case 0x20: return ReadMemory(Space::Flash, WordAddress() * 2, nowNs);
        case 0x28: return ReadMemory(Space::Flash, WordAddress() * 2 + 1, nowNs);
        case 0xA0: return part_.eepromBytes ? ReadMemory(Space::Eeprom, EepromAddress(), nowNs) : 0xFF;
        case 0x30: {
            if (SignatureHidden()) return 0x00;
            const uint32_t i = frame_[2] & 0x03u;
            return i < Size(Space::Signature) ? Stored(Space::Signature, i) : 0xFF;
        }
        case 0x50:
        case 0x58: return ReadFuseOrLock();
        case 0xF0: return part_.hasPoll && Busy(nowNs) ? 0x01 : 0x00;
        default: return 0x00;
    }
}

bool AvrChip::RefuseWrite(const char* what, uint32_t address) const {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s %04X", what, static_cast<unsigned>(address));
    if (LostWhileBusy(buf)) return true;
    if (WriteLocked()) {
        Log("refused, chip locked: %s", buf);
        return true;
    }
    return false;
}

void AvrChip::WriteFlashPage(uint64_t nowNs) {
    const uint32_t pageWords = part_.flashPageBytes / 2u;
    const uint32_t first = (WordAddress() & ~(pageWords - 1)) * 2;
    if (RefuseWrite("page write flash", first)) return;
    Log("page write flash %04X", static_cast<unsigned>(first));
    // A page write programs the buffer without erasing: bits can only be cleared.
    for (uint32_t i = 0; i < part_.flashPageBytes; ++i) Program(Space::Flash, first + i, pageBuffer_[i], false);
    pageBuffer_.assign(pageBuffer_.size(), 0xFF);
    StartBusy(nowNs, Us(part_.flashUs), BusyKind::Write, Space::Flash, first, part_.flashPageBytes);
}

void AvrChip::WriteEepromPage(uint64_t nowNs) {
    const uint32_t first = EepromAddress() & ~(part_.eepromPageBytes - 1u);
    if (RefuseWrite("page write eeprom", first)) return;
    Log("page write eeprom %04X", static_cast<unsigned>(first));
    for (uint32_t i = 0; i < part_.eepromPageBytes; ++i)
        if (eepromLoaded_[i]) Program(Space::Eeprom, first + i, eepromBuffer_[i], true);
    eepromBuffer_.assign(eepromBuffer_.size(), 0xFF);
    eepromLoaded_.assign(eepromLoaded_.size(), false);
    StartBusy(nowNs, Us(part_.eepromUs), BusyKind::Write, Space::Eeprom, first, part_.eepromPageBytes);
}

void AvrChip::WriteFuseOrLock(uint64_t nowNs) {
    const uint8_t b2 = frame_[1], value = frame_[3];
    const bool lock = b2 == 0xE0;
    const size_t index = b2 == 0xA0 ? 0 : b2 == 0xA8 ? 1 : 2;
    if (part_.fuseCount == 0 || (!lock && index >= part_.fuseCount)) {
        return LogUnknown();
    }
    static const char* const kNames[] = {"low", "high", "extended"};
    char what[40];
    std::snprintf(what, sizeof what, lock ? "write lock bits" : "write fuse %s", kNames[index]);
    if (LostWhileBusy(what)) return;
    if (!lock && WriteLocked()) {
        Log("refused, chip locked: %s", what);
        return;
    }
    Log("%s %02X", what, value);
    if (lock) {
        // Lock bits can only be programmed here; the chip erase clears them.
        SetStored(Space::Lock, 0, static_cast<uint8_t>(Stored(Space::Lock, 0) & (value | ~part_.lockMask)));
    } else {
        uint8_t v = value;
        if (index == part_.spienByte)
            v = static_cast<uint8_t>((v & ~part_.spienMask) | (Stored(Space::Fuses, part_.spienByte) & part_.spienMask));
        SetStored(Space::Fuses, static_cast<uint32_t>(index), v);
    }
    StartBusy(nowNs, Us(part_.fuseUs), BusyKind::Fuse);
}

void AvrChip::ChipErase(uint64_t nowNs) {
    if (LostWhileBusy("chip erase")) return;
    Log("chip erase");
    Fill(Space::Flash, 0xFF);
    const bool keepEeprom = part_.eesaveMask != 0 && Size(Space::Fuses) > part_.eesaveByte &&
                            (Stored(Space::Fuses, part_.eesaveByte) & part_.eesaveMask) == 0;
    if (!keepEeprom) Fill(Space::Eeprom, 0xFF);
    SetStored(Space::Lock, 0, 0xFF);
    pageBuffer_.assign(pageBuffer_.size(), 0xFF);
    StartBusy(nowNs, Us(part_.eraseUs), BusyKind::Erase);
}

void AvrChip::Execute(uint64_t nowNs) {
    const uint8_t b1 = frame_[0], b2 = frame_[1], b3 = frame_[2], b4 = frame_[3];
    switch (b1) {
        case 0x40:
        case 0x48: {
            const uint32_t byteOffset = b1 == 0x48 ? 1 : 0;
            if (part_.flashPageBytes == 0) {
                // Byte mode: the instruction programs the cell at once.
                const uint32_t a = WordAddress() * 2 + byteOffset;
                if (RefuseWrite("write flash", a)) return;
                Log("write flash %04X %02X", static_cast<unsigned>(a), b4);
                Program(Space::Flash, a, b4, false);
                StartBusy(nowNs, Us(part_.flashUs), BusyKind::Write, Space::Flash, a, 1);
                return;
            }
            if (LostWhileBusy("load flash page")) return;
            const uint32_t word = b3 & (part_.flashPageBytes / 2u - 1);
            pageBuffer_[word * 2 + byteOffset] = b4;
            return;
        }
        case 0x4C: return WriteFlashPage(nowNs);
        case 0x4D:
            if (part_.flashBytes <= 0x20000) break;  // only parts beyond 64K words take it
            extended_ = b3;
            return;
        case 0x20:
        case 0x28:
            return Log("read flash %04X", static_cast<unsigned>(WordAddress() * 2 + (b1 == 0x28 ? 1 : 0)));
        case 0xA0: return Log("read eeprom %04X", static_cast<unsigned>(EepromAddress()));
        case 0xC0: {
            if (part_.eepromBytes == 0) break;
            const uint32_t a = EepromAddress();
            if (RefuseWrite("write eeprom", a)) return;
            Log("write eeprom %04X %02X", static_cast<unsigned>(a), b4);
            Program(Space::Eeprom, a, b4, true);
            StartBusy(nowNs, Us(part_.eepromUs), BusyKind::Write, Space::Eeprom, a, 1);
            return;
        }
        case 0xC1: {
            if (part_.eepromPageBytes == 0) break;
            if (LostWhileBusy("load eeprom page")) return;
            const uint32_t i = b3 & (part_.eepromPageBytes - 1u);
            eepromBuffer_[i] = b4;
            eepromLoaded_[i] = true;
            return;
        }
        case 0xC2:
            if (part_.eepromPageBytes == 0) break;
            return WriteEepromPage(nowNs);
        case 0x30: return Log("read signature %u", b3 & 3u);
        case 0x50:
        case 0x58: return Log("read %s", b1 == 0x58 && b2 == 0x00 ? "lock bits" : "fuse");
        case 0xF0:
            if (!part_.hasPoll) break;
            return;  // polling is too frequent to be worth a log line
        case 0xAC:
            if (b2 == 0x53) return AcceptEnable();
            if (b2 == 0x80) return ChipErase(nowNs);
            if (b2 == 0xA0 || b2 == 0xA8 || b2 == 0xA4 || b2 == 0xE0) return WriteFuseOrLock(nowNs);
            break;
        default: break;
    }
    LogUnknown();
}

}  // namespace kestrin::chips
