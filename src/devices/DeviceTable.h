// The AVR parts this program knows: what their signature bytes say about
// memory sizes, page sizes, ready/busy polling and write times. The
// programming routines read the signature at the start of every run and take
// the layout from here. Every row comes from the part table generated from
// avr-libc's device headers (src/avrparts).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "AvrParts.h"
#include "config/UnitConfig.h"

namespace kestrin {

using TSignature = std::array<uint8_t, 3>;

struct TDeviceInfo {
    const char* Name;
    uint8_t Type;  // the controller type whose routines program it (ctAT90xx, ctATtiny, ctATmega)
    TSignature Signature;
    int32_t FlashSize;   // bytes
    int32_t FlashPage;   // bytes of a Flash page; 0: every byte is programmed on its own
    int32_t EEPROMSize;  // bytes
    int32_t EEPROMPage;  // bytes of an E²PROM page (load C1, write C2); 0: byte writes only (C0)
    bool BusyPoll;       // answers the ready/busy poll F0
    bool Echoes;         // answers the programming enable with 0x53 (the AT90S1200 never does)
    // The least time a Flash write (page or byte), an E²PROM write and the
    // chip erase take, in microseconds, over the whole supply range.
    int32_t FlashWait;
    int32_t EEPROMWait;
    int32_t EraseWait;
    // What a cell being written reads, first and second half of the cycle;
    // a written value equal to one of them cannot be told by reading back.
    std::array<uint8_t, 2> FlashBusy;
    std::array<uint8_t, 2> EEPROMBusy;
    int32_t FuseWait;                     // a fuse or lock byte write, microseconds
    const avrparts::AvrPart* Part;        // names and defaults of its fuse and lock bits

    // A Flash beyond 64K words needs the extended address (4D) instruction.
    bool ExtendedAddress() const { return FlashSize > 131072; }
};

std::span<const TDeviceInfo> Devices();

// The part with this signature; nullptr when it is not in the table.
const TDeviceInfo* FindDevice(const TSignature& signature);
// The part of this signature that the controller type's routines program: a
// few parts share a signature across families (the ATA5272 is an ATtiny87
// inside); nullptr when the type has none of that signature.
const TDeviceInfo* FindDevice(const TSignature& signature, uint8_t type);
// The part of this name (case-insensitive); nullptr when it is not in the table.
const TDeviceInfo* FindDevice(std::string_view name);

// The largest Flash (eeprom false) or E²PROM of the controller type's parts;
// 0 for a type without parts here.
int32_t LargestMemory(uint8_t type, bool eeprom);

}  // namespace kestrin
