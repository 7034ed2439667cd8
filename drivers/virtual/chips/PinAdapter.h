// Pin-level access to a chip model: SCK and MOSI levels with timestamps in,
// MISO level out. SPI mode 0 as the targets expect it: MOSI is sampled on the
// rising SCK edge, MISO shows the bits MSB first and changes on the falling edge.
//
// The targets want SCK low while they enter programming; a chip that sees SCK
// high when reset is asserted counts the first falling edge as a clock, so its
// bytes are one bit out of step until the next reset.
#pragma once

#include <cstdint>

#include "Chip.h"

namespace kestrin::chips {

class PinAdapter {
public:
    explicit PinAdapter(Chip& chip) : chip_(chip) {}

    // Drive the reset line through here (not on the chip directly), so that
    // the bit counter restarts with the chip's instruction frame.
    void SetReset(bool heldInReset, uint64_t nowNs);
    void SetSck(bool level, uint64_t nowNs);
    void SetMosi(bool level, uint64_t /*nowNs*/) { mosi_ = level; }
    // The MISO level now; high when the chip does not drive it (outside reset).
    bool Miso() const;

    // A whole byte at once, MOSI and MISO levels MSB first, with SCK idle
    // low: what eight clock pulses do, the byte taken in at sampleNs (the
    // last rising edge). Only between bytes of a chip held in reset, with SCK
    // low and no bit pending; false, with nothing done, otherwise, and the
    // caller clocks the bits one by one.
    bool ExchangeByte(uint8_t mosiLevels, uint64_t sampleNs, uint8_t& misoLevels);

    bool Sck() const { return sck_; }
    Chip& Target() { return chip_; }

private:
    void Sample(uint64_t nowNs);

    Chip& chip_;
    bool sck_ = false;
    bool mosi_ = false;
    bool phantomEdge_ = false;  // SCK was high when reset was asserted
    unsigned bits_ = 0;         // bits of the current byte received
    uint8_t shift_ = 0;
    uint8_t out_ = 0xFF;        // byte being shifted out
    unsigned outBit_ = 7;
    uint8_t next_ = 0xFF;       // byte to shift out once SCK falls after a whole byte
    bool nextPending_ = false;
};

}  // namespace kestrin::chips
