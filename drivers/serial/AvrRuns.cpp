#include "AvrRuns.h"

#include <algorithm>

#include "veltro_protocol.h"

namespace kestrin::serial {

namespace {

bool IsLoad(uint8_t op) { return op == 0x40 || op == 0x48 || op == 0xC1; }
bool IsRead(uint8_t op) { return op == 0x20 || op == 0x28 || op == 0xA0; }

// Counts the instructions from bytes that follow the stepping rule from the
// first one; reads also need the same data byte throughout.
AvrRun Follow(const uint8_t* bytes, size_t n, size_t max, bool read) {
    AvrRun run;
    if (n < 4 || !(read ? IsRead(bytes[0]) : IsLoad(bytes[0]))) return run;
    run.op = bytes[0];
    run.address = static_cast<uint16_t>((bytes[1] << 8) | bytes[2]);
    run.fill = bytes[3];
    uint8_t op = run.op;
    uint16_t address = run.address;
    size_t count = 0;
    for (const uint8_t* p = bytes; count < max && p + 4 <= bytes + n; p += 4, ++count) {
        if (p[0] != op || p[1] != (address >> 8) || p[2] != (address & 0xFF) || (read && p[3] != run.fill)) break;
        vp_avr_next(&op, &address);
    }
    run.count = count >= kAvrRunMin ? count : 0;
    return run;
}

}  // namespace

AvrRun FindAvrLoadRun(const uint8_t* bytes, size_t n, size_t max) { return Follow(bytes, n, max, false); }

AvrRun FindAvrReadRun(const uint8_t* bytes, size_t n, size_t max) { return Follow(bytes, n, max, true); }

size_t NextAvrRun(const uint8_t* bytes, size_t n, size_t limit, bool load) {
    limit = std::min(limit, n);
    for (size_t i = 1; i < limit; ++i)
        if (Follow(bytes + i, n - i, kAvrRunMin, !load).count != 0) return i;
    return limit;
}

bool AvrReadAnswers(const AvrRun& run, const uint8_t* payload, size_t n, uint8_t* dest) {
    const size_t bytes = 4 * run.count;
    if (n == 0) return false;
    if (payload[0] == VP_AVR_FULL) {
        if (n != 1 + bytes) return false;
        std::copy(payload + 1, payload + n, dest);
        return true;
    }
    if (n != 2 + run.count || (payload[0] != VP_AVR_SAME && payload[0] != VP_AVR_ECHO)) return false;
    const uint8_t* data = payload + 2;
    if (payload[0] == VP_AVR_SAME) {
        for (size_t k = 0; k < run.count; ++k) {
            std::fill(dest + 4 * k, dest + 4 * k + 3, payload[1]);
            dest[4 * k + 3] = data[k];
        }
        return true;
    }
    // Each byte answered with the one sent before it, apart from the data bytes.
    uint8_t op = run.op;
    uint16_t address = run.address;
    for (size_t k = 0; k < run.count; ++k) {
        dest[4 * k] = k == 0 ? payload[1] : run.fill;
        dest[4 * k + 1] = op;
        dest[4 * k + 2] = static_cast<uint8_t>(address >> 8);
        dest[4 * k + 3] = data[k];
        vp_avr_next(&op, &address);
    }
    return true;
}

}  // namespace kestrin::serial
