// Runs of AVR programming instructions in the SPI byte stream: page loads and
// memory reads that step through consecutive addresses. An adapter that
// knows AVR_LOAD and AVR_READ clocks such a run out from its first opcode and
// address, so the link carries one byte per instruction instead of four.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrin::serial {

struct AvrRun {
    uint8_t op = 0;        // opcode of the first instruction
    uint16_t address = 0;  // its address bytes (high, low)
    uint8_t fill = 0;      // reads: the byte sent in the data position
    size_t count = 0;      // instructions; 0: no run here
};

// Shorter runs go out as plain SPI frames: they would save nothing.
constexpr size_t kAvrRunMin = 4;

// The run of page loads (40/48 Flash, C1 EEPROM) at the start of bytes, of
// at most max instructions; count 0 when fewer than kAvrRunMin start there.
AvrRun FindAvrLoadRun(const uint8_t* bytes, size_t n, size_t max);
// The same for reads (20/28 Flash, A0 EEPROM) that send one byte value in
// the data position.
AvrRun FindAvrReadRun(const uint8_t* bytes, size_t n, size_t max);
// The offset of the first run that FindAvrLoadRun (load) or FindAvrReadRun
// finds in bytes[1..limit); limit when none starts there.
size_t NextAvrRun(const uint8_t* bytes, size_t n, size_t limit, bool load);

// Rebuilds the 4 x count bytes clocked in during a read run from the
// adapter's AVR_READ reply payload; false when the reply does not fit the run.
bool AvrReadAnswers(const AvrRun& run, const uint8_t* payload, size_t n, uint8_t* dest);

}  // namespace kestrin::serial
