// Every AVR this program can reach over the SPI serial programming interface,
// as avr-libc's device headers describe it. The table is generated when the
// program is built (tools/avrtable); the write times, polling and busy
// readings, which the headers do not hold, come from the datasheets and are
// kept by hand in AvrPartTiming.cpp. Plain data: the programmer and the
// virtual adapter's chip models both read it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestrin::avrparts {

enum class AvrFamily : uint8_t { Classic, Tiny, Mega };  // AT90S (byte-mode Flash), ATtiny, ATmega and kin

struct AvrPart {
    const char* name;
    AvrFamily family;
    std::array<uint8_t, 3> signature;
    uint32_t flashBytes;
    uint32_t flashPageBytes;  // 0: every Flash byte is programmed on its own
    uint32_t eepromBytes;
    uint32_t eepromPageBytes;  // 0: E²PROM written byte by byte
    uint8_t fuseCount;         // fuse bytes: 0 (none over the serial interface) to 3 (low, high, extended)
    std::array<uint8_t, 3> fuseDefaults;  // factory values, 0 = programmed
    // Bit names (without "FUSE_") and the header's comment per fuse byte and
    // bit, bit 0 first; nullptr for a bit the part does not use.
    std::array<std::array<const char*, 8>, 3> fuseBits;
    std::array<std::array<const char*, 8>, 3> fuseComments;
    uint8_t lockMask;  // lock bits in use: LB1, LB2 (bits 0-1), BLB01/02 (2-3), BLB11/12 (4-5)
};

// The generated table, in avr-libc's order.
std::span<const AvrPart> AllAvrParts();

// The part of this signature or name (case-insensitive); nullptr when none.
const AvrPart* FindAvrPart(const std::array<uint8_t, 3>& signature);
const AvrPart* FindAvrPart(std::string_view name);

// The bit of the fuse byte (0 low, 1 high, 2 extended) that has this name;
// -1 when the part has no such bit.
int FuseBitOf(const AvrPart& part, int byte, std::string_view name);

// What the headers do not say: write times (microseconds, the least time over
// the whole supply range), the ready/busy poll, whether the enable is echoed,
// and what a cell reads while it is written.
struct AvrTiming {
    uint32_t flashUs;   // Flash page (or byte on a classic part)
    uint32_t eepromUs;  // E²PROM byte or page
    uint32_t eraseUs;   // chip erase
    uint32_t fuseUs;    // fuse or lock byte
    bool busyPoll;      // answers the ready/busy poll F0
    bool echoes;        // answers the programming enable with 0x53
    bool eepromPages;   // takes the E²PROM page instructions C1/C2 (else C0 bytes)
    std::array<uint8_t, 2> flashBusy;   // what a Flash cell being written reads, first and second half
    std::array<uint8_t, 2> eepromBusy;  // the same for an E²PROM cell
};

AvrTiming TimingOf(const AvrPart& part);

}  // namespace kestrin::avrparts
